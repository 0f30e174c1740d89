// vekship run as a process against a PostgreSQL server of the test's own: journals in, rows out, once
// each, through crashes, a server that goes away and lines that can never be stored. And the journal's
// sequence numbers, which the table's key relies on.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "dispatch/terminal.h"
#include "process.h"
#include "server.h"
#include "vekterm/vekterm.h"

namespace vektest {
namespace {

class Shipping : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!pg_.missing().empty()) GTEST_SKIP() << pg_.missing();
    ASSERT_TRUE(pg_.ok()) << slurp(pg_.socket_dir() + "/initdb.log")
                          << slurp(pg_.socket_dir() + "/server.log");
    std::filesystem::create_directory(dir_.file("journal"));
    setenv("PGHOST", pg_.socket_dir().c_str(), 1);
    setenv("PGUSER", "postgres", 1);
    setenv("PGDATABASE", "postgres", 1);
    unsetenv("PGPASSWORD");
  }
  void TearDown() override {
    for (pid_t child : children_) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
    if (const std::string pid = dir_.read("ship/lock"); !pid.empty()) kill(std::atoi(pid.c_str()), SIGKILL);
  }

  // Starts vekship on the scratch data directory, its log in ship.log.
  pid_t shipper(std::vector<std::string> args = {}) {
    args.insert(args.begin(), {"--data", dir_.path(), "--log", dir_.file("ship.log"), "--retry-max", "0.4"});
    const pid_t child = fork();
    if (child == 0) {
      dup2(open("/dev/null", O_RDONLY), 0);
      dup2(open(dir_.file("ship.out").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644), 1);
      dup2(1, 2);
      exec_in(dir_.path(), built("ship/vekship"), args);
    }
    children_.push_back(child);
    return child;
  }
  void end(pid_t child) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    std::erase(children_, child);
  }

  // Appends a journal line as the services library writes it; the record names terminal and number.
  void send(const std::string &id, int sequence, const std::string &line = "") {
    const std::string text = line.empty() ? "2019-03-14 09:26:53 " + id + " " + std::to_string(sequence) +
                                                " 1 R " + id + " " + std::to_string(sequence) + "\n"
                                          : line + "\n";
    const int fd = open(dir_.file("journal/" + id + ".log").c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
  }

  std::string rows(const std::string &db = "postgres") {
    return pg_.query("SELECT count(*) FROM vek_transaction", db);
  }
  bool arrived(int n, int ms = 20000, const std::string &db = "postgres") {
    return eventually([&] { return rows(db) == std::to_string(n); }, ms);
  }
  // Terminals whose rows are exactly 1..n, each with its own record.
  std::string complete_terminals(int n) {
    return pg_.query(
        "SELECT count(*) FROM (SELECT terminal FROM vek_transaction GROUP BY terminal HAVING count(*) = " +
        std::to_string(n) + " AND min(sequence) = 1 AND max(sequence) = " + std::to_string(n) +
        " AND bool_and(record = 'R ' || terminal || ' ' || sequence)) t");
  }

  Postgres pg_;
  Scratch dir_;
  std::vector<pid_t> children_;
};

TEST_F(Shipping, TwentyTerminalsInterleavedArriveOnceEachInSequenceOrder) {
  shipper();
  for (int sequence = 1; sequence <= 500; ++sequence)
    for (int t = 0; t < 20; ++t)
      send("hh-" + std::to_string(t), sequence);
  ASSERT_TRUE(arrived(10000)) << rows() << dir_.read("ship.log");
  EXPECT_EQ(complete_terminals(500), "20");
  // No row of a terminal was committed before an earlier one of the same terminal.
  EXPECT_EQ(pg_.query("SELECT count(*) FROM (SELECT stored_at < lag(stored_at) OVER (PARTITION BY terminal "
                      "ORDER BY sequence) AS early FROM vek_transaction) s WHERE early"),
            "0");
  EXPECT_EQ(dir_.read("ship.out"), "");
}

TEST_F(Shipping, KilledAtRandomPointsLosesNoLineAndDoublesNone) {
  std::mt19937 random(20261206);
  int sent = 0;
  for (; sent < 200; ++sent)
    for (int t = 0; t < 20; ++t)
      send("hh-" + std::to_string(t), sent + 1);
  for (int round = 0; round < 30; ++round) {
    const pid_t child = shipper({"--batch", "37"});
    usleep(std::uniform_int_distribution<useconds_t>(1000, 40000)(random));
    end(child);
    for (int t = 0; t < 20; ++t)
      send("hh-" + std::to_string(t), sent + 1);
    ++sent;
  }
  EXPECT_NE(rows(), std::to_string(20 * sent)) << "the kills came too late to interrupt anything";
  shipper();
  ASSERT_TRUE(arrived(20 * sent)) << rows() << dir_.read("ship.log");
  EXPECT_EQ(complete_terminals(sent), "20");
  EXPECT_FALSE(std::filesystem::exists(dir_.file("ship/hh-0.dead")));
}

