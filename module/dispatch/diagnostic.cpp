// Keyboard diagnostic screen: test texts and cursor moves with pauses in between, then the time, the
// date and the code of every key pressed, until Enter.
#include "dispatch/dispatch.h"
#include "dispatch/format.h"
#include "dispatch/terminal.h"

namespace vek {
namespace {

constexpr std::string_view kCaptionFirst = "Cursor @5,5";
constexpr std::string_view kCaptionText = "Cursor @5,5 after text written";
constexpr std::string_view kCaptionLast = "Cursor @5,10                  ";
constexpr std::string_view kLetters = "ABCDEFGHIJ";
static_assert(kCaptionFirst.size() == 11 && kCaptionText.size() == 30 && kCaptionLast.size() == 30 &&
              kLetters.size() == 10);

constexpr int kCaptionRow = 4;
constexpr int kTestRow = 5;
constexpr int kKeyRow = 0;
constexpr int kTimeRow = 1;
constexpr int kDateRow = 2;
constexpr int kClockDigits = 6;
constexpr int kPause = 200;       // _IdleManager mode that pauses
constexpr int kTimeFormat = 2;    // HHMMSS
constexpr int kDateFormat = 3;    // YYMMDD
constexpr int kFormatSize = 128;  // what the key line may take of the work buffer
constexpr unsigned short kNoKey = 0x0FFF;
static_assert(kFormatSize <= kWorkSize);

// Reads one clock text into `text` (16 bytes) and cuts it after six characters.
void clock_text(int (*read)(int, char *, void *), int format, char *text) {
  int scratch = 0;
  text[0] = 0;
  read(format, text, &scratch);
  text[kClockDigits] = 0;
}

}  // namespace

// Always 0, once Enter has been pressed.
int diagnostic_screen() {
  write_text(kCaptionFirst, kCaptionRow, 0);
  _VioSetCurType(4);
  _VioSetCurPos(kTestRow, 5);
  _IdleManager(kPause);

  write_text(kCaptionText, kCaptionRow, 0);
  write_text(kLetters, kTestRow, 0);
  _IdleManager(kPause);

  write_text(kCaptionLast, kCaptionRow, 0);
  _VioSetCurPos(kTestRow, 10);
  _IdleManager(kPause);

  // The keyboard is polled without waiting: the terminal's idle processing paces the loop, and the
  // clock rows stay current while no key comes.
  unsigned short code = kNoKey;
  do {
    char time[16] = {};
    char date[16] = {};
    clock_text(_RtcGetAsciiTime, kTimeFormat, time);
    clock_text(_RtcGetAsciiDate, kDateFormat, date);
    write_text(std::string_view(time), kTimeRow, 0);
    write_text(std::string_view(date), kDateRow, 0);

    code = kNoKey;
    if (_KbdReadAscii(&code) == 0)
      format_text(work_buffer(), kFormatSize, kKeyRow, 0, "Key code = 0x%X  ", {std::int32_t{code}});
    _IdleManager(0);
  } while (code != key::Enter);
  return 0;
}

}  // namespace vek
