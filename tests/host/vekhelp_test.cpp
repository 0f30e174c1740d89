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
  // What `check` reports on a file with these contents; its status is 1 exactly when it reports.
  std::string check(const std::string &name, const std::string &text, bool fixed = false) {
    dir.write(name, text);
    const Outcome r = vekhelp({"check", fixed ? "--records" : "--no-fixed", name});
    EXPECT_EQ(r.status, r.err.empty() ? 0 : 1) << r.err;
    return r.err;
  }
  Scratch dir;
};

// Values that look like comments or blanks in a list are escaped, and survive the way back.
TEST_F(Vekhelp, HelpAndListFilesRoundTrip) {
  using Case = std::tuple<std::string, std::string, std::string, std::string, std::string>;
  for (const auto &[stem, extension, source_text, bytes, text] :
       {Case{"HELP", ".help", "# messages\n0012 twelve\n\n0002 two\r\n0100\n0003:colon separator\n",
             image("0002 two|0003:colon separator|0012 twelve|0100|"),
             "0002 two\n0003:colon separator\n0012 twelve\n0100\n"},
        Case{"LOCS", ".list", "B-2\n# comment\n\\#hash\nA 1 \n\\\\back\n\\\nA-1\n",
             image("|#hash|A 1 |A-1|B-2|\\back|"), "\\\n\\#hash\nA 1 \nA-1\nB-2\n\\\\back\n"}}) {
    dir.write(stem + extension, source_text);
    ASSERT_EQ(vekhelp({"compile", stem + extension}).status, 0) << stem;
    EXPECT_EQ(dir.read(stem + ".VAL"), bytes);
    const Outcome back = vekhelp({"decompile", stem + ".VAL"});
    EXPECT_EQ(back.out, text) << back.err;
  }
}

// check searches with the panel's own search: records of different lengths are all found once sorted
// (the same bytes are searched in tests/unit/search_test.cpp), while an image out of order loses some.
TEST_F(Vekhelp, CheckReportsWhatThePanelsSearchMisses) {
  EXPECT_EQ(check("short.help", "0001 abcdefg\n0002\n0003\n"), "");
  ASSERT_EQ(vekhelp({"compile", "short.help", "-o", "SHORT.VAL"}).status, 0);
  EXPECT_EQ(dir.read("SHORT.VAL"), image("0001 abcdefg|0002|0003|"));
  EXPECT_EQ(check("SHORT.VAL", dir.read("SHORT.VAL")), "");
  EXPECT_EQ(check("B.VAL", image("0002 b|0001 a|")),
            "B.VAL:record 2: error: record 0001 comes after record 0002: out of order\n"
            "B.VAL:record 1: error: record 0002 is not found by the panel's search\n");
}

TEST_F(Vekhelp, CheckFindsOrderDuplicatesLongTextsAndMissingMessages) {
  const std::string messages = "0001 a\n0008 b\n0010 c\n0012 d\n0016 e\n";
  const std::string definition = "FI=1,INPUT=ALPHA,LEN=5,ROW=1,COL=1," + std::string(130, ' ') + "REQ=N";
  std::string more;
  for (const auto &[number, when] : {std::pair{"03", "validation file rejects a value"},
                                     {"05", "check digit (leading zero) is wrong"},
                                     {"07", "required validation file cannot be used"},
                                     {"09", "fixed-length field is left before it is full"},
                                     {"13", "scan reaches a keyboard-only field"}})
    more += "more.help: warning: record 00" + std::string(number) +
            " is missing: the panel shows it when a " + when + "\n";
  using Case = std::tuple<std::string, std::string, bool, std::string>;
  for (const auto &[name, text, fixed, report] :
       {Case{"a.help", "0005 five\n0004 four\n0005 again\n", false,
             "a.help:2: warning: record 0004 comes after record 0005 (compiling sorts them)\n"
             "a.help:3: error: record 0005 again (first at line 1)\n"},
        Case{"c.list", "BBB\nAAA\nBBB\n", false,
             "c.list:2: warning: value \"AAA\" comes after \"BBB\" (compiling sorts them)\n"
             "c.list:3: warning: value \"BBB\" again (first at line 1)\n"},
        Case{"d.help",
             "0001 " + std::string(22, 'x') + "\n0002 " + std::string(23, 'y') + "\n0100 " + definition +
                 "\n0101 TOE=N,SF=1\n",
             false,
             "d.help:2: warning: text of 23 characters is cut at 22 in a pop-up window\n"
             "d.help:3: warning: definition text of 171 characters; at most 159 are read\n"},
        Case{"e.help", "0001 ok\n12 short number\n", false,
             "e.help:2: error: a help record begins with its four-digit number, as in \"0001 text\"\n"},
        // A plain text field needs only the messages every panel can show; a check digit, a
        // keyboard-only class, a fixed length and a validation file each add theirs.
        Case{"plain.help", messages + "0100 FI=1,INPUT=AIALPHA,LEN=5,ROW=1,COL=1\n", true, ""},
        Case{"more.help",
             messages + "0100 FI=1,INPUT=NUM,LEN=5,MODE=F,ROW=1,COL=1,VERT=B\n"
                        "0101 FI=2,INPUT=AIALPHA,LEN=5,ROW=2,COL=1,VERF=LOCS\n",
             true, more}})
    EXPECT_EQ(check(name, text, fixed), report) << name;
}

