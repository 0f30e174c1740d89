// V_DELAY, WAIT_UV and TRANMSG in virtual time.
#include "commands_record.h"

namespace vektest {
namespace {

using DelaysTest = CommandsTest;

TEST_F(DelaysTest, DelayPassesFollowTheCount) {
  struct Case {
    const char *rest;
    std::int64_t ms;  // 20 ms a pass
  } cases[] = {{"V_DELAY", 20},        {"V_DELAY ", 20},   {"V_DELAY 0", 20},   {"V_DELAY 3", 160},
               {"V_DELAY 00003", 160}, {"V_DELAYx3", 160}, {"V_DELAY 12", 640}, {"V_DELAY -9", 20}};
  for (const Case &c : cases) {
    const std::int64_t start = vekterm::clock_ms();
    EXPECT_EQ(command(c.rest), 0);
    EXPECT_EQ(vekterm::clock_ms() - start, c.ms) << c.rest;
  }
  refused(record("V_DELAY 000003"), "V3");
}

std::string wait_uv(std::string_view variable, std::string_view limit, int length = 22) {
  return operands("WAIT_UV", length, {{14, variable}, {21, limit}});
}

TEST_F(DelaysTest, WaitEndsWithAValueCancelStopOrTheLimit) {
  script::delay(2500);
  script::write_variable(7, "ready");
  EXPECT_EQ(call(3, wait_uv("07", " 10")), 1);
  EXPECT_EQ(vekterm::clock_ms(), 2500);

  vekterm::set_variable(7, "");
  script::delay(400);
  script::key('a');  // consumed and ignored
  script::delay(800);
  script::key(key::Cancel);
  EXPECT_EQ(call(3, wait_uv("07", "010")), 2);
  EXPECT_EQ(vekterm::clock_ms(), 2500 + 1200);
  script::host_stop();
  EXPECT_EQ(call(3, wait_uv("07", "010")), 2);

  const std::int64_t start = vekterm::clock_ms();
  EXPECT_EQ(call(3, wait_uv("07", "5  ")), 0);
  EXPECT_GT(vekterm::clock_ms() - start, 5000);
  EXPECT_LE(vekterm::clock_ms() - start, 6000) << "no wait outlasts the time still to go";

  refused(wait_uv("07", "  5", 21), "W2");
  refused(wait_uv("00", "  5"), "W3");
  refused(operands("WAIT_UV", 22, {{15, "07"}, {21, "  5"}}), "W3");
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

TEST_F(DelaysTest, TransactionMessageCarriesTheWholeRecord) {
  refused(record("TRANMSG N"), "F1");
  for (const char *rest : {"TRANMSG Nhello", "TRANMSG n ", "TRANMSG Y ", "TRANMSGN  "})
    EXPECT_EQ(command(rest), 0);
  const auto &sent = vekterm::messages();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0].record, "14TRANMSG Nhello");
  EXPECT_EQ(sent[0].length, 14);
  for (std::size_t i = 0; i < sent.size(); ++i)
    EXPECT_EQ(sent[i].flag, i < 2 ? 0 : 1) << sent[i].record;
}

}  // namespace
}  // namespace vektest
