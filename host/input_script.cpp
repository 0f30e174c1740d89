// Input scripts for the headless terminal: one step a line.
//
//   # a comment            blank lines and lines starting with # are skipped
//   text 0012345678905     the rest of the line, each byte typed as a key (spaces included)
//   key Enter OK           keys by name or by number, one or more
//   scan ]C10012345678905  one scan of the rest of the line
//   scantype 3             record type of the scans that follow (1 at the start)
//   delay 1500             milliseconds before the next step becomes due
//   var 5 READY            the terminal writes a user variable (as a device would)
//   stop                   a host stop request: the module's next idle call is asked to stop
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>

#include "host.h"
#include "vekterm/keys.h"
#include "vekterm/vekterm.h"

namespace vekhost {
namespace {

struct KeyName {
  const char *name;    // compared without regard to case
  std::uint16_t code;  // the code the module receives
};

enum KeyNameId {
  kEnter,
  kReturn,
  kCancel,
  kEsc,
  kOk,
  kF10,
  kNext,
  kTab,
  kDown,
  kPrevious,
  kShiftTab,
  kUp,
  kClear,
  kF2,
  kBackspace,
  kLeft,
  kRight,
  kHelp,
  kF1,
  kSpace,
  kKeyNameCount
};

// The names the README lists for the real keyboard, so a script reads like what an operator types.
constexpr std::array<KeyName, kKeyNameCount> kKeyNames = {{
    {"Enter", vekterm::key::Enter},
    {"Return", vekterm::key::Enter},
    {"Cancel", vekterm::key::Cancel},
    {"Esc", vekterm::key::Cancel},
    {"OK", vekterm::key::Ok},
    {"F10", vekterm::key::Ok},
    {"Next", vekterm::key::Next},
    {"Tab", vekterm::key::Next},
    {"Down", vekterm::key::Next},
    {"Previous", vekterm::key::Previous},
    {"ShiftTab", vekterm::key::Previous},
    {"Up", vekterm::key::Previous},
    {"Clear", vekterm::key::Clear},
    {"F2", vekterm::key::Clear},
    {"Backspace", vekterm::key::Backspace},
    {"Left", vekterm::key::Left},
    {"Right", vekterm::key::Right},
    {"Help", vekterm::key::Help},
    {"F1", vekterm::key::Help},
    {"Space", ' '},
}};
static_assert(kKeyNames.size() == kKeyNameCount);

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Whole text as a number in [low, high]; false otherwise.
bool number_in(std::string_view text, long low, long high, long *value) {
  long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < low || v > high) return false;
  *value = v;
  return true;
}

std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && text[at] == ' ')
      ++at;
    const std::size_t end = text.find(' ', at);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end;
    if (stop > at) out.push_back(text.substr(at, stop - at));
    at = stop;
  }
  return out;
}

}  // namespace

int key_code(std::string_view name) {
  for (const KeyName &k : kKeyNames)
    if (same_name(name, k.name)) return k.code;
  long code = 0;
  if (number_in(name, 1, 65535, &code)) return static_cast<int>(code);
  return -1;
}

int queue_input_script(const std::string &path, std::string *error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "input script " + path + " cannot be read";
    return 1;
  }
  namespace script = vekterm::headless;
  std::uint8_t scan_type = 1;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (line.empty() || line[0] == '#') continue;
    const std::size_t space = line.find(' ');
    const std::string_view verb = std::string_view(line).substr(0, space);
    // The rest after exactly one blank: typed text and scans keep their own blanks.
    const std::string_view rest =
        space == std::string::npos ? std::string_view() : std::string_view(line).substr(space + 1);
    const std::vector<std::string_view> args = words(rest);
    long value = 0;
    if (verb == "text") {
      if (rest.empty()) {
        *error = where + "text needs the characters to type";
        return 1;
      }
      script::text(rest);
    } else if (verb == "key") {
      if (args.empty()) {
        *error = where + "key needs a key name or code";
        return 1;
      }
      for (std::string_view name : args) {
        const int code = key_code(name);
        if (code < 0) {
          *error = where + "unknown key \"" + std::string(name) + "\"";
          return 1;
        }
        script::key(static_cast<std::uint16_t>(code));
      }
    } else if (verb == "scan") {
      if (rest.empty() || rest.size() > 255) {
        *error = where + "a scan holds 1 to 255 characters";
        return 1;
      }
      script::scan(rest, scan_type);
    } else if (verb == "scantype") {
      if (args.size() != 1 || !number_in(args[0], 0, 255, &value)) {
        *error = where + "scantype needs a record type 0 to 255";
        return 1;
      }
      scan_type = static_cast<std::uint8_t>(value);
    } else if (verb == "delay") {
      if (args.size() != 1 || !number_in(args[0], 0, 86400000, &value)) {
        *error = where + "delay needs milliseconds";
        return 1;
      }
      script::delay(static_cast<int>(value));
    } else if (verb == "var") {
      if (args.empty() || !number_in(args[0], 1, vekterm::kVariables, &value)) {
        *error = where + "var needs a user variable number 1 to 99 and its text";
        return 1;
      }
      const std::size_t text_at = rest.find(args[0]) + args[0].size();
      const std::string_view text = text_at < rest.size() ? rest.substr(text_at + 1) : std::string_view();
      script::write_variable(static_cast<int>(value), text);
    } else if (verb == "stop") {
      script::host_stop();
    } else {
      *error =
          where + "unknown step \"" + std::string(verb) + "\" (text, key, scan, scantype, delay, var, stop)";
      return 1;
    }
  }
  return 0;
}

}  // namespace vekhost
