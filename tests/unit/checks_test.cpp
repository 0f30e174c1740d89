// Value checks: the mask, list and range rules, the mod-10 check digit, and the checks on a field with
// their help records in a help file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "fields/table.h"
#include "validation/internal.h"
#include "vekterm/keys.h"
#include "vekterm/vekterm.h"

namespace {

struct Rule {
  const char *a, *b, *value;
  bool accepted;
};

TEST(ValueRules, Mask) {
  for (const Rule &r :
       {Rule{"nn-nn", "", "12-34", true}, Rule{"nn-nn", "", "12-3", true}, Rule{"nn-nn", "", "12x34", false},
        Rule{"nn-nn", "", "1a-34", false}, Rule{"a*", "", "x12!", true}, Rule{"a*", "", "1abc", false},
        Rule{"", "", "any", true}, Rule{"??", "", "abcdef", true}, Rule{"n", "", "1zz", true},
        Rule{"A?n", "", "A!7", true}, Rule{"A?n", "", "a!7", false}, Rule{"*n", "", "abc", true},
        Rule{"nnn", "", "", true}})
    EXPECT_EQ(vek::mask_accepts(r.a, r.value), r.accepted) << r.a << " / " << r.value;
}

TEST(ValueRules, ListEntry) {
  for (const Rule &r :
       {Rule{"bbbb", "", "    ", true}, Rule{"bbbb", "", "   ", false}, Rule{"bxy", "", "   ", true},
        Rule{"bbbb", "", "bbbb", false}, Rule{"abc", "", "abc", true}, Rule{"abc", "", "abcd", false},
        Rule{"ABC", "", "abc", false}})
    EXPECT_EQ(vek::list_entry_matches(r.a, r.value), r.accepted) << r.a << " / '" << r.value << "'";
}

TEST(ValueRules, Range) {
  for (const Rule &r :
       {Rule{"10.5", "20", "10.50", true}, Rule{"10.5", "20", "15", true}, Rule{"10.5", "20", "20.0", true},
        Rule{"10.5", "20", "10.49", false}, Rule{"10.5", "20", "20.01", false},
        Rule{"10.5", "20", "9.99", false}, Rule{"5", "9", ".5", true},
        Rule{"6", "9", ".5", false},  // ".5" reads as 5
        Rule{"1.05", "2", "1.1", true}, Rule{"1.05", "2", "1.04", false}, Rule{"-5", "5", "-3", true},
        Rule{"-5", "5", "-6", false}, Rule{" 10 ", "20", "1,5", false}, Rule{"0", "20", "1,5", true},
        Rule{"1", "20", "abc", false}})
    EXPECT_EQ(vek::range_accepts(r.a, r.b, r.value), r.accepted) << r.a << ".." << r.b << " / " << r.value;
}

TEST(ValueRules, CheckDigitAgainstPublishedVectors) {
  for (const Rule &r :
       {Rule{"79927398713", "", "", true}, Rule{"4992739871", "", "", false},
        Rule{"49927398716", "", "", true}, Rule{"490154203237518", "", "", true},
        Rule{"1428572", "", "", true}, Rule{"7894", "", "", false}, Rule{"78949", "", "", true},
        Rule{"4111111111111111", "", "", true}, Rule{"4111111111111112", "", "", false},
        Rule{"091", "", "", true}, Rule{"901", "", "", true}, Rule{"224", "", "", true},
        Rule{"554", "", "", true}, Rule{"0123455", "", "", true}, Rule{"0123454", "", "", false}})
    EXPECT_EQ(vek::check_digit_right(r.a), r.accepted) << r.a;
  for (char last = '0'; last <= '9'; ++last)
    EXPECT_EQ(vek::check_digit_right(std::string("7992739871") + last), last == '3') << last;
}

class FieldCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    vekterm::headless::reset();
    vek::g_fields = {};
    vek::g_fields.current_field = 2;
    vekterm::add_file("HELP.VAL", vekterm::make_image({"0030 nn-nn", "0040 10.5", "0041 20", "0050 AB",
                                                       "0052 bbb", "0053 CD"}));
  }
  static int check(int (*routine)(), const char *value, int first = 0, int second = 0,
                   const char *prefix = "") {
    vek::Field &f = vek::g_fields.fields[2];
    f.value = {};
    std::strncpy(f.value.data(), value, 40);
    f.ver_first = first;
    f.ver_second = second;
    std::snprintf(f.ver_prefix.data(), f.ver_prefix.size(), "%s", prefix);
    return routine();
  }
  // Code and text of the bad-call message on row 0; empty when none was shown.
  static std::string bad_call() {
    const std::string row = vekterm::screen_row(0);
    return row.compare(0, 9, "Bad CVEK(") == 0 ? row.substr(9, 2) + row.substr(13, 5) : "";
  }
};

