// The module's state is cleared in one place: after reset_module_state() a session sees nothing of the
// one before it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/commands.h"
#include "dispatch/state.h"
#include "dispatch/terminal.h"
#include "vekterm/vekterm.h"

namespace {

namespace script = vekterm::headless;

// A short session: the window restore with no window open, and counter 1 stored into variable 2.
std::vector<std::string> probe_session() {
  std::int32_t lines = 0, width = 0;
  std::uint8_t row = 0, column = 0;
  vek::window('R', 0, 0, &lines, &width, &row, &column);
  vek::g_dispatch.parameter_length = 32;
  vek::dicount("32DICOUNT S         01         02");
  return {vekterm::screen_row(1), vekterm::screen_row(2), vekterm::variable(2)};
}

TEST(ModuleState, ASessionAfterTheResetBehavesAsTheFirst) {
  script::reset();
  vek::reset_module_state();
  const std::vector<std::string> first = probe_session();

  // A session that leaves a window open over written rows and a counter raised.
  script::reset();
  vek::reset_module_state();
  int scratch = 0;
  for (int r = 1; r <= 5; ++r)
    _VioWrtCharStr("under the window", 16, r, 0, &scratch, 0);
  std::int32_t lines = 0, width = 0;
  std::uint8_t row = 0, column = 0;
  vek::window('C', 1, 3, &lines, &width, &row, &column);
  vek::g_dispatch.parameter_length = 21;
  vek::dicount("21DICOUNT I         01");

  script::reset();
  vek::reset_module_state();
  EXPECT_EQ(probe_session(), first);
}

}  // namespace
