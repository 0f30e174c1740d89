// Lookups in help and verification files: the image that _DataFile hands over, searched in place with
// the record search of search.h.
#include <array>

#include "dispatch/terminal.h"
#include "fields/fields.h"
#include "fields/search.h"

namespace vek {
namespace {

// The data image of a file, or nullopt when the terminal cannot hand it over.
std::optional<std::string_view> data_image(const char *file) {
  const char *address = nullptr;
  unsigned long length = 0;
  if (!file || _DataFile(file, &address, &length) != 0) return std::nullopt;
  if (!address) return std::string_view();
  return std::string_view(address, length);
}

}  // namespace

// A number that does not fit the width (or is negative) has no key of its own: it finds nothing, and the
// file is not asked for.
std::optional<std::string_view> lookup_record(const char *file, std::int32_t number, std::uint8_t width) {
  std::array<char, kRecordKeySize> buffer;
  const auto key = record_key(number, width, &buffer);
  if (!key) return std::nullopt;
  const auto image = data_image(file);
  if (!image) return std::nullopt;
  return search_image(*image, *key, Match::Prefix);
}

std::optional<std::string_view> lookup_value(const char *file, std::string_view value, std::uint8_t *status) {
  std::uint8_t ignored = 0;
  if (!status) status = &ignored;
  const auto image = data_image(file);
  if (!image) {
    *status = 4;
    return std::nullopt;
  }
  auto found = find_value(*image, value);
  *status = found ? 0 : 1;
  return found;
}

// Codes as the terminal's validation service gives them: 0 passes, 1 fails, 4 file not available.
int verify_in_file(const char *file, char mode, std::string_view value) {
  std::uint8_t status = 0;
  const bool present = lookup_value(file, value, &status).has_value();
  if (status == 4) return 4;
  if (mode == '3') return present ? 0 : 1;
  return present ? 1 : 0;
}

}  // namespace vek
