// DICOUNT counters and CHKUNIQ uniqueness lists, kept by the module between host calls.
#include "commands_record.h"

namespace vektest {
namespace {

using CountersTest = CommandsTest;

std::string dicount(std::string_view action, std::string_view counter, std::string_view target = "",
                    int length = 32) {
  return operands("DICOUNT", length, {{10, action}, {20, counter}, {31, target}});
}
std::string check(std::string_view variable, std::string_view list, int length = 24) {
  return operands("CHKUNIQ", length, {{10, "V"}, {14, variable}, {25, list}});
}

TEST_F(CountersTest, CountersStepAndAreStoredAsText) {
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

  call(3, dicount("I", "05", "", 21));
  refused(dicount("I", "05", "", 20), "D1");
  refused(dicount("X", "33", "", 21), "D2");  // the counter is checked before the action
  refused(dicount("I", "00", "", 21), "D2");
  refused(operands("DICOUNT", 21, {{10, "I"}, {21, "05"}}), "D2");
  refused(dicount("X", "05", "", 21), "D5");
  refused(dicount("S", "05", "04", 31), "D3");
  refused(dicount("S", "05", "20"), "D4");
  call(3, dicount("S", "05", "04"));
  EXPECT_EQ(vekterm::variable(4), "1") << "refused calls change no counter";
}

// The overflow message writes its texts over whatever the top rows hold and clears nothing.
TEST_F(CountersTest, StoreThatDoesNotFitShowsTheOverflowMessage) {
  for (int i = 0; i < 12; ++i)
    call(3, dicount("I", "01", "", 21));
  vekterm::set_variable_capacity(9, 1);
  paint(0, 0, std::string(40, '#'));
  paint(1, 0, std::string(40, '='));
  script::delay(300);
  script::key('k');
  const std::string whole = dicount("S", "01", "09");
  EXPECT_EQ(call(3, whole), 0);
  EXPECT_EQ(row(0), "VEK append too long:#" + whole.substr(0, 12) + "#######");
  EXPECT_EQ(row(1), "Press any key to continue       ========");
  EXPECT_EQ(vekterm::variable(9), "1") << "the part that fits is kept";
  EXPECT_EQ(vekterm::clock_ms(), 300) << "the message waits for its key";
}

TEST_F(CountersTest, ValuesAreNewUntilSeenAmongTheLastTen) {
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

  refused(check("13", "1", 23), "U2");
  refused(check("00", "1"), "U3");
  refused(check("13", "3"), "U4");
  refused(operands("CHKUNIQ", 24, {{10, "V"}, {14, "13"}, {24, "1"}}), "U4");
  refused(operands("CHKUNIQ", 21, {{10, "R"}, {23, "1"}}), "U5");
  refused(operands("CHKUNIQ", 22, {{10, "R"}, {22, "1"}}), "U4");
  vekterm::set_variable(13, "new");
  EXPECT_EQ(call(3, check("13", "1")), 1) << "refused calls remember nothing";
}

}  // namespace
}  // namespace vektest
