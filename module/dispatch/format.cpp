// The formatter: conversion directives with flags, a width and a precision of up to two digits
// each, over 32-bit values, into a caller's buffer that is never overrun.
#include "dispatch/format.h"

#include <array>
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"

namespace vek {
namespace {

constexpr int kMaxDigits = 2;    // of a width or a precision
constexpr int kNumberSize = 12;  // 32 bits in octal need 11 digits
constexpr std::string_view kConversions = "cdinopsuxX";

// One conversion directive, cleared before each "%".
struct Directive {
  bool left;                                    // "-": fill on the right
  bool plus;                                    // "+": non-negative signed numbers get a "+"
  bool blank;                                   // " ": non-negative signed numbers get a blank
  bool precision_mode;                          // "." or "," seen: digits go to the precision
  std::array<char, kMaxDigits> width_text;      // width digits as typed; a leading "0" asks for zeros
  int width_digits;                             // digits in width_text
  std::array<char, kMaxDigits> precision_text;  // precision digits as typed
  int precision_digits;                         // digits in precision_text
  char size;                                    // "h", "l" or "L"; no effect, every value is 32 bits
  char conversion;                              // the conversion character, 0 while none was seen
};

// The buffer being filled. Every piece goes in whole or not at all, so on an error the buffer holds
// the text formatted before the piece that did not fit.
struct Output {
  char *buffer;  // the caller's buffer, always NUL-terminated
  int size;      // its size in bytes, the NUL included
  int length;    // characters in use

