// vekship_latency: the time from a transaction message being on disk (_TransactionMsg returned) to its
// row being taken by a warehouse system, at a fleet's operator rate. One thread sends messages through
// the services library's journal for many terminals, spaced at random around the given rate; another
// listens on the table's channel and, at each notification, takes the new rows as docs/FLEET.md shows
// (UPDATE ... SET picked_up ... RETURNING). A vekship must be running on the same data directory.
//
//   vekship_latency --data DIR [--sessions 1000] [--every-ms 5000] [--seconds 30]
//
// The connection comes from the PG* variables. Prints the count and the p50, p99 and largest latency.
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "dispatch/terminal.h"
#include "vekterm/vekterm.h"

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_mutex;
std::unordered_map<long, Clock::time_point> g_sent;   // message number -> when _TransactionMsg returned
std::unordered_map<long, Clock::time_point> g_early;  // taken before the sender noted it: when taken
std::vector<double> g_latency_ms;

void listen(std::atomic<bool> *done, std::atomic<long> *taken) {
  PGconn *conn = PQconnectdb("");
  if (PQstatus(conn) != CONNECTION_OK) {
    std::fprintf(stderr, "vekship_latency: %s", PQerrorMessage(conn));
    std::exit(1);
  }
  PQclear(PQexec(conn, "LISTEN vek_transaction"));
  PQclear(PQexec(conn, "UPDATE vek_transaction SET picked_up = now() WHERE picked_up IS NULL"));
  while (!done->load()) {
    // A notification may have come in with the previous statement's result: look before waiting.
    PQconsumeInput(conn);
    bool notified = false;
    while (PGnotify *n = PQnotifies(conn)) {
      notified = true;
      PQfreemem(n);
    }
    if (!notified) {
      pollfd p{PQsocket(conn), POLLIN, 0};
      poll(&p, 1, 100);
      continue;
    }
    PGresult *rows = PQexec(conn,
                            "UPDATE vek_transaction SET picked_up = now() WHERE picked_up IS NULL "
                            "RETURNING record");
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(g_mutex);
    for (int i = 0; i < PQntuples(rows); ++i) {
      const char *record = PQgetvalue(rows, i, 0);
      const char *number = std::strrchr(record, ' ');
      const long key = number ? std::atol(number + 1) : -1;
      const auto sent = g_sent.find(key);
      if (sent == g_sent.end()) {
        g_early[key] = now;
        continue;
      }
      g_latency_ms.push_back(std::chrono::duration<double, std::milli>(now - sent->second).count());
      g_sent.erase(sent);
      ++*taken;
    }
    PQclear(rows);
  }
  PQfinish(conn);
}

}  // namespace

int main(int argc, char **argv) {
  std::string data;
  int sessions = 1000, every_ms = 5000, seconds = 30;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--data") data = argv[i + 1];
    if (option == "--sessions") sessions = std::atoi(argv[i + 1]);
    if (option == "--every-ms") every_ms = std::atoi(argv[i + 1]);
    if (option == "--seconds") seconds = std::atoi(argv[i + 1]);
  }
  if (data.empty() || sessions < 1 || every_ms < 1 || seconds < 1) {
    std::fprintf(stderr, "usage: vekship_latency --data DIR [--sessions N] [--every-ms MS] [--seconds S]\n");
    return 2;
  }
  vekterm::headless::reset();
  vekterm::set_data_directory(data);
  std::atomic<bool> done{false};
  std::atomic<long> taken{0};
  std::thread listener(listen, &done, &taken);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  // The fleet sends sessions / every_ms messages per millisecond, at exponentially spaced times.
  std::mt19937 random(42);
  std::exponential_distribution<double> gap(static_cast<double>(sessions) / every_ms);
  std::uniform_int_distribution<int> terminal(0, sessions - 1);
  const Clock::time_point start = Clock::now(), end = start + std::chrono::seconds(seconds);
  Clock::time_point next = start;
  long sent = 0;
  double journal_ms = 0;
  while ((next += std::chrono::microseconds(static_cast<long>(gap(random) * 1000))) < end) {
    std::this_thread::sleep_until(next);
    vekterm::set_terminal_id("bench-" + std::to_string(terminal(random)));
    const std::string record = "TRANMSG Y BENCH " + std::to_string(sent);
    const std::string message = std::to_string(record.size() + 2) + record;
    const Clock::time_point before = Clock::now();
    if (_TransactionMsg(1, static_cast<int>(message.size()), message.c_str()) != 0) {
      std::fprintf(stderr, "vekship_latency: %s\n", vekterm::journal_error().c_str());
      return 1;
    }
    const Clock::time_point after = Clock::now();
    journal_ms += std::chrono::duration<double, std::milli>(after - before).count();
    std::lock_guard lock(g_mutex);
    if (const auto early = g_early.find(sent); early != g_early.end()) {
      g_latency_ms.push_back(
          std::max(0.0, std::chrono::duration<double, std::milli>(early->second - after).count()));
      g_early.erase(early);
      ++taken;
      ++sent;
      continue;
    }
    g_sent[sent++] = after;
  }
  const Clock::time_point drain = Clock::now() + std::chrono::seconds(10);
  while (taken.load() < sent && Clock::now() < drain)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  done = true;
  listener.join();

  std::sort(g_latency_ms.begin(), g_latency_ms.end());
  auto at = [](double q) {
    return g_latency_ms.empty()
               ? 0.0
               : g_latency_ms[static_cast<std::size_t>(q * static_cast<double>(g_latency_ms.size() - 1))];
  };
  std::printf("sessions %d, one message each %d ms: %ld messages in %d s (%.0f/s), %ld taken\n", sessions,
              every_ms, sent, seconds, static_cast<double>(sent) / seconds, taken.load());
  std::printf("journal write (_TransactionMsg) mean %.3f ms\n",
              sent ? journal_ms / static_cast<double>(sent) : 0.0);
  std::printf("TRANMSG returned -> row taken: p50 %.1f ms, p99 %.1f ms, max %.1f ms\n", at(0.5), at(0.99),
              at(1.0));
  return taken.load() == sent ? 0 : 1;
}
