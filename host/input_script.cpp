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
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>

#include "host.h"
#include "vekterm/vekterm.h"

namespace vekhost {
namespace {

struct KeyName {
  const char *name;    // compared without regard to case
  std::uint16_t code;  // the code the module receives
};

// The names the README lists for the real keyboard, so a script reads like what an operator types.
constexpr KeyName kKeyNames[] = {
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
};

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

// One line of the script being read.
struct Line {
  std::string_view rest;                // after the verb and one blank: typed text and scans keep theirs
  std::vector<std::string_view> words;  // the rest cut at blanks
};

// What the reader keeps from one step to the next.
struct Reader {
  std::uint8_t scan_type = 1;
};

// Each step queues its input on the headless terminal; "" when done, else why the line is wrong.
using StepReader = std::string (*)(const Line &line, Reader &reader);

namespace script = vekterm::headless;

std::string read_text(const Line &line, Reader &) {
  if (line.rest.empty()) return "text needs the characters to type";
  script::text(line.rest);
  return {};
}

std::string read_key(const Line &line, Reader &) {
  if (line.words.empty()) return "key needs a key name or code";
  for (std::string_view name : line.words)
    if (key_code(name) < 0) return "unknown key \"" + std::string(name) + "\"";
  for (std::string_view name : line.words)
    script::key(static_cast<std::uint16_t>(key_code(name)));
  return {};
}

std::string read_scan(const Line &line, Reader &reader) {
  if (line.rest.empty() || line.rest.size() > 255) return "a scan holds 1 to 255 characters";
  script::scan(line.rest, reader.scan_type);
  return {};
}

std::string read_scan_type(const Line &line, Reader &reader) {
  long type = 0;
  if (line.words.size() != 1 || !number_in(line.words[0], 0, 255, &type))
    return "scantype needs a record type 0 to 255";
  reader.scan_type = static_cast<std::uint8_t>(type);
  return {};
}

std::string read_delay(const Line &line, Reader &) {
  long milliseconds = 0;
  if (line.words.size() != 1 || !number_in(line.words[0], 0, 86400000, &milliseconds))
    return "delay needs milliseconds";
  script::delay(static_cast<int>(milliseconds));
  return {};
}

// "var N TEXT": the text is everything after the number and one blank.
std::string read_var(const Line &line, Reader &) {
  long number = 0;
  if (line.words.empty() || !number_in(line.words[0], 1, vekterm::kVariables, &number))
    return "var needs a user variable number 1 to 99 and its text";
  const std::size_t text_at = line.rest.find(line.words[0]) + line.words[0].size();
  script::write_variable(static_cast<int>(number),
                         text_at < line.rest.size() ? line.rest.substr(text_at + 1) : std::string_view());
  return {};
}

std::string read_stop(const Line &, Reader &) {
  script::host_stop();
  return {};
}

struct Verb {
  const char *name;
  StepReader read;
};
constexpr Verb kVerbs[] = {
    {"text", read_text},   {"key", read_key}, {"scan", read_scan}, {"scantype", read_scan_type},
    {"delay", read_delay}, {"var", read_var}, {"stop", read_stop},
};

// Reads one line that is not blank or a comment.
std::string read_step(std::string_view text, Reader &reader) {
  const std::size_t space = text.find(' ');
  const std::string_view verb = text.substr(0, space);
  Line line;
  line.rest = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
  line.words = words(line.rest);
  for (const Verb &v : kVerbs)
    if (verb == v.name) return v.read(line, reader);
  std::string known;
  for (const Verb &v : kVerbs)
    known += (known.empty() ? "" : ", ") + std::string(v.name);
  return "unknown step \"" + std::string(verb) + "\" (" + known + ")";
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
  Reader reader;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (std::string why = read_step(line, reader); !why.empty()) {
      *error = path + ":" + std::to_string(number) + ": " + why;
      return 1;
    }
  }
  return 0;
}

}  // namespace vekhost
