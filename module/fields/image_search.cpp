// The record search over a data image: NUL-ended records, sorted, read in place and never past the
// image's length; nothing is copied or kept. No terminal service is called here (search.h).
#include <array>

#include "fields/search.h"

namespace vek {
namespace {

// The record that starts at `start`: its text up to the NUL, or up to the image's end when the last
// record lacks its NUL.
std::string_view record_at(std::string_view image, std::size_t start) {
  if (start >= image.size()) return {};
  const std::size_t end = image.find('\0', start);
  return std::string_view(image.data() + start, (end == std::string_view::npos ? image.size() : end) - start);
}

// Below zero: the key sorts before the record; zero: the record matches; above zero: after it.
int compare(std::string_view key, std::string_view record, Match match) {
  const std::size_t common = key.size() < record.size() ? key.size() : record.size();
  for (std::size_t i = 0; i < common; ++i) {
    const int d = static_cast<unsigned char>(key[i]) - static_cast<unsigned char>(record[i]);
    if (d != 0) return d;
  }
  if (key.size() == record.size()) return 0;
  if (key.size() > record.size()) {  // the record ends first: its NUL sorts below any character
    const int next = static_cast<unsigned char>(key[common]);
    return next != 0 ? next : 1;
  }
  return match == Match::Prefix ? 0 : -1;
}

void count(int *probes) {
  if (probes) ++*probes;
}

}  // namespace

std::optional<std::string_view> span_search(std::string_view image, std::string_view key, Match match,
                                            int *probes) {
  const std::size_t size = image.size();
  if (size == 0) return std::nullopt;
  std::size_t low =
      0;  // a record start (0 or just after a NUL), so every probe's record starts at or after it
  std::size_t span = size;
  // Every round either ends or leaves a smaller span, and both rules roughly halve it.
  for (;;) {
    std::size_t at = low + span / 2;  // below size: low + span never exceeds it
    while (at > 0 && image[at] != 0)
      --at;
    const std::size_t start = image[at] == 0 ? at + 1 : 0;
    // A probe on the image's final NUL finds no record there: the key is taken to sort after it, which
    // ends the search below since nothing follows.
    const std::string_view record = record_at(image, start);
    count(probes);
    const int order = start < size ? compare(key, record, match) : 1;
    if (order == 0) return record;
    if (order < 0) {
      const std::size_t narrowed = start - low + 1;
      if (narrowed == span) return std::nullopt;
      span = narrowed;
    } else {
      low = start + record.size() + 1;
      if (low > size) return std::nullopt;
      if (span > record.size()) span -= record.size();
      span /= 2;
      if (low + span > size) span = size - low;
    }
    if (span == 0) return std::nullopt;
  }
}

std::optional<std::string_view> range_search(std::string_view image, std::string_view key, Match match,
                                             int *probes) {
  // [low, high) holds every record that can still match; both ends are record starts or the image's end.
  std::size_t low = 0;
  std::size_t high = image.size();
  while (low < high) {
    std::size_t start = low + (high - low) / 2;
    while (start > low && image[start - 1] != 0)
      --start;
    const std::string_view record = record_at(image, start);
    count(probes);
    const int order = compare(key, record, match);
    if (order == 0) return record;
    if (order < 0)
      high = start;
    else
      low = start + record.size() + 1;
  }
  return std::nullopt;
}

std::optional<std::string_view> search_image(std::string_view image, std::string_view key, Match match,
                                             int *probes) {
  if (auto found = span_search(image, key, match, probes)) return found;
  return range_search(image, key, match, probes);
}

namespace {

constexpr std::array<std::int32_t, kRecordKeySize + 1> kKeyLimit = {1, 10, 100, 1000, 10000, 100000};

}  // namespace

std::optional<std::string_view> record_key(std::int32_t number, std::uint8_t width,
                                           std::array<char, kRecordKeySize> *key) {
  const std::size_t digits = width > kRecordKeySize ? kRecordKeySize : width;
  if (number < 0 || number >= kKeyLimit[digits]) return std::nullopt;
  key->fill('0');
  for (std::size_t i = digits; i > 0 && number > 0; --i, number /= 10)
    (*key)[i - 1] = static_cast<char>('0' + number % 10);
  return std::string_view(key->data(), digits);
}

std::optional<std::string_view> find_record(std::string_view image, std::int32_t number, std::uint8_t width) {
  std::array<char, kRecordKeySize> buffer;
  const auto key = record_key(number, width, &buffer);
  if (!key) return std::nullopt;
  return search_image(image, *key, Match::Prefix);
}

std::optional<std::string_view> find_value(std::string_view image, std::string_view value) {
  return search_image(image, value, Match::Whole);
}

}  // namespace vek
