// V_DELAY, WAIT_UV and TRANMSG in virtual time.
#include "commands_record.h"

namespace vektest {
namespace {

using DelaysTest = Scenario;

TEST_F(DelaysTest, DelayPassesFollowTheCount) {
  struct Case {
    std::string rest;
    std::int64_t ms;  // 20 ms a pass
  };
  for (const Case &c : {Case{"V_DELAY", 20}, Case{"V_DELAY ", 20}, Case{"V_DELAY 0", 20},
                        Case{"V_DELAY 3", 160}, Case{"V_DELAY 12", 640}, Case{"V_DELAY 00003", 160},
                        Case{"V_DELAYx3", 160}, Case{"V_DELAY -9", 20}}) {
    const std::int64_t start = vekterm::clock_ms();
    EXPECT_EQ(command(c.rest), 0);
    EXPECT_EQ(vekterm::clock_ms() - start, c.ms) << c.rest;
  }
  script::key(key::Enter);
  EXPECT_EQ(command("V_DELAY 000003"), 0);
  EXPECT_EQ(row(0), row40("Bad CVEK(V3):14V_DELAY 000003"));
}

TEST_F(DelaysTest, CancelEndsTheDelayEarly) {
  script::delay(50);
  script::key(key::Cancel);
  command("V_DELAY 99");
  EXPECT_EQ(vekterm::clock_ms(), 50);
}

// Variable at 14-15, limit in seconds at 21-23.
std::string wait_uv(std::string_view variable, std::string_view limit, int length = 22) {
  return operands("WAIT_UV", length, {{14, variable}, {21, limit}});
}

TEST_F(DelaysTest, WaitEndsWithAValueCancelStopOrTheLimit) {
  script::delay(2500);
  script::write_variable(7, "ready");
  EXPECT_EQ(call(3, wait_uv("07", " 10")), 1);
  EXPECT_EQ(vekterm::clock_ms(), 2500);
  EXPECT_EQ(vekterm::variable(7), "ready") << "left as it is";

  vekterm::set_variable(7, "");
  script::delay(400);
  script::key('a');  // consumed and ignored
  script::delay(800);
  script::key(key::Cancel);
  EXPECT_EQ(call(3, wait_uv("07", "010")), 2);
  EXPECT_EQ(vekterm::clock_ms(), 2500 + 1200);

  script::delay(100);
  script::host_stop();
  EXPECT_EQ(call(3, wait_uv("07", "010")), 2);

  const std::int64_t start = vekterm::clock_ms();
  EXPECT_EQ(call(3, wait_uv("07", "005")), 0);
  EXPECT_GT(vekterm::clock_ms() - start, 5000);
  EXPECT_LE(vekterm::clock_ms() - start, 7000) << "no wait outlasts the time still to go";
}

TEST_F(DelaysTest, WaitChecksOnlyAfterAnEvent) {
  vekterm::set_variable(7, "x");
  script::delay(300);
  script::key('a');
  EXPECT_EQ(call(3, wait_uv("07", "  0")), 1);
  EXPECT_EQ(vekterm::clock_ms(), 300) << "a limit of 0 waits for the next event";

  vekterm::set_variable(7, "");
  script::delay(3000);
  script::key('b');
  EXPECT_EQ(call(3, wait_uv("07", "000")), 0) << "the first check past a second ends it";
  EXPECT_EQ(vekterm::clock_ms(), 3300);
}

TEST_F(DelaysTest, WaitErrors) {
  struct Case {
    std::string rest;
    const char *code;
  };
  for (const Case &c : {Case{wait_uv("07", "  5", 21), "W2"}, Case{wait_uv("00", "  5"), "W3"},
                        Case{operands("WAIT_UV", 22, {{15, "07"}, {21, "  5"}}), "W3"}}) {
    script::key(key::Enter);
    EXPECT_EQ(call(3, c.rest), 0);
    EXPECT_EQ(row(0), bad_call_row(c.code, c.rest));
  }
}

TEST_F(DelaysTest, TransactionMessageCarriesTheWholeRecord) {
  script::key(key::Enter);
  EXPECT_EQ(command("TRANMSG N"), 0);
  EXPECT_EQ(row(0), row40("Bad CVEK(F1):09TRANMSG N"));
  for (const char *rest : {"TRANMSG Nhello", "TRANMSG n ", "TRANMSG Y ", "TRANMSG   ", "TRANMSGN  "})
    EXPECT_EQ(command(rest), 0);
  const auto &sent = vekterm::messages();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[0].record, "14TRANMSG Nhello");
  EXPECT_EQ(sent[0].length, 14);
  const int flags[] = {0, 0, 1, 1, 1};
  for (std::size_t i = 0; i < sent.size(); ++i)
    EXPECT_EQ(sent[i].flag, flags[i]) << sent[i].record;
}

}  // namespace
}  // namespace vektest
