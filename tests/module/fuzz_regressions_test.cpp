// Inputs that the fuzz targets found, kept as scenarios through `main`.
#include "scenario.h"

namespace vektest {
namespace {

using FuzzRegressions = Scenario;

// A sorted list of two-letter codes (upper case, as the field stores them) in which the classic probe
// sequence, on its own, steps over the first code: a probe lands on the NUL just before the narrowed range
// and every later probe finds the record after it. The verification must still find every code of the list,
// and only those.
TEST_F(FuzzRegressions, EveryCodeOfAnEqualLengthListIsFound) {
  const std::vector<std::string> codes = {"AA", "AD", "AE", "AG", "AH", "BC", "BE", "BH", "CD", "CF",
                                          "CG", "DB", "DD", "DE", "DF", "DG", "EB", "EH", "FA", "FB",
                                          "FG", "FH", "GA", "GC", "GD", "GG", "HB", "HD", "HE", "HH"};
  vekterm::add_file("HELP.VAL",
                    vekterm::make_image({"0001 CHECKING", "0003 NOT IN LIST", "0016 PRESS ENTER"}));
  vekterm::add_file("B_AB.VAL", vekterm::make_image(codes));
  vekterm::set_variable(10, "REASON=19");
  vekterm::set_variable(1, "FI=1,INPUT=ALPHA,LEN=2,ROW=3,COL=1,RUV=11,VERF=B_AB");
  struct Case {
    std::string typed;
    bool accepted;
  };
  std::vector<Case> cases = {{"AB", false}, {"AI", false}, {"HI", false}, {"A", false}};
  for (const std::string &code : codes)
    cases.push_back({code, true});
  for (const Case &c : cases) {
    vekterm::set_variable(11, "");
    command("CLEAR_P");
    command("SET_FIE VAR=1");
    play(c.typed + (c.accepted ? "!" : "!~~#"));  // a refusal's message, then the operator gives up
    command("EXEC_PA VAR=10");
    EXPECT_EQ(vekterm::variable(11), c.accepted ? c.typed : "") << "typed " << c.typed;
    EXPECT_EQ(script::pending(), 0u) << "typed " << c.typed;
    stalls();
  }
}

}  // namespace
}  // namespace vektest