// Options in either form, before or after the files.
TEST_F(Vekhelp, OptionsTakeTheirLongAndShortForms) {
  dir.write("a.help", "0001 one\n");
  for (const auto &[args, output] :
       {std::pair{std::vector<std::string>{"compile", "--output=X1.VAL", "a.help"}, "X1.VAL"},
        {{"compile", "a.help", "--output", "X2.VAL"}, "X2.VAL"},
        {{"compile", "a.help", "-oX3.VAL"}, "X3.VAL"},
        {{"compile", "--records", "-o", "X4.VAL", "a.help"}, "X4.VAL"}}) {
    EXPECT_EQ(vekhelp(args).status, 0) << output;
    EXPECT_EQ(dir.read(output), image("0001 one|")) << output;
  }
}

// The image is written beside its place and renamed over it; a file that would make a wrong image is
// refused, a wrong option is named, and a failed write leaves no temporary file (the run's own output
// files begin with a dot).
TEST_F(Vekhelp, OutputIsReplacedWholeOrNotAtAll) {
  dir.write("a.help", "0001 new\n");
  dir.write("a.VAL", image("0001 old|"));
  ASSERT_EQ(vekhelp({"compile", "a.help"}).status, 0);
  EXPECT_EQ(dir.read("a.VAL"), image("0001 new|"));
  dir.write("dup.help", "0001 one\n0001 uno\n");
  dir.write("x.help", "0001 x\n");
  const std::string try_help = "Try 'vekhelp --help' for more information.\n";
  dir.write("T.VAL", image("0001 one|0002 no end"));
  std::filesystem::create_directory(dir.file("taken"));
  // clang-format off
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{"compile", "dup.help"}, 1, "dup.help:2: error: record 0001 again (first at line 1)\n"},
      {{"compile", "absent.help"}, 1, "absent.help: error: cannot be read: No such file or directory\n"},
      {{"compile", "a.help", "-o", "taken"}, 1, "vekhelp: cannot write taken: Is a directory\n"},
      {{"compile", "x.help", "--pad"}, 2, "vekhelp: unrecognized option '--pad'\n" + try_help},
      {{"compile", "x.help", "--output"}, 2, "vekhelp: option '--output' requires an argument\n" + try_help},
      {{"decompile", "T.VAL"}, 0, "T.VAL:record 2: error: the last record has no NUL at its end\n"}};
  // clang-format on
  for (const auto &[args, status, err] : cases) {
    const Outcome r = vekhelp(args);
    EXPECT_EQ(r.status, status) << err;
    EXPECT_EQ(r.err, err);
  }
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(dir.path()))
    if (entry.path().filename().string()[0] != '.') names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"T.VAL", "a.VAL", "a.help", "dup.help", "taken", "x.help"}));
}

}  // namespace
}  // namespace vektest
