// libvekterm: the terminal services for the panel driver, with a C++ API for hosts and tests.
//
// The services themselves are the C functions of module/dispatch/terminal.h. This header adds what a
// host or a test needs around them: reading the screen back, preparing user variables and files,
// setting the clock, and the logs of what the speaker, the LED and the transaction channel were asked
// to do. Everything here works the same on every backend.
#ifndef VEKTERM_VEKTERM_H
#define VEKTERM_VEKTERM_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vekterm {

inline constexpr int kRows = 20;
inline constexpr int kColumns = 40;
inline constexpr int kVariables = 99;          // user variables 1..99
inline constexpr int kVariableCapacity = 159;  // characters, the NUL not counted

// ---- Screen ------------------------------------------------------------------------------------
std::string screen_row(int row);     // the 40 characters of a row, bytes as stored (NULs included)
std::string attribute_row(int row);  // the 40 attributes of a row as digits ('0', '1', ...)
std::string screen_text();           // all rows, one per line, for failure reports
int cursor_row();
int cursor_column();
int cursor_type();

// ---- User variables ----------------------------------------------------------------------------
std::string variable(int number);  // "" for an empty or unknown variable
void set_variable(int number, std::string_view text);
void set_variable_capacity(int number, int characters);  // 0..159; writes longer than it report 5

// ---- Data and validation files -----------------------------------------------------------------
// Files are looked up by plain name: first those added from memory, then the data directory. A plain
// name has no "/", no "..", no control characters, and does not lead out of the directory through a
// link. Directory files are mapped read-only, kept mapped, and mapped again when their size,
// modification time or inode changes.
void add_file(std::string_view name, std::string_view bytes);
void remove_file(std::string_view name);
void set_data_directory(std::string_view path);  // "" for none
const std::string &data_directory();
// Makes _Validation answer `result` for this file name whatever its contents (test fault hook).
void force_validation_result(std::string_view file, int result);
// Help-file image from records in any order: sorted by their text and joined with NULs.
std::string make_image(std::vector<std::string> records);

// ---- Clock ---------------------------------------------------------------------------------------
void set_clock(int year, int month, int day, int hour, int minute, int second);
std::int64_t clock_ms();  // milliseconds the terminal's clock has run since it was set

// ---- Logs ----------------------------------------------------------------------------------------
struct Beep {
  std::int64_t at_ms;
  int device, tone, duration;
};
struct Led {
  std::int64_t at_ms;
  int led, duration;
};
struct Message {
  std::int64_t at_ms;
  int flag, length;
  std::string record;
};
const std::vector<Beep> &beeps();
const std::vector<Led> &leds();
const std::vector<Message> &messages();

// ---- Transaction journal ---------------------------------------------------------------------------
// Every transaction message is also appended to the journal, one line "YYYY-MM-DD HH:MM:SS F RECORD"
// (the terminal's clock, the flag, the record with unprintable bytes as \xHH), and flushed to disk
// before _TransactionMsg returns. By default the journal is "journal.log" in the data directory; with
// no data directory and no path set, messages are kept in memory only.
void set_journal(std::string_view path);  // "" = the data directory's journal
std::string journal_path();               // the file written now, "" for none
const std::string &journal_error();       // why the latest write failed, "" after a good one

// ---- Headless backend ------------------------------------------------------------------------------
// One ordered timeline of scripted input. A step becomes due when the virtual clock reaches it; the
// clock advances only while the module waits. Keys, scans and host stop requests are handed over one
// at a time in script order: the next is not offered until the previous one has been taken.
namespace headless {

void reset();  // blank screen, empty variables and logs, no files, empty timeline, clock 2019-03-14 09:26:53

void key(std::uint16_t code);
void text(std::string_view typed);  // each byte as a key
void scan(std::string_view data, std::uint8_t type = 1);
void raw_scan(std::string_view record);  // the whole sensor record, bytes as given
void delay(int milliseconds);
void host_stop();                                        // the next _IdleManager(0) returns nonzero
void write_variable(int number, std::string_view text);  // the terminal changes a variable
void snapshot();  // copies the screen (rows as text) once the step is due, to see what a call shows

std::size_t pending();                                     // steps not yet taken
const std::vector<std::vector<std::string>> &snapshots();  // each one: the 20 rows as screen_row gives

// A wait that cannot end (no time limit and nothing more scripted, waits that return at once while no
// one takes the waiting input, or a virtual hour of waiting with nothing scripted) is a stall: it is
// recorded here with a dump of the screen, and from then on every wait returns at once, every key read
// gives Cancel or Enter in turn and every idle call asks to stop, so the module unwinds instead of hanging.
const std::vector<std::string> &failures();
std::vector<std::string> take_failures();  // returns the failures and forgets them (and the stall)
void set_stall_limit_ms(std::int64_t milliseconds);

}  // namespace headless
}  // namespace vekterm

#endif
