// The dispatcher's module-wide state, zero at load.
#include "dispatch/dispatch.h"

namespace vek {

DispatchState g_dispatch;

}  // namespace vek