TEST_F(FieldCheck, RecordsFromTheHelpFile) {
  using vek::kCheckAccepted, vek::kCheckRejected, vek::kCheckMissing;
  EXPECT_EQ(check(vek::mask_check, "12-34", 30), kCheckAccepted);
  EXPECT_EQ(check(vek::mask_check, "12-3x", 30), kCheckRejected);
  EXPECT_EQ(check(vek::list_check, "CD", 50, 53), kCheckAccepted) << "record 51 is missing and skipped";
  EXPECT_EQ(check(vek::list_check, "   ", 50, 53), kCheckAccepted);
  EXPECT_EQ(check(vek::list_check, "AB", 53, 50), kCheckRejected) << "first greater than last";
  EXPECT_EQ(check(vek::range_check, "10.50", 40, 41), kCheckAccepted);
  EXPECT_EQ(check(vek::range_check, "20.01", 40, 41), kCheckRejected);
  EXPECT_EQ(bad_call(), "");

  struct Missing {
    int (*routine)();
    int first, second;
    const char *shown;
  };
  for (const Missing &m :
       {Missing{vek::mask_check, 31, 0, "XU31   "}, Missing{vek::range_check, 39, 41, "XL39   "},
        Missing{vek::range_check, 40, 1234, "XM1234 "}}) {
    vekterm::headless::key('x');
    EXPECT_EQ(check(m.routine, "1", m.first, m.second), kCheckMissing);
    EXPECT_EQ(bad_call(), m.shown);
    EXPECT_EQ(vekterm::headless::pending(), 0u) << "the message waits for a key";
  }
}

TEST_F(FieldCheck, CheckDigitWithLeadingZeroOrPrefix) {
  using vek::kCheckAccepted, vek::kCheckRejected;
  EXPECT_EQ(check(vek::leading_zero_check, "0123455"), kCheckAccepted);
  EXPECT_EQ(check(vek::leading_zero_check, "0123454"), kCheckRejected);
  EXPECT_EQ(check(vek::leading_zero_check, "123455"), kCheckRejected) << "right digit, no leading zero";
  EXPECT_EQ(check(vek::leading_zero_check, "01234567890128"), kCheckAccepted) << "14 characters";
  EXPECT_EQ(check(vek::prefix_check, "49927398716", 0, 0, "4"), kCheckAccepted);
  EXPECT_EQ(check(vek::prefix_check, "49927398716", 0, 0, ""), kCheckAccepted);
  EXPECT_EQ(check(vek::prefix_check, "49927398716", 0, 0, "5"), kCheckRejected);
  EXPECT_EQ(check(vek::prefix_check, "79927398713", 0, 0, ""), kCheckRejected) << "first character 7";
  EXPECT_EQ(check(vek::prefix_check, "1428572", 0, 0, "14"), kCheckAccepted);
  EXPECT_EQ(check(vek::prefix_check, "1428573", 0, 0, "14"), kCheckRejected);
  EXPECT_EQ(check(vek::prefix_check, "590154203237518", 0, 0, ""), kCheckRejected);
  EXPECT_EQ(bad_call(), "") << "no length message when the characters already refuse the value";

  vekterm::headless::key('x');
  EXPECT_EQ(check(vek::leading_zero_check, "012345678901237"), kCheckRejected) << "15 characters";
  EXPECT_EQ(bad_call(), "Y3     ");
}

}  // namespace
