// The utility commands as the host calls them: DICOUNT and CHKUNIQ, V_DELAY, WAIT_UV and TRANMSG,
// INTMATH, CMP_INT and COMPARE, TM_DATE. Operands stand at fixed columns of the record.
#include <initializer_list>

#include "scenario.h"

namespace vektest {
namespace {

struct At {
  int column;  // counted from column 0 of the whole record, length digits included
  std::string_view text;
};

// A whole record whose length digits give `length`: the name, blanks, and each operand at its column.
// An operand beyond the length still goes into the text, so a record that is too short holds
// everything else a valid one would.
std::string operands(std::string_view name, int length, std::initializer_list<At> at) {
  std::string whole = record(std::string(static_cast<std::size_t>(length), ' '));
  whole.replace(2, name.size(), name);
  for (const At &a : at) {
    if (a.text.empty()) continue;
    const auto from = static_cast<std::size_t>(a.column);
    if (whole.size() < from + a.text.size()) whole.resize(from + a.text.size(), ' ');
    whole.replace(from, a.text.size(), a.text);
  }
  return whole;
}
std::string dicount(std::string_view action, std::string_view counter, std::string_view target = "",
                    int length = 32) {
  return operands("DICOUNT", length, {{10, action}, {20, counter}, {31, target}});
}
std::string check(std::string_view variable, std::string_view list, int length = 24) {
  return operands("CHKUNIQ", length, {{10, "V"}, {14, variable}, {25, list}});
}
std::string wait_uv(std::string_view variable, std::string_view limit, int length = 22) {
  return operands("WAIT_UV", length, {{14, variable}, {21, limit}});
}
// Operands in variables 12 and 34: a number read one column off names another variable.
std::string intmath(std::string_view op, int length = 21) {
  return operands("INTMATH", length, {{12, "12"}, {16, op}, {20, "34"}});
}
std::string cmp_int(std::string_view relation, std::string_view sense, int length = 29) {
  return operands("CMP_INT", length, {{12, "12"}, {16, relation}, {21, "34"}, {30, sense}});
}
std::string compare(std::string_view relation, std::string_view sense, int length = 36) {
  return operands("COMPARE", length, {{14, "12"}, {18, relation}, {25, "34"}, {37, sense}});
}
std::string tm_date(std::string_view hours, std::string_view style, std::string_view time_variable = "03",
                    std::string_view date_variable = "04", int length = 52) {
  return operands("TM_DATE", length, {{10, hours}, {30, time_variable}, {35, style}, {52, date_variable}});
}

using CommandsTest = Scenario;

// Each refused record shows the bad-call message with its code, waits for its key, returns 0 to the
// host and changes nothing. Codes come in the order the operands are checked.
TEST_F(CommandsTest, RefusedRecordsShowTheirCodeAndChangeNothing) {
  call(3, dicount("I", "05", "", 21));
  vekterm::set_variable(12, "12");
  vekterm::set_variable(34, "abc");
  vekterm::set_variable(13, "new");
  // clang-format off
  const std::pair<std::string, const char *> cases[] = {
      {dicount("I", "05", "", 20), "D1"}, {dicount("X", "33", "", 21), "D2"}, {dicount("I", "00", "", 21), "D2"},
      {operands("DICOUNT", 21, {{10, "I"}, {21, "05"}}), "D2"}, {dicount("X", "05", "", 21), "D5"},
      {dicount("S", "05", "04", 31), "D3"}, {dicount("S", "05", "20"), "D4"},
      {check("13", "1", 23), "U2"}, {check("00", "1"), "U3"}, {check("13", "3"), "U4"},
      {operands("CHKUNIQ", 24, {{10, "V"}, {14, "13"}, {24, "1"}}), "U4"},
      {operands("CHKUNIQ", 21, {{10, "R"}, {23, "1"}}), "U5"}, {operands("CHKUNIQ", 22, {{10, "R"}, {22, "1"}}), "U4"},
      {record("V_DELAY 000003"), "V3"}, {record("TRANMSG N"), "F1"},
      {wait_uv("07", "  5", 21), "W2"}, {wait_uv("00", "  5"), "W3"},
      {operands("WAIT_UV", 22, {{15, "07"}, {21, "  5"}}), "W3"},
      {intmath("/"), "C6"}, {intmath("%"), "C5"}, {intmath("+", 20), "C1"},
      {operands("INTMATH", 21, {{12, "12"}, {15, "+"}, {20, "34"}}), "C5"},
      {cmp_int("EQ", "S", 27), "C1"}, {cmp_int("EQ", "", 28), "C4"},  // the record ends before the sense
      {cmp_int("GX", "X"), "C4"}, {cmp_int("GX", "S"), "C5"},          // the sense before the relation
      {operands("CMP_INT", 29, {{12, "12"}, {16, "EQ"}, {21, "34"}, {29, "S"}}), "C4"},
      {compare("EQ", "S", 35), "C1"}, {compare("EQ", "A"), "C4"}, {compare("Q ", "S"), "C5"},
      {operands("COMPARE", 36, {{15, "05"}, {18, "EQ"}, {25, "34"}, {37, "S"}}), "C2"},  // variable 0
      {operands("COMPARE", 36, {{14, "12"}, {18, "EQ"}, {26, "05"}, {37, "S"}}), "C3"},
      {tm_date("24", "EURO", "03", "", 51), "E1"}, {tm_date("13", "XXXX", "20"), "E2"},  // variables first
      {tm_date("24", "EURO", "03", "00"), "E3"}, {tm_date("13", "EURO"), "E4"}, {tm_date("  ", "EURO"), "E4"},
      {tm_date("24", "EUR"), "E5"},
      {operands("TM_DATE", 52, {{10, "24"}, {31, "03"}, {35, "EURO"}, {52, "04"}}), "E2"},
      {operands("TM_DATE", 52, {{11, "24"}, {30, "03"}, {35, "EURO"}, {52, "04"}}), "E4"},
      {operands("TM_DATE", 52, {{10, "24"}, {30, "03"}, {36, "EURO"}, {52, "04"}}), "E5"},
      {operands("TM_DATE", 53, {{10, "24"}, {30, "03"}, {35, "EURO"}, {53, "04"}}), "E3"},
  };
  // clang-format on
  for (const auto &[whole, code] : cases) {
    script::key(key::Enter);
    EXPECT_EQ(call(3, whole), 0) << whole;
    EXPECT_EQ(row(0), row40("Bad CVEK(" + std::string(code) + "):" + whole.substr(0, 18))) << whole;
    EXPECT_EQ(script::pending(), 0u) << whole;
  }
  EXPECT_EQ(vekterm::variable(1) + vekterm::variable(3) + vekterm::variable(4), "");
  EXPECT_EQ(vekterm::clock_ms(), 0) << "no refused V_DELAY or WAIT_UV waited";
  EXPECT_TRUE(vekterm::messages().empty());
  call(3, dicount("S", "05", "04"));
  EXPECT_EQ(vekterm::variable(4), "1");
  EXPECT_EQ(call(3, check("13", "1")), 1);
}

TEST_F(CommandsTest, CountersStepAndAreStoredAsText) {
  for (const char *step : {"I", "i", "I", "D", "I"})
    EXPECT_EQ(call(3, dicount(step, "07", "", 21)), 0);
  call(3, dicount("D", "32", "", 21));  // stays 0
  call(3, dicount("S", "07", "04"));
  call(3, dicount("s", "32", " 1"));
  EXPECT_EQ(vekterm::variable(4), "3");
  EXPECT_EQ(vekterm::variable(1), "0");
  call(3, dicount("r", "07", "", 21));
  call(3, dicount("S", "07", "19"));
  EXPECT_EQ(vekterm::variable(19), "0");
}

// The overflow message writes its texts over whatever the top rows hold, clears nothing and waits for
// its key; the part that fits is kept, and TM_DATE still writes the time.
TEST_F(CommandsTest, AStoreThatDoesNotFitShowsTheOverflowMessage) {
  for (int i = 0; i < 12; ++i)
    call(3, dicount("I", "01", "", 21));
  struct Case {
    std::string whole;
    int variable, capacity;
    const char *kept;
  };
  for (const Case &c :
       {Case{dicount("S", "01", "09"), 9, 1, "1"}, Case{tm_date("24", "EURO"), 4, 5, "14.03"}}) {
    vekterm::set_variable_capacity(c.variable, c.capacity);
    paint(0, 0, std::string(40, '#'));
    paint(1, 0, std::string(40, '='));
    script::delay(300);
    script::key('k');
    const std::int64_t start = vekterm::clock_ms();
    EXPECT_EQ(call(3, c.whole), 0);
    EXPECT_EQ(row(0), "VEK append too long:#" + c.whole.substr(0, 12) + "#######");
    EXPECT_EQ(row(1), "Press any key to continue       ========");
    EXPECT_EQ(vekterm::variable(c.variable), c.kept);
    EXPECT_EQ(vekterm::clock_ms() - start, 300) << c.whole;
  }
  EXPECT_EQ(vekterm::variable(3), "09:26:53");
}

TEST_F(CommandsTest, ValuesAreNewUntilSeenAmongTheLastTen) {
  EXPECT_EQ(call(3, check("13", "1")), 0) << "an empty text matches an empty entry";
  vekterm::set_variable(13, "A0");
  EXPECT_EQ(call(3, check("13", "1")), 1);
  EXPECT_EQ(call(3, check("13", "1")), 0);
  EXPECT_EQ(call(3, check("13", "2")), 1) << "the lists are kept apart";
  for (int i = 1; i <= 10; ++i) {
    vekterm::set_variable(13, "A" + std::to_string(i));
    EXPECT_EQ(call(3, check("13", "1")), 1) << i;
  }
  vekterm::set_variable(13, "A0");
  EXPECT_EQ(call(3, check("13", "1")), 1) << "the eleventh value overwrote the oldest";

  vekterm::set_variable(13, std::string(26, 'L'));
  EXPECT_EQ(call(3, check("13", "2")), 1);
  EXPECT_EQ(call(3, check("13", "2")), 1) << "25 characters are kept, the whole text is compared";
  vekterm::set_variable(13, std::string(25, 'L'));
  EXPECT_EQ(call(3, check("13", "2")), 0);
  EXPECT_EQ(call(3, operands("CHKUNIQ", 22, {{10, "r"}, {23, "2"}})), 0);
  EXPECT_EQ(call(3, check("13", "2")), 1) << "forgotten by the reset";
  EXPECT_EQ(call(3, operands("CHKUNIQ", 24, {{10, "Q"}})), 0) << "other actions do nothing";
  EXPECT_EQ(row(0), std::string(40, ' '));
}

TEST_F(CommandsTest, DelayPassesFollowTheCount) {
  // clang-format off
  const std::pair<const char *, std::int64_t> cases[] = {  // 20 ms a pass
      {"V_DELAY", 20}, {"V_DELAY ", 20}, {"V_DELAY 0", 20}, {"V_DELAY 3", 160}, {"V_DELAY 00003", 160},
      {"V_DELAYx3", 160}, {"V_DELAY 12", 640}, {"V_DELAY -9", 20}};
  // clang-format on
  for (const auto &[rest, ms] : cases) {
    const std::int64_t start = vekterm::clock_ms();
    EXPECT_EQ(command(rest), 0);
    EXPECT_EQ(vekterm::clock_ms() - start, ms) << rest;
  }
}

TEST_F(CommandsTest, WaitEndsWithAValueCancelStopOrTheLimitCheckedAfterEachEvent) {
  script::delay(2500);
  script::write_variable(7, "ready");
  EXPECT_EQ(call(3, wait_uv("07", " 10")), 1);
  EXPECT_EQ(vekterm::clock_ms(), 2500);

  vekterm::set_variable(7, "");
  script::delay(400);
  script::key('a');  // consumed and ignored
  script::delay(800);
  script::key(key::Cancel);
  EXPECT_EQ(call(3, wait_uv("07", "010")), 2);
  EXPECT_EQ(vekterm::clock_ms(), 2500 + 1200);
  script::host_stop();
  EXPECT_EQ(call(3, wait_uv("07", "010")), 2);

  std::int64_t start = vekterm::clock_ms();
  EXPECT_EQ(call(3, wait_uv("07", "5  ")), 0);
  EXPECT_GT(vekterm::clock_ms() - start, 5000);
  EXPECT_LE(vekterm::clock_ms() - start, 6000) << "no wait outlasts the time still to go";

  vekterm::set_variable(7, "x");
  script::delay(300);
  script::key('a');
  start = vekterm::clock_ms();
  EXPECT_EQ(call(3, wait_uv("07", "  0")), 1);
  EXPECT_EQ(vekterm::clock_ms() - start, 300) << "a limit of 0 waits for the next event";
  vekterm::set_variable(7, "");
  script::delay(3000);
  script::key('b');
  EXPECT_EQ(call(3, wait_uv("07", "000")), 0) << "the first check past a second ends it";
  EXPECT_EQ(vekterm::clock_ms() - start, 3300);
}

TEST_F(CommandsTest, TransactionMessageCarriesTheWholeRecord) {
  for (const char *rest : {"TRANMSG Nhello", "TRANMSG n ", "TRANMSG Y ", "TRANMSGN  "})
    EXPECT_EQ(command(rest), 0);
  const auto &sent = vekterm::messages();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0].record, "14TRANMSG Nhello");
  EXPECT_EQ(sent[0].length, 14);
  for (std::size_t i = 0; i < sent.size(); ++i)
    EXPECT_EQ(sent[i].flag, i < 2 ? 0 : 1) << sent[i].record;
}

