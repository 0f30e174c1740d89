// DICOUNT and CHKUNIQ: 32 counters and two rings of recently seen values, kept from load to unload.
#include <array>
#include <cstring>

#include "commands/commands.h"
#include "commands/common.h"
#include "commands/counters.h"
#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"

namespace vek {

namespace {

constexpr std::size_t kAction = 10;
constexpr std::size_t kCounterColumn = 20;
constexpr std::size_t kTargetColumn = 31;
constexpr int kCounterMinimum = 21;
constexpr int kStoreMinimum = 32;

constexpr std::size_t kVariableColumn = 14;
constexpr std::size_t kCheckListColumn = 25;
constexpr std::size_t kResetListColumn = 23;
constexpr int kCheckMinimum = 24;
constexpr int kResetMinimum = 22;

// List index 0 or 1 from the digit in `column`, or -1.
int list_index(const char *record, std::size_t column) {
  const char digit = record_char(record, column);
  return (digit == '1' || digit == '2') ? digit - '1' : -1;
}

}  // namespace

// Always 0; D1 record too short, D2 counter outside 1..32, D3 store record too short, D4 target
// variable outside 1..19, D5 unknown action.
int dicount(const char *record) {
  if (parameter_length() < kCounterMinimum) return refuse(record, "D1");
  const int number = record_number(record, kCounterColumn, 2);
  if (number < 1 || number > kCounters) return refuse(record, "D2");
  const char action = upper(record_char(record, kAction));
  int target = 0;
  if (action == 'S') {
    if (parameter_length() < kStoreMinimum) return refuse(record, "D3");
    target = record_number(record, kTargetColumn, 2);
    if (target < 1 || target > 19) return refuse(record, "D4");
  }
  std::uint32_t &counter = g_counters.counters[static_cast<std::size_t>(number - 1)];
  switch (action) {
    case 'I':
      ++counter;
      break;
    case 'D':
      if (counter > 0) --counter;
      break;
    case 'R':
      counter = 0;
      break;
    case 'S': {
      // The text is that of the signed value: a counter beyond 2147483647 reads as negative.
      char text[kDecimalTextSize];
      decimal_text(static_cast<std::int32_t>(counter), text, sizeof text);
      if (_WriteUserVariable(target, text) == 5) overflow_message(record);
      break;
    }
    default:
      bad_call(record, "D5");
      break;
  }
  return 0;
}

// 1 when the value was new to the list and is now remembered; 0 when it was seen among the last ten,
// after a reset, for another action letter, or after U2 to U5.
int chkuniq(const char *record) {
  const char action = upper(record_char(record, kAction));
  if (action == 'R') {
    if (parameter_length() < kResetMinimum) return refuse(record, "U5");
    const int list = list_index(record, kResetListColumn);
    if (list < 0) return refuse(record, "U4");
    // The ring position stays where it is: the next new value goes where it would have gone.
    for (auto &entry : g_counters.entries[static_cast<std::size_t>(list)])
      entry[0] = 0;
    return 0;
  }
  if (action != 'V') return 0;

  if (parameter_length() < kCheckMinimum) return refuse(record, "U2");
  char *value = work_buffer();
  value[0] = 0;
  if (_ReadUserVariable(record_number(record, kVariableColumn, 2), value) == 3) return refuse(record, "U3");
  value[kWorkSize - 1] = 0;
  const int list = list_index(record, kCheckListColumn);
  if (list < 0) return refuse(record, "U4");

  auto &ring = g_counters.entries[static_cast<std::size_t>(list)];
  // The whole text is compared, so a value longer than an entry keeps never matching.
  for (const auto &entry : ring)
    if (std::strcmp(entry.data(), value) == 0) return 0;
  std::uint8_t &next = g_counters.next[static_cast<std::size_t>(list)];
  copy_text(ring[next].data(), ring[next].size(), value, kEntryText);
  next = static_cast<std::uint8_t>((next + 1) % kEntries);
  return 1;
}

}  // namespace vek
