// The field editor: typing and scanning into one field of a running panel, with its time limit, and
// the seconds count that the time limit is measured with.
#include <array>
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"
#include "fields/fields.h"
#include "panel/internal.h"
#include "panel/panel.h"

namespace vek {

namespace {

// Characters a field can hold while it is edited. Field lengths are 1 to 39; a larger one is held
// here so that the cursor, the date skip and the decimal point stay inside the edit buffer.
constexpr int kLongestText = kEditSize - 4;
// Longest single wait of a timed edit, in seconds: the time test runs again after it.
constexpr std::int64_t kLongestWait = 3600;

// Start texts of the date and time classes, in the order of the classes from DATE_AMER on.
constexpr std::string_view kMasks[] = {"MM-DD-YYYY", "DD-MM-YYYY", "HH:MM:SS"};
static_assert(std::size(kMasks) == kInputTimeStd - kInputDateAmer + 1,
              "a start text for every date and time class");

constexpr std::int32_t kDaysBeforeMonth[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
static_assert(std::size(kDaysBeforeMonth) == 12, "a row for every month");

// One edit, from the call of field_input to its return.
struct Edit {
  const Field *field;    // the entry at current_field
  std::uint8_t input;    // input class; AINUM becomes NUM once a key was read
  int length;            // field length, held within the edit buffer
  int end;               // characters in use; the text is cut there
  bool decimal;          // the text holds a decimal separator
  std::int32_t start;    // seconds count of the last key (or scan, or pop-up)
  std::int32_t elapsed;  // seconds since the start at the last time test
  std::int32_t limit;    // time limit in seconds; 0 none
};

bool date_or_time(std::uint8_t input) {
  return input >= kInputDateAmer && input <= kInputTimeStd;
}
bool separator(char ch) {
  return ch == '-' || ch == ':';
}
bool decimal_point(char ch) {
  return ch == '.' || ch == ',';
}

// Keys that can be stored in a field of the class; both bounds excluded.
bool accepted_key(std::uint8_t input, unsigned code) {
  switch (input) {
    case kInputAiAlpha:
    case kInputAlpha:
    case kInputPassword:
      return code > 0x1F && code < 0x7B;
    case kInputNum:
    case kInputAiNum:
      return code > 0x2B && code < 0x3A && code != '/';
    case kInputDateAmer:
    case kInputDateEuro:
    case kInputTimeStd:
      return code > 0x2B && code < 0x3A;
    default:
      return false;
  }
}

std::int32_t seconds_since(std::int32_t start) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(seconds_count()) -
                                   static_cast<std::uint32_t>(start));
}

void new_start(Edit &e) {
  e.start = seconds_count();
}

void place_cursor(const Edit &e) {
  if (e.input != kInputAi) _VioSetCurPos(e.field->row, e.field->col + g_edit.cursor);
}

void blank_field(const Edit &e) {
  int scratch = 0;
  _VioWrtNChar(e.field->row, e.field->col, '_', e.length, &scratch, 0);
}

void draw_text(const Edit &e) {
  int scratch = 0;
  if (e.input == kInputPassword)
    _VioWrtNChar(e.field->row, e.field->col, '*', e.end, &scratch, 0);
  else
    _VioWrtCharStr(g_edit.buffer.data(), e.end, e.field->row, e.field->col, &scratch, 0);
}

void show_help(Edit &e) {
  message_popup(e.field->help_start, e.field->help_end, 1);
  new_start(e);
}

// Waits for input until the time limit. Returns kEditGoesOn, or kTimedOut once more seconds than the limit
// have passed since the start (help record 11 shown).
EditResult wait_for_input(Edit &e) {
  if (e.limit == 0) {
    _WaitEvent(0);
    return kEditGoesOn;
  }
  // The wait always has a limit, at least a second, so that the time-out comes without any input;
  // the seconds count only moves in whole seconds.
  std::int64_t remaining = static_cast<std::int64_t>(e.limit) - e.elapsed;
  if (remaining < 1) remaining = 1;
  if (remaining > kLongestWait) remaining = kLongestWait;
  _WaitEvent(static_cast<int>(remaining * 1000));
  e.elapsed = seconds_since(e.start);
  if (e.elapsed < 0) {  // the clock was set back: count from now
    new_start(e);
    e.elapsed = 0;
  }
  if (e.elapsed > e.limit) {
    message_popup(kRecordTimeOut, kRecordTimeOut, 0);
    return kTimedOut;
  }
  return kEditGoesOn;
}

// Scans and time between keys of the first-key phase. Returns kEditGoesOn or the editor's result.
EditResult scan_and_time(Edit &e) {
  unsigned short count = 0;
  _SenQueryData(&count);
  if (count != 0) {
    new_start(e);
    g_edit.sensor = {};
    if (_SenRead(g_edit.sensor.data(), kSensorSize) == 0 && !sensor_ignored()) {
      const EditResult routed = scan_routing();
      if (routed == kScanAccepted) {
        _SpkBeep(0, 2, 3);
        _SenActLed(0, 60);
        return kScanAccepted;
      }
      if (routed != kScanRefused) return routed;
    }
  }
  if (_IdleManager(0) != 0) return kEditCancel;
  return wait_for_input(e);
}

// Waits for the next key of the editing loop. Returns kEditGoesOn with the key in `code`, or the editor's
// result (a scanned token's key, Cancel on a stop request, kTimedOut).
EditResult next_key(Edit &e, unsigned short *code) {
  e.elapsed = 0;
  for (;;) {
    g_edit.sensor = {};
    if (_SenRead(g_edit.sensor.data(), kSensorSize) == 0)
      if (const EditResult token = scan_feedback(); token != kEditGoesOn) return token;
    if (_IdleManager(0) != 0) return kEditCancel;
    if (const EditResult result = wait_for_input(e); result != kEditGoesOn) return result;
    if (_KbdReadAscii(code) == 0) return kEditGoesOn;
  }
}

void type_character(Edit &e, char ch) {
  auto &text = g_edit.buffer;
  std::int32_t &at = g_edit.cursor;
  const auto cell = [&](int i) -> char & { return text[static_cast<std::size_t>(i)]; };
  if (e.input == kInputNum && ch == '-') {
    if (e.field->is_signed == 1) cell(0) = cell(0) == '-' ? ' ' : '-';
  } else if (e.input == kInputNum && decimal_point(ch)) {
    if (e.decimal || e.field->precision == -1) return;
    if (at == 1) {
      cell(1) = '0';
      at = 2;
    }
    cell(at++) = ch;
    e.decimal = true;
  } else if (e.input == kInputNum) {
    if (decimal_point(cell(at))) e.decimal = false;
    cell(at++) = ch;
  } else {
    cell(at++) = ch;
    if (date_or_time(e.input) && separator(cell(at))) ++at;
  }
  if (at > e.end) e.end = at;
  cell(e.end) = 0;
  draw_text(e);
  place_cursor(e);
}

int lowest_cursor(const Edit &e) {
  return e.input == kInputNum ? 1 : 0;
}

void move_left(Edit &e) {
  if (g_edit.cursor <= lowest_cursor(e)) return;
  --g_edit.cursor;
  if (date_or_time(e.input) && g_edit.cursor > 0 &&
      separator(g_edit.buffer[static_cast<std::size_t>(g_edit.cursor)]))
    --g_edit.cursor;
  place_cursor(e);
}

void move_right(Edit &e) {
  if (g_edit.cursor >= e.length || g_edit.cursor >= e.end) return;
  ++g_edit.cursor;
  if (date_or_time(e.input) && separator(g_edit.buffer[static_cast<std::size_t>(g_edit.cursor)]))
    ++g_edit.cursor;
  place_cursor(e);
}

void backspace(Edit &e) {
  if (date_or_time(e.input)) return move_left(e);
  const int at = g_edit.cursor;
  if (at <= lowest_cursor(e) || e.end <= 0) return;
  char *text = g_edit.buffer.data();
  if (decimal_point(text[at - 1])) e.decimal = false;
  if (at >= e.end)
    text[e.end - 1] = 0;
  else
    std::memmove(text + at - 1, text + at, static_cast<std::size_t>(e.end - at + 1));
  --g_edit.cursor;
  --e.end;
  blank_field(e);
  draw_text(e);
  place_cursor(e);
}

// The keys that end an edit as the editor's results; kEditGoesOn for every other key.
EditResult ending_key(unsigned short code) {
  switch (code) {
    case key::Enter:
      return kEditEnter;
    case key::Cancel:
      return kEditCancel;
    case key::Previous:
      return kEditPrevious;
    case key::Ok:
      return kEditOk;
    case key::Clear:
      return kEditClear;
    case key::Next:
      return kEditNext;
    default:
      return kEditGoesOn;
  }
}

// One key of the editing loop. Returns kEditGoesOn, or the key that ends the edit.
EditResult edit_key(Edit &e, unsigned short code) {
  switch (code) {
    case key::Cancel:
    case key::Clear:
      return ending_key(code);
    case key::Enter:
    case key::Ok:
    case key::Previous:
    case key::Next:
      // A fixed-length field is left only when it is full.
      if (e.field->mode == 'F' && e.end != e.field->length) {
        message_popup(kRecordNotFull, kRecordNotFull, 1);
        new_start(e);
        return kEditGoesOn;
      }
      return ending_key(code);
    case key::Help:
      show_help(e);
      return kEditGoesOn;
    case key::Backspace:
      backspace(e);
      return kEditGoesOn;
    case key::Left:
      move_left(e);
      return kEditGoesOn;
    case key::Right:
      move_right(e);
      return kEditGoesOn;
    default:
      if (accepted_key(e.input, code) && g_edit.cursor < e.length)
        type_character(e, upper(static_cast<char>(code)));
      return kEditGoesOn;
  }
}

// The key that starts the editing: without EDIT=Y it replaces the old text, and a number gets its
// sign position.
void first_edit_key(Edit &e, unsigned short code) {
  if (e.field->edit != 1) {
    blank_field(e);
    g_edit.buffer = {};
    g_edit.cursor = 0;
    e.end = 0;
    place_cursor(e);
  } else if (e.input == kInputNum) {
    if (e.end > 0) {
      e.decimal = std::strpbrk(g_edit.buffer.data(), ".,") != nullptr;
    } else {
      g_edit.buffer[0] = ' ';
      g_edit.buffer[1] = 0;
      e.end = 1;
    }
    g_edit.cursor = 1;
  }
  // The key's own result is that of a key inside the field: the edit goes on.
  if (code != key::Left) static_cast<void>(edit_key(e, code));
}

// Start of an edit: the trace, the cursor, scans left from before, the field drawn with its text.
void start_edit(Edit &e, const char *start_text) {
  if (g_dispatch.trace_flag == 1) field_trace();
  if (e.input != kInputAi) {
    _VioSetCurType(4);
    _VioSetCurPos(e.field->row, e.field->col);
  }
  for (;;) {
    unsigned short count = 0;
    _SenQueryData(&count);
    _IdleManager(0);
    if (count == 0 || _SenRead(g_edit.sensor.data(), kSensorSize) != 0) break;
  }
  new_start(e);
  for (int i = 0; i < e.length; ++i) {
    int scratch = 0;
    _VioWrtNChar(e.field->row, e.field->col + i, '_', 1, &scratch, 0);
  }
  if ((start_text == nullptr || start_text[0] == 0) && date_or_time(e.input))
    start_text = kMasks[static_cast<std::size_t>(e.input - kInputDateAmer)].data();
  std::array<char, kEditSize> text{};  // the start text may be the edit buffer itself
  e.end = static_cast<int>(copy_text(text.data(), text.size(), start_text, kEditSize));
  g_edit.buffer = text;
  int scratch = 0;
  _VioWrtCharStr(g_edit.buffer.data(), e.end, e.field->row, e.field->col, &scratch, 0);
  g_edit.cursor = (e.input == kInputNum || e.input == kInputAiNum) && e.end > 0 ? 1 : 0;
  place_cursor(e);
}

}  // namespace

