// Date and time checks: placeholders completed from the terminal's clock, the value rewritten in
// place (kept even when refused), then the calendar and clock ranges.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fields/table.h"
#include "validation/internal.h"
#include "vekterm/vekterm.h"

namespace {

struct Clock {
  int year, month, day, hour, minute, second;
};

struct Case {
  std::uint8_t input;  // input class of the field
  const char *value;   // as typed
  Clock clock;
  const char *rewritten;  // value afterwards
  int valid;
};

constexpr Clock k4July2019 = {2019, 7, 4, 9, 26, 53};
constexpr std::uint8_t kAmer = vek::kInputDateAmer, kEuro = vek::kInputDateEuro, kTime = vek::kInputTimeStd;

class DateTimeCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    vekterm::headless::reset();
    vek::g_fields = {};
    vek::g_fields.current_field = 4;
  }
  static vek::Field &field() { return vek::g_fields.fields[4]; }
  static void run(const Case &c) {
    vekterm::set_clock(c.clock.year, c.clock.month, c.clock.day, c.clock.hour, c.clock.minute,
                       c.clock.second);
    field().input = c.input;
    field().value = {};
    std::strncpy(field().value.data(), c.value, 40);
    const int valid = c.input == kTime ? vek::time_check() : vek::date_check();
    EXPECT_EQ(std::string(field().value.data()), c.rewritten) << c.value;
    EXPECT_EQ(valid, c.valid) << c.value;
  }
};

TEST_F(DateTimeCheck, PlaceholdersTakeOnlyTheirPartFromTheClock) {
  for (const Case &c : {
           Case{kAmer, "MM-DD-YYYY", k4July2019, "07-04-2019", 1},
           Case{kEuro, "DD-MM-YYYY", k4July2019, "04-07-2019", 1},
           Case{kAmer, "12-DD-YYYY", k4July2019, "12-04-2019", 1},
           Case{kEuro, "31-MM-2019", {2019, 4, 2, 0, 0, 0}, "31-04-2019", 0},  // 31 April
           Case{kAmer, "MM-DD-YYYY", {1999, 12, 31, 0, 0, 0}, "12-31-1999", 1},
           Case{kAmer, "MM-DD-YYYY", {2005, 1, 9, 0, 0, 0}, "01-09-2005", 1},
           Case{kAmer, "MM-DD-YYYY", {2021, 1, 9, 0, 0, 0}, "01-09-2021", 0},
           Case{kAmer, "MM-DD-YY", k4July2019, "07-04-0000", 0},  // no whole "YYYY": not completed
           Case{kTime, "HH:MM:SS", k4July2019, "09:26:53", 1},
           Case{kTime, "HH:30:SS", k4July2019, "09:30:53", 1},
       })
    run(c);
}

TEST_F(DateTimeCheck, CalendarAndClockRanges) {
  for (const Case &c : {
           Case{kAmer, "01-01-1992", k4July2019, "01-01-1992", 1},
           Case{kAmer, "12-31-1991", k4July2019, "12-31-1991", 0},
           Case{kAmer, "12-31-2020", k4July2019, "12-31-2020", 1},
           Case{kAmer, "01-01-2021", k4July2019, "01-01-2021", 0},
           Case{kAmer, "02-29-1992", k4July2019, "02-29-1992", 1},
           Case{kAmer, "02-29-2000", k4July2019, "02-29-2000", 1},
           Case{kEuro, "29-02-2020", k4July2019, "29-02-2020", 1},
           Case{kAmer, "02-29-2019", k4July2019, "02-29-2019", 0},
           Case{kAmer, "02-30-2000", k4July2019, "02-30-2000", 0},
           Case{kAmer, "04-31-2019", k4July2019, "04-31-2019", 0},
           Case{kAmer, "12-31-2019", k4July2019, "12-31-2019", 1},
           Case{kAmer, "00-10-2000", k4July2019, "00-10-2000", 0},
           Case{kAmer, "10-00-2000", k4July2019, "10-00-2000", 0},
           Case{kAmer, "13-01-2000", k4July2019, "13-01-2000", 0},
           Case{kTime, "23:59:59", k4July2019, "23:59:59", 1},
           Case{kTime, "00:00:00", k4July2019, "00:00:00", 1},
           Case{kTime, "24:00:00", k4July2019, "24:00:00", 0},
           Case{kTime, "12:60:00", k4July2019, "12:60:00", 0},
           Case{kTime, "12:00:60", k4July2019, "12:00:60", 0},
       })
    run(c);
}

TEST_F(DateTimeCheck, StrayCharactersAndShortValuesAreRewritten) {
  for (const Case &c : {
           Case{kAmer, "1A-05-2000", k4July2019, "10-05-2000", 1},
           Case{kAmer, "1A-05-2030", k4July2019, "10-05-2030", 0},  // kept although refused
           Case{kEuro, "01/05/2000", k4July2019, "01-05-2000", 1},
           Case{kAmer, "12-5", k4July2019, "12-50-0000", 0},
           Case{kTime, "12.30.45xyz", k4July2019, "12:30:45", 1},
           Case{kTime, "1", k4July2019, "10:00:00", 1},
       })
    run(c);
}

TEST_F(DateTimeCheck, CharactersLeftBehindAnEarlierValueDoNotCount) {
  field().input = kAmer;
  std::strcpy(field().value.data(), "MM-DD-YYYY");
  field().value[5] = 0;  // "MM-DD", with "-YYYY" still in the buffer behind it
  EXPECT_EQ(vek::date_check(), 0);
  EXPECT_EQ(std::string(field().value.data()), "03-14-0000");
}

}  // namespace
