// Value rules: the mask, list and range rules and the mod-10 check digit.
#include <gtest/gtest.h>

#include "validation/internal.h"

namespace {

struct Rule {
  const char *a, *b, *value;
  bool accepted;
};

TEST(ValueRules, MaskListAndRange) {
  for (const Rule &r :
       {Rule{"nn-nn", "", "12-34", true}, Rule{"nn-nn", "", "12-3", true}, Rule{"nn-nn", "", "12x34", false},
        Rule{"nn-nn", "", "1a-34", false}, Rule{"a*", "", "Z12!", true}, Rule{"a*", "", "1abc", false},
        Rule{"", "", "any", true}, Rule{"??", "", "abcdef", true}, Rule{"A?n", "", "A!7", true},
        Rule{"A?n", "", "a!7", false}, Rule{"*n", "", "abc", true}})
    EXPECT_EQ(vek::mask_accepts(r.a, r.value), r.accepted) << r.a << " / " << r.value;
  for (const Rule &r :
       {Rule{"bbbb", "", "    ", true}, Rule{"bbbb", "", "   ", false}, Rule{"bxy", "", "   ", true},
        Rule{"bbbb", "", "bbbb", false}, Rule{"abc", "", "abc", true}, Rule{"abc", "", "abcd", false}})
    EXPECT_EQ(vek::list_entry_matches(r.a, r.value), r.accepted) << r.a << " / '" << r.value << "'";
  for (const Rule &r :
       {Rule{"10.5", "20", "10.50", true}, Rule{"10.5", "20", "15", true}, Rule{"10.5", "20", "20.0", true},
        Rule{"10.5", "20", "10.49", false}, Rule{"10.5", "20", "20.01", false},
        Rule{"10.5", "20", "9.99", false}, Rule{"5", "9", ".5", true}, Rule{"6", "9", ".5", false},
        Rule{"1.05", "2", "1.1", true}, Rule{"1.05", "2", "1.04", false}, Rule{"-5", "5", "-3", true},
        Rule{"-5", "5", "-6", false}, Rule{"0", "20", "1,5", true}, Rule{"1", "20", "abc", false}})
    EXPECT_EQ(vek::range_accepts(r.a, r.b, r.value), r.accepted) << r.a << ".." << r.b << " / " << r.value;
}

TEST(ValueRules, CheckDigitAgainstPublishedVectors) {
  for (const char *valid : {"79927398713", "49927398716", "490154203237518", "1428572", "78949",
                            "4111111111111111", "091", "901", "224", "554", "0123455"})
    EXPECT_TRUE(vek::check_digit_right(valid)) << valid;
  for (const char *invalid :
       {"4992739871", "7894", "4111111111111112", "0123454", "79927398710", "79927398719"})
    EXPECT_FALSE(vek::check_digit_right(invalid)) << invalid;
}

}  // namespace
