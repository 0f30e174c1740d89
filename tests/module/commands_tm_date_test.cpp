// TM_DATE: the clock's time and date as texts in two user variables.
#include "commands_record.h"

namespace vektest {
namespace {

using TmDateTest = CommandsTest;

std::string tm_date(std::string_view hours, std::string_view style, std::string_view time_variable = "03",
                    std::string_view date_variable = "04", int length = 52) {
  return operands("TM_DATE", length, {{10, hours}, {30, time_variable}, {35, style}, {52, date_variable}});
}

TEST_F(TmDateTest, TimeAndDateTextsInBothStyles) {
  struct Case {
    int hour;
    const char *hours, *style, *time, *date;
  } cases[] = {{14, "24", "EURO", "14:05:09", "04.07.19"},
               {14, "24", "amer", "14:05:09", "07/04/19"},
               {14, "12", "Euro", "02:05:09 PM", "04.07.19"},
               {0, "12", "AMER", "12:05:09 AM", "07/04/19"}};
  for (const Case &c : cases) {
    vekterm::set_clock(2019, 7, 4, c.hour, 5, 9);
    EXPECT_EQ(call(3, tm_date(c.hours, c.style)), 0);
    EXPECT_EQ(vekterm::variable(3), c.time) << c.hours;
    EXPECT_EQ(vekterm::variable(4), c.date) << c.style;
  }
}

TEST_F(TmDateTest, ErrorsInCheckingOrderWriteNothing) {
  refused(tm_date("24", "EURO", "03", "", 51), "E1");
  refused(tm_date("13", "XXXX", "20"), "E2");  // variables are checked before the styles
  refused(tm_date("24", "EURO", "03", "00"), "E3");
  refused(tm_date("13", "EURO"), "E4");
  refused(tm_date("  ", "EURO"), "E4");
  refused(tm_date("24", "EUR"), "E5");
  refused(operands("TM_DATE", 52, {{10, "24"}, {31, "03"}, {35, "EURO"}, {52, "04"}}), "E2");
  refused(operands("TM_DATE", 52, {{11, "24"}, {30, "03"}, {35, "EURO"}, {52, "04"}}), "E4");
  refused(operands("TM_DATE", 52, {{10, "24"}, {30, "03"}, {36, "EURO"}, {52, "04"}}), "E5");
  refused(operands("TM_DATE", 53, {{10, "24"}, {30, "03"}, {35, "EURO"}, {53, "04"}}), "E3");
  EXPECT_EQ(vekterm::variable(3) + vekterm::variable(4), "");
}

TEST_F(TmDateTest, OverflowOfTheDateStillWritesTheTime) {
  vekterm::set_variable_capacity(4, 5);
  paint(0, 0, std::string(40, '#'));
  paint(1, 0, std::string(40, '='));
  script::key('k');
  const std::string whole = tm_date("24", "EURO");
  call(3, whole);
  EXPECT_EQ(row(0), "VEK append too long:#" + whole.substr(0, 12) + "#######");
  EXPECT_EQ(row(1), "Press any key to continue       ========");
  EXPECT_EQ(vekterm::variable(4), "14.03");
  EXPECT_EQ(vekterm::variable(3), "09:26:53");
}

}  // namespace
}  // namespace vektest
