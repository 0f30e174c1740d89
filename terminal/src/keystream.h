// The keyboard stream of a terminal (emulator): bytes as the terminal sends them, turned into the
// module's key codes and, between a configured prefix and suffix, into scans. A pure state machine:
// it is fed bytes and the monotonic time in milliseconds, and says when it next needs the time (an Esc
// that may still begin a sequence, a prefix that may still begin a scan).
#ifndef VEKTERM_KEYSTREAM_H
#define VEKTERM_KEYSTREAM_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vekterm::detail {

// Keys of the host itself, beyond the module's 16-bit codes.
constexpr int kKeyPrompt = 0x10000;  // opens and closes the scan prompt
constexpr int kKeyStop = 0x10001;    // asks the program to end (Ctrl-C)

constexpr std::size_t kScanData = 97;  // data bytes that fit a 100-byte sensor record
constexpr int kDefaultEscDelayMs = 100;
constexpr int kDefaultScanTimeoutMs = 150;

struct KeyBinding {
  std::string sequence;
  int code;
};

// The usual sequences of vt100, vt220, xterm and the Linux console for the keys the module knows.
const std::vector<KeyBinding> &default_key_map();

// Text written readably into its bytes: `\e` (or `\E`) Esc, `\xHH`, `\r`, `\n`, `\t`, `\b`, `\\`, `\^`
// a caret, `^A`..`^Z`, `^[`, `^?` (DEL) and the like as control characters, anything else as itself.
// False with a reason for a malformed escape.
bool parse_escapes(std::string_view text, std::string *bytes, std::string *why);

// A key's code from its name (Enter, Cancel, Ok, Next, Previous, Clear, Backspace, Left, Right, Help,
// Scan, Stop; any case) or a decimal code 0..65535; -1 when it is neither.
int key_code(std::string_view name);

// A key-map file's text: lines "SEQUENCE KEY", `#` comments and blank lines skipped. The entries are
// added to *map, replacing an entry for the same sequence. False with "LINE: reason" for a bad line.
bool parse_key_map(std::string_view text, std::vector<KeyBinding> *map, std::string *why);

// Record types by symbology identifier: "A=1,E=2,*=3", `*` for any other identifier. False with a
// reason when malformed. types[ch] is -1 where nothing was said.
bool parse_symbologies(std::string_view text, std::array<int, 256> *types, std::string *why);

struct KeyStreamOptions {
  std::vector<KeyBinding> keys = default_key_map();
  std::string scan_prefix, scan_suffix;  // bytes; no framing when either is empty
  bool symbology = false;                // the byte after the prefix names the record type
  std::array<int, 256> symbology_types{};
  int scan_type = 1;  // record type of a scan without (or with an unlisted) identifier
  int scan_timeout_ms = kDefaultScanTimeoutMs;
  int esc_delay_ms = kDefaultEscDelayMs;
  // The code page's byte for a typed Unicode character, or -1 when the page has none. Without one,
  // only ASCII is taken.
  int (*code_page_byte)(char32_t) = nullptr;
  // How typed bytes from 128 up read: as UTF-8, or, when the terminal's character set is an 8-bit one,
  // each byte as one character, upper[byte - 128] (0 where the set has none).
  bool single_byte = false;
  std::array<char32_t, 128> upper{};
};

struct KeyEvent {
  enum Kind { Key, Scan, Refused } kind = Key;
  int code = 0;      // Key: the module's key code, kKeyPrompt or kKeyStop
  std::string data;  // Scan: at most kScanData bytes
  int type = 0;      // Scan: the record type
};

class KeyStream {
 public:
  KeyStream() : KeyStream(KeyStreamOptions{}) {}
  explicit KeyStream(KeyStreamOptions options);
  void feed(std::string_view bytes, std::int64_t now_ms);
  // The next event that the bytes so far make at `now_ms`; false when none yet.
  bool next(std::int64_t now_ms, KeyEvent *event);
  // When next() may have an event without more bytes (a time-out runs out); -1 when not.
  std::int64_t wake_at() const { return wake_; }

 private:
  enum class Step { Wait, Event, Drop, Keys };
  Step framed(std::int64_t now_ms, KeyEvent *event);
  Step key(std::int64_t now_ms, KeyEvent *event);
  Step character(std::int64_t now_ms, KeyEvent *event);
  Step typed(char32_t ch, KeyEvent *event) const;
  bool waiting(std::int64_t now_ms, int delay_ms);

  KeyStreamOptions options_;
  std::string pending_;       // bytes not yet made into events
  std::int64_t last_ms_ = 0;  // when the latest byte came
  bool hand_back_ = false;    // the prefix at the front timed out: it is keys
  std::int64_t wake_ = -1;
};

}  // namespace vekterm::detail

#endif
