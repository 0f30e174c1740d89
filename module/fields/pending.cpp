// Field commands not built yet: they accept the call and change nothing.
#include "fields/fields.h"

namespace vek {

void field_trace() {}

}  // namespace vek
