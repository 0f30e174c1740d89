// Small text routines shared by every command: decimal conversion, case-blind compares, bounded copies.
#include <climits>
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"

namespace vek {

int decimal_value(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

namespace {
int upper(char ch) {
  const auto byte = static_cast<unsigned char>(ch);
  return (byte >= 'a' && byte <= 'z') ? byte - ('a' - 'A') : byte;
}
}  // namespace

int strnicmp(const char *a, const char *b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const int d = upper(a[i]) - upper(b[i]);
    if (d != 0 || a[i] == 0) return d;
  }
  return 0;
}

int stricmp(const char *a, const char *b) {
  return strnicmp(a, b, static_cast<std::size_t>(-1));
}

std::size_t copy_text(char *out, std::size_t size, const char *text, std::size_t max) {
  if (size == 0) return 0;
  if (max > size - 1) max = size - 1;
  std::size_t n = 0;
  if (text)
    for (; n < max && text[n] != 0; ++n)
      out[n] = text[n];
  out[n] = 0;
  return n;
}

char record_char(const char *record, std::size_t at) {
  if (!record) return 0;
  for (std::size_t i = 0; i < at; ++i)
    if (record[i] == 0) return 0;
  return record[at];
}

std::size_t record_columns(const char *record, std::size_t from, std::size_t width, char *out,
                           std::size_t size) {
  if (size == 0) return 0;
  if (!record) {
    out[0] = 0;
    return 0;
  }
  for (std::size_t i = 0; i < from; ++i)
    if (record[i] == 0) {
      out[0] = 0;
      return 0;
    }
  return copy_text(out, size, record + from, width);
}

std::size_t decimal_text(std::int32_t value, char *out, std::size_t size) {
  char digits[12];
  std::size_t count = 0;
  long long n = value < 0 ? -static_cast<long long>(value) : value;
  do {
    digits[count++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n > 0);
  if (value < 0) digits[count++] = '-';
  char reversed[12];
  for (std::size_t i = 0; i < count; ++i)
    reversed[i] = digits[count - 1 - i];
  return copy_text(out, size, reversed, count);
}

void write_text(std::string_view text, int row, int column) {
  int scratch = 0;
  _VioWrtCharStr(text.data(), static_cast<int>(text.size()), row, column, &scratch, 0);
}

}  // namespace vek
