// SET_HEL and CLEAR_P as the host sends them: where the field definitions are read from. Malformed
// SET_HEL records are among the definition faults.
#include "scenario.h"

namespace vektest {
namespace {

using HelpFileTest = Scenario;

TEST_F(HelpFileTest, DefinitionsComeFromTheNamedFileAsWritten) {
  script::delay(1000);  // the start-up banner's wait runs out before any key is due
  vekterm::add_file("HELP.VAL", vekterm::make_image({"0005 FI=1"}));
  vekterm::add_file("FIELDS.DAT", vekterm::make_image({"0005 FI=2"}));
  vekterm::add_file("ABCDEFGHIJKLMNO", vekterm::make_image({"0005 FI=3"}));
  struct Case {
    const char *set_hel;  // nullptr: the built-in name
    const char *shown;    // what SET_FIE HELP=5 then shows
  };
  for (const Case &c :
       {Case{nullptr, "Bad CVEK(Z6):FI=1"}, Case{"SET_HEL FILE= FIELDS.DAT", "Bad CVEK(Z6):FI=2"},
        Case{"SET_HEL FILE", nullptr}, Case{"CLEAR_P", "Bad CVEK(Z6):FI=2"},
        Case{"SET_HEL FILE=help.val", "Bad CVEK(Zj):REC=5"},
        Case{"SET_HEL FILE=ABCDEFGHIJKLMNOP", "Bad CVEK(Z6):FI=3"},
        Case{"SET_HEL FILE=HELP.VAL,X", "Bad CVEK(Z6):FI=1"}}) {
    if (c.set_hel) {
      if (!c.shown) script::key(key::Enter);
      EXPECT_EQ(command(c.set_hel), 0) << c.set_hel;
      if (!c.shown) continue;
    }
    script::key(key::Enter);
    EXPECT_EQ(command("SET_FIE HELP=5"), 0);
    EXPECT_EQ(row(0), row40(c.shown)) << (c.set_hel ? c.set_hel : "built-in name");
  }
}

}  // namespace
}  // namespace vektest
