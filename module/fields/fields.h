// Field definitions: the commands that fill, clear and configure the field table, the search of help
// and verification files, and the field trace display.
#ifndef VEKPANEL_FIELDS_FIELDS_H
#define VEKPANEL_FIELDS_FIELDS_H

#include <cstdint>
#include <optional>
#include <string_view>

#include "fields/help_records.h"
#include "fields/keyword_text.h"
#include "fields/table.h"

namespace vek {

int set_fie(const char *record);  // define one field; always 0
int clear_p();                    // discard the panel; always 0
int set_hel(const char *record);  // name the help file

// Where SET_FIE and EXEC_PA read their texts from: the record's operands name a user variable
// ("VAR=", window 10) or else a help record ("HELP=", window 10, a number 1 to 9999). The codes each
// command shows for the faults, with the whole record except `no_record`.
struct SourceCodes {
  const char *no_source;   // neither keyword is in the operands
  const char *bad_source;  // a keyword without a usable number, or a user variable that cannot be read
  const char *no_record;   // the help record is not found; shown with "REC=" and the token as written
};
// Copies the operands into the work buffer, then puts the text named there into it, ended inside it:
// the user variable's contents, or the help record's characters from `text_from` on (SET_FIE takes
// them after the four-digit number, separator included; EXEC_PA after the separator). Returns true,
// or false once the fault has been shown.
bool load_source_text(const char *record, const SourceCodes &codes, std::size_t text_from);

// Keyword texts (keyword_text.h) read into the token buffer (g_fields.token): tokens are views into it,
// valid until the next keyword is read.
int keyword_token(const char *text, const char *keyword, std::size_t window, std::string_view *token);
// The token after `previous` in the same window; false when there is none.
bool next_token(std::string_view previous, std::string_view *token);

// Record search over a data image handed over by _DataFile, in place. The text returned is the
// record without its NUL, bounded by the image; nullopt when there is none.
//
// lookup_record: the record whose first `width` characters (at most 5) are the number with leading
// zeros; every caller passes 4.
std::optional<std::string_view> lookup_record(const char *file, std::int32_t number,
                                              std::uint8_t width = kNumberWidth);
// lookup_value: the record equal to the whole value. Status 0 found, 1 not found, 4 file not available.
std::optional<std::string_view> lookup_value(const char *file, std::string_view value, std::uint8_t *status);
// verify_in_file: 4 file not available; mode '3': 0 present, 1 absent; other modes: 0 absent, 1 present.
int verify_in_file(const char *file, char mode, std::string_view value);

// Field trace display of the entry at current_field.
void field_trace();

}  // namespace vek

#endif