  bool fits(int n) const { return n >= 0 && n < size - length; }
  void put(char ch) {
    buffer[length++] = ch;
    buffer[length] = 0;
  }
  void put(const char *text, int n) {
    for (int i = 0; i < n; ++i)
      put(text[i]);
  }
  void fill(char ch, int n) {
    for (int i = 0; i < n; ++i)
      put(ch);
  }
};

int digits_value(const std::array<char, kMaxDigits> &text, int count) {
  int value = 0;
  for (int i = 0; i < count; ++i)
    value = value * 10 + (text[static_cast<std::size_t>(i)] - '0');
  return value;
}

// Digits of `value` in `radix` into `out` (kNumberSize bytes); returns their count.
int unsigned_digits(std::uint32_t value, std::uint32_t radix, bool upper, char *out) {
  const char *digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char reversed[kNumberSize];
  int n = 0;
  do {
    reversed[n++] = digits[value % radix];
    value /= radix;
  } while (value != 0 && n < kNumberSize);
  for (int i = 0; i < n; ++i)
    out[i] = reversed[n - 1 - i];
  return n;
}

// A number filled to the width; a leading sign (or blank) keeps the field's first position. Returns
// 0 or kFormatTooLong.
int put_number(Output &out, const Directive &directive, int width, char sign, const char *digits, int count) {
  const int own = count + (sign ? 1 : 0);
  const int fill = width > own ? width - own : 0;
  if (!out.fits(own + fill)) return kFormatTooLong;
  if (directive.left) {
    if (sign) out.put(sign);
    out.put(digits, count);
    out.fill(' ', fill);
    return kFormatDone;
  }
  if (sign) out.put(sign);
  out.fill(directive.width_digits > 0 && directive.width_text[0] == '0' ? '0' : ' ', fill);
  out.put(digits, count);
  return kFormatDone;
}

// Converts one value as its conversion directive asks. Returns 0 or kFormatTooLong.
int convert(Output &out, const Directive &directive, const FormatValue *&next, const FormatValue *end) {
  if (directive.conversion == 'n' || directive.conversion == 'p') return kFormatDone;
  static constexpr FormatValue kMissing(0);
  const FormatValue &value = next != end ? *next++ : kMissing;
  const int width = digits_value(directive.width_text, directive.width_digits);
  const int precision = digits_value(directive.precision_text, directive.precision_digits);
  const auto bits = static_cast<std::uint32_t>(value.number);
  char digits[kNumberSize];

  switch (directive.conversion) {
    case 'd':
    case 'i': {
      char sign = 0;
      if (value.number < 0)
        sign = '-';
      else if (directive.plus)
        sign = '+';
      else if (directive.blank)
        sign = ' ';
      const std::uint32_t magnitude = value.number < 0 ? 0u - bits : bits;
      return put_number(out, directive, width, sign, digits, unsigned_digits(magnitude, 10, false, digits));
    }
    case 'u':
      return put_number(out, directive, width, 0, digits, unsigned_digits(bits, 10, false, digits));
    case 'o':
      return put_number(out, directive, width, 0, digits, unsigned_digits(bits, 8, false, digits));
    case 'x':
    case 'X':
      return put_number(out, directive, width, 0, digits,
                        unsigned_digits(bits, 16, directive.conversion == 'X', digits));
    case 'c': {
      const int field = width > 1 ? width : 1;
      if (!out.fits(field)) return kFormatTooLong;
      if (!directive.left) out.fill(' ', field - 1);
      // A zero byte goes in as it is: the screen write takes the counted length, not the NUL.
      out.put(static_cast<char>(bits & 0xFF));
      if (directive.left) out.fill(' ', field - 1);
      return kFormatDone;
    }
    default: {  // 's'
      const char *text = value.text ? value.text : "";
      // The text is only read as far as the buffer could ever take it.
      const int length = static_cast<int>(strnlen(text, static_cast<std::size_t>(out.size)));
      if (length > width) {
        if (!out.fits(length)) return kFormatTooLong;
        out.put(text, length);
        return kFormatDone;
      }
      const int taken = (precision != 0 && precision < length) ? precision : length;
      if (!out.fits(width)) return kFormatTooLong;
      if (!directive.left) out.fill(' ', width - taken);
      out.put(text, taken);
      if (directive.left) out.fill(' ', width - taken);
      return kFormatDone;
    }
  }
}

// Writes what was formatted and, after an error, its marker right behind it. Returns `result`.
int finish(const Output &out, int row, int column, int result) {
  if (row == -1) return result;
  if (out.length > 0)
    write_text(std::string_view(out.buffer, static_cast<std::size_t>(out.length)), row, column);
  if (result != kFormatDone) {
    static constexpr std::string_view kMarkers[] = {"", "***", "*1*", "*2*"};
    static_assert(std::size(kMarkers) == kFormatPrecision + 1, "a marker for every result");
    write_text(kMarkers[static_cast<std::size_t>(result)], row, column + out.length);
  }
  return result;
}

}  // namespace

int format_text(char *buffer, int size, int row, int column, const char *format,
                std::initializer_list<FormatValue> values) {
  if (!buffer || size <= 0) return finish(Output{nullptr, 0, 0}, row, column, kFormatTooLong);
  Output out{buffer, size, 0};
  out.buffer[0] = 0;
  const FormatValue *next = values.begin();
  const char *p = format ? format : "";

  for (;;) {
    const char *percent = std::strchr(p, '%');
    const int literal = static_cast<int>(percent ? percent - p : static_cast<std::ptrdiff_t>(std::strlen(p)));
    if (!out.fits(literal)) return finish(out, row, column, kFormatTooLong);
    out.put(p, literal);
    if (!percent) return finish(out, row, column, kFormatDone);

    Directive directive{};
    p = percent + 1;
    bool ended = false;  // a character that is no conversion ended the directive
    while (directive.conversion == 0 && !ended) {
      const char ch = *p;
      if (ch == 0) return finish(out, row, column, kFormatDone);  // unfinished at the end of the format
      ++p;
      if (ch == '-') {
        directive.left = true;
      } else if (ch == '+') {
        directive.plus = true;
      } else if (ch == ' ') {
        directive.blank = true;
      } else if (ch == '.' || ch == ',') {
        directive.precision_mode = true;
      } else if (ch >= '0' && ch <= '9') {
        int &count = directive.precision_mode ? directive.precision_digits : directive.width_digits;
        if (count == kMaxDigits)
          return finish(out, row, column, directive.precision_mode ? kFormatPrecision : kFormatWidth);
        (directive.precision_mode ? directive.precision_text
                                  : directive.width_text)[static_cast<std::size_t>(count++)] = ch;
      } else if (ch == 'h' || ch == 'l' || ch == 'L') {
        directive.size = ch;
      } else if (kConversions.find(ch) != std::string_view::npos) {
        directive.conversion = ch;
      } else {
        if (!out.fits(1)) return finish(out, row, column, kFormatTooLong);
        out.put(ch);
        ended = true;
      }
    }
    if (directive.conversion != 0) {
      const int result = convert(out, directive, next, values.end());
      if (result != kFormatDone) return finish(out, row, column, result);
    }
  }
}

}  // namespace vek
