// Reading, writing and checking help files and validation lists.
#include "helpfile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace vekhelp {
namespace {

constexpr std::size_t kNumberWidth = 4;    // digits of a help record's number
constexpr std::size_t kTextStart = 5;      // number and separator come before a help record's text
constexpr std::size_t kPopupWidth = 22;    // text area of a pop-up window
constexpr std::size_t kScreenWidth = 40;   // a whole-screen page of a multi-screen panel
constexpr std::size_t kKeywordText = 159;  // the work buffer that holds definition and option texts

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

std::string four_digits(int n) {
  char text[8];
  std::snprintf(text, sizeof text, "%04d", n);
  return text;
}

// The value tokens of a keyword as the panel reads them: the first occurrence of the keyword, a window
// of `window` characters after it, split at ",", blank and "=".
std::vector<std::string> keyword_tokens(std::string_view text, std::string_view keyword, std::size_t window) {
  std::vector<std::string> out;
  const std::size_t at = text.find(keyword);
  if (at == std::string_view::npos) return out;
  const std::string_view w = text.substr(at + keyword.size(), window);
  std::string token;
  for (char ch : w) {
    if (ch == ',' || ch == ' ' || ch == '=') {
      if (!token.empty()) out.push_back(token), token.clear();
    } else {
      token += ch;
    }
  }
  if (!token.empty()) out.push_back(token);
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

// Help records the panel shows by itself, and when.
struct FixedRecord {
  int number;        // record number
  const char *role;  // completes "shown when ..."
};
enum FixedId {
  kValidating,
  kJoinedTooLong,
  kRejected,
  kNotInList,
  kCheckZero,
  kCheckPrefix,
  kUnusable,
  kRequiredEmpty,
  kNotFull,
  kKeyRefused,
  kTimeOut,
  kScanNoFit,
  kScanKeyboardOnly,
  kScanNeedsId,
  kPrompt,
  kBadDate,
  kBadMask,
  kFixedCount
};
constexpr std::array<FixedRecord, kFixedCount> kFixed = {{
    {1, "the panel is being validated"},
    {2, "values validated together would be too long"},
    {3, "a validation file rejects a value"},
    {4, "a value is not in its list or range"},
    {5, "a check digit (leading zero) is wrong"},
    {6, "a check digit (prefix) is wrong"},
    {7, "a required validation file cannot be used"},
    {8, "OK is pressed with a required field empty"},
    {9, "a fixed-length field is left before it is full"},
    {10, "a key is refused"},
    {11, "a field's time limit passes"},
    {12, "a scan does not fit its field"},
    {13, "a scan reaches a keyboard-only field"},
    {15, "a scan lacks the field's data identifier"},
    {16, "help or a message waits for Enter (its prompt line)"},
    {17, "a date or time is not valid"},
    {18, "a value does not match its mask"},
}};
static_assert(kFixed.size() == kFixedCount);

// What the definition and option texts of a help file ask of it.
struct Uses {
  bool definitions = false;      // the file holds field definitions at all
  std::set<int> fixed;           // fixed records the panel will show
  std::set<int> screen_records;  // pages of multi-screen panels (40 wide)
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

void add_range(std::set<int> *into, const std::vector<std::string> &t, std::size_t first) {
  if (t.size() <= first) return;
  const int a = leading_number(t[first]);
  const int b = t.size() > first + 1 ? leading_number(t[first + 1]) : a;
  for (int n = a; n <= b && n <= 9999; ++n)
    into->insert(n);
}

Uses uses_of(const File &file) {
  Uses u;
  std::map<std::string, int> files;  // validation file -> fields using it
  for (const Record &r : file.records) {
    const std::string_view text = std::string_view(r.text).substr(std::min(r.text.size(), kNumberWidth));
    if (is_definition(text)) {
      u.definitions = true;
      const auto input = keyword_tokens(text, "INPUT=", 10);
      const std::string cls = input.empty() ? "" : upper(input[0]);
      if (cls == "ALPHA" || cls == "NUM") u.fixed.insert(13);
      if (cls == "DATE_AMER" || cls == "DATE_EURO" || cls == "TIME_STD") u.fixed.insert(17);
      const auto vert = keyword_tokens(text, "VERT=", 15);
      const char type = vert.empty() ? 'N' : vert[0][0];
      if (type == 'F') u.fixed.insert(18), add_range(&u.value_records, {vert.size() > 1 ? vert[1] : ""}, 0);
      if (type == 'S' || type == 'R') u.fixed.insert(4), add_range(&u.value_records, vert, 1);
      if (type == 'B') u.fixed.insert(5);
      if (type == 'T') u.fixed.insert(6);
      const auto verf = keyword_tokens(text, "VERF=", 15);
      if (!verf.empty()) {
        u.fixed.insert({3, 7});
        if (++files[verf[0]] > 1) u.fixed.insert(2);
      }
      const auto mode = keyword_tokens(text, "MODE=", 10);
      if (!mode.empty() && mode[0][0] == 'F') u.fixed.insert(9);
      const auto mandi = keyword_tokens(text, "MANDI=", 10);
      if (!mandi.empty() && mandi[0][0] == 'Y') u.fixed.insert(15);
      const auto req = keyword_tokens(text, "REQ=", 10);
      if (req.empty() || req[0][0] != 'N') u.fixed.insert(8);
      add_range(&u.screen_records, keyword_tokens(text, "SCRN=", 15), 0);
    } else if (is_option_text(text)) {
      const auto t = keyword_tokens(text, "T=", 15);
      if (!t.empty() && leading_number(t[0]) > 0) u.fixed.insert(11);
    }
  }
  if (u.definitions) {
    u.fixed.insert({1, 10, 12, 16});  // every panel validates, refuses keys, takes scans, has help
  } else {
    for (const FixedRecord &f : kFixed)
      u.fixed.insert(f.number);  // no definitions: any may be used
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

std::string make_image(const File &file, bool pad) {
  std::vector<std::string> records;
  std::size_t longest = 0;
  for (const Record &r : file.records) {
    records.push_back(r.text);
    longest = std::max(longest, r.text.size());
  }
  if (pad && file.kind == Kind::Help)
    for (std::string &r : records)
      r.resize(longest, ' ');
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

// The search steps of the panel's lookup, byte for byte: a probe in the middle of the remaining
// range, back to the start of its record, and a range narrowed as if every record had that length.
bool panel_search(std::string_view image, std::string_view key, std::size_t width) {
  const std::size_t size = image.size();
  std::size_t low = 0, span = size;
  for (std::size_t rounds = 0; span > 0 && rounds <= size + 1; ++rounds) {
    std::size_t probe = low + span / 2;
    while (probe > 0 && image[probe] != '\0')
      --probe;
    const std::size_t start = image[probe] == '\0' ? probe + 1 : 0;
    std::size_t end = start;
    while (end < size && image[end] != '\0')
      ++end;
    const std::string_view record = image.substr(std::min(start, size), end - std::min(start, size));
    int order = 0;
    if (width > 0) {
      // The key's characters against the record's first ones, a record's end counting as NUL.
      for (std::size_t i = 0; i < width && order == 0; ++i) {
        const auto k = static_cast<unsigned char>(i < key.size() ? key[i] : '\0');
        const auto c = static_cast<unsigned char>(i < record.size() ? record[i] : '\0');
        order = (k > c) - (k < c);
        if (k == 0) break;
      }
    } else {
      const int c = key.compare(record);
      order = (c > 0) - (c < 0);
    }
    if (order == 0) return true;
    if (order < 0) {
      const std::size_t narrowed = start - low + 1;
      if (narrowed == span) return false;
      span = narrowed;
    } else {
      low = start + record.size() + 1;
      if (low > size) return false;
      if (span > record.size()) span -= record.size();
      span /= 2;
      if (low + span > size) span = size - low;
    }
  }
  return false;
}

std::vector<Finding> check(const File &file, bool fixed_records) {
  std::vector<Finding> out = file.findings;
  const bool help = file.kind == Kind::Help;

  // Order and duplicates.
  std::map<std::string, int> first_line;
  const Record *previous = nullptr;
  for (const Record &r : file.records) {
    const std::string key = key_of(file, r.text);
    const auto [it, fresh] = first_line.emplace(key, r.line);
    if (!fresh) {
      out.push_back({r.line, help,
                     (help ? "record " + key : "value " + show_value(key)) + " again (first at " +
                         (file.image ? "record " : "line ") + std::to_string(it->second) + ")"});
    } else if (previous && key < key_of(file, previous->text)) {
      const std::string what =
          help ? "record " + key + " comes after record " + key_of(file, previous->text)
               : "value " + show_value(key) + " comes after " + show_value(previous->text);
      out.push_back({r.line, file.image,
                     what + (file.image ? ": out of order, the panel's search misses records"
                                        : " (compiling sorts them)")});
    }
    previous = &r;
  }

  // Records that the panel's search would not find in the image.
  std::string image;
  if (file.image) {
    for (const Record &r : file.records)
      image += r.text, image += '\0';
  } else {
    image = make_image(file, false);
  }
  // An image out of order is reported as such; what its search then misses follows from that.
  bool ordered = true;
  for (const Finding &f : out)
    ordered = ordered && !(file.image && f.error);
  std::set<std::string> reported;
  for (const Record &r : file.records) {
    if (!ordered) break;
    const std::string key = key_of(file, r.text);
    if (!reported.insert(key).second) continue;
    if (panel_search(image, key, help ? kNumberWidth : 0)) continue;
    if (help)
      out.push_back({r.line, false,
                     "record " + key + " is not found by the panel's search (records of one length are: " +
                         (file.image ? "recompile" : "compile") + " with --pad)"});
    else
      out.push_back({r.line, false,
                     "value " + show_value(key) +
                         " is not found when the panel searches this list itself (names beginning with B_)"});
  }

  if (!help) return out;

  // Texts longer than the place where they are shown or read.
  const Uses uses = uses_of(file);
  for (const Record &r : file.records) {
    const std::string_view after_number =
        std::string_view(r.text).substr(std::min(r.text.size(), kNumberWidth));
    const std::size_t shown = r.text.size() > kTextStart ? r.text.size() - kTextStart : 0;
    const int n = number_of(r.text);
    if (is_definition(after_number)) {
      if (after_number.size() > kKeywordText)
        out.push_back({r.line, false,
                       "definition text of " + std::to_string(after_number.size()) + " characters; at most " +
                           std::to_string(kKeywordText) + " are read"});
    } else if (is_option_text(after_number)) {
      if (shown > kKeywordText)
        out.push_back({r.line, false,
                       "option text of " + std::to_string(shown) + " characters; at most " +
                           std::to_string(kKeywordText) + " are read"});
    } else if (uses.value_records.count(n)) {
      // masks, list values and bounds are compared, not shown
    } else if (uses.screen_records.count(n)) {
      if (shown > kScreenWidth)
        out.push_back({r.line, false,
                       "screen line of " + std::to_string(shown) + " characters is cut at " +
                           std::to_string(kScreenWidth)});
    } else if (shown > kPopupWidth) {
      out.push_back({r.line, false,
                     "text of " + std::to_string(shown) + " characters is cut at " +
                         std::to_string(kPopupWidth) + " in a pop-up window"});
    }
  }

  // Records the panel shows by itself.
  if (fixed_records) {
    std::set<int> present;
    for (const Record &r : file.records)
      present.insert(number_of(r.text));
    for (const FixedRecord &f : kFixed)
      if (uses.fixed.count(f.number) && !present.count(f.number))
        out.push_back(
            {0, false, "record " + four_digits(f.number) + " is missing: the panel shows it when " + f.role});
  }
  return out;
}

}  // namespace vekhelp
