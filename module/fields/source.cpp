// Definition and option texts: SET_FIE and EXEC_PA find theirs in a user variable ("VAR=") or a help
// record ("HELP=") named by the record's operands.
#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"
#include "fields/fields.h"
#include "fields/help_records.h"
#include "fields/internal.h"

namespace vek {
namespace {

constexpr int kNoSuchVariable = 3;

// Shows the fault with the whole record. Returns false.
bool fault(const char *record, const char *code) {
  bad_call(record, code);
  return false;
}

}  // namespace

bool load_source_text(const char *record, const SourceCodes &codes, std::size_t text_from) {
  load_operands(record);
  char *work = work_buffer();
  std::string_view token;
  switch (keyword_token(work, "VAR=", kShortWindow, &token)) {
    case kKeywordEmpty:
      return fault(record, codes.bad_source);
    case kKeywordToken:
      if (_ReadUserVariable(decimal_value(token), work) == kNoSuchVariable)
        return fault(record, codes.bad_source);
      work[kWorkSize - 1] = 0;  // whatever the service wrote, the text ends inside the buffer
      return true;
    default:
      break;
  }
  switch (keyword_token(work, "HELP=", kShortWindow, &token)) {
    case kKeywordAbsent:
      return fault(record, codes.no_source);
    case kKeywordEmpty:
      return fault(record, codes.bad_source);
    default:
      break;
  }
  const std::int32_t number = decimal_value(token);
  if (number < 1 || number > kLastRecord) return fault(record, codes.bad_source);
  const auto text = lookup_record(help_file_name(), number, kNumberWidth);
  if (!text) {
    // The token is at most the window's 10 characters, so the excerpt holds all of it.
    char excerpt[4 + kShortWindow + 1] = "REC=";
    copy_text(excerpt + 4, sizeof excerpt - 4, token.data(), token.size());
    return fault(excerpt, codes.no_record);
  }
  // A text longer than the work buffer is cut to it.
  const std::string_view rest = text_part(*text, text_from);
  copy_text(work, kWorkSize, rest.data(), rest.size());
  return true;
}

}  // namespace vek
