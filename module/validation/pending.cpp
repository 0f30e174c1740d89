// Validation not built yet: every panel is accepted.
#include "validation/validation.h"

namespace vek {

int validation_pass() { return 768; }

}  // namespace vek
