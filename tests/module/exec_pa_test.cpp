// Whole panels as a host runs them: CLEAR_P, SET_FIE per field, EXEC_PA, then the values in the result
// variables, the reason variable and the result code; and the field editor, scans, the help pop-up,
// the number layout and time limits as the operator meets them in a panel.
#include "scenario.h"

#include <cstring>

#include "dispatch/terminal.h"

namespace vektest {
namespace {

const std::string kLong = "A TEXT OF FORTY-FIVE CHARACTERS, CUT SOMEWHERE";

class ExecPaTest : public Scenario {
 protected:
  void SetUp() override {
    Scenario::SetUp();
    // clang-format off
    std::vector<std::string> records = {
        "0008 FILL IN EVERY FIELD", "0009 NOT FULL", "0010 KEY REFUSED", "0011 TIME IS UP", "0012 DOES NOT FIT",
        "0013 KEYS ONLY", "0015 ID NEEDED", "0016 PRESS ENTER", "0030 " + kLong, "0031 OF FIELD ONE",
        "0040 SECOND SCREEN", "0077 T=5,TOE=T,ERET=S,REASON=9"};
    // clang-format on
    for (int n = 100; n < 120; ++n)
      records.push_back("0" + std::to_string(n) + " LINE " + std::to_string(n));
    vekterm::add_file("HELP.VAL", vekterm::make_image(records));
  }

  // Defines a field from a definition text held in variable 41, as a host does.
  void define(std::string_view definition) {
    vekterm::set_variable(41, definition);
    command("SET_FIE VAR=41");
    ASSERT_NE(row(0).substr(0, 9), "Bad CVEK(") << "definition refused: " << row(0);
  }

  // Runs the panel with its options in variable 40.
  int run(std::string_view options) {
    vekterm::set_variable(40, options);
    return command("EXEC_PA VAR=40");
  }

