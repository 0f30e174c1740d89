// POPUPWN: opens an empty boxed window for the host, or puts back the screen under it.
#include "commands/commands.h"
#include "dispatch/dispatch.h"

namespace vek {
namespace {

constexpr std::size_t kActionColumn = 10;
constexpr std::size_t kLinesColumn = 16;
constexpr std::size_t kAttributeColumn = 24;
constexpr int kOpenMinimum = 23;
constexpr int kRestoreMinimum = 9;

}  // namespace

// Always 0; P2 open record too short, P3 line count outside 1..16, P4 restore record too short.
int popupwn(const char *record) {
  const char action = record_char(record, kActionColumn);
  std::int32_t lines = 0, width = 0;
  std::uint8_t row = 0, col = 0;
  if (action == 'C' || action == 'c') {
    if (parameter_length() < kOpenMinimum) {
      bad_call(record, "P2");
      return 0;
    }
    char digits[3] = {};
    record_columns(record, kLinesColumn, 2, digits, sizeof digits);
    const int count = decimal_value(digits);
    if (count < 1 || count > 16) {
      bad_call(record, "P3");
      return 0;
    }
    const char flag = record_char(record, kAttributeColumn);
    const std::uint8_t attribute = (flag == 'N' || flag == 'n') ? 0 : 1;
    window(action, attribute, count, &lines, &width, &row, &col);
  } else if (action == 'R' || action == 'r') {
    if (parameter_length() < kRestoreMinimum) {
      bad_call(record, "P4");
      return 0;
    }
    window(action, 0, 0, &lines, &width, &row, &col);
  }
  return 0;
}

}  // namespace vek
