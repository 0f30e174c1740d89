// SET_FIE as the host sends it: where the definition text comes from, and every fault it can show.
#include "scenario.h"

namespace vektest {
namespace {

constexpr int kDefinitionVariable = 30;
const std::string kBlank(40, ' ');

class DefinitionTest : public Scenario {
 protected:
  void SetUp() override {
    Scenario::SetUp();
    vekterm::add_file("HELP.VAL", vekterm::make_image({"0005 FI=2,INPUT=AI,LEN=3,ROW=4,COL=1",
                                                       "0006 FI=2,INPUT=AI", "0100 INPUT=AI"}));
    // The first SET_FIE shows the start-up banner; have it shown, so that its wait takes no key.
    script::delay(1000);
    script::key(key::Enter);
    command("SET_FIE");
  }

  // Sends a SET_FIE record and returns what row 0 then shows: a fault's message, or blanks. A fault
  // waits for a key, scripted here when `fault` says one is expected.
  std::string send(std::string_view rest, bool fault) {
    paint(0, 0, kBlank);
    if (fault) script::key(key::Enter);
    EXPECT_EQ(command(rest), 0) << rest;
    EXPECT_EQ(script::pending(), 0u) << rest << ": the message's key";
    return row(0);
  }

  // The same for a definition text held in a user variable.
  std::string define(std::string_view definition, bool fault) {
    vekterm::set_variable(kDefinitionVariable, definition);
    return send("SET_FIE VAR=30", fault);
  }

