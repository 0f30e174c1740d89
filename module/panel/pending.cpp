// Panel parts not built yet: they accept the call and change nothing.
#include "panel/internal.h"
#include "panel/panel.h"

namespace vek {

void message_popup(std::int32_t, std::int32_t, std::uint8_t) {}
void popup_close() {}
std::int32_t seconds_count() { return 0; }
EditState g_edit;
int field_input(const char *, std::int32_t) { return 256; }
void number_layout(int) {}

}  // namespace vek
