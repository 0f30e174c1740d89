// The formatter behind the diagnostic screen's key line.
#include "dispatch/format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vekterm/vekterm.h"

namespace {

using vek::format_text;

class FormatTest : public ::testing::Test {
 protected:
  void SetUp() override { vekterm::headless::reset(); }
  char buffer[128] = {};
};

struct Case {
  const char *format;
  std::initializer_list<vek::FormatValue> values;
  const char *text;
};

TEST_F(FormatTest, ConversionsFlagsWidthAndPrecision) {
  const Case cases[] = {
      {"100%% %q", {}, "100% q"},
      {"[%5d]", {-42}, "[-  42]"},
      {"[%05d]", {-42}, "[-0042]"},
      {"[%-5d]", {42}, "[42   ]"},
      {"[%+d|% d|%+ d]", {7, 7, 7}, "[+7| 7|+7]"},
      {"[%+4i]", {-7}, "[-  7]"},
      {"[%2d]", {12345}, "[12345]"},
      {"%d %u", {-2147483647 - 1, -1}, "-2147483648 4294967295"},
      {"%x %X %o %lx", {-1, 0xBEEF, 8, 255}, "ffffffff BEEF 10 ff"},
      {"[%08X]", {0xAB}, "[000000AB]"},
      {"[%c|%3c|%-3c]", {0x141, 'b', 'c'}, "[A|  b|c  ]"},
      {"[%.3s]", {"abcdef"}, "[abcdef]"},
      {"[%10.3s]", {"abcdef"}, "[       abc]"},
      {"[%-6,2s|%2s]", {"xyz", "abc"}, "[xy    |abc]"},
      {"[%5s]", {static_cast<const char *>(nullptr)}, "[     ]"},
      {"%n%p%d", {5}, "5"},
      {"%d %s", {}, "0 "},
      {"abc%", {}, "abc"},
      {"abc%-+ 0", {}, "abc"},
      {"abc%12", {1}, "abc"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(format_text(buffer, sizeof buffer, -1, 0, c.format, c.values), vek::kFormatDone) << c.format;
    EXPECT_STREQ(buffer, c.text) << c.format;
  }
  EXPECT_EQ(vekterm::screen_row(0), std::string(40, ' ')) << "row -1 writes nothing";
}

TEST_F(FormatTest, WritesAtRowAndColumn) {
  EXPECT_EQ(format_text(buffer, 128, 3, 5, "Key code = 0x%X  ", {0x3B00}), 0);
  EXPECT_EQ(vekterm::screen_row(3), "     Key code = 0x3B00                  ");
}

TEST_F(FormatTest, ErrorsKeepTheTextSoFarAndShowAMarker) {
  struct Error {
    const char *format;
    int result;
    const char *text, *row;
  };
  for (const Error &e : {Error{"ab%123d", vek::kFormatWidth, "ab", "ab*1*"},
                         Error{"ab%5.123s", vek::kFormatPrecision, "ab", "ab*2*"},
                         Error{"ab%d%30d", vek::kFormatTooLong, "ab7", "ab7***"}}) {
    vekterm::headless::reset();
    char small[32];
    EXPECT_EQ(format_text(small, sizeof small, 0, 0, e.format, {7, 7}), e.result) << e.format;
    EXPECT_STREQ(small, e.text);
    EXPECT_EQ(vekterm::screen_row(0), e.row + std::string(40 - std::strlen(e.row), ' '));
  }
}

TEST_F(FormatTest, TheTextAndItsNulMustFit) {
  const std::string fits(127, 'x');
  EXPECT_EQ(format_text(buffer, 128, -1, 0, fits.c_str(), {}), vek::kFormatDone);
  EXPECT_EQ(std::string(buffer), fits);
  EXPECT_EQ(format_text(buffer, 128, -1, 0, (fits + "y").c_str(), {}), vek::kFormatTooLong);
  EXPECT_EQ(format_text(buffer, 128, -1, 0, "%99d%28s", {1, ""}), vek::kFormatDone);
  EXPECT_EQ(std::strlen(buffer), 127u);
  EXPECT_EQ(format_text(buffer, 128, -1, 0, "%99d%29s", {1, ""}), vek::kFormatTooLong);
  EXPECT_EQ(std::strlen(buffer), 99u) << "the conversion that did not fit is left out whole";
  EXPECT_EQ(format_text(buffer, 128, -1, 0, "%99d%28s%%", {1, ""}), vek::kFormatTooLong);
  EXPECT_EQ(format_text(buffer, 4, -1, 0, "abc%q", {}), vek::kFormatTooLong);
  EXPECT_STREQ(buffer, "abc");
}

}  // namespace
