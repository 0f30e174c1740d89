// The message pop-up: each mode's drawing, alert and ending, the screen under it coming back, cut
// texts, the line limit, and a help file without its prompt record.
#include "dispatch/terminal.h"
#include "panel_fixture.h"

namespace paneltest {
namespace {

const std::string kLong = "A TEXT OF FORTY-FIVE CHARACTERS, CUT SOMEWHERE";

class Popup : public PanelTest {
 public:
  void SetUp() override {
    PanelTest::SetUp();
    std::vector<std::string> records = {"0016 PRESS ENTER", "0030 " + kLong, "0031"};
    for (int n = 100; n < 120; ++n)
      records.push_back("0" + std::to_string(n) + " LINE " + std::to_string(n));
    vekterm::add_file("HELP.VAL", vekterm::make_image(records));
    before.clear();
    const std::string letters = "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmn";
    for (int r = 0; r < 20; ++r) {  // a screen that differs on every row and column
      std::string line = letters.substr(static_cast<std::size_t>(r), 40);
      int scratch = 0;
      _VioWrtCharStr(line.data(), 40, r, 0, &scratch, 0);
      before.push_back(line);
    }
  }
  static std::vector<std::string> screen() {
    std::vector<std::string> rows;
    for (int r = 0; r < 20; ++r)
      rows.push_back(row(r));
    return rows;
  }
  // Row r as the pop-up covers it: a border ("+"), or a text line.
  std::string over(int r, std::string box) const {
    box = box == "+" ? "+----------------------+" : "|" + (box.resize(22, ' '), box) + "|";
    const std::string &under = before[static_cast<std::size_t>(r)];
    return under.substr(0, 2) + box + under.substr(26);
  }
  std::vector<std::string> before;
};

TEST_F(Popup, EachModeDrawsAlertsAndEnds) {
  for (int m : {0, 1, 2, 9}) {
    SetUp();
    const auto mode = static_cast<std::uint8_t>(m);
    // Typed before a mode-1 pop-up: the alert's timed wait reads eight keys, the pop-up reads away
    // the rest, and the Enter among them does not close it.
    if (mode == 1) script::text("xxxxxxxxx\r");
    script::delay(300);
    script::snapshot();
    script::key(key::Enter);
    vek::message_popup(100, 101, mode);
    const std::string what = "mode " + std::to_string(m);
    if (mode == 2) {  // left open, shown at once
      EXPECT_EQ(row(2), over(2, "LINE 100")) << what;
      EXPECT_EQ(vekterm::attribute_row(2), "00" + std::string(24, '1') + std::string(14, '0'));
      EXPECT_EQ(vekterm::cursor_type(), 0);
      vek::popup_close();
    } else if (mode < 2) {
      const std::vector<std::string> rows = {"+", "LINE 100", "LINE 101", mode == 1 ? "PRESS ENTER" : "+",
                                             "+"};
      for (int r = 1; r <= (mode == 1 ? 5 : 4); ++r)
        EXPECT_EQ(snapped(0, r), over(r, rows[static_cast<std::size_t>(r - 1)])) << what << " row " << r;
      EXPECT_EQ(vekterm::cursor_type(), 4) << what;
    }
    EXPECT_EQ(screen(), before) << what;
    EXPECT_EQ(vekterm::beeps().size(), mode == 2 ? 1u : 2u) << what;
    EXPECT_EQ(vekterm::leds().size(), mode == 2 ? 1u : 2u) << what;
    EXPECT_TRUE(mode != 0 || vekterm::clock_ms() == 8 * 20 + 50 * 20) << "the alert gap and the stay";
    EXPECT_TRUE(mode != 1 || vekterm::clock_ms() >= 300) << "closed by the Enter typed after it";
  }
}

TEST_F(Popup, TextsAreCutAndAtMostSixteenLinesShown) {
  vek::message_popup(30, 31, 3);
  EXPECT_EQ(row(0), kLong.substr(0, 40)) << "the whole screen is 40 wide";
  EXPECT_EQ(row(1), row40(" ")) << "a record with only its number";
  EXPECT_EQ(row(2), row40(""));
  EXPECT_TRUE(vekterm::beeps().empty());

  for (int m : {0, 1}) {
    SetUp();
    script::delay(300);
    script::snapshot();
    script::key(key::Enter);
    vek::message_popup(m == 0 ? 30 : 100, 99999, static_cast<std::uint8_t>(m));
    EXPECT_EQ(snapped(0, 2), over(2, m == 0 ? kLong.substr(0, 22) : "LINE 100"));
    EXPECT_EQ(snapped(0, 17), over(17, m == 0 ? "LINE 113" : "PRESS ENTER"));
    EXPECT_EQ(snapped(0, 18), over(18, "+"));
  }
}

TEST_F(Popup, MissingPromptRecordIsReportedAndThePopupGoesOn) {
  vekterm::add_file("OTHER.VAL", vekterm::make_image({"0100 LINE 100"}));
  vek::copy_text(vek::g_fields.help_file_name.data(), vek::kHelpNameSize, "OTHER.VAL", 15);
  script::delay(10);
  script::snapshot();
  script::key('x');  // the message's own key wait
  script::delay(300);
  script::snapshot();
  script::key(key::Enter);
  vek::message_popup(100, 100, 1);
  EXPECT_EQ(snapped(0, 0), row40("Bad CVEK(Y2):HELP.VAL NOT FOUND"));
  EXPECT_EQ(snapped(1, 2), over(2, "LINE 100"));
  EXPECT_EQ(snapped(1, 3), over(3, "")) << "the prompt line stays blank";
  EXPECT_EQ(script::pending(), 0u);
}

}  // namespace
}  // namespace paneltest
