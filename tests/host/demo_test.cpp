// The receiving demo with the help file and location list built beside it. Headless from its input
// script, as an installation tests its programs: the receipts, the duplicate left unsent and the trace.
// On a handheld's terminal, vekhost in a 40x20 tmux pane: keys and framed scans typed into it fill
// the panel, which is the whole pane; other sizes show what fits.
#include <gtest/gtest.h>

#include <thread>

#include "host/process.h"

namespace vektest {
namespace {

using namespace std::chrono_literals;

TEST(ReceivingDemo, OneReceiptADuplicateAndTheEndOfTheShift) {
  Scratch dir;  // for the journal and the trace
  const Outcome r = run(built("host/vekhost"),
                        {"--data", built("examples/receiving"), "--journal", dir.file("journal.log"),
                         "--terminal", "dock-3", "--input", source("tests/host/receiving.keys"), "--trace",
                         "trace.txt", source("examples/receiving/receiving.lua")},
                        dir.path());
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_NE(r.out.find("|      Receiving ended: 1 sent           |"), std::string::npos) << r.out;
  const std::string trace = dir.read("trace.txt");
  EXPECT_EQ(count(trace, "module writes var 6 = \"OK\""), 2) << trace;
  EXPECT_EQ(count(trace, "module writes var 6 = \"CANCEL\""), 1) << trace;
  EXPECT_EQ(count(trace, "module clears var 6 -> 0"), 3) << trace;
  const std::string journal = dir.read("journal.log");  // one line: the duplicate is not sent
  EXPECT_EQ(journal.substr(19), " dock-3 1 1 54TRANMSG Y RCV 04012357 12.50 AB-1234 31-12-2020 A01-02\n")
      << journal;
}

class TmuxDemo : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    socket_ = "vekhost-test-" + std::to_string(getpid());
  }
  void TearDown() override {
    if (!socket_.empty()) tmux("kill-server");
  }
  int tmux(const std::string &arguments) {
    return std::system(("tmux -u -L " + socket_ + " " + arguments + " >/dev/null 2>&1").c_str());
  }
  // The pane's rows now, each ended by a newline (tmux leaves out trailing blanks), after a newline.
  std::string screen() {
    std::system(("tmux -u -L " + socket_ + " capture-pane -p -t demo > " + dir.file("pane.txt")).c_str());
    return "\n" + dir.read("pane.txt");
  }
  bool shows(const std::string &row) {
    return eventually([&] { return screen().find("\n" + row + "\n") != std::string::npos; }, 20000);
  }
  // One scan framed in the keyboard stream (STX before, CR after), once the field waits for it: the
  // panel drops scans made before a field's edit begins, so a short pause lets the edit start first.
  void scan(const std::string &data) {
    std::this_thread::sleep_for(300ms);
    tmux("send-keys -t demo C-b " + data + " Enter");
  }

  Scratch dir;
  std::string socket_;
};

// On a handheld's screen: a 40x20 terminal with TERM=vt100 shows the panel itself. Scans come in the
// typed stream between STX and CR, PF4 confirms, and the journal line names the terminal.
TEST_F(TmuxDemo, AReceiptTypedAndScannedOnAHandheldsScreen) {
  const std::string command = "env TERM=vt100 LC_ALL=C.UTF-8 " + built("host/vekhost") + " --data " +
                              built("examples/receiving") + " --journal " + dir.file("journal.log") +
                              " --terminal hh-1 --scan-prefix '\\x02' --scan-suffix '\\r'"
                              " --clock '2019-03-14 09:26:53' " +
                              source("examples/receiving/receiving.lua") + "; echo $? > " +
                              dir.file("status");
  ASSERT_EQ(tmux("new-session -d -s demo -x 40 -y 20 \"" + command + "\""), 0);
  ASSERT_TRUE(shows(" Item      ________")) << dir.read("pane.txt");
  // Each size shows what fits; back at 40x20 the panel is all there is.
  const std::string sizes[][3] = {{"30", "10", "Too small: needs 40x20"},
                                  {"39", "30", "Too small: needs 40x20, has 39x30"},
                                  {"40", "21", "LED  --                         ^C stop"},
                                  {"42", "22", "x Item      ________" + std::string(21, ' ') + "x"},
                                  {"40", "20", " Item      ________"}};
  for (const auto &[columns, rows, row] : sizes) {
    tmux("resize-window -t demo -x " + columns + " -y " + rows);
    EXPECT_TRUE(shows(row)) << columns << "x" << rows << ":\n" << dir.read("pane.txt");
  }
  scan("0104012357");
  ASSERT_TRUE(shows(" Item      04012357")) << dir.read("pane.txt");
  tmux("send-keys -t demo 12.5 Enter");
  ASSERT_TRUE(shows(" Quantity  0012.50")) << dir.read("pane.txt");
  scan("10AB-1234");
  ASSERT_TRUE(shows(" Lot       AB-1234")) << dir.read("pane.txt");
  tmux("send-keys -t demo 31122020 Enter A01-02");
  tmux("send-keys -t demo F4");  // PF4: OK
  ASSERT_TRUE(shows(" Received: 1")) << dir.read("pane.txt");

  const std::string shown = screen();
  EXPECT_EQ(shown.substr(1, 25), " RECEIVING               ")
      << "the clock runs, so only the title is compared";
  EXPECT_EQ(
      shown.substr(shown.find('\n', 1)),
      "\n\n Item      ________\n\n Quantity  _______\n\n Lot       _______\n\n Expiry    __________\n\n"
      " Location  A01-02\n\n\n\n Last:     04012357 x 12.50\n\n Received: 1\n\n\nF1 Help F10 OK Esc End F9 "
      "Scan\n")
      << dir.read("pane.txt");
  EXPECT_EQ(dir.read("journal.log").substr(19, 10), " hh-1 1 1 ") << dir.read("journal.log");

  tmux("send-keys -t demo Escape");
  EXPECT_TRUE(eventually([&] { return dir.read("status") == "0\n"; }, 20000)) << dir.read("status");
}

}  // namespace
}  // namespace vektest
