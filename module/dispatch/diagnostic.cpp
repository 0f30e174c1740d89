// Keyboard diagnostic screen: not built yet, returns at once.
#include "dispatch/dispatch.h"

namespace vek {

int diagnostic_screen() { return 0; }

}  // namespace vek