  // A message in the pop-up, when there is one: `message` from column 3 of row `r` in snapshot `shot`.
  static void expect_message(std::size_t shot, int r, const char *message, const std::string &what) {
    if (!message) return;
    const std::string &shown = script::snapshots().at(shot).at(static_cast<std::size_t>(r));
    EXPECT_EQ(shown.substr(3, std::strlen(message)), message) << what;
  }
};

// Whole panels run one after another: the fields defined (none: the panel of the case before), the
// options and the keys; the result, variables, and rows of the screen at the end (snapshot -1) or of a
// snapshot taken by '$'. An accepted panel puts the cursor back where it was, switched off.
TEST_F(ExecPaTest, Panels) {
  const std::vector<std::string> two = {"FI=1,INPUT=ALPHA,LEN=5,ROW=3,COL=10,RUV=2",
                                        "FI=2,INPUT=NUM,LEN=4,ROW=5,COL=10,RUV=3"};
  const std::vector<std::string> steps = {"FI=2,INPUT=ALPHA,LEN=2,ROW=2,COL=1,RUV=2,REQ=N",
                                          "FI=5,INPUT=ALPHA,LEN=2,ROW=3,COL=1,RUV=5,REQ=N",
                                          "FI=9,INPUT=ALPHA,LEN=2,ROW=4,COL=1,RUV=9,REQ=N"};
  const std::vector<std::string> one = {"FI=1,INPUT=ALPHA,LEN=3,ROW=2,COL=1,RUV=4,REQ=N"};
  using Case =
      std::tuple<std::vector<std::string>, const char *, const char *, int,
                 std::vector<std::pair<int, std::string>>, std::vector<std::tuple<int, int, std::string>>>;
  // clang-format off
  const Case cases[] = {
      // Letters in capitals, blank-padded; a number field keeps its sign position first.
      {two, "REASON=9", "ab\n42!", 1, {{2, "AB   "}, {3, " 42 "}, {9, "OK"}}, {{-1, 2, "         AB___"}, {-1, 4, "          42_"}}},
      // The result code by ERET= and the ending; Cancel writes no value.
      {one, "REASON=9", "x!", 1, {{4, "X  "}, {9, "OK"}}, {}}, {one, "ERET=S,REASON=9", "x!", 0, {{4, "X  "}, {9, "OK"}}, {}},
      {one, "ERET=A,REASON=9", "x!", 0, {{4, "X  "}}, {}}, {one, "ERET=N,REASON=9", "x#", 0, {{4, ""}, {9, "CANCEL"}}, {}},
      {one, "ERET=S,REASON=9", "x#", 1, {{4, ""}, {9, "CANCEL"}}, {}}, {one, "ERET=A,REASON=9", "x#", 2, {{4, ""}}, {}},
      // Kept values without CNP=N are handed back even when not visited; with it they start empty.
      {two, "", "abc\n7!", 1, {{2, "ABC  "}, {3, " 7  "}}, {}},
      {{}, "CNP=N", "!", 1, {{2, "ABC  "}, {3, " 7  "}}, {{-1, 4, "         ____"}}},
      {{}, "", "!$#", 0, {}, {{-1, 2, "         _____"}}},
      // Start at the first defined field; Next and Previous step and wrap; SF= starts elsewhere.
      {steps, "", "a|b^^c!", 1, {{2, "A "}, {5, "B "}, {9, "C "}}, {}},
      {{}, "SF=9", "d!", 1, {{9, "D "}, {2, "  "}}, {}},
      // An empty required field is shown (record 8) and edited again; dates and times are filled in.
      {{"FI=1,INPUT=ALPHA,LEN=4,ROW=2,COL=1,RUV=1", "FI=3,INPUT=DATE_AMER,LEN=10,ROW=4,COL=1,RUV=3",
        "FI=4,INPUT=TIME_STD,LEN=8,ROW=6,COL=1,RUV=4"}, "", "!$zz!", 1,
       {{1, "ZZ  "}, {3, "03-14-2019"}, {4, "09:26:57"}},
       {{0, 1, "__+----------------------+"}, {0, 2, "  |FILL IN EVERY FIELD   |"}, {0, 3, "__+----------------------+"}, {-1, 1, "ZZ__"}}},
      // Clear empties the field, and a second Clear brings its stored text back.
      {{"FI=1,INPUT=ALPHA,LEN=4,ROW=2,COL=1,RUV=1,PUV=7"}, "", "@$@$!", 1, {{1, "KEEP"}}, {{0, 1, "____"}, {1, 1, "KEEP"}}},
      // Scans fill a panel whose required fields have identifiers: no OK needed. A result variable too
      // small is reported and the others are still written.
      {{"FI=1,INPUT=AI,LEN=6,ROW=2,COL=1,RUV=1,DI=P", "FI=2,INPUT=AINUM,LEN=4,ROW=3,COL=1,RUV=2,DI=Q"}, "REASON=9",
       "[Q12][PABCD]", 1, {{1, "ABCD  "}, {2, "12  "}, {9, "OK"}}, {}},
      {{"FI=1,INPUT=ALPHA,LEN=5,ROW=3,COL=10,RUV=12", "FI=2,INPUT=NUM,LEN=4,ROW=5,COL=10,RUV=3"}, "", "abcde\n1!~\n", 1,
       {{3, " 1  "}}, {{-1, 0, "Bad CVEK(XI):VAR=12"}}},
      // MULT=Y shows each field's screen records on the whole screen while it is edited.
      {{"FI=1,INPUT=ALPHA,LEN=3,ROW=10,COL=1,RUV=1,SCRN=30,31", "FI=2,INPUT=ALPHA,LEN=3,ROW=10,COL=1,RUV=2,SCRN=40,40"},
       "MULT=Y", "$a\n$b!", 1, {{1, "A  "}, {2, "B  "}},
       {{0, 0, kLong}, {0, 1, "OF FIELD ONE"}, {0, 9, "___"}, {1, 0, "SECOND SCREEN"}, {1, 1, ""}}},
  };
  // clang-format on
  vekterm::set_variable(7, "KEEP");
  vekterm::set_variable_capacity(12, 3);
  for (const auto &[fields, options, keys, result, variables, rows] : cases) {
    if (!fields.empty()) command("CLEAR_P");
    for (int r = 0; r < vekterm::kRows; ++r)
      paint(r, 0, std::string(vekterm::kColumns, ' '));
    for (const std::string &field : fields)
      define(field);
    for (int v : {1, 2, 3, 4, 5, 9})
      vekterm::set_variable(v, "");
    const std::size_t shot = script::snapshots().size();
    _VioSetCurPos(17, 7);
    play(keys);
    EXPECT_EQ(run(options), result) << keys;
    for (const auto &[v, value] : variables)
      EXPECT_EQ(vekterm::variable(v), value) << keys << " variable " << v;
    for (const auto &[snapshot, r, text] : rows) {
      const auto &shown =
          snapshot < 0 ? screen() : script::snapshots().at(shot + static_cast<std::size_t>(snapshot));
      EXPECT_EQ(shown.at(static_cast<std::size_t>(r)), row40(text)) << keys << " row " << r;
    }
    if (vekterm::variable(9) == "OK") {
      EXPECT_EQ(vekterm::cursor_type() * 10000 + vekterm::cursor_row() * 100 + vekterm::cursor_column(),
                1707);
    }
  }
}

// Faults of the record and of the options, the options checked in their order, each shown before
// anything is drawn: the code, or the whole top row.
TEST_F(ExecPaTest, FaultsOfTheRecordAndTheOptions) {
  // clang-format off
  const std::pair<const char *, const char *> cases[] = {  // a record, or the options in a variable
      {"", "XH"},  // no field defined yet
      {"TOE=", "X3"}, {"TOE=Q", "X4"}, {"TOE=t", "X4"}, {"ERET=,", "X5"}, {"ERET=Y", "X6"}, {"CON= ", "X7"},
      {"CON=A", "X8"}, {"MULT=", "XV"}, {"MULT=J", "XW"}, {"L=", "X9"}, {"L=X", "XA"}, {"CNP=", "XB"},
      {"CNP=n", "XC"}, {"T=", "XD"}, {"HVR=", "XO"}, {"HVR=9", "XP"}, {"HVR=20", "XP"}, {"SF=", "XF"},
      {"SF=21", "XG"}, {"SF=1", "XG"}, {"REASON=", "XX"}, {"REASON=20", "XY"}, {"REASON=-1", "XY"},
      {"CON=Q,TOE=Q", "X4"}, {"REASON=99,SF=0", "XG"}, {"EXEC_PA VAR=", "X2"}, {"EXEC_PA VAR=100", "X2"},
      {"EXEC_PA HELP=0", "X2"}, {"EXEC_PA HELP=10000", "X2"}, {"EXEC_PA HELP=", "X2"},
      {"EXEC_PA NOTHING", "Bad CVEK(X1):15EXEC_PA NOTHING"}, {"EXEC_PA HELP=0078", "Bad CVEK(XN):REC=0078"},
  };
  // clang-format on
  for (const auto &[text, shown] : cases) {
    paint(0, 0, std::string(40, ' '));
    if (std::string_view(shown) != "XH") define("FI=2,INPUT=ALPHA,LEN=3,ROW=5,COL=1,RUV=6");
    paint(4, 0, std::string(40, ' '));
    script::key(key::Enter);
    const std::string_view t = text;
    EXPECT_EQ(t.starts_with("EXEC_PA") ? command(t) : run(t), 0) << text;
    EXPECT_EQ(std::strlen(shown) == 2 ? row(0).substr(9, 2) : row(0),
              std::strlen(shown) == 2 ? shown : row40(shown));
    EXPECT_EQ(row(0).substr(0, 9), "Bad CVEK(");
    EXPECT_EQ(row(4), std::string(40, ' ')) << "nothing drawn for " << text;
  }

  // A help record holds the options from its sixth character on; VAR= wins over HELP=.
  play("a" + std::string(60, '~'));  // TOE=T of record 77: the time-out is taken as OK
  vekterm::set_variable(40, "TOE=T,T=5");
  EXPECT_EQ(command("EXEC_PA HELP=77"), 0) << "ERET=S of the record";
  EXPECT_EQ(vekterm::variable(9), "OK");
  EXPECT_EQ(vekterm::variable(6), "A  ");
  script::key(key::Cancel);
  EXPECT_EQ(command("EXEC_PA HELP=77,VAR=40"), 0) << "the variable's options: ERET=N";
  EXPECT_EQ(vekterm::variable(9), "OK") << "no REASON= in the variable's options";
}

// One field on row 5 from column 10 into variable 1, its start text from variable 7: the keys, the field
// as the screen shows it after the run, and the value handed back (nullptr: the run was cancelled or
// timed out).
TEST_F(ExecPaTest, TypingLayoutAndMessagesOfTheEditor) {
  struct Case {
    const char *definition, *start, *keys, *shown, *value;
    const char *message = nullptr;  // on a row of the case's snapshot
    int row = 2;
    const char *options = "";
    int date = 0;           // yyyymmdd at 23:59:59
    std::int64_t beep = 0;  // the time-out message's second beep, from the start of the run
  };
  const std::string nines(30, '9'), typed = nines + "!", cut = kLong.substr(0, 22) + "|";
  const std::string minute = std::string(60, '~') + "#";
  // clang-format off
  std::vector<Case> cases = {
      {"INPUT=ALPHA,LEN=6", "", "abc!", "ABC___", "ABC   "}, {"INPUT=ALPHA,LEN=3", "", "abcde!", "ABC", "ABC"},
      {"INPUT=ALPHA,LEN=6", "", "a{b!", "AB____", "AB    "}, {"INPUT=PASSWORD,LEN=6", "", "ab1!", "***___", "AB1   "},
      {"INPUT=NUM,LEN=-6", "", "--12!", " 12___", " 12   "}, {"INPUT=NUM,LEN=6", "", "-5!", " 5____", " 5    "},
      {"INPUT=NUM,LEN=6", "", "1.5!", " 15___", " 15   "}, {"INPUT=NUM,LEN=6.2", "", ".5!", "000.50", "000.50"},
      {"INPUT=NUM,LEN=6.2", "", "1.2.3!", "001.23", "001.23"}, {"INPUT=NUM,LEN=6.2", "", "1.<5.2!", "015.20", "015.20"},
      {"INPUT=AINUM,LEN=6", " 12", ">9!", " 19___", " 19   "}, {"INPUT=NUM,LEN=6,EDIT=N", " 12", "7!", "7_____", "7     "},
      {"INPUT=DATE_AMER,LEN=10", "", "12252024#", "12-25-2024", nullptr},
      {"INPUT=DATE_AMER,LEN=10,EDIT=N", "", "12252024#", "12252024__", nullptr},
      {"INPUT=DATE_EURO,LEN=10", "", "2512\b<9#", "25-92-YYYY", nullptr},
      {"INPUT=TIME_STD,LEN=8", "", "235959#", "23:59:59", nullptr},
      {"INPUT=ALPHA,LEN=6,EDIT=N", "OLD", "x!", "X_____", "X     "}, {"INPUT=ALPHA,LEN=6", "OLD", "x!", "XLD___", "XLD   "},
      {"INPUT=ALPHA,LEN=6,EDIT=N", "OLD", ">!", "______", "      "},
      {"INPUT=ALPHA,LEN=6", "ABCD", ">>\b!", "ACD___", "ACD   "}, {"INPUT=AI,LEN=6", "KEEP", "x\b!", "KEEP__", "KEEP  "},
      {"INPUT=ALPHA,LEN=6", "AB", "\bx!", "XB____", "XB    "},
      {"INPUT=ALPHA,LEN=5", "", "*", "_____", nullptr}, {"INPUT=ALPHA,LEN=5", "", "a*", "A____", nullptr},
      // A value with decimal places is laid out as a fixed-width number when it is committed.
      {"INPUT=ALPHA,LEN=8.2", "", "12.5!", "00012.50", "00012.50"}, {"INPUT=ALPHA,LEN=-8.2", "", " 12.5!", " 0012.50", " 0012.50"},
      {"INPUT=ALPHA,LEN=-8.2", "", "-12.5!", "-0012.50", "-0012.50"}, {"INPUT=ALPHA,LEN=8.2", "", "3.14159!", "00003.14", "00003.14"},
      {"INPUT=ALPHA,LEN=8.2", "", "12,5!", "00012.50", "00012.50"}, {"INPUT=ALPHA,LEN=8.2", "", ".5!", "00000.50", "00000.50"},
      {"INPUT=ALPHA,LEN=8.2", "", "1x.5y!", "00001.5Y", "00001.5Y"}, {"INPUT=ALPHA,LEN=8.2", "", "1234567!", "1234567.", "1234567."},
      {"INPUT=ALPHA,LEN=8", "", "12.5!", "12.5____", "12.5    "}, {"INPUT=ALPHA,LEN=8.2", "", "12345678!", "12345678", "12345678"},
      {"INPUT=ALPHA,LEN=-8.2", "", "1234567!", "1234567_", "1234567 "},
      {"INPUT=ALPHA,LEN=30.2", "", typed.c_str(), nines.c_str(), nines.c_str()},
      // Messages: a refused first key (later ones are passed over), a fixed length not yet full.
      {"INPUT=NUM,LEN=5", "", "/$1/2!", " 12__", " 12  ", "KEY REFUSED"},
      {"INPUT=ALPHA,LEN=5,MODE=F", "", "abcd!$\ne!", "ABCDE", "ABCDE", "NOT FULL"},
      {"INPUT=ALPHA,LEN=5,MODE=F", "AB", "|!", "AB___", "AB   "},
      // Help shows the field's records and the prompt, at most 16 lines, each cut to the pop-up.
      {"INPUT=ALPHA,LEN=3,HELP=100,9999", "", "?$\n#", "___", nullptr, "LINE 114", 16},
      {"INPUT=ALPHA,LEN=3,HELP=100,9999", "", "?$\n#", "___", nullptr, "PRESS ENTER", 17},
      {"INPUT=ALPHA,LEN=3,HELP=30,30", "", "?$\n#", "___", nullptr, cut.c_str()},
      // The time limit counts whole seconds of the clock from the last key; a refused key's message
      // (1.16 s) comes first. The time-out message beeps twice, 160 ms apart.
      {"INPUT=ALPHA,LEN=3", "", "", "___", nullptr, nullptr, 2, "T=10", 0, 11160},
      {"INPUT=ALPHA,LEN=3", "", "~~~~~a", "A__", nullptr, nullptr, 2, "T=10", 0, 16160},
      {"INPUT=ALPHA,LEN=3", "", "~~~~~{", "___", nullptr, nullptr, 2, "T=10", 0, 17320},
      {"INPUT=ALPHA,LEN=3", "", "b", "B__", "B  ", nullptr, 2, "T=5,TOE=T", 0, 6160},
  };
  // clang-format on
  // Keys typed before help are read away, and only an Enter typed after it closes it.
  for (const auto &[message, r] : {std::pair{"LINE 100", 2}, {"LINE 101", 3}, {"PRESS ENTER", 4}})
    cases.push_back({"INPUT=ALPHA,LEN=3,HELP=100,101", "", "?xxxxxxxxx\n$\n#", "___", nullptr, message, r});
  // The time limit across day and month ends.
  for (int date : {20230314, 20230131, 20230228, 20240228})
    cases.push_back({"INPUT=ALPHA,LEN=3", "", "", "___", nullptr, nullptr, 2, "T=2", date, 3160});
  // T= found first inside MULT= or ERET= reads their letter as 0, no limit, as does a negative one.
  for (const char *options : {"MULT=N,T=3", "ERET=N,T=3", "T=-4"})
    cases.push_back({"INPUT=ALPHA,LEN=3", "", minute.c_str(), "___", nullptr, nullptr, 2, options});
  for (const Case &c : cases) {
    command("CLEAR_P");
    const std::size_t shot = script::snapshots().size();
    vekterm::set_variable(1, "");
    paint(4, 0, std::string(40, ' '));
    vekterm::set_variable(7, c.start);
    define(std::string("FI=1,") + c.definition + ",ROW=5,COL=10,RUV=1,REQ=N" + (*c.start ? ",PUV=7" : ""));
    if (c.date) vekterm::set_clock(c.date / 10000, c.date / 100 % 100, c.date % 100, 23, 59, 59);
    const std::int64_t start = vekterm::clock_ms();
    const std::size_t beeps = vekterm::beeps().size();
    play(c.keys);
    run(std::string(c.options) + ",REASON=9");
    EXPECT_EQ(row(4).substr(9, std::strlen(c.shown)), c.shown) << c.definition << " " << c.keys;
    EXPECT_EQ(vekterm::variable(9), c.value ? "OK" : (c.beep ? "TIMEOUT" : "CANCEL"))
        << c.definition << c.keys;
    if (c.beep) {  // after a refused key's two beeps
      EXPECT_EQ(vekterm::beeps().at(beeps + (std::strchr(c.keys, '{') ? 3 : 1)).at_ms - start, c.beep)
          << c.options;
    }
    EXPECT_EQ(vekterm::variable(1), c.value ? c.value : "") << c.definition << " " << c.keys;
    expect_message(shot, c.row, c.message, std::string(c.definition) + " " + c.keys);
  }
}

// Scans while field 2 (row 3, identifier B, 8 long) is edited; fields 5 and 7 (6 long) share the
// identifier E. Each field's own keywords come first and win. Keys before and after the scan ('$' a look
// at its message); the variable that shows where the scan went, and the beeps heard (a scan taken and
// the check of an accepted panel beep once each, a message twice).
TEST_F(ExecPaTest, ScansAreRoutedByDataIdentifierOrRefused) {
  const auto scan = [](std::string data, char type = 1) {
    return std::string{type, 0, static_cast<char>(data.size())} + data;
  };
  struct Case {
    const char *field2, *field5, *field7, *before, *after;
    std::string record;
    int variable;
    const char *value;
    std::size_t beeps;
    const char *message = nullptr;
    int wait = 10;  // before the scan: 0, waiting before the edit starts, it is dropped
  };
  // clang-format off
  const Case cases[] = {
      {"", "", "", "", "", scan("B1234"), 2, "1234", 2}, {"", "", "", "", "", scan("E12345"), 5, "12345", 2},
      {"", "", "", "", "", scan("E1234567"), 2, "E1234567", 2},  // fits neither E field: taken whole here
      {"", "DI=E,KEEPDI=Y", "", "", "", scan("E12345"), 5, "E12345", 2},
      {"MODE=F,LEN=6", "", "", "", "", scan("B123456"), 2, "123456", 2},
      {"DI=ABCD", "", "", "", "", scan("ABCD12"), 2, "12", 2},  // the longest identifier
      {"MODE=F,LEN=6", "", "", "", "$bcdefg!", scan("B12345"), 2, "BCDEFG", 3, "DOES NOT FIT"},
      {"DI=E", "LEN=10", "", "", "$b!", scan("E123456789"), 2, "B", 3, "DOES NOT FIT"},
      {"", "", "LEN=8", "", "", scan("E1234567"), 7, "1234567", 2},
      {"", "", "", "", "$b!", scan("X12345678"), 2, "B", 3, "DOES NOT FIT"},
      {"INPUT=ALPHA", "", "", "", "$b!", scan("X1"), 2, "B", 3, "KEYS ONLY"},
      {"INPUT=NUM", "", "", "", "", scan("E12345"), 5, "12345", 2},
      {"INPUT=NUM", "", "", "", "$1!", scan("X1"), 2, " 1", 3, "KEYS ONLY"},
      {"MANDI=Y", "", "", "", "$b!", scan("X1"), 2, "B", 3, "ID NEEDED"},
      {"INPUT=AINUM", "", "", "", "", scan("X1"), 2, "X1", 2},
      {"LEN=39", "", "", "", "$b!", scan(std::string(96, '7')), 2, "B", 3, "DOES NOT FIT"},
      {"", "", "", "", "b!", scan("X1", 21), 2, "B", 1},  // not a scan
      {"", "", "", "", "", std::string{1, 0, '\xF0', 'A', 'B'}, 2, "", 2},  // negative length: no data
      // Input tokens act as keys; other data is dropped once typing has begun.
      {"", "", "", "", "", scan("$OK$MORE"), 2, "", 1}, {"", "", "", "a", "", scan("$OK$"), 2, "A", 2},
      {"", "", "", "a", "b!", scan("$LT$"), 7, "B", 2}, {"", "", "", "a", "b!", scan("$RT$"), 5, "B", 2},
      {"", "", "", "a", "b!", scan("$ENT$"), 5, "B", 2}, {"", "", "", "a", "", scan("$CAN$"), 2, "", 1},
      {"", "", "", "a", "b!", scan("$CLR$"), 2, "B", 2}, {"", "", "", "a", "b!", scan("$ENT"), 2, "AB", 2},
      {"", "", "", "", "", scan("$ENT"), 2, "$ENT", 2}, {"", "", "", "", "b!", scan("B1234"), 2, "B", 1, nullptr, 0},
  };
  // clang-format on
  for (const Case &c : cases) {
    command("CLEAR_P");
    for (int v : {2, 5, 7})
      vekterm::set_variable(v, "");
    define(std::string("FI=5,") + c.field5 + ",INPUT=AIALPHA,LEN=6,ROW=6,COL=1,RUV=5,REQ=N,DI=E");
    define(std::string("FI=7,") + c.field7 + ",INPUT=AIALPHA,LEN=6,ROW=8,COL=1,RUV=7,REQ=N,DI=E");
    define(std::string("FI=2,") + c.field2 + ",INPUT=AIALPHA,LEN=8,ROW=3,COL=1,RUV=2,REQ=N,DI=B");
    const std::size_t beeps = vekterm::beeps().size(), shot = script::snapshots().size();
    play(c.before);
    script::delay(c.wait);
    script::raw_scan(c.record);
    play(c.after);
    run("");
    const std::string what = c.record.substr(3);
    std::string value = vekterm::variable(c.variable);
    EXPECT_EQ(value.erase(value.find_last_not_of(' ') + 1), c.value) << what;
    EXPECT_EQ(vekterm::beeps().size() - beeps, c.beeps) << what;
    expect_message(shot, 2, c.message, what);
  }
}

TEST_F(ExecPaTest, HelpFileWithoutItsPromptRecordIsReportedAndTheHelpGoesOn) {
  vekterm::add_file("OTHER.VAL", vekterm::make_image({"0100 LINE 100"}));
  command("SET_HEL FILE=OTHER.VAL");
  define("FI=1,INPUT=ALPHA,LEN=3,ROW=20,COL=30,HELP=100,100");
  play("?$x");  // the message's own key wait
  script::delay(300);
  script::snapshot();
  play("\n#");
  run("");
  EXPECT_EQ(script::snapshots().at(0)[0], row40("Bad CVEK(Y2):HELP.VAL NOT FOUND"));
  EXPECT_EQ(script::snapshots().at(1)[2], row40("  |LINE 100              |"));
  EXPECT_EQ(script::snapshots().at(1)[3], row40("  |                      |"))
      << "the prompt line stays blank";
  EXPECT_EQ(script::pending(), 0u);
}

}  // namespace
}  // namespace vektest
