// The real terminal on Linux: the 40x20 screen drawn with ncurses in the user's terminal, keys mapped
// to the module's codes, scans from a FIFO, a UNIX socket, a serial device or the F9 scan prompt.
#ifndef VEKTERM_TTY_H
#define VEKTERM_TTY_H

#include <string>

namespace vekterm::tty {

struct Options {
  std::string scanner;          // FIFO or UNIX socket path (one scan a line); "" for none
  std::string serial;           // serial device (raw mode, one scan a line); "" for none
  std::string fixed_start;      // "YYYY-MM-DD HH:MM:SS": the clock starts there instead of local time
  int scan_type = 1;            // record type of the scans delivered
};

// Takes over the user's terminal and makes the TTY backend the active one. 0, or nonzero with a
// one-line reason in *error.
int start(const Options &options, std::string *error);
// Gives the terminal back to the user (also done at exit).
void stop();

}  // namespace vekterm::tty

#endif
