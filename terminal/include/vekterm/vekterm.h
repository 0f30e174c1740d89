// libvekterm: the terminal services for the panel driver, with a C++ API for hosts and tests.
//
// The services themselves are the C functions of dispatch/terminal.h, the module's interface to its
// terminal, with the key codes. This header adds what a host or a test needs around them: reading the
// screen back, preparing user variables and files, setting the clock, following what the module writes,
// and the logs of what the speaker, the LED and the transaction channel were asked to do (kept on the
// headless backend only: a real session would see them grow with every transaction). Everything else
// here works the same on every backend.
#ifndef VEKTERM_VEKTERM_H
#define VEKTERM_VEKTERM_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "dispatch/terminal.h"

namespace vekterm {

namespace key = vek::key;  // the codes _KbdReadAscii delivers

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
int variable_capacity(int number);                       // 159 until set; 0 for an unknown variable

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
struct CivilTime {
  int year, month, day, hour, minute, second;
};
// "YYYY-MM-DD HH:MM:SS" (or a T between the date and the time) and nothing more, a real date and time
// of day; false for anything else.
bool parse_clock(std::string_view text, CivilTime *time);
void set_clock(int year, int month, int day, int hour, int minute, int second);
void set_clock(const CivilTime &time);
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

// ---- Observer ------------------------------------------------------------------------------------
// Follows what the module changes through the services: each member, when set, is called after
// _WriteUserVariable, _ClearUserVariable or _TransactionMsg has done its work, with the arguments as
// given (a null text or record as "") and the service's result. The variable changes made through this
// header or by a headless script are not reported. headless::reset() removes the observer.
struct Observer {
  std::function<void(int number, std::string_view text, int result)> variable_written;
  std::function<void(int number, int result)> variable_cleared;
  std::function<void(int flag, int length, std::string_view record, int result)> message_sent;
};
void set_observer(Observer observer);  // Observer{} for none

// ---- Transaction journal ---------------------------------------------------------------------------
// Every transaction message is also appended to the journal, one line
// "YYYY-MM-DD HH:MM:SS TERMINAL SEQUENCE F RECORD" (the terminal's clock, the terminal id or "-" without
// one, the message's number, the flag, the record with unprintable bytes and the backslash as \xHH), and
// flushed to disk before _TransactionMsg returns. By default the journal is "journal/TERMINAL.log" in
// the data directory, the folder made when missing, or "journal.log" there without a terminal id; with
// no data directory and no path set, messages are kept in memory only. The number counts the
// terminal's messages from 1 and never repeats, also when the journal is deleted or cut short: the
// latest one is also kept in a counter file beside the journal (TERMINAL.seq, or the journal's name
// with ".seq").
void set_journal(std::string_view path);  // "" = the data directory's journal
std::string journal_path();               // the file written now, "" for none
const std::string &journal_error();       // why the latest write failed, "" after a good one

// The session's terminal id, in every journal line and in the journal's name: 1 to 32 letters, digits,
// '-', '_' and '.', not starting with '.'. "" clears it; a headless reset keeps it.
bool valid_terminal_id(std::string_view id);
bool set_terminal_id(std::string_view id);  // false (and unchanged) for an id that is not valid
const std::string &terminal_id();

// ---- Readable bytes --------------------------------------------------------------------------------
// Bytes written readably, as key maps and the scan prefix and suffix take them: \xHH, \e, \r, \n, \t,
// \b, \\, \^ and ^X for a control character. False with the reason in *why for a malformed text.
bool parse_escapes(std::string_view text, std::string *bytes, std::string *why);

// ---- Headless backend ------------------------------------------------------------------------------
// One ordered timeline of scripted input. A step becomes due when the virtual clock reaches it; the
// clock advances only while the module waits. Keys, scans and host stop requests are handed over one
// at a time in script order: the next is not offered until the previous one has been taken.
namespace headless {

// Blank screen, empty variables and logs, no files, no observer, empty timeline, clock 2019-03-14 09:26:53.
void reset();

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
// recorded here with a dump of the screen, and from then on every wait returns at once, key reads give
// Cancel, no key, Enter, no key in turn and every idle call asks to stop, so the module unwinds instead of
// hanging (the gaps end loops that read keys until none is left).
const std::vector<std::string> &failures();
std::vector<std::string> take_failures();  // returns the failures and forgets them (and the stall)
void set_stall_limit_ms(std::int64_t milliseconds);

}  // namespace headless
}  // namespace vekterm

#endif
