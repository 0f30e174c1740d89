// Panel execution, private to panel/: the edit buffer shared by the panel run, the field editor and
// the scan routing, and the routines the panel run calls.
#ifndef VEKPANEL_PANEL_INTERNAL_H
#define VEKPANEL_PANEL_INTERNAL_H

#include <array>
#include <cstdint>

namespace vek {

inline constexpr int kEditSize = 64;

struct EditState {
  std::array<char, kEditSize> buffer;  // text of the field being edited, NUL-terminated
  std::int32_t cursor;                 // index into the buffer; the screen cursor follows it
};
extern EditState g_edit;

// Field editor on current_field, starting from `start_text`, with a time limit in seconds (0 none).
// Returns 13, 256, 512, 768, 1024, 1536 (keys or scanned tokens), 1 (a scan was accepted, current_field
// may have changed) or 2 (time limit passed); the text is left in g_edit.buffer.
int field_input(const char *start_text, std::int32_t time_limit);

// Rewrites a committed value with decimal places into its fixed-width layout and redraws the field.
void number_layout(int index);

}  // namespace vek

#endif