TEST_F(Shipping, AServerAwayForAWhileGetsTheBacklogWithOneWaitingAndOneResumed) {
  shipper();
  for (int sequence = 1; sequence <= 100; ++sequence)
    send("hh-" + std::to_string(sequence % 4), (sequence + 3) / 4);
  ASSERT_TRUE(arrived(100)) << dir_.read("ship.log");
  pg_.stop();
  for (int sequence = 101; sequence <= 400; ++sequence)
    send("hh-" + std::to_string(sequence % 4), (sequence + 3) / 4);
  // The metrics say so while it waits: the backlog's lines and its state.
  EXPECT_TRUE(eventually(
      [&] {
        const std::string metrics = dir_.read("ship/vekship.prom");
        return metrics.find("\nvekship_backlog_lines 300\n") != std::string::npos &&
               metrics.find("\nvekship_waiting 1\n") != std::string::npos;
      },
      5000))
      << dir_.read("ship/vekship.prom");
  usleep(1500000);  // several tries
  ASSERT_TRUE(pg_.start());
  ASSERT_TRUE(arrived(400)) << dir_.read("ship.log");
  EXPECT_EQ(complete_terminals(100), "4");
  ASSERT_TRUE(eventually([&] { return count(dir_.read("ship.log"), "vekship: resumed: ") == 1; }, 3000));
  const std::string log = dir_.read("ship.log");
  EXPECT_EQ(count(log, "vekship: waiting: "), 1) << log;
  EXPECT_EQ(count(log, "vekship: resumed: "), 1) << log;
  EXPECT_TRUE(eventually(
      [&] { return dir_.read("ship/vekship.prom").find("\nvekship_waiting 0\n") != std::string::npos; },
      3000));
}

TEST_F(Shipping, ALineThatCannotBeStoredGoesAsideWithItsReasonAndTheNextOnesArrive) {
  struct Case {
    const char *line, *reason;
  };
  const Case cases[] = {
      {"garbage", "not a journal line"},
      {"2019-03-14 09:26:53 hh-1 1 54TRANMSG Y RCV", "no sequence number"},
      {"2019-02-30 09:26:53 hh-1 90 1 RCV", "date/time field value out of range"},
      {"2019-03-14 09:26:53 hh-2 91 1 RCV", "terminal id hh-2 in the journal of hh-1"},
      {"2019-03-14 09:26:53 hh-1 92 7 RCV", "no sequence number and flag"},
      {"2019-03-14 09:26:53 hh-1 1 1 R hh-1 other",
       "another line is stored under this terminal and sequence"},
  };
  shipper();
  int sequence = 0;
  for (const Case &c : cases) {
    send("hh-1", ++sequence);
    send("hh-1", 0, c.line);
  }
  send("hh-1", ++sequence);
  ASSERT_TRUE(arrived(sequence)) << dir_.read("ship.log") << dir_.read("ship/hh-1.dead");
  EXPECT_EQ(complete_terminals(sequence), "1");
  // Put aside after the commit of their batch, before the progress moves on.
  EXPECT_TRUE(
      eventually([&] { return count(dir_.read("ship/hh-1.dead"), "\n") >= int(std::size(cases)); }, 3000));
  const std::string dead = dir_.read("ship/hh-1.dead");
  for (const Case &c : cases) {
    const std::size_t at = dead.find("\t" + std::string(c.line) + "\n");
    ASSERT_NE(at, std::string::npos) << c.line << "\n" << dead;
    EXPECT_NE(dead.substr(dead.rfind('\n', at) + 1, at).find(c.reason), std::string::npos) << dead;
  }
  EXPECT_EQ(count(dead, "\n"), static_cast<int>(std::size(cases)));
}

