// The mod-10 check digit of the B and T value checks.
#include <gtest/gtest.h>

#include "validation/internal.h"

namespace {

TEST(ValueRules, CheckDigitAgainstPublishedVectors) {
  for (const char *valid : {"79927398713", "49927398716", "490154203237518", "1428572", "78949",
                            "4111111111111111", "091", "901", "224", "554", "0123455"})
    EXPECT_TRUE(vek::check_digit_right(valid)) << valid;
  for (const char *invalid :
       {"4992739871", "7894", "4111111111111112", "0123454", "79927398710", "79927398719"})
    EXPECT_FALSE(vek::check_digit_right(invalid)) << invalid;
}

}  // namespace
