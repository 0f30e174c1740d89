// vekhelp: text to image and back, and what check finds in files that would misbehave on a terminal.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/process.h"

namespace vektest {
namespace {

// An image written with '|' where each NUL goes.
std::string image(std::string text) {
  std::replace(text.begin(), text.end(), '|', '\0');
  return text;
}

class Vekhelp : public ::testing::Test {
 protected:
  Outcome vekhelp(std::vector<std::string> args) { return run(built("tools/vekhelp"), args, dir.path()); }
  // Findings of `check` on a file with these contents, one per line of standard error.
  std::vector<std::string> findings(const std::string &name, const std::string &text,
                                    std::vector<std::string> options = {"--no-fixed"}) {
    dir.write(name, text);
    options.insert(options.begin(), "check");
    options.push_back(name);
    const Outcome r = vekhelp(options);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < r.err.size();) {
      const std::size_t end = r.err.find('\n', at);
      lines.push_back(r.err.substr(at, end - at));
      at = end + 1;
    }
    EXPECT_EQ(r.status, lines.empty() ? 0 : 1) << r.err;
    return lines;
  }
  Scratch dir;
};

// Values that look like comments or blanks in a list are escaped, and survive the way back.
TEST_F(Vekhelp, HelpAndListFilesRoundTrip) {
  struct Case {
    std::string stem, extension, source;
    std::string image;
    std::string text;
  };
  for (const Case &c :
       {Case{"HELP", ".help", "# messages\n0012 twelve\n\n0002 two\r\n0100\n0003:colon separator\n",
             image("0002 two|0003:colon separator|0012 twelve|0100|"),
             "0002 two\n0003:colon separator\n0012 twelve\n0100\n"},
        Case{"LOCS", ".list", "B-2\n# comment\n\\#hash\nA 1 \n\\\\back\n\\\nA-1\n",
             image("|#hash|A 1 |A-1|B-2|\\back|"), "\\\n\\#hash\nA 1 \nA-1\nB-2\n\\\\back\n"}}) {
    dir.write(c.stem + c.extension, c.source);
    ASSERT_EQ(vekhelp({"compile", c.stem + c.extension}).status, 0) << c.stem;
    EXPECT_EQ(dir.read(c.stem + ".VAL"), c.image);
    const Outcome text = vekhelp({"decompile", c.stem + ".VAL"});
    EXPECT_EQ(text.out, c.text) << text.err;
    dir.write("again" + c.extension, text.out);
    ASSERT_EQ(vekhelp({"compile", "again" + c.extension, "-o", "AGAIN.VAL"}).status, 0);
    EXPECT_EQ(dir.read("AGAIN.VAL"), c.image);
  }
}

// check searches with the panel's own search: records of different lengths are all found once sorted
// (the same bytes are searched in tests/unit/search_test.cpp), while an image out of order loses some.
TEST_F(Vekhelp, CheckReportsWhatThePanelsSearchMisses) {
  EXPECT_TRUE(findings("short.help", "0001 abcdefg\n0002\n0003\n").empty());
  ASSERT_EQ(vekhelp({"compile", "short.help", "-o", "SHORT.VAL"}).status, 0);
  EXPECT_EQ(dir.read("SHORT.VAL"), image("0001 abcdefg|0002|0003|"));
  EXPECT_EQ(vekhelp({"check", "--no-fixed", "SHORT.VAL"}).err, "");
  dir.write("B.VAL", image("0002 b|0001 a|"));
  EXPECT_EQ(vekhelp({"check", "--no-fixed", "B.VAL"}).err,
            "B.VAL:record 2: error: record 0001 comes after record 0002: out of order\n"
            "B.VAL:record 1: error: record 0002 is not found by the panel's search\n");
}

TEST_F(Vekhelp, CheckFindsOrderDuplicatesAndLongTexts) {
  EXPECT_EQ(findings("a.help", "0005 five\n0004 four\n0005 again\n"),
            (std::vector<std::string>{
                "a.help:2: warning: record 0004 comes after record 0005 (compiling sorts them)",
                "a.help:3: error: record 0005 again (first at line 1)"}));
  EXPECT_EQ(
      findings("c.list", "BBB\nAAA\nBBB\n"),
      (std::vector<std::string>{"c.list:2: warning: value \"AAA\" comes after \"BBB\" (compiling sorts them)",
                                "c.list:3: warning: value \"BBB\" again (first at line 1)"}));

  const std::string definition = "FI=1,INPUT=ALPHA,LEN=5,ROW=1,COL=1," + std::string(130, ' ') + "REQ=N";
  EXPECT_EQ(findings("d.help", "0001 " + std::string(22, 'x') + "\n0002 " + std::string(23, 'y') + "\n0100 " +
                                   definition + "\n0101 TOE=N,SF=1\n"),
            (std::vector<std::string>{
                "d.help:2: warning: text of 23 characters is cut at 22 in a pop-up window",
                "d.help:3: warning: definition text of 171 characters; at most 159 are read"}));
  EXPECT_EQ(findings("e.help", "0001 ok\n12 short number\n"),
            (std::vector<std::string>{
                "e.help:2: error: a help record begins with its four-digit number, as in \"0001 text\""}));
}

TEST_F(Vekhelp, CheckNamesTheFixedRecordsThatTheDefinitionsUse) {
  const std::string messages = "0001 a\n0008 b\n0010 c\n0012 d\n0016 e\n";
  // A plain text field needs only the messages every panel can show.
  EXPECT_TRUE(findings("plain.help", messages + "0100 FI=1,INPUT=AIALPHA,LEN=5,ROW=1,COL=1\n", {}).empty());
  // A check digit, a keyboard-only class, a fixed length and a validation file each add theirs.
  EXPECT_EQ(
      findings("more.help",
               messages + "0100 FI=1,INPUT=NUM,LEN=5,MODE=F,ROW=1,COL=1,VERT=B\n"
                          "0101 FI=2,INPUT=AIALPHA,LEN=5,ROW=2,COL=1,VERF=LOCS\n",
               {}),
      (std::vector<std::string>{
          "more.help: warning: record 0003 is missing: the panel shows it when a validation file rejects a "
          "value",
          "more.help: warning: record 0005 is missing: the panel shows it when a check digit (leading zero) "
          "is "
          "wrong",
          "more.help: warning: record 0007 is missing: the panel shows it when a required validation file "
          "cannot be used",
          "more.help: warning: record 0009 is missing: the panel shows it when a fixed-length field is left "
          "before it is full",
          "more.help: warning: record 0013 is missing: the panel shows it when a scan reaches a "
          "keyboard-only "
          "field"}));
}

TEST_F(Vekhelp, CompileRefusesWhatWouldMakeAWrongImage) {
  dir.write("dup.help", "0001 one\n0001 uno\n");
  const Outcome dup = vekhelp({"compile", "dup.help"});
  EXPECT_EQ(dup.status, 1);
  EXPECT_EQ(dup.err, "dup.help:2: error: record 0001 again (first at line 1)\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("dup.VAL")));
  const Outcome missing = vekhelp({"compile", "absent.help"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "absent.help: error: cannot be read: No such file or directory\n");
  dir.write("T.VAL", image("0001 one|0002 no end"));
  EXPECT_EQ(vekhelp({"decompile", "T.VAL"}).err,
            "T.VAL:record 2: error: the last record has no NUL at its end\n");
}

// Options in either form, before or after the files; a wrong one is named and nothing is written.
TEST_F(Vekhelp, OptionsTakeTheirLongAndShortForms) {
  dir.write("a.help", "0001 one\n");
  struct Case {
    std::vector<std::string> args;
    std::string output;
  };
  for (const Case &c : {Case{{"compile", "--output=X1.VAL", "a.help"}, "X1.VAL"},
                        Case{{"compile", "a.help", "--output", "X2.VAL"}, "X2.VAL"},
                        Case{{"compile", "a.help", "-oX3.VAL"}, "X3.VAL"},
                        Case{{"compile", "--records", "-o", "X4.VAL", "a.help"}, "X4.VAL"}}) {
    EXPECT_EQ(vekhelp(c.args).status, 0) << c.output;
    EXPECT_EQ(dir.read(c.output), image("0001 one|")) << c.output;
  }
  for (const auto &[option, message] :
       {std::pair<std::string, std::string>{"--pad", "vekhelp: unrecognized option '--pad'"},
        {"--output", "vekhelp: option '--output' requires an argument"}}) {
    const Outcome wrong = vekhelp({"compile", "a.help", option});
    EXPECT_EQ(wrong.status, 2) << option;
    EXPECT_EQ(wrong.first_error_line(), message);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("a.VAL")));
}

// The image is written beside its place and renamed over it: a failed write leaves no temporary file
// (the run's own output files begin with a dot).
TEST_F(Vekhelp, OutputIsReplacedWholeOrNotAtAll) {
  dir.write("a.help", "0001 new\n");
  dir.write("a.VAL", image("0001 old|"));
  ASSERT_EQ(vekhelp({"compile", "a.help"}).status, 0);
  EXPECT_EQ(dir.read("a.VAL"), image("0001 new|"));
  std::filesystem::create_directory(dir.file("taken"));
  const Outcome failed = vekhelp({"compile", "a.help", "-o", "taken"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err, "vekhelp: cannot write taken: Is a directory\n");
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(dir.path()))
    if (entry.path().filename().string()[0] != '.') names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.VAL", "a.help", "taken"}));
}

}  // namespace
}  // namespace vektest
