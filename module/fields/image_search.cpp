// The record search over a data image: NUL-ended records, sorted, read in place and never past the
// image's length; nothing is copied or kept. No terminal service is called here (search.h).
//
// A probe's cost is a cache miss (its line is seldom in the cache on a large image) and the branches
// of scanning and comparing, whose outcomes are as random as the keys. The backward scan to a record's
// start and the comparison therefore read eight bytes at a time; and the lines that the next two probes
// can land on are asked for ahead (a prefetch, a hint that never faults and changes no probe's place or
// outcome), so that their misses overlap with this probe's work.
#include <array>
#include <bit>
#include <cstring>
#include <initializer_list>

#include "fields/search.h"

namespace vek {
namespace {

std::uint64_t load8(const char *p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// 0x80 in each byte of `word` that is NUL and 0 in every other byte; no carry crosses a byte.
std::uint64_t nul_bytes(std::uint64_t word) {
  constexpr std::uint64_t k7f = 0x7F7F7F7F7F7F7F7Full;
  return ~(((word & k7f) + k7f) | word | k7f);
}

// The position just after the last NUL among the bytes [floor, end), or `floor` when there is none.
std::size_t after_last_nul(const char *image, std::size_t floor, std::size_t end) {
  while (end - floor >= 8) {
    if (const std::uint64_t nuls = nul_bytes(load8(image + end - 8))) {
      // The NUL at the highest address among the eight bytes.
      const int last = std::endian::native == std::endian::little ? (63 - std::countl_zero(nuls)) / 8
                                                                  : 7 - std::countr_zero(nuls) / 8;
      return end - 8 + static_cast<std::size_t>(last) + 1;
    }
    end -= 8;
  }
  while (end > floor && image[end - 1] != 0)
    --end;
  return end;
}

// The length of the record that starts at `start` (below `size`): up to its NUL, or up to the image's
// end when the last record lacks its NUL.
std::size_t record_length(const char *image, std::size_t start, std::size_t size) {
  const void *nul = std::memchr(image + start, 0, size - start);
  return nul ? static_cast<std::size_t>(static_cast<const char *>(nul) - (image + start)) : size - start;
}

// Below zero: the key sorts before the record; zero: the record matches; above zero: after it. Bytes
// compare as unsigned values; eight at a time, read in the order of their addresses.
int compare(std::string_view key, std::string_view record, Match match) {
  const std::size_t common = key.size() < record.size() ? key.size() : record.size();
  std::size_t i = 0;
  for (; common - i >= 8; i += 8) {
    std::uint64_t a = load8(key.data() + i), b = load8(record.data() + i);
    if (a != b) {
      if constexpr (std::endian::native == std::endian::little) {
        a = __builtin_bswap64(a);
        b = __builtin_bswap64(b);
      }
      return a < b ? -1 : 1;
    }
  }
  for (; i < common; ++i) {
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

// Asks for the lines that the next two probes can land on: a probe at `at` in a span of `span` bytes
// is followed near at - span/4 (key below the record) or at + span/4 (above), and each of those near
// its own place -+ span/8. The six are asked for while this probe's record is read, so the misses of
// two levels overlap with this one's (a third level, fourteen lines a probe, was slower). Always
// inlined: a function whose only effect is a prefetch counts as free of effects to the optimiser,
// which would drop its calls.
[[gnu::always_inline]] inline void prefetch_next(const char *image, std::size_t size, std::size_t at,
                                                 std::size_t span) {
  const std::size_t quarter = span / 4, eighth = span / 8;
  if (eighth < 64) return;  // the coming probes read lines that this one's neighbourhood shares
  for (const std::size_t next : {at - quarter, at + quarter, at - quarter - eighth, at - quarter + eighth,
                                 at + quarter - eighth, at + quarter + eighth})
    __builtin_prefetch(image + (next < size ? next : size - 1));
}

void count(int *probes) {
  if (probes) ++*probes;
}

}  // namespace

std::optional<std::string_view> span_search(std::string_view image, std::string_view key, Match match,
                                            int *probes) {
  const std::size_t size = image.size();
  if (size == 0) return std::nullopt;
  const char *bytes = image.data();
  std::size_t low =
      0;  // a record start (0 or just after a NUL), so every probe's record starts at or after it
  std::size_t span = size;
  // Every round either ends or leaves a smaller span, and both rules roughly halve it.
  for (;;) {
    const std::size_t at = low + span / 2;  // below size: low + span never exceeds it
    prefetch_next(bytes, size, at, span);
    // The record around the probe: a probe on a NUL finds the record after it.
    const std::size_t start = bytes[at] == 0 ? at + 1 : after_last_nul(bytes, 0, at);
    count(probes);
    // A probe on the image's final NUL finds no record there: the key is taken to sort after it, and
    // nothing follows.
    if (start >= size) return std::nullopt;
    const std::string_view record(bytes + start, record_length(bytes, start, size));
    const int order = compare(key, record, match);
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
  const char *bytes = image.data();
  std::size_t low = 0;
  std::size_t high = image.size();
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    prefetch_next(bytes, image.size(), middle, high - low);
    const std::size_t start = after_last_nul(bytes, low, middle);
    const std::string_view record(bytes + start, record_length(bytes, start, image.size()));
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
