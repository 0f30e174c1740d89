// Reading, writing and checking help files and validation lists. The record facts, the record search
// and the keyword reader are the module's own (help_records.h, search.h, keyword_text.h), so a check
// tells what the panel will do with the file.
#include "helpfile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "fields/help_records.h"
#include "fields/keyword_text.h"
#include "fields/search.h"
#include "fields/table.h"

namespace vekhelp {
namespace {

using vek::kNumberWidth;
using vek::kTextColumn;

bool is_digit(char ch) {
  return ch >= '0' && ch <= '9';
}

bool looks_like_help_record(std::string_view r) {
  if (r.size() < kNumberWidth) return false;
  for (std::size_t i = 0; i < kNumberWidth; ++i)
    if (!is_digit(r[i])) return false;
  return r.size() == kNumberWidth || !is_digit(r[kNumberWidth]);
}

bool ends_with(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

std::string key_of(const File &file, std::string_view record) {
  return std::string(file.kind == Kind::Help ? record.substr(0, kNumberWidth) : record);
}

std::string show_value(std::string_view v) {
  return "\"" + std::string(v) + "\"";
}

int number_of(std::string_view record) {
  int n = 0;
  for (std::size_t i = 0; i < kNumberWidth && i < record.size(); ++i)
    n = n * 10 + (record[i] - '0');
  return n;
}

std::string record_name(int n) {
  std::array<char, vek::kRecordKeySize> key;
  return std::string(vek::record_key(n, kNumberWidth, &key).value_or("?"));
}

// The value tokens of a keyword, read by the panel's own keyword reader.
std::vector<std::string> keyword_tokens(const std::string &text, const char *keyword, std::size_t window) {
  std::array<char, static_cast<std::size_t>(vek::kTokenSize)> buffer{};
  std::vector<std::string> out;
  std::string_view token;
  if (vek::read_keyword(text.c_str(), keyword, window, buffer.data(), buffer.size(), &token) !=
      vek::kKeywordToken)
    return out;
  do
    out.emplace_back(token);
  while (vek::next_keyword_token(buffer.data(), buffer.size(), token, &token));
  return out;
}

int leading_number(std::string_view token) {
  int n = 0;
  for (char ch : token) {
    if (!is_digit(ch) || n > 99999) break;
    n = n * 10 + (ch - '0');
  }
  return n;
}

std::string upper(std::string s) {
  for (char &ch : s)
    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return s;
}

// What the definition and option texts of a help file ask of it.
struct Uses {
  bool definitions = false;      // the file holds field definitions at all
  std::set<int> fixed;           // records of fixed roles that the panel will show
  std::set<int> screen_records;  // pages of multi-screen panels (a whole screen wide)
  std::set<int> value_records;   // masks, list values, range bounds: never shown
};

bool is_definition(std::string_view text) {
  return text.find("FI=") != std::string_view::npos && text.find("INPUT=") != std::string_view::npos;
}

bool is_option_text(std::string_view text) {
  for (const char *k : {"TOE=", "ERET=", "CNP=", "SF=", "REASON=", "MULT=", "CON=", "HVR="})
    if (text.find(k) != std::string_view::npos) return true;
  return false;
}

// A record's text as the panel reads it: SET_FIE takes everything after the number, separator
// included; the panel options and the pop-up take the text after the separator. Either way the work
// buffer keeps the first kDefinitionTextLength characters.
std::string definition_text(std::string_view record) {
  return std::string(record.substr(std::min(record.size(), kNumberWidth), vek::kDefinitionTextLength));
}
std::string option_text(std::string_view record) {
  return std::string(record.substr(std::min(record.size(), kTextColumn), vek::kDefinitionTextLength));
}

void add_range(std::set<int> *into, const std::vector<std::string> &t, std::size_t first) {
  if (t.size() <= first) return;
  const int a = leading_number(t[first]);
  const int b = t.size() > first + 1 ? leading_number(t[first + 1]) : a;
  for (int n = a; n <= b && n <= vek::kLastRecord; ++n)
    into->insert(n);
}

void add_definition_uses(const std::string &text, std::map<std::string, int> *files, Uses *u) {
  using vek::kLongWindow, vek::kShortWindow;
  u->definitions = true;
  const auto input = keyword_tokens(text, "INPUT=", kShortWindow);
  const std::string cls = input.empty() ? "" : upper(input[0]);
  if (cls == "ALPHA" || cls == "NUM") u->fixed.insert(vek::kRecordKeyboardOnly);
  if (cls == "DATE_AMER" || cls == "DATE_EURO" || cls == "TIME_STD") u->fixed.insert(vek::kRecordDateTime);
  const auto vert = keyword_tokens(text, "VERT=", kLongWindow);
  const char type = vert.empty() ? 'N' : vert[0][0];
  if (type == 'F') {
    u->fixed.insert(vek::kRecordMask);
    add_range(&u->value_records, {vert.size() > 1 ? vert[1] : ""}, 0);
  }
  if (type == 'S' || type == 'R') {
    u->fixed.insert(vek::kRecordOutOfList);
    add_range(&u->value_records, vert, 1);
  }
  if (type == 'B') u->fixed.insert(vek::kRecordLeadingZero);
  if (type == 'T') u->fixed.insert(vek::kRecordPrefix);
  const auto verf = keyword_tokens(text, "VERF=", kLongWindow);
  if (!verf.empty()) {
    u->fixed.insert({vek::kRecordNotInFile, vek::kRecordMandatory});
    if (++(*files)[verf[0]] > 1) u->fixed.insert(vek::kRecordJoinedTooLong);
  }
  const auto mode = keyword_tokens(text, "MODE=", kShortWindow);
  if (!mode.empty() && mode[0][0] == 'F') u->fixed.insert(vek::kRecordNotFull);
  const auto mandi = keyword_tokens(text, "MANDI=", kShortWindow);
  if (!mandi.empty() && mandi[0][0] == 'Y') u->fixed.insert(vek::kRecordIdentifierNeeded);
  const auto req = keyword_tokens(text, "REQ=", kShortWindow);
  if (req.empty() || req[0][0] != 'N') u->fixed.insert(vek::kRecordRequiredEmpty);
  add_range(&u->screen_records, keyword_tokens(text, "SCRN=", kLongWindow), 0);
}

Uses uses_of(const File &file) {
  Uses u;
  std::map<std::string, int> files;  // validation file -> fields using it
  for (const Record &r : file.records) {
    if (is_definition(definition_text(r.text))) {
      add_definition_uses(definition_text(r.text), &files, &u);
    } else if (is_option_text(option_text(r.text))) {
      const auto t = keyword_tokens(option_text(r.text), "T=", vek::kLongWindow);
      if (!t.empty() && leading_number(t[0]) > 0) u.fixed.insert(vek::kRecordTimeOut);
    }
  }
  if (u.definitions) {
    // Every panel validates, refuses keys, takes scans and has help.
    u.fixed.insert({vek::kRecordChecking, vek::kRecordRefusedKey, vek::kRecordNoFit, vek::kRecordPrompt});
  } else {
    for (const vek::HelpRecordRole &role : vek::kHelpRecordRoles)
      u.fixed.insert(role.number);  // no definitions: any may be used
  }
  return u;
}

}  // namespace

bool read_file(const std::string &path, const Kind *forced, File *file) {
  file->name = path;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    file->findings.push_back({0, true, std::string("cannot be read: ") + std::strerror(errno)});
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  const std::string bytes = std::move(buffer).str();
  file->image = bytes.find('\0') != std::string::npos;

  if (file->image) {
    std::size_t at = 0;
    for (int index = 1; at < bytes.size(); ++index) {
      std::size_t end = bytes.find('\0', at);
      if (end == std::string::npos) {
        file->findings.push_back({index, true, "the last record has no NUL at its end"});
        end = bytes.size();
      }
      file->records.push_back({bytes.substr(at, end - at), index});
      at = end + 1;
    }
    bool help = !file->records.empty();
    for (const Record &r : file->records)
      help = help && looks_like_help_record(r.text);
    file->kind = forced ? *forced : help ? Kind::Help : Kind::List;
    return true;
  }

  // Text: one record a line; blank lines and comment lines are skipped.
  std::vector<std::pair<std::string, int>> lines;
  std::size_t at = 0;
  for (int number = 1; at < bytes.size(); ++number) {
    std::size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    at = end + 1;
    if (line.empty() || line[0] == '#') continue;
    lines.emplace_back(std::move(line), number);
  }
  if (forced) {
    file->kind = *forced;
  } else if (ends_with(path, ".help")) {
    file->kind = Kind::Help;
  } else if (ends_with(path, ".list")) {
    file->kind = Kind::List;
  } else {
    bool help = !lines.empty();
    for (const auto &[line, number] : lines)
      help = help && looks_like_help_record(line);
    file->kind = help ? Kind::Help : Kind::List;
  }
  for (auto &[line, number] : lines) {
    if (file->kind == Kind::Help) {
      if (!looks_like_help_record(line)) {
        file->findings.push_back(
            {number, true, "a help record begins with its four-digit number, as in \"0001 text\""});
        continue;
      }
    } else if (line[0] == '\\') {
      line.erase(0, 1);  // a value that would read as a comment, or begins with a backslash
    }
    file->records.push_back({std::move(line), number});
  }
  return true;
}

std::string make_image(const File &file) {
  std::vector<std::string> records;
  for (const Record &r : file.records)
    records.push_back(r.text);
  std::sort(records.begin(), records.end());
  records.erase(std::unique(records.begin(), records.end()), records.end());
  std::string image;
  for (const std::string &r : records) {
    image += r;
    image += '\0';
  }
  return image;
}

bool write_text(const File &file, std::string *text, std::string *error) {
  text->clear();
  for (const Record &r : file.records) {
    if (r.text.find('\n') != std::string::npos || r.text.find('\r') != std::string::npos) {
      *error = "record " + std::to_string(r.line) + " holds a line break and has no text form";
      return false;
    }
    if (file.kind == Kind::List && (r.text.empty() || r.text[0] == '#' || r.text[0] == '\\')) *text += '\\';
    *text += r.text;
    *text += '\n';
  }
  return true;
}

namespace {

// Records out of order and records whose number (or value) comes again. A source is sorted when it is
// compiled, so its order is only noted; in an image, order decides what the search finds. Two records
// of one number leave the panel to show either of them.
void check_order(const File &file, std::vector<Finding> *out) {
  const bool help = file.kind == Kind::Help;
  std::map<std::string, int> first_line;
  const Record *previous = nullptr;
  for (const Record &r : file.records) {
    const std::string key = key_of(file, r.text);
    const auto [it, fresh] = first_line.emplace(key, r.line);
    if (!fresh) {
      out->push_back({r.line, help,
                      (help ? "record " + key : "value " + show_value(key)) + " again (first at " +
                          (file.image ? "record " : "line ") + std::to_string(it->second) + ")"});
    } else if (previous && key < key_of(file, previous->text)) {
      const std::string what =
          help ? "record " + key + " comes after record " + key_of(file, previous->text)
               : "value " + show_value(key) + " comes after " + show_value(previous->text);
      out->push_back(
          {r.line, file.image, what + (file.image ? ": out of order" : " (compiling sorts them)")});
    }
    previous = &r;
  }
}

// Records that the panel's search misses in the image the terminal would hold: the file itself, or what
// compile makes of it. A compiled image is sorted, and the search finds every record of a sorted image.
void check_search(const File &file, std::vector<Finding> *out) {
  std::string image;
  if (file.image) {
    for (const Record &r : file.records) {
      image += r.text;
      image += '\0';
    }
  } else {
    image = make_image(file);
  }
  const bool help = file.kind == Kind::Help;
  std::set<std::string> searched;
  for (const Record &r : file.records) {
    const std::string key = key_of(file, r.text);
    if (!searched.insert(key).second) continue;
    if (help && !vek::find_record(image, number_of(key)))
      out->push_back({r.line, true, "record " + key + " is not found by the panel's search"});
    if (!help && !vek::find_value(image, key))
      out->push_back(
          {r.line, true,
           "value " + show_value(key) +
               " is not found when the panel searches this list itself (names beginning with B_)"});
  }
}

// Texts longer than the place where they are read or shown: definition and option texts in the work
// buffer, pages of a field's own screen on the whole screen, any other text in a pop-up window.
void check_lengths(const File &file, const Uses &uses, std::vector<Finding> *out) {
  const std::string limit = std::to_string(vek::kDefinitionTextLength);
  for (const Record &r : file.records) {
    const std::size_t after_number = r.text.size() - std::min(r.text.size(), kNumberWidth);
    const std::size_t shown = r.text.size() - std::min(r.text.size(), kTextColumn);
    const int n = number_of(r.text);
    if (is_definition(definition_text(r.text))) {
      if (after_number > vek::kDefinitionTextLength)
        out->push_back({r.line, false,
                        "definition text of " + std::to_string(after_number) + " characters; at most " +
                            limit + " are read"});
    } else if (is_option_text(option_text(r.text))) {
      if (shown > vek::kDefinitionTextLength)
        out->push_back(
            {r.line, false,
             "option text of " + std::to_string(shown) + " characters; at most " + limit + " are read"});
    } else if (uses.value_records.count(n)) {
      // masks, list values and bounds are compared, not shown
    } else if (uses.screen_records.count(n)) {
      if (shown > vek::kScreenLineWidth)
        out->push_back({r.line, false,
                        "screen line of " + std::to_string(shown) + " characters is cut at " +
                            std::to_string(vek::kScreenLineWidth)});
    } else if (shown > vek::kPopupLineWidth) {
      out->push_back({r.line, false,
                      "text of " + std::to_string(shown) + " characters is cut at " +
                          std::to_string(vek::kPopupLineWidth) + " in a pop-up window"});
    }
  }
}

// Records of fixed roles that the panel will show and the file lacks.
void check_fixed_records(const File &file, const Uses &uses, std::vector<Finding> *out) {
  std::set<int> present;
  for (const Record &r : file.records)
    present.insert(number_of(r.text));
  for (const vek::HelpRecordRole &role : vek::kHelpRecordRoles)
    if (uses.fixed.count(role.number) && !present.count(role.number))
      out->push_back(
          {0, false,
           "record " + record_name(role.number) + " is missing: the panel shows it when " + role.shown_when});
}

}  // namespace

std::vector<Finding> check(const File &file, bool fixed_records) {
  std::vector<Finding> out = file.findings;
  check_order(file, &out);
  check_search(file, &out);
  if (file.kind != Kind::Help) return out;
  const Uses uses = uses_of(file);
  check_lengths(file, uses, &out);
  if (fixed_records) check_fixed_records(file, uses, &out);
  return out;
}

}  // namespace vekhelp
