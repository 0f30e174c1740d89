// The keyboard stream: longest match over the key map, with a short wait while a sequence may still
// grow; escape sequences the map lacks are swallowed whole, so that an unknown function key does not
// type an Esc (Cancel) and letters; characters beyond ASCII (UTF-8, or one byte each from a terminal in
// an 8-bit character set) become the code page's bytes; scans are cut out between the prefix and the
// suffix before any of that.
#include "keystream.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "vekterm/vekterm.h"

namespace vekterm::detail {
namespace {

constexpr char kEsc = '\x1b';

struct KeyName {
  const char *name;
  int code;
};

constexpr KeyName kKeyNames[] = {
    {"Enter", vek::key::Enter},
    {"Cancel", vek::key::Cancel},
    {"Ok", vek::key::Ok},
    {"Next", vek::key::Next},
    {"Previous", vek::key::Previous},
    {"Clear", vek::key::Clear},
    {"Left", vek::key::Left},
    {"Backspace", vek::key::Backspace},
    {"Right", vek::key::Right},
    {"Help", vek::key::Help},
    {"Scan", kKeyPrompt},
    {"Stop", kKeyStop},
};

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

int hex_digit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

// Stores the reason why a text was refused; false.
bool refuse(std::string *why, std::string reason) {
  *why = std::move(reason);
  return false;
}

bool starts_with(std::string_view text, std::string_view head) {
  return text.size() >= head.size() && text.substr(0, head.size()) == head;
}

// The length of a complete CSI (`ESC [` parameters, final byte) or SS3 (`ESC O` and one byte)
// sequence at the front; 0 when the front is no such sequence, -1 when it is one not yet complete.
int escape_length(std::string_view bytes) {
  if (bytes.size() < 2 || bytes[0] != kEsc || (bytes[1] != '[' && bytes[1] != 'O')) return 0;
  if (bytes[1] == 'O') return bytes.size() >= 3 ? 3 : -1;
  for (std::size_t i = 2; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x40 && byte <= 0x7e) return static_cast<int>(i + 1);
    if (byte < 0x20 || byte > 0x3f) return static_cast<int>(i);  // broken off: what came so far
  }
  return -1;
}

// Bytes of the UTF-8 character whose first byte this is; 0 for a byte that cannot begin one.
int utf8_length(unsigned char lead) {
  if (lead >= 0xc2 && lead <= 0xdf) return 2;
  if (lead >= 0xe0 && lead <= 0xef) return 3;
  if (lead >= 0xf0 && lead <= 0xf4) return 4;
  return 0;
}

}  // namespace

const std::vector<KeyBinding> &default_key_map() {
  using namespace vek::key;
  static const std::vector<KeyBinding> map = {
      {"\r", Enter},        {"\n", Enter},        {"\x1bOM", Enter},  // keypad Enter
      {"\x1b", Cancel},                                               // alone, after the delay
      {"\x0f", Ok},         {"\x1b[21~", Ok},                         // Ctrl-O, F10
      {"\t", Next},         {"\x1b[B", Next},     {"\x1bOB", Next},         {"\x1b[Z", Previous},
      {"\x1b[A", Previous}, {"\x1bOA", Previous}, {"\x7f", Backspace},      {"\b", Backspace},
      {"\x1b[D", Left},     {"\x1bOD", Left},     {"\x1b[C", Right},        {"\x1bOC", Right},
      {"\x1bOP", Help},     {"\x1bOQ", Clear},    {"\x1bOR", Cancel},        // PF1..PF3 (xterm F1..F3)
      {"\x1bOS", Ok},                                                        // PF4 (xterm F4)
      {"\x1b[11~", Help},   {"\x1b[12~", Clear},  {"\x1b[13~", Cancel},      // VT220-style F1..F4
      {"\x1b[14~", Ok},     {"\x1b[[A", Help},    {"\x1b[[B", Clear},        // Linux console F1..F4
      {"\x1b[[C", Cancel},  {"\x1b[[D", Ok},      {"\x1b[20~", kKeyPrompt},  // F9
      {"\x03", kKeyStop},                                                    // Ctrl-C
  };
  return map;
}