  // Runs a panel of the defined fields and cancels it at once; returns the screen as the panel left it.
  std::vector<std::string> panel() {
    for (int r = 0; r < vekterm::kRows; ++r)
      paint(r, 0, kBlank);
    script::key(key::Cancel);
    vekterm::set_variable(40, "REASON=9");
    command("EXEC_PA VAR=40");
    return screen();
  }
};

struct Fault {
  const char *text;  // definition text, or a whole record when it starts with SET_FIE
  const char *shown;
};

TEST_F(DefinitionTest, FaultsOfTheSourceAndTheFieldNumberShowTheirExcerpt) {
  for (const Fault &c : {
           Fault{"SET_FIE NOTHING", "Bad CVEK(Z1):15SET_FIE NOTHING"},
           Fault{"SET_FIE var=30", "Bad CVEK(Z1):14SET_FIE var=30"},
           Fault{"SET_FIE VAR=", "Bad CVEK(Z2):12SET_FIE VAR="},
           Fault{"SET_FIE VAR=,HELP=5", "Bad CVEK(Z2):19SET_FIE VAR=,HEL"},
           Fault{"SET_FIE VAR=100", "Bad CVEK(Z2):15SET_FIE VAR=100"},
           Fault{"SET_FIE HELP=0", "Bad CVEK(Z2):14SET_FIE HELP=0"},
           Fault{"SET_FIE HELP=10000", "Bad CVEK(Z2):18SET_FIE HELP=100"},
           Fault{"SET_FIE HELP= ", "Bad CVEK(Z2):14SET_FIE HELP="},
           Fault{"SET_FIE HELP=0007", "Bad CVEK(Zj):REC=0007"},
           Fault{"SET_FIE HELP=100", "Bad CVEK(Z3):16SET_FIE HELP=100"},
           Fault{"FI=", "Bad CVEK(Z4):14SET_FIE VAR=30"},
           Fault{"INPUT=AI", "Bad CVEK(Z3):14SET_FIE VAR=30"},
           Fault{"fi=2", "Bad CVEK(Z3):14SET_FIE VAR=30"},
           Fault{"FI=21", "Bad CVEK(Z5):FI=21"},
           Fault{"FI=-3", "Bad CVEK(Z5):FI=-3"},
           Fault{"FI=,INPUT=AI", "Bad CVEK(Z5):FI=0"},
           Fault{"FI=A1", "Bad CVEK(Z5):FI=0"},
       }) {
    const std::string text = c.text;
    const std::string shown = text.starts_with("SET_FIE") ? send(text, true) : define(text, true);
    EXPECT_EQ(shown, row40(c.shown)) << text;
  }
  EXPECT_EQ(row(1), row40("Press any key to continue"));
}

TEST_F(DefinitionTest, FaultsOfTheItemsShowTheFieldNumber) {
  const std::string base = "FI=12,INPUT=AI,LEN=5,ROW=2,COL=3,";
  for (const Fault &c : {
           Fault{"FI=12", "Z6"},
           Fault{"FI=12,INPUT=", "Z7"},
           Fault{"FI=12,INPUT=NUMBER", "Z8"},
           Fault{"FI=12,INPUT=num", "Z9"},
           Fault{"FI=12,INPUT=AI,LEN=", "ZA"},
           Fault{"FI=12,INPUT=AI,LEN=0", "ZB"},
           Fault{"FI=12,INPUT=AI,LEN=-40.2", "ZB"},
           Fault{"FI=12,INPUT=AI,LEN=.5", "ZB"},
           Fault{"FI=12,INPUT=AI,LEN=5,ROW=", "ZD"},
           Fault{"FI=12,INPUT=AI,LEN=5,ROW=256", "ZE"},
           Fault{"FI=12,INPUT=AI,LEN=5,ROW=21", "ZE"},
           Fault{"FI=12,INPUT=AI,LEN=5,ROW=2,COL=", "ZG"},
           Fault{"FI=12,INPUT=AI,LEN=5,ROW=2,COL=40", "ZH"},
           Fault{"FI=12,INPUT=AI,LEN=5,ROW=2,COL=0", "ZH"},
       }) {
    EXPECT_EQ(define(c.text, true), row40(std::string("Bad CVEK(") + c.shown + "):FI=12")) << c.text;
  }
  for (const Fault &c : {
           Fault{"VERT=", "ZI"},       Fault{"VERT=s", "ZO"},
           Fault{"VERT=T123", "ZJ"},   Fault{"VERT=F", "ZK"},
           Fault{"VERT=F,0", "ZL"},    Fault{"VERT=R,5", "ZM"},
           Fault{"VERT=S 0,5", "ZL"},  Fault{"VERT=R,5,10000", "ZN"},
           Fault{"MODE=", "ZP"},       Fault{"MODE=f", "ZQ"},
           Fault{"REQ=", "ZR"},        Fault{"REQ=yes", "ZS"},
           Fault{"REQ=,EDIT=Y", "ZS"}, Fault{"KEEPDI=", "ZT"},
           Fault{"KEEPDI=X", "ZU"},    Fault{"MANDI=", "Zq"},
           Fault{"MANDI=0", "Zr"},     Fault{"EDIT=", "ZV"},
           Fault{"EDIT=y", "ZW"},      Fault{"RUV=", "ZX"},
           Fault{"RUV=20", "ZY"},      Fault{"RUV=0", "ZY"},
           Fault{"PUV=", "ZZ"},        Fault{"PUV=100", "Za"},
           Fault{"VERF=", "Zb"},       Fault{"VERF=ABCDEFGHI", "Zc"},
           Fault{"HELP=", "Zd"},       Fault{"HELP=0,5", "Ze"},
           Fault{"HELP=5", "Zf"},      Fault{"HELP=5,10000", "Zg"},
           Fault{"SCRN=", "Zm"},       Fault{"SCRN=10000,1", "Zn"},
           Fault{"SCRN=4", "Zo"},      Fault{"SCRN=4,0", "Zp"},
           Fault{"DI=", "Zh"},         Fault{"DI=ABCDE", "Zi"},
       }) {
    EXPECT_EQ(define(base + c.text, true), row40(std::string("Bad CVEK(") + c.shown + "):FI=12")) << c.text;
  }
}

TEST_F(DefinitionTest, MissingPositionShowsTheRecordAndTheFirstFaultWins) {
  EXPECT_EQ(define("FI=2,INPUT=AI,LEN=5,COL=3", true), row40("Bad CVEK(ZC):14SET_FIE VAR=30"));
  EXPECT_EQ(define("FI=2,INPUT=AI,LEN=5,ROW=3", true), row40("Bad CVEK(ZF):14SET_FIE VAR=30"));
  EXPECT_EQ(define("DI=,LEN=0,FI=2,INPUT=X", true), row40("Bad CVEK(Z8):FI=2"));
  EXPECT_EQ(define("FI=2,INPUT=AI,LEN=5,ROW=3,COL=3,DI=ABCDEF,VERT=Q", true), row40("Bad CVEK(ZO):FI=2"));
}

TEST_F(DefinitionTest, OnlyAcceptedFieldsTakePartInThePanel) {
  define("FI=1,INPUT=AI,LEN=4,ROW=2,COL=1,REQ=N", false);
  define("FI=4,INPUT=AI,LEN=6,ROW=7,COL=1,REQ=N", false);
  EXPECT_EQ(send("SET_FIE HELP=5", false), kBlank) << "field 2 from a help record";
  auto shown = panel();
  EXPECT_EQ(shown[1], row40("____"));
  EXPECT_EQ(shown[3], row40("___"));
  EXPECT_EQ(shown[6], row40("______"));

  define("FI=4,INPUT=AI,LEN=6,ROW=7,COL=1,REQ=N,EDIT=X", true);
  send("SET_FIE HELP=6", true);
  shown = panel();
  EXPECT_EQ(shown[1], row40("____"));
  EXPECT_EQ(shown[3], kBlank) << "a failed definition takes its field out of the panel";
  EXPECT_EQ(shown[6], kBlank);

  EXPECT_EQ(command("CLEAR_P"), 0);
  define("FI=3,INPUT=AI,LEN=2,ROW=257,COL=39,REQ=N", false);
  shown = panel();
  EXPECT_EQ(shown[0], std::string(38, ' ') + "__") << "row 257 is row 1: only its low 8 bits count";
  EXPECT_EQ(shown[1], kBlank);
}

}  // namespace
}  // namespace vektest
