// Field trace: the stored attributes of the entry at current_field, one a row, for whoever writes
// definition texts. It draws over rows 1 to 19 and restores nothing; the field input draws after it.
#include <array>

#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"
#include "fields/fields.h"

namespace vek {
namespace {

enum TraceRow : std::uint8_t {
  kRowIndex,
  kRowDefined,
  kRowInput,
  kRowMode,
  kRowLength,
  kRowSigned,
  kRowPrecision,
  kRowCol,
  kRowDpStyle,
  kRowPrefilled,
  kRowEdit,
  kRowVerFile,
  kRowVerType,
  kRowVerMandatory,
  kRowConcat,
  kRowValResult,
  kRowDataId,
  kRowHelpStart,
  kRowHelpEnd
};

// Shown from row 1 on, each followed by a NUL cell; values start at column 16 over the labels' tails.
constexpr std::string_view kLabels[] = {
    "field index     ",    "field defined   ",    "inputs allowd   ",    "field mode      ",
    "field length    ",    "field signed    ",    "field precisn   ",    "field col       ",
    "dp style        ",    "prefilled ?     ",    "Edit?           ",    "ver file name           ",
    "ver type           ", "ver mandatory   ",    "val concate'd   ",    "Val result      ",
    "Data ID            ", "Help start         ", "Help end           ",
};
static_assert(std::size(kLabels) == kRowHelpEnd + 1, "a label for every row");

constexpr int kValueColumn = 16;

void show_char(int row, char ch) {
  int scratch = 0;
  _VioWrtNChar(row, kValueColumn, ch, 1, &scratch, 0);
}

void show_flag(int row, std::uint8_t flag) {
  show_char(row, static_cast<char>('0' + flag));
}

void show_number(int row, std::int32_t number) {
  char digits[kDecimalTextSize];
  write_text(std::string_view(digits, decimal_text(number, digits, sizeof digits)), row, kValueColumn);
}

template <std::size_t N>
void show_text(int row, const std::array<char, N> &text) {
  std::size_t n = 0;
  while (n < N && text[n] != 0)
    ++n;
  write_text(std::string_view(text.data(), n), row, kValueColumn);
}

}  // namespace

void field_trace() {
  for (std::size_t i = 0; i < std::size(kLabels); ++i) {
    const int row = static_cast<int>(i) + 1;
    write_text(kLabels[i], row, 0);
    int scratch = 0;
    _VioWrtNChar(row, static_cast<int>(kLabels[i].size()), '\0', 1, &scratch, 0);
  }
  const std::int32_t index = g_fields.current_field;
  // An index outside the table shows as itself over an empty entry rather than reading past it.
  static constexpr Field kNone{};
  const Field &f =
      index >= 0 && index < kFieldCount ? g_fields.fields[static_cast<std::size_t>(index)] : kNone;
  show_number(kRowIndex + 1, index);
  show_flag(kRowDefined + 1, f.defined);
  show_number(kRowInput + 1, f.input);
  show_char(kRowMode + 1, f.mode);
  show_number(kRowLength + 1, f.length);
  show_flag(kRowSigned + 1, f.is_signed);
  show_number(kRowPrecision + 1, f.precision);
  show_number(kRowCol + 1, f.col);
  show_text(kRowDpStyle + 1, g_fields.dp_style);
  show_flag(kRowPrefilled + 1, f.prefilled);
  show_flag(kRowEdit + 1, f.edit);
  show_text(kRowVerFile + 1, f.ver_file);
  show_char(kRowVerType + 1, f.ver_type);
  show_flag(kRowVerMandatory + 1, f.ver_mandatory);
  show_flag(kRowConcat + 1, g_fields.panel_concat);
  show_char(kRowValResult + 1, f.val_result);
  show_text(kRowDataId + 1, f.data_id);
  show_number(kRowHelpStart + 1, f.help_start);
  show_number(kRowHelpEnd + 1, f.help_end);
}

}  // namespace vek
