// The TTY backend at rest: a child process on a pseudo-terminal runs a one-field panel through the
// module's `main` with a time limit of 10 seconds and no key pressed; the CPU time it uses meanwhile
// (user and system, from getrusage) is what a terminal waiting for its operator costs. The keyboard
// diagnostic screen, which polls the keyboard without waiting, is measured likewise for 5 seconds,
// until Enter is typed.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dispatch/terminal.h"
#include "vekterm/tty.h"
#include "vekterm/vekterm.h"

namespace {

using Entry = int (*)(int, const char *);

double seconds_of(const timeval &t) {
  return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

std::string record(const std::string &rest) {
  const std::size_t n = rest.size() % 100;
  return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10) + rest;
}

// A one-field panel with a time limit of 10 seconds.
void prepare_panel(Entry entry) {
  vekterm::set_variable(1, "FI=1,INPUT=ALPHA,LEN=8,ROW=3,COL=1,RUV=2");
  vekterm::set_variable(3, "T=10");
  entry(3, record("SET_FIE VAR=1").c_str());
  entry(3, record("SET_FIE VAR=1").c_str());  // the first one after loading shows the banner
}

void run_panel(Entry entry) {
  entry(3, record("EXEC_PA VAR=3").c_str());
}

void run_diagnostic_screen(Entry entry) {
  entry(5, "");
}

// In the child: reports "CPU_SECONDS WALL_SECONDS" for `measured`, or "error ...".
void measure_in_child(int to_parent, void (*prepare)(Entry), void (*measured)(Entry)) {
  std::string out = "error";
  std::string error;
  if (vekterm::tty::start({}, &error) != 0) {
    out = "error " + error;
  } else if (void *module = dlopen(VEKPANEL_MODULE, RTLD_NOW | RTLD_LOCAL)) {
    const auto entry = reinterpret_cast<Entry>(dlsym(module, "main"));
    if (prepare) prepare(entry);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    measured(entry);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    getrusage(RUSAGE_SELF, &after);
    const double cpu = seconds_of(after.ru_utime) - seconds_of(before.ru_utime) + seconds_of(after.ru_stime) -
                       seconds_of(before.ru_stime);
    out = std::to_string(cpu) + " " + std::to_string(wall);
  } else {
    out = "error the module did not load";
  }
  vekterm::tty::stop();
  out += "\n";
  if (write(to_parent, out.data(), out.size()) < 0) _exit(3);
}

// Runs `measured` in a child on a pseudo-terminal; with enter_after_ms > 0 Enter is typed that long
// after the start.
void measure(benchmark::State &state, void (*prepare)(Entry), void (*measured)(Entry), int enter_after_ms) {
  for (auto _ : state) {
    int fds[2];
    if (pipe(fds) != 0) {
      state.SkipWithError("no pipe");
      return;
    }
    winsize size{};
    size.ws_row = 24;
    size.ws_col = 80;
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child == 0) {
      close(fds[0]);
      setenv("TERM", "xterm", 1);
      measure_in_child(fds[1], prepare, measured);
      _exit(0);
    }
    close(fds[1]);
    fcntl(master, F_SETFL, O_NONBLOCK);
    std::string report;
    const auto begin = std::chrono::steady_clock::now();
    const auto limit = begin + std::chrono::seconds(30);
    bool typed = enter_after_ms <= 0;
    while (report.find('\n') == std::string::npos && std::chrono::steady_clock::now() < limit) {
      if (!typed && std::chrono::steady_clock::now() - begin >= std::chrono::milliseconds(enter_after_ms))
        typed = write(master, "\r", 1) == 1;
      pollfd p[2] = {{master, POLLIN, 0}, {fds[0], POLLIN, 0}};
      poll(p, 2, 200);
      char bytes[4096];
      while (read(master, bytes, sizeof bytes) > 0) {
      }
      if (p[1].revents & POLLIN) {
        const ssize_t n = read(fds[0], bytes, sizeof bytes);
        if (n > 0) report.append(bytes, static_cast<std::size_t>(n));
      }
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(master);
    close(fds[0]);
    double cpu = 0, wall = 0;
    if (std::sscanf(report.c_str(), "%lf %lf", &cpu, &wall) != 2) {
      state.SkipWithError(("the child did not report: " + report).c_str());
      return;
    }
    state.SetIterationTime(wall);
    state.counters["cpu_ms"] = cpu * 1000;
    state.counters["wall_ms"] = wall * 1000;
  }
}

void BM_TtyIdle_TenSecondWait(benchmark::State &state) {
  measure(state, prepare_panel, run_panel, 0);
}

void BM_TtyIdle_DiagnosticScreenFiveSeconds(benchmark::State &state) {
  measure(state, nullptr, run_diagnostic_screen, 5000);
}

}  // namespace

BENCHMARK(BM_TtyIdle_TenSecondWait)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TtyIdle_DiagnosticScreenFiveSeconds)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
