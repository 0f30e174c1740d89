// The number layout of committed values with decimal places.
#include "panel_fixture.h"

namespace paneltest {
namespace {

using Layout = PanelTest;

TEST_F(Layout, FixedWidthNumbers) {
  struct Case {
    std::uint8_t is_signed;
    int length, precision;
    std::string before, after;  // after == before: left alone and not redrawn
  };
  const std::string forty(40, '9');
  const Case cases[] = {
      {0, 8, 2, "12.5", "00012.50"},   {1, 8, 2, " 12.5", " 0012.50"},
      {1, 8, 2, "-12.5", "-0012.50"},  {0, 8, 2, "3.14159", "00003.14"},
      {0, 8, 2, "12,5", "00012.50"},   {0, 8, 2, ".5", "00000.50"},
      {0, 8, 2, "1x.5y", "00001.5y"},  {0, 8, 2, "1234567", "1234567."},
      {0, 8, -1, "12.5", "12.5"},      {0, 8, 2, "12345678", "12345678"},
      {1, 8, 2, "1234567", "1234567"}, {0, 8, 2, "123456789012", "123456789012"},
      {0, 39, 2, forty, forty},        {0, 60, 2, "5", std::string(36, '0') + "5.00"},
  };
  for (const Case &c : cases) {
    SetUp();
    vek::Field &f = define(3, vek::kInputNum, c.length);
    f.is_signed = c.is_signed;
    f.precision = c.precision;
    vek::copy_text(f.value.data(), f.value.size(), c.before.c_str(), 40);
    vek::g_fields.dp_style = {'.', 0};
    vek::number_layout(3);
    EXPECT_EQ(std::string(f.value.data()), c.after) << '"' << c.before << '"';
    const std::string shown =
        c.after == c.before ? std::string(40, ' ') : row40(std::string(10, ' ') + c.after);
    EXPECT_EQ(row(5), shown) << '"' << c.before << '"';
  }
}

}  // namespace
}  // namespace paneltest
