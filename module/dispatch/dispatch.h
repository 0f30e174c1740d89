// Entry and dispatch: what the rest of the panel driver uses of it. The parameter length and work
// buffer shared by all commands, the decimal reader and writer and the other text routines (none of
// them throws), the bad-call and overflow messages, the window service and the timed wait.
#ifndef VEKPANEL_DISPATCH_DISPATCH_H
#define VEKPANEL_DISPATCH_DISPATCH_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dispatch/terminal.h"

namespace vek {

inline constexpr int kWorkSize = 160;  // the shared work buffer
inline constexpr int kScreenRows = 20;
inline constexpr int kScreenColumns = 40;

// State kept by the dispatcher between calls of main; zero at load.
struct DispatchState {
  std::int32_t parameter_length;  // columns 0-1 of the latest command record
  std::uint8_t trace_flag;        // 1: the field input shows the field trace first
  std::uint8_t banner_flag;       // 1: the start-up banner has been shown
  char work[kWorkSize];           // shared text buffer; any message or command may overwrite it
};
extern DispatchState g_dispatch;

inline int parameter_length() {
  return g_dispatch.parameter_length;
}
inline char *work_buffer() {
  return g_dispatch.work;
}

// Standard decimal conversion: leading blanks skipped, an optional sign, then digits up to the first
// other character; no digits give 0. Values beyond 32 bits are held at the nearest limit.
int decimal_value(std::string_view text);

// Case-blind comparisons of ASCII texts; 0 when equal, like their C library namesakes.
int stricmp(const char *a, const char *b);
int strnicmp(const char *a, const char *b, std::size_t count);

// Copies at most `max` characters of `text` (stopping at its NUL) into `out`, which holds `size`
// bytes, and ends it with a NUL. Returns the number of characters copied.
std::size_t copy_text(char *out, std::size_t size, const char *text, std::size_t max);

// Character at a column of a record, or NUL when the record ends before it: never reads past the NUL.
char record_char(const char *record, std::size_t at);

// Copies the columns from..from+width-1 of a record into `out` (holding `size` bytes), stopping at the
// record's end; always ends `out` with a NUL. Returns the number of characters copied.
std::size_t record_columns(const char *record, std::size_t from, std::size_t width, char *out,
                           std::size_t size);

// Writes `value` in decimal (a "-" in front when negative, no leading zeros) into `out` of `size`
// bytes, NUL-terminated; kDecimalTextSize bytes take any value. Returns the number of characters
// written. The module's one decimal writer.
inline constexpr std::size_t kDecimalTextSize = 12;  // "-2147483648" and its NUL
std::size_t decimal_text(std::int32_t value, char *out, std::size_t size);

// ASCII letter folded to upper case; every other character unchanged.
constexpr char upper(char ch) {
  return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - ('a' - 'A')) : ch;
}

// The characters from..from+count-1 of a text, both held to the text: a start past its end gives the
// empty text. Used instead of substr, which reports a bad start with an exception.
constexpr std::string_view text_part(std::string_view text, std::size_t from,
                                     std::size_t count = std::string_view::npos) {
  if (from > text.size()) from = text.size();
  const std::size_t room = text.size() - from;
  return std::string_view(text.data() + from, count < room ? count : room);
}

// True when the text begins with `prefix` (used instead of starts_with, which may call substr).
constexpr bool begins_with(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text_part(text, 0, prefix.size()) == prefix;
}

// Writes `text` (length taken from it) at row, column with _VioWrtCharStr.
void write_text(std::string_view text, int row, int column);

// Waits for any key and consumes it. Returns the keyboard's last result.
int key_wait();

// Bad-call message: rows 0 and 1 cleared, "Bad CVEK(cc):" and up to 18 characters of the excerpt,
// then a key wait. Returns the keyboard's last result.
int bad_call(const char *excerpt, const char *code);

// Overflow message for a user-variable write that did not fit; clears nothing first.
int overflow_message(const char *excerpt);

// The window's saved cells, kept from the open to the restore.
inline constexpr int kWindowSlots = 18;      // rows 1 to 18: up to 16 inner lines and the two borders
inline constexpr int kWindowSlotBytes = 50;  // 24 cells of two bytes, as the cell read fills them
struct WindowState {
  std::int32_t open_lines;  // inner lines of the window opened last; 0 when none is open
  std::array<std::array<char, kWindowSlotBytes>, kWindowSlots> saved;  // slot k: row k+1, columns 2-25
};
extern WindowState g_window;

// Window service. Mode C/c opens a boxed window of `lines` inner lines (at most 16) at rows 1 and on,
// columns 2 to 25, saving the cells under it; R/r puts those cells back; X/x forgets the window without
// touching the screen; anything else does nothing. Returns 2 after an open, else 0.
int window(char mode, std::uint8_t attribute, int lines, std::int32_t *out_lines, std::int32_t *out_width,
           std::uint8_t *out_row, std::uint8_t *out_column);

// Timed wait of n/3 passes of 20 ms (one pass at least). Returns one of these.
enum WaitResult : int { kWaitRanOut = 0, kWaitIdle = 8, kWaitCancel = 256 };
int timed_wait(int n);

// Keyboard diagnostic screen (reason 5); returns after Enter.
int diagnostic_screen();

}  // namespace vek

#endif
