// Panel execution: running a defined panel, field display, the field editor, scan routing and the
// help and message pop-up.
#ifndef VEKPANEL_PANEL_PANEL_H
#define VEKPANEL_PANEL_PANEL_H

#include <cstdint>

namespace vek {

int exec_pa(const char *record);  // run the panel; result chosen by its options

// Message pop-up: help records first..last of the help file. Mode 0 window, closes after a timed
// wait; 1 window with the prompt line, closes on Enter; 2 window left open (popup_close removes it);
// 3 whole cleared screen, left as drawn.
void message_popup(std::int32_t first, std::int32_t last, std::uint8_t mode);
void popup_close();

// Seconds count of the terminal's clock; only differences of two counts mean anything.
std::int32_t seconds_count();

}  // namespace vek

#endif
