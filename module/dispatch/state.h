// The module's state: everything it keeps from one call of main to the next, zero at load. Each state
// struct lives with the code that owns it; this header gathers them all, and reset_module_state()
// clears them together, leaving the module as a fresh load does.
#ifndef VEKPANEL_DISPATCH_STATE_H
#define VEKPANEL_DISPATCH_STATE_H

#include "commands/counters.h"    // CounterState g_counters: counters and uniqueness lists
#include "dispatch/dispatch.h"    // DispatchState g_dispatch: parameter length, flags, work buffer
                                  // WindowState g_window: the pop-up window's saved cells
#include "fields/table.h"         // FieldTable g_fields: the field table and the panel-wide values
#include "panel/internal.h"       // EditState g_edit: the edit buffer and the sensor record
                                  // ExecState g_exec: the settings of the running panel
#include "validation/internal.h"  // ValidationState g_validation: the joined value and the pass's flags

namespace vek {

// Zeroes every state struct of the module (the list above).
void reset_module_state();

}  // namespace vek

#endif
