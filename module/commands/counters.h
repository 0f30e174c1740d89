// State of DICOUNT and CHKUNIQ, private to commands/ and its unit tests.
#ifndef VEKPANEL_COMMANDS_COUNTERS_H
#define VEKPANEL_COMMANDS_COUNTERS_H

#include <array>
#include <cstdint>

namespace vek {

inline constexpr int kCounters = 32;
inline constexpr int kLists = 2;
inline constexpr int kEntries = 10;
inline constexpr std::size_t kEntryText = 25;  // characters kept of a value

using Entry = std::array<char, kEntryText + 1>;

// Counters and uniqueness rings, zero at load and kept until the module is unloaded.
struct CounterState {
  std::array<std::uint32_t, kCounters> counters;            // counter n is counters[n-1]; wraps at 32 bits
  std::array<std::array<Entry, kEntries>, kLists> entries;  // list n is entries[n-1], used as a ring
  std::array<std::uint8_t, kLists> next;                    // entry the next new value goes to, 0..9
};
extern CounterState g_counters;

}  // namespace vek

#endif
