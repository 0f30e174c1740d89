#include "input.h"

#include <time.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "keystream.h"
#include "vekterm/vekterm.h"

namespace vekterm::detail {
namespace {

constexpr int kPauseMs = 200;    // _IdleManager(200)
constexpr int kFreePolls = 16;   // _IdleManager(0) calls in a row without a wait that return at once
constexpr int kPollPaceMs = 50;  // how long each further one waits for input

Input *g_input = nullptr;  // the active real backend's
Waiter g_waiter{};

void took(Input &input) {
  input.polls = 0;
  ++input.taken;
}

}  // namespace

std::int64_t monotonic_ms() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int remaining(std::int64_t deadline) {
  const std::int64_t left = deadline - monotonic_ms();
  return left <= 0 ? 0 : static_cast<int>(left);
}

void use_input(Input *input, const Waiter &waiter) {
  g_input = input;
  g_waiter = waiter;
}

void Input::add_scan(int type, std::string_view data) {
  std::string scan(1, static_cast<char>(type));
  scan.append(data.substr(0, kScanData));
  scans.push_back(std::move(scan));
}

// After a stop request an empty keyboard reads as Cancel, so that a wait for any key ends as well.
int read_key(unsigned short *code) {
  Input &input = *g_input;
  const Waiter &waiter = g_waiter;
  if (input.keys.empty()) waiter.serve(0, false);
  if (input.keys.empty() && input.stop) {
    *code = key::Cancel;
    return 0;
  }
  if (input.keys.empty()) return 5;
  *code = input.keys.front();
  input.keys.pop_front();
  took(input);
  return 0;
}

// 0 an event (or a stop request) waits; 1 the time ran out.
int wait_event(int milliseconds) {
  Input &input = *g_input;
  const Waiter &waiter = g_waiter;
  if (waiter.serve(0, true)) return 0;
  input.polls = 0;
  const std::int64_t deadline = milliseconds > 0 ? monotonic_ms() + milliseconds : -1;
  for (;;) {
    int timeout = deadline >= 0 ? remaining(deadline) : -1;
    if (const std::int64_t wake = waiter.wake(); wake >= 0 && (timeout < 0 || remaining(wake) < timeout))
      timeout = remaining(wake);
    if (waiter.serve(timeout, true)) return 0;
    if (deadline >= 0 && monotonic_ms() >= deadline) return 1;
  }
}

// A module that polls without waiting (the keyboard diagnostic screen does) would take a whole core:
// after a few such calls in a row each one waits for input a little, also while a stop waits, so the
// loop runs some twenty times a second and still answers a key at once. Unread input makes no wait.
int idle(int mode) {
  Input &input = *g_input;
  const Waiter &waiter = g_waiter;
  if (mode == kPauseMs) {
    input.polls = 0;
    const std::int64_t deadline = monotonic_ms() + kPauseMs;
    while (!input.stop && monotonic_ms() < deadline)
      waiter.serve(remaining(deadline), true);
    return 0;
  }
  const bool unread = !input.keys.empty() || !input.scans.empty();
  waiter.serve(!unread && ++input.polls > kFreePolls ? kPollPaceMs : 0, true);
  return input.stop ? 1 : 0;
}

int query_scan(unsigned short *count) {
  Input &input = *g_input;
  const Waiter &waiter = g_waiter;
  if (input.scans.empty()) waiter.serve(0, false);
  *count = input.scans.empty() ? 0 : 1;
  return 0;
}

// Record: byte 0 type, byte 1 zero, byte 2 data length, data from byte 3, cut to the caller's size.
int read_scan(char *record, int size) {
  Input &input = *g_input;
  const Waiter &waiter = g_waiter;
  if (input.scans.empty()) waiter.serve(0, false);
  if (input.scans.empty()) return 1;
  const std::string scan = std::move(input.scans.front());
  input.scans.pop_front();
  took(input);
  std::array<char, 3 + kScanData> full{};
  full[0] = scan[0];
  full[2] = static_cast<char>(scan.size() - 1);
  std::memcpy(full.data() + 3, scan.data() + 1, scan.size() - 1);
  std::memcpy(record, full.data(), std::min(static_cast<std::size_t>(std::max(size, 0)), 2 + scan.size()));
  return 0;
}

}  // namespace vekterm::detail
