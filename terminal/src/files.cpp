// Data files and validation files: served by plain name from memory or from the data directory.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "dispatch/terminal.h"
#include "state.h"

namespace vekterm::detail {

// A plain name stays inside the data directory: no separators, no parent or current directory, no
// control characters, not empty.
bool plain_name(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find("..") != std::string_view::npos) return false;
  for (char ch : name) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == '/' || ch == '\\' || byte < 32 || byte == 127) return false;
  }
  return true;
}

const std::string *find_file(std::string_view name) {
  Terminal &t = terminal();
  if (!plain_name(name)) return nullptr;
  if (auto it = t.memory_files.find(name); it != t.memory_files.end()) return &it->second.bytes;
  if (t.data_directory.empty()) return nullptr;
  std::ifstream in(t.data_directory + "/" + std::string(name), std::ios::binary);
  if (!in) return nullptr;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  t.served = std::move(bytes).str();
  return &t.served;
}

}  // namespace vekterm::detail

using vekterm::detail::find_file;
using vekterm::detail::terminal;

extern "C" {

int _DataFile(const char *name, const char **address, unsigned long *length) {
  if (!name || !address || !length) return 1;
  const std::string *bytes = find_file(name);
  if (!bytes) return 2;
  *address = bytes->data();
  *length = bytes->size();
  return 0;
}

// A validation image holds one value per NUL-terminated record. Mode '3' passes a value that is
// present, mode '2' one that is absent; a missing file gives 4, an image that does not end with its
// NUL or an unknown mode gives 16.
int _Validation(const char *file, char mode, const char *value) {
  if (!file || !value) return 16;
  if (auto it = terminal().forced_validation.find(std::string_view(file));
      it != terminal().forced_validation.end())
    return it->second;
  const std::string *image = find_file(file);
  if (!image) return 4;
  if (mode != '2' && mode != '3') return 16;
  if (!image->empty() && image->back() != '\0') return 16;
  const std::string_view wanted(value);
  bool present = false;
  for (std::size_t at = 0; at < image->size() && !present;) {
    const std::size_t end = image->find('\0', at);
    present = std::string_view(*image).substr(at, end - at) == wanted;
    at = end + 1;
  }
  return (present == (mode == '3')) ? 0 : 1;
}

}  // extern "C"

namespace vekterm {

void add_file(std::string_view name, std::string_view bytes) {
  terminal().memory_files[std::string(name)].bytes = std::string(bytes);
}

void remove_file(std::string_view name) {
  if (auto it = terminal().memory_files.find(name); it != terminal().memory_files.end())
    terminal().memory_files.erase(it);
}

void set_data_directory(std::string_view path) { terminal().data_directory = std::string(path); }

void force_validation_result(std::string_view file, int result) {
  terminal().forced_validation[std::string(file)] = result;
}

std::string make_image(std::vector<std::string> records) {
  std::sort(records.begin(), records.end());
  std::string image;
  for (const std::string &r : records) {
    image += r;
    image += '\0';
  }
  return image;
}

}  // namespace vekterm
