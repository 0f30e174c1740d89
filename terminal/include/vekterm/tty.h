// The real terminal on Linux: the 40x20 screen drawn with ncurses in the user's terminal, keys mapped
// to the module's codes, scans from a FIFO, a UNIX socket, a serial device or the F9 scan prompt.
//
// Keys: Enter 13, Esc Cancel 256, F10 or Ctrl-O OK 768, Tab or Down Next-field 1536, Shift-Tab or Up
// Previous-field 512, F2 Clear 1024, Backspace 1280, Left 174, Right 175, F1 Help 15104, printable
// characters as themselves. F9 opens the scan prompt under the frame (Enter sends the typed text as one
// scan, Esc closes it). Ctrl-C, SIGINT, SIGTERM and SIGHUP ask the running panel to stop: from then on
// _IdleManager(0) answers nonzero, waits end at once and an empty keyboard reads as Cancel, so the
// panel ends as cancelled. A second one while the program still runs gives the terminal back and ends
// the process by the signal (SIGINT for Ctrl-C).
//
// A module that polls without waiting is paced: after a few _IdleManager(0) calls in a row with no wait
// and no input handed over, each one waits up to 50 ms for input. When the terminal goes away (hang-up,
// read error) a stop is asked for, and the process ends by SIGHUP two seconds later unless the program
// has called stop by then.
#ifndef VEKTERM_TTY_H
#define VEKTERM_TTY_H

#include <optional>
#include <string>

#include "vekterm/vekterm.h"

namespace vekterm::tty {

struct Options {
  // FIFO or UNIX socket path, one scan a line (LF or CR). A FIFO is created there when nothing exists
  // yet (and removed by stop); an existing socket is connected to. "" for none.
  std::string scanner;
  std::string serial;                    // serial device (raw mode, one scan a line); "" for none
  int serial_baud = 0;                   // 0 keeps the device's speed; else 1200..115200
  std::optional<CivilTime> fixed_start;  // the clock starts there instead of at local time
  int scan_type = 1;                     // record type of the scans delivered
  bool flash = false;                    // show a beep as a flash of the screen instead of the bell
  // Key-map file: lines "SEQUENCE KEY" that add to or replace the default key map; "" for none.
  std::string keymap;
  // Scans in the keyboard stream: the bytes between the prefix and the suffix (both written with
  // readable escapes such as \x02, \e[99~, \r, ^B) are one scan; "" for no framing.
  std::string scan_prefix, scan_suffix;
  // "A=1,E=2,*=3": the character after the prefix names the symbology and sets the record type
  // (`*` any other); "" when scans carry no identifier.
  std::string scan_symbology;
  int scan_timeout_ms = 150;  // a prefix without a byte for this long is handed back as keys
  // The 8-bit code page of screen cells and help texts: "iso-8859-1", "windows-1252", "cp437" or
  // "cp850" (the usual spellings of each are taken too). ISO-8859-1 by default: VT220-class terminals
  // and their emulators read the upper half of an 8-bit code as ISO Latin-1 unless set otherwise, and
  // in it every byte from 160 up is a character.
  std::string code_page = "iso-8859-1";
};

// Takes over the user's terminal and makes the TTY backend the active one. 0, or nonzero with a
// one-line reason in *error; a session already started is refused and left running.
int start(const Options &options, std::string *error);
// Gives the terminal back to the user (also done at exit).
void stop();

// True once a stop was asked for (Ctrl-C, SIGINT, SIGTERM, SIGHUP, or the terminal went away); a host
// ends its program instead of calling the module again.
bool stop_requested();
// Draws what changed on the screen now; waits and key reads do it on their own.
void update();

}  // namespace vekterm::tty

#endif