TEST_F(Shipping, AWrongPasswordIsOneClearLogLineAndNoLineIsLost) {
  // A password on the command line is refused before anything starts, without showing it.
  for (const char *db : {"password=right", "postgresql://shipper:right@/shipdb"}) {
    const Outcome refused = run(built("ship/vekship"), {"--data", dir_.path(), "--db", db}, dir_.path());
    EXPECT_EQ(refused.status, 2) << db;
    EXPECT_NE(refused.err.find("password file"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find("right"), std::string::npos) << refused.err;
  }
  const std::string passfile = dir_.write("pgpass", "*:*:*:shipper:wrong-secret\n");
  chmod(passfile.c_str(), 0600);
  setenv("PGPASSFILE", passfile.c_str(), 1);
  setenv("PGUSER", "shipper", 1);
  setenv("PGDATABASE", "shipdb", 1);
  shipper();
  for (int sequence = 1; sequence <= 3; ++sequence)
    send("hh-1", sequence);
  ASSERT_TRUE(eventually([&] { return dir_.read("ship.log").find("password") != std::string::npos; }, 10000));
  usleep(1500000);  // several tries
  std::string log = dir_.read("ship.log");
  EXPECT_EQ(count(log, "\n"), 1) << log;
  EXPECT_NE(log.find("waiting: cannot connect: "), std::string::npos) << log;
  EXPECT_NE(log.find("password authentication failed for user \"shipper\""), std::string::npos) << log;
  EXPECT_EQ(log.find("wrong-secret"), std::string::npos) << log;
  dir_.write("pgpass", "*:*:*:shipper:right\n");
  ASSERT_TRUE(arrived(3, 20000, "shipdb")) << dir_.read("ship.log");
  EXPECT_TRUE(eventually(
      [&] { return dir_.read("ship.log").find("resumed: database shipdb") != std::string::npos; }, 3000))
      << dir_.read("ship.log");
}

// Every session's vekhost may ask for the shipper: the first one runs it, later ones find it running.
TEST_F(Shipping, EverySessionMayStartTheShipperAndOneRuns) {
  dir_.write("prog.lua", "vek.command('TRANMSG Y ONE')\n");
  for (int session = 0; session < 2; ++session) {
    const Outcome host =
        run(built("host/vekhost"),
            {"--headless", "--ship", "--terminal", "hh-5", "--data", dir_.path(), "prog.lua"}, dir_.path());
    EXPECT_EQ(host.status, 0) << host.err;
  }
  ASSERT_TRUE(arrived(2)) << dir_.read("ship/vekship.log");
  EXPECT_EQ(
      pg_.query("SELECT string_agg(sequence || ' ' || record, ',' ORDER BY sequence) FROM vek_transaction"),
      "1 13TRANMSG Y ONE,2 13TRANMSG Y ONE");
  ASSERT_TRUE(eventually([&] { return count(dir_.read("ship/vekship.log"), "shipping into") == 1; }, 3000))
      << dir_.read("ship/vekship.log");
  const Outcome second = run(built("ship/vekship"), {"--data", dir_.path()}, dir_.path());
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(second.out + second.err, "");
}

// The table's key is (terminal, sequence): a terminal's numbers never repeat, whatever happens to its
// journal between messages. Each row: what happens, then the number the next message gets.
TEST(JournalSequence, NeverRepeatsAfterARestartADeletionOrACut) {
  Scratch dir;
  vekterm::headless::reset();
  vekterm::set_data_directory(dir.path());
  ASSERT_TRUE(vekterm::set_terminal_id("hh-1"));
  const std::string journal = dir.file("journal/hh-1.log"), counter = dir.file("journal/hh-1.seq");
  auto last_number = [&] {
    const std::string text = slurp(journal);
    const std::size_t start = text.rfind('\n', text.size() - 2) + 1;
    return std::atoi(text.c_str() + text.find(' ', text.find(' ', text.find(' ', start) + 1) + 1) + 1);
  };
  auto first_line = [&] { return slurp(journal).substr(0, slurp(journal).find('\n') + 1); };
  struct Step {
    const char *what;
    std::function<void()> act;
    int next;
  };
  const Step steps[] = {
      {"first message", [] {}, 1},
      {"next", [] {}, 2},
      {"another process",
       [] {
         if (fork() == 0) _TransactionMsg(1, 10, "10TRANMSG "), _exit(0);
         wait(nullptr);
       },
       4},
      {"journal cut to its first line", [&] { std::ofstream(journal) << first_line(); }, 5},
      {"journal deleted", [&] { std::filesystem::remove(journal); }, 6},
      {"journal emptied", [&] { std::ofstream(journal).flush(); }, 7},
      {"counter deleted", [&] { std::filesystem::remove(counter); }, 8},
      {"half a line from a writer that died",
       [&] { std::ofstream(journal, std::ios::app) << "2019-03-14 09:26:53 hh-1 9"; }, 9},
  };
  for (const Step &step : steps) {
    step.act();
    ASSERT_EQ(_TransactionMsg(1, 10, "10TRANMSG "), 0) << step.what << ": " << vekterm::journal_error();
    EXPECT_EQ(last_number(), step.next) << step.what << "\n" << slurp(journal);
  }
  EXPECT_EQ(count(slurp(journal), "2019-"), count(slurp(journal), "\n"))
      << "the half line is gone: " << slurp(journal);
  vekterm::set_terminal_id("");
  vekterm::set_data_directory("");
}

}  // namespace
}  // namespace vektest
