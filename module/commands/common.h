// Small routines shared by the utility commands, private to commands/.
#ifndef VEKPANEL_COMMANDS_COMMON_H
#define VEKPANEL_COMMANDS_COMMON_H

#include <cstddef>
#include <cstdint>

namespace vek {

inline constexpr int kSignedTextSize = 12;  // "-2147483648" and its NUL

// Shows the bad-call message for the whole record; returns 0, the result every command gives then.
int refuse(const char *record, const char *code);

// ASCII letter folded to upper case; other characters unchanged.
char upper(char ch);

// A number written in `width` columns of the record from `column`, read as a decimal number.
int record_number(const char *record, std::size_t column, std::size_t width);

// The 32 bits as signed decimal text: "-" for negative values, no leading zeros. Returns its length.
int signed_text(std::uint32_t bits, char (&text)[kSignedTextSize]);

}  // namespace vek

#endif
