// The headless terminal turns a module that polls without ever waiting into a reported stall.
#include <gtest/gtest.h>

#include "dispatch/terminal.h"
#include "vekterm/vekterm.h"

namespace {

TEST(HeadlessTerminal, PollingWithoutWaitingIsAStallNotAHang) {
  vekterm::headless::reset();
  vekterm::headless::delay(1000);
  vekterm::headless::key('x');  // never due: no time passes while nothing waits
  unsigned short code = 0;
  long polls = 0;
  while (_KbdReadAscii(&code) != 0 && polls < 10000000) {
    _IdleManager(0);
    ++polls;
  }
  EXPECT_EQ(code, 256) << "after the stall the keyboard reads as Cancel";
  EXPECT_LT(polls, 10000000);
  const std::vector<std::string> failures = vekterm::headless::take_failures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("polling without waiting"), std::string::npos) << failures[0];

  vekterm::headless::reset();
  vekterm::headless::delay(40 * 60 * 1000);
  vekterm::headless::key('y');
  while (_KbdReadAscii(&code) != 0) {
    _WaitEvent(20);  // polls that wait let the time run, however many there are
    _IdleManager(0);
  }
  EXPECT_EQ(code, 'y');
  EXPECT_TRUE(vekterm::headless::take_failures().empty());
}

}  // namespace
