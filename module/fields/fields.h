// Field definitions: the commands that fill, clear and configure the field table, the search of help
// and verification files, and the field trace display.
#ifndef VEKPANEL_FIELDS_FIELDS_H
#define VEKPANEL_FIELDS_FIELDS_H

#include <cstdint>
#include <optional>
#include <string_view>

#include "fields/table.h"

namespace vek {

int set_fie(const char *record);  // define one field; always 0
int clear_p();                    // discard the panel; always 0
int set_hel(const char *record);  // name the help file

// Keyword texts (definition texts, SET_HEL operands, panel options): a keyword is found at its first
// occurrence anywhere in the text; its value window is the `window` characters after it (10 or 15),
// copied into the token buffer (g_fields.token) and split at ",", blank and "=", leading delimiters
// skipped. Tokens are views into the token buffer, valid until the next keyword is read.
enum KeywordResult : int {
  kKeywordAbsent = 0,  // the keyword is not in the text
  kKeywordEmpty = 1,   // present, but its window holds no token
  kKeywordToken = 2,   // *token is the first token
};
int keyword_token(const char *text, const char *keyword, std::size_t window, std::string_view *token);
// The token after `previous` in the same window; false when there is none.
bool next_token(std::string_view previous, std::string_view *token);

// Record search over a data image handed over by _DataFile, in place. The text returned is the
// record without its NUL, bounded by the image; nullopt when there is none.
//
// lookup_record: the record whose first `width` characters (at most 5) are the number with leading
// zeros; every caller passes 4.
std::optional<std::string_view> lookup_record(const char *file, std::int32_t number, std::uint8_t width = 4);
// lookup_value: the record equal to the whole value. Status 0 found, 1 not found, 4 file not available.
std::optional<std::string_view> lookup_value(const char *file, std::string_view value, std::uint8_t *status);
// verify_in_file: 4 file not available; mode '3': 0 present, 1 absent; other modes: 0 absent, 1 present.
int verify_in_file(const char *file, char mode, std::string_view value);

// Field trace display of the entry at current_field.
void field_trace();

}  // namespace vek

#endif
