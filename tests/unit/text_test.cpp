// The decimal reader every command uses for its numbers, and the bounded copies.
#include <gtest/gtest.h>

#include "dispatch/dispatch.h"

namespace {

TEST(DecimalValue, ReadsLeadingDigitsLikeTheStandardConversion) {
  struct Case {
    const char *text;
    int value;
  };
  for (const Case &c : {Case{"12", 12}, Case{"  7x", 7}, Case{"-15", -15}, Case{"+3", 3}, Case{"x9", 0},
                        Case{"", 0}, Case{"- 4", 0}, Case{"0012", 12}, Case{"99999999999", 2147483647},
                        Case{"-99999999999", -2147483647 - 1}})
    EXPECT_EQ(vek::decimal_value(c.text), c.value) << '"' << c.text << '"';
}

TEST(RecordColumns, StopsAtTheRecordsEndAndAtTheBuffer) {
  char out[4];
  EXPECT_EQ(vek::record_columns("0123456789", 2, 5, out, sizeof out), 3u);
  EXPECT_STREQ(out, "234");
  EXPECT_EQ(vek::record_columns("01", 5, 2, out, sizeof out), 0u) << "columns past the end";
  EXPECT_STREQ(out, "");
  EXPECT_EQ(vek::record_char("abc", 3), 0);
  EXPECT_EQ(vek::record_char("abc", 30), 0);
  EXPECT_EQ(vek::record_char("abc", 1), 'b');
}

}  // namespace

namespace {

TEST(DecimalText, WritesSignedValuesWithinTheBuffer) {
  char out[12];
  EXPECT_EQ(vek::decimal_text(0, out, sizeof out), 1u);
  EXPECT_STREQ(out, "0");
  vek::decimal_text(-2147483647 - 1, out, sizeof out);
  EXPECT_STREQ(out, "-2147483648");
  char small[4];
  EXPECT_EQ(vek::decimal_text(123456, small, sizeof small), 3u);
  EXPECT_STREQ(small, "123");
}

}  // namespace

namespace {

TEST(TextPart, NeverReachesPastTheText) {
  struct Case {
    std::size_t from, count;
    const char *part;
  };
  for (const Case &c : {Case{0, 3, "abc"}, Case{2, 10, "cde"}, Case{5, 1, ""}, Case{9, 1, ""},
                        Case{1, std::string_view::npos, "bcde"}})
    EXPECT_EQ(vek::text_part("abcde", c.from, c.count), c.part) << c.from << ',' << c.count;
  EXPECT_TRUE(vek::begins_with("$OK$12", "$OK$"));
  EXPECT_FALSE(vek::begins_with("$OK", "$OK$"));
}

}  // namespace
