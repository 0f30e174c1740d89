// Date and time checks: placeholders completed from the terminal's clock, the value normalised in
// place, then the calendar and clock ranges.
#include <array>
#include <cstdint>
#include <string_view>

#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"
#include "fields/table.h"
#include "validation/internal.h"

namespace vek {
namespace {

constexpr int kDateLength = 10;  // "MM-DD-YYYY" or "DD-MM-YYYY"
constexpr int kTimeLength = 8;   // "HH:MM:SS"
constexpr int kFirstYear = 1992;
constexpr int kLastYear = 2020;

constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
static_assert(std::size(kDaysInMonth) == 12, "a row for every month");

// Positions of the day and the month in a date value, by input class.
struct DateLayout {
  int day;    // first of the two day characters
  int month;  // first of the two month characters
};
constexpr DateLayout kAmerican = {3, 0};
constexpr DateLayout kEuropean = {0, 3};

bool is_date(const Field &f) {
  return f.input == kInputDateAmer || f.input == kInputDateEuro;
}

// True when the value holds `text` at `at`. Reads stop at the value's NUL, so characters left behind
// it by an earlier, longer value never count.
bool holds(const Field &f, int at, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i)
    if (record_char(f.value.data(), static_cast<std::size_t>(at) + i) != text[i]) return false;
  return true;
}

void put(Field &f, int at, const char *text, int count) {
  for (int i = 0; i < count; ++i)
    f.value[static_cast<std::size_t>(at + i)] = text[i];
}

int number_at(const Field &f, int at, int count) {
  return decimal_value(std::string_view(f.value.data() + at, static_cast<std::size_t>(count)));
}

bool leap_year(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

}  // namespace

void normalise() {
  Field &f = current();
  const bool date = is_date(f);
  const int length = date ? kDateLength : kTimeLength;
  const char separator = date ? '-' : ':';
  // Everything from the value's first NUL on counts as NUL, so a short value is padded with "0" and
  // never picks up what an earlier value left in the buffer.
  bool ended = false;
  for (int i = 0; i < length; ++i) {
    char &c = f.value[static_cast<std::size_t>(i)];
    if (c == 0) ended = true;
    if (i == 2 || i == 5)
      c = separator;
    else if (ended || !(c == '-' || (c >= '0' && c <= ':')))
      c = '0';
  }
  f.value[static_cast<std::size_t>(length)] = 0;
}

int date_check() {
  Field &f = current();
  std::array<char, 8> clock = {'0', '0', '0', '0', '0', '0', 0, 0};  // YYMMDD
  int scratch = 0;
  _RtcGetAsciiDate(3, clock.data(), &scratch);

  if (holds(f, 6, "YYYY")) {
    put(f, 6, clock[0] == '9' ? "19" : "20", 2);
    put(f, 8, clock.data(), 2);
  }
  const DateLayout layout = f.input == kInputDateEuro ? kEuropean : kAmerican;
  if (holds(f, layout.day, "DD")) put(f, layout.day, clock.data() + 4, 2);
  if (holds(f, layout.month, "MM")) put(f, layout.month, clock.data() + 2, 2);
  normalise();

  const int year = number_at(f, 6, 4);
  if (year < kFirstYear || year > kLastYear) return 0;
  const int month = number_at(f, layout.month, 2);
  if (month < 1 || month > 12) return 0;
  int days = kDaysInMonth[static_cast<std::size_t>(month - 1)];
  if (month == 2 && leap_year(year)) ++days;
  const int day = number_at(f, layout.day, 2);
  return day >= 1 && day <= days ? 1 : 0;
}

int time_check() {
  Field &f = current();
  std::array<char, 8> clock = {'0', '0', '0', '0', '0', '0', 0, 0};  // HHMMSS
  int scratch = 0;
  _RtcGetAsciiTime(2, clock.data(), &scratch);

  if (holds(f, 0, "HH")) put(f, 0, clock.data(), 2);
  if (holds(f, 3, "MM")) put(f, 3, clock.data() + 2, 2);
  if (holds(f, 6, "SS")) put(f, 6, clock.data() + 4, 2);
  normalise();

  const int hours = number_at(f, 0, 2), minutes = number_at(f, 3, 2), seconds = number_at(f, 6, 2);
  return hours >= 0 && hours <= 23 && minutes >= 0 && minutes <= 59 && seconds >= 0 && seconds <= 59 ? 1 : 0;
}

}  // namespace vek
