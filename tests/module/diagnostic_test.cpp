// The keyboard diagnostic screen (reason 5): test texts, cursor steps, clock rows and key codes.
#include "scenario.h"

namespace vektest {
namespace {

using DiagnosticTest = Scenario;

TEST_F(DiagnosticTest, StepsThenKeyCodesUntilEnter) {
  // Each of the three pauses lets 200 ms pass; a snapshot due within a pause shows the step before it.
  script::snapshot();
  script::delay(201);
  script::snapshot();
  script::delay(200);
  script::snapshot();
  for (std::uint16_t code : {std::uint16_t{'a'}, key::Cancel}) {
    script::key(code);
    script::snapshot();
  }
  script::key(key::Help);
  script::key(key::Enter);
  EXPECT_EQ(call(5), 0);

  const auto &shots = script::snapshots();
  ASSERT_EQ(shots.size(), 5u);
  EXPECT_EQ(shots[0][4] + shots[0][5], row40("Cursor @5,5") + row40(""));
  EXPECT_EQ(shots[1][4] + shots[1][5], row40("Cursor @5,5 after text written") + row40("ABCDEFGHIJ"));
  EXPECT_EQ(shots[2][4] + shots[2][0], row40("Cursor @5,10") + row40("")) << "no key line before a key";
  EXPECT_EQ(shots[3][0], row40("Key code = 0x61"));
  EXPECT_EQ(shots[4][0], row40("Key code = 0x100")) << "Cancel is only shown";
  EXPECT_EQ(row(0), row40("Key code = 0xD  0")) << "a shorter line leaves the end of a longer one";
  EXPECT_EQ(vekterm::cursor_type(), 4);
  EXPECT_EQ(vekterm::cursor_row() * 100 + vekterm::cursor_column(), 510);
}

TEST_F(DiagnosticTest, ClockRowsAreReadAfterThePauses) {
  command("V_DELAY 9");  // 480 ms, so that the pauses cross a second of the clock set now
  vekterm::set_clock(2024, 12, 31, 23, 59, 59);
  script::key(key::Enter);
  call(5);
  EXPECT_EQ(row(1) + row(2), row40("000000") + row40("250101"));
}

}  // namespace
}  // namespace vektest
