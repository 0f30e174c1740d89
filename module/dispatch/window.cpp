// Window service (boxed pop-up with its save buffer) and the timed wait.
#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"
#include "fields/help_records.h"

namespace vek {
namespace {

constexpr int kMaxLines = kWindowSlots - 2;
constexpr int kBoxColumn = 2;
constexpr int kBoxWidth = 24;
constexpr int kInteriorWidth = kPopupLineWidth;
constexpr std::uint8_t kInteriorRow = 2;
constexpr std::uint8_t kInteriorColumn = 3;

constexpr std::string_view kBorder = "+----------------------+";
constexpr std::string_view kSides = "|                      |";
static_assert(kBorder.size() == kBoxWidth && kSides.size() == kBoxWidth && 2 * kBoxWidth <= kWindowSlotBytes);

void draw(std::string_view text, int row, std::uint8_t attribute) {
  int scratch = 0;
  _VioWrtCharStrAtt(text.data(), kBoxWidth, row, kBoxColumn, attribute, &scratch, 0);
}

}  // namespace

int window(char mode, std::uint8_t attribute, int lines, std::int32_t *out_lines, std::int32_t *out_width,
           std::uint8_t *out_row, std::uint8_t *out_column) {
  int scratch = 0;
  switch (mode) {
    case 'C':
    case 'c': {
      // No caller asks for a negative line count; one is drawn as an empty box so that nothing is
      // saved or drawn outside rows 1 to 18.
      const int n = lines > kMaxLines ? kMaxLines : (lines < 0 ? 0 : lines);
      g_window.open_lines = n;
      for (int r = 1; r <= n + 2; ++r)
        _VioReadCellStr(g_window.saved[static_cast<std::size_t>(r - 1)].data(), kBoxWidth, r, kBoxColumn,
                        &scratch, 0);
      if (out_lines) *out_lines = n;
      if (out_width) *out_width = kInteriorWidth;
      if (out_row) *out_row = kInteriorRow;
      if (out_column) *out_column = kInteriorColumn;
      draw(kBorder, 1, attribute);
      for (int r = 2; r <= n + 1; ++r)
        draw(kSides, r, attribute);
      draw(kBorder, n + 2, attribute);
      return 2;
    }
    case 'R':
    case 'r':
      for (int r = 1; r <= g_window.open_lines + 2; ++r)
        _VioWrtCellStr(g_window.saved[static_cast<std::size_t>(r - 1)].data(), kBoxWidth, r, kBoxColumn,
                       &scratch, 0);
      g_window.open_lines = 0;
      if (out_lines) *out_lines = 0;
      if (out_width) *out_width = 0;
      if (out_row) *out_row = 0;
      if (out_column) *out_column = 0;
      return 0;
    case 'X':
    case 'x':
      g_window.open_lines = 0;
      return 0;
    default:
      return 0;
  }
}

int timed_wait(int n) {
  const int passes = n / 3;
  unsigned short code = 0;
  for (int pass = 1;; ++pass) {
    _WaitEvent(20);
    const int idle = _IdleManager(0);
    const bool cancel = _KbdReadAscii(&code) == 0 && code == key::Cancel;
    if (idle != 0) return kWaitIdle;
    if (pass >= passes || cancel) return cancel ? kWaitCancel : kWaitRanOut;
  }
}

}  // namespace vek
