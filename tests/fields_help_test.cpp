// SET_HEL and CLEAR_P as the host sends them.
#include "scenario.h"

namespace vektest {
namespace {

using HelpFileTest = Scenario;

TEST_F(HelpFileTest, MalformedNamesShowTheirCodeAndReturnZero) {
  struct Case {
    const char *operands;
    const char *shown;
  };
  for (const Case &c : {Case{"SET_HEL file=A.VAL", "Bad CVEK(Zl):18SET_HEL file=A.V"},
                        Case{"SET_HEL NAME=A.VAL", "Bad CVEK(Zl):18SET_HEL NAME=A.V"},
                        Case{"SET_HEL FILE=", "Bad CVEK(Zk):13SET_HEL FILE="},
                        Case{"SET_HEL FILE= ,=,", "Bad CVEK(Zk):17SET_HEL FILE= ,="}}) {
    script::key(key::Enter);
    EXPECT_EQ(command(c.operands), 0) << c.operands;
    EXPECT_EQ(row(0), row40(c.shown));
  }
  script::key(key::Enter);
  EXPECT_EQ(call(3, "40SET_HEL"), 0) << "a length beyond the record";
  EXPECT_EQ(row(0), row40("Bad CVEK(Zl):40SET_HEL"));
}

TEST_F(HelpFileTest, NamingAndClearingDrawNothing) {
  paint_pattern();
  const auto before = screen();
  EXPECT_EQ(command("SET_HEL FILE=NOWHERE.VAL"), 0);
  EXPECT_EQ(command("CLEAR_P"), 0);
  EXPECT_EQ(command("clear_panel"), 0);
  EXPECT_EQ(screen(), before);
  EXPECT_EQ(script::pending(), 0u);
}

}  // namespace
}  // namespace vektest
