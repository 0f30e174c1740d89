// The record search against a plain linear search over the same sorted records, and against the same
// probe sequences written out byte by byte, which must give the very same record (or none) on any
// image at all, sorted or not. Images sit in buffers of their exact size, so a read past an image
// shows under the address sanitizer.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fields/fields.h"
#include "fields/search.h"
#include "session.h"
#include "vekterm/vekterm.h"

namespace {

// A copy of the bytes in a heap block of exactly their size.
struct Exact {
  explicit Exact(const std::string &bytes)
      : block(static_cast<char *>(std::malloc(bytes.size() ? bytes.size() : 1)), std::free),
        size(bytes.size()) {
    if (size) std::memcpy(block.get(), bytes.data(), size);
  }
  std::string_view view() const { return {block.get(), size}; }
  std::unique_ptr<char, decltype(&std::free)> block;
  std::size_t size;
};

bool inside(std::string_view image, std::string_view found) {
  return found.data() >= image.data() && found.data() + found.size() <= image.data() + image.size();
}

bool matches(std::string_view record, std::string_view key, vek::Match match) {
  if (match == vek::Match::Whole) return record == key;
  // A record shorter than the key compares its end as a NUL, which no key character equals.
  return record.size() >= key.size() && record.substr(0, key.size()) == key;
}

// The probe sequences one byte at a time, as plainly as they can be written: what the word-wise search
// must reproduce record for record.
int plain_compare(std::string_view key, std::string_view record, vek::Match match) {
  for (std::size_t i = 0; i < key.size() && i < record.size(); ++i)
    if (key[i] != record[i])
      return static_cast<unsigned char>(key[i]) - static_cast<unsigned char>(record[i]);
  if (key.size() == record.size()) return 0;
  if (key.size() > record.size())
    return key[record.size()] != 0 ? static_cast<unsigned char>(key[record.size()]) : 1;
  return match == vek::Match::Prefix ? 0 : -1;
}

std::string_view plain_record(std::string_view image, std::size_t start) {
  std::size_t end = start;
  while (end < image.size() && image[end] != 0)
    ++end;
  return image.substr(start, end - start);
}

std::optional<std::string_view> plain_span(std::string_view image, std::string_view key, vek::Match match) {
  const std::size_t size = image.size();
  std::size_t low = 0, span = size;
  while (size > 0) {
    std::size_t at = low + span / 2;
    while (at > 0 && image[at] != 0)
      --at;
    const std::size_t start = image[at] == 0 ? at + 1 : 0;
    if (start >= size) return std::nullopt;
    const std::string_view record = plain_record(image, start);
    const int order = plain_compare(key, record, match);
    if (order == 0) return record;
    if (order < 0) {
      if (start - low + 1 == span) return std::nullopt;
      span = start - low + 1;
    } else {
      low = start + record.size() + 1;
      if (low > size) return std::nullopt;
      if (span > record.size()) span -= record.size();
      span /= 2;
      if (low + span > size) span = size - low;
    }
    if (span == 0) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::string_view> plain_range(std::string_view image, std::string_view key, vek::Match match) {
  std::size_t low = 0, high = image.size();
  while (low < high) {
    std::size_t start = low + (high - low) / 2;
    while (start > low && image[start - 1] != 0)
      --start;
    const std::string_view record = plain_record(image, start);
    const int order = plain_compare(key, record, match);
    if (order == 0) return record;
    if (order < 0)
      high = start;
    else
      low = start + record.size() + 1;
  }
  return std::nullopt;
}

// The same record: the same place and length, or none from both.
bool same(std::optional<std::string_view> a, std::optional<std::string_view> b) {
  return a.has_value() == b.has_value() && (!a || (a->data() == b->data() && a->size() == b->size()));
}

void expect_plain_results(std::string_view image, std::string_view key, vek::Match match) {
  const auto span = plain_span(image, key, match);
  if (!same(vek::span_search(image, key, match), span)) std::abort();
  if (!same(vek::range_search(image, key, match), plain_range(image, key, match))) std::abort();
  if (!same(vek::search_image(image, key, match), span ? span : plain_range(image, key, match))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  vekfuzz::Reader in(data, size);
  const std::uint8_t mode = in.byte();
  const vek::Match match = (mode & 1) ? vek::Match::Prefix : vek::Match::Whole;
  std::string key = in.text(40);
  const std::string raw_key = key;  // perhaps with NULs, which no record holds
  key.erase(std::remove(key.begin(), key.end(), '\0'), key.end());

  if (mode & 2) {
    // Any bytes at all as the image: no order, NULs anywhere, perhaps no final NUL. The bounds hold, and
    // every search finds what the plain probe sequences find.
    const Exact image(in.text(4096));
    for (auto found :
         {vek::search_image(image.view(), key, match), vek::span_search(image.view(), key, match),
          vek::range_search(image.view(), key, match)})
      if (found && !inside(image.view(), *found)) std::abort();
    expect_plain_results(image.view(), key, match);
    expect_plain_results(image.view(), raw_key, match);
    return 0;
  }

  // Sorted records without NULs; with bit 2 all cut or padded to one length.
  std::vector<std::string> records;
  const std::size_t width = 1 + (mode >> 3) % 12;
  while (!in.empty() && records.size() < 400) {
    std::string r = in.text(30);
    r.erase(std::remove(r.begin(), r.end(), '\0'), r.end());
    if (mode & 4) r.resize(width, 'a');
    records.push_back(r);
  }
  if (in.byte() & 1 && !records.empty()) key = records[key.size() % records.size()];  // often present
  std::sort(records.begin(), records.end(), [](const std::string &a, const std::string &b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
  });
  std::string bytes;
  for (const std::string &r : records)
    bytes += r + '\0';
  // A last record without its NUL (an empty last record then is no record at all).
  if ((mode & 0x80) && !records.empty() && !records.back().empty()) bytes.pop_back();
  const Exact image(bytes);

  const bool present = std::any_of(records.begin(), records.end(),
                                   [&](const std::string &r) { return matches(r, key, match); });
  const auto found = vek::search_image(image.view(), key, match);
  if (found.has_value() != present) std::abort();
  expect_plain_results(image.view(), key, match);
  // A key holding a NUL finds no record (none holds one), and the probes agree with the plain ones.
  if (raw_key.find('\0') != std::string::npos && vek::search_image(image.view(), raw_key, match))
    std::abort();
  expect_plain_results(image.view(), raw_key, match);
  if (found && (!inside(image.view(), *found) || !matches(*found, key, match))) std::abort();
  // What vekhelp and the lookups call: the same search.
  if (match == vek::Match::Whole && vek::find_value(image.view(), key) != found) std::abort();
  // The classic probe sequence alone may miss a record even when all records have one length (a probe
  // on the NUL before the record sought moves past it), but what it finds matches and lies inside.
  const auto span = vek::span_search(image.view(), key, match);
  if (span && (!inside(image.view(), *span) || !matches(*span, key, match))) std::abort();
  // Through the terminal's data file, with the status the callers see.
  if (match == vek::Match::Whole) {
    vekterm::add_file("B_FUZZ.VAL", bytes);
    std::uint8_t status = 9;
    const auto looked = vek::lookup_value("B_FUZZ.VAL", key, &status);
    if (looked.has_value() != present || status != (present ? 0 : 1)) std::abort();
    vekterm::remove_file("B_FUZZ.VAL");
  }
  return 0;
}
