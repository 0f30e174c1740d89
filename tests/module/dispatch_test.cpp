// The entry point as the host sees it: reasons, the command table, the banner, the bad-call message,
// and the keyboard diagnostic screen (reason 5): test texts, cursor steps, clock rows and key codes.
#include "scenario.h"

namespace vektest {
namespace {

class DispatchTest : public Scenario {
 protected:
  void SetUp() override {
    Scenario::SetUp();
    // A field definition that SET_FIE accepts without a message.
    vekterm::set_variable(1, "FI=1,INPUT=ALPHA,LEN=3,ROW=20,COL=1");
  }
};

const std::string kPressAnyKey = row40("Press any key to continue");

// An unknown command (a name shorter than seven characters is one) shows M1 with the first 18
// characters of the record over a cleared top row, and waits for any key, Cancel included, which it
// takes; the row below tells the operator so, and the rest of the screen stays: nothing is drawn after
// the fault. So do other bad calls.
TEST_F(DispatchTest, UnknownCommandShowsM1WithTheRecordAndWaitsForAKey) {
  // clang-format off
  const std::tuple<std::string, std::uint16_t, const char *> cases[] = {
      {record("SHUTDWN now"), 'x', "Bad CVEK(M1):11SHUTDWN now"}, {"0", key::Enter, "Bad CVEK(M1):0"},
      {record("NOTHERE 0123456789abcdefghij"), key::Cancel, "Bad CVEK(M1):28NOTHERE 01234567"},
      {record("POPUPW"), key::Enter, "Bad CVEK(M1):06POPUPW"}, {"", key::Enter, "Bad CVEK(M1):"},
      {"40SET_HEL", key::Enter, "Bad CVEK(Zl):40SET_HEL"},  // a length beyond the record
      {record("POPUPWN C     17       "), key::Enter, "Bad CVEK(P3):23POPUPWN C     17"},
      {record("POPUPWN C     00       "), key::Enter, "Bad CVEK(P3):23POPUPWN C     00"},
      {record("POPUPWN C     -1       "), key::Enter, "Bad CVEK(P3):23POPUPWN C     -1"},
      {record("POPUPWN C              "), key::Enter, "Bad CVEK(P3):23POPUPWN C"},
      {record("POPUPWN C     03      "), key::Enter, "Bad CVEK(P2):22POPUPWN C     03"},  // an open needs 23
      {"08POPUPWN R", key::Enter, "Bad CVEK(P4):08POPUPWN R"},  // the length digits, not the text, decide
      {"x9POPUPWN C     03       ", key::Enter, "Bad CVEK(P2):x9POPUPWN C     03"},  // not a number: 0
  };
  // clang-format on
  for (const auto &[text, ending, shown] : cases) {
    for (int r = 0; r < 3; ++r)
      paint(r, 0, std::string(40, '#'));
    const auto start = vekterm::clock_ms();
    script::delay(500);
    script::key(ending);
    EXPECT_EQ(call(3, text), 0) << text;
    EXPECT_EQ(row(0), row40(shown));
    EXPECT_EQ(row(1), kPressAnyKey);
    EXPECT_EQ(row(2), std::string(40, '#'));
    EXPECT_EQ(vekterm::clock_ms() - start, 500) << "the message stays until the key arrives";
    EXPECT_EQ(script::pending(), 0u) << "the key that ends the message is consumed";
  }
}

TEST_F(DispatchTest, ReasonsOtherThanCommandsLeaveTheScreenAlone) {
  paint_pattern();
  const auto before = screen();
  for (int reason : {0, 1, 2, 4, 4, 6, -1, 1000})
    EXPECT_EQ(call(reason, "23POPUPWN C     03"), 0) << "reason " << reason;
  EXPECT_EQ(screen(), before);
}

// The banner shows in a window on the first SET_FIE, and again after reason 0 or 2.
TEST_F(DispatchTest, BannerShowsOnceInAWindowThenTheScreenComesBack) {
  paint_pattern();
  const auto before = screen();
  script::delay(100);
  script::snapshot();
  EXPECT_EQ(command("SET_FIE VAR=1"), 0);
  ASSERT_EQ(script::snapshots().size(), 1u);
  const std::string box[] = {"+----------------------+", "|VEK Panel Driver 1.43 |",
                             "|Copyright (c)         |", "|2026, vekpanel team.  |",
                             "+----------------------+"};
  for (std::size_t r = 0; r < 7; ++r)
    EXPECT_EQ(script::snapshots()[0][r],
              r == 0 || r == 6 ? before[r] : before[r].substr(0, 2) + box[r - 1] + before[r].substr(26));
  EXPECT_EQ(screen(), before);
  EXPECT_EQ(vekterm::clock_ms(), 16 * 20) << "the banner's wait is 16 passes of 20 ms";

  command("set_fie VAR=1");
  EXPECT_EQ(vekterm::clock_ms(), 16 * 20) << "no banner on the second SET_FIE";
  for (int reason : {0, 2}) {  // each rearms it
    call(reason);
    command("SET_FIEVAR=1");
    command("SET_FIE VAR=1");
    EXPECT_EQ(vekterm::clock_ms(), reason == 0 ? 640 : 960) << "one banner more after reason " << reason;
  }
}

TEST_F(DispatchTest, BannerEndsEarlyOnCancelOrAHostRequest) {
  script::delay(50);
  script::key('7');  // other keys are read and dropped
  script::delay(20);
  script::key(key::Cancel);
  command("SET_FIE VAR=1");
  EXPECT_EQ(vekterm::clock_ms(), 70) << "ends in the pass that read Cancel, which woke at its arrival";
  EXPECT_EQ(script::pending(), 0u);

  call(0);
  const auto start = vekterm::clock_ms();
  script::host_stop();
  command("SET_FIE VAR=1");
  EXPECT_EQ(vekterm::clock_ms(), start) << "a waiting host request ends the wait in its first pass";
  EXPECT_EQ(row(1), std::string(40, ' ')) << "the window is still taken down";
}

TEST_F(DispatchTest, AMessageWithNoKeyEverComingIsReportedNotHung) {
  command("UNKNOWN");
  const auto stalled = stalls();
  ASSERT_EQ(stalled.size(), 1u);
  EXPECT_NE(stalled[0].find("nothing more is scripted"), std::string::npos);
  EXPECT_NE(stalled[0].find("Bad CVEK(M1):07UNKNOWN"), std::string::npos) << "the report shows the screen";
}

TEST_F(DispatchTest, DiagnosticStepsThenKeyCodesUntilEnter) {
  // Each of the three pauses lets 200 ms pass; a snapshot due within a pause shows the step before it.
  for (int ms : {0, 201, 200}) {
    script::delay(ms);
    script::snapshot();
  }
  for (std::uint16_t code : {std::uint16_t{'a'}, key::Cancel}) {
    script::key(code);
    script::snapshot();
  }
  play("?\n");  // Help, then Enter
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

TEST_F(DispatchTest, DiagnosticClockRowsAreReadAfterThePauses) {
  command("V_DELAY 9");  // 480 ms, so that the pauses cross a second of the clock set now
  vekterm::set_clock(2024, 12, 31, 23, 59, 59);
  script::key(key::Enter);
  call(5);
  EXPECT_EQ(row(1) + row(2), row40("000000") + row40("250101"));
}

}  // namespace
}  // namespace vektest
