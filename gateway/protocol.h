// The page's side of a browser session: the url-encoded frames the page sends and the JSON objects the
// gateway sends back. Plain functions over strings, no sockets, so the wire format lives in one place.
#ifndef VEKWEB_PROTOCOL_H
#define VEKWEB_PROTOCOL_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vekterm/remote.h"

namespace vekweb {

// A frame from the page, decoded. `kind` is Bad for anything that is not a well-formed hello, key or
// scan: the connection that sent it is closed.
struct Frame {
  enum Kind { Bad, Hello, Key, Scan } kind = Bad;
  std::string terminal, token, password, session;  // hello
  std::uint64_t seq = 0;                           // key and scan: 1 and up
  std::uint16_t code = 0;                          // key
  std::uint8_t type = 0;                           // scan
  std::string data;                                // scan: its bytes in the code page
};
Frame parse_frame(std::string_view text);

// The welcome's scan settings, from the gateway's options.
struct ScanSettings {
  std::string prefix, suffix;
  int burst_ms = 30, min_length = 4;
};

using Glyphs = std::array<char32_t, 256>;

std::string welcome_json(const std::string &session, const std::string &terminal, std::uint64_t ack,
                         bool resumed, const Glyphs &glyphs, const ScanSettings &scan);
// The runs of `screen` named by `runs`, with the cursor and the highest seq applied.
std::string screen_json(const vekterm::remote::Screen &screen, const std::vector<vekterm::remote::Run> &runs,
                        std::uint64_t ack, const Glyphs &glyphs);
// Every row of `screen`, whole.
std::string full_screen_json(const vekterm::remote::Screen &screen, std::uint64_t ack, const Glyphs &glyphs);
std::string beep_json(int tone, int ms);
std::string led_json(bool on, int ms);
std::string end_json(std::string_view reason);
std::string refused_json(std::string_view reason);

// A JSON string literal, quotes included, of UTF-8 text.
std::string json_string(std::string_view text);
void append_utf8(std::string &out, char32_t c);

// A file's bytes whole into *text; false when it cannot be read.
bool read_file(const std::string &path, std::string *text);

}  // namespace vekweb

#endif
