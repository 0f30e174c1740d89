// Panels validated as the host runs them: the operator confirms, the panel refuses values with their
// messages, the operator corrects them, and the values reach the result variables.
#include <algorithm>

#include "scenario.h"

namespace vektest {
namespace {

using ValidationPanel = Scenario;

const std::string kForty(40, 'v'), kLast(33, 'w');  // a joined value of 115 characters

void add_files() {
  vekterm::add_file(
      "HELP.VAL",
      vekterm::make_image({"0001 CHECKING",   "0002 TOO LONG",   "0003 NOT IN FILE", "0004 OUT OF LIST",
                           "0005 ZERO DIGIT", "0006 PREFIX",     "0007 MANDATORY",   "0016 PRESS ENTER",
                           "0017 BAD DATE",   "0018 BAD FORMAT", "0020 SEE ALSO",    "0030 nn-nn",
                           "0032 A?a*n",      "0040 10.5",       "0041 20",          "0042 -5",
                           "0043 5",          "0050 AB",         "0052 bbb",         "0053 bxy"}));
  for (int answer : {0, 1, 4, 9, 16})  // files named after the answer the service gives for them
    vekterm::force_validation_result("ANS" + std::to_string(answer) + ".VAL", answer);
  // The service would refuse B_LOC.VAL.
  for (const auto &[name, answer] : {std::pair{"B_LOC.VAL", 1}, {"B_MISS.VAL", 0}, {"B_GRP.VAL", 0}})
    vekterm::force_validation_result(name, answer);
  const std::pair<const char *, std::vector<std::string>> files[] = {
      {"X", {"A1"}},          {"CODES.VAL", {"A1", "B2"}}, {"B_LOC.VAL", {"A1;B2"}},
      {"GRP.VAL", {"a;b;c"}}, {"S_ONE.VAL", {"x", "y"}},   {"PAIR.VAL", {"A1;B2"}}};
  for (const auto &[name, records] : files)
    vekterm::add_file(name, vekterm::make_image(records));
  vekterm::add_file("LONG.VAL",
                    vekterm::make_image({kForty + ';' + kForty + ';' + kLast, kForty + ';' + kForty}));
}

// Field 1 is empty and checked by nothing; the fields after it (screen row 11 on) hold the values given,
// prefilled from variables 41 on, and are handed back in variables 2 on. The operator confirms at
// once; a refused panel is cancelled once the message has gone. Each case: "definition items:value" for
// each field, joined by "|"; the panel's options; the message that stood; the code of the bad-call
// message; the screen row of the field the operator is sent back to (0: accepted).
TEST_F(ValidationPanel, EachCheckAcceptsOrRefusesWithItsMessage) {
  // clang-format off
  const std::tuple<std::string, const char *, const char *, const char *, int> cases[] = {
      {"VERT=I,VERF=ANS0:A1", "", "", "", 0}, {"VERT=i,VERF=ANS1:A1", "", "NOT IN FILE", "", 11},
      {"VERT=i,VERF=ANS4:A1", "", "", "", 0}, {"VERT=I,VERF=ANS4:A1", "", "MANDATORY", "", 11},
      {"VERT=e,VERF=ANS16:A1", "", "", "", 0}, {"VERT=E,VERF=ANS16:A1", "", "MANDATORY", "", 11},
      {"VERT=I,VERF=ANS9:A1", "", "", "", 0},
      // One-letter names go to the service as they are; names with B_ are searched here first.
      {"VERF=X:A1|VERT=E,VERF=CODES:C3|VERF=CODES:B2|VERF=B_LOC:A1;B2", "", "", "", 0},
      {"VERT=e,VERF=CODES:A1|VERF=B_MISS:A1", "", "NOT IN FILE", "", 11},
      {"VERT=e,VERF=B_LOC:B2|VERT=e,VERF=B_LOC:A1;B2", "", "NOT IN FILE", "", 12},
      // A mandatory field whose file cannot be used is reported even when a later file answers; a
      // missing local file is not asked again of the service.
      {"VERT=e,VERF=CODES:D4|VERF=B_MISS:A1|VERT=i,VERF=CODES:B2", "", "MANDATORY", "", 12},
      // Fields sharing a file are checked together, whatever their types; S_ files are not joined.
      {"VERF=GRP:a|VERF=S_ONE:x|VERT=F,30,VERF=GRP:b|VERF=S_ONE:y|VERT=i,VERF=GRP:c|VERF=B_GRP:q|"
       "VERF=B_LOC:A1|VERF=B_LOC:B2", "CON=Y", "", "", 0},
      {"VERF=GRP:a|VERF=GRP:b", "CON=N", "NOT IN FILE", "", 11},
      {"VERT=i,VERF=NOGRP:a|VERF=NOGRP:b|VERT=B:123455", "CON=Y", "ZERO DIGIT", "", 13},
      {"VERF=NOGRP:a|VERT=i,VERF=NOGRP:b", "CON=Y", "MANDATORY", "", 11},
      {"VERF=ANS16:a|VERF=ANS16:b", "CON=Y", "MANDATORY", "", 11},
      {"VERF=LONG:" + kForty + "|VERF=LONG:" + kForty + "|VERF=LONG:" + kLast, "CON=Y", "", "", 0},
      // Help redirects that are used or faulty fall back to record 3.
      {"VERF=ANS1:A", "HVR=12", "NOT IN FILE", "", 11}, {"VERF=ANS1:A", "HVR=13", "NOT IN FILE", "XQ", 11},
      {"VERF=ANS1:A", "HVR=14", "NOT IN FILE", "XR", 11}, {"VERF=ANS1:A", "HVR=15", "NOT IN FILE", "XS", 11},
      {"VERF=ANS1:A", "HVR=16", "NOT IN FILE", "XT", 11},
      // The value checks, in their order; a B value with the right digit but no leading zero is
      // refused, a T value with the wrong prefix before its length is seen.
      {"VERT=F,30:12-3x", "", "BAD FORMAT", "", 11}, {"VERT=F,31:12", "", "", "XU", 11},
      {"VERT=S,50,52:   ", "", "", "", 0}, {"VERT=S,52,50:AB", "", "OUT OF LIST", "", 11},
      {"VERT=R,39,41:15", "", "", "XL", 11}, {"VERT=R,40,1234:15", "", "", "XM", 11},
      // Masks: a short value, '?', letters, '*' for the rest. Lists: whole entries, "b..." as that many
      // blanks. Ranges: bounds included, fractions compared as digits, leading delimiters skipped.
      {"VERT=F,30:12-3|VERT=F,32:A!Zcd!|VERT=S,50,52:AB|VERT=S,53,53:   |VERT=R,40,41:10.50|"
       "VERT=R,40,41:.15|VERT=R,40,41:20.0|VERT=R,42,43:-3", "", "", "", 0},
      {"VERT=F,30:12x34", "", "BAD FORMAT", "", 11}, {"VERT=F,32:a!bc", "", "BAD FORMAT", "", 11},
      {"VERT=F,32:A!1", "", "BAD FORMAT", "", 11}, {"VERT=S,50,52:ABC", "", "OUT OF LIST", "", 11},
      {"VERT=S,52,52:  ", "", "OUT OF LIST", "", 11}, {"VERT=S,52,52:bbb", "", "OUT OF LIST", "", 11},
      {"VERT=R,40,41:10.49", "", "OUT OF LIST", "", 11}, {"VERT=R,40,41:10.10", "", "OUT OF LIST", "", 11},
      {"VERT=R,40,41:20,01", "", "OUT OF LIST", "", 11}, {"VERT=R,40,41:9.99", "", "OUT OF LIST", "", 11},
      {"VERT=B:0123455", "", "", "", 0}, {"VERT=B:123455", "", "ZERO DIGIT", "", 11},
      {"VERT=B:012345678901237", "", "ZERO DIGIT", "Y3", 11}, {"VERT=T4:49927398716", "", "", "", 0},
      {"VERT=T5:49927398716", "", "PREFIX", "", 11}, {"VERT=T:590154203237518", "", "PREFIX", "", 11},
      // Dates and times are checked after the field's own check, and only when it accepted nothing.
      {"INPUT=DATE_AMER:02-30-2000", "", "BAD DATE", "", 11},
      {"INPUT=TIME_STD,VERT=0:23:59:59", "", "", "", 0},
      {"INPUT=DATE_AMER,VERT=F,30:1x-31-2000", "", "BAD FORMAT", "", 11},
      {"INPUT=DATE_AMER,VERT=F,30:12-32-2000", "", "", "", 0},
      {"INPUT=DATE_AMER,VERF=ANS0:xx", "", "", "", 0},
  };
  // clang-format on
  const char *redirects[] = {"USED HELP=20,21", "HELP=", "HELP=0,5", "HELP=, 20", "HELP=20=10000"};
  for (const auto &[fields, options, message, code, back_to] : cases) {
    add_files();
    for (int v = 12; v <= 16; ++v)
      vekterm::set_variable(v, redirects[v - 12]);
    vekterm::set_variable(1, "FI=1,INPUT=ALPHA,LEN=4,ROW=11,COL=1,RUV=1,REQ=N");
    command("SET_FIE VAR=1");
    std::vector<std::string> values;
    for (std::size_t at = 0; at < fields.size();) {
      std::size_t end = std::min(fields.find('|', at), fields.size()), colon = fields.find(':', at);
      const std::string n = std::to_string(values.size() + 2), from = std::to_string(values.size() + 41);
      values.push_back(fields.substr(colon + 1, end - colon - 1));
      vekterm::set_variable(static_cast<int>(values.size() + 40), values.back());
      vekterm::set_variable(1, "FI=" + n + ",LEN=39,ROW=" + std::to_string(values.size() + 11) +
                                   ",COL=1,RUV=" + n + ",PUV=" + from + "," + fields.substr(at, colon - at) +
                                   ",INPUT=ALPHA");
      command("SET_FIE VAR=1");
      at = end + 1;
    }
    const std::string what = options + (" " + fields);
    paint(0, 0, std::string(40, ' '));  // the banner of the first definition
    play(*code ? "!x$#" : "!$#");       // 'x' for the bad-call message
    vekterm::set_variable(10, options);
    EXPECT_EQ(command("EXEC_PA VAR=10"), back_to == 0 ? 1 : 0) << what;
    std::string shown = script::snapshots().empty() ? "" : script::snapshots()[0][2].substr(3, 16);
    shown.erase(shown.find_last_not_of(' ') + 1);
    EXPECT_EQ(shown, message) << what;
    EXPECT_EQ(row(0).substr(9, 2), *code ? code : "  ") << what;
    EXPECT_EQ(back_to == 0 ? 0 : vekterm::cursor_row(), back_to) << what;
    for (std::size_t i = 0; back_to == 0 && i < values.size(); ++i)
      EXPECT_EQ(vekterm::variable(static_cast<int>(i + 2)).substr(0, values[i].size()), values[i]) << what;
    for (int v = 12; v <= 16; ++v)
      EXPECT_EQ(vekterm::variable(v), redirects[v - 12]) << what;
    TearDown();  // the next case starts from a module loaded afresh
    SetUp();
  }
}

TEST_F(ValidationPanel, RefusedValuesAreCorrectedUntilThePanelIsAccepted) {
  add_files();
  vekterm::set_variable(41, kForty);
  vekterm::set_variable(42, std::string(34, 'w'));  // one too many for the joined value
  int variable = 1;
  for (const char *definition : {"FI=3,INPUT=ALPHA,LEN=6,ROW=4,COL=1,RUV=13,VERT=R,40,41",
                                 "FI=4,INPUT=ALPHA,LEN=4,ROW=5,COL=1,RUV=14,VERF=PAIR",
                                 "FI=5,INPUT=ALPHA,LEN=4,ROW=6,COL=1,RUV=15,VERF=PAIR",
                                 "FI=6,INPUT=ALPHA,LEN=39,ROW=7,COL=1,RUV=2,VERF=LONG,PUV=41",
                                 "FI=7,INPUT=ALPHA,LEN=39,ROW=8,COL=1,RUV=3,VERF=LONG,PUV=41",
                                 "FI=8,INPUT=ALPHA,LEN=39,ROW=9,COL=1,RUV=4,VERF=LONG,PUV=42"}) {
    vekterm::set_variable(variable, definition);
    command("SET_FIE VAR=" + std::to_string(variable++));
  }
  vekterm::set_variable(16, "HELP=20,20");
  // Each '$' looks at the message standing: the group's redirected help (once), the group again (record
  // 3) after its second field is edited anew, the long group waiting for Enter (accepted groups are not
  // checked again later), the range.
  play("25\nA1\nB3!$|@B4!$|@B2!$\n$@15!");
  vekterm::set_variable(10, "CON=Y,HVR=16,REASON=19");
  EXPECT_EQ(command("EXEC_PA VAR=10"), 1);

  std::vector<std::string> shown;
  for (const auto &snapshot : script::snapshots())
    shown.push_back(snapshot[2].substr(3, 12));
  EXPECT_EQ(shown,
            (std::vector<std::string>{"SEE ALSO    ", "NOT IN FILE ", "TOO LONG    ", "OUT OF LIST "}));
  for (const auto &[v, value] :
       {std::pair{16, "USED"}, {13, "15    "}, {14, "A1  "}, {15, "B2  "}, {19, "OK"}})
    EXPECT_EQ(vekterm::variable(v), value) << "variable " << v;
}

}  // namespace
}  // namespace vektest
