// Whole panels as a host runs them: CLEAR_P, SET_FIE per field, EXEC_PA, then the values in the result
// variables, the reason variable and the result code.
#include "scenario.h"

#include "dispatch/terminal.h"

namespace vektest {
namespace {

constexpr int kOptionsVariable = 40;

class ExecPaTest : public Scenario {
 protected:
  void SetUp() override {
    Scenario::SetUp();
    vekterm::add_file("HELP.VAL",
                      vekterm::make_image({"0008 FILL IN EVERY FIELD", "0011 TIME IS UP", "0016 PRESS ENTER",
                                           "0030 FIRST SCREEN", "0031 OF FIELD ONE", "0040 SECOND SCREEN",
                                           "0077 T=5,TOE=T,ERET=S,REASON=9"}));
  }

  // Defines a field from a definition text held in a user variable, as a host does.
  void define(std::string_view definition) {
    vekterm::set_variable(kDefinitionVariable, definition);
    command("SET_FIE VAR=" + std::to_string(kDefinitionVariable));
    ASSERT_EQ(row(0).substr(0, 8), std::string(40, ' ').substr(0, 8)) << "definition refused: " << row(0);
  }

  // A two-field panel: a 5-letter name on row 3 into variable 2, a 4-digit count on row 5 into 3.
  void two_fields() {
    define("FI=1,INPUT=ALPHA,LEN=5,ROW=3,COL=10,RUV=2");
    define("FI=2,INPUT=NUM,LEN=4,ROW=5,COL=10,RUV=3");
  }

  int run(std::string_view options) {
    vekterm::set_variable(kOptionsVariable, options);
    return command("EXEC_PA VAR=" + std::to_string(kOptionsVariable));
  }

  // The code of the bad-call message on row 0, or "" when none is shown.
  static std::string error_code() {
    const std::string top = row(0);
    return top.substr(0, 9) == "Bad CVEK(" ? top.substr(9, 2) : "";
  }

