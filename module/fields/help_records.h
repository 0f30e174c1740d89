// What a help file holds for the panel: the layout of its records, the help records the panel shows by
// itself, the keyword windows of definition and option texts and the room the texts have where they are
// shown or read. The module and vekhelp both take these facts from here, so that the tool checks files
// against the panel that reads them.
#ifndef VEKPANEL_FIELDS_HELP_RECORDS_H
#define VEKPANEL_FIELDS_HELP_RECORDS_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace vek {

// A help record: its number in four digits with leading zeros ("0001" to "9999"), one separator, then
// its text from the sixth character on.
inline constexpr std::size_t kNumberWidth = 4;
inline constexpr std::size_t kTextColumn = 5;
inline constexpr std::int32_t kLastRecord = 9999;

// Value windows of keywords in definition, option and SET_HEL texts: the characters after the keyword
// in which its value is read.
inline constexpr std::size_t kShortWindow = 10;
inline constexpr std::size_t kLongWindow = 15;

// Room for texts: a line of a pop-up window, a line of a whole-screen page (a field's own screen), and
// a definition or option text as the work buffer holds it (the rest of a longer text is not read).
inline constexpr std::size_t kPopupLineWidth = 22;
inline constexpr std::size_t kScreenLineWidth = 40;
inline constexpr std::size_t kDefinitionTextLength = 159;

// Help records that the panel shows by itself.
enum HelpRecord : std::int32_t {
  kRecordChecking = 1,
  kRecordJoinedTooLong = 2,
  kRecordNotInFile = 3,
  kRecordOutOfList = 4,
  kRecordLeadingZero = 5,
  kRecordPrefix = 6,
  kRecordMandatory = 7,
  kRecordRequiredEmpty = 8,
  kRecordNotFull = 9,
  kRecordRefusedKey = 10,
  kRecordTimeOut = 11,
  kRecordNoFit = 12,
  kRecordKeyboardOnly = 13,
  kRecordIdentifierNeeded = 15,
  kRecordPrompt = 16,
  kRecordDateTime = 17,
  kRecordMask = 18,
};

// When each of them is shown, completing "the panel shows it when ...".
struct HelpRecordRole {
  HelpRecord number;
  const char *shown_when;
};
inline constexpr auto kHelpRecordRoles = std::to_array<HelpRecordRole>({
    {kRecordChecking, "the panel is being validated"},
    {kRecordJoinedTooLong, "values validated together would be too long"},
    {kRecordNotInFile, "a validation file rejects a value"},
    {kRecordOutOfList, "a value is not in its list or range"},
    {kRecordLeadingZero, "a check digit (leading zero) is wrong"},
    {kRecordPrefix, "a check digit (prefix) is wrong"},
    {kRecordMandatory, "a required validation file cannot be used"},
    {kRecordRequiredEmpty, "OK is pressed with a required field empty"},
    {kRecordNotFull, "a fixed-length field is left before it is full"},
    {kRecordRefusedKey, "a key is refused"},
    {kRecordTimeOut, "a field's time limit passes"},
    {kRecordNoFit, "a scan does not fit its field"},
    {kRecordKeyboardOnly, "a scan reaches a keyboard-only field"},
    {kRecordIdentifierNeeded, "a scan lacks the field's data identifier"},
    {kRecordPrompt, "help or a message waits for Enter (its prompt line)"},
    {kRecordDateTime, "a date or time is not valid"},
    {kRecordMask, "a value does not match its mask"},
});

}  // namespace vek

#endif
