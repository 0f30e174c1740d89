// vekhost as a gateway's session process: the screen goes out as updates over the socket pair, keys come
// in, and a gateway that goes away ends the program as a cancel with its journal kept.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "host/process.h"
#include "vekterm/remote.h"

namespace vektest {
namespace {

using vekterm::remote::Screen;

std::string row_text(const Screen &screen, int row) {
  return {screen.chars[static_cast<std::size_t>(row)].data(), vekterm::kColumns};
}

// Reads updates into `screen` until `done` holds; false after five seconds or a malformed update.
template <typename Done>
bool follow(int fd, Screen *screen, Done done) {
  std::string message(vekterm::remote::kMaxMessage, '\0');
  while (!done()) {
    timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const ssize_t got = recv(fd, message.data(), message.size(), 0);
    if (got <= 0) return false;
    const std::string_view update(message.data(), static_cast<std::size_t>(got));
    if (update[0] == 'U' && !vekterm::remote::apply_update(update, screen)) return false;
  }
  return true;
}

TEST(RemoteSession, UpdatesKeysRedrawAndTheGatewayGoingAway) {
  Scratch dir;
  dir.write("prog.lua", R"(
vek.command("NOSUCH1 x")
vek.write(10, 5, "after the key", 1)
vek.command("TRANMSG Y RCV 42")
vek.command("NOSUCH2 y")
print("ended")
)");
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(pair[0]);
    dup2(open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    exec_in(dir.path(), built("host/vekhost"),
            {"--remote", std::to_string(pair[1]), "--terminal", "T1", "--data", ".", "prog.lua"});
  }
  close(pair[1]);
  const int fd = pair[0];
  Screen screen;
  // The bad call's message waits for a key; a key brings an update that counts it.
  ASSERT_TRUE(follow(fd, &screen, [&] { return row_text(screen, 0).find("NOSUCH1") != std::string::npos; }));
  EXPECT_EQ(screen.keys, 0u);
  const std::string enter = vekterm::remote::key_message(vek::key::Enter);
  ASSERT_GT(send(fd, enter.data(), enter.size(), 0), 0);
  ASSERT_TRUE(follow(fd, &screen, [&] { return row_text(screen, 0).find("NOSUCH2") != std::string::npos; }));
  EXPECT_EQ(screen.keys, 1u);
  EXPECT_EQ(row_text(screen, 10), "     after the key                      ");
  EXPECT_EQ(screen.attributes[10][5], 1);

  // A redraw carries the whole screen, the same as the one the updates built.
  const std::string redraw = vekterm::remote::redraw_message();
  ASSERT_GT(send(fd, redraw.data(), redraw.size(), 0), 0);
  Screen fresh;
  fresh.chars[0].fill('#');
  ASSERT_TRUE(follow(fd, &fresh, [&] { return fresh.chars[0][0] != '#'; }));
  for (int row = 0; row < vekterm::kRows; ++row)
    EXPECT_EQ(row_text(fresh, row), row_text(screen, row)) << row;
  EXPECT_EQ(std::tie(fresh.cursor_row, fresh.cursor_column, fresh.keys),
            std::tie(screen.cursor_row, screen.cursor_column, screen.keys));

  // The gateway goes: the waiting message reads Cancel and the program runs to its end.
  close(fd);
  int status = 0;
  ASSERT_TRUE(eventually([&] { return waitpid(child, &status, WNOHANG) == child; }, 5000));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(dir.read("out"), "ended\n");
  const std::string journal = dir.read("journal/T1.log");
  EXPECT_EQ(count(journal, "\n"), 1) << journal;
  EXPECT_NE(journal.find(" T1 "), std::string::npos) << journal;
  EXPECT_NE(journal.find("TRANMSG Y RCV 42\n"), std::string::npos) << journal;
}

// Updates that do not fit the screen are refused whole, leaving the screen as it was.
TEST(RemoteSession, MalformedUpdatesChangeNothing) {
  Screen screen;
  const std::string good = vekterm::remote::full_update(screen);
  for (const std::string &bad : {std::string("U\1\0\0"), good.substr(0, good.size() - 1),
                                 std::string("U\0\0\0\0\0\0\0\x13\x27\x02"
                                             "ab00",
                                             15),
                                 std::string("K\1\0")}) {
    Screen copy = screen;
    copy.keys = 7;
    EXPECT_FALSE(vekterm::remote::apply_update(bad, &copy));
    EXPECT_EQ(copy.keys, 7u);
    EXPECT_EQ(row_text(copy, 19), row_text(screen, 19));
  }
}

}  // namespace
}  // namespace vektest
