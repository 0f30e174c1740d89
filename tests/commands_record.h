// Command records with operands at fixed columns, for the utility command scenarios.
#ifndef VEKPANEL_TESTS_COMMANDS_RECORD_H
#define VEKPANEL_TESTS_COMMANDS_RECORD_H

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "scenario.h"

namespace vektest {

struct At {
  int column;  // counted from column 0 of the whole record, length digits included
  std::string_view text;
};

// A whole record: length digits giving `length`, the name, blanks up to column length+1, and each
// operand at its column. An operand beyond the length is still put in the text, so that a record whose
// length is too short holds everything else a valid one would.
inline std::string operands(std::string_view name, int length, std::initializer_list<At> at) {
  std::string rest(static_cast<std::size_t>(length), ' ');
  rest.replace(0, name.size(), name);
  for (const At &a : at) {
    if (a.text.empty()) continue;
    const auto from = static_cast<std::size_t>(a.column - 2);
    if (rest.size() < from + a.text.size()) rest.resize(from + a.text.size(), ' ');
    rest.replace(from, a.text.size(), a.text);
  }
  return record(rest).replace(0, 2, record(std::string(static_cast<std::size_t>(length), ' ')).substr(0, 2));
}

// Row 0 of the bad-call message for `code` and the record (its first 18 characters).
inline std::string bad_call_row(std::string_view code, const std::string &whole) {
  return row40("Bad CVEK(" + std::string(code) + "):" + whole.substr(0, 18));
}

}  // namespace vektest

#endif
