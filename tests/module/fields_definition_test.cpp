// SET_FIE as the host sends it: where the definition text comes from, and every fault it can show;
// and the faults of SET_HEL.
#include "scenario.h"

namespace vektest {
namespace {

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

  // Sends a SET_FIE record, with a key for the fault's message if `fault`; returns row 0.
  std::string send(std::string_view rest, bool fault) {
    paint(0, 0, kBlank);
    if (fault) script::key(key::Enter);
    EXPECT_EQ(command(rest), 0) << rest;
    EXPECT_EQ(script::pending(), 0u) << rest << ": the message's key";
    return row(0);
  }

  // The same for a definition text in a user variable.
  std::string define(std::string_view definition, bool fault) {
    vekterm::set_variable(30, definition);
    return send("SET_FIE VAR=30", fault);
  }
};

using Fault = std::pair<const char *, const char *>;  // definition text or whole record, what row 0 shows

TEST_F(DefinitionTest, FaultsOfTheSourceAndTheFieldNumberShowTheirExcerpt) {
  // clang-format off
  const Fault faults[] = {
      {"SET_FIE NOTHING", "Bad CVEK(Z1):15SET_FIE NOTHING"},
      {"SET_FIE var=30", "Bad CVEK(Z1):14SET_FIE var=30"}, {"SET_FIE VAR=", "Bad CVEK(Z2):12SET_FIE VAR="},
      {"SET_FIE VAR=,HELP=5", "Bad CVEK(Z2):19SET_FIE VAR=,HEL"},
      {"SET_FIE VAR=100", "Bad CVEK(Z2):15SET_FIE VAR=100"},
      {"SET_FIE HELP=0", "Bad CVEK(Z2):14SET_FIE HELP=0"},
      {"SET_FIE HELP=10000", "Bad CVEK(Z2):18SET_FIE HELP=100"},
      {"SET_FIE HELP= ", "Bad CVEK(Z2):14SET_FIE HELP="}, {"SET_FIE HELP=0007", "Bad CVEK(Zj):REC=0007"},
      {"SET_FIE HELP=100", "Bad CVEK(Z3):16SET_FIE HELP=100"}, {"FI=", "Bad CVEK(Z4):14SET_FIE VAR=30"},
      {"INPUT=AI", "Bad CVEK(Z3):14SET_FIE VAR=30"}, {"FI=21", "Bad CVEK(Z5):FI=21"},
      {"FI=-3", "Bad CVEK(Z5):FI=-3"}, {"FI=,INPUT=AI", "Bad CVEK(Z5):FI=0"},
      // A missing position shows the record; the first fault wins.
      {"FI=2,INPUT=AI,LEN=5,COL=3", "Bad CVEK(ZC):14SET_FIE VAR=30"}, {"FI=2,INPUT=AI,LEN=5,ROW=3", "Bad CVEK(ZF):14SET_FIE VAR=30"},
      {"DI=,LEN=0,FI=2,INPUT=X", "Bad CVEK(Z8):FI=2"}, {"FI=2,INPUT=AI,LEN=5,ROW=3,COL=3,DI=ABCDEF,VERT=Q", "Bad CVEK(ZO):FI=2"},
      {"SET_HEL file=A.VAL", "Bad CVEK(Zl):18SET_HEL file=A.V"}, {"SET_HEL NAME=A.VAL", "Bad CVEK(Zl):18SET_HEL NAME=A.V"},
      {"SET_HEL FILE=", "Bad CVEK(Zk):13SET_HEL FILE="}, {"SET_HEL FILE= ,=,", "Bad CVEK(Zk):17SET_HEL FILE= ,="},
  };
  // clang-format on
  for (const auto &[text, shown] : faults) {
    const std::string_view r = text;
    EXPECT_EQ(r.starts_with("SET_") ? send(r, true) : define(r, true), row40(shown)) << text;
  }
  EXPECT_EQ(row(1), row40("Press any key to continue"));
}

TEST_F(DefinitionTest, FaultsOfTheItemsShowTheFieldNumber) {
  const std::string base = "FI=12,INPUT=AI,LEN=5,ROW=2,COL=3,";  // before the texts not starting "FI="
  // clang-format off
  const Fault faults[] = {
      {"FI=12", "Z6"}, {"FI=12,INPUT=", "Z7"}, {"FI=12,INPUT=NUMBER", "Z8"}, {"FI=12,INPUT=num", "Z9"},
      {"FI=12,INPUT=AI,LEN=", "ZA"}, {"FI=12,INPUT=AI,LEN=0", "ZB"}, {"FI=12,INPUT=AI,LEN=-40.2", "ZB"},
      {"FI=12,INPUT=AI,LEN=.5", "ZB"}, {"FI=12,INPUT=AI,LEN=5,ROW=", "ZD"},
      {"FI=12,INPUT=AI,LEN=5,ROW=256", "ZE"}, {"FI=12,INPUT=AI,LEN=5,ROW=21", "ZE"},
      {"FI=12,INPUT=AI,LEN=5,ROW=2,COL=", "ZG"}, {"FI=12,INPUT=AI,LEN=5,ROW=2,COL=40", "ZH"},
      {"FI=12,INPUT=AI,LEN=5,ROW=2,COL=0", "ZH"}, {"VERT=", "ZI"}, {"VERT=s", "ZO"}, {"VERT=T123", "ZJ"},
      {"VERT=F", "ZK"}, {"VERT=F,0", "ZL"}, {"VERT=R,5", "ZM"}, {"VERT=S 0,5", "ZL"},
      {"VERT=R,5,10000", "ZN"}, {"MODE=", "ZP"}, {"MODE=f", "ZQ"}, {"REQ=", "ZR"}, {"REQ=yes", "ZS"},
      {"REQ=,EDIT=Y", "ZS"}, {"KEEPDI=", "ZT"}, {"KEEPDI=X", "ZU"}, {"MANDI=", "Zq"}, {"MANDI=0", "Zr"},
      {"EDIT=", "ZV"}, {"EDIT=y", "ZW"}, {"RUV=", "ZX"}, {"RUV=20", "ZY"}, {"RUV=0", "ZY"}, {"PUV=", "ZZ"},
      {"PUV=100", "Za"}, {"VERF=", "Zb"}, {"VERF=ABCDEFGHI", "Zc"}, {"HELP=", "Zd"}, {"HELP=0,5", "Ze"},
      {"HELP=5", "Zf"}, {"HELP=5,10000", "Zg"}, {"SCRN=", "Zm"}, {"SCRN=10000,1", "Zn"}, {"SCRN=4", "Zo"},
      {"SCRN=4,0", "Zp"}, {"DI=", "Zh"}, {"DI=ABCDE", "Zi"},
  };
  // clang-format on
  for (const auto &[text, code] : faults) {
    const std::string definition = std::string_view(text).starts_with("FI=") ? text : base + text;
    EXPECT_EQ(define(definition, true), row40(std::string("Bad CVEK(") + code + "):FI=12")) << text;
  }
}

TEST_F(DefinitionTest, OnlyAcceptedFieldsTakePartInThePanel) {
  define("FI=1,INPUT=AI,LEN=4,ROW=2,COL=1,REQ=N", false);
  define("FI=4,INPUT=AI,LEN=6,ROW=7,COL=1,REQ=N", false);
  EXPECT_EQ(send("SET_FIE HELP=5", false), kBlank) << "field 2 from a help record";
  auto shown = cancelled_panel();
  EXPECT_EQ(shown[1], row40("____"));
  EXPECT_EQ(shown[3], row40("___"));
  EXPECT_EQ(shown[6], row40("______"));

  define("FI=4,INPUT=AI,LEN=6,ROW=7,COL=1,REQ=N,EDIT=X", true);
  send("SET_FIE HELP=6", true);
  shown = cancelled_panel();
  EXPECT_EQ(shown[1], row40("____"));
  EXPECT_EQ(shown[3], kBlank) << "a failed definition takes its field out of the panel";
  EXPECT_EQ(shown[6], kBlank);

  EXPECT_EQ(command("CLEAR_P"), 0);
  define("FI=3,INPUT=AI,LEN=2,ROW=257,COL=39,REQ=N", false);
  shown = cancelled_panel();
  EXPECT_EQ(shown[0], std::string(38, ' ') + "__") << "row 257 is row 1: only its low 8 bits count";
  EXPECT_EQ(shown[1], kBlank);
}

// SET_HEL and CLEAR_P: where SET_FIE HELP= reads its record.
TEST_F(DefinitionTest, DefinitionsComeFromTheNamedHelpFileAsWritten) {
  vekterm::add_file("HELP.VAL", vekterm::make_image({"0005 FI=1"}));
  vekterm::add_file("FIELDS.DAT", vekterm::make_image({"0005 FI=2"}));
  vekterm::add_file("ABCDEFGHIJKLMNO", vekterm::make_image({"0005 FI=3"}));
  // A record (the built-in name before any SET_HEL) and whether it is refused, and what SET_FIE HELP=5
  // shows then.
  // clang-format off
  const std::tuple<const char *, bool, const char *> cases[] = {
      {"CLEAR_P", false, "Bad CVEK(Z6):FI=1"}, {"SET_HEL FILE= FIELDS.DAT", false, "Bad CVEK(Z6):FI=2"},
      {"SET_HEL FILE", true, "Bad CVEK(Z6):FI=2"}, {"CLEAR_P", false, "Bad CVEK(Z6):FI=2"},
      {"SET_HEL FILE=help.val", false, "Bad CVEK(Zj):REC=5"},
      {"SET_HEL FILE=ABCDEFGHIJKLMNOP", false, "Bad CVEK(Z6):FI=3"},
      {"SET_HEL FILE=HELP.VAL,X", false, "Bad CVEK(Z6):FI=1"}};
  // clang-format on
  for (const auto &[set_hel, refused, shown] : cases) {
    EXPECT_EQ(send(set_hel, refused).substr(0, 9), refused ? "Bad CVEK(" : kBlank.substr(0, 9)) << set_hel;
    EXPECT_EQ(send("SET_FIE HELP=5", true), row40(shown)) << set_hel;
  }
}

}  // namespace
}  // namespace vektest
