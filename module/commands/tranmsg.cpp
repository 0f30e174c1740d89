// TRANMSG: hands the whole record to the terminal's transaction-message service.
#include "commands/commands.h"
#include "commands/common.h"
#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"

namespace vek {

// Always 0; F1 record too short.
int tranmsg(const char *record) {
  if (parameter_length() < 10) return refuse(record, "F1");
  const char flag = record_char(record, 10);
  _TransactionMsg(flag == 'N' || flag == 'n' ? 0 : 1, parameter_length(), record);
  return 0;
}

}  // namespace vek
