// Headless backend: scripted input on one timeline and a virtual clock that runs only while the module
// waits, so timed behaviour is exact and a ten-second time-out costs no real time.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "state.h"

namespace vekterm::detail {
namespace {

enum class Step { Key, Scan, HostStop, WriteVariable, Snapshot };

struct Event {
  std::int64_t due_ms;
  Step step;
  std::uint16_t code = 0;
  int number = 0;
  std::string bytes;  // scan record, or the text of a variable write
};

constexpr std::int64_t kDefaultStallLimitMs = 60LL * 60 * 1000;
constexpr int kSpinLimit = 100000;     // waits in a row that return at once with nothing taken
constexpr int kUnwindLimit = 1000000;  // calls served after a stall before giving up on the process

struct Headless {
  std::deque<Event> events;
  std::int64_t now_ms = 0;
  std::int64_t script_ms = 0;      // time stamp for the next scripted step
  std::int64_t last_taken_ms = 0;  // virtual time of the last input taken
  int spins = 0;
  int idle_spins = 0;              // idle calls in a row at one virtual time with nothing due
  std::int64_t idle_spin_ms = -1;  // the virtual time of those calls
  bool stalled = false;
  int unwind_calls = 0;
  int unwind_keys = 0;  // keys handed out since the stall
  std::int64_t stall_limit_ms = kDefaultStallLimitMs;
  std::vector<std::string> failures;
  std::vector<std::vector<std::string>> snapshots;
};

Headless state;

const char *step_name(Step step) {
  switch (step) {
    case Step::Key:
      return "a key";
    case Step::Scan:
      return "a scan";
    case Step::HostStop:
      return "a host stop request";
    case Step::WriteVariable:
      return "a variable write";
    case Step::Snapshot:
      return "a snapshot";
  }
  return "?";
}

void add(Event event) {
  if (state.script_ms < state.now_ms) state.script_ms = state.now_ms;
  event.due_ms = state.script_ms;
  state.events.push_back(std::move(event));
}

// Applies the steps that need no taker (variable writes, snapshots) once they are due.
void pump() {
  while (!state.events.empty() && state.events.front().due_ms <= state.now_ms &&
         (state.events.front().step == Step::WriteVariable || state.events.front().step == Step::Snapshot)) {
    const Event &e = state.events.front();
    if (e.step == Step::Snapshot) {
      std::vector<std::string> rows;
      for (int r = 0; r < kRows; ++r)
        rows.push_back(screen_row(r));
      state.snapshots.push_back(std::move(rows));
    } else if (e.number >= 1 && e.number <= kVariables) {
      terminal().variables[static_cast<std::size_t>(e.number)] = e.bytes;
    }
    state.events.pop_front();
  }
}

const Event *offered(Step step) {
  pump();
  if (state.events.empty()) return nullptr;
  const Event &e = state.events.front();
  return (e.due_ms <= state.now_ms && e.step == step) ? &e : nullptr;
}

void taken() {
  state.events.pop_front();
  state.spins = 0;
  state.idle_spins = 0;
  state.last_taken_ms = state.now_ms;
}

void stall(const std::string &why) {
  if (state.stalled) return;
  state.stalled = true;
  state.failures.push_back("headless terminal: " + why + " (virtual time " + std::to_string(state.now_ms) +
                           " ms)\n" + screen_text());
}

// After a stall every call unwinds the module; a module that still does not return is stopped here.
bool unwinding() {
  if (!state.stalled) return false;
  if (++state.unwind_calls > kUnwindLimit) {
    std::fprintf(stderr, "%s\nheadless terminal: the module does not return after a stall\n",
                 state.failures.empty() ? "" : state.failures.back().c_str());
    std::abort();
  }
  return true;
}

int read_key(unsigned short *key) {
  if (unwinding()) {
    // Cancel ends editors and waits for any key, Enter ends the waits that want Enter, and "no key"
    // between them ends the loops that read keys until none is left: Cancel, none, Enter, none.
    switch (state.unwind_keys++ % 4) {
      case 0:
        *key = vek::key::Cancel;
        return 0;
      case 2:
        *key = vek::key::Enter;
        return 0;
      default:
        return 5;
    }
  }
  const Event *e = offered(Step::Key);
  if (!e) return 5;
  *key = e->code;
  taken();
  return 0;
}

int query_scan(unsigned short *count) {
  *count = (!state.stalled && offered(Step::Scan)) ? 1 : 0;
  return 0;
}

int read_scan(char *record, int size) {
  const Event *e = state.stalled ? nullptr : offered(Step::Scan);
  if (!e) return 1;
  const std::size_t n = std::min(e->bytes.size(), static_cast<std::size_t>(size));
  std::memcpy(record, e->bytes.data(), n);
  taken();
  return 0;
}

void advance(std::int64_t ms) {
  state.now_ms += ms;
  pump();
}

int wait_event(int milliseconds) {
  if (unwinding()) return 0;
  pump();
  if (!state.events.empty() && state.events.front().due_ms <= state.now_ms) {
    // Input is waiting: a real terminal returns at once. Returning at once forever is a spin.
    if (++state.spins > kSpinLimit)
      stall(std::string("the module keeps waiting while ") + step_name(state.events.front().step) +
            " waits to be taken");
    return 0;
  }
  if (state.events.empty()) {
    if (milliseconds <= 0) {
      stall("a wait without time limit, and nothing more is scripted");
      return 0;
    }
    advance(milliseconds);
    if (state.now_ms - state.last_taken_ms > state.stall_limit_ms)
      stall("the module has waited " + std::to_string(state.now_ms - state.last_taken_ms) +
            " ms with nothing more scripted");
    return 1;
  }
  const std::int64_t due = state.events.front().due_ms;
  if (milliseconds <= 0 || due <= state.now_ms + milliseconds) {
    advance(due - state.now_ms);
    return 0;
  }
  advance(milliseconds);
  return 1;
}

int idle(int mode) {
  if (unwinding()) return 1;
  if (mode == 200) {
    advance(200);
    return 0;
  }
  if (offered(Step::HostStop)) {
    taken();
    return 1;
  }
  // A module that polls without ever waiting lets no time pass: nothing scripted can come then.
  if (state.idle_spin_ms != state.now_ms) {
    state.idle_spin_ms = state.now_ms;
    state.idle_spins = 0;
  }
  if (++state.idle_spins > kSpinLimit) stall("the module keeps polling without waiting, so no time passes");
  return 0;
}

std::int64_t now() {
  return state.now_ms;
}

const Backend kHeadless = {read_key, wait_event, idle, query_scan, read_scan, nullptr, nullptr, now, nullptr};

}  // namespace

const Backend &headless_backend() {
  return kHeadless;
}

}  // namespace vekterm::detail

