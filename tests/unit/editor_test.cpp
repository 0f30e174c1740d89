// The field editor on the headless terminal: typing in every input class, the sign and decimal rules,
// date masks, the first key's clearing, fixed lengths, help, time limits and host stop requests.
#include "panel_fixture.h"

namespace paneltest {
namespace {

using Editor = PanelTest;

// Scripts typed input; a few control characters stand for the cursor keys.
void type(const std::string &keys) {
  for (char ch : keys) {
    switch (ch) {
      case '\n':
        script::key(key::Enter);
        break;
      case '\b':
        script::key(key::Backspace);
        break;
      case '\x02':
        script::key(key::Left);
        break;
      case '\x03':
        script::key(key::Right);
        break;
      default:
        script::key(static_cast<unsigned char>(ch));
    }
  }
}

constexpr char L = '\x02';
constexpr char R = '\x03';

TEST_F(Editor, TypingInEachClass) {
  struct Case {
    std::uint8_t input;
    int length;
    std::uint8_t edit, is_signed;
    int precision;
    std::string start, keys, text, shown;
  };
  const Case cases[] = {
      {vek::kInputAlpha, 6, 1, 0, -1, "", "abc\n", "ABC", "ABC___"},
      {vek::kInputAlpha, 3, 1, 0, -1, "", "abcde\n", "ABC", "ABC"},
      {vek::kInputAlpha, 6, 1, 0, -1, "", "a{b\n", "AB", "AB____"},
      {vek::kInputPassword, 6, 1, 0, -1, "", "ab1\n", "AB1", "***___"},
      {vek::kInputNum, 6, 1, 1, -1, "", "--12\n", " 12", " 12___"},
      {vek::kInputNum, 6, 1, 1, -1, "", "-12\n", "-12", "-12___"},
      {vek::kInputNum, 6, 1, 0, -1, "", "-5\n", " 5", " 5____"},
      {vek::kInputNum, 6, 1, 0, -1, "", "1.5\n", " 15", " 15___"},
      {vek::kInputNum, 6, 1, 0, 2, "", ".5\n", " 0.5", " 0.5__"},
      {vek::kInputNum, 6, 1, 0, 2, "", "1.2.3\n", " 1.23", " 1.23_"},
      {vek::kInputNum, 6, 1, 0, 2, "", std::string("1.") + L + "5.\n", " 15.", " 15.__"},
      {vek::kInputAiNum, 6, 1, 0, -1, " 12", std::string(1, R) + "9\n", " 19", " 19___"},
      {vek::kInputNum, 6, 0, 0, -1, " 12", "7\n", "7", "7_____"},
      {vek::kInputDateAmer, 10, 1, 0, -1, "", "12252024\n", "12-25-2024", "12-25-2024"},
      {vek::kInputDateAmer, 10, 0, 0, -1, "", "12252024\n", "12252024", "12252024__"},
      {vek::kInputDateAmer, 10, 0, 0, -1, "", "12-25-2024\n", "12-25-2024", "12-25-2024"},
      {vek::kInputDateEuro, 10, 1, 0, -1, "", std::string("2512\b") + L + "9\n", "25-92-YYYY", "25-92-YYYY"},
      {vek::kInputTimeStd, 8, 1, 0, -1, "", "235959\n", "23:59:59", "23:59:59"},
      {vek::kInputAlpha, 6, 0, 0, -1, "OLD", "x\n", "X", "X_____"},
      {vek::kInputAlpha, 6, 1, 0, -1, "OLD", "x\n", "XLD", "XLD___"},
      {vek::kInputAlpha, 6, 0, 0, -1, "OLD", std::string(1, R) + "\n", "", "______"},
      {vek::kInputAlpha, 6, 1, 0, -1, "ABCD", std::string(4, R) + "\b\n", "ABC", "ABC___"},
      {vek::kInputAlpha, 6, 1, 0, -1, "ABCD", std::string(2, R) + "\b\n", "ACD", "ACD___"},
      {vek::kInputAi, 6, 1, 0, -1, "KEEP", "x\b\n", "KEEP", "KEEP__"},
  };
  for (const Case &c : cases) {
    SetUp();
    vek::Field &f = define(0, c.input, c.length);
    f.edit = c.edit;
    f.is_signed = c.is_signed;
    f.precision = c.precision;
    type(c.keys);
    const std::string what = "class " + std::to_string(c.input) + " keys \"" + c.keys + "\"";
    EXPECT_EQ(vek::field_input(c.start.c_str(), 0), key::Enter) << what;
    EXPECT_EQ(text(), c.text) << what;
    EXPECT_EQ(row(5).substr(10, static_cast<std::size_t>(c.length)), c.shown) << what;
    EXPECT_EQ(script::pending(), 0u) << what;
  }
}

TEST_F(Editor, CursorFollowsTheTextExceptInAiFields) {
  define(0, vek::kInputDateAmer, 10, 7, 4);
  type("12");
  script::delay(10);
  script::snapshot();
  script::key(key::Enter);
  EXPECT_EQ(vek::field_input("", 0), key::Enter);
  EXPECT_EQ(vekterm::cursor_type(), 4);
  EXPECT_EQ(vekterm::cursor_row(), 7);
  EXPECT_EQ(vekterm::cursor_column(), 4 + 3) << "the cursor jumps over the separator";

  SetUp();
  define(0, vek::kInputAi, 5, 7, 4);
  script::key(key::Enter);
  EXPECT_EQ(vek::field_input("X", 0), key::Enter);
  EXPECT_EQ(vekterm::cursor_type(), 0);
  EXPECT_EQ(vekterm::cursor_column(), 0);
}

TEST_F(Editor, KeysThatLeaveTheFieldAreReturned) {
  for (std::uint16_t code : {key::Enter, key::Ok, key::Previous, key::Next, key::Cancel, key::Clear}) {
    for (bool typed_first : {false, true}) {
      SetUp();
      define(0, vek::kInputAlpha, 5);
      if (typed_first) script::text("a");
      script::key(code);
      EXPECT_EQ(vek::field_input("", 0), code) << code << (typed_first ? " after a key" : "");
    }
  }
}

TEST_F(Editor, RefusedFirstKeyIsReportedAndLaterOnesArePassedOver) {
  define(0, vek::kInputNum, 5);
  script::key('/');
  script::delay(100);
  script::snapshot();
  script::delay(2000);
  type("1/2\n");
  EXPECT_EQ(vek::field_input("", 0), key::Enter);
  EXPECT_EQ(snapped(0, 2), boxed("KEY REFUSED"));
  EXPECT_EQ(beeps(0), 2) << "the alert of one pop-up";
  EXPECT_EQ(text(), " 12");
  EXPECT_EQ(row(2), row40("")) << "the pop-up is gone";
}

TEST_F(Editor, FixedLengthFieldIsLeftOnlyWhenFull) {
  vek::Field &f = define(0, vek::kInputAlpha, 5);
  f.mode = 'F';
  type("abc\n");
  script::delay(300);  // after the alert, whose timed wait reads keys away
  script::snapshot();
  script::key(key::Enter);  // closes the message
  type("de\n");
  EXPECT_EQ(vek::field_input("", 0), key::Enter);
  EXPECT_EQ(snapped(0, 2), boxed("NOT FULL"));
  EXPECT_EQ(snapped(0, 3), boxed("PRESS ENTER"));
  EXPECT_EQ(text(), "ABCDE");

  SetUp();
  define(0, vek::kInputAlpha, 5).mode = 'F';
  script::key(key::Next);
  EXPECT_EQ(vek::field_input("AB", 0), key::Next) << "a field not typed in is left at once";
}

TEST_F(Editor, HelpKeyShowsTheFieldsRecordsOrOnlyThePrompt) {
  vek::Field &f = define(0, vek::kInputAlpha, 5);
  f.help_start = 20;
  f.help_end = 21;
  script::key(key::Help);
  script::delay(300);
  script::snapshot();
  script::key(key::Enter);
  type("a\n");
  EXPECT_EQ(vek::field_input("", 0), key::Enter);
  EXPECT_EQ(snapped(0, 2), boxed("HELP ONE"));
  EXPECT_EQ(snapped(0, 3), boxed("HELP TWO"));
  EXPECT_EQ(snapped(0, 4), boxed("PRESS ENTER"));
  EXPECT_EQ(text(), "A");

  SetUp();
  define(0, vek::kInputAlpha, 5);
  type("a");
  script::key(key::Help);
  script::delay(300);
  script::snapshot();
  script::key(key::Enter);
  type("b\n");
  EXPECT_EQ(vek::field_input("", 0), key::Enter);
  EXPECT_EQ(snapped(0, 2), boxed("PRESS ENTER"));
  EXPECT_EQ(snapped(0, 3), row40("  +----------------------+"));
  EXPECT_EQ(text(), "AB");
}

TEST_F(Editor, TimeLimitCountsFromTheLastKeyInVirtualTime) {
  define(0, vek::kInputAlpha, 5);
  script::delay(11500);
  script::snapshot();
  EXPECT_EQ(vek::field_input("", 10), 2);
  EXPECT_EQ(snapped(0, 2), boxed("TOO LATE"));
  ASSERT_FALSE(vekterm::beeps().empty());
  EXPECT_EQ(vekterm::beeps().front().at_ms, 11000) << "more than 10 seconds after the start";

  for (bool in_editing_loop : {false, true}) {
    SetUp();
    define(0, in_editing_loop ? vek::kInputAlpha : vek::kInputNum, 5);
    script::delay(5000);
    script::key(in_editing_loop ? 'a' : '/');  // a refused key also restarts the count
    EXPECT_EQ(vek::field_input("", 10), 2);
    ASSERT_FALSE(vekterm::beeps().empty());
    EXPECT_EQ(vekterm::beeps().back().at_ms - vekterm::beeps()[vekterm::beeps().size() - 2].at_ms, 160);
    EXPECT_GE(vekterm::beeps().back().at_ms, 16000)
        << (in_editing_loop ? "after a typed key" : "after a refused key");
    EXPECT_LE(vekterm::beeps().back().at_ms, 17500);
  }

  SetUp();
  define(0, vek::kInputAlpha, 5);
  script::key(key::Enter);
  EXPECT_EQ(vek::field_input("", -5), key::Enter) << "a negative limit is no limit";
}

TEST_F(Editor, HostStopActsAsCancel) {
  for (bool in_editing_loop : {false, true}) {
    SetUp();
    define(0, vek::kInputAlpha, 5);
    if (in_editing_loop) script::text("a");
    script::delay(50);
    script::host_stop();
    EXPECT_EQ(vek::field_input("", 30), key::Cancel);
  }
}

TEST_F(Editor, ScansWaitingBeforeTheEditAreDiscarded) {
  define(0, vek::kInputAiAlpha, 10);
  script::scan("EARLY");
  script::key(key::Enter);
  EXPECT_EQ(vek::field_input("KEEP", 0), key::Enter);
  EXPECT_EQ(text(), "KEEP");
  EXPECT_TRUE(vekterm::beeps().empty());
}

TEST_F(Editor, SecondsCountDifferencesAcrossDayAndMonthEnds) {
  struct Case {
    int from[6], to[6];
    std::int32_t seconds;
  };
  const Case cases[] = {
      {{2024, 3, 14, 9, 26, 53}, {2024, 3, 14, 9, 27, 3}, 10},
      {{2024, 3, 14, 23, 59, 59}, {2024, 3, 15, 0, 0, 1}, 2},
      {{2024, 1, 31, 23, 59, 59}, {2024, 2, 1, 0, 0, 0}, 1},
      {{2023, 2, 28, 23, 59, 59}, {2023, 3, 1, 0, 0, 0}, 1},
      {{2024, 2, 28, 12, 0, 0}, {2024, 2, 29, 12, 0, 0}, 86400},
  };
  for (const Case &c : cases) {
    vekterm::set_clock(c.from[0], c.from[1], c.from[2], c.from[3], c.from[4], c.from[5]);
    const std::int32_t from = vek::seconds_count();
    vekterm::set_clock(c.to[0], c.to[1], c.to[2], c.to[3], c.to[4], c.to[5]);
    EXPECT_EQ(vek::seconds_count() - from, c.seconds) << c.to[0] << "-" << c.to[1] << "-" << c.to[2];
  }
}

}  // namespace
}  // namespace paneltest
