// The transaction journal: the line is on disk when _TransactionMsg returns, even if the process dies
// right after it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "dispatch/terminal.h"
#include "vekterm/vekterm.h"

namespace {

namespace fs = std::filesystem;

class Journal : public ::testing::Test {
 protected:
  void SetUp() override {
    vekterm::headless::reset();
    std::string pattern = (fs::temp_directory_path() / "vekterm-journal-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    vekterm::set_data_directory(dir_.string());
  }
  void TearDown() override {
    vekterm::headless::reset();
    fs::remove_all(dir_);
  }
  static std::string contents(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

  fs::path dir_;
};

TEST_F(Journal, OneLinePerMessageWithTimeFlagAndRecord) {
  EXPECT_EQ(vekterm::journal_path(), (dir_ / "journal.log").string());
  EXPECT_EQ(_TransactionMsg(1, 12, "12TRANMSG Y 42"), 0);
  vekterm::headless::delay(61000);
  vekterm::headless::key('x');
  _WaitEvent(0);  // the virtual clock moves to the key
  EXPECT_EQ(_TransactionMsg(0, 14, "14TRANMSG N\n\\\x01\xE9"), 0);
  EXPECT_EQ(contents(dir_ / "journal.log"),
            "2019-03-14 09:26:53 1 12TRANMSG Y 42\n"
            "2019-03-14 09:27:54 0 14TRANMSG N\\x0A\\x5C\\x01\\xE9\n");
  ASSERT_EQ(vekterm::messages().size(), 2u);
  EXPECT_EQ(vekterm::messages()[1].record, "14TRANMSG N\n\\\x01\xE9");
}

TEST_F(Journal, ExplicitPathAndAFailedWrite) {
  vekterm::set_journal((dir_ / "other.log").string());
  EXPECT_EQ(_TransactionMsg(1, 10, "10TRANMSG "), 0);
  EXPECT_EQ(contents(dir_ / "other.log"), "2019-03-14 09:26:53 1 10TRANMSG \n");
  EXPECT_FALSE(fs::exists(dir_ / "journal.log"));

  vekterm::set_journal((dir_ / "no-such-dir" / "journal.log").string());
  EXPECT_EQ(_TransactionMsg(1, 10, "10TRANMSG "), 1);
  EXPECT_NE(vekterm::journal_error().find("no-such-dir"), std::string::npos) << vekterm::journal_error();
  EXPECT_EQ(vekterm::messages().size(), 2u) << "the message is still logged in memory";
  vekterm::set_journal("");
  EXPECT_EQ(_TransactionMsg(1, 10, "10TRANMSG "), 0);
  EXPECT_EQ(vekterm::journal_error(), "");

  vekterm::set_data_directory("");
  EXPECT_EQ(vekterm::journal_path(), "");
  EXPECT_EQ(_TransactionMsg(1, 10, "10TRANMSG "), 0) << "no journal: memory only";
}

TEST_F(Journal, TheLineSurvivesAKillRightAfterTheCall) {
  for (int round = 0; round < 3; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const std::string record = "14TRANMSG Y " + std::to_string(round) + "00";
      _TransactionMsg(1, 14, record.c_str());
      kill(getpid(), SIGKILL);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  }
  EXPECT_EQ(contents(dir_ / "journal.log"),
            "2019-03-14 09:26:53 1 14TRANMSG Y 000\n"
            "2019-03-14 09:26:53 1 14TRANMSG Y 100\n"
            "2019-03-14 09:26:53 1 14TRANMSG Y 200\n");
}

}  // namespace
