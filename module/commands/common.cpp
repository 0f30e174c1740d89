// Small routines shared by the utility commands.
#include "commands/common.h"

#include "dispatch/dispatch.h"

namespace vek {

int refuse(const char *record, const char *code) {
  bad_call(record, code);
  return 0;
}

char upper(char ch) {
  return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - ('a' - 'A')) : ch;
}

int record_number(const char *record, std::size_t column, std::size_t width) {
  char digits[8] = {};
  record_columns(record, column, width, digits, sizeof digits);
  return decimal_value(digits);
}

int signed_text(std::uint32_t bits, char (&text)[kSignedTextSize]) {
  const bool negative = (bits & 0x80000000u) != 0;
  std::uint32_t magnitude = negative ? 0u - bits : bits;
  char reversed[kSignedTextSize];
  int n = 0;
  do {
    reversed[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  int at = 0;
  if (negative) text[at++] = '-';
  while (n > 0)
    text[at++] = reversed[--n];
  text[at] = 0;
  return at;
}

}  // namespace vek
