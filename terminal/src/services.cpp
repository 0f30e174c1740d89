// Services shared by every backend: user variables, the clock texts, the device logs, transaction
// messages and their observer, and the input and wait operations handed to the active backend.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "dispatch/terminal.h"
#include "state.h"

namespace vekterm::detail {

Observer g_observer;

Terminal &terminal() {
  static Terminal instance = [] {
    Terminal t;
    t.capacity.fill(kVariableCapacity);
    t.backend = &headless_backend();
    return t;
  }();
  return instance;
}

void reset_shared() {
  Terminal &t = terminal();
  for (auto &line : t.cells)
    line.fill(Cell{});
  t.cursor_row = t.cursor_column = t.cursor_type = 0;
  for (auto &v : t.variables)
    v.clear();
  t.capacity.fill(kVariableCapacity);
  t.memory_files.clear();
  close_data_directory();
  t.data_directory.clear();
  t.forced_validation.clear();
  t.journal_path.clear();
  t.journal_error.clear();
  t.beeps.clear();
  t.leds.clear();
  t.messages.clear();
  g_observer = {};
  set_clock(2019, 3, 14, 9, 26, 53);
}

namespace {

bool known_variable(int number) {
  return number >= 1 && number <= kVariables;
}

std::int64_t now_ms() {
  return terminal().backend->now_ms();
}

bool leap_year(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int days_in_month(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  static_assert(std::size(kDays) == 12);
  return month == 2 && leap_year(year) ? 29 : kDays[month - 1];
}

// The digits of text[at, at + count) as a number; -1 when one of them is not a digit.
int digits(std::string_view text, std::size_t at, std::size_t count) {
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

void two_digits(char *out, int value) {
  out[0] = static_cast<char>('0' + value / 10 % 10);
  out[1] = static_cast<char>('0' + value % 10);
}

}  // namespace

// Civil time now: the system's local time, or the clock base plus the backend's running milliseconds.
std::tm civil_now() {
  std::tm tm{};
  if (terminal().local_clock) {
    const std::time_t seconds = std::time(nullptr);
    localtime_r(&seconds, &tm);
    return tm;
  }
  const std::time_t seconds = static_cast<std::time_t>(terminal().clock_base + now_ms() / 1000);
  gmtime_r(&seconds, &tm);
  return tm;
}

}  // namespace vekterm::detail

using vekterm::detail::terminal;

extern "C" {

int _KbdReadAscii(unsigned short *key) {
  if (!key) return 5;
  return terminal().backend->read_key(key);
}

int _WaitEvent(int milliseconds) {
  return terminal().backend->wait_event(milliseconds);
}

int _IdleManager(int mode) {
  return terminal().backend->idle(mode);
}

int _SenQueryData(unsigned short *count) {
  if (!count) return 1;
  return terminal().backend->query_scan(count);
}

int _SenRead(char *record, int size) {
  if (!record || size <= 0) return 1;
  return terminal().backend->read_scan(record, size);
}

int _SenActLed(int led, int duration) {
  if (vekterm::detail::keeps_logs()) terminal().leds.push_back({vekterm::detail::now_ms(), led, duration});
  if (terminal().backend->led) terminal().backend->led(led, duration);
  return 0;
}

int _SpkBeep(int device, int tone, int duration) {
  if (vekterm::detail::keeps_logs())
    terminal().beeps.push_back({vekterm::detail::now_ms(), device, tone, duration});
  if (terminal().backend->beep) terminal().backend->beep(device, tone, duration);
  return 0;
}

// Format 2: "HHMMSS"; format 1: "hhMMSS" and "AM" or "PM". Other formats write nothing and give 1.
int _RtcGetAsciiTime(int format, char *text, void *) {
  if (!text || (format != 1 && format != 2)) return 1;
  const std::tm tm = vekterm::detail::civil_now();
  int hour = tm.tm_hour;
  if (format == 1) hour = hour % 12 == 0 ? 12 : hour % 12;
  vekterm::detail::two_digits(text, hour);
  vekterm::detail::two_digits(text + 2, tm.tm_min);
  vekterm::detail::two_digits(text + 4, tm.tm_sec);
  if (format == 1) {
    text[6] = tm.tm_hour < 12 ? 'A' : 'P';
    text[7] = 'M';
    text[8] = 0;
  } else {
    text[6] = 0;
  }
  return 0;
}

// Format 3: "YYMMDD"; format 1: "MMDDYY". Other formats write nothing and give 1.
int _RtcGetAsciiDate(int format, char *text, void *) {
  if (!text || (format != 1 && format != 3)) return 1;
  const std::tm tm = vekterm::detail::civil_now();
  const int yy = (tm.tm_year + 1900) % 100, mm = tm.tm_mon + 1, dd = tm.tm_mday;
  vekterm::detail::two_digits(text, format == 3 ? yy : mm);
  vekterm::detail::two_digits(text + 2, format == 3 ? mm : dd);
  vekterm::detail::two_digits(text + 4, format == 3 ? dd : yy);
  text[6] = 0;
  return 0;
}

int _ReadUserVariable(int number, char *buffer) {
  if (!buffer) return 1;
  if (!vekterm::detail::known_variable(number)) return 3;
  const std::string &v = terminal().variables[static_cast<std::size_t>(number)];
  const std::size_t n = v.size() < 159 ? v.size() : 159;
  std::memcpy(buffer, v.data(), n);
  buffer[n] = 0;
  return 0;
}

// A text longer than the variable's capacity is stored cut to the capacity and reported with 5, so the
// host sees as much of the value as the variable can hold.
int _WriteUserVariable(int number, const char *text) {
  using vekterm::detail::g_observer;
  if (!text) text = "";
  int result = 3;
  if (vekterm::detail::known_variable(number)) {
    const std::size_t cap = static_cast<std::size_t>(terminal().capacity[static_cast<std::size_t>(number)]);
    const std::size_t len = std::strlen(text);
    terminal().variables[static_cast<std::size_t>(number)].assign(text, len < cap ? len : cap);
    result = len > cap ? 5 : 0;
  }
  if (g_observer.variable_written) g_observer.variable_written(number, text, result);
  return result;
}

int _ClearUserVariable(int number) {
  using vekterm::detail::g_observer;
  int result = 3;
  if (vekterm::detail::known_variable(number)) {
    terminal().variables[static_cast<std::size_t>(number)].clear();
    result = 0;
  }
  if (g_observer.variable_cleared) g_observer.variable_cleared(number, result);
  return result;
}

// 0 the message is in the journal (or no journal is kept); 1 it could not be written there. Headless,
// the message is kept in the in-memory log either way.
int _TransactionMsg(int flag, int length, const char *record) {
  using vekterm::detail::g_observer;
  const std::string_view text = record ? record : "";
  if (vekterm::detail::keeps_logs())
    terminal().messages.push_back({vekterm::detail::now_ms(), flag, length, std::string(text)});
  const int result = vekterm::detail::append_journal(flag, text);
  if (g_observer.message_sent) g_observer.message_sent(flag, length, text, result);
  return result;
}

}  // extern "C"

namespace vekterm {

std::string variable(int number) {
  if (number < 1 || number > kVariables) return {};
  return terminal().variables[static_cast<std::size_t>(number)];
}

void set_variable(int number, std::string_view text) {
  if (number < 1 || number > kVariables) return;
  terminal().variables[static_cast<std::size_t>(number)] = std::string(text.substr(0, kVariableCapacity));
}

void set_variable_capacity(int number, int characters) {
  if (number < 1 || number > kVariables) return;
  if (characters < 0) characters = 0;
  if (characters > kVariableCapacity) characters = kVariableCapacity;
  terminal().capacity[static_cast<std::size_t>(number)] = characters;
}

int variable_capacity(int number) {
  if (number < 1 || number > kVariables) return 0;
  return terminal().capacity[static_cast<std::size_t>(number)];
}

void set_observer(Observer observer) {
  detail::g_observer = std::move(observer);
}

bool parse_clock(std::string_view text, CivilTime *time) {
  // Positions of the separators in "YYYY-MM-DD HH:MM:SS"; the digits lie between them.
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || (text[10] != ' ' && text[10] != 'T') ||
      text[13] != ':' || text[16] != ':')
    return false;
  const CivilTime t = {detail::digits(text, 0, 4),  detail::digits(text, 5, 2),  detail::digits(text, 8, 2),
                       detail::digits(text, 11, 2), detail::digits(text, 14, 2), detail::digits(text, 17, 2)};
  if (t.year < 0 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > detail::days_in_month(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
      t.minute > 59 || t.second < 0 || t.second > 59)
    return false;
  *time = t;
  return true;
}

void set_clock(const CivilTime &time) {
  set_clock(time.year, time.month, time.day, time.hour, time.minute, time.second);
}

void set_clock(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  terminal().clock_base = static_cast<std::int64_t>(timegm(&tm)) - detail::now_ms() / 1000;
  terminal().local_clock = false;
}

std::int64_t clock_ms() {
  return detail::now_ms();
}

const std::vector<Beep> &beeps() {
  return terminal().beeps;
}
const std::vector<Led> &leds() {
  return terminal().leds;
}
const std::vector<Message> &messages() {
  return terminal().messages;
}

}  // namespace vekterm
