// Small routines shared by the utility commands, private to commands/.
#ifndef VEKPANEL_COMMANDS_COMMON_H
#define VEKPANEL_COMMANDS_COMMON_H

#include <cstddef>
#include <cstdint>

namespace vek {

// Shows the bad-call message for the whole record; returns 0, the result every command gives then.
int refuse(const char *record, const char *code);

// A number written in `width` columns of the record from `column`, read as a decimal number.
int record_number(const char *record, std::size_t column, std::size_t width);

}  // namespace vek

#endif
