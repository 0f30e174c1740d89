// The keyboard stream on its own: bytes fed at times the test gives, the events they make.
#include <gtest/gtest.h>

#include <numeric>
#include <utility>
#include <vector>

#include "../../terminal/src/codepage.h"
#include "../../terminal/src/keystream.h"

namespace {

using namespace vekterm::detail;

// A code page with the Euro sign at 0x80 and Latin-1 above it.
int euro_page(char32_t ch) {
  return ch == U'€' ? 0x80 : ch >= 0xa0 && ch < 0x100 ? static_cast<int>(ch) : -1;
}

// A terminal typing ISO-8859-1, one byte a character, for a module in code page 437.
KeyStreamOptions latin1_for_cp437() {
  KeyStreamOptions options;
  options.code_page_byte = [](char32_t ch) { return code_page_byte(CodePage::Cp437, ch); };
  options.single_byte = true;
  std::iota(options.upper.begin(), options.upper.end(), U'\x80');
  return options;
}

// Each step: at a time, the bytes fed and the events due then; a '|' between steps.
std::string run(KeyStreamOptions options, const std::vector<std::pair<int, std::string>> &steps) {
  if (!options.code_page_byte) options.code_page_byte = euro_page;
  KeyStream stream(std::move(options));
  std::string got;
  KeyEvent event;
  for (const auto &[now, bytes] : steps) {
    if (&bytes != &steps.front().second) got += '|';
    for (stream.feed(bytes, now); stream.next(now, &event);)
      got += event.kind == KeyEvent::Refused ? "refused "
             : event.kind == KeyEvent::Key   ? std::to_string(event.code) + " "
                                             : "scan " + std::to_string(event.type) + " " + event.data + " ";
  }
  return got;
}

KeyStreamOptions framed(const char *prefix, const char *suffix, const char *symbology = "") {
  KeyStreamOptions options;
  std::string why;
  options.symbology = *symbology != 0;
  EXPECT_TRUE(parse_escapes(prefix, &options.scan_prefix, &why) &&
              parse_escapes(suffix, &options.scan_suffix, &why) &&
              parse_symbologies(symbology, &options.symbology_types, &why))
      << why;
  return options;
}

TEST(KeyStream, SequencesScansAndCharactersMakeTheirEvents) {
  const std::string long_scan(120, 'x');
  const struct {
    const char *what;
    KeyStreamOptions options;
    std::vector<std::pair<int, std::string>> steps;
    std::string events;
  } rows[] = {
      // clang-format off
      {"PF1..PF4", {}, {{0, "\x1bOP\x1bOQ\x1bOR\x1bOS"}}, "15104 1024 256 768 "},
      {"VT220 and Linux keys", {}, {{0, "\x1b[11~\x1b[[B\x1b[21~\x1b[20~\x03"}}, "15104 1024 768 65536 65537 "},
      {"arrows both ways", {}, {{0, "\x1b[A\x1bOB\x1b[D\x1bOC\x1b[Z"}}, "512 1536 174 175 512 "},
      {"Esc alone after the delay", {}, {{0, "\x1b"}, {99, ""}, {100, ""}}, "||256 "},
      {"a sequence split across reads", {}, {{0, "\x1b["}, {20, "A"}}, "|512 "},
      {"an unknown sequence is swallowed", {}, {{0, "\x1b[1;5Aq\x1bOxr"}}, "113 114 "},
      {"Esc before a letter", {}, {{0, "\x1bq"}}, "256 113 "},
      {"a framed scan among keys", framed("\\x02", "\\r"), {{0, "a\x02" "0104\rb"}}, "97 scan 1 0104 98 "},
      {"a scan in pieces", framed("\\e[99~", "\\e[98~"), {{0, "\x1b[99~01"}, {100, "04\x1b[98~"}}, "|scan 1 0104 "},
      {"symbology sets the type", framed("^B", "^C", "E=3,*=5"), {{0, "\x02" "E12\x03\x02" "A34\x03"}}, "scan 3 12 scan 5 34 "},
      {"unlisted symbology", framed("^B", "^C", "E=3"), {{0, "\x02Z12\x03"}}, "scan 1 12 "},
      {"a long scan is cut", framed("\\x02", "\\r"), {{0, "\x02" + long_scan + "\r"}}, "scan 1 " + long_scan.substr(0, 97) + " "},
      {"a prefix alone becomes keys", framed("\\x02", "\\r"), {{0, "\x02" "ab"}, {149, ""}, {150, ""}}, "||97 98 "},
      {"a partial prefix becomes keys", framed("\\e[99~", "\\r"), {{0, "\x1b"}, {149, ""}, {150, ""}}, "||256 "},
      {"UTF-8 to the code page", {}, {{0, "\xc3\xa4\xe2\x82\xac"}}, "228 128 "},
      {"characters the page lacks, arrow bytes", {}, {{0, "\xe2\x80\x94\xc2\xae\xff"}}, "refused refused refused "},
      {"8-bit bytes to the code page", latin1_for_cp437(), {{0, "\xe4\x80"}}, "132 refused "},
      // clang-format on
  };
  for (const auto &row : rows)
    EXPECT_EQ(run(row.options, row.steps), row.events) << row.what;
}

TEST(KeyStream, KeyMapFilesAddAndReplaceAndNameTheBadLine) {
  KeyStreamOptions options;
  options.keys = default_key_map();
  std::string why;
  ASSERT_TRUE(parse_key_map("# mine\n\n\\e[17~ help\n^B 13 # Enter\n\\eOP Clear\n", &options.keys, &why))
      << why;
  EXPECT_EQ(run(options, {{0, "\x1b[17~\x02\x1bOP"}}), "15104 13 1024 ");
  const std::pair<const char *, const char *> bad[] = {
      {"\\e[17~ Sideways", "1: unknown key \"Sideways\""},
      {"ok Enter\n\\q Help", "2: unknown escape \\q"},
      {"\\e[17~", "1: no key after the sequence"},
      {"\\x0 Help", "1: \\x wants two hexadecimal digits"},
      {"a 70000", "1: unknown key \"70000\""},
      {"a Help Ok", "1: more than a sequence and a key"},
  };
  for (const auto &[text, reason] : bad)
    EXPECT_TRUE(!parse_key_map(text, &options.keys, &why) && why == reason) << text << " -> " << why;
}

}  // namespace
