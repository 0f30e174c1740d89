// The field trace that a panel shows while the trace is switched on (reason 4), and through it what
// SET_FIE stored for the quirks of its keywords.
#include "scenario.h"

namespace vektest {
namespace {

// The labels of trace rows 1 to 19; a row's value is written from column 16 over the label's end.
const char *const kLabels[] = {
    "field index     ",    "field defined   ",    "inputs allowd   ",   "field mode      ",
    "field length    ",    "field signed    ",    "field precisn   ",   "field col       ",
    "dp style        ",    "prefilled ?     ",    "Edit?           ",   "ver file name           ",
    "ver type           ", "ver mandatory   ",    "val concate'd   ",   "Val result      ",
    "Data ID            ", "Help start         ", "Help end           "};

class TraceTest : public Scenario {
 protected:
  void SetUp() override {
    Scenario::SetUp();
    script::delay(1000);  // the first SET_FIE shows the start-up banner: let its wait run out
    call(4);
  }

  // Defines the one field of a panel (on row 0, outside the trace), runs the panel with the trace on
  // and cancels it at the first key; returns the screen as the trace left it.
  std::vector<std::string> trace(std::string_view definition) {
    command("CLEAR_P");
    vekterm::set_variable(30, definition);
    command("SET_FIE VAR=30");
    EXPECT_NE(row(0).substr(0, 9), "Bad CVEK(") << definition << " was refused: " << row(0);
    return cancelled_panel();
  }

  static std::string shown(int row, std::string_view value) {
    std::string out(kLabels[row - 1]);
    out += '\0';
    out.replace(16, value.size(), value);
    return row40(out);
  }
};

TEST_F(TraceTest, EveryRowShowsItsAttribute) {
  const auto rows = trace("FI=3,INPUT=NUM,LEN=-8.2,ROW=1,COL=10,VERT=e,VERF=B_LOT,EDIT=N,DI=AB,HELP=120,125");
  const char *const values[] = {"2", "1",     "3", "V", "8", "1", "2",  "9",   ".",  "0",
                                "0", "B_LOT", "e", "0", "0", "",  "AB", "120", "125"};
  for (int r = 1; r < 20; ++r) {
    if (r == 16) continue;  // the validation letter belongs to the panel run
    EXPECT_EQ(rows[static_cast<std::size_t>(r)], shown(r, values[r - 1])) << "row " << r;
  }
  EXPECT_EQ(rows[16].substr(0, 16), kLabels[15]);
  EXPECT_EQ(rows[0], row40("         ________")) << "row 0 holds the field, not the trace";
}

// The definition after "FI=1,ROW=1,COL=1,", a trace row and the value it shows.
TEST_F(TraceTest, KeywordQuirksAsStored) {
  // clang-format off
  const std::tuple<const char *, int, const char *> cases[] = {
      {"INPUT=AI,LEN=8,2", 7, "-1"}, {"INPUT=AI,LEN=5.", 7, "0"}, {"INPUT=AI,LEN=-6", 6, "1"},
      {"INPUT=AI,LEN=-6", 7, "-1"}, {"INPUT=num,LEN=3", 3, "3"}, {"INPUT=AI,LEN=3,KEEPDI=Y,DI=77", 17, "Y"},
      {"INPUT=AI,LEN=3,DI=77,MANDI=N", 17, "77"}, {"INPUT=AI,LEN=3,VERF=B_LIST", 13, "I"},
      {"INPUT=AI,LEN=3,VERF=B_LIST", 14, "1"}, {"INPUT=AI,LEN=3,VERF=B_LIST,VERT=e", 13, "e"},
      {"INPUT=AI,LEN=3,VERT=F,12,13", 13, "F"}, {"INPUT=AI,LEN=3,REQ=YES,MODE=F", 4, "F"},
      {"INPUT=AI,LEN=3,HELP=30,20", 18, "30"}, {"INPUT=AI,LEN=3,PUV=5", 10, "1"}};
  // clang-format on
  for (const auto &[definition, r, value] : cases) {
    const auto rows = trace(std::string("FI=1,ROW=1,COL=1,") + definition);
    EXPECT_EQ(rows[static_cast<std::size_t>(r)], shown(r, value)) << definition;
  }
}

}  // namespace
}  // namespace vektest
