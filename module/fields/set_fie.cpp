// SET_FIE: one field of the panel from its definition text, kept in a user variable ("VAR=") or in a
// help record ("HELP="). The items are read in a fixed order; the first fault is shown with its Z code
// and leaves the entry undefined with whatever was stored before it.
#include <array>
#include <limits>

#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"
#include "fields/fields.h"

namespace vek {
namespace {

constexpr std::size_t kVerFileName = 8;  // ".VAL" is appended when the file is used
constexpr std::size_t kDataIdLength = 4;
constexpr std::size_t kPrefixLength = 2;  // characters after the "T" of a check-digit test

// Excerpt of up to 15 characters: a label followed by a number or a token.
struct Excerpt {
  std::array<char, 16> text;  // NUL-ended
  std::size_t used;           // characters so far
};

void append(Excerpt &excerpt, std::string_view part) {
  for (char ch : part)
    if (excerpt.used + 1 < excerpt.text.size()) excerpt.text[excerpt.used++] = ch;
  excerpt.text[excerpt.used] = 0;
}

void append(Excerpt &excerpt, std::int32_t number) {
  char digits[kDecimalTextSize];
  append(excerpt, std::string_view(digits, decimal_text(number, digits, sizeof digits)));
}

// "FI=" and a field number: how the faults of a known field are shown.
Excerpt field_excerpt(std::int32_t number) {
  Excerpt excerpt{};
  append(excerpt, "FI=");
  append(excerpt, number);
  return excerpt;
}

bool in_range(std::int32_t value, std::int32_t low, std::int32_t high) {
  return value >= low && value <= high;
}

bool same_letters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

template <std::size_t N>
void store_text(std::array<char, N> &out, std::string_view text) {
  copy_text(out.data(), out.size(), text.data(), text.size());
}

// The start values of an entry. The input class, the length, position and precision, the validation
// result, the screen records and the records and prefix of the checks stay as they were until the text
// sets them.
void reset(Field &field) {
  field.defined = 0;
  field.mode = 'V';
  field.result_uv = 1;
  field.edit = 1;
  field.required = 1;
  field.ver_file = {};
  field.ver_mandatory = 1;
  field.ver_type = 'N';
  field.help_start = 0;
  field.help_end = 0;
  field.data_id = {};
  field.mandatory_di = 0;
  field.keep_di = 0;
  field.prefilled = 0;
  field.value = {};
}

// Each reader below gets the first token of its keyword's window and returns 0 when the value is
// stored, or k to report the k-th code of its step.

constexpr std::string_view kInputClasses[] = {"AI",        "AIALPHA",   "ALPHA",    "NUM",     "AINUM",
                                              "DATE_AMER", "DATE_EURO", "TIME_STD", "PASSWORD"};
static_assert(std::size(kInputClasses) == kInputPassword + 1, "a name for every input class");

int read_input(Field &field, std::string_view token) {
  field.input = kInputMatching;
  for (std::size_t i = 0; i < std::size(kInputClasses); ++i)
    if (same_letters(token, kInputClasses[i])) {
      field.input = static_cast<std::uint8_t>(i);
      return 0;
    }
  return 1;
}

int read_length(Field &field, std::string_view token) {
  const std::int32_t value = decimal_value(token);
  constexpr std::int32_t kMost = std::numeric_limits<std::int32_t>::max();
  field.length = value >= 0 ? value : (value < -kMost ? kMost : -value);
  field.is_signed = value < 0;
  if (g_fields.dp_style[0] == 0) g_fields.dp_style = {'.', 0};
  const std::size_t point = token.find('.');
  field.precision = point == std::string_view::npos ? -1 : decimal_value(text_part(token, point + 1));
  return in_range(field.length, 1, 39) ? 0 : 1;
}

// Row and column count only the low 8 bits of their number, so 257 is row 1.
int read_row(Field &field, std::string_view token) {
  field.row = static_cast<std::uint8_t>(decimal_value(token));
  if (!in_range(field.row, 1, kScreenRows)) return 1;
  --field.row;
  return 0;
}

int read_col(Field &field, std::string_view token) {
  field.col = static_cast<std::uint8_t>(decimal_value(token));
  if (!in_range(field.col, 1, kScreenColumns - 1)) return 1;
  --field.col;
  return 0;
}

// Codes: 1 unknown letter, 2 prefix too long, 3/4 first record missing/out of range, 5/6 second.
int read_ver_type(Field &field, std::string_view token) {
  field.ver_type = token[0];
  switch (token[0]) {
    case 'I':
    case 'E':
      field.ver_mandatory = 1;
      return 0;
    case 'i':
    case 'e':
    case 'B':
    case '0':
      field.ver_mandatory = 0;
      return 0;
    case 'T':
      if (token.size() - 1 > kPrefixLength) return 2;
      store_text(field.ver_prefix, text_part(token, 1));
      return 0;
    case 'F':
    case 'R':
    case 'S':
      break;
    default:
      return 1;
  }
  std::string_view part;
  if (!next_token(token, &part)) return 3;
  field.ver_first = decimal_value(part);
  if (!in_range(field.ver_first, 1, kLastRecord)) return 4;
  if (token[0] == 'F') return 0;
  if (!next_token(part, &part)) return 5;
  field.ver_second = decimal_value(part);
  return in_range(field.ver_second, 1, kLastRecord) ? 0 : 6;
}

int read_mode(Field &field, std::string_view token) {
  field.mode = token[0];
  return field.mode == 'F' || field.mode == 'V' ? 0 : 1;
}

// "Y" or "N" by the first character alone, so "YES" counts as yes.
template <typename Flag>
int read_flag(Flag &flag, std::string_view token) {
  if (token[0] != 'Y' && token[0] != 'N') return 1;
  flag = token[0] == 'Y' ? 1 : 0;
  return 0;
}

int read_required(Field &field, std::string_view token) {
  return read_flag(field.required, token);
}
int read_keep_di(Field &field, std::string_view token) {
  return read_flag(field.keep_di, token);
}
int read_mandatory_di(Field &field, std::string_view token) {
  return read_flag(field.mandatory_di, token);
}
int read_edit(Field &field, std::string_view token) {
  return read_flag(field.edit, token);
}

int read_result_uv(Field &field, std::string_view token) {
  field.result_uv = decimal_value(token);
  return in_range(field.result_uv, 1, 19) ? 0 : 1;
}

// The service writes up to a whole user variable, more than the value holds: it reads into a buffer of
// a variable's size, and the value keeps the first 40 characters.
int read_prefill(Field &field, std::string_view token) {
  std::array<char, kWorkSize> text{};
  if (_ReadUserVariable(decimal_value(token), text.data()) == 3) return 1;
  text.back() = 0;
  copy_text(field.value.data(), field.value.size(), text.data(), text.size());
  field.prefilled = 1;
  return 0;
}

int read_ver_file(Field &field, std::string_view token) {
  if (token.size() > kVerFileName) return 1;
  store_text(field.ver_file, token);
  if (field.ver_type == 'N') field.ver_type = 'I';
  return 0;
}

// Two record numbers, first and last; neither is compared with the other. Codes: 1 first out of range,
// 2 no second number, 3 second out of range.
int read_records(std::int32_t &first, std::int32_t &last, std::string_view token) {
  first = decimal_value(token);
  if (!in_range(first, 1, kLastRecord)) return 1;
  std::string_view part;
  if (!next_token(token, &part)) return 2;
  last = decimal_value(part);
  return in_range(last, 1, kLastRecord) ? 0 : 3;
}

int read_help(Field &field, std::string_view token) {
  return read_records(field.help_start, field.help_end, token);
}
int read_screen(Field &field, std::string_view token) {
  return read_records(field.screen_first, field.screen_last, token);
}

int read_data_id(Field &field, std::string_view token) {
  if (token.size() > kDataIdLength) return 1;
  store_text(field.data_id, token);
  return 0;
}

enum class Shown : std::uint8_t { Record, Field };  // excerpt of a missing mandatory keyword

struct Step {
  const char *keyword;                     // found at its first occurrence in the text
  std::size_t window;                      // characters after the "=" that hold the value
  const char *missing;                     // code when the keyword is absent; nullptr: optional
  Shown missing_shown;                     // excerpt shown with `missing`
  const char *empty;                       // code when the window holds no token
  int (*read)(Field &, std::string_view);  // 0, or k for the k-th code of `codes`
  std::string_view codes;                  // two characters per code
};

// In the order they are read: "VERT=" comes before "VERF=", so a type given there is not turned into
// "I", and "DI=" comes last, so that inside "KEEPDI=" or "MANDI=" it is found at their value.
constexpr Step kSteps[] = {
    {"INPUT=", kShortWindow, "Z6", Shown::Field, "Z7", read_input, "Z8"},
    {"LEN=", kShortWindow, "Z9", Shown::Field, "ZA", read_length, "ZB"},
    {"ROW=", kShortWindow, "ZC", Shown::Record, "ZD", read_row, "ZE"},
    {"COL=", kShortWindow, "ZF", Shown::Record, "ZG", read_col, "ZH"},
    {"VERT=", kLongWindow, nullptr, Shown::Field, "ZI", read_ver_type, "ZOZJZKZLZMZN"},
    {"MODE=", kShortWindow, nullptr, Shown::Field, "ZP", read_mode, "ZQ"},
    {"REQ=", kShortWindow, nullptr, Shown::Field, "ZR", read_required, "ZS"},
    {"KEEPDI=", kShortWindow, nullptr, Shown::Field, "ZT", read_keep_di, "ZU"},
    {"MANDI=", kShortWindow, nullptr, Shown::Field, "Zq", read_mandatory_di, "Zr"},
    {"EDIT=", kShortWindow, nullptr, Shown::Field, "ZV", read_edit, "ZW"},
    {"RUV=", kShortWindow, nullptr, Shown::Field, "ZX", read_result_uv, "ZY"},
    {"PUV=", kShortWindow, nullptr, Shown::Field, "ZZ", read_prefill, "Za"},
    {"VERF=", kLongWindow, nullptr, Shown::Field, "Zb", read_ver_file, "Zc"},
    {"HELP=", kLongWindow, nullptr, Shown::Field, "Zd", read_help, "ZeZfZg"},
    {"SCRN=", kLongWindow, nullptr, Shown::Field, "Zm", read_screen, "ZnZoZp"},
    {"DI=", kShortWindow, nullptr, Shown::Field, "Zh", read_data_id, "Zi"},
};

// Reads one step's item into the field. Returns nullptr, or the code of its fault with the excerpt
// that goes with it in `record_shown`.
const char *run_step(const Step &step, Field &field, bool &record_shown) {
  std::string_view token;
  record_shown = false;
  switch (keyword_token(work_buffer(), step.keyword, step.window, &token)) {
    case kKeywordAbsent:
      record_shown = step.missing_shown == Shown::Record;
      return step.missing;
    case kKeywordEmpty:
      return step.empty;
    default:
      break;
  }
  const int fault = step.read(field, token);
  if (fault <= 0) return nullptr;
  const std::size_t at = static_cast<std::size_t>(fault - 1) * 2;
  return step.codes.data() + (at + 2 <= step.codes.size() ? at : 0);
}

// Faults of the definition text's source. The text starts right after the help record's number.
constexpr SourceCodes kDefinitionCodes = {"Z1", "Z2", "Zj"};

}  // namespace

// Returns 0 whatever the outcome; faults reach the operator only.
int set_fie(const char *record) {
  if (!load_source_text(record, kDefinitionCodes, kNumberWidth)) return 0;

  std::string_view token;
  switch (keyword_token(work_buffer(), "FI=", kShortWindow, &token)) {
    case kKeywordAbsent:
      bad_call(record, "Z3");
      return 0;
    case kKeywordEmpty:
      bad_call(record, "Z4");
      return 0;
    default:
      break;
  }
  const std::int32_t number = decimal_value(token);
  if (!in_range(number, 1, kFieldCount)) {
    bad_call(field_excerpt(number).text.data(), "Z5");
    return 0;
  }

  g_fields.current_field = number - 1;
  Field &field = g_fields.fields[static_cast<std::size_t>(number - 1)];
  reset(field);
  for (const Step &step : kSteps) {
    bool record_shown = false;
    if (const char *code = run_step(step, field, record_shown)) {
      bad_call(record_shown ? record : field_excerpt(number).text.data(), code);
      return 0;
    }
  }
  field.defined = 1;
  return 0;
}

}  // namespace vek
