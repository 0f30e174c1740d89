// TM_DATE: the clock's time and date as texts in two user variables.
#include "commands_record.h"

namespace vektest {
namespace {

using TmDateTest = Scenario;

// Hour style at 10-11, time variable at 30-31, date style at 35-38, date variable at 52-53.
std::string tm_date(std::string_view hours, std::string_view style, std::string_view time_variable = "03",
                    std::string_view date_variable = "04", int length = 52) {
  return operands("TM_DATE", length, {{10, hours}, {30, time_variable}, {35, style}, {52, date_variable}});
}

TEST_F(TmDateTest, TimeAndDateTextsInBothStyles) {
  struct Case {
    int hour;
    const char *hours, *style, *time, *date;
  };
  for (const Case &c :
       {Case{14, "24", "EURO", "14:05:09", "04.07.19"}, Case{14, "24", "amer", "14:05:09", "07/04/19"},
        Case{14, "12", "Euro", "02:05:09 PM", "04.07.19"}, Case{0, "12", "AMER", "12:05:09 AM", "07/04/19"},
        Case{9, "24", "AmEr", "09:05:09", "07/04/19"}}) {
    vekterm::set_clock(2019, 7, 4, c.hour, 5, 9);
    EXPECT_EQ(call(3, tm_date(c.hours, c.style)), 0);
    EXPECT_EQ(vekterm::variable(3), c.time) << c.hours;
    EXPECT_EQ(vekterm::variable(4), c.date) << c.style;
  }
  call(3, tm_date("24", "EURO", "19", " 1"));
  EXPECT_EQ(vekterm::variable(19), "09:05:09");
  EXPECT_EQ(vekterm::variable(1), "04.07.19");
  EXPECT_EQ(row(0), std::string(40, ' '));
}

TEST_F(TmDateTest, ErrorsInCheckingOrderWriteNothing) {
  struct Case {
    std::string rest;
    const char *code;
  };
  for (const Case &c : {
           Case{tm_date("24", "EURO", "03", "", 51), "E1"},
           Case{tm_date("24", "EURO", "20"), "E2"},
           Case{tm_date("13", "XXXX", "00"), "E2"},  // variables are checked before the styles
           Case{tm_date("24", "EURO", "03", "20"), "E3"},
           Case{tm_date("24", "EURO", "03", "", 52), "E3"},
           Case{tm_date("13", "XXXX"), "E4"},
           Case{tm_date("  ", "EURO"), "E4"},
           Case{tm_date("24", "EUR"), "E5"},
           Case{operands("TM_DATE", 52, {{10, "24"}, {31, "03"}, {35, "EURO"}, {52, "04"}}), "E2"},
           Case{operands("TM_DATE", 52, {{11, "24"}, {30, "03"}, {35, "EURO"}, {52, "04"}}), "E4"},
           Case{operands("TM_DATE", 52, {{10, "24"}, {30, "03"}, {36, "EURO"}, {52, "04"}}), "E5"},
       }) {
    script::key(key::Enter);
    EXPECT_EQ(call(3, c.rest), 0);
    EXPECT_EQ(row(0), bad_call_row(c.code, c.rest));
    EXPECT_EQ(vekterm::variable(3), "");
    EXPECT_EQ(vekterm::variable(4), "");
  }
}

TEST_F(TmDateTest, OverflowOfTheDateStillWritesTheTime) {
  vekterm::set_variable_capacity(4, 5);
  paint(0, 0, std::string(40, '#'));
  paint(1, 0, std::string(40, '='));
  script::key('k');
  const std::string rest = tm_date("24", "EURO");
  call(3, rest);
  EXPECT_EQ(row(0), "VEK append too long:#" + rest.substr(0, 12) + std::string(7, '#'));
  EXPECT_EQ(row(1), "Press any key to continue       ========");
  EXPECT_EQ(vekterm::variable(4), "14.03");
  EXPECT_EQ(vekterm::variable(3), "09:26:53");
  EXPECT_EQ(script::pending(), 0u);
}

}  // namespace
}  // namespace vektest
