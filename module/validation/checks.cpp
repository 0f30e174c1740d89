// Value checks by verification type: the character mask (F), the list of allowed values (S), the
// numeric range (R) and the mod-10 check digit with a leading zero (B) or a prefix (T). Masks, lists
// and bounds are help records; a record's text starts at its sixth character.
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "dispatch/dispatch.h"
#include "fields/fields.h"
#include "fields/table.h"
#include "validation/internal.h"

namespace vek {
namespace {

constexpr std::size_t kCheckDigitLimit = 15;  // values this long are refused before the arithmetic
// Fraction texts of the range check. A longer fraction is cut here; both texts of a comparison are cut
// alike, so only digits beyond this many places go unjudged.
constexpr std::size_t kFractionSize = 160;

std::string_view value_of(const Field &f) {
  return std::string_view(f.value.data(), strnlen(f.value.data(), f.value.size()));
}

std::string_view record_text(std::string_view record) {
  return text_part(record, kTextColumn);
}

// The help record's text, or nullopt after showing the bad-call message with the record number and
// `code`.
std::optional<std::string_view> needed_record(std::int32_t number, const char *code) {
  const std::optional<std::string_view> record = lookup_record(help_file_name(), number, kNumberWidth);
  if (!record) {
    char text[kDecimalTextSize];
    decimal_text(number, text, sizeof text);
    bad_call(text, code);
    return std::nullopt;
  }
  return record_text(*record);
}

bool is_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// One side of a range: the integer part and the fraction text.
struct RangeNumber {
  std::int32_t integer;                      // first token, read as a signed decimal
  std::array<char, kFractionSize> fraction;  // second token, or "0"; padded with "0" later
  std::size_t length;                        // characters in `fraction`
};

bool range_delimiter(char c) {
  return c == '.' || c == ' ' || c == ',';
}

// Next token at or after `at`, delimiters before it skipped; `at` moves past it.
std::string_view next_token(std::string_view text, std::size_t &at) {
  while (at < text.size() && range_delimiter(text[at]))
    ++at;
  const std::size_t start = at;
  while (at < text.size() && !range_delimiter(text[at]))
    ++at;
  return text_part(text, start, at - start);
}

void split_number(std::string_view text, RangeNumber &out) {
  std::size_t at = 0;
  // A text without any token reads as 0 with the fraction "0".
  out.integer = decimal_value(next_token(text, at));
  std::string_view fraction = next_token(text, at);
  if (fraction.empty()) fraction = "0";
  out.length = fraction.size() < kFractionSize ? fraction.size() : kFractionSize;
  std::memcpy(out.fraction.data(), fraction.data(), out.length);
}

void pad_fraction(RangeNumber &n, std::size_t length) {
  for (; n.length < length; ++n.length)
    n.fraction[n.length] = '0';
}

// Integer parts compared as numbers; on a bound's integer, the fraction texts padded to one length
// and compared byte by byte.
bool range_judge(RangeNumber &lo, RangeNumber &hi, RangeNumber &v) {
  std::size_t length = lo.length;
  if (hi.length > length) length = hi.length;
  if (v.length > length) length = v.length;
  pad_fraction(lo, length);
  pad_fraction(hi, length);
  pad_fraction(v, length);
  if (v.integer < lo.integer || v.integer > hi.integer) return false;
  if (v.integer == lo.integer && std::memcmp(v.fraction.data(), lo.fraction.data(), length) < 0) return false;
  if (v.integer == hi.integer && std::memcmp(v.fraction.data(), hi.fraction.data(), length) > 0) return false;
  return true;
}

int digit(char c) {
  return is_digit(c) ? c - '0' : 0;
}

// Check digit with leading zero or prefix: `first_ok` is the outcome of the character tests, which
// come before the length limit and the arithmetic.
int check_digit_result(bool first_ok, std::string_view value) {
  if (!first_ok) return kCheckRejected;
  if (value.size() >= kCheckDigitLimit) {
    bad_call(" ", "Y3");
    return kCheckRejected;
  }
  return check_digit_right(value) ? kCheckAccepted : kCheckRejected;
}

}  // namespace

bool mask_accepts(std::string_view mask, std::string_view value) {
  bool accepted = true;
  std::size_t m = 0;
  for (const char c : value) {
    if (m >= mask.size()) continue;  // past the mask's end every character is accepted
    switch (mask[m]) {
      case '*':
        continue;  // accepts the rest of the value
      case '?':
        break;
      case 'a':
        accepted = accepted && is_letter(c);
        break;
      case 'n':
        accepted = accepted && is_digit(c);
        break;
      default:
        accepted = accepted && c == mask[m];
        break;
    }
    ++m;
  }
  return accepted;
}

bool list_entry_matches(std::string_view entry, std::string_view value) {
  // An entry starting with "b" stands for as many spaces as it has characters.
  if (!entry.empty() && entry[0] == 'b')
    return value.size() == entry.size() && value.find_first_not_of(' ') == std::string_view::npos;
  return entry == value;
}

bool range_accepts(std::string_view lower, std::string_view upper, std::string_view value) {
  RangeNumber lo{}, hi{}, v{};
  split_number(lower, lo);
  split_number(upper, hi);
  split_number(value, v);
  return range_judge(lo, hi, v);
}

bool check_digit_right(std::string_view value) {
  if (value.empty()) return false;  // no check digit at all
  const int given = digit(value.back());
  int sum = 0;
  int k = 0;
  for (std::size_t i = value.size() - 1; i-- > 0; ++k) {
    int d = digit(value[i]);
    if (k % 2 == 0) {
      d *= 2;
      if (d >= 10) d -= 9;
    }
    sum += d;
  }
  const int expected = (10 - sum % 10) % 10;
  return given == expected;
}

int mask_check() {
  const Field &f = current();
  const std::optional<std::string_view> mask = needed_record(f.ver_first, "XU");
  if (!mask) return kCheckMissing;
  return mask_accepts(*mask, value_of(f)) ? kCheckAccepted : kCheckRejected;
}

int list_check() {
  const Field &f = current();
  const std::string_view value = value_of(f);
  // Record numbers outside the help file's range have no key and are skipped like missing records.
  const std::int32_t first = f.ver_first < 0 ? 0 : f.ver_first;
  const std::int32_t last = f.ver_second > kLastRecord ? kLastRecord : f.ver_second;
  for (std::int32_t r = first; r <= last; ++r) {
    const std::optional<std::string_view> record = lookup_record(help_file_name(), r, kNumberWidth);
    if (record && list_entry_matches(record_text(*record), value)) return kCheckAccepted;
  }
  return kCheckRejected;
}

int range_check() {
  const Field &f = current();
  // Each bound is split as soon as it is found: a record is only valid until the next lookup.
  RangeNumber lo{}, hi{}, v{};
  const std::optional<std::string_view> lower = needed_record(f.ver_first, "XL");
  if (!lower) return kCheckMissing;
  split_number(*lower, lo);
  const std::optional<std::string_view> upper = needed_record(f.ver_second, "XM");
  if (!upper) return kCheckMissing;
  split_number(*upper, hi);
  split_number(value_of(f), v);
  return range_judge(lo, hi, v) ? kCheckAccepted : kCheckRejected;
}

int leading_zero_check() {
  const std::string_view value = value_of(current());
  return check_digit_result(!value.empty() && value[0] == '0', value);
}

int prefix_check() {
  const Field &f = current();
  const std::string_view value = value_of(f);
  const std::string_view prefix(f.ver_prefix.data(), strnlen(f.ver_prefix.data(), f.ver_prefix.size()));
  const bool first_ok = begins_with(value, prefix) && !value.empty() && value[0] >= '1' && value[0] <= '4';
  return check_digit_result(first_ok, value);
}

}  // namespace vek
