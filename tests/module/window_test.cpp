// Pop-up windows as the host opens and restores them with POPUPWN. Faulty records are among the bad
// calls of the entry-point tests.
#include "scenario.h"

namespace vektest {
namespace {

using WindowTest = Scenario;

// POPUPWN records sent over a patterned screen ("0": a call with reason 0), then each row of the
// screen against the pattern: '=' as it was, '+' the box's border over columns 2 to 25, '|' its sides,
// '0' NULs there; and the attributes of row 2.
TEST_F(WindowTest, OpenDrawsABoxOverSavedCellsAndRestorePutsThemBack) {
  const std::string boxed = "00" + std::string(24, '1') + std::string(14, '0'), plain(40, '0');
  // clang-format off
  const std::tuple<std::vector<std::string>, std::string, std::string> cases[] = {
      {{"POPUPWN R"}, "=00=================", plain},  // no open yet: the empty save buffer
      {{"POPUPWN C     03       "}, "=+|||+==============", boxed},  // attribute 1 by default
      {{"POPUPWN C     03       ", "POPUPWN R"}, "====================", plain},
      {{"POPUPWN C     03      n"}, "=+|||+==============", plain},
      {{"POPUPWN C     16       "}, "=+||||||||||||||||+=", boxed},
      {{"POPUPWN C     16       ", "POPUPWN R"}, "====================", plain},
      {{"POPUPWNXC     02       "}, "=+||+===============", boxed},  // column 9 is not part of the name
      {{"popUpwn C     02       "}, "=+||+===============", boxed},
      // Windows do not nest: the first one's box comes back with what it covered.
      {{"POPUPWN C     05       ", "POPUPWN c     02      N", "POPUPWN r"}, "=+|||||+============", boxed},
      // Reason 0 forgets the window: the screen keeps it, and a restore rewrites two rows.
      {{"POPUPWN C     04       ", "0"}, "=+||||+=============", boxed},
      {{"POPUPWN C     04       ", "0", "POPUPWN R"}, "===|||+=============", plain},
      {{"POPUPWN X     03       ", "POPUPWN D     03       ", "POPUPWN 5     03       ", "POPUPWN       03       "},
       "====================", plain},
  };
  // clang-format on
  for (const auto &[records, rows, attributes_of_2] : cases) {
    script::reset();  // a blank terminal
    call(0);          // forgets the window of the case before
    paint_pattern();
    const auto before = screen();
    for (const std::string &r : records)
      EXPECT_EQ(r == "0" ? call(0) : command(r), 0) << r;
    for (int r = 0; r < vekterm::kRows; ++r) {
      const std::string &under = before[static_cast<std::size_t>(r)];
      const char code = rows[static_cast<std::size_t>(r)];
      const std::string over = code == '+'   ? "+----------------------+"
                               : code == '|' ? "|                      |"
                                             : std::string(24, '\0');
      EXPECT_EQ(row(r), code == '=' ? under : under.substr(0, 2) + over + under.substr(26))
          << records.back() << " row " << r;
    }
    EXPECT_EQ(attributes(2), attributes_of_2) << records.back();
  }
}

TEST_F(WindowTest, ARestoreAfterARestoreRewritesTwoRowsFromTheLastOpen) {
  paint_pattern();
  command("POPUPWN C     05       ");
  const auto between = screen();
  command("POPUPWN c     02      N");
  command("POPUPWN r");
  for (int r = 1; r <= 3; ++r)
    paint(r, 0, std::string(40, static_cast<char>('0' + r)));
  command("POPUPWN R");
  EXPECT_EQ(row(1), "11" + between[1].substr(2, 24) + std::string(14, '1'));
  EXPECT_EQ(row(2), "22" + between[2].substr(2, 24) + std::string(14, '2'));
  EXPECT_EQ(row(3), std::string(40, '3'));
}

}  // namespace
}  // namespace vektest
