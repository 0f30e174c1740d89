// Pop-up windows as the host opens and restores them with POPUPWN.
#include "scenario.h"

namespace vektest {
namespace {

using WindowTest = Scenario;

const std::string kBorder = "+----------------------+";
const std::string kSides = "|                      |";

// The row as it should look with `box` drawn over columns 2 to 25.
std::string boxed(const std::string &under, const std::string &box) {
  return under.substr(0, 2) + box + under.substr(26);
}

TEST_F(WindowTest, OpenDrawsABoxOverSavedCellsAndRestorePutsThemBack) {
  paint_pattern();
  const auto before = screen();
  EXPECT_EQ(command("POPUPWN C     03       "), 0);
  EXPECT_EQ(row(0), before[0]);
  EXPECT_EQ(row(1), boxed(before[1], kBorder));
  for (int r = 2; r <= 4; ++r)
    EXPECT_EQ(row(r), boxed(before[r], kSides)) << r;
  EXPECT_EQ(row(5), boxed(before[5], kBorder));
  EXPECT_EQ(row(6), before[6]);
  EXPECT_EQ(attributes(1), "00" + std::string(24, '1') + std::string(14, '0')) << "attribute 1 by default";

  EXPECT_EQ(command("POPUPWN R"), 0);
  EXPECT_EQ(screen(), before);
  EXPECT_EQ(attributes(1), std::string(40, '0'));
}

TEST_F(WindowTest, AttributeZeroWhenColumn24SaysN) {
  command("POPUPWN C     01      n");
  EXPECT_EQ(attributes(2), std::string(40, '0'));
  EXPECT_EQ(row(2), row40("  " + kSides));
}

TEST_F(WindowTest, SixteenLinesReachRow18AndOtherCountsAreRefused) {
  paint_pattern();
  const auto before = screen();
  command("POPUPWN C     16       ");
  EXPECT_EQ(row(17), boxed(before[17], kSides));
  EXPECT_EQ(row(18), boxed(before[18], kBorder));
  EXPECT_EQ(row(19), before[19]);
  command("POPUPWN R");
  EXPECT_EQ(screen(), before);

  for (const char *lines : {"17", "00", "-1", "  "}) {
    script::key(key::Enter);
    command(std::string("POPUPWN C     ") + lines + "       ");
    EXPECT_EQ(row(0), row40(std::string("Bad CVEK(P3):23POPUPWN C     ") + lines)) << lines;
    EXPECT_EQ(row(3), before[3]) << "nothing is drawn after an error";
  }
}

TEST_F(WindowTest, ShortRecordsAreRefusedByTheirLength) {
  script::key(key::Enter);
  command("POPUPWN C     03      ");  // 22 characters: an open needs 23
  EXPECT_EQ(row(0).substr(0, 13), "Bad CVEK(P2):");
  EXPECT_EQ(row(2), std::string(40, ' '));
  script::key(key::Enter);
  call(3, "08POPUPWN R");  // the length digits, not the text, decide
  EXPECT_EQ(row(0), row40("Bad CVEK(P4):08POPUPWN R"));
  script::key(key::Enter);
  call(3, "x9POPUPWN C     03       ");  // length digits that are not a number count as 0
  EXPECT_EQ(row(0).substr(0, 13), "Bad CVEK(P2):");
}

TEST_F(WindowTest, WindowsDoNotNest) {
  paint_pattern();
  command("POPUPWN C     05       ");
  const auto between = screen();
  command("POPUPWN c     02      N");
  command("POPUPWN r");
  EXPECT_EQ(screen(), between) << "the first window's box comes back with what it covered";

  // A further restore rewrites rows 1 and 2 only, from what the last open saved.
  paint(1, 0, std::string(40, '1'));
  paint(2, 0, std::string(40, '2'));
  paint(3, 0, std::string(40, '3'));
  command("POPUPWN R");
  EXPECT_EQ(row(1), "11" + between[1].substr(2, 24) + std::string(14, '1'));
  EXPECT_EQ(row(2), "22" + between[2].substr(2, 24) + std::string(14, '2'));
  EXPECT_EQ(row(3), std::string(40, '3'));
}

TEST_F(WindowTest, RestoreWithoutAnOpenWritesTheEmptySaveBuffer) {
  paint_pattern();
  const auto before = screen();
  command("POPUPWN R");
  EXPECT_EQ(row(1), before[1].substr(0, 2) + std::string(24, '\0') + before[1].substr(26));
  EXPECT_EQ(row(2), before[2].substr(0, 2) + std::string(24, '\0') + before[2].substr(26));
  EXPECT_EQ(row(3), before[3]);
}

TEST_F(WindowTest, DiscardByReasonZeroLeavesTheBoxAndARestoreRewritesTwoRows) {
  paint_pattern();
  const auto before = screen();
  command("POPUPWN C     04       ");
  const auto open = screen();
  call(0);
  EXPECT_EQ(screen(), open) << "the screen keeps the window";
  command("POPUPWN R");
  EXPECT_EQ(row(1), before[1]);
  EXPECT_EQ(row(2), before[2]);
  EXPECT_EQ(row(3), open[3]) << "the line count was forgotten";
}

TEST_F(WindowTest, OtherActionLettersDoNothing) {
  paint_pattern();
  const auto before = screen();
  for (const char *action : {"X", "D", "5", " "}) {
    EXPECT_EQ(command(std::string("POPUPWN ") + action + "     03       "), 0);
    EXPECT_EQ(screen(), before) << action;
  }
}

}  // namespace
}  // namespace vektest
