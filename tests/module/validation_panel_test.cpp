// A whole panel validated as the host runs it: the operator confirms, the panel refuses values with
// their messages, the operator corrects them, and the values reach the result variables.
#include "scenario.h"

namespace vektest {
namespace {

using ValidationPanel = Scenario;

TEST_F(ValidationPanel, RefusedValuesAreCorrectedUntilThePanelIsAccepted) {
  vekterm::add_file("HELP.VAL",
                    vekterm::make_image({"0001 CHECKING", "0003 NOT IN FILE", "0004 OUT OF RANGE",
                                         "0016 PRESS ENTER", "0020 SEE ALSO", "0040 10.5", "0041 20"}));
  vekterm::add_file("GRP.VAL", vekterm::make_image({"A1;B2"}));
  int variable = 1;
  for (const char *definition :
       {"FI=1,INPUT=DATE_AMER,LEN=10,ROW=2,COL=1,RUV=11", "FI=2,INPUT=TIME_STD,LEN=8,ROW=3,COL=1,RUV=12",
        "FI=3,INPUT=ALPHA,LEN=6,ROW=4,COL=1,RUV=13,VERT=R,40,41",
        "FI=4,INPUT=ALPHA,LEN=4,ROW=5,COL=1,RUV=14,VERF=GRP",
        "FI=5,INPUT=ALPHA,LEN=4,ROW=6,COL=1,RUV=15,VERF=GRP"}) {
    vekterm::set_variable(variable, definition);
    command("SET_FIE VAR=" + std::to_string(variable++));  // the first one shows the banner
  }
  vekterm::set_clock(2019, 7, 4, 9, 26, 53);
  vekterm::set_variable(16, "HELP=20,20");
  const auto look_at_message = [] {  // a snapshot while the message stands, then time for it to go
    script::delay(200);
    script::snapshot();
    script::delay(1500);
  };
  script::key(key::Enter);  // the date and the time are left empty
  script::key(key::Enter);
  script::text("25");
  script::key(key::Enter);
  script::text("A1");
  script::key(key::Enter);
  script::text("B3");
  script::key(key::Ok);
  look_at_message();        // the group: the redirected help, once
  script::key(key::Next);   // back at the group's first field
  script::key(key::Clear);  // the second field edited anew
  script::text("B4");
  script::key(key::Ok);
  look_at_message();  // the group again: record 3
  script::key(key::Next);
  script::key(key::Clear);
  script::text("B2");
  script::key(key::Ok);
  look_at_message();  // the range
  script::key(key::Clear);
  script::text("15");
  script::key(key::Ok);
  vekterm::set_variable(10, "CON=Y,HVR=16,REASON=19");
  EXPECT_EQ(command("EXEC_PA VAR=10"), 1);

  std::vector<std::string> shown;
  for (const auto &snapshot : script::snapshots())
    shown.push_back(snapshot[2].substr(3, 12));
  EXPECT_EQ(shown, (std::vector<std::string>{"SEE ALSO    ", "NOT IN FILE ", "OUT OF RANGE"}));
  EXPECT_EQ(vekterm::variable(16), "USED");
  EXPECT_EQ(vekterm::variable(11), "07-04-2019");
  EXPECT_EQ(vekterm::variable(12).substr(0, 7), "09:26:5");
  EXPECT_EQ(vekterm::variable(13), "15    ");
  EXPECT_EQ(vekterm::variable(14), "A1  ");
  EXPECT_EQ(vekterm::variable(15), "B2  ");
  EXPECT_EQ(vekterm::variable(19), "OK");
}

}  // namespace
}  // namespace vektest
