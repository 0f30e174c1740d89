// Number layout: a committed value of a field with decimal places rewritten as a fixed-width number
// (integer part padded with zeros, the panel's decimal point, every decimal place) and redrawn.
#include <array>

#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"
#include "fields/table.h"
#include "panel/internal.h"

namespace vek {
namespace {

constexpr int kValueLength = kValueSize - 1;  // characters a field value holds

// Local text of the layout, never longer than the value it replaces.
struct Text {
  std::array<char, kValueSize> chars;  // NUL-terminated
  int size;                            // characters in use
  void push(char ch) {
    if (size < kValueLength) chars[static_cast<std::size_t>(size++)] = ch;
    chars[static_cast<std::size_t>(size)] = 0;
  }
};

}  // namespace

void number_layout(int index) {
  if (index < 0 || index >= kFieldCount) return;
  Field &field = g_fields.fields[static_cast<std::size_t>(index)];
  // Precision -1 (and 0) means no decimal places; so does a negative one, which no definition gives.
  if (field.precision <= 0 || field.length <= 0) return;
  const int width = field.length < kValueLength ? field.length : kValueLength;
  std::size_t length = 0;
  while (length < kValueLength && field.value[length] != 0)
    ++length;
  const std::string_view value(field.value.data(), length);

  std::size_t fraction = value.find('.');
  if (fraction == std::string_view::npos) fraction = value.find(',');
  const std::size_t separator = value.find_first_of(".,");

  // Integer part: the value read as a number and written back, or as it stands when those digits are
  // not in it (a value such as ".5").
  const int n = decimal_value(value);
  char number[kDecimalTextSize];
  std::string_view integer(number, decimal_text(n, number, sizeof number));
  const std::string_view digits = begins_with(integer, "-") ? text_part(integer, 1) : integer;
  if (value.find(digits) == std::string_view::npos) integer = text_part(value, 0, separator);

  Text text{};
  if (n > 0 && field.is_signed == 1) text.push(' ');
  for (char ch : integer)
    text.push(ch);
  // A part that fills the field is kept as it stands; one too long for it cannot be laid out and is
  // kept as well.
  if (static_cast<int>(integer.size()) + (n > 0 && field.is_signed == 1 ? 1 : 0) >= width) return;

  for (const char *dp = g_fields.dp_style.data(); *dp != 0 && dp < g_fields.dp_style.data() + 2; ++dp)
    text.push(*dp);
  std::size_t next = fraction == std::string_view::npos ? value.size() : fraction + 1;
  for (int places = 0; places < field.precision && text.size < width; ++places)
    text.push(next < value.size() ? value[next++] : '0');

  const int pad = width - text.size;
  if (pad > 0) {
    const int keep = field.is_signed == 1 ? 1 : 0;  // a signed number keeps its sign position first
    Text padded{};
    for (int i = 0; i < keep && i < text.size; ++i)
      padded.push(text.chars[static_cast<std::size_t>(i)]);
    for (int i = 0; i < pad; ++i)
      padded.push('0');
    for (int i = keep; i < text.size; ++i)
      padded.push(text.chars[static_cast<std::size_t>(i)]);
    text = padded;
  }

  field.value = text.chars;
  int scratch = 0;
  _VioWrtNChar(field.row, field.col, '_', field.length % 256, &scratch, 0);
  _VioWrtCharStr(field.value.data(), text.size, field.row, field.col, &scratch, 0);
}

}  // namespace vek
