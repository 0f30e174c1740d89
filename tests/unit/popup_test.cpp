// The message pop-up: each mode's drawing, alert and ending, the screen under it coming back, the
// line limits, cut texts, and a help file without its prompt record.
#include <cstdio>

#include "dispatch/terminal.h"
#include "panel_fixture.h"

namespace paneltest {
namespace {

const std::string kLong = "A TEXT OF FORTY-FIVE CHARACTERS, CUT SOMEWHERE";

class Popup : public PanelTest {
 public:
  void SetUp() override {
    PanelTest::SetUp();
    before.clear();
    std::vector<std::string> records = {"0016 PRESS ENTER", "0030 " + kLong, "0031", "0032 "};
    for (int n = 100; n < 120; ++n)
      records.push_back("0" + std::to_string(n) + " LINE " + std::to_string(n));
    vekterm::add_file("HELP.VAL", vekterm::make_image(records));
    for (int r = 0; r < 20; ++r) {  // a screen that differs on every row and column
      std::string line;
      for (int c = 0; c < 40; ++c)
        line += static_cast<char>('a' + (r + c) % 26);
      int scratch = 0;
      _VioWrtCharStr(line.data(), 40, r, 0, &scratch, 0);
    }
    for (int r = 0; r < 20; ++r)
      before.push_back(row(r));
  }
  std::vector<std::string> screen() const {
    std::vector<std::string> rows;
    for (int r = 0; r < 20; ++r)
      rows.push_back(row(r));
    return rows;
  }
  // Row r of the screen before, with the pop-up's box columns replaced.
  std::string over(int r, const std::string &box) const {
    return before[static_cast<std::size_t>(r)].substr(0, 2) + box +
           before[static_cast<std::size_t>(r)].substr(26);
  }
  std::string line(int r, const std::string &text) const {
    std::string inner = text;
    inner.resize(22, ' ');
    return over(r, "|" + inner + "|");
  }
  std::string border(int r) const { return over(r, "+----------------------+"); }