EditResult field_input(const char *start_text, std::int32_t time_limit) {
  g_fields.current_field = current_index();  // the scan routing and the panel run read it after the edit
  const Field &field = current();
  Edit e{};
  e.field = &field;
  e.input = field.input;
  e.length = field.length < 0 ? 0 : (field.length > kLongestText ? kLongestText : field.length);
  // A negative limit is taken as no limit rather than as a limit that has always passed.
  e.limit = time_limit > 0 ? time_limit : 0;
  start_edit(e, start_text);

  // First-key phase: scans are routed to fields, refused keys are reported.
  for (;;) {
    unsigned short code = 0;
    if (_KbdReadAscii(&code) == 0) {
      if (code == key::Help) {
        show_help(e);
      } else {
        if (e.input == kInputAiNum) e.input = kInputNum;
        new_start(e);
        e.elapsed = 0;
        if (const EditResult ends = ending_key(code); ends != kEditGoesOn) return ends;
        if (e.input != kInputAi) {
          if (accepted_key(e.input, code) || code == key::Backspace || code == key::Left ||
              code == key::Right) {
            first_edit_key(e, code);
            break;
          }
          message_popup(kRecordRefusedKey, kRecordRefusedKey, 0);
          new_start(e);
        }
      }
    }
    if (const EditResult result = scan_and_time(e); result != kEditGoesOn) return result;
  }

  // Editing loop: scans only count as tokens, refused keys are passed over.
  for (;;) {
    unsigned short code = 0;
    if (const EditResult result = next_key(e, &code); result != kEditGoesOn) return result;
    new_start(e);
    if (const EditResult result = edit_key(e, code); result != kEditGoesOn) return result;
  }
}

