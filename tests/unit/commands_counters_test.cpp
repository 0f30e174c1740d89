// Counter values that take billions of host calls to reach: wrap-around and negative texts.
#include <gtest/gtest.h>

#include "commands/commands.h"
#include "commands/counters.h"
#include "dispatch/dispatch.h"
#include "vekterm/vekterm.h"

namespace {

class CounterWrapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vekterm::headless::reset();
    vek::g_counters = {};
    vek::g_dispatch = {};
  }
  // DICOUNT on counter 1 as the dispatcher would hand it over; S stores into variable 2.
  static void dicount(char action) {
    std::string record =
        "32DICOUNT " + std::string(1, action) + std::string(9, ' ') + "01" + std::string(9, ' ') + "02";
    vek::g_dispatch.parameter_length = 32;
    vek::dicount(record.c_str());
  }
};

TEST_F(CounterWrapTest, CountersWrapAndAreShownSigned) {
  struct Case {
    std::uint32_t start;
    char action;
    const char *text;
  };
  for (const Case &c : {Case{0x7FFFFFFFu, 'I', "-2147483648"}, Case{0xFFFFFFFFu, 'I', "0"},
                        Case{0xFFFFFFFFu, 'D', "-2"}, Case{0x80000000u, 'D', "2147483647"}}) {
    vek::g_counters.counters[0] = c.start;
    dicount(c.action);
    dicount('S');
    EXPECT_EQ(vekterm::variable(2), c.text) << c.start << c.action;
  }
}

TEST_F(CounterWrapTest, ResetKeepsTheRingPosition) {
  vek::g_counters.next[1] = 7;
  vek::g_counters.entries[1][3][0] = 'x';
  vek::g_dispatch.parameter_length = 22;
  vek::chkuniq("22CHKUNIQ R            2");
  EXPECT_EQ(vek::g_counters.next[1], 7);
  EXPECT_EQ(vek::g_counters.entries[1][3][0], 0);
}

}  // namespace
