// INTMATH, CMP_INT and COMPARE on user variables, as the host calls them.
#include "commands_record.h"

namespace vektest {
namespace {

using IntmathTest = Scenario;

// Variables 5 and 6 hold the operands; column 16 the operator.
std::string intmath(std::string_view op, int length = 21) {
  return operands("INTMATH", length, {{12, "05"}, {16, op}, {20, "06"}});
}

TEST_F(IntmathTest, ArithmeticWrapsAt32BitsAndDivisionTruncates) {
  struct Case {
    const char *a, *op, *b, *result;
  };
  for (const Case &c :
       {Case{"12", "+", "30", "42"}, Case{"2147483647", "+", "1", "-2147483648"}, Case{"5", "-", "9", "-4"},
        Case{"65536", "*", "65537", "65536"}, Case{"-7", "/", "2", "-3"}, Case{"7", "/", "-2", "-3"},
        Case{"-2147483648", "/", "-1", "-2147483648"}, Case{" 12abc", "+", "x7", "12"}}) {
    vekterm::set_variable(5, c.a);
    vekterm::set_variable(6, c.b);
    vekterm::set_variable(1, "old");
    EXPECT_EQ(call(3, intmath(c.op)), 0);
    EXPECT_EQ(vekterm::variable(1), c.result) << c.a << c.op << c.b;
  }
  EXPECT_EQ(row(0), std::string(40, ' ')) << "no message on success";
}

TEST_F(IntmathTest, RefusedCallsLeaveVariableOneAlone) {
  vekterm::set_variable(5, "8");
  vekterm::set_variable(6, "0");
  vekterm::set_variable(7, "abc");
  struct Case {
    std::string rest;
    const char *code;
  };
  for (const Case &c : {Case{intmath("+", 20), "C1"}, Case{intmath("%"), "C5"}, Case{intmath("/"), "C6"},
                        Case{operands("INTMATH", 21, {{12, "05"}, {16, "/"}, {20, "07"}}), "C6"},
                        Case{operands("INTMATH", 21, {{12, "05"}, {15, "+"}, {20, "06"}}), "C5"}}) {
    vekterm::set_variable(1, "old");
    script::key(key::Enter);
    EXPECT_EQ(call(3, c.rest), 0);
    EXPECT_EQ(row(0), bad_call_row(c.code, c.rest));
    EXPECT_EQ(vekterm::variable(1), "old") << c.rest;
  }
}

// CMP_INT: variables at 12-13 and 21-22, relation at 16-17, sense at 30.
std::string cmp_int(std::string_view relation, std::string_view sense, int length = 29) {
  return operands("CMP_INT", length, {{12, "05"}, {16, relation}, {21, "06"}, {30, sense}});
}
// COMPARE: variables at 14-15 and 25-26, relation at 18-19, sense at 37.
std::string compare(std::string_view relation, std::string_view sense, int length = 36,
                    std::string_view first = "05") {
  return operands("COMPARE", length, {{14, first}, {18, relation}, {25, "06"}, {37, sense}});
}

TEST_F(IntmathTest, RelationsAndSensesGiveTheHostsResult) {
  struct Case {
    const char *a, *b, *relation, *sense;
    int cmp_int, compare;  // what each command returns for the pair
  };
  for (const Case &c : {
           Case{"10", "9", "GE", "S", 1, 0},  // integers against characters
           Case{"10", "9", "ge", "n", 0, 1}, Case{"9", "10", "LT", "S", 1, 0},
           Case{"9", "9", "LE", "S", 1, 1}, Case{"9", "9", "GT", "S", 0, 0}, Case{"7", "07", "EQ", "S", 1, 0},
           Case{"7", "07", "EX", "s", 1, 0}, Case{"7", "7", "E ", "S", 1, 1},
           Case{"7", "07", "NE", "S", 0, 1}, Case{"b", "a", "lt", "S", 0, 0},
           Case{"\xe9", "z", "GT", "S", 0, 1},  // bytes compare unsigned
       }) {
    vekterm::set_variable(5, c.a);
    vekterm::set_variable(6, c.b);
    EXPECT_EQ(call(3, cmp_int(c.relation, c.sense)), c.cmp_int) << c.a << c.relation << c.b << c.sense;
    EXPECT_EQ(call(3, compare(c.relation, c.sense)), c.compare) << c.a << c.relation << c.b << c.sense;
  }
  vekterm::set_variable(5, "3");
  vekterm::set_variable(6, "4");
  EXPECT_EQ(call(3, cmp_int("LT", "A")), 2);
  EXPECT_EQ(call(3, cmp_int("GT", "a")), 0);
}

TEST_F(IntmathTest, ComparisonErrorsInCheckingOrder) {
  vekterm::set_variable(5, "1");
  vekterm::set_variable(6, "1");
  struct Case {
    std::string rest;
    const char *code;
  };
  for (const Case &c : {
           Case{cmp_int("EQ", "S", 27), "C1"},
           Case{cmp_int("EQ", "", 28), "C4"},  // ends before the sense column
           Case{cmp_int("GX", "S"), "C5"},
           Case{cmp_int("GX", "X"), "C4"},  // the sense is checked first
           Case{operands("CMP_INT", 29, {{12, "05"}, {16, "EQ"}, {21, "06"}, {29, "S"}}), "C4"},
           Case{compare("EQ", "S", 35), "C1"},
           Case{compare("EQ", "A"), "C4"},
           Case{compare("Q ", "S"), "C5"},
           Case{compare("EQ", "S", 36, "00"), "C2"},  // variable 0 cannot be read
           Case{operands("COMPARE", 36, {{14, "05"}, {18, "EQ"}, {26, "0"}, {37, "S"}}), "C3"},
       }) {
    script::key(key::Enter);
    EXPECT_EQ(call(3, c.rest), 0) << c.rest;
    EXPECT_EQ(row(0), bad_call_row(c.code, c.rest));
  }
}

}  // namespace
}  // namespace vektest
