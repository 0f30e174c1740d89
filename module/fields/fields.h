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
