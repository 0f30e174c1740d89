// Private state of libvekterm, shared by its parts and its backends.
#ifndef VEKTERM_SRC_STATE_H
#define VEKTERM_SRC_STATE_H

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "vekterm/vekterm.h"

namespace vekterm::detail {

// What differs between the headless and the real terminal: where input, time and the device outputs
// come from and go to. The screen, variables, files, clock texts and logs are shared.
struct Backend {
  int (*read_key)(unsigned short *key);        // 0 key stored, 5 none waiting
  int (*wait_event)(int milliseconds);         // 0 = no limit
  int (*idle)(int mode);                       // nonzero with mode 0: stop waiting
  int (*query_scan)(unsigned short *count);    // count 1 when a record waits
  int (*read_scan)(char *record, int size);    // 0 one record read, 1 none
  void (*led)(int led, int duration);          // device output after logging
  void (*beep)(int device, int tone, int duration);
  std::int64_t (*now_ms)();                    // milliseconds since the clock was set
  void (*screen_changed)();                    // a cell or the cursor changed
};

struct Cell {
  char ch = ' ';
  char attribute = 0;
};

struct File {
  std::string bytes;
};

struct Terminal {
  std::array<std::array<Cell, kColumns>, kRows> cells{};
  int cursor_row = 0, cursor_column = 0, cursor_type = 0;

  std::array<std::string, kVariables + 1> variables{};
  std::array<int, kVariables + 1> capacity{};

  std::map<std::string, File, std::less<>> memory_files;
  std::string data_directory;
  std::string served;  // image handed out by the latest _DataFile call from the directory
  std::map<std::string, int, std::less<>> forced_validation;

  std::int64_t clock_base = 0;  // seconds since 1970 of the civil time shown at clock_ms() == 0

  std::vector<Beep> beeps;
  std::vector<Led> leds;
  std::vector<Message> messages;

  const Backend *backend = nullptr;
};

Terminal &terminal();
void reset_shared();  // screen, variables, files, logs and clock back to their start
const Backend &headless_backend();

// Data directory and memory files: the bytes of a file by plain name, or nullptr.
const std::string *find_file(std::string_view name);
bool plain_name(std::string_view name);

}  // namespace vekterm::detail

#endif
