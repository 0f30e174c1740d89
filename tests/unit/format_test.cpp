// The formatter behind the diagnostic screen's key line.
#include "dispatch/format.h"

#include <gtest/gtest.h>

#include <string>

#include "vekterm/vekterm.h"

namespace {

using vek::format_text;

class FormatTest : public ::testing::Test {
 protected:
  void SetUp() override { vekterm::headless::reset(); }
  char buffer[128] = {};
};

TEST_F(FormatTest, ConversionsFlagsWidthAndPrecision) {
  struct Case {
    const char *format;
    std::initializer_list<vek::FormatValue> values;  // held in an aggregate, their array lives as long
    const char *text;
  };
  // clang-format off
  const Case cases[] = {
      {"100%% %q", {}, "100% q"}, {"abc%-+ 0", {}, "abc"}, {"abc%12", {1}, "abc"},
      {"[%c|%3c|%-3c]", {0x141, 'b', 'c'}, "[A|  b|c  ]"},
      {"[%5d|%05d|%-5d|%+d|% d|%+4i]", {-42, -42, 42, 7, 7, -7}, "[-  42|-0042|42   |+7| 7|-  7]"},
      {"%2d %d %u", {12345, -2147483647 - 1, -1}, "12345 -2147483648 4294967295"},
      {"%x %X %o %lx [%08X]", {-1, 0xBEEF, 8, 255, 0xAB}, "ffffffff BEEF 10 ff [000000AB]"},
      {"[%.3s|%10.3s|%-6,2s|%2s]", {"abcdef", "abcdef", "xyz", "abc"}, "[abcdef|       abc|xy    |abc]"},
      {"%n%p%d [%3s]", {5}, "5 [   ]"},  // n and p take no value; missing values are 0 or empty
  };
  // clang-format on
  for (const auto &[format, values, text] : cases) {
    EXPECT_EQ(format_text(buffer, sizeof buffer, -1, 0, format, values), vek::kFormatDone) << format;
    EXPECT_STREQ(buffer, text) << format;
  }
  EXPECT_EQ(vekterm::screen_row(0), std::string(40, ' ')) << "row -1 writes nothing";
  EXPECT_EQ(format_text(buffer, 128, 3, 5, "Key code = 0x%X  ", {0x3B00}), vek::kFormatDone);
  EXPECT_EQ(vekterm::screen_row(3), "     Key code = 0x3B00                  ");
}

TEST_F(FormatTest, ErrorsKeepTheTextSoFarAndShowAMarker) {
  // The format, the result, and row 2 as shown: the text kept up to the first '*', then the marker.
  // clang-format off
  const std::tuple<const char *, int, const char *> cases[] = {
      {"ab%123d", vek::kFormatWidth, "ab*1*"}, {"ab%5.123s", vek::kFormatPrecision, "ab*2*"},
      {"ab%d%30d", vek::kFormatTooLong, "ab7***"}};
  // clang-format on
  for (const auto &[format, result, row] : cases) {
    char small[32];
    EXPECT_EQ(format_text(small, sizeof small, 2, 0, format, {7, 7}), result) << format;
    EXPECT_EQ(std::string(small) + "*", std::string(row).substr(0, std::string(row).find('*') + 1));
    EXPECT_EQ(vekterm::screen_row(2).substr(0, 8), (row + std::string(8, ' ')).substr(0, 8));
  }
}

TEST_F(FormatTest, TheTextAndItsNulMustFit) {
  const std::string fits(127, 'x');
  EXPECT_EQ(format_text(buffer, 128, -1, 0, fits.c_str(), {}), vek::kFormatDone);
  EXPECT_EQ(std::string(buffer), fits);
  EXPECT_EQ(format_text(buffer, 128, -1, 0, (fits + "y").c_str(), {}), vek::kFormatTooLong);
  EXPECT_EQ(format_text(buffer, 128, -1, 0, "%99d%28s", {1, ""}), vek::kFormatDone);
  EXPECT_EQ(format_text(buffer, 128, -1, 0, "%99d%29s", {1, ""}), vek::kFormatTooLong);
  EXPECT_EQ(std::string(buffer).size(), 99u) << "the conversion that did not fit is left out whole";
  EXPECT_EQ(format_text(buffer, 4, -1, 0, "abc%q", {}), vek::kFormatTooLong);
  EXPECT_STREQ(buffer, "abc");
}

}  // namespace
