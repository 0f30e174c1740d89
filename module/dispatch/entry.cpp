// The module's entry point: reasons, the command record and the command table, the start-up banner.
#include <cstring>

#include "commands/commands.h"
#include "dispatch/dispatch.h"
#include "fields/fields.h"
#include "panel/panel.h"

namespace vek {
namespace {

enum class Compare : std::uint8_t { WholeName, First7 };  // stricmp, or strnicmp over 7 characters
enum class Result : std::uint8_t { Handler, Zero };       // what main returns for the command

struct Command {
  const char *name;                    // exactly 7 characters
  Compare compare;                     // how the decoded name is compared
  int (*handler)(const char *record);  // receives the whole record, column 0 included
  Result result;                       // Zero: main returns 0 whatever the handler gave
};

constexpr std::size_t kNameLength = 7;

int clear_panel_command(const char *) {
  return clear_p();
}
int set_field_command(const char *record);

// Compared in this order; the first match selects the handler.
constexpr Command kCommands[] = {
    {"DICOUNT", Compare::WholeName, dicount, Result::Zero},
    {"POPUPWN", Compare::WholeName, popupwn, Result::Zero},
    {"COMPARE", Compare::WholeName, compare, Result::Handler},
    {"CMP_INT", Compare::WholeName, cmp_int, Result::Handler},
    {"INTMATH", Compare::WholeName, intmath, Result::Handler},
    {"CHKUNIQ", Compare::WholeName, chkuniq, Result::Handler},
    {"TM_DATE", Compare::WholeName, tm_date, Result::Handler},
    {"TRANMSG", Compare::WholeName, tranmsg, Result::Handler},
    {"V_DELAY", Compare::WholeName, v_delay, Result::Handler},
    {"CLEAR_P", Compare::First7, clear_panel_command, Result::Handler},
    {"SET_FIE", Compare::First7, set_field_command, Result::Handler},
    {"EXEC_PA", Compare::First7, exec_pa, Result::Handler},
    {"SET_HEL", Compare::First7, set_hel, Result::Handler},
    {"WAIT_UV", Compare::WholeName, wait_uv, Result::Handler},
};

// Every row names a command of exactly seven characters.
constexpr bool names_complete() {
  for (const Command &command : kCommands)
    if (!command.name || std::string_view(command.name).size() != kNameLength) return false;
  return true;
}
static_assert(names_complete(), "every command has its seven-character name");

// Notice line of the banner: 13 characters on one row and 20 on the next.
constexpr std::string_view kBannerTitle = "VEK Panel Driver 1.43";
constexpr std::string_view kNoticeFirst = "Copyright (c)";
constexpr std::string_view kNoticeSecond = "2026, vekpanel team.";
static_assert(kBannerTitle.size() == 21 && kNoticeFirst.size() == 13 && kNoticeSecond.size() == 20);

// Shown before the first SET_FIE after load or after reason 0 or 2; the screen under it comes back
// before the command runs.
void banner() {
  g_dispatch.banner_flag = 1;
  std::int32_t lines = 0, width = 0;
  std::uint8_t row = 0, column = 0;
  window('C', 0, 3, &lines, &width, &row, &column);
  write_text(kBannerTitle, row, column);
  write_text(kNoticeFirst, row + 1, column);
  write_text(kNoticeSecond, row + 2, column);
  timed_wait(50);
  window('R', 0, 0, &lines, &width, &row, &column);
}

int set_field_command(const char *record) {
  if (g_dispatch.banner_flag == 0) banner();
  return set_fie(record);
}

bool matches(const Command &command, const char *name) {
  return command.compare == Compare::WholeName ? stricmp(name, command.name) == 0
                                               : strnicmp(name, command.name, kNameLength) == 0;
}

int command_call(const char *record) {
  if (!record) record = "";
  char name[kNameLength + 1] = {};
  std::size_t have = 0;  // characters of the record known to exist, so nothing past its NUL is read
  while (have < 2 && record[have] != 0)
    ++have;
  if (have == 2) copy_text(name, sizeof name, record + 2, kNameLength);

  copy_text(work_buffer(), kWorkSize, record, 2);
  g_dispatch.parameter_length = decimal_value(work_buffer());

  for (const Command &command : kCommands) {
    if (!matches(command, name)) continue;
    const int result = command.handler(record);
    return command.result == Result::Zero ? 0 : result;
  }
  bad_call(record, "M1");
  return 0;
}

void discard_screen_state() {
  std::int32_t lines = 0, width = 0;
  std::uint8_t row = 0, column = 0;
  window('X', 0, 0, &lines, &width, &row, &column);
  g_dispatch.banner_flag = 0;
}

}  // namespace

int entry(int reason, const char *record) {
  switch (reason) {
    case 0:
    case 2:
      discard_screen_state();
      return 0;
    case 3:
      return command_call(record);
    case 4:
      g_dispatch.trace_flag = g_dispatch.trace_flag == 1 ? 0 : 1;
      return 0;
    case 5:
      diagnostic_screen();
      return 0;
    default:
      return 0;
  }
}

}  // namespace vek

// The one exported symbol. Its C name is `main`, as hosts look it up; the C++ name keeps the compiler
// from treating it as a program's entry point.
extern "C" __attribute__((visibility("default"))) int vekpanel_main(int reason,
                                                                    const char *record) __asm__("main");

extern "C" int vekpanel_main(int reason, const char *record) {
  return vek::entry(reason, record);
}
