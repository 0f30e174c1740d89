// EXEC_PA: runs the defined panel. Reads the panel's options, draws the fields, lets the operator edit
// them one after another, checks required fields and runs the validation pass on OK, and hands every
// value back in its user variable.
#include <array>
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"
#include "fields/fields.h"
#include "panel/internal.h"
#include "panel/panel.h"
#include "validation/validation.h"

namespace vek {
namespace {

// How the run ended, and the result codes each ERET= letter gives for it.
enum class Ending : std::uint8_t { Accepted, Cancelled };

// Options, in the order they are read; each table row is that of its id. Letters are compared exactly
// (upper case only).
enum OptionId : std::uint8_t { kToe, kEret, kCon, kMult, kL, kCnp, kT, kHvr, kSf, kReason };

struct Option {
  const char *keyword;  // found by plain substring search, first occurrence
  std::size_t window;   // characters examined after the keyword
  const char *letters;  // accepted first characters; nullptr for numbers
  const char *missing;  // error code when the keyword has no value
  const char *bad;      // error code when the value is not accepted
};

// clang-format off
constexpr Option kOptions[] = {
    {"TOE=", kShortWindow, "ANST", "X3", "X4"},
    {"ERET=", kShortWindow, "ANS", "X5", "X6"},
    {"CON=", kShortWindow, "YN", "X7", "X8"},
    {"MULT=", kShortWindow, "YN", "XV", "XW"},
    {"L=", kShortWindow, "YN", "X9", "XA"},
    {"CNP=", kShortWindow, "YN", "XB", "XC"},
    {"T=", kLongWindow, nullptr, "XD", nullptr},
    {"HVR=", kLongWindow, nullptr, "XO", "XP"},
    {"SF=", kLongWindow, nullptr, "XF", "XG"},
    {"REASON=", kLongWindow, nullptr, "XX", "XY"},
};
// clang-format on
static_assert(std::size(kOptions) == kReason + 1, "a row for every option");

Field &field(int index) {
  return g_fields.fields[static_cast<std::size_t>(index)];
}
bool defined(int index) {
  return field(index).defined == 1;
}
bool empty_value(int index) {
  return field(index).value[0] == 0;
}
int wrap(int index) {
  return (index + kFieldCount) % kFieldCount;
}

int result_code(Ending ending) {
  const char e = g_exec.run.eret;
  if (ending == Ending::Accepted) return e == 'N' ? 1 : 0;
  return e == 'S' ? 1 : (e == 'A' ? 2 : 0);
}

void write_reason(const char *text) {
  if (g_exec.run.reason_uv == 0) return;
  _ClearUserVariable(g_exec.run.reason_uv);
  _WriteUserVariable(g_exec.run.reason_uv, text);
}

// Shows the fault of an option with the whole record. Returns false.
bool option_fault(const char *record, const char *code) {
  bad_call(record, code);
  return false;
}

// Reads the options in their order. Returns true, or false once the first faulty one was shown.
bool read_options(const char *record) {
  RunSettings &run = g_exec.run;
  for (std::size_t id = 0; id < std::size(kOptions); ++id) {
    const Option &option = kOptions[id];
    std::string_view token;
    const int found = keyword_token(work_buffer(), option.keyword, option.window, &token);
    if (found == kKeywordAbsent) continue;
    if (found == kKeywordEmpty) return option_fault(record, option.missing);
    if (option.letters) {
      const char letter = token[0];
      if (std::strchr(option.letters, letter) == nullptr) return option_fault(record, option.bad);
      switch (id) {
        case kToe:
          run.toe = letter;
          break;
        case kEret:
          run.eret = letter;
          break;
        case kCon:
          g_fields.panel_concat = letter == 'Y';
          break;
        case kMult:
          g_fields.panel_multi = letter == 'Y';
          break;
        case kCnp:
          run.clear_new = letter == 'Y';
          break;
        default:
          break;  // L= is checked and has no further effect
      }
      continue;
    }
    const int number = decimal_value(token);
    switch (id) {
      case kT:
        // A negative limit would time every edit out at once; it counts as no limit, so a panel
        // with one waits for the operator instead of looping through time-outs.
        run.time_limit = number > 0 ? number : 0;
        break;
      case kHvr:
        g_fields.panel_help_uv = number;  // stored before its range is tested
        if (number < 10 || number > 19) return option_fault(record, option.bad);
        break;
      case kSf:
        if (number < 1 || number > kFieldCount || !defined(number - 1))
          return option_fault(record, option.bad);
        run.start_field = number - 1;
        break;
      case kReason:
        if (static_cast<std::uint16_t>(number) > 19) return option_fault(record, option.bad);
        run.reason_uv = static_cast<std::uint16_t>(number);
        break;
      default:
        break;
    }
  }
  return true;
}

void first_drawing() {
  int scratch = 0;
  for (int i = 0; i < kFieldCount; ++i) {
    Field &f = field(i);
    if (!defined(i)) continue;
    if (g_fields.panel_multi != 1) {
      _VioWrtNChar(f.row, f.col, '_', f.length % 256, &scratch, 0);
      if (f.prefilled) write_text(f.value.data(), f.row, f.col);
    }
    if (!f.prefilled && g_exec.run.clear_new) f.value[0] = 0;
    f.val_result = ' ';
  }
}

// Blank letters after a changed value: of the field, or with CON=Y of every field sharing its file.
void letter_reset() {
  const Field &edited = current();
  if (g_fields.panel_concat == 0) {
    current().val_result = ' ';
    return;
  }
  for (int i = 0; i < kFieldCount; ++i)
    if (defined(i) && std::strcmp(field(i).ver_file.data(), edited.ver_file.data()) == 0)
      field(i).val_result = ' ';
}

void commit(bool redraw) {
  Field &f = current();
  if (std::strncmp(g_edit.buffer.data(), f.value.data(), f.value.size()) == 0) return;
  copy_text(f.value.data(), f.value.size(), g_edit.buffer.data(), kValueSize - 1);
  letter_reset();
  if (redraw) number_layout(g_fields.current_field);
}

// Moves current_field to the next defined field in a direction, wrapping; to_empty prefers a defined
// field whose value is empty when there is one.
void field_step(int direction, bool to_empty) {
  const int start = g_fields.current_field;
  int index = start;
  for (int step = 0; step < kFieldCount; ++step) {
    index = wrap(index + direction);
    if (defined(index)) break;
  }
  if (to_empty) {
    int probe = start;
    for (int step = 1; step < kFieldCount; ++step) {
      probe = wrap(probe + direction);
      if (defined(probe) && empty_value(probe)) {
        index = probe;
        break;
      }
    }
  }
  g_fields.current_field = index;
}

void discard_typed_keys() {
  unsigned short code = 0;
  while (_KbdReadAscii(&code) == 0)
    _IdleManager(0);
}

// Required fields first (dates and times get placeholders the validation completes from the clock),
// then the validation pass. Returns 768 accepted, 13 edit on at current_field.
int acceptance_check() {
  int result = 0;
  for (int i = 0; i < kFieldCount && result == 0; ++i) {
    Field &f = field(i);
    if (!defined(i) || f.required != 1 || !empty_value(i)) continue;
    const char *placeholder = f.input == kInputDateAmer   ? "MM-DD-YYYY"
                              : f.input == kInputDateEuro ? "DD-MM-YYYY"
                              : f.input == kInputTimeStd  ? "HH:MM:SS"
                                                          : "";
    copy_text(f.value.data(), f.value.size(), placeholder, kValueSize - 1);
    if (empty_value(i)) {
      g_fields.current_field = i;
      message_popup(kRecordRequiredEmpty, kRecordRequiredEmpty, 0);
      result = key::Enter;
    }
  }
  if (result == 0) result = validation_pass();
  discard_typed_keys();
  return result;
}

// After an accepted scan: a panel whose required fields all hold values and data identifiers is
// validated at once; otherwise editing goes on at the next empty field. Returns 768 or 13.
int auto_completion() {
  bool complete = true;
  for (int i = 0; i < kFieldCount && complete; ++i) {
    const Field &f = field(i);
    if (defined(i) && f.required == 1 && (empty_value(i) || f.data_id[0] == 0)) complete = false;
  }
  if (!complete) {
    field_step(1, true);
    return key::Enter;
  }
  const int result = validation_pass();
  discard_typed_keys();
  return result;
}

// Writes every defined field's value, blank-padded to its length, into its result variable.
void hand_back(const char *record) {
  char *work = work_buffer();
  for (int i = 0; i < kFieldCount; ++i) {
    const Field &f = field(i);
    if (!defined(i)) continue;
    const std::size_t length = f.length > 0 && f.length < kWorkSize ? static_cast<std::size_t>(f.length) : 0;
    std::memset(work, ' ', length);
    work[length] = 0;
    const std::size_t copied = copy_text(work, kWorkSize, f.value.data(), kValueSize - 1);
    if (copied < length) work[copied] = ' ';
    const int result = _WriteUserVariable(f.result_uv, work);
    if (result == 3) {
      bad_call(record, "XJ");
    } else if (result == 5) {
      char excerpt[16] = "VAR=";
      decimal_text(f.result_uv, excerpt + 4, sizeof excerpt - 4);
      bad_call(excerpt, "XI");
    }
  }
}

int edit_loop(const char *record) {
  RunSettings &run = g_exec.run;
  for (;;) {
    Field &f = current();
    if (g_fields.panel_multi == 1) message_popup(f.screen_first, f.screen_last, 3);
    const EditResult edited = field_input(run.clear_toggle ? "" : f.value.data(), run.time_limit);
    int outcome = 0;
    switch (edited) {
      case kEditEnter:
      case kEditNext:
        run.clear_toggle = false;
        commit(true);
        field_step(1, false);
        break;
      case kEditPrevious:
        run.clear_toggle = false;
        commit(true);
        field_step(-1, false);
        break;
      case kScanAccepted:
        run.clear_toggle = false;
        commit(false);
        outcome = auto_completion();
        break;
      case kEditOk:
        run.clear_toggle = false;
        commit(true);
        outcome = acceptance_check();
        break;
      case kEditCancel:
        write_reason("CANCEL");
        return result_code(Ending::Cancelled);
      case kTimedOut:
        write_reason("TIMEOUT");
        if (run.toe != 'T') return result_code(Ending::Cancelled);
        run.clear_toggle = false;
        commit(true);
        outcome = acceptance_check();
        break;
      case kEditClear:
        run.clear_toggle = !run.clear_toggle;
        break;
      default:
        break;
    }
    if (outcome == key::Ok) break;
  }
  _VioSetCurType(0);
  _VioSetCurPos(g_exec.saved_row, g_exec.saved_col);
  hand_back(record);
  write_reason("OK");
  return result_code(Ending::Accepted);
}

// Faults of the option text's source. The text starts after the help record's number and separator.
constexpr SourceCodes kOptionCodes = {"X1", "X2", "XN"};
constexpr std::size_t kOptionTextFrom = kTextColumn;

}  // namespace

// Result by ERET=: accepted N 1, S 0, A 0; cancelled N 0, S 1, A 2; 0 after an error of the call.
int exec_pa(const char *record) {
  if (!load_source_text(record, kOptionCodes, kOptionTextFrom)) return 0;
  g_fields.panel_multi = 0;
  g_fields.panel_concat = 0;
  g_fields.panel_help_uv = 0;
  g_exec.run = RunSettings{0, 0, 'N', 'N', true, 0, false};
  if (!read_options(record)) return 0;

  first_drawing();
  int start = g_exec.run.start_field;
  for (int step = 0; step < kFieldCount && !defined(start); ++step)
    start = wrap(start + 1);
  if (!defined(start)) {
    bad_call(record, "XH");
    return 0;
  }
  g_fields.current_field = start;
  _VioSetCurType(4);
  _VioGetCurPos(&g_exec.saved_row, &g_exec.saved_col);
  return edit_loop(record);
}

}  // namespace vek
