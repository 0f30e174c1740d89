// The validation pass over a confirmed panel: validation files for groups of fields joined into one
// value, then each field's own checks, with the operator told why in the message pop-up.
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "dispatch/dispatch.h"
#include "dispatch/terminal.h"
#include "fields/fields.h"
#include "fields/table.h"
#include "panel/panel.h"
#include "validation/internal.h"
#include "validation/validation.h"

namespace vek {
namespace {

constexpr int kAccept = key::Ok;
constexpr int kEditOn = key::Enter;
constexpr std::size_t kFileNameSize = 13;  // eight characters, ".VAL" and the NUL

// Results of the validation files, from _Validation and verify_in_file alike.
enum FileResult : int { kFilePass = 0, kFileFail = 1, kFileUnusable = 4, kFileCannotValidate = 16 };

Field &field(int i) {
  return g_fields.fields[static_cast<std::size_t>(i)];
}

std::size_t value_length(const Field &f) {
  return strnlen(f.value.data(), f.value.size() - 1);
}

// A letter of NUL comes from a field never drawn by a panel run; it is treated as not validated.
bool unvalidated(const Field &f) {
  return f.val_result == ' ' || f.val_result == 0;
}

bool file_type(char type) {
  return type == 'I' || type == 'i' || type == 'E' || type == 'e';
}

bool has_file(const Field &f) {
  return f.ver_file[0] != 0;
}

bool same_file(const Field &a, const Field &b) {
  return std::strncmp(a.ver_file.data(), b.ver_file.data(), a.ver_file.size()) == 0;
}

char file_mode(const Field &f) {
  return f.ver_type == 'I' || f.ver_type == 'i' ? '3' : '2';
}

// The validation file's name in the token buffer: the field's file with ".VAL" appended, except a
// one-character name, which is passed as it is.
const char *file_name(const Field &f) {
  char *name = g_fields.token.data();
  const std::size_t n = copy_text(name, kFileNameSize, f.ver_file.data(), f.ver_file.size() - 1);
  if (n != 1) copy_text(name + n, kFileNameSize - n, ".VAL", 4);
  return name;
}

void close_checking() {
  if (g_validation.popup_open) popup_close();
  g_validation.popup_open = 0;
}

void show(std::int32_t first, std::int32_t last, std::uint8_t mode) {
  close_checking();
  message_popup(first, last, mode);
}

// A fault of the help redirect, shown with a single blank. Returns false: the redirect does not apply.
bool redirect_fault(const char *code) {
  bad_call(" ", code);
  return false;
}

// Help redirect: the two record numbers that the host stored as "HELP=first,last" in the panel's
// redirect variable. Once used, the variable holds "USED" until the host stores a new text. Returns
// true and fills first and last when the redirect applies.
bool help_redirect(std::int32_t *first, std::int32_t *last) {
  if (g_fields.panel_help_uv == 0) return false;
  char *text = work_buffer();
  std::memset(text, 0, kWorkSize);
  _ReadUserVariable(g_fields.panel_help_uv, text);
  text[kWorkSize - 1] = 0;
  if (std::strstr(text, "USED") != nullptr) return false;
  std::string_view token;
  switch (keyword_token(text, "HELP=", kLongWindow, &token)) {
    case kKeywordAbsent:
      return false;
    case kKeywordEmpty:
      return redirect_fault("XQ");
    default:
      break;
  }
  const int a = decimal_value(token);
  if (a < 1 || a > kLastRecord) return redirect_fault("XR");
  if (!next_token(token, &token)) return redirect_fault("XS");
  const int b = decimal_value(token);
  if (b < 1 || b > kLastRecord) return redirect_fault("XT");

  _WriteUserVariable(g_fields.panel_help_uv, "USED");
  *first = a;
  *last = b;
  return true;
}

// A validation file refused the value: the redirected help when there is one, else record 3. Returns 13.
int refused_by_file() {
  close_checking();
  std::int32_t first = 0, last = 0;
  if (help_redirect(&first, &last))
    message_popup(first, last, 0);
  else
    message_popup(kRecordNotInFile, kRecordNotInFile, 0);
  return kEditOn;
}

void set_pending(int i) {
  g_validation.pending = 1;
  g_validation.pending_field = i;
}

// Joins the value of group start i and of every later defined field with the same file, marking
// them all "A". A member whose value would take the joined text past its limit is left out of it,
// with record 2 shown, but stays a member.
void join_group(int i) {
  char *joined = g_validation.joined.data();
  std::size_t length = copy_text(joined, g_validation.joined.size(), field(i).value.data(), kJoinedLimit);
  field(i).val_result = 'A';
  for (int j = i + 1; j < kFieldCount; ++j) {
    Field &member = field(j);
    if (!member.defined || !same_file(field(i), member)) continue;
    member.val_result = 'A';
    const std::size_t added = value_length(member);
    if (length + added + 1 > kJoinedLimit) {
      show(kRecordJoinedTooLong, kRecordJoinedTooLong, 1);
      continue;
    }
    joined[length++] = ';';
    length += copy_text(joined + length, g_validation.joined.size() - length, member.value.data(), added);
  }
}

void mark_group(char letter) {
  for (Field &f : g_fields.fields)
    if (f.val_result == 'A') f.val_result = letter;
}

// Group pass: fields sharing a validation file validated together, once. Returns 13 when a group was
// refused (current_field names its first field), 0 to go on with the field pass.
int group_pass() {
  for (int i = 0; i < kFieldCount; ++i) {
    g_fields.current_field = i;
    const Field &f = field(i);
    if (!unvalidated(f) || !f.defined || !has_file(f) || begins_with(f.ver_file.data(), "S_") ||
        !file_type(f.ver_type))
      continue;
    join_group(i);
    const char mode = file_mode(f);
    const char *name = file_name(f);
    int result = kFileUnusable;
    if (begins_with(name, "B_")) result = verify_in_file(name, mode, g_validation.joined.data());
    if (result == kFileUnusable) result = _Validation(name, mode, g_validation.joined.data());

    switch (result) {
      case kFilePass:
        mark_group('P');
        break;
      case kFileFail:
        mark_group('F');
        return refused_by_file();
      case kFileUnusable:
        for (Field &member : g_fields.fields)
          if (member.val_result == 'A') member.val_result = member.ver_mandatory ? 'e' : 'E';
        if (f.ver_mandatory) set_pending(i);
        break;
      case kFileCannotValidate:
        mark_group(f.ver_mandatory ? 't' : 'T');
        if (f.ver_mandatory) set_pending(i);
        break;
      default:
        break;  // a result the pass does not know: the members keep "A" and count as not refused
    }
  }
  return 0;
}

// The field's own validation file. Returns 13 when the file refused the value, else 0.
int file_check(int i) {
  Field &f = field(i);
  const char mode = file_mode(f);
  const char *name = file_name(f);
  // Files named "B_..." are searched here only; a file that cannot be used is final.
  f.value.back() = 0;  // a value holds 40 characters at most
  const std::string_view value(f.value.data(), value_length(f));
  const int result =
      begins_with(name, "B_") ? verify_in_file(name, mode, value) : _Validation(name, mode, f.value.data());
  // A mandatory field whose file could not be used stays pending to the end of the pass, whatever
  // later fields' files answer, so that it is always reported.
  switch (result) {
    case kFilePass:
      f.val_result = 'p';
      break;
    case kFileFail:
      f.val_result = ' ';
      return refused_by_file();
    case kFileUnusable:
    case kFileCannotValidate:
      if (f.ver_mandatory)
        set_pending(i);
      else
        f.val_result = result == kFileUnusable ? 'E' : 'T';
      break;
    default:
      break;
  }
  return 0;
}

// Outcome of a value check turned into the field's letter or the pass's end. Returns 13 to end the
// pass, 0 to go on.
int judged(Field &f, int outcome, std::int32_t record) {
  switch (outcome) {
    case kCheckAccepted:
      f.val_result = 'p';
      return 0;
    case kCheckMissing:
      close_checking();  // the bad-call message said why
      return kEditOn;
    default:
      f.val_result = ' ';
      show(record, record, 0);
      return kEditOn;
  }
}

// The value checks by verification type, in the order the pass applies them.
struct TypeCheck {
  char type;             // verification type that selects the check
  int (*check)();        // returns a CheckResult
  std::int32_t refusal;  // help record shown when it refuses
};
constexpr TypeCheck kChecks[] = {
    {'F', mask_check, kRecordMask},       {'S', list_check, kRecordOutOfList},
    {'R', range_check, kRecordOutOfList}, {'B', leading_zero_check, kRecordLeadingZero},
    {'T', prefix_check, kRecordPrefix},
};

// Every check the field asks for, in order, each while the field is still not validated. Returns 13
// when one refused the value, else 0.
int field_checks(int i) {
  Field &f = field(i);
  if (!f.defined) return 0;
  if (unvalidated(f) && has_file(f) && file_type(f.ver_type) && file_check(i) != 0) return kEditOn;

  for (const TypeCheck &c : kChecks)
    if (unvalidated(f) && f.ver_type == c.type && judged(f, c.check(), c.refusal) != 0) return kEditOn;

  if (unvalidated(f) &&
      (f.input == kInputDateAmer || f.input == kInputDateEuro || f.input == kInputTimeStd)) {
    const int valid = f.input == kInputTimeStd ? time_check() : date_check();
    if (judged(f, valid ? kCheckAccepted : kCheckRejected, kRecordDateTime) != 0) return kEditOn;
  }
  return 0;
}

}  // namespace

int validation_pass() {
  message_popup(kRecordChecking, kRecordChecking, 2);
  g_validation.popup_open = 1;
  g_validation.pending = 0;
  g_validation.pending_field = 0;

  if (g_fields.panel_concat == 1 && group_pass() != 0) return kEditOn;

  for (int i = 0; i < kFieldCount; ++i) {
    g_fields.current_field = i;
    if (field_checks(i) != 0) return kEditOn;
  }

  close_checking();
  if (g_validation.pending) {
    g_fields.current_field = g_validation.pending_field;
    message_popup(kRecordMandatory, kRecordMandatory, 0);
    return kEditOn;
  }
  return kAccept;
}

}  // namespace vek
