// INTMATH, CMP_INT and COMPARE on user variables, as the host calls them.
#include "commands_record.h"

namespace vektest {
namespace {

using IntmathTest = CommandsTest;

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

// Numbers past 32 bits are read as the nearest limit.
TEST_F(IntmathTest, ArithmeticWrapsAt32BitsAndDivisionTruncates) {
  struct Case {
    const char *a, *op, *b, *result;
  } cases[] = {{"12", "+", "30", "42"},
               {"2147483647", "+", "1", "-2147483648"},
               {"5", "-", "9", "-4"},
               {"65536", "*", "65537", "65536"},
               {"-7", "/", "2", "-3"},
               {"-2147483648", "/", "-1", "-2147483648"},
               {"99999999999", "+", "- 4", "2147483647"},
               {"-99999999999", "-", "+3", "2147483645"},
               {" 12abc", "+", "x7", "12"}};
  for (const Case &c : cases) {
    vekterm::set_variable(12, c.a);
    vekterm::set_variable(34, c.b);
    EXPECT_EQ(call(3, intmath(c.op)), 0);
    EXPECT_EQ(vekterm::variable(1), c.result) << c.a << c.op << c.b;
  }
  vekterm::set_variable(34, "abc");
  for (const char *op : {"/", "%"})
    refused(intmath(op), *op == '/' ? "C6" : "C5");
  refused(intmath("+", 20), "C1");
  refused(operands("INTMATH", 21, {{12, "12"}, {15, "+"}, {20, "34"}}), "C5");
  EXPECT_EQ(vekterm::variable(1), "12") << "left alone by refused calls";
}

TEST_F(IntmathTest, RelationsAndSensesAsIntegersAndAsTexts) {
  struct Case {
    const char *a, *b, *relation, *sense;
    int cmp_int, compare;
  } cases[] = {{"10", "9", "GE", "S", 1, 0}, {"10", "9", "ge", "n", 0, 1}, {"9", "10", "LT", "S", 1, 0},
               {"9", "9", "LE", "S", 1, 1},  {"9", "9", "GT", "S", 0, 0},  {"7", "07", "EX", "s", 1, 0},
               {"7", "7", "E ", "S", 1, 1},  {"7", "07", "NE", "S", 0, 1}, {"\xe9", "z", "GT", "S", 0, 1}};
  for (const Case &c : cases) {
    vekterm::set_variable(12, c.a);
    vekterm::set_variable(34, c.b);
    EXPECT_EQ(call(3, cmp_int(c.relation, c.sense)), c.cmp_int) << c.a << c.relation << c.b << c.sense;
    EXPECT_EQ(call(3, compare(c.relation, c.sense)), c.compare) << c.a << c.relation << c.b << c.sense;
  }
  vekterm::set_variable(12, "-3");
  EXPECT_EQ(call(3, cmp_int("LT", "A")), 2);
  EXPECT_EQ(call(3, cmp_int("GT", "a")), 0);
}

TEST_F(IntmathTest, ComparisonErrorsInCheckingOrder) {
  refused(cmp_int("EQ", "S", 27), "C1");
  refused(cmp_int("EQ", "", 28), "C4");  // the record ends before the sense column
  refused(cmp_int("GX", "X"), "C4");     // the sense is checked before the relation
  refused(cmp_int("GX", "S"), "C5");
  refused(operands("CMP_INT", 29, {{12, "12"}, {16, "EQ"}, {21, "34"}, {29, "S"}}), "C4");
  refused(compare("EQ", "S", 35), "C1");
  refused(compare("EQ", "A"), "C4");
  refused(compare("Q ", "S"), "C5");
  refused(operands("COMPARE", 36, {{15, "05"}, {18, "EQ"}, {25, "34"}, {37, "S"}}), "C2");  // variable 0
  refused(operands("COMPARE", 36, {{14, "12"}, {18, "EQ"}, {26, "05"}, {37, "S"}}), "C3");
}

}  // namespace
}  // namespace vektest