  std::vector<std::string> before;
};

TEST_F(Popup, EachModeDrawsAlertsAndEndsItsOwnWay) {
  for (int m : {0, 1, 2, 9}) {
    const auto mode = static_cast<std::uint8_t>(m);
    SetUp();
    // Typed before the pop-up: the alert's timed wait reads eight of these keys, a mode-1 pop-up reads
    // away the rest, and the Enter among them does not close it.
    if (mode == 1) script::text("xxxxxxxxx\r");
    script::delay(300);
    script::snapshot();
    script::key(key::Enter);
    vek::message_popup(100, 101, mode);
    const std::string what = "mode " + std::to_string(mode);
    const auto &shot = script::snapshots();
    if (mode < 2) {
      ASSERT_EQ(shot.size(), 1u) << what;
      EXPECT_EQ(shot[0][1], border(1)) << what;
      EXPECT_EQ(shot[0][2], line(2, "LINE 100")) << what;
      EXPECT_EQ(shot[0][3], line(3, "LINE 101")) << what;
      EXPECT_EQ(shot[0][4], mode == 1 ? line(4, "PRESS ENTER") : border(4)) << what;
      EXPECT_EQ(shot[0][5], mode == 1 ? border(5) : before[5]) << what;
    }
    const std::size_t alerts = mode == 2 ? 1 : 2;
    ASSERT_EQ(vekterm::beeps().size(), alerts) << what;
    ASSERT_EQ(vekterm::leds().size(), alerts) << what;
    EXPECT_EQ(vekterm::leds()[0].duration, 5) << what;
    if (alerts == 2 && mode != 1) {  // keys waiting make the timed wait's passes shorter
      EXPECT_EQ(vekterm::beeps()[1].at_ms - vekterm::beeps()[0].at_ms, 8 * 20) << what;
    }
    if (mode == 0) {
      EXPECT_EQ(vekterm::clock_ms(), 8 * 20 + 50 * 20) << what;
    }
    if (mode == 1) {
      EXPECT_GE(vekterm::clock_ms(), 300) << what;
      EXPECT_EQ(script::pending(), 0u) << what;
    }
    if (mode == 2) {
      EXPECT_EQ(vekterm::cursor_type(), 0) << what;
      EXPECT_EQ(row(2), line(2, "LINE 100")) << "mode 2 stays open";
      EXPECT_EQ(attribute_row(2), std::string(2, '0') + std::string(24, '1') + std::string(14, '0'));
      vek::popup_close();
    } else {
      EXPECT_EQ(vekterm::cursor_type(), 4) << what;
    }
    EXPECT_EQ(screen(), before) << what;
  }
}

TEST_F(Popup, FullScreenModeClearsAndStays) {
  vek::message_popup(30, 32, 3);
  EXPECT_EQ(row(0), row40(kLong.substr(0, 40)));
  EXPECT_EQ(row(1), row40(" ")) << "a record with only its number";
  EXPECT_EQ(row(2), row40(" ")) << "a record with an empty text";
  EXPECT_EQ(row(3), row40(""));
  EXPECT_EQ(attribute_row(0), std::string(40, '1'));
  EXPECT_TRUE(vekterm::beeps().empty());
  EXPECT_EQ(vekterm::clock_ms(), 0);
}

TEST_F(Popup, TextsAreCutAndLinesLimited) {
  script::delay(100);
  script::snapshot();
  vek::message_popup(30, 31, 0);
  EXPECT_EQ(snapped(0, 2), line(2, kLong.substr(0, 22)));
  EXPECT_EQ(snapped(0, 3), line(3, " "));

  for (int m : {0, 1}) {
    const auto mode = static_cast<std::uint8_t>(m);
    SetUp();
    script::delay(300);
    script::snapshot();
    script::key(key::Enter);
    vek::message_popup(100, 99999, mode);
    const int texts = mode == 1 ? 15 : 16;
    const std::string last = mode == 1 ? "LINE 114" : "LINE 115";
    EXPECT_EQ(snapped(0, 2), line(2, "LINE 100"));
    EXPECT_EQ(snapped(0, 1 + texts), line(1 + texts, last)) << int{mode};
    if (mode == 1) {
      EXPECT_EQ(snapped(0, 17), line(17, "PRESS ENTER"));
    }
    EXPECT_EQ(snapped(0, 18), border(18)) << int{mode};
  }

  SetUp();
  script::delay(300);
  script::snapshot();
  script::key(key::Enter);
  vek::message_popup(50, 40, 1);
  EXPECT_EQ(snapped(0, 2), line(2, "PRESS ENTER")) << "an empty range leaves the prompt alone";
  EXPECT_EQ(snapped(0, 3), border(3));
}

TEST_F(Popup, MissingPromptRecordIsReportedAndThePopupGoesOn) {
  vekterm::add_file("NOPROMPT.VAL", vekterm::make_image({"0100 LINE 100"}));
  vek::copy_text(vek::g_fields.help_file_name.data(), vek::kHelpNameSize, "NOPROMPT.VAL", 15);
  script::delay(10);
  script::snapshot();
  script::key('x');  // the message's own key wait
  script::delay(300);
  script::snapshot();
  script::key(key::Enter);
  vek::message_popup(100, 100, 1);
  EXPECT_EQ(snapped(0, 0), row40("Bad CVEK(Y2):HELP.VAL NOT FOUND"));
  EXPECT_EQ(snapped(1, 2), line(2, "LINE 100"));
  EXPECT_EQ(snapped(1, 3), line(3, "")) << "the prompt line stays blank";
  EXPECT_EQ(script::pending(), 0u);
}

TEST_F(Popup, CancelAndHostStopEndTheWaitEarly) {
  script::delay(400);
  script::key(key::Cancel);
  vek::message_popup(100, 100, 0);
  EXPECT_LT(vekterm::clock_ms(), 600);
  EXPECT_EQ(screen(), before);

  SetUp();
  script::delay(400);
  script::host_stop();
  vek::message_popup(100, 100, 1);
  EXPECT_EQ(vekterm::clock_ms(), 400);
  EXPECT_EQ(screen(), before);
}

}  // namespace
}  // namespace paneltest
