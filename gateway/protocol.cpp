#include "protocol.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace vekweb {
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One form value: '+' is a blank, %HH a byte; false for a broken %.
bool form_decode(std::string_view in, std::string *out) {
  out->clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '+') {
      *out += ' ';
    } else if (in[i] != '%') {
      *out += in[i];
    } else {
      const int high = i + 1 < in.size() ? hex_value(in[i + 1]) : -1;
      const int low = i + 2 < in.size() ? hex_value(in[i + 2]) : -1;
      if (high < 0 || low < 0) return false;
      *out += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  return true;
}

// A decimal number from `low` to `high`, digits only.
bool number(std::string_view text, std::uint64_t low, std::uint64_t high, std::uint64_t *value) {
  if (text.empty() || text.size() > 19) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc{} && end == text.data() + text.size() && *value >= low && *value <= high;
}

bool session_token(std::string_view text) {
  if (text.size() != 32) return false;
  for (const char c : text)
    if (hex_value(c) < 0 || (c >= 'A' && c <= 'F')) return false;
  return true;
}

const char kHex[] = "0123456789abcdef";

void append_run(std::string &out, const vekterm::remote::Screen &screen, const vekterm::remote::Run &run,
                const Glyphs &glyphs) {
  const auto row = static_cast<std::size_t>(run.row);
  std::string text, attributes;
  for (int column = run.column; column < run.column + run.length; ++column) {
    const auto at = static_cast<std::size_t>(column);
    append_utf8(text, glyphs[static_cast<unsigned char>(screen.chars[row][at])]);
    attributes += kHex[static_cast<unsigned char>(screen.attributes[row][at]) & 15];
  }
  out += '[' + std::to_string(run.row) + ',' + std::to_string(run.column) + ',' + json_string(text) + ',' +
         json_string(attributes) + ']';
}

}  // namespace

Frame parse_frame(std::string_view text) {
  Frame f;
  std::string kind, seq, code, type, value;
  bool has_data = false;
  struct Field {
    std::string_view name;
    std::string *into;
  };
  const Field fields[] = {{"t", &kind},
                          {"terminal", &f.terminal},
                          {"token", &f.token},
                          {"password", &f.password},
                          {"session", &f.session},
                          {"seq", &seq},
                          {"code", &code},
                          {"type", &type},
                          {"data", &f.data}};
  while (!text.empty()) {
    const std::size_t amp = std::min(text.find('&'), text.size());
    const std::string_view pair = text.substr(0, amp);
    text.remove_prefix(std::min(amp + 1, text.size()));
    const std::size_t equals = pair.find('=');
    if (equals == std::string_view::npos || !form_decode(pair.substr(equals + 1), &value)) return {};
    std::string name;
    if (!form_decode(pair.substr(0, equals), &name)) return {};
    for (const Field &field : fields)
      if (name == field.name) {
        *field.into = value;
        has_data |= field.into == &f.data;
      }
  }
  std::uint64_t n = 0;
  if (kind == "hello") {
    if (f.terminal.empty() || (!f.session.empty() && !session_token(f.session))) return {};
    f.kind = Frame::Hello;
  } else if (kind == "key") {
    if (!number(seq, 1, UINT64_MAX >> 1, &f.seq) || !number(code, 0, 65535, &n)) return {};
    f.code = static_cast<std::uint16_t>(n);
    f.kind = Frame::Key;
  } else if (kind == "scan") {
    if (!number(seq, 1, UINT64_MAX >> 1, &f.seq) || !number(type, 0, 255, &n) || !has_data ||
        f.data.size() > vekterm::remote::kMaxScanData)
      return {};
    f.type = static_cast<std::uint8_t>(n);
    f.kind = Frame::Scan;
  }
  return f;
}

void append_utf8(std::string &out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out + '"';
}

std::string welcome_json(const std::string &session, const std::string &terminal, std::uint64_t ack,
                         bool resumed, const Glyphs &glyphs, const ScanSettings &scan) {
  std::string shown;
  for (const char32_t g : glyphs)
    append_utf8(shown, g);
  return "{\"t\":\"welcome\",\"session\":" + json_string(session) + ",\"terminal\":" + json_string(terminal) +
         ",\"ack\":" + std::to_string(ack) + ",\"resumed\":" + (resumed ? "true" : "false") +
         ",\"glyphs\":" + json_string(shown) + ",\"scan\":{\"prefix\":" + json_string(scan.prefix) +
         ",\"suffix\":" + json_string(scan.suffix) + ",\"burst_ms\":" + std::to_string(scan.burst_ms) +
         ",\"min_length\":" + std::to_string(scan.min_length) + "}}";
}

std::string screen_json(const vekterm::remote::Screen &screen, const std::vector<vekterm::remote::Run> &runs,
                        std::uint64_t ack, const Glyphs &glyphs) {
  std::string out = "{\"t\":\"screen\",\"ack\":" + std::to_string(ack) + ",\"cursor\":[" +
                    std::to_string(screen.cursor_row) + ',' + std::to_string(screen.cursor_column) + ',' +
                    (screen.cursor_shown ? "true" : "false") + "],\"runs\":[";
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (i) out += ',';
    append_run(out, screen, runs[i], glyphs);
  }
  return out + "]}";
}

std::string full_screen_json(const vekterm::remote::Screen &screen, std::uint64_t ack, const Glyphs &glyphs) {
  std::vector<vekterm::remote::Run> rows;
  for (int row = 0; row < vekterm::kRows; ++row)
    rows.push_back({row, 0, vekterm::kColumns});
  return screen_json(screen, rows, ack, glyphs);
}

std::string beep_json(int tone, int ms) {
  return "{\"t\":\"beep\",\"tone\":" + std::to_string(tone) + ",\"ms\":" + std::to_string(ms) + "}";
}

std::string led_json(bool on, int ms) {
  return std::string("{\"t\":\"led\",\"on\":") + (on ? "true" : "false") + ",\"ms\":" + std::to_string(ms) +
         "}";
}

std::string end_json(std::string_view reason) {
  return "{\"t\":\"end\",\"reason\":" + json_string(reason) + "}";
}

std::string refused_json(std::string_view reason) {
  return "{\"t\":\"refused\",\"reason\":" + json_string(reason) + "}";
}

bool read_file(const std::string &path, std::string *text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  *text = std::move(bytes).str();
  return true;
}

}  // namespace vekweb
