// Panel parts not built yet: they accept the call and change nothing.
#include "panel/panel.h"

namespace vek {

int exec_pa(const char *) { return 0; }
void message_popup(std::int32_t, std::int32_t, std::uint8_t) {}
void popup_close() {}

}  // namespace vek
