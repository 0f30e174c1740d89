// Private state of libvekterm, shared by its parts and its backends.
#ifndef VEKTERM_SRC_STATE_H
#define VEKTERM_SRC_STATE_H

#include <array>
#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "vekterm/vekterm.h"

namespace vekterm::detail {

// What differs between the headless and the real terminal: where input, time and the device outputs
// come from and go to. The screen, variables, files, clock texts and logs are shared.
struct Backend {
  int (*read_key)(unsigned short *key);      // 0 key stored, 5 none waiting
  int (*wait_event)(int milliseconds);       // 0 = no limit
  int (*idle)(int mode);                     // nonzero with mode 0: stop waiting
  int (*query_scan)(unsigned short *count);  // count 1 when a record waits
  int (*read_scan)(char *record, int size);  // 0 one record read, 1 none
  void (*led)(int led, int duration);        // device output after logging
  void (*beep)(int device, int tone, int duration);
  std::int64_t (*now_ms)();  // milliseconds since the clock was set
  void (*screen_changed)();  // a cell or the cursor changed
};

struct Cell {
  char ch = ' ';
  char attribute = 0;
};

// Hash index over the values of a validation image, built on its first use: each slot holds 1 + the
// offset of a record's first byte, 0 marks an empty slot. Linear probing, at most three quarters full.
struct ValueIndex {
  std::vector<std::uint32_t> slots;
  bool built = false;
};

struct File {
  std::string bytes;
  ValueIndex index;
};

// A file of the data directory, mapped read-only and kept until it changes on disk. A mapping is
// guarded against the file being cut shorter under it (files.cpp): `guard` is its entry in the table
// the SIGBUS handler reads.
struct Mapping {
  const char *address = nullptr;  // the mapped bytes; nullptr for an empty file
  std::size_t size = 0;           // bytes
  std::uint64_t device = 0;       // identity and version of the file that was mapped
  std::uint64_t inode = 0;
  std::int64_t mtime_ns = 0;
  ValueIndex index;
  int guard = -1;  // -1 while nothing is mapped

  Mapping() = default;
  Mapping(const Mapping &) = delete;
  Mapping &operator=(const Mapping &) = delete;
  ~Mapping();
  void unmap();
};

// What a lookup by name finds: the image and the index that belongs to it.
struct Image {
  std::string_view bytes;
  ValueIndex *index = nullptr;
};

struct Terminal {
  std::array<std::array<Cell, kColumns>, kRows> cells{};
  int cursor_row = 0, cursor_column = 0, cursor_type = 0;

  std::array<std::string, kVariables + 1> variables{};
  std::array<int, kVariables + 1> capacity{};

  std::map<std::string, File, std::less<>> memory_files;
  std::string data_directory;
  int directory_fd = -1;                               // opened on first use, -1 when closed
  std::map<std::string, Mapping, std::less<>> mapped;  // directory files mapped so far
  std::map<std::string, int, std::less<>> forced_validation;

  std::string journal_path;   // set_journal's path; "" = the data directory's journal
  std::string journal_error;  // why the latest journal write failed; "" after a good one

  std::int64_t clock_base = 0;  // seconds since 1970 of the civil time shown at clock_ms() == 0
  bool local_clock = false;     // the clock texts follow the system's local time instead

  std::vector<Beep> beeps;
  std::vector<Led> leds;
  std::vector<Message> messages;

  const Backend *backend = nullptr;
};

Terminal &terminal();
void reset_shared();  // screen, variables, files, logs and clock back to their start
const Backend &headless_backend();
// The logs of beeps, LEDs and messages are kept for headless runs, whose tests read them; a real or
// remote session that runs for days would see them grow with every transaction.
inline bool keeps_logs() {
  return terminal().backend == &headless_backend();
}

// The terminal's civil time now (virtual, fixed or local, by the clock's setting).
std::tm civil_now();

// Data directory and memory files: the image of a file by plain name; false when it is not available.
bool find_file(std::string_view name, Image *image);
bool plain_name(std::string_view name);
void close_data_directory();  // unmaps every file and closes the directory

// Appends a transaction message to the journal and flushes it to disk: 0, or 1 with journal_error set.
int append_journal(int flag, std::string_view record);

}  // namespace vekterm::detail

#endif