std::int32_t seconds_count() {
  std::array<char, 16> time{}, date{};
  int scratch = 0;
  _RtcGetAsciiTime(2, time.data(), &scratch);
  _RtcGetAsciiDate(3, date.data(), &scratch);
  const std::string_view t(time.data(), std::strlen(time.data()) < 6 ? std::strlen(time.data()) : 6);
  const std::string_view d(date.data(), std::strlen(date.data()) < 6 ? std::strlen(date.data()) : 6);
  // Each text splits into its last two digits, the two before, and the rest.
  const auto part = [](std::string_view text, int which) {
    const std::size_t n = text.size();
    if (which == 0) return decimal_value(n >= 2 ? text_part(text, n - 2) : text);
    if (which == 1) return n >= 4 ? decimal_value(text_part(text, n - 4, 2)) : 0;
    return n > 4 ? decimal_value(text_part(text, 0, n - 4)) : 0;
  };
  const std::int64_t second = part(t, 0), minute = part(t, 1), hour = part(t, 2);
  const std::int64_t day = part(d, 0), month = part(d, 1), year = part(d, 2);
  const std::int64_t leap = (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 1 : 0;
  const std::int64_t before =
      month >= 1 && month <= 12 ? kDaysBeforeMonth[static_cast<std::size_t>(month - 1)] : 0;
  const std::int64_t days = (year - 2000) * 365 + before + leap + day;
  // The count is 32 bits wide and wraps; only differences of two counts are used.
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(((days * 24 + hour) * 60 + minute) * 60 + second));
}

}  // namespace vek
