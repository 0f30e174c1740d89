// Panel execution: running a defined panel.
#ifndef VEKPANEL_PANEL_PANEL_H
#define VEKPANEL_PANEL_PANEL_H

namespace vek {

int exec_pa(const char *record);  // run the panel; result chosen by its options

}  // namespace vek

#endif