bool parse_escapes(std::string_view text, std::string *bytes, std::string *why) {
  bytes->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    if (ch == '^') {
      if (i + 1 >= text.size()) return refuse(why, "a caret with nothing after it");
      const char next = static_cast<char>(std::toupper(static_cast<unsigned char>(text[++i])));
      if (next == '?') {
        *bytes += '\x7f';
      } else if (next >= '@' && next <= '_') {
        *bytes += static_cast<char>(next - '@');
      } else {
        return refuse(why, std::string("no control character ^") + text[i]);
      }
      continue;
    }
    if (ch != '\\') {
      *bytes += ch;
      continue;
    }
    if (i + 1 >= text.size()) return refuse(why, "a backslash with nothing after it");
    switch (const char e = text[++i]) {
      case 'e':
      case 'E':
        *bytes += kEsc;
        break;
      case 'r':
        *bytes += '\r';
        break;
      case 'n':
        *bytes += '\n';
        break;
      case 't':
        *bytes += '\t';
        break;
      case 'b':
        *bytes += '\b';
        break;
      case '\\':
      case '^':
        *bytes += e;
        break;
      case 'x': {
        const int high = i + 1 < text.size() ? hex_digit(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hex_digit(text[i + 2]) : -1;
        if (high < 0 || low < 0) return refuse(why, "\\x wants two hexadecimal digits");
        *bytes += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        return refuse(why, std::string("unknown escape \\") + e);
    }
  }
  return true;
}

int key_code(std::string_view name) {
  for (const KeyName &k : kKeyNames)
    if (same_name(name, k.name)) return k.code;
  int code = -1;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), code);
  if (name.empty() || error != std::errc{} || end != name.data() + name.size() || code < 0 || code > 65535)
    return -1;
  return code;
}

bool parse_key_map(std::string_view text, std::vector<KeyBinding> *map, std::string *why) {
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    ++number;
    auto fail = [&](const std::string &reason) {
      return refuse(why, std::to_string(number) + ": " + reason);
    };
    auto word = [&line] {
      const std::size_t begin = std::min(line.find_first_not_of(" \t\r"), line.size());
      line.remove_prefix(begin);
      const std::size_t length = std::min(line.find_first_of(" \t\r"), line.size());
      const std::string_view got = line.substr(0, length);
      line.remove_prefix(length);
      return got;
    };
    const std::string_view sequence = word();
    if (sequence.empty() || sequence[0] == '#') continue;
    const std::string_view name = word();
    const std::string_view rest = word();
    if (name.empty()) return fail("no key after the sequence");
    if (!rest.empty() && rest[0] != '#') return fail("more than a sequence and a key");
    KeyBinding binding{{}, key_code(name)};
    std::string reason;
    if (!parse_escapes(sequence, &binding.sequence, &reason)) return fail(reason);
    if (binding.code < 0) return fail("unknown key \"" + std::string(name) + "\"");
    const auto same = std::find_if(map->begin(), map->end(),
                                   [&](const KeyBinding &b) { return b.sequence == binding.sequence; });
    if (same != map->end())
      same->code = binding.code;
    else
      map->push_back(std::move(binding));
  }
  return true;
}

bool parse_symbologies(std::string_view text, std::array<int, 256> *types, std::string *why) {
  types->fill(-1);
  int any = -1;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find(','), text.size());
    const std::string_view entry = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    int type = -1;
    const bool number =
        entry.size() > 2 && std::from_chars(entry.data() + 2, entry.data() + entry.size(), type).ptr ==
                                entry.data() + entry.size();
    if (entry.size() < 3 || entry[1] != '=' || !number || type < 0 || type > 127)
      return refuse(why, "\"" + std::string(entry) + "\" is not IDENTIFIER=TYPE (a type 0..127)");
    if (entry[0] == '*')
      any = type;
    else
      (*types)[static_cast<unsigned char>(entry[0])] = type;
  }
  if (any >= 0)
    for (int &t : *types)
      if (t < 0) t = any;
  return true;
}

KeyStream::KeyStream(KeyStreamOptions options) : options_(std::move(options)) {
  if (options_.scan_prefix.empty() || options_.scan_suffix.empty()) options_.scan_prefix.clear();
}

void KeyStream::feed(std::string_view bytes, std::int64_t now_ms) {
  if (bytes.empty()) return;
  pending_.append(bytes);
  last_ms_ = now_ms;
}

// True while the latest byte is younger than the delay; then the stream is woken when it runs out.
bool KeyStream::waiting(std::int64_t now_ms, int delay_ms) {
  if (now_ms - last_ms_ >= delay_ms) return false;
  wake_ = last_ms_ + delay_ms;
  return true;
}

bool KeyStream::next(std::int64_t now_ms, KeyEvent *event) {
  wake_ = -1;
  while (!pending_.empty()) {
    Step step = framed(now_ms, event);
    if (step == Step::Keys) step = key(now_ms, event);
    if (step == Step::Wait) return false;
    if (step == Step::Event) return true;
  }
  return false;
}

