// Message pop-up: help records shown in a pop-up window or on the whole screen, with the alert, and
// the pop-up close.
#include <array>

#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"
#include "fields/fields.h"
#include "panel/panel.h"

namespace vek {
namespace {

enum PopupMode : std::uint8_t { kTimed = 0, kConfirm = 1, kLeftOpen = 2, kFullScreen = 3 };

constexpr int kMaxLines = 16;    // lines of a pop-up, the prompt line included
constexpr int kAlertGap = 25;    // timed wait between the two alerts
constexpr int kTimedStay = 150;  // timed wait of a mode-0 pop-up

// Writes the text of a help record on one line, cut to `width`; a record without text is one blank.
void write_record(std::string_view record, int row, int column, int width) {
  std::string_view text =
      record.size() > kTextColumn ? text_part(record, kTextColumn) : std::string_view(" ");
  if (text.size() > static_cast<std::size_t>(width))
    text = text_part(text, 0, static_cast<std::size_t>(width));
  int scratch = 0;
  _VioWrtCharStrAtt(text.data(), static_cast<int>(text.size()), row, column, 1, &scratch, 0);
}

void alert() {
  _SenActLed(0, 5);
  _SpkBeep(0, 0, 2);
}

void close_popup() {
  popup_close();
  _VioSetCurType(4);
}

// Waits for an Enter key typed after the pop-up appeared; a stop request from the terminal's idle
// processing closes the pop-up as well.
void wait_for_enter() {
  unsigned short code = 0;
  for (;;) {  // keys typed before the pop-up: an Enter among them does not count
    if (_KbdReadAscii(&code) != 0 || code == key::Enter) break;
    if (_IdleManager(0) != 0) return;
  }
  for (;;) {
    _WaitEvent(0);
    if (_KbdReadAscii(&code) == 0 && code == key::Enter) return;
    if (_IdleManager(0) != 0) return;
  }
}

}  // namespace

void message_popup(std::int32_t first, std::int32_t last, std::uint8_t mode) {
  _VioSetCurType(0);

  // Only numbers 0 to 9999 have a record key, so the range is cut to them: a wild range costs no
  // more than the whole file.
  const char *file = help_file_name();
  std::array<std::int32_t, kMaxLines> kept{};
  int found = 0;
  for (std::int32_t n = first < 0 ? 0 : first; n <= last && n <= kLastRecord && found < kMaxLines; ++n)
    if (lookup_record(file, n)) kept[static_cast<std::size_t>(found++)] = n;

  const bool prompt = mode == kConfirm;
  const int texts = prompt ? (found < kMaxLines - 1 ? found : kMaxLines - 1) : found;
  const int lines = texts + (prompt ? 1 : 0);

  int width = kScreenLineWidth;
  int row = 0, column = 0;
  if (mode == kFullScreen) {
    _VioClear();
  } else {
    std::int32_t out_lines = 0, out_width = 0;
    std::uint8_t out_row = 0, out_column = 0;
    window('C', 1, lines, &out_lines, &out_width, &out_row, &out_column);
    width = out_width;
    row = out_row;
    column = out_column;
  }

  for (int i = 0; i < texts; ++i)
    if (auto record = lookup_record(file, kept[static_cast<std::size_t>(i)]))
      write_record(*record, row + i, column, width);

  if (prompt) {
    // Without record 16 the operator is told that the help file is wrong; the prompt line then stays
    // blank and the pop-up still waits for Enter.
    if (auto record = lookup_record(file, kRecordPrompt))
      write_record(*record, row + texts, column, width);
    else
      bad_call("HELP.VAL NOT FOUND", "Y2");
  }

  if (mode != kFullScreen) {
    alert();
    if (mode != kLeftOpen) {
      timed_wait(kAlertGap);
      alert();
    }
  }

  switch (mode) {
    case kTimed:
      timed_wait(kTimedStay);
      close_popup();
      return;
    case kConfirm:
      wait_for_enter();
      close_popup();
      return;
    case kLeftOpen:
    case kFullScreen:
      return;
    default:
      close_popup();
      return;
  }
}

void popup_close() {
  std::int32_t lines = 0, width = 0;
  std::uint8_t row = 0, column = 0;
  window('R', 1, 0, &lines, &width, &row, &column);
}

}  // namespace vek
