// The remote backend in the test's own process: a session that runs for days keeps none of the logs of
// beeps, LEDs and transaction messages, which would otherwise grow with every transaction.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "vekterm/remote.h"
#include "vekterm/vekterm.h"

namespace {

TEST(RemoteBackend, KeepsNoLogsOnceTheModuleWaits) {
  vekterm::headless::reset();
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair), 0);
  std::string error;
  ASSERT_EQ(vekterm::remote::start(pair[0], &error), 0) << error;
  _SpkBeep(0, 2, 3);
  _SenActLed(0, 60);
  _TransactionMsg('N', 5, "HELLO");
  ASSERT_EQ(vekterm::messages().size(), 1u);  // taken in, as on every backend
  _IdleManager(0);
  EXPECT_TRUE(vekterm::beeps().empty());
  EXPECT_TRUE(vekterm::leds().empty());
  EXPECT_TRUE(vekterm::messages().empty());
  vekterm::remote::stop();
  close(pair[1]);
  vekterm::headless::reset();
}

}  // namespace
