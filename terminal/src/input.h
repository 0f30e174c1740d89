// Input on the real backends (the TTY and a gateway's session): keys and scans taken in but not yet read
// by the module, and the waits, reads and idle calls over them. Each backend supplies how it waits for
// more; what the module sees of the queue is the same on both.
#ifndef VEKTERM_SRC_INPUT_H
#define VEKTERM_SRC_INPUT_H

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace vekterm::detail {

std::int64_t monotonic_ms();
int remaining(std::int64_t deadline);  // milliseconds until a monotonic deadline, 0 once passed

struct Input {
  std::deque<std::uint16_t> keys;
  std::deque<std::string> scans;  // each: the record type byte, then the data
  bool stop = false;              // a stop was asked for
  int polls = 0;                  // _IdleManager(0) calls since the last wait or input handed over
  std::uint32_t taken = 0;        // keys and scans the module has read

  bool waiting() const { return stop || !keys.empty() || !scans.empty(); }
  void add_scan(int type, std::string_view data);
};

// How a backend waits: `serve` takes in what comes within timeout_ms (-1 without limit) and says whether
// input or a stop waits afterwards; `show` is false for reads, which only look for what came. `wake`
// is a monotonic time the backend wants a wait to end at for its own sake (an LED going out), -1 for none.
struct Waiter {
  bool (*serve)(int timeout_ms, bool show);
  std::int64_t (*wake)();
};

// Makes `input` and `waiter` those of the real backend being started. The services' operations below
// work on them, with the results _KbdReadAscii, _WaitEvent, _IdleManager, _SenQueryData and _SenRead
// give: a backend's table names them as its own.
void use_input(Input *input, const Waiter &waiter);
int read_key(unsigned short *code);
int wait_event(int milliseconds);
int idle(int mode);
int query_scan(unsigned short *count);
int read_scan(char *record, int size);

}  // namespace vekterm::detail

#endif
