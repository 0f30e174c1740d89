// The validation pass over a field table set up directly: files alone and in groups, the value checks
// in order, the messages shown and the field the operator is sent back to.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "dispatch/state.h"
#include "validation/validation.h"
#include "vekterm/vekterm.h"

namespace {

namespace script = vekterm::headless;

class ValidationPass : public ::testing::Test {
 protected:
  void SetUp() override {  // also between the cases of a table
    TearDown();
    script::reset();
    vek::reset_module_state();
    vekterm::add_file("HELP.VAL", vekterm::make_image({"0001 CHECKING", "0002 TOO LONG", "0003 NOT IN FILE",
                                                       "0004 OUT OF LIST", "0005 ZERO DIGIT", "0006 PREFIX",
                                                       "0007 MANDATORY", "0016 PRESS ENTER", "0017 BAD DATE",
                                                       "0018 BAD FORMAT", "0030 nn-nn", "0040 10.5",
                                                       "0041 20", "0050 AB", "0052 bbb"}));
  }
  void TearDown() override {
    for (const std::string &stall : script::take_failures())
      ADD_FAILURE() << stall;
  }
  static vek::Field &define(int i, char type, const char *file, const char *value) {
    vek::Field &f = vek::g_fields.fields[static_cast<std::size_t>(i)];
    f.defined = 1;
    f.ver_type = type;
    f.ver_mandatory = type == 'I' || type == 'E';
    std::strncpy(f.ver_file.data(), file, 8);
    std::strncpy(f.value.data(), value, 40);
    f.val_result = ' ';
    return f;
  }
  static std::string letters(int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
      out += vek::g_fields.fields[static_cast<std::size_t>(i)].val_result;
    return out;
  }
  // Runs the pass, typing `then` once a message is up; `shown` gets the first line of the first
  // pop-up that stood for a while, or "".
  int run(std::uint16_t then = 0) {
    const std::size_t before = script::snapshots().size();
    script::delay(200);
    script::snapshot();
    if (then != 0) script::key(then);
    const int result = vek::validation_pass();
    const auto &snaps = script::snapshots();
    shown = snaps.size() > before ? snaps[before][2].substr(3, 16) : "";
    shown.erase(shown.find_last_not_of(' ') + 1);
    return result;
  }
  std::string shown;
};

TEST_F(ValidationPass, FileResultsOfASingleField) {
  // type, the file's answer, the pass's result, the letter, the message
  using Case = std::tuple<char, int, int, char, const char *>;
  for (const auto &[type, answer, result, letter, message] :
       {Case{'I', 0, 768, 'p', ""}, Case{'i', 1, 13, ' ', "NOT IN FILE"}, Case{'i', 4, 768, 'E', ""},
        Case{'I', 4, 13, ' ', "MANDATORY"}, Case{'e', 16, 768, 'T', ""}, Case{'E', 16, 13, ' ', "MANDATORY"},
        Case{'I', 9, 768, ' ', ""}}) {
    SetUp();
    define(0, 'N', "", "");
    define(1, type, "ITEMS", "A1");
    vekterm::force_validation_result("ITEMS.VAL", answer);
    EXPECT_EQ(run(), result) << type << answer;
    EXPECT_EQ(letters(2)[1], letter) << type << answer;
    EXPECT_EQ(shown, message) << type << answer;
    EXPECT_TRUE(result == 768 || vek::g_fields.current_field == 1) << type << answer;
  }
}

TEST_F(ValidationPass, FileNamesModesAndLocalFiles) {
  vekterm::add_file("X", vekterm::make_image({"A1"}));
  vekterm::add_file("CODES.VAL", vekterm::make_image({"A1", "B2"}));
  vekterm::add_file("B_LOC.VAL", vekterm::make_image({"A1;B2"}));
  vekterm::force_validation_result("B_LOC.VAL", 1);  // the service would refuse it
  define(0, 'I', "X", "A1");
  define(1, 'E', "CODES", "C3");
  define(2, 'I', "CODES", "B2");
  define(3, 'I', "B_LOC", "A1;B2");
  EXPECT_EQ(run(), 768);
  EXPECT_EQ(letters(4), "pppp");

  // Accepted fields are not examined again. A mandatory field whose file cannot be used is reported
  // even when a later field's file answers; a missing local file is not asked again of the service.
  vekterm::force_validation_result("B_MISS.VAL", 0);
  define(4, 'e', "CODES", "A1");
  define(5, 'I', "B_MISS", "A1");
  define(6, 'i', "CODES", "B2");
  EXPECT_EQ(run(), 13);
  EXPECT_EQ(vek::g_fields.current_field, 4);
  define(4, 'e', "CODES", "D4");
  EXPECT_EQ(run(), 13);
  EXPECT_EQ(shown, "MANDATORY");
  EXPECT_EQ(vek::g_fields.current_field, 5);
  EXPECT_EQ(letters(7), "ppppp p");
}

TEST_F(ValidationPass, GroupsJoinValuesSharingAFile) {
  vekterm::add_file("GRP.VAL", vekterm::make_image({"a;b;c"}));
  vekterm::add_file("S_ONE.VAL", vekterm::make_image({"x", "y"}));
  vekterm::force_validation_result("B_GRP.VAL", 0);
  vek::g_fields.panel_concat = 1;
  define(0, 'I', "GRP", "a");
  define(1, 'I', "S_ONE", "x");
  define(2, 'F', "GRP", "b");  // joined whatever its own type
  define(3, 'I', "S_ONE", "y");
  define(4, 'i', "GRP", "c");
  define(5, 'I', "B_GRP", "q");  // local file missing: the service is asked next
  EXPECT_EQ(run(), 768);
  EXPECT_EQ(letters(6), "PpPpPP");

  // File unusable: each member's letter by its own flag, the report by the first field's.
  vekterm::remove_file("GRP.VAL");
  for (int i : {0, 2, 4})
    vek::g_fields.fields[static_cast<std::size_t>(i)].val_result = ' ';
  EXPECT_EQ(run(), 13);
  EXPECT_EQ(shown, "MANDATORY");
  EXPECT_EQ(letters(5), "epEpE");
}

TEST_F(ValidationPass, AJoinedValueHoldsAtMost115Characters) {
  const std::string forty(40, 'v');
  for (int tail : {33, 34}) {
    SetUp();
    vek::g_fields.panel_concat = 1;
    const std::string last(static_cast<std::size_t>(tail), 'w');
    define(0, 'I', "LONG", forty.c_str());
    define(1, 'I', "LONG", forty.c_str());
    define(2, 'I', "LONG", last.c_str());
    vekterm::add_file("LONG.VAL",
                      vekterm::make_image({forty + ';' + forty + (tail == 33 ? ';' + last : "")}));
    EXPECT_EQ(run(tail == 34 ? vekterm::key::Enter : 0), 768) << tail;
    EXPECT_EQ(shown, tail == 33 ? "" : "TOO LONG");
    EXPECT_EQ(letters(3), "PPP");
  }
}

TEST_F(ValidationPass, HelpRedirectFaultsAndUsedTextsFallBackToRecord3) {
  // clang-format off
  const std::pair<const char *, const char *> cases[] = {  // the redirect's text, its bad-call code
      {"USED HELP=20,21", "  "}, {"HELP=", "XQ"}, {"HELP=0,5", "XR"}, {"HELP=, 20", "XS"},
      {"HELP=20=10000", "XT"},
  };
  // clang-format on
  for (const auto &[stored, code] : cases) {
    SetUp();
    vek::g_fields.panel_help_uv = 12;
    vekterm::set_variable(12, stored);
    vekterm::force_validation_result("ITEMS.VAL", 1);
    define(0, 'I', "ITEMS", "A1");
    if (code[0] != ' ') script::key('x');
    EXPECT_EQ(run(), 13) << stored;
    EXPECT_EQ(shown, "NOT IN FILE") << stored;
    EXPECT_EQ(vekterm::screen_row(0).substr(9, 2), code) << stored;
    EXPECT_EQ(vekterm::variable(12), stored);
  }
}

TEST_F(ValidationPass, ValueChecksInOrderWithTheirMessages) {
  struct Case {
    char type;
    std::uint8_t input;
    const char *value;
    int first, second;  // the check's two arguments
    const char *prefix;
    int result;
    const char *shown, *code;  // message, bad-call code
  };
  // clang-format off
  for (const Case &c : {
      Case{'F', 0, "12-3x", 30, 0, "", 13, "BAD FORMAT", ""}, Case{'F', 0, "12", 31, 0, "", 13, "", "XU"},
      Case{'S', 0, "   ", 50, 52, "", 768, "", ""}, Case{'S', 0, "AB", 52, 50, "", 13, "OUT OF LIST", ""},
      Case{'R', 0, "15", 39, 41, "", 13, "", "XL"}, Case{'R', 0, "15", 40, 1234, "", 13, "", "XM"},
      Case{'B', 0, "0123455", 0, 0, "", 768, "", ""},
      Case{'B', 0, "123455", 0, 0, "", 13, "ZERO DIGIT", ""},  // right digit, no leading zero
      Case{'B', 0, "012345678901237", 0, 0, "", 13, "ZERO DIGIT", "Y3"},
      Case{'T', 0, "49927398716", 0, 0, "4", 768, "", ""},
      Case{'T', 0, "49927398716", 0, 0, "5", 13, "PREFIX", ""},
      Case{'T', 0, "590154203237518", 0, 0, "", 13, "PREFIX", ""},  // refused before its length is seen
      Case{'N', 5, "02-30-2000", 0, 0, "", 13, "BAD DATE", ""},
      Case{'0', 7, "23:59:59", 0, 0, "", 768, "", ""},
      Case{'F', 5, "1x-31-2000", 30, 0, "", 13, "BAD FORMAT", ""},  // the mask comes first
      Case{'F', 5, "12-32-2000", 30, 0, "", 768, "", ""},  // accepted by the mask: no date check
      Case{'I', 5, "xx", 0, 0, "", 768, "", ""},           // accepted by its file: no date check
  }) {
    // clang-format on
    SetUp();
    vekterm::force_validation_result("DAYS.VAL", 0);
    define(0, 'N', "", "");
    vek::Field &f = define(1, c.type, c.type == 'I' ? "DAYS" : "", c.value);
    f.input = c.input, f.ver_first = c.first, f.ver_second = c.second;
    std::strncpy(f.ver_prefix.data(), c.prefix, 2);
    if (*c.code) script::key('x');
    const std::string what = std::string(1, c.type) + ' ' + c.value;
    EXPECT_EQ(run(), c.result) << what;
    EXPECT_EQ(shown, c.shown) << what;
    EXPECT_EQ(vekterm::screen_row(0).substr(9, 2), *c.code ? c.code : "  ") << what;
    EXPECT_EQ(letters(2)[1], c.result == 768 ? 'p' : ' ') << what;
    EXPECT_STREQ(f.value.data(), c.value);
  }
}

}  // namespace
