// The field trace that a panel shows while the trace is switched on (reason 4), and through it what
// SET_FIE stored for the quirks of its keywords.
#include "scenario.h"

namespace vektest {
namespace {

const std::string kBlank(40, ' ');

class TraceTest : public Scenario {
 protected:
  void SetUp() override {
    Scenario::SetUp();
    script::delay(1000);  // the first SET_FIE shows the start-up banner: let its wait run out
  }

  // Defines the one field of a panel, runs the panel with the trace on and cancels it at the first
  // key; returns the screen as the trace left it. The field lies on row 0, outside the trace.
  std::vector<std::string> trace(std::string_view definition) {
    command("CLEAR_P");
    vekterm::set_variable(30, definition);
    command("SET_FIE VAR=30");
    EXPECT_NE(row(0).substr(0, 9), "Bad CVEK(") << definition << " was refused: " << row(0);
    for (int r = 0; r < vekterm::kRows; ++r)
      paint(r, 0, kBlank);
    script::key(key::Cancel);
    vekterm::set_variable(40, "REASON=9");
    command("EXEC_PA VAR=40");
    return screen();
  }

  // A trace row: the label, its NUL cell, then the value written from column 16 over both.
  static std::string shown(std::string_view label, std::string_view value) {
    std::string out(label);
    out += '\0';
    out.replace(16, value.size(), value);
    return row40(out);
  }
};

TEST_F(TraceTest, EveryRowShowsItsAttribute) {
  call(4);
  const auto rows = trace("FI=3,INPUT=NUM,LEN=-8.2,ROW=1,COL=10,VERT=e,VERF=B_LOT,EDIT=N,DI=AB,HELP=120,125");
  const std::vector<std::string> expected = {
      shown("field index     ", "2"),
      shown("field defined   ", "1"),
      shown("inputs allowd   ", "3"),
      shown("field mode      ", "V"),
      shown("field length    ", "8"),
      shown("field signed    ", "1"),
      shown("field precisn   ", "2"),
      shown("field col       ", "9"),
      shown("dp style        ", "."),
      shown("prefilled ?     ", "0"),
      shown("Edit?           ", "0"),
      shown("ver file name           ", "B_LOT"),
      shown("ver type           ", "e"),
      shown("ver mandatory   ", "0"),
      shown("val concate'd   ", "0"),
      rows[16],  // the validation letter belongs to the panel run
      shown("Data ID            ", "AB"),
      shown("Help start         ", "120"),
      shown("Help end           ", "125"),
  };
  for (std::size_t r = 1; r < 20; ++r)
    EXPECT_EQ(rows[r], expected[r - 1]) << "row " << r;
  EXPECT_EQ(rows[16].substr(0, 16), "Val result      ");
  EXPECT_EQ(rows[0], row40("         ________")) << "row 0 holds the field, not the trace";
}

TEST_F(TraceTest, KeywordQuirksAsStored) {
  call(4);
  struct Case {
    const char *definition;
    int row;
    const char *label;
    const char *value;
  };
  for (const Case &c : {
           Case{"FI=1,INPUT=AI,ROW=1,COL=1,LEN=8,2", 7, "field precisn   ", "-1"},
           Case{"FI=1,INPUT=AI,ROW=1,COL=1,LEN=5.", 7, "field precisn   ", "0"},
           Case{"FI=1,INPUT=AI,ROW=1,COL=1,LEN=-6", 6, "field signed    ", "1"},
           Case{"FI=1,INPUT=AI,ROW=1,COL=1,LEN=-6", 7, "field precisn   ", "-1"},
           Case{"FI=1,INPUT=num,ROW=1,COL=1,LEN=3", 3, "inputs allowd   ", "3"},
           Case{"FI=1,INPUT=AI,ROW=1,COL=1,LEN=3,KEEPDI=Y,DI=77", 17, "Data ID            ", "Y"},
           Case{"FI=1,INPUT=AI,ROW=1,COL=1,LEN=3,DI=77,MANDI=N", 17, "Data ID            ", "77"},
           Case{"FI=1,INPUT=AI,ROW=1,COL=1,LEN=3,VERF=B_LIST", 13, "ver type           ", "I"},
           Case{"FI=1,INPUT=AI,ROW=1,COL=1,LEN=3,VERF=B_LIST", 14, "ver mandatory   ", "1"},
           Case{"FI=1,INPUT=AI,ROW=1,COL=1,LEN=3,VERF=B_LIST,VERT=e", 13, "ver type           ", "e"},
           Case{"FI=1,INPUT=AI,ROW=1,COL=1,LEN=3,VERT=F,12,13", 13, "ver type           ", "F"},
           Case{"FI=1,INPUT=AI,ROW=1,COL=1,LEN=3,REQ=YES,MODE=F", 4, "field mode      ", "F"},
           Case{"FI=1,INPUT=AI,ROW=1,COL=1,LEN=3,HELP=30,20", 18, "Help start         ", "30"},
           Case{"FI=1,INPUT=AI,ROW=1,COL=1,LEN=3,PUV=5", 10, "prefilled ?     ", "1"},
       }) {
    const auto rows = trace(c.definition);
    EXPECT_EQ(rows[static_cast<std::size_t>(c.row)], shown(c.label, c.value)) << c.definition;
  }
}

}  // namespace
}  // namespace vektest
