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

int strnicmp(const char *a, const char *b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const int d = static_cast<unsigned char>(upper(a[i])) - static_cast<unsigned char>(upper(b[i]));
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
  // The magnitude is taken on the unsigned bits, so -2147483648 needs no wider type.
  std::uint32_t magnitude = static_cast<std::uint32_t>(value);
  if (value < 0) magnitude = 0u - magnitude;
  char reversed[kDecimalTextSize];
  std::size_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  char text[kDecimalTextSize];
  std::size_t at = 0;
  if (value < 0) text[at++] = '-';
  while (count > 0)
    text[at++] = reversed[--count];
  return copy_text(out, size, text, at);
}

void write_text(std::string_view text, int row, int column) {
  int scratch = 0;
  _VioWrtCharStr(text.data(), static_cast<int>(text.size()), row, column, &scratch, 0);
}

}  // namespace vek
