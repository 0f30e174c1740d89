// The module's own printf-like formatter: formats into a caller's buffer with a size limit and writes
// the text on the screen. Every value is 32 bits wide; "%s" takes a text.
#ifndef VEKPANEL_DISPATCH_FORMAT_H
#define VEKPANEL_DISPATCH_FORMAT_H

#include <cstdint>
#include <initializer_list>

namespace vek {

// One value consumed by a conversion: a number for c, d, i, o, u, x, X, a text for s.
struct FormatValue {
  std::int32_t number;  // the 32 bits of a numeric value
  const char *text;     // the text of "%s"; nullptr reads as the empty text

  constexpr FormatValue(std::int32_t n) : number(n), text(nullptr) {}
  constexpr FormatValue(std::uint32_t n) : number(static_cast<std::int32_t>(n)), text(nullptr) {}
  constexpr FormatValue(const char *t) : number(0), text(t) {}
};

enum FormatResult : int {
  kFormatDone = 0,       // formatted (and written unless the row is -1)
  kFormatTooLong = 1,    // the text would not fit in the buffer; marker "***"
  kFormatWidth = 2,      // a width of more than 2 digits; marker "*1*"
  kFormatPrecision = 3,  // a precision of more than 2 digits; marker "*2*"
};

// Formats `format` into `buffer` (`size` bytes, the NUL included) and writes the text at row, column;
// with row -1 it only formats. On an error the text formatted so far is written, followed by the
// error's three-character marker. A conversion finding no value left takes 0 or the empty text.
// Returns a FormatResult.
int format_text(char *buffer, int size, int row, int column, const char *format,
                std::initializer_list<FormatValue> values);

}  // namespace vek

#endif
