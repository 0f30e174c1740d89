// Panel run not built yet: accepts the call and changes nothing.
#include "panel/panel.h"

namespace vek {

int exec_pa(const char *) { return 0; }

}  // namespace vek