// A scan between the prefix and the suffix; a prefix (or the start of one) that sees no byte for the
// scan time-out is handed back as keys. Keys when the front belongs to no scan.
KeyStream::Step KeyStream::framed(std::int64_t now_ms, KeyEvent *event) {
  const std::string &prefix = options_.scan_prefix;
  if (prefix.empty() || hand_back_) return Step::Keys;
  const bool whole = starts_with(pending_, prefix);
  if (!whole && !starts_with(prefix, pending_)) return Step::Keys;
  const std::size_t end = whole ? pending_.find(options_.scan_suffix, prefix.size()) : std::string::npos;
  if (end == std::string::npos) {
    if (waiting(now_ms, options_.scan_timeout_ms)) return Step::Wait;
    hand_back_ = true;
    return Step::Keys;
  }
  std::string_view data = std::string_view(pending_).substr(prefix.size(), end - prefix.size());
  event->kind = KeyEvent::Scan;
  event->type = options_.scan_type;
  if (options_.symbology && !data.empty()) {
    const int type = options_.symbology_types[static_cast<unsigned char>(data[0])];
    if (type >= 0) event->type = type;
    data.remove_prefix(1);
  }
  event->data.assign(data.substr(0, kScanData));
  pending_.erase(0, end + options_.scan_suffix.size());
  return event->data.empty() ? Step::Drop : Step::Event;
}

// One key from the front: the longest sequence of the map, once no longer one can still come.
KeyStream::Step KeyStream::key(std::int64_t now_ms, KeyEvent *event) {
  std::size_t best = 0;
  bool longer = false;
  for (const KeyBinding &b : options_.keys) {
    if (b.sequence.size() > best && starts_with(pending_, b.sequence)) {
      best = b.sequence.size();
      event->code = b.code;
    } else if (b.sequence.size() > pending_.size() && starts_with(b.sequence, pending_)) {
      longer = true;
    }
  }
  if (longer && waiting(now_ms, options_.esc_delay_ms)) return Step::Wait;
  hand_back_ = false;
  if (best > 1 || (best == 1 && pending_[0] != kEsc)) {
    pending_.erase(0, best);
    event->kind = KeyEvent::Key;
    return Step::Event;
  }
  if (const int length = escape_length(pending_); length != 0) {
    if (length < 0 && waiting(now_ms, options_.esc_delay_ms)) return Step::Wait;
    pending_.erase(0, length < 0 ? pending_.size() : static_cast<std::size_t>(length));
    return Step::Drop;
  }
  if (best == 1) {  // an Esc before something that is no sequence
    pending_.erase(0, 1);
    event->kind = KeyEvent::Key;
    return Step::Event;
  }
  return character(now_ms, event);
}

// Printable ASCII as itself, other control bytes dropped, other characters (UTF-8, or one byte each
// in an 8-bit character set) as the code page's byte.
KeyStream::Step KeyStream::character(std::int64_t now_ms, KeyEvent *event) {
  const auto lead = static_cast<unsigned char>(pending_[0]);
  if (lead < 0x80) {
    pending_.erase(0, 1);
    if (lead < 0x20 || lead == 0x7f) return Step::Drop;
    event->kind = KeyEvent::Key;
    event->code = lead;
    return Step::Event;
  }
  if (options_.single_byte) {
    pending_.erase(0, 1);
    return typed(options_.upper[lead - 0x80], event);
  }
  const auto length = static_cast<std::size_t>(utf8_length(lead));
  std::size_t have = 1;
  while (have < length && have < pending_.size() &&
         (static_cast<unsigned char>(pending_[have]) & 0xc0) == 0x80)
    ++have;
  if (have < length && have == pending_.size() && waiting(now_ms, options_.esc_delay_ms)) return Step::Wait;
  event->kind = KeyEvent::Refused;
  if (length == 0 || have < length) {
    pending_.erase(0, have);
    return Step::Event;
  }
  char32_t ch = lead & (0x7f >> length);
  for (std::size_t i = 1; i < length; ++i)
    ch = (ch << 6) | (static_cast<unsigned char>(pending_[i]) & 0x3f);
  pending_.erase(0, length);
  return typed(ch, event);
}

// A character beyond ASCII as the code page's byte, refused when the page lacks it. The bytes 174 and
// 175 would read as the arrow keys, so characters with those bytes are refused too.
KeyStream::Step KeyStream::typed(char32_t ch, KeyEvent *event) const {
  const int byte = options_.code_page_byte && ch != 0 ? options_.code_page_byte(ch) : -1;
  event->kind = KeyEvent::Refused;
  if (byte >= 0x20 && byte != 0x7f && byte != vek::key::Left && byte != vek::key::Right) {
    event->kind = KeyEvent::Key;
    event->code = byte;
  }
  return Step::Event;
}

}  // namespace vekterm::detail

bool vekterm::parse_escapes(std::string_view text, std::string *bytes, std::string *why) {
  return detail::parse_escapes(text, bytes, why);
}
