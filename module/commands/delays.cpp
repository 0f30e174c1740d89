// V_DELAY and WAIT_UV: a pause of the host's call, and a wait for a user variable to receive a value.
#include "commands/commands.h"
#include "commands/common.h"
#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"
#include "panel/panel.h"

namespace vek {
namespace {

constexpr std::size_t kCountColumn = 10;
constexpr int kCountOffset = 8;  // the count runs from column 10 to the record's end
constexpr int kDelayLimit = 14;  // parameter length refused by V_DELAY
constexpr int kUnitsPerCount = 8;

constexpr int kWaitMinimum = 22;
constexpr std::size_t kWaitVariableColumn = 14;
constexpr std::size_t kLimitColumn = 21;

enum WaitEnding : int { kWaitTimedOut = 0, kWaitFilled = 1, kWaitCancelled = 2 };

}  // namespace

// Always 0; V3 record too long.
int v_delay(const char *record) {
  if (parameter_length() >= kDelayLimit) return refuse(record, "V3");
  // A record too short to reach column 10 has no count characters: it counts as 0.
  const int characters = parameter_length() - kCountOffset;
  const int count =
      characters > 0 ? record_number(record, kCountColumn, static_cast<std::size_t>(characters)) : 0;
  timed_wait(kUnitsPerCount * count);
  return 0;
}

// 1 the variable received a value, 2 Cancel or the terminal asked to stop, 0 the time limit passed or
// W2 record too short, W3 the variable cannot be read.
int wait_uv(const char *record) {
  if (parameter_length() < kWaitMinimum) return refuse(record, "W2");
  const int number = record_number(record, kWaitVariableColumn, 2);
  char *value = work_buffer();
  if (_ReadUserVariable(number, value) == 3) return refuse(record, "W3");
  const std::int32_t limit = static_cast<std::uint16_t>(record_number(record, kLimitColumn, 3));

  value[0] = 0;
  const std::int32_t start = seconds_count();
  std::int32_t elapsed = 0;
  while (elapsed <= limit) {
    // Each wait lasts at most until the limit can have passed: the seconds still to go, or one more
    // second once the count has reached the limit. A limit of 0 waits for the next event, however
    // long. A clock set back never makes a wait longer than the whole limit.
    std::int32_t seconds = limit - elapsed;
    if (seconds > limit) seconds = limit;
    if (seconds < 1) seconds = 1;
    _WaitEvent(limit == 0 ? 0 : seconds * 1000);
    if (_IdleManager(0) != 0) return kWaitCancelled;
    unsigned short code = 0;
    if (_KbdReadAscii(&code) == 0 && code == key::Cancel) return kWaitCancelled;
    _ReadUserVariable(number, value);
    if (value[0] != 0) return kWaitFilled;
    elapsed = seconds_count() - start;
  }
  return kWaitTimedOut;
}

}  // namespace vek
