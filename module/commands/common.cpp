// Small routines shared by the utility commands.
#include "commands/common.h"

#include "dispatch/dispatch.h"

namespace vek {

int refuse(const char *record, const char *code) {
  bad_call(record, code);
  return 0;
}

int record_number(const char *record, std::size_t column, std::size_t width) {
  char digits[8] = {};
  record_columns(record, column, width, digits, sizeof digits);
  return decimal_value(digits);
}

}  // namespace vek
