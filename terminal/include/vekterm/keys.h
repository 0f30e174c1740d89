// Key codes that the terminal services deliver through _KbdReadAscii. Printable characters are their
// own codes; these are the function keys the panel driver acts on.
#ifndef VEKTERM_KEYS_H
#define VEKTERM_KEYS_H

#include <cstdint>

namespace vekterm::key {
inline constexpr std::uint16_t Enter = 13;
inline constexpr std::uint16_t Left = 174;
inline constexpr std::uint16_t Right = 175;
inline constexpr std::uint16_t Cancel = 256;
inline constexpr std::uint16_t Previous = 512;
inline constexpr std::uint16_t Ok = 768;
inline constexpr std::uint16_t Clear = 1024;
inline constexpr std::uint16_t Backspace = 1280;
inline constexpr std::uint16_t Next = 1536;
inline constexpr std::uint16_t Help = 15104;
}  // namespace vekterm::key

#endif
