// TM_DATE: the terminal's time and date as display texts in two user variables.
#include <array>

#include "commands/commands.h"
#include "commands/common.h"
#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"

namespace vek {
namespace {

constexpr int kMinimum = 52;
constexpr std::size_t kHourStyleColumn = 10;
constexpr std::size_t kTimeVariableColumn = 30;
constexpr std::size_t kDateStyleColumn = 35;
constexpr std::size_t kDateVariableColumn = 52;
constexpr int kLastVariable = 19;

constexpr int kClock24 = 2;     // time format HHMMSS
constexpr int kClock12 = 1;     // time format hhMMSS and two marker characters
constexpr int kDateMDY = 1;     // date format MMDDYY
constexpr int kClockText = 16;  // room for any clock text and its NUL

// Date orders: which digit pair of the clock's MMDDYY goes first, second and third.
struct DateOrder {
  const char *name;                   // as written in the record, compared case-blind
  std::array<std::uint8_t, 3> pairs;  // clock pair indexes in output order
  char separator;                     // between the pairs
};
constexpr DateOrder kDateOrders[] = {
    {"AMER", {0, 1, 2}, '/'},
    {"EURO", {1, 0, 2}, '.'},
};

bool valid_variable(int number) {
  return number >= 1 && number <= kLastVariable;
}

// Six clock digits as three pairs joined by `separator` into `out` (at least 9 bytes).
void join_pairs(const char *digits, const std::array<std::uint8_t, 3> &order, char separator, char *out) {
  int at = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (i > 0) out[at++] = separator;
    out[at++] = digits[2 * order[i]];
    out[at++] = digits[2 * order[i] + 1];
  }
  out[at] = 0;
}

void store(int number, const char *text, const char *record) {
  if (_WriteUserVariable(number, text) == 5) overflow_message(record);
}

}  // namespace

// Always 0; E1 record too short, E2/E3 time/date variable outside 1..19, E4 hour style not 12 or 24,
// E5 date style not AMER or EURO.
int tm_date(const char *record) {
  if (parameter_length() < kMinimum) return refuse(record, "E1");
  const int time_variable = record_number(record, kTimeVariableColumn, 2);
  if (!valid_variable(time_variable)) return refuse(record, "E2");
  const int date_variable = record_number(record, kDateVariableColumn, 2);
  if (!valid_variable(date_variable)) return refuse(record, "E3");
  const int hours = record_number(record, kHourStyleColumn, 2);
  _IdleManager(0);
  if (hours != 12 && hours != 24) return refuse(record, "E4");

  char style[5] = {};
  record_columns(record, kDateStyleColumn, 4, style, sizeof style);
  const DateOrder *order = nullptr;
  for (const DateOrder &candidate : kDateOrders)
    if (stricmp(style, candidate.name) == 0) order = &candidate;
  if (!order) return refuse(record, "E5");

  // The date is read first; the clock is read again for the time.
  int scratch = 0;
  char clock[kClockText] = {};
  _RtcGetAsciiDate(kDateMDY, clock, &scratch);
  char date[kClockText] = {};
  join_pairs(clock, order->pairs, order->separator, date);
  _IdleManager(0);
  store(date_variable, date, record);

  char time[kClockText] = {};
  std::array<char, kClockText> now = {};
  _RtcGetAsciiTime(hours == 24 ? kClock24 : kClock12, now.data(), &scratch);
  join_pairs(now.data(), {0, 1, 2}, ':', time);
  if (hours == 12) {
    time[8] = ' ';
    time[9] = now[6];
    time[10] = now[7];
    time[11] = 0;
  }
  store(time_variable, time, record);
  return 0;
}

}  // namespace vek
