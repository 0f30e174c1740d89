// The field editor: typing in every input class, sign and decimal rules, date masks, the first key's
// clearing, fixed lengths, time limits and stop requests.
#include "panel_fixture.h"

namespace paneltest {
namespace {

using Editor = PanelTest;

constexpr char L = '\x02', R = '\x03';  // Left and Right in typed texts

void type(const std::string &keys) {
  for (char ch : keys)
    script::key(ch == '\n'   ? key::Enter
                : ch == '\b' ? key::Backspace
                : ch == L    ? key::Left
                : ch == R    ? key::Right
                             : static_cast<unsigned char>(ch));
}

TEST_F(Editor, TypingInEachClass) {
  struct Case {
    std::uint8_t input;
    int length, precision;
    std::uint8_t edit, is_signed;
    std::string start, keys, shown;  // the field's cells; the text is the same without "_"
  };
  using namespace vek;
  // clang-format off
  const Case cases[] = {
      {kInputAlpha, 6, -1, 1, 0, "", "abc\n", "ABC___"}, {kInputAlpha, 3, -1, 1, 0, "", "abcde\n", "ABC"},
      {kInputAlpha, 6, -1, 1, 0, "", "a{b\n", "AB____"}, {kInputPassword, 6, -1, 1, 0, "", "ab1\n", "***___"},
      {kInputNum, 6, -1, 1, 1, "", "--12\n", " 12___"}, {kInputNum, 6, -1, 1, 0, "", "-5\n", " 5____"},
      {kInputNum, 6, -1, 1, 0, "", "1.5\n", " 15___"}, {kInputNum, 6, 2, 1, 0, "", ".5\n", " 0.5__"},
      {kInputNum, 6, 2, 1, 0, "", "1.2.3\n", " 1.23_"},
      {kInputNum, 6, 2, 1, 0, "", std::string("1.") + L + "5.\n", " 15.__"},
      {kInputAiNum, 6, -1, 1, 0, " 12", std::string(1, R) + "9\n", " 19___"},
      {kInputNum, 6, -1, 0, 0, " 12", "7\n", "7_____"},
      {kInputDateAmer, 10, -1, 1, 0, "", "12252024\n", "12-25-2024"},
      {kInputDateAmer, 10, -1, 0, 0, "", "12252024\n", "12252024__"},
      {kInputDateEuro, 10, -1, 1, 0, "", std::string("2512\b") + L + "9\n", "25-92-YYYY"},
      {kInputTimeStd, 8, -1, 1, 0, "", "235959\n", "23:59:59"},
      {kInputAlpha, 6, -1, 0, 0, "OLD", "x\n", "X_____"}, {kInputAlpha, 6, -1, 1, 0, "OLD", "x\n", "XLD___"},
      {kInputAlpha, 6, -1, 0, 0, "OLD", std::string(1, R) + "\n", "______"},
      {kInputAlpha, 6, -1, 1, 0, "ABCD", std::string(2, R) + "\b\n", "ACD___"},
      {kInputAi, 6, -1, 1, 0, "KEEP", "x\b\n", "KEEP__"},
  };
  // clang-format on
  for (const Case &c : cases) {
    SetUp();
    vek::Field &f = define(0, c.input, c.length);
    f.precision = c.precision, f.edit = c.edit, f.is_signed = c.is_signed;
    type(c.keys);
    const std::string what = "class " + std::to_string(c.input) + " keys \"" + c.keys + "\"";
    EXPECT_EQ(vek::field_input(c.start.c_str(), 0), key::Enter) << what;
    EXPECT_EQ(row(5).substr(10, c.shown.size()), c.shown) << what;
    EXPECT_EQ(text(), c.input == kInputPassword ? "AB1" : c.shown.substr(0, c.shown.find('_'))) << what;
    EXPECT_EQ(vekterm::cursor_type(), c.input == kInputAi ? 0 : 4) << what;
  }
}

TEST_F(Editor, MessagesShownByTheEditor) {
  define(0, vek::kInputNum, 5);
  script::key('/');
  script::delay(100);
  script::snapshot();
  script::delay(2000);
  type("1/2\n");
  EXPECT_EQ(vek::field_input("", 0), key::Enter);
  EXPECT_EQ(snapped(0, 2), boxed("KEY REFUSED"));
  EXPECT_EQ(text(), " 12") << "a refused key after the first is passed over";

  SetUp();
  define(0, vek::kInputAlpha, 5).mode = 'F';
  type("abc\n");
  script::delay(300);  // after the alert, whose timed wait reads keys away
  script::snapshot();
  type("\nde\n");
  EXPECT_EQ(vek::field_input("", 0), key::Enter);
  EXPECT_EQ(snapped(0, 2), boxed("NOT FULL"));
  EXPECT_EQ(snapped(0, 3), boxed("PRESS ENTER"));
  EXPECT_EQ(text(), "ABCDE");

  SetUp();
  define(0, vek::kInputAlpha, 5).mode = 'F';
  script::key(key::Next);
  EXPECT_EQ(vek::field_input("AB", 0), key::Next) << "a field not typed in is left at once";
}

TEST_F(Editor, TimeLimitCountsFromTheLastKeyInVirtualTime) {
  // No key; a typed key at 5 s; a refused key at 5 s, whose message takes 1.16 s: the count restarts
  // after it. The second beep of the time-out message comes 160 ms after the first.
  const std::pair<std::string, int> cases[] = {{"", 11160}, {"a", 16160}, {"/", 17320}};
  for (const auto &[keys, second_beep] : cases) {
    SetUp();
    define(0, keys == "/" ? vek::kInputNum : vek::kInputAlpha, 5);
    script::delay(5000);
    type(keys);
    script::delay(second_beep - 5000);
    script::snapshot();
    EXPECT_EQ(vek::field_input("", 10), 2) << keys;
    EXPECT_EQ(snapped(0, 2), boxed("TOO LATE")) << keys;
    ASSERT_FALSE(vekterm::beeps().empty());
    EXPECT_EQ(vekterm::beeps().back().at_ms, second_beep) << keys;
  }
  SetUp();
  define(0, vek::kInputAlpha, 5);
  script::delay(100000);
  script::key(key::Enter);
  EXPECT_EQ(vek::field_input("", -5), key::Enter) << "a negative limit is no limit";
}

TEST_F(Editor, StopRequestsAndEarlyScans) {
  for (const char *typed : {"", "a"}) {
    SetUp();
    define(0, vek::kInputAlpha, 5);
    script::text(typed);
    script::delay(50);
    script::host_stop();
    EXPECT_EQ(vek::field_input("", 30), key::Cancel) << "stop after \"" << typed << '"';
  }
  SetUp();
  define(0, vek::kInputAiAlpha, 10);
  script::scan("EARLY");  // waiting before the edit starts: discarded
  script::key(key::Enter);
  EXPECT_EQ(vek::field_input("KEEP", 0), key::Enter);
  EXPECT_EQ(text(), "KEEP");
}

TEST_F(Editor, SecondsCountAcrossDayAndMonthEnds) {
  const int cases[][5] = {
      {2023, 3, 14, 3, 15}, {2023, 1, 31, 2, 1}, {2023, 2, 28, 3, 1}, {2024, 2, 28, 2, 29}};
  for (const auto &c : cases) {
    vekterm::set_clock(c[0], c[1], c[2], 23, 59, 59);
    const std::int32_t from = vek::seconds_count();
    vekterm::set_clock(c[0], c[3], c[4], 0, 0, 1);
    EXPECT_EQ(vek::seconds_count() - from, 2) << c[3] << "-" << c[4];
  }
}

}  // namespace
}  // namespace paneltest
