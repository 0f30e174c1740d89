// vekship: follows the transaction journals of a data directory and stores their lines in PostgreSQL.
//
// The journal on disk is the first, durable step; the shipper only forwards. It reads the lines beyond
// each journal's progress, stores them in one transaction per batch, and only then moves the progress
// files on: at least once on the wire, exactly once in the table. While the server is unreachable the
// lines stay where they are and the shipper retries with a growing pause, saying so once when it starts
// waiting and once when it resumes.
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "database.h"
#include "journals.h"

namespace vekship {
namespace {

constexpr int kExitOk = 0, kExitFailed = 1, kExitSetup = 2;

constexpr const char *kUsage =
    "usage: vekship --data DIR [options]\n"
    "\n"
    "Stores the transaction journals of a data directory (DIR/journal/*.log) in PostgreSQL.\n"
    "The connection comes from --db and the PG* environment variables; the password from a password\n"
    "file (~/.pgpass or PGPASSFILE), never from the command line.\n"
    "\n"
    "  --data DIR          the data directory; the shipper keeps its own files in DIR/ship/\n"
    "  --db CONNINFO       libpq connection string or URI (default: the PG* variables alone)\n"
    "  --batch N           lines per transaction (default 5000)\n"
    "  --metrics FILE      Prometheus text file, for node_exporter's textfile collector\n"
    "                      (default: DIR/ship/vekship.prom)\n"
    "  --log FILE          append log lines to FILE instead of standard error\n"
    "  --retry-max SECONDS longest pause between tries while the server is away (default 30)\n"
    "  --once              store what the journals hold now, then end (status 1 if the server is away)\n"
    "  --print-schema      write the table's definition (SQL) and end\n"
    "  --help              this text\n";

std::FILE *g_log = stderr;

double steady_now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void log_line(const std::string &text) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
  std::fprintf(g_log, "%s vekship: %s\n", stamp, text.c_str());
  std::fflush(g_log);
}

struct Options {
  std::string data, db, metrics, log;
  std::size_t batch = 5000;
  double retry_max = 30;
  bool once = false;
};

int parse(int argc, char **argv, Options *o) {
  enum { kData, kDb, kBatch, kMetrics, kLog, kRetry, kOnce, kPrintSchema, kHelp };
  const option options[] = {
      {"data", required_argument, nullptr, kData},   {"db", required_argument, nullptr, kDb},
      {"batch", required_argument, nullptr, kBatch}, {"metrics", required_argument, nullptr, kMetrics},
      {"log", required_argument, nullptr, kLog},     {"retry-max", required_argument, nullptr, kRetry},
      {"once", no_argument, nullptr, kOnce},         {"print-schema", no_argument, nullptr, kPrintSchema},
      {"help", no_argument, nullptr, kHelp},         {}};
  for (int c; (c = getopt_long(argc, argv, "", options, nullptr)) != -1;) {
    switch (c) {
      case kData:
        o->data = optarg;
        break;
      case kDb:
        o->db = optarg;
        break;
      case kMetrics:
        o->metrics = optarg;
        break;
      case kLog:
        o->log = optarg;
        break;
      case kOnce:
        o->once = true;
        break;
      case kBatch: {
        char *end = nullptr;
        const long n = std::strtol(optarg, &end, 10);
        if (*end || n < 1 || n > 100000) {
          std::fprintf(stderr, "vekship: --batch wants 1 to 100000\n");
          return kExitSetup;
        }
        o->batch = static_cast<std::size_t>(n);
        break;
      }
      case kRetry: {
        char *end = nullptr;
        o->retry_max = std::strtod(optarg, &end);
        if (*end || !(o->retry_max > 0)) {
          std::fprintf(stderr, "vekship: --retry-max wants seconds\n");
          return kExitSetup;
        }
        break;
      }
      case kPrintSchema:
        std::fputs(kSchema, stdout);
        std::exit(kExitOk);
      case kHelp:
        std::fputs(kUsage, stdout);
        std::exit(kExitOk);
      default:
        return kExitSetup;  // getopt_long said why
    }
  }
  if (optind < argc) {
    std::fprintf(stderr, "vekship: unexpected argument %s\n", argv[optind]);
    return kExitSetup;
  }
  if (o->data.empty()) {
    std::fprintf(stderr, "vekship: no data directory (--data DIR)\n");
    return kExitSetup;
  }
  return 0;
}

// The shipper's state, for the log and the metrics.
struct State {
  bool waiting = false;
  double retry_at = 0, pause = 0;
  long long stored = 0, dead = 0, batches = 0;
  double metrics_at = 0;
};

void write_metrics(const std::string &path, Journals &journals, const State &state, double now) {
  char text[1536];
  std::snprintf(
      text, sizeof text,
      "# HELP vekship_backlog_lines Journal lines not yet stored in the database.\n"
      "# TYPE vekship_backlog_lines gauge\n"
      "vekship_backlog_lines %lld\n"
      "# HELP vekship_backlog_oldest_seconds Age of the oldest line not yet stored (since it was seen).\n"
      "# TYPE vekship_backlog_oldest_seconds gauge\n"
      "vekship_backlog_oldest_seconds %.3f\n"
      "# HELP vekship_waiting 1 while the database is unreachable or refuses the lines.\n"
      "# TYPE vekship_waiting gauge\n"
      "vekship_waiting %d\n"
      "# HELP vekship_journals Journals followed.\n"
      "# TYPE vekship_journals gauge\n"
      "vekship_journals %zu\n"
      "# HELP vekship_lines_stored_total Lines stored in the database (sent again after a crash: again).\n"
      "# TYPE vekship_lines_stored_total counter\n"
      "vekship_lines_stored_total %lld\n"
      "# HELP vekship_lines_put_aside_total Lines that can never be stored, put aside with the reason.\n"
      "# TYPE vekship_lines_put_aside_total counter\n"
      "vekship_lines_put_aside_total %lld\n"
      "# HELP vekship_batches_total Transactions committed.\n"
      "# TYPE vekship_batches_total counter\n"
      "vekship_batches_total %lld\n",
      static_cast<long long>(journals.backlog_lines()), journals.oldest_age(now), state.waiting ? 1 : 0,
      journals.count(), state.stored, state.dead, state.batches);
  std::string error;
  if (!replace_file(path, text, false, &error)) log_line(error);
}

// Watches the journal folder for lines written and files made or moved in; -1 while it is missing.
int watch(int inotify, const std::string &folder) {
  return inotify_add_watch(inotify, folder.c_str(), IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE);
}

// Waits up to `ms` for a journal to change; marks the changed journals.
void wait_for_lines(int inotify, int *watched, Journals &journals, int ms, double *full_scan_at) {
  if (*watched < 0) *watched = watch(inotify, journals.journal_folder());
  pollfd p{inotify, POLLIN, 0};
  if (poll(&p, 1, ms) <= 0) return;
  alignas(inotify_event) char buffer[16384];
  for (ssize_t n; (n = read(inotify, buffer, sizeof buffer)) > 0;) {
    for (ssize_t at = 0; at < n;) {
      const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
      if (event->mask & IN_Q_OVERFLOW) *full_scan_at = 0;
      if (event->mask & IN_IGNORED) *watched = -1;
      if (event->len) journals.touch(event->name);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

int ship(const Options &o) {
  Database database(o.db);
  Journals journals(o.data, [](const std::string &text) { log_line(text); });
  State state;
  const std::string metrics = o.metrics.empty() ? journals.ship_folder() + "/vekship.prom" : o.metrics;
  const int inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  int watched = watch(inotify, journals.journal_folder());
  double full_scan_at = 0;
  bool connected_once = false;
  for (;;) {
    const double now = steady_now();
    if (now >= full_scan_at) {
      journals.scan_all(now);
      full_scan_at = now + 2;
    }
    if (now - state.metrics_at >= 1) {
      write_metrics(metrics, journals, state, now);
      state.metrics_at = now;
    }
    if (state.waiting && now < state.retry_at) {
      if (o.once) return kExitFailed;
      wait_for_lines(inotify, &watched, journals, static_cast<int>((state.retry_at - now) * 1000) + 1,
                     &full_scan_at);
      continue;
    }
    Batch batch = journals.collect(o.batch, now);
    if (batch.empty()) {
      if (o.once) {
        write_metrics(metrics, journals, state, steady_now());
        return kExitOk;
      }
      wait_for_lines(inotify, &watched, journals, 1000, &full_scan_at);
      continue;
    }
    std::string error;
    const std::size_t unreadable = batch.dead.size();
    Stored stored = database.store(&batch, &error);
    // A connection that broke while idle (the server restarted) gets one more try on a new one.
    if (stored == Stored::kFailed && !state.waiting && !database.connected())
      stored = database.store(&batch, &error);
    if (stored == Stored::kFailed) {
      if (!state.waiting) {
        log_line("waiting: " + error +
                 " (the lines stay in the journals; trying again with a growing pause)");
        state.waiting = true;
        state.pause = 0.25;
        write_metrics(metrics, journals, state, now);
        state.metrics_at = now;
      } else {
        state.pause = std::min(state.pause * 2, o.retry_max);
      }
      state.retry_at = steady_now() + state.pause;
      continue;
    }
    if (!journals.confirm(batch, &error)) {
      log_line(error);
      return kExitFailed;  // the shipper's own folder is not writable: a restart sends the batch again
    }
    if (!batch.rows.empty() && (state.waiting || !connected_once)) {
      log_line((state.waiting ? "resumed: " : "shipping into ") + database.where());
      connected_once = true;
      if (state.waiting) {
        state.waiting = false;
        write_metrics(metrics, journals, state, now);
        state.metrics_at = now;
      }
    }
    ++state.batches;
    state.dead += static_cast<long long>(batch.dead.size());
    state.stored += static_cast<long long>(batch.rows.size() - (batch.dead.size() - unreadable));
  }
}

}  // namespace
}  // namespace vekship

int main(int argc, char **argv) {
  using namespace vekship;
  Options o;
  if (const int status = parse(argc, argv, &o)) return status;
  std::string error;
  if (holds_password(o.db, &error)) {
    std::fprintf(stderr, "vekship: %s\n", error.c_str());
    return kExitSetup;
  }
  struct stat st {};
  if (stat(o.data.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "vekship: data directory %s not found\n", o.data.c_str());
    return kExitSetup;
  }
  const std::string folder = o.data + "/ship";
  if (mkdir(folder.c_str(), 0775) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "vekship: cannot make %s: %s\n", folder.c_str(), std::strerror(errno));
    return kExitSetup;
  }
  // One shipper per data directory: any other one started for it (by each session's vekhost --ship)
  // finds the lock taken and ends quietly.
  const int lock = open((folder + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0664);
  if (lock < 0) {
    std::fprintf(stderr, "vekship: cannot open %s/lock: %s\n", folder.c_str(), std::strerror(errno));
    return kExitSetup;
  }
  if (flock(lock, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? kExitOk : kExitSetup;
  const std::string pid = std::to_string(getpid()) + "\n";  // the lock names the running shipper
  if (ftruncate(lock, 0) != 0 || pwrite(lock, pid.data(), pid.size(), 0) < 0) return kExitSetup;
  if (!o.log.empty()) {
    g_log = std::fopen(o.log.c_str(), "ae");
    if (!g_log) {
      std::fprintf(stderr, "vekship: cannot open %s\n", o.log.c_str());
      return kExitSetup;
    }
  }
  return ship(o);
}
