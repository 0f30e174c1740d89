// The receiving demo run headless from its input script, as an installation tests its programs.
#include <gtest/gtest.h>

#include "host/process.h"

namespace vektest {
namespace {

int count(const std::string &text, const std::string &what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

TEST(ReceivingDemo, OneReceiptADuplicateAndTheEndOfTheShift) {
  Scratch dir;  // a data directory of its own, for the journal
  for (const char *image : {"HELP.VAL", "LOCS.VAL"}) {
    std::ifstream in(built(std::string("examples/receiving/") + image), std::ios::binary);
    ASSERT_TRUE(in) << image << " is built with the examples";
    std::ostringstream bytes;
    bytes << in.rdbuf();
    dir.write(image, bytes.str());
  }
  const Outcome r = run(built("host/vekhost"),
                        {"--data", dir.path(), "--input", source("tests/host/receiving.keys"), "--trace",
                         "trace.txt", source("examples/receiving/receiving.lua")},
                        dir.path());
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_NE(r.out.find("receipts sent: 1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("|      Receiving ended: 1 sent           |"), std::string::npos) << r.out;

  const std::string trace = dir.read("trace.txt");
  EXPECT_EQ(count(trace, "module writes var 6 = \"OK\""), 2) << trace;
  EXPECT_EQ(count(trace, "module writes var 6 = \"CANCEL\""), 1) << trace;
  EXPECT_EQ(count(trace, "transaction message flag 1"), 1) << "the duplicate is not sent\n" << trace;

  const std::string journal = dir.read("journal.log");
  EXPECT_EQ(count(journal, "\n"), 1) << journal;
  EXPECT_NE(journal.find(" 1 54TRANMSG Y RCV 04012357 12.50 AB-1234 31-12-2020 A01-02\n"), std::string::npos)
      << journal;
}

}  // namespace
}  // namespace vektest
