// Counter values that take billions of host calls to reach: wrap-around and negative texts.
#include <gtest/gtest.h>

#include "commands/commands.h"
#include "dispatch/state.h"
#include "vekterm/vekterm.h"

namespace {

TEST(CounterWrap, CountersWrapAndAreShownSigned) {
  vekterm::headless::reset();
  vek::reset_module_state();
  vek::g_dispatch.parameter_length = 32;
  struct Case {
    std::uint32_t start;
    const char *action, *text;
  } cases[] = {{0x7FFFFFFFu, "I", "-2147483648"}, {0xFFFFFFFFu, "I", "0"}, {0x80000000u, "D", "2147483647"}};
  for (const Case &c : cases) {
    vek::g_counters.counters[0] = c.start;
    vek::dicount((std::string("32DICOUNT ") + c.action + "         01").c_str());
    vek::dicount("32DICOUNT S         01         02");
    EXPECT_EQ(vekterm::variable(2), c.text) << c.start << c.action;
  }
}

}  // namespace