namespace vekterm::headless {

using detail::Event;
using detail::state;
using detail::Step;

void reset() {
  detail::terminal().backend = &detail::headless_backend();
  state = detail::Headless{};
  detail::reset_shared();
}

void key(std::uint16_t code) {
  detail::add({0, Step::Key, code, 0, {}});
}

void text(std::string_view typed) {
  for (char ch : typed)
    key(static_cast<unsigned char>(ch));
}

void scan(std::string_view data, std::uint8_t type) {
  std::string record;
  record += static_cast<char>(type);
  record += '\0';
  record += static_cast<char>(static_cast<unsigned char>(data.size() > 255 ? 255 : data.size()));
  record += data;
  raw_scan(record);
}

void raw_scan(std::string_view record) {
  detail::add({0, Step::Scan, 0, 0, std::string(record)});
}

void delay(int milliseconds) {
  if (state.script_ms < state.now_ms) state.script_ms = state.now_ms;
  if (milliseconds > 0) state.script_ms += milliseconds;
}

void host_stop() {
  detail::add({0, Step::HostStop, 0, 0, {}});
}

void write_variable(int number, std::string_view text) {
  detail::add({0, Step::WriteVariable, 0, number, std::string(text)});
}

void snapshot() {
  detail::add({0, Step::Snapshot, 0, 0, {}});
}

std::size_t pending() {
  return state.events.size();
}

const std::vector<std::vector<std::string>> &snapshots() {
  return state.snapshots;
}

const std::vector<std::string> &failures() {
  return state.failures;
}

std::vector<std::string> take_failures() {
  std::vector<std::string> out = std::move(state.failures);
  state.failures.clear();
  state.stalled = false;
  state.unwind_calls = 0;
  state.unwind_keys = 0;
  state.spins = 0;
  state.idle_spins = 0;
  return out;
}

void set_stall_limit_ms(std::int64_t milliseconds) {
  state.stall_limit_ms = milliseconds;
}

}  // namespace vekterm::headless
