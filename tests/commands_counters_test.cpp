// DICOUNT counters and CHKUNIQ uniqueness lists, kept by the module between host calls.
#include "commands_record.h"

namespace vektest {
namespace {

using CountersTest = Scenario;

// Action at column 10, counter at 20-21, target variable at 31-32.
std::string dicount(std::string_view action, std::string_view counter, std::string_view target = "",
                    int length = 32) {
  return operands("DICOUNT", length, {{10, action}, {20, counter}, {31, target}});
}

TEST_F(CountersTest, CountersStepAndAreStoredAsText) {
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(call(3, dicount("I", "07", "", 21)), 0);
  call(3, dicount("i", "32", "", 21));
  call(3, dicount("D", "08", "", 21));  // stays 0
  call(3, dicount("S", "07", "04"));
  call(3, dicount("s", "32", "19"));
  call(3, dicount("S", "08", " 1"));
  EXPECT_EQ(vekterm::variable(4), "3");
  EXPECT_EQ(vekterm::variable(19), "1");
  EXPECT_EQ(vekterm::variable(1), "0");
  call(3, dicount("D", "07", "", 21));
  call(3, dicount("S", "07", "04"));
  EXPECT_EQ(vekterm::variable(4), "2");
  call(3, dicount("r", "07", "", 21));
  call(3, dicount("S", "07", "04"));
  EXPECT_EQ(vekterm::variable(4), "0");
  EXPECT_EQ(row(0), std::string(40, ' '));
}

TEST_F(CountersTest, RefusedCallsChangeNoCounterAndReturnZero) {
  call(3, dicount("I", "05", "", 21));
  struct Case {
    std::string rest;
    const char *code;
  };
  for (const Case &c : {
           Case{dicount("I", "05", "", 20), "D1"}, Case{dicount("I", "33", "", 21), "D2"},
           Case{dicount("I", "00", "", 21), "D2"},
           Case{dicount("X", "33", "", 21), "D2"},  // the counter is checked before the action
           Case{dicount("X", "05", "", 21), "D5"}, Case{dicount("S", "05", "04", 31), "D3"},
           Case{dicount("S", "05", "20"), "D4"}, Case{dicount("S", "05", "00"), "D4"},
           Case{operands("DICOUNT", 32, {{10, "I"}, {21, "05"}}),
                "D2"},  // counter one column late: "5 " and "0"
       }) {
    script::key(key::Enter);
    EXPECT_EQ(call(3, c.rest), 0);
    EXPECT_EQ(row(0), bad_call_row(c.code, c.rest));
  }
  call(3, dicount("S", "05", "04"));
  EXPECT_EQ(vekterm::variable(4), "1");
}

// The overflow message writes its texts over whatever the top rows hold, and clears nothing.
TEST_F(CountersTest, StoreThatDoesNotFitShowsTheOverflowMessage) {
  for (int i = 0; i < 12; ++i)
    call(3, dicount("I", "01", "", 21));
  vekterm::set_variable_capacity(9, 1);
  paint(0, 0, std::string(40, '#'));
  paint(1, 0, std::string(40, '='));
  script::delay(300);
  script::key('k');
  const std::string rest = dicount("S", "01", "09");
  EXPECT_EQ(call(3, rest), 0);
  EXPECT_EQ(row(0), "VEK append too long:#" + rest.substr(0, 12) + std::string(7, '#'));
  EXPECT_EQ(row(1), "Press any key to continue       ========");
  EXPECT_EQ(vekterm::variable(9), "1") << "the part that fits is kept";
  EXPECT_EQ(vekterm::clock_ms(), 300) << "the message waits for its key";
}

// List number of V at column 25, variable at 14-15; R names its list at column 23.
std::string check(std::string_view variable, std::string_view list, int length = 24) {
  return operands("CHKUNIQ", length, {{10, "V"}, {14, variable}, {25, list}});
}
std::string reset(std::string_view list) {
  return operands("CHKUNIQ", 22, {{10, "R"}, {23, list}});
}

TEST_F(CountersTest, ValuesAreNewUntilSeenAmongTheLastTen) {
  EXPECT_EQ(call(3, check("03", "1")), 0) << "an empty text matches an empty entry";
  vekterm::set_variable(3, "A0");
  EXPECT_EQ(call(3, check("03", "1")), 1);
  EXPECT_EQ(call(3, check("03", "1")), 0);
  EXPECT_EQ(call(3, check("03", "2")), 1) << "the lists are kept apart";
  for (int i = 1; i <= 10; ++i) {
    vekterm::set_variable(3, "A" + std::to_string(i));
    EXPECT_EQ(call(3, check("03", "1")), 1) << i;
  }
  vekterm::set_variable(3, "A1");
  EXPECT_EQ(call(3, check("03", "1")), 0);
  vekterm::set_variable(3, "A0");
  EXPECT_EQ(call(3, check("03", "1")), 1) << "the eleventh value overwrote the oldest";

  const std::string long_value(26, 'L');
  vekterm::set_variable(3, long_value);
  EXPECT_EQ(call(3, check("03", "2")), 1);
  EXPECT_EQ(call(3, check("03", "2")), 1) << "only 25 characters are kept, the whole text is compared";
  vekterm::set_variable(3, long_value.substr(0, 25));
  EXPECT_EQ(call(3, check("03", "2")), 0);

  EXPECT_EQ(call(3, reset("2")), 0);
  EXPECT_EQ(call(3, check("03", "2")), 1) << "forgotten by the reset";
  vekterm::set_variable(3, "");
  EXPECT_EQ(call(3, check("03", "2")), 0);
  EXPECT_EQ(call(3, operands("CHKUNIQ", 24, {{10, "Q"}})), 0) << "other actions do nothing";
  EXPECT_EQ(row(0), std::string(40, ' '));
}

TEST_F(CountersTest, UniquenessErrors) {
  vekterm::set_variable(3, "X");
  struct Case {
    std::string rest;
    const char *code;
  };
  for (const Case &c :
       {Case{check("03", "1", 23), "U2"}, Case{check("00", "1"), "U3"}, Case{check("03", "3"), "U4"},
        Case{check("03", " 1"), "U4"}, Case{operands("CHKUNIQ", 21, {{10, "r"}, {23, ""}}), "U5"},
        Case{reset("0"), "U4"}, Case{operands("CHKUNIQ", 23, {{10, "R"}, {22, "1"}}), "U4"}}) {
    script::key(key::Enter);
    EXPECT_EQ(call(3, c.rest), 0);
    EXPECT_EQ(row(0), bad_call_row(c.code, c.rest));
  }
  EXPECT_EQ(call(3, check("03", "1")), 1) << "no error remembered the value";
}

}  // namespace
}  // namespace vektest
