// The field table and the panel-wide values, zero at load.
#include "fields/table.h"

namespace vek {

FieldTable g_fields;

}  // namespace vek
