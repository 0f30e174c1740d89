// Fixture of the utility command scenarios: records with operands at fixed columns, and the check of a
// refused call.
#ifndef VEKPANEL_TESTS_COMMANDS_RECORD_H
#define VEKPANEL_TESTS_COMMANDS_RECORD_H

#include <initializer_list>
#include <string>
#include <string_view>

#include "scenario.h"

namespace vektest {

struct At {
  int column;  // counted from column 0 of the whole record, length digits included
  std::string_view text;
};

// A whole record whose length digits give `length`: the name, blanks, and each operand at its column.
// An operand beyond the length still goes into the text, so a record that is too short holds
// everything else a valid one would.
inline std::string operands(std::string_view name, int length, std::initializer_list<At> at) {
  std::string whole = record(std::string(static_cast<std::size_t>(length), ' '));
  whole.replace(2, name.size(), name);
  for (const At &a : at) {
    if (a.text.empty()) continue;
    const auto from = static_cast<std::size_t>(a.column);
    if (whole.size() < from + a.text.size()) whole.resize(from + a.text.size(), ' ');
    whole.replace(from, a.text.size(), a.text);
  }
  return whole;
}

class CommandsTest : public Scenario {
 protected:
  // Sends a record that must be refused with `code`: the bad-call message shows it, waits for its key,
  // and the host gets 0.
  void refused(const std::string &whole, std::string_view code) {
    script::key(key::Enter);
    EXPECT_EQ(call(3, whole), 0) << whole;
    EXPECT_EQ(row(0), row40("Bad CVEK(" + std::string(code) + "):" + whole.substr(0, 18))) << whole;
    EXPECT_EQ(script::pending(), 0u) << whole;
  }
};

}  // namespace vektest

#endif
