// A session on a real backend (here the remote one, in the test's own process) keeps none of the logs
// of beeps, LEDs and transaction messages, which would grow with every transaction of a long session.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "vekterm/remote.h"
#include "vekterm/vekterm.h"

namespace {

TEST(RemoteBackend, KeepsNoLogs) {
  vekterm::headless::reset();
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair), 0);
  std::string error;
  ASSERT_EQ(vekterm::remote::start(pair[0], &error), 0) << error;
  _SpkBeep(0, 2, 3);
  _SenActLed(0, 60);
  _TransactionMsg('N', 5, "HELLO");
  EXPECT_TRUE(vekterm::beeps().empty());
  EXPECT_TRUE(vekterm::leds().empty());
  EXPECT_TRUE(vekterm::messages().empty());
  vekterm::remote::stop();
  close(pair[1]);
  vekterm::headless::reset();
}

}  // namespace
