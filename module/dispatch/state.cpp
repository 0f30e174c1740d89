// The module's state, every struct of it defined here, zero at load.
#include "dispatch/state.h"

namespace vek {

DispatchState g_dispatch;
WindowState g_window;
CounterState g_counters;
FieldTable g_fields;
EditState g_edit;
ExecState g_exec;
ValidationState g_validation;

void reset_module_state() {
  g_dispatch = {};
  g_window = {};
  g_counters = {};
  g_fields = {};
  g_edit = {};
  g_exec = {};
  g_validation = {};
}

}  // namespace vek
