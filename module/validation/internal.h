// Input validation, private to validation/: the date and time checks and the value checks that the
// validation pass applies to the field at current_field, and the pure rules behind them.
#ifndef VEKPANEL_VALIDATION_INTERNAL_H
#define VEKPANEL_VALIDATION_INTERNAL_H

#include <array>
#include <cstdint>
#include <string_view>

namespace vek {

// State of the validation pass, kept from one pass to the next.
inline constexpr std::size_t kJoinedLimit = 115;  // characters of a joined value
// The joined value has a buffer of its own: the shared work buffer may be overwritten by a message
// shown while the group is being joined (record 2, or a bad-call message from the pop-up).
struct ValidationState {
  std::array<char, kJoinedLimit + 1> joined;  // values of a group joined by ";"
  std::uint8_t popup_open;                    // 1 while the "checking" pop-up stands
  std::uint8_t pending;                       // 1: a mandatory field's file could not be used
  std::int32_t pending_field;                 // the field that set `pending`
};
extern ValidationState g_validation;

// Outcome of a value check. kCheckMissing: a record the check needs is not in the help file; the
// bad-call message has already been shown.
enum CheckResult : int { kCheckAccepted = 0, kCheckRejected = 1, kCheckMissing = 2 };

// Date and time checks on current_field: complete the placeholders from the clock, normalise the
// value in place (kept even when the check fails), then test the numbers. 1 valid, 0 not.
int date_check();
int time_check();
// Separators put in place, any other character (NUL included) in the layout's span made "0", the
// value ended after the span. Date layout for classes 5 and 6, time layout otherwise.
void normalise();

// Pure rules over texts.
bool mask_accepts(std::string_view mask, std::string_view value);
bool list_entry_matches(std::string_view entry, std::string_view value);
bool range_accepts(std::string_view lower, std::string_view upper, std::string_view value);
bool check_digit_right(std::string_view value);  // mod-10, any length

// Checks on current_field, by verification type. Each returns a CheckResult: the mask and range checks
// any of the three, the others accepted or rejected.
int mask_check();          // F
int list_check();          // S
int range_check();         // R
int leading_zero_check();  // B
int prefix_check();        // T

}  // namespace vek

#endif