// Numbers past 32 bits are read as the nearest limit.
TEST_F(CommandsTest, ArithmeticWrapsAt32BitsAndDivisionTruncates) {
  struct Case {
    const char *a, *op, *b, *result;
  };
  // clang-format off
  for (const Case &c : {
      Case{"12", "+", "30", "42"}, Case{"2147483647", "+", "1", "-2147483648"}, Case{"5", "-", "9", "-4"},
      Case{"65536", "*", "65537", "65536"}, Case{"-7", "/", "2", "-3"}, Case{"-2147483648", "/", "-1", "-2147483648"},
      Case{"99999999999", "+", "- 4", "2147483647"}, Case{"-99999999999", "-", "+3", "2147483645"},
      Case{" 12abc", "+", "x7", "12"}}) {
    // clang-format on
    vekterm::set_variable(12, c.a);
    vekterm::set_variable(34, c.b);
    EXPECT_EQ(call(3, intmath(c.op)), 0);
    EXPECT_EQ(vekterm::variable(1), c.result) << c.a << c.op << c.b;
  }
}

TEST_F(CommandsTest, RelationsAndSensesAsIntegersAndAsTexts) {
  struct Case {
    const char *a, *b, *relation, *sense;
    int cmp_int, compare;
  };
  // clang-format off
  for (const Case &c : {
      Case{"10", "9", "GE", "S", 1, 0}, Case{"10", "9", "ge", "n", 0, 1}, Case{"9", "10", "LT", "S", 1, 0},
      Case{"9", "9", "LE", "S", 1, 1}, Case{"9", "9", "GT", "S", 0, 0}, Case{"7", "07", "EX", "s", 1, 0},
      Case{"7", "7", "E ", "S", 1, 1}, Case{"7", "07", "NE", "S", 0, 1}, Case{"\xe9", "z", "GT", "S", 0, 1}}) {
    // clang-format on
    vekterm::set_variable(12, c.a);
    vekterm::set_variable(34, c.b);
    EXPECT_EQ(call(3, cmp_int(c.relation, c.sense)), c.cmp_int) << c.a << c.relation << c.b << c.sense;
    EXPECT_EQ(call(3, compare(c.relation, c.sense)), c.compare) << c.a << c.relation << c.b << c.sense;
  }
  vekterm::set_variable(12, "-3");
  EXPECT_EQ(call(3, cmp_int("LT", "A")), 2);
  EXPECT_EQ(call(3, cmp_int("GT", "a")), 0);
}

TEST_F(CommandsTest, TimeAndDateTextsInBothStyles) {
  struct Case {
    int hour;
    const char *hours, *style, *time, *date;
  };
  // clang-format off
  for (const Case &c : {
      Case{14, "24", "EURO", "14:05:09", "04.07.19"}, Case{14, "24", "amer", "14:05:09", "07/04/19"},
      Case{14, "12", "Euro", "02:05:09 PM", "04.07.19"}, Case{0, "12", "AMER", "12:05:09 AM", "07/04/19"}}) {
    // clang-format on
    vekterm::set_clock(2019, 7, 4, c.hour, 5, 9);
    EXPECT_EQ(call(3, tm_date(c.hours, c.style)), 0);
    EXPECT_EQ(vekterm::variable(3), c.time) << c.hours;
    EXPECT_EQ(vekterm::variable(4), c.date) << c.style;
  }
}

}  // namespace
}  // namespace vektest
