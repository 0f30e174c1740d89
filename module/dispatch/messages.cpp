// Bad-call and overflow messages on the top two rows of the screen.
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"

namespace vek {
namespace {

constexpr std::string_view kBlankRow = "                                        ";
constexpr std::string_view kBadCall = "Bad CVEK(  ):";
constexpr std::string_view kOverflow = "VEK append too long:";
constexpr std::string_view kPressAnyKey = "Press any key to continue       ";
static_assert(kBlankRow.size() == kScreenColumns && kBadCall.size() == 13 && kOverflow.size() == 20 &&
              kPressAnyKey.size() == 32);

constexpr std::size_t kBadCallExcerpt = 18;
constexpr std::size_t kOverflowExcerpt = 12;

}  // namespace

int key_wait() {
  unsigned short code = 0;
  int result = _KbdReadAscii(&code);
  while (result == 5) {
    _WaitEvent(0);
    result = _KbdReadAscii(&code);
  }
  return result;
}

int bad_call(const char *excerpt, const char *code) {
  write_text(kBlankRow, 0, 0);
  write_text(kBlankRow, 1, 0);
  write_text(kBadCall, 0, 0);
  int scratch = 0;
  _VioWrtCharStr(code, 2, 0, 9, &scratch, 0);
  const std::size_t n = copy_text(work_buffer(), kWorkSize, excerpt, kBadCallExcerpt);
  write_text(std::string_view(work_buffer(), n), 0, 13);
  write_text(kPressAnyKey, 1, 0);
  return key_wait();
}

int overflow_message(const char *excerpt) {
  write_text(kOverflow, 0, 0);
  const std::size_t n = copy_text(work_buffer(), kWorkSize, excerpt, kOverflowExcerpt);
  write_text(std::string_view(work_buffer(), n), 0, 21);
  write_text(kPressAnyKey, 1, 0);
  return key_wait();
}

}  // namespace vek
