// The remote terminal: a session process whose screen and input travel over a socket to a gateway
// that shows them somewhere else (a browser). The process keeps running while nobody looks at it; the
// gateway keeps the latest screen and hands it to whoever connects next.
//
// The socket is one end of a SOCK_SEQPACKET pair, so every message below is one datagram and needs no
// framing of its own. Numbers are little-endian.
//
// Gateway to session:
//   'K' code:u16                   a key, as _KbdReadAscii delivers it
//   'S' type:u8 data[0..97]        a scan: the record type and its data bytes
//   'R'                            send the whole screen again
// Session to gateway:
//   'U' keys:u32 row:u8 column:u8 shown:u8 runs...
//        the screen changed, or the module took input: `keys` counts the keys and scans the module
//        has read so far, row/column/shown is the cursor; each run is row:u8 column:u8 length:u8
//        then `length` character bytes and `length` attribute bytes. A whole screen is 20 runs of 40.
//        One is sent whenever the module waits or idles after a change or after taking input, so
//        every key brings an update, possibly without runs.
//   'B' tone:u16 duration:u16      the speaker (duration in 10 ms)
//   'L' led:u8 duration:u16        the LED (duration in 10 ms, 0 off)
// When the gateway closes its end, the session is asked to stop, exactly as a terminal that hangs up:
// the panel ends as cancelled and the program ends.
#ifndef VEKTERM_REMOTE_H
#define VEKTERM_REMOTE_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vekterm/vekterm.h"

namespace vekterm::remote {

inline constexpr std::size_t kMaxScanData = 97;
inline constexpr std::size_t kMaxMessage = 1 + 4 + 3 + kRows * (3 + 2 * kColumns);

// The screen as the gateway keeps it: what a newly connected viewer is shown at once.
struct Screen {
  std::array<std::array<char, kColumns>, kRows> chars{};
  std::array<std::array<char, kColumns>, kRows> attributes{};
  int cursor_row = 0, cursor_column = 0;
  bool cursor_shown = false;
  std::uint32_t keys = 0;  // keys and scans the module has read
  Screen();                // blank: spaces, attribute 0
};

// One changed stretch of a row.
struct Run {
  int row, column, length;
};

// ---- Messages to the session ------------------------------------------------------------------------
std::string key_message(std::uint16_t code);
std::string scan_message(std::uint8_t type, std::string_view data);  // data cut at kMaxScanData
std::string redraw_message();

// ---- Messages from the session ------------------------------------------------------------------------
// Applies an update to `screen`; false (and `screen` unchanged) for a malformed one. The runs it
// changed are appended to `changed` when given, so that a viewer can be sent only what changed.
bool apply_update(std::string_view message, Screen *screen, std::vector<Run> *changed = nullptr);

// The update that draws the whole of `screen`.
std::string full_update(const Screen &screen);

// The character each byte shows as in the named code page ("iso-8859-1", "windows-1252", "cp437",
// "cp850" and their usual spellings, as the TTY takes them); false for a name it does not know. A
// viewer shows screen bytes through it and turns typed characters back into bytes with it.
bool code_page_glyphs(std::string_view name, std::array<char32_t, 256> *glyphs);

// ---- Session side ------------------------------------------------------------------------------------
// Makes the remote backend the active one, talking over `fd` (one end of a SOCK_SEQPACKET pair; the
// backend owns it from now on). The clock is the system's local time, as on the TTY. 0, or nonzero
// with a one-line reason in *error.
int start(int fd, std::string *error);
void stop();
// True once the gateway has gone (its end closed) or a stop signal came; a host ends its program.
bool stop_requested();

}  // namespace vekterm::remote

#endif
