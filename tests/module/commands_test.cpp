// The utility commands as the host calls them: DICOUNT and CHKUNIQ, V_DELAY, WAIT_UV and TRANMSG,
// INTMATH, CMP_INT and COMPARE, TM_DATE. Operands stand at fixed columns of the record; a record may
// hold text past the length its first two digits give, which the command must not read. INTMATH,
// CMP_INT and COMPARE take their operands from variables 12 and 34 (a number read one column off
// names another variable).
#include <tuple>

#include "scenario.h"

namespace vektest {
namespace {

using CommandsTest = Scenario;

// Each refused record shows the bad-call message with its code, waits for its key, returns 0 to the
// host and changes nothing. Codes come in the order the operands are checked.
TEST_F(CommandsTest, RefusedRecordsShowTheirCodeAndChangeNothing) {
  call(3, "21DICOUNT I         05 ");
  vekterm::set_variable(12, "12");
  vekterm::set_variable(34, "abc");
  vekterm::set_variable(13, "new");
  // clang-format off
  const std::pair<std::string, const char *> cases[] = {
      {"20DICOUNT I         05", "D1"}, {"21DICOUNT X         33 ", "D2"}, {"21DICOUNT I         00 ", "D2"},
      {"21DICOUNT I          05", "D2"}, {"21DICOUNT X         05 ", "D5"},
      {"31DICOUNT S         05         04", "D3"}, {"32DICOUNT S         05         20 ", "D4"},
      {"23CHKUNIQ V   13         1", "U2"}, {"24CHKUNIQ V   00         1", "U3"},
      {"24CHKUNIQ V   13         3", "U4"}, {"24CHKUNIQ V   13        1 ", "U4"},
      {"21CHKUNIQ R            1", "U5"}, {"22CHKUNIQ R           1 ", "U4"}, {"14V_DELAY 000003", "V3"},
      {"09TRANMSG N", "F1"}, {"21WAIT_UV     07       5", "W2"}, {"22WAIT_UV     00       5", "W3"},
      {"22WAIT_UV      07      5", "W3"}, {"21INTMATH   12  /   34 ", "C6"},
      {"21INTMATH   12  %   34 ", "C5"}, {"20INTMATH   12  +   34", "C1"}, {"21INTMATH   12 +    34 ", "C5"},
      {"27CMP_INT   12  EQ   34       S", "C1"}, {"28CMP_INT   12  EQ   34       ", "C4"},
      {"29CMP_INT   12  GX   34       X", "C4"}, {"29CMP_INT   12  GX   34       S", "C5"},
      {"29CMP_INT   12  EQ   34      S ", "C4"}, {"35COMPARE     12  EQ     34          S", "C1"},
      {"36COMPARE     12  EQ     34          A", "C4"}, {"36COMPARE     12  Q      34          S", "C5"},
      {"36COMPARE      05 EQ     34          S", "C2"}, {"36COMPARE     12  EQ      05         S", "C3"},
      {"51TM_DATE 24                  03   EURO              ", "E1"},
      {"52TM_DATE 13                  20   XXXX             04", "E2"},
      {"52TM_DATE 24                  03   EURO             00", "E3"},
      {"52TM_DATE 13                  03   EURO             04", "E4"},
      {"52TM_DATE                     03   EURO             04", "E4"},
      {"52TM_DATE 24                  03   EUR              04", "E5"},
      {"52TM_DATE 24                   03  EURO             04", "E2"},
      {"52TM_DATE  24                 03   EURO             04", "E4"},
      {"52TM_DATE 24                  03    EURO            04", "E5"},
      {"53TM_DATE 24                  03   EURO              04", "E3"},
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
  call(3, "32DICOUNT S         05         04 ");
  EXPECT_EQ(vekterm::variable(4), "1");
  EXPECT_EQ(call(3, "24CHKUNIQ V   13         1"), 1);
}

TEST_F(CommandsTest, CountersStepAndAreStoredAsText) {
  for (const char *step : {"I", "i", "I", "D", "I"})
    EXPECT_EQ(call(3, "21DICOUNT " + std::string(step) + "         07 "), 0);
  call(3, "21DICOUNT D         32 ");  // stays 0
  call(3, "32DICOUNT S         07         04 ");
  call(3, "32DICOUNT s         32          1 ");
  EXPECT_EQ(vekterm::variable(4), "3");
  EXPECT_EQ(vekterm::variable(1), "0");
  call(3, "21DICOUNT r         07 ");
  call(3, "32DICOUNT S         07         19 ");
  EXPECT_EQ(vekterm::variable(19), "0");
}

// The overflow message writes its texts over whatever the top rows hold, clears nothing and waits for
// its key; the part that fits is kept, and TM_DATE still writes the time.
TEST_F(CommandsTest, AStoreThatDoesNotFitShowsTheOverflowMessage) {
  for (int i = 0; i < 12; ++i)
    call(3, "21DICOUNT I         01 ");
  // clang-format off
  const std::tuple<const char *, int, int, const char *> cases[] = {  // record, variable, room, kept
      {"32DICOUNT S         01         09 ", 9, 1, "1"},
      {"52TM_DATE 24                  03   EURO             04", 4, 5, "14.03"}};
  // clang-format on
  for (const auto &[whole, variable, capacity, kept] : cases) {
    vekterm::set_variable_capacity(variable, capacity);
    paint(0, 0, std::string(40, '#'));
    paint(1, 0, std::string(40, '='));
    script::delay(300);
    script::key('k');
    const std::int64_t start = vekterm::clock_ms();
    EXPECT_EQ(call(3, whole), 0);
    EXPECT_EQ(row(0), "VEK append too long:#" + std::string(whole).substr(0, 12) + "#######");
    EXPECT_EQ(row(1), "Press any key to continue       ========");
    EXPECT_EQ(vekterm::variable(variable), kept);
    EXPECT_EQ(vekterm::clock_ms() - start, 300) << whole;
  }
  EXPECT_EQ(vekterm::variable(3), "09:26:53");
}

// Each step: the text put into variable 13, the record, whether the text was new to the list.
TEST_F(CommandsTest, ValuesAreNewUntilSeenAmongTheLastTen) {
  const std::string one = "24CHKUNIQ V   13         1", two = "24CHKUNIQ V   13         2";
  const std::string l25(25, 'L'), l26(26, 'L');
  using Step = std::tuple<std::string, std::string, int>;
  // An empty text matches an empty entry; the lists are kept apart.
  std::vector<Step> steps = {{"", one, 0}, {"A0", one, 1}, {"A0", one, 0}, {"A0", two, 1}};
  for (int i = 1; i <= 10; ++i)
    steps.emplace_back("A" + std::to_string(i), one, 1);
  // The eleventh value overwrote the oldest, the next ten stay; 25 characters are kept and the whole text
  // compared; a reset forgets the list; other actions do nothing.
  // clang-format off
  steps.insert(steps.end(), {Step{"A0", one, 1}, {"A2", one, 0}, {l26, two, 1}, {l26, two, 1}, {l25, two, 0},
      {l25, "22CHKUNIQ r            2", 0}, {l25, two, 1}, {l25, "24CHKUNIQ Q               ", 0}});
  // clang-format on
  for (const auto &[text, whole, result] : steps) {
    vekterm::set_variable(13, text);
    EXPECT_EQ(call(3, whole), result) << text << " " << whole;
  }
  EXPECT_EQ(row(0), std::string(40, ' '));
  call(3, "32DICOUNT S         31         04 ");
  EXPECT_EQ(vekterm::variable(4), "0") << "the lists are kept apart from the counters";
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

// Each wait: the text variable 7 holds, when the event comes and what it is ('w': the terminal writes
// "ready" into the variable, 's': the host asks to stop, else a key), the limit, the result and the
// time the wait took. The value is checked after each event, the limit at the first check past a
// second; other keys are taken and ignored, and no wait outlasts the time still to go.
TEST_F(CommandsTest, WaitEndsWithAValueCancelStopOrTheLimit) {
  // clang-format off
  const std::tuple<const char *, int, int, const char *, int, int, int> cases[] = {
      {"", 2500, 'w', " 10", 1, 2500, 2500}, {"", 1200, key::Cancel, "010", 2, 1200, 1200},
      {"", 0, 's', "010", 2, 0, 0}, {"", 400, 'a', "  1", 0, 1001, 2000}, {"", 0, 0, "5  ", 0, 5001, 6000},
      {"x", 300, 'a', "  0", 1, 300, 300}, {"", 3000, 'b', "000", 0, 3000, 3000}};
  // clang-format on
  for (const auto &[value, at, event, limit, result, least, most] : cases) {
    vekterm::set_variable(7, value);
    script::delay(at);
    if (event == 'w') script::write_variable(7, "ready");
    if (event == 's') script::host_stop();
    if (event != 'w' && event != 's' && event != 0) script::key(static_cast<std::uint16_t>(event));
    const std::int64_t start = vekterm::clock_ms();
    EXPECT_EQ(call(3, "22WAIT_UV     07     " + std::string(limit)), result) << limit << " " << event;
    EXPECT_GE(vekterm::clock_ms() - start, least) << limit << " " << event;
    EXPECT_LE(vekterm::clock_ms() - start, most) << limit << " " << event;
    EXPECT_EQ(script::pending(), 0u);
  }
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
  // clang-format off
  const std::tuple<const char *, const char *, const char *, const char *> cases[] = {  // variable 12, the operator, variable 34, the result
      {"12", "+", "30", "42"}, {"2147483647", "+", "1", "-2147483648"}, {"5", "-", "9", "-4"},
      {"65536", "*", "65537", "65536"}, {"-7", "/", "2", "-3"}, {"-2147483648", "/", "-1", "-2147483648"},
      {"99999999999", "+", "- 4", "2147483647"}, {"-99999999999", "-", "+3", "2147483645"},
      {" 12abc", "+", "x7", "12"}};
  // clang-format on
  for (const auto &[a, op, b, result] : cases) {
    vekterm::set_variable(12, a);
    vekterm::set_variable(34, b);
    EXPECT_EQ(call(3, "21INTMATH   12  " + std::string(op) + "   34 "), 0);
    EXPECT_EQ(vekterm::variable(1), result) << a << op << b;
  }
}

// Each case: variables 12 and 34, the relation, the sense, what CMP_INT and COMPARE answer (-1: not asked).
TEST_F(CommandsTest, RelationsAndSensesAsIntegersAndAsTexts) {
  // clang-format off
  const std::tuple<const char *, const char *, const char *, const char *, int, int> cases[] = {
      {"10", "9", "GE", "S", 1, 0}, {"10", "9", "ge", "n", 0, 1}, {"9", "10", "LT", "S", 1, 0},
      {"9", "9", "LE", "S", 1, 1}, {"9", "9", "GT", "S", 0, 0}, {"7", "07", "EX", "s", 1, 0},
      {"7", "7", "E ", "S", 1, 1}, {"7", "07", "NE", "S", 0, 1},
      {"\xe9", "z", "GT", "S", 0, 1}, {"-3", "07", "LT", "A", 2, -1}, {"-3", "07", "GT", "a", 0, -1}};
  // clang-format on
  for (const auto &[a, b, relation, sense, cmp_int, compare] : cases) {
    vekterm::set_variable(12, a);
    vekterm::set_variable(34, b);
    const std::string what = std::string(a) + relation + b + sense;
    EXPECT_EQ(call(3, "29CMP_INT   12  " + std::string(relation) + "   34       " + sense), cmp_int) << what;
    const std::string record = "36COMPARE     12  " + std::string(relation) + "     34          " + sense;
    EXPECT_EQ(compare < 0 ? compare : call(3, record), compare) << what;
  }
}

TEST_F(CommandsTest, TimeAndDateTextsInBothStyles) {
  // clang-format off
  // The clock's hour, the record's hours and style, the texts.
  const std::tuple<int, const char *, const char *, const char *, const char *> cases[] = {
      {14, "24", "EURO", "14:05:09", "04.07.19"}, {14, "24", "amer", "14:05:09", "07/04/19"},
      {14, "12", "Euro", "02:05:09 PM", "04.07.19"}, {0, "12", "AMER", "12:05:09 AM", "07/04/19"}};
  // clang-format on
  for (const auto &[hour, hours, style, time, date] : cases) {
    vekterm::set_clock(2019, 7, 4, hour, 5, 9);
    const std::string whole =
        "52TM_DATE " + std::string(hours) + "                  03   " + style + "             04";
    EXPECT_EQ(call(3, whole), 0) << whole;
    EXPECT_EQ(vekterm::variable(3) + " " + vekterm::variable(4), std::string(time) + " " + date) << whole;
  }
}

}  // namespace
}  // namespace vektest
