// CLEAR_P discards the panel; SET_HEL names the help file.
#include "dispatch/dispatch.h"
#include "fields/fields.h"
#include "fields/internal.h"

namespace vek {

void load_operands(const char *record) {
  const int length = parameter_length();
  record_columns(record, 2, length > 0 ? static_cast<std::size_t>(length) : 0, work_buffer(), kWorkSize);
}

// Only what a new panel must not inherit goes: the other attributes wait for the next SET_FIE of their
// entry, and the help file stays named. Returns 0.
int clear_p() {
  for (Field &field : g_fields.fields) {
    field.defined = 0;
    field.value = {};
  }
  g_fields.dp_style = {};
  return 0;
}

// Returns 0; a record without "FILE=" (Zl) or without a name after it (Zk) keeps the name as it was.
int set_hel(const char *record) {
  load_operands(record);
  std::string_view name;
  switch (keyword_token(work_buffer(), "FILE=", kLongWindow, &name)) {
    case kKeywordAbsent:
      bad_call(record, "Zl");
      return 0;
    case kKeywordEmpty:
      bad_call(record, "Zk");
      return 0;
    default:
      copy_text(g_fields.help_file_name.data(), g_fields.help_file_name.size(), name.data(), name.size());
      return 0;
  }
}

}  // namespace vek