 private:
  static constexpr int kDefinitionVariable = 41;
};

TEST_F(ExecPaTest, TypedPanelIsHandedBackPaddedWithOkInTheReasonVariable) {
  two_fields();
  _VioSetCurPos(17, 7);
  script::text("ab");
  script::key(key::Enter);
  script::text("42");
  script::key(key::Ok);
  EXPECT_EQ(run("REASON=9"), 1);
  EXPECT_EQ(vekterm::variable(2), "AB   ") << "letters folded to capitals, blank-padded to 5";
  EXPECT_EQ(vekterm::variable(3), " 42 ") << "the sign position comes first in a number field";
  EXPECT_EQ(vekterm::variable(9), "OK");
  EXPECT_EQ(row(2), row40("         AB___"));
  EXPECT_EQ(row(4), row40("          42_"));
  EXPECT_EQ(vekterm::cursor_type(), 0);
  EXPECT_EQ(vekterm::cursor_row(), 17);
  EXPECT_EQ(vekterm::cursor_column(), 7);
}

TEST_F(ExecPaTest, ResultCodesFollowEret) {
  struct Case {
    const char *options;
    std::uint16_t ending;
    int result;
    const char *reason;
  };
  for (const Case &c : {Case{"", key::Ok, 1, "OK"}, Case{"ERET=S", key::Ok, 0, "OK"},
                        Case{"ERET=A", key::Ok, 0, "OK"}, Case{"ERET=N", key::Cancel, 0, "CANCEL"},
                        Case{"ERET=S", key::Cancel, 1, "CANCEL"}, Case{"ERET=A", key::Cancel, 2, "CANCEL"}}) {
    call(3, record("CLEAR_P"));
    define("FI=1,INPUT=ALPHA,LEN=3,ROW=2,COL=1,RUV=4,REQ=N");
    vekterm::set_variable(4, "old");
    script::text("x");
    script::key(c.ending);
    EXPECT_EQ(run(std::string(c.options) + ",REASON=5"), c.result) << c.options << " " << c.reason;
    EXPECT_EQ(vekterm::variable(5), c.reason);
    EXPECT_EQ(vekterm::variable(4), c.ending == key::Ok ? "X  " : "old") << "Cancel writes no value";
  }
}

TEST_F(ExecPaTest, OptionErrorsAreReportedInTheirOrderBeforeAnythingIsDrawn) {
  define("FI=2,INPUT=ALPHA,LEN=3,ROW=5,COL=1");
  struct Case {
    const char *options;
    const char *code;
  };
  for (const Case &c : {Case{"TOE=", "X3"},          Case{"TOE=Q", "X4"},
                        Case{"TOE=t", "X4"},         Case{"ERET=,", "X5"},
                        Case{"ERET=Y", "X6"},        Case{"CON= ", "X7"},
                        Case{"CON=A", "X8"},         Case{"MULT=", "XV"},
                        Case{"MULT=J", "XW"},        Case{"L=", "X9"},
                        Case{"L=X", "XA"},           Case{"CNP=", "XB"},
                        Case{"CNP=n", "XC"},         Case{"T=", "XD"},
                        Case{"HVR=", "XO"},          Case{"HVR=9", "XP"},
                        Case{"HVR=20", "XP"},        Case{"SF=", "XF"},
                        Case{"SF=21", "XG"},         Case{"SF=1", "XG"},
                        Case{"REASON=", "XX"},       Case{"REASON=20", "XY"},
                        Case{"REASON=-1", "XY"},     Case{"CON=Q,TOE=Q", "X4"},
                        Case{"REASON=99,SF=0", "XG"}}) {
    script::key(key::Enter);
    EXPECT_EQ(run(c.options), 0) << c.options;
    EXPECT_EQ(error_code(), c.code) << c.options;
    EXPECT_EQ(row(5), std::string(40, ' ')) << "nothing drawn for " << c.options;
  }
}

TEST_F(ExecPaTest, OptionTextSources) {
  define("FI=1,INPUT=ALPHA,LEN=3,ROW=5,COL=1,RUV=6");
  struct Case {
    const char *rest;
    const char *code;
    const char *top;  // row 0 when a message is expected
  };
  for (const Case &c :
       {Case{"EXEC_PA NOTHING", "X1", "Bad CVEK(X1):15EXEC_PA NOTHING"}, Case{"EXEC_PA VAR=", "X2", nullptr},
        Case{"EXEC_PA VAR=100", "X2", nullptr}, Case{"EXEC_PA HELP=0", "X2", nullptr},
        Case{"EXEC_PA HELP=10000", "X2", nullptr}, Case{"EXEC_PA HELP=", "X2", nullptr},
        Case{"EXEC_PA HELP=0078", "XN", "Bad CVEK(XN):REC=0078"}}) {
    script::key(key::Enter);
    EXPECT_EQ(command(c.rest), 0) << c.rest;
    EXPECT_EQ(error_code(), c.code) << c.rest;
    if (c.top) {
      EXPECT_EQ(row(0), row40(c.top));
    }
  }

  // A help record holds the options from its sixth character on; VAR= wins over HELP=.
  script::text("a");
  script::delay(60000);  // TOE=T of record 77: the time-out is taken as OK
  vekterm::set_variable(kOptionsVariable, "TOE=T,T=5");
  EXPECT_EQ(command("EXEC_PA HELP=77"), 0) << "ERET=S of the record";
  EXPECT_EQ(vekterm::variable(9), "OK");
  EXPECT_EQ(vekterm::variable(6), "A  ");
  script::key(key::Cancel);
  EXPECT_EQ(command("EXEC_PA HELP=77,VAR=40"), 0) << "the variable's options: ERET=N";
  EXPECT_EQ(vekterm::variable(9), "OK") << "no REASON= in the variable's options";
}

TEST_F(ExecPaTest, TimeOutCancelsUnlessTakenAsOk) {
  define("FI=1,INPUT=ALPHA,LEN=3,ROW=5,COL=1,RUV=6,REQ=N");
  EXPECT_EQ(run("T=5,REASON=9,ERET=S"), 1);
  EXPECT_EQ(vekterm::variable(9), "TIMEOUT");
  EXPECT_EQ(vekterm::variable(6), "");
  EXPECT_GE(vekterm::clock_ms(), 5000);
  EXPECT_LT(vekterm::clock_ms(), 8000);

  script::text("b");
  EXPECT_EQ(run("T=5,TOE=T,REASON=9,ERET=S"), 0);
  EXPECT_EQ(vekterm::variable(9), "OK");
  EXPECT_EQ(vekterm::variable(6), "B  ") << "the typed text is committed by the time-out";
}

TEST_F(ExecPaTest, TimeLimitHiddenInMultAndEretIsZero) {
  // "T=" is first found inside "MULT=" or "ERET=": its value is their letter, which reads as 0.
  define("FI=1,INPUT=ALPHA,LEN=3,ROW=5,COL=1,RUV=6,SCRN=30,31");
  for (const char *options : {"MULT=N,T=3,REASON=9", "ERET=N,T=3,REASON=9"}) {
    script::delay(60000);
    script::key(key::Cancel);
    EXPECT_EQ(run(options), 0);
    EXPECT_EQ(vekterm::variable(9), "CANCEL") << options;
  }
  script::delay(60000);
  script::key(key::Cancel);
  EXPECT_EQ(run("T=-4,REASON=9"), 0);
  EXPECT_EQ(vekterm::variable(9), "CANCEL") << "a negative limit waits for the operator";
}

TEST_F(ExecPaTest, RequiredFieldsAndPlaceholders) {
  vekterm::set_clock(2019, 7, 4, 13, 5, 9);
  define("FI=1,INPUT=ALPHA,LEN=4,ROW=2,COL=1,RUV=1");
  define("FI=3,INPUT=DATE_AMER,LEN=10,ROW=4,COL=1,RUV=3");
  define("FI=4,INPUT=TIME_STD,LEN=8,ROW=6,COL=1,RUV=4");
  script::key(key::Ok);  // field 1 is empty: record 8, and field 1 is edited again
  script::delay(5000);
  script::snapshot();
  script::text("zz");
  script::key(key::Ok);
  EXPECT_EQ(run(""), 1);
  ASSERT_EQ(script::snapshots().size(), 1u);
  EXPECT_EQ(vekterm::variable(1), "ZZ  ");
  EXPECT_EQ(vekterm::variable(3), "07-04-2019") << "completed from the clock";
  EXPECT_EQ(vekterm::variable(4).substr(0, 5), "13:05");
}

TEST_F(ExecPaTest, RequiredFieldMessageIsShownAndCleared) {
  define("FI=1,INPUT=ALPHA,LEN=4,ROW=2,COL=1,RUV=1");
  script::key(key::Ok);
  script::delay(100);
  script::snapshot();
  script::delay(5000);
  script::key(key::Cancel);
  run("");
  ASSERT_EQ(script::snapshots().size(), 1u);
  const auto &shown = script::snapshots()[0];
  EXPECT_EQ(shown[1], row40("__+----------------------+")) << "the pop-up covers part of the field";
  EXPECT_EQ(shown[2], row40("  |FILL IN EVERY FIELD   |"));
  EXPECT_EQ(shown[3], row40("  +----------------------+"));
  EXPECT_EQ(row(1), row40("____")) << "and is gone once it has been shown";
}

TEST_F(ExecPaTest, ClearKeyTogglesBetweenEmptyAndStoredText) {
  define("FI=1,INPUT=ALPHA,LEN=4,ROW=2,COL=1,RUV=1,PUV=7");
  vekterm::set_variable(7, "KEEP");
  // Re-define so that the prefilled value is loaded from variable 7.
  define("FI=1,INPUT=ALPHA,LEN=4,ROW=2,COL=1,RUV=1,PUV=7");
  // Snapshots a moment after each key, once the field has been drawn again.
  script::key(key::Clear);
  script::delay(1);
  script::snapshot();
  script::key(key::Clear);
  script::delay(1);
  script::snapshot();
  script::key(key::Ok);
  EXPECT_EQ(run(""), 1);
  ASSERT_EQ(script::snapshots().size(), 2u);
  EXPECT_EQ(script::snapshots()[0][1], row40("____"));
  EXPECT_EQ(script::snapshots()[1][1], row40("KEEP"));
  EXPECT_EQ(vekterm::variable(1), "KEEP");
}

TEST_F(ExecPaTest, KeptValuesWithoutCnpAreWrittenEvenIfNeverVisited) {
  two_fields();
  script::text("abc");
  script::key(key::Enter);
  script::text("7");
  script::key(key::Ok);
  run("");
  call(1);  // calls between runs leave the table alone
  script::key(key::Ok);
  EXPECT_EQ(run("CNP=N"), 1);
  EXPECT_EQ(row(4), row40("         ____")) << "not prefilled and not visited: underscores only";
  EXPECT_EQ(vekterm::variable(2), "ABC  ");
  EXPECT_EQ(vekterm::variable(3), " 7  ");

  script::key(key::Ok);
  script::delay(5000);  // after the message, once typed keys have been discarded
  script::key(key::Cancel);
  run("");  // CNP=Y by default: the values start empty, and required fields stop OK
  EXPECT_EQ(row(2).substr(9, 5), "_____");
}

TEST_F(ExecPaTest, StartFieldAndFieldSteps) {
  define("FI=2,INPUT=ALPHA,LEN=2,ROW=2,COL=1,RUV=2,REQ=N");
  define("FI=5,INPUT=ALPHA,LEN=2,ROW=3,COL=1,RUV=5,REQ=N");
  define("FI=9,INPUT=ALPHA,LEN=2,ROW=4,COL=1,RUV=9,REQ=N");
  // Starts at field 2 (field 1 undefined), steps to 5, back to 2, back again wraps to 9.
  script::text("a");
  script::key(key::Next);
  script::text("b");
  script::key(key::Previous);
  script::key(key::Previous);
  script::text("c");
  script::key(key::Ok);
  EXPECT_EQ(run(""), 1);
  EXPECT_EQ(vekterm::variable(2), "A ");
  EXPECT_EQ(vekterm::variable(5), "B ");
  EXPECT_EQ(vekterm::variable(9), "C ");

  script::text("d");
  script::key(key::Ok);
  EXPECT_EQ(run("SF=9"), 1);
  EXPECT_EQ(vekterm::variable(9), "D ");
  EXPECT_EQ(vekterm::variable(2), "  ");
}

TEST_F(ExecPaTest, ScansCompleteAPanelWhoseRequiredFieldsHaveDataIdentifiers) {
  define("FI=1,INPUT=AI,LEN=6,ROW=2,COL=1,RUV=1,DI=P");
  define("FI=2,INPUT=AINUM,LEN=4,ROW=3,COL=1,RUV=2,DI=Q");
  // Scans waiting when an edit starts are dropped: each comes while its edit runs.
  script::delay(10);
  script::scan("Q12");
  script::delay(10);
  script::scan("PABCD");
  EXPECT_EQ(run("REASON=9"), 1) << "no OK key needed";
  EXPECT_EQ(vekterm::variable(1), "ABCD  ");
  EXPECT_EQ(vekterm::variable(2), "12  ");
  EXPECT_EQ(vekterm::variable(9), "OK");
}

TEST_F(ExecPaTest, ResultVariableTooSmallIsReportedAndTheOthersAreStillWritten) {
  two_fields();
  vekterm::set_variable_capacity(2, 3);
  script::text("abcde");
  script::key(key::Enter);
  script::text("1");
  script::key(key::Ok);
  script::delay(1000);      // keys typed before the panel is accepted are discarded
  script::key(key::Enter);  // for the message
  EXPECT_EQ(run(""), 1);
  EXPECT_EQ(row(0), row40("Bad CVEK(XI):VAR=2"));
  EXPECT_EQ(vekterm::variable(3), " 1  ");
}

TEST_F(ExecPaTest, MultiScreenPanelShowsEachFieldsScreen) {
  define("FI=1,INPUT=ALPHA,LEN=3,ROW=10,COL=1,RUV=1,SCRN=30,31");
  define("FI=2,INPUT=ALPHA,LEN=3,ROW=10,COL=1,RUV=2,SCRN=40,40");
  script::delay(1);
  script::snapshot();
  script::text("a");
  script::key(key::Enter);
  script::delay(1);
  script::snapshot();
  script::text("b");
  script::key(key::Ok);
  EXPECT_EQ(run("MULT=Y"), 1);
  ASSERT_EQ(script::snapshots().size(), 2u);
  EXPECT_EQ(script::snapshots()[0][0], row40("FIRST SCREEN"));
  EXPECT_EQ(script::snapshots()[0][1], row40("OF FIELD ONE"));
  EXPECT_EQ(script::snapshots()[0][9], row40("___"));
  EXPECT_EQ(script::snapshots()[1][0], row40("SECOND SCREEN"));
  EXPECT_EQ(script::snapshots()[1][1], std::string(40, ' '));
  EXPECT_EQ(vekterm::variable(1), "A  ");
  EXPECT_EQ(vekterm::variable(2), "B  ");
}

TEST_F(ExecPaTest, NoDefinedFieldIsAnError) {
  script::key(key::Enter);
  EXPECT_EQ(run(""), 0);
  EXPECT_EQ(error_code(), "XH");
}

}  // namespace
}  // namespace vektest
