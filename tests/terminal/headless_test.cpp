// The headless terminal turns a module that polls without ever waiting into a reported stall; the
// services report what they change to the observer.
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
  for (; _KbdReadAscii(&code) != 0 && polls < 10000000; ++polls)
    _IdleManager(0);
  EXPECT_EQ(code, 256) << "after the stall the keyboard reads as Cancel";
  EXPECT_LT(polls, 10000000);
  const std::vector<std::string> failures = vekterm::headless::take_failures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("polling without waiting"), std::string::npos) << failures[0];

  vekterm::headless::reset();
  vekterm::headless::delay(40 * 60 * 1000);
  vekterm::headless::key('y');
  while (_KbdReadAscii(&code) != 0)
    _WaitEvent(20), _IdleManager(0);  // polls that wait let the time run, however many there are
  EXPECT_EQ(code, 'y');
  EXPECT_TRUE(vekterm::headless::take_failures().empty());
}

// The observer sees the module's writes, clears and messages with their results, and nothing once reset.
TEST(HeadlessTerminal, TheObserverSeesWhatTheServicesChange) {
  vekterm::headless::reset();
  std::vector<std::string> seen;
  auto note = [&](std::string what, int result) { seen.push_back(what + " -> " + std::to_string(result)); };
  vekterm::set_observer({
      [&](int n, std::string_view text, int result) {
        note("write " + std::to_string(n) + " " + std::string(text), result);
      },
      [&](int n, int result) { note("clear " + std::to_string(n), result); },
      [&](int flag, int length, std::string_view record, int result) {
        note("message " + std::to_string(flag) + " " + std::to_string(length) + " " + std::string(record),
             result);
      },
  });
  vekterm::set_variable_capacity(4, 2);
  EXPECT_EQ(vekterm::variable_capacity(5), vekterm::kVariableCapacity);
  EXPECT_EQ(vekterm::variable_capacity(100), 0);
  _WriteUserVariable(4, "ABC");
  _WriteUserVariable(100, nullptr);
  _ClearUserVariable(4);
  _TransactionMsg(1, 6, "06MSG1");
  vekterm::set_variable(5, "host");  // the host's own writes are its own business
  EXPECT_EQ(seen, (std::vector<std::string>{"write 4 ABC -> 5", "write 100  -> 3", "clear 4 -> 0",
                                            "message 1 6 06MSG1 -> 0"}));
  vekterm::headless::reset();
  _ClearUserVariable(4);
  EXPECT_EQ(seen.size(), 4u) << "reset removes the observer";
}

}  // namespace
