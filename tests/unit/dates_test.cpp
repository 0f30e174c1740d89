// Date and time checks: placeholders completed from the terminal's clock, the value rewritten in
// place (kept even when refused), then the calendar and clock ranges.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <tuple>

#include "dispatch/state.h"
#include "vekterm/vekterm.h"

namespace {

using namespace std::string_view_literals;

TEST(DateTimeCheck, CompletesRewritesAndJudges) {
  constexpr std::uint8_t kAmer = vek::kInputDateAmer, kEuro = vek::kInputDateEuro, kTime = vek::kInputTimeStd;
  // The input class, the value as typed (bytes after a NUL are left over from an earlier value), the
  // clock's year and month, the value rewritten, whether it is valid.
  // clang-format off
  for (const auto &[input, value, clock_year, clock_month, rewritten, valid] :
       std::initializer_list<std::tuple<std::uint8_t, std::string_view, int, int, const char *, int>>{
      {kAmer, "MM-DD-YYYY", 2019, 7, "07-04-2019", 1}, {kEuro, "DD-MM-YYYY", 2019, 7, "04-07-2019", 1},
      {kAmer, "12-DD-YYYY", 2019, 7, "12-04-2019", 1}, {kEuro, "31-MM-2019", 2019, 4, "31-04-2019", 0},
      {kAmer, "MM-DD-YYYY", 1999, 7, "07-04-1999", 1}, {kAmer, "MM-DD-YYYY", 2021, 7, "07-04-2021", 0},
      {kAmer, "MM-DD\0-YYYY"sv, 2019, 7, "07-04-0000", 0}, {kAmer, "12-31-1991", 2019, 7, "12-31-1991", 0},
      {kAmer, "01-01-2021", 2019, 7, "01-01-2021", 0},
      {kEuro, "31-01-2020", 2019, 7, "31-01-2020", 1}, {kAmer, "02-29-1992", 2019, 7, "02-29-1992", 1},
      {kEuro, "29-02-2000", 2019, 7, "29-02-2000", 1}, {kAmer, "02-29-2019", 2019, 7, "02-29-2019", 0},
      {kAmer, "04-31-2019", 2019, 7, "04-31-2019", 0}, {kAmer, "00-10-2000", 2019, 7, "00-10-2000", 0},
      {kAmer, "10-00-2000", 2019, 7, "10-00-2000", 0}, {kAmer, "1A-05-2000", 2019, 7, "10-05-2000", 1},
      {kAmer, "1A-05-2030", 2019, 7, "10-05-2030", 0}, {kAmer, "12-5", 2019, 7, "12-50-0000", 0},
      {kTime, "HH:MM:SS", 2019, 7, "09:26:53", 1}, {kTime, "HH:30:SS", 2019, 7, "09:30:53", 1},
      {kTime, "23:59:59", 2019, 7, "23:59:59", 1}, {kTime, "24:00:00", 2019, 7, "24:00:00", 0},
      {kTime, "12:60:00", 2019, 7, "12:60:00", 0}, {kTime, "12.30.45xyz", 2019, 7, "12:30:45", 1},
      {kTime, "1", 2019, 7, "10:00:00", 1},
  }) {
    // clang-format on
    vekterm::headless::reset();
    vekterm::set_clock(clock_year, clock_month, 4, 9, 26, 53);
    vek::reset_module_state();
    vek::g_fields.current_field = 4;
    vek::Field &f = vek::g_fields.fields[4];
    f.input = input;
    std::memcpy(f.value.data(), value.data(), value.size());
    EXPECT_EQ(input == kTime ? vek::time_check() : vek::date_check(), valid) << value;
    EXPECT_EQ(std::string(f.value.data()), rewritten) << value;
  }
}

}  // namespace
