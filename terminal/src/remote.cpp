// Remote backend: the session process of a gateway. Keys and scans arrive as datagrams on a socket;
// the screen goes back as the runs that changed since the gateway last heard of it, together with the
// cursor and a count of the input the module has taken. The gateway keeps the whole screen, so a viewer
// that connects later is shown it without asking the session.
//
// Changes are only marked and sent when the module waits or idles: a panel drawn with many small
// writes goes out as one update. An update also goes out after the module has taken
// input, changed or not, so the gateway can tell when a key has been dealt with.
//
// When the gateway closes its end, nobody is left to answer: a stop is asked for, the panel ends as
// cancelled, and a timer ends the process by SIGHUP a little later whatever the program is doing.
#include "vekterm/remote.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "codepage.h"
#include "input.h"
#include "keystream.h"
#include "state.h"

namespace vekterm::remote {

Screen::Screen() {
  for (auto &row : chars)
    row.fill(' ');
  for (auto &row : attributes)
    row.fill(0);
}

namespace {

void put16(std::string &out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

unsigned get16(std::string_view in, std::size_t at) {
  return static_cast<unsigned char>(in[at]) | static_cast<unsigned>(static_cast<unsigned char>(in[at + 1]))
                                                  << 8;
}

// An update carrying `runs` of `screen` (its cursor and key count too).
std::string encode_update(const Screen &screen, const std::vector<Run> &runs) {
  std::string out;
  out.reserve(8 + runs.size() * (3 + 2 * kColumns));
  out += 'U';
  for (int shift = 0; shift < 32; shift += 8)
    out += static_cast<char>((screen.keys >> shift) & 0xFF);
  out += static_cast<char>(screen.cursor_row);
  out += static_cast<char>(screen.cursor_column);
  out += static_cast<char>(screen.cursor_shown ? 1 : 0);
  for (const Run &run : runs) {
    out += static_cast<char>(run.row);
    out += static_cast<char>(run.column);
    out += static_cast<char>(run.length);
    const auto row = static_cast<std::size_t>(run.row), column = static_cast<std::size_t>(run.column);
    out.append(screen.chars[row].data() + column, static_cast<std::size_t>(run.length));
    out.append(screen.attributes[row].data() + column, static_cast<std::size_t>(run.length));
  }
  return out;
}

}  // namespace

std::string key_message(std::uint16_t code) {
  std::string out(1, 'K');
  put16(out, code);
  return out;
}

std::string scan_message(std::uint8_t type, std::string_view data) {
  std::string out(1, 'S');
  out += static_cast<char>(type);
  out.append(data.substr(0, kMaxScanData));
  return out;
}

std::string redraw_message() {
  return "R";
}

bool apply_update(std::string_view message, Screen *screen, std::vector<Run> *changed) {
  constexpr std::size_t kHead = 8;
  if (message.size() < kHead || message[0] != 'U') return false;
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(message[at]); };
  if (byte(5) >= kRows || byte(6) >= kColumns || byte(7) > 1) return false;
  // Checked whole before anything changes, so a bad update leaves the screen as it was.
  for (std::size_t at = kHead; at < message.size();) {
    if (message.size() - at < 3) return false;
    const unsigned row = byte(at), column = byte(at + 1), length = byte(at + 2);
    if (row >= kRows || column >= kColumns || length == 0 || column + length > kColumns) return false;
    at += 3 + 2 * length;
    if (at > message.size()) return false;
  }
  screen->keys = static_cast<std::uint32_t>(byte(1) | byte(2) << 8 | byte(3) << 16) |
                 static_cast<std::uint32_t>(byte(4)) << 24;
  screen->cursor_row = byte(5);
  screen->cursor_column = byte(6);
  screen->cursor_shown = byte(7) == 1;
  for (std::size_t at = kHead; at < message.size();) {
    const Run run{byte(at), byte(at + 1), byte(at + 2)};
    const auto row = static_cast<std::size_t>(run.row), column = static_cast<std::size_t>(run.column);
    const auto length = static_cast<std::size_t>(run.length);
    std::memcpy(screen->chars[row].data() + column, message.data() + at + 3, length);
    std::memcpy(screen->attributes[row].data() + column, message.data() + at + 3 + length, length);
    if (changed) changed->push_back(run);
    at += 3 + 2 * length;
  }
  return true;
}

std::string full_update(const Screen &screen) {
  std::vector<Run> runs;
  for (int row = 0; row < kRows; ++row)
    runs.push_back({row, 0, kColumns});
  return encode_update(screen, runs);
}

bool code_page_glyphs(std::string_view name, std::array<char32_t, 256> *glyphs) {
  detail::CodePage page{};
  if (!detail::parse_code_page(name, &page)) return false;
  for (int byte = 0; byte < 256; ++byte)
    (*glyphs)[static_cast<std::size_t>(byte)] =
        detail::code_page_char(page, static_cast<unsigned char>(byte));
  return true;
}

// ---- The session side ----

namespace {

using detail::monotonic_ms;
using detail::remaining;
using detail::terminal;

constexpr int kGoneGraceMs = 2000;     // a program without its gateway ends by itself within this or is ended
constexpr int kSendPatienceMs = 5000;  // a gateway that takes no update for this long is taken as gone
static_assert(kMaxScanData == detail::kScanData);

constexpr std::array kSignals = {SIGTERM, SIGHUP, SIGINT};

struct Remote {
  bool active = false;
  int fd = -1;
  detail::Input input;
  Screen sent;        // what the gateway has
  bool dirty = true;  // cells or cursor may differ from `sent`
  bool full = false;  // the next update carries the whole screen
  bool gone = false;
  std::int64_t start_ms = 0;
  int signal_pipe[2] = {-1, -1};
  std::array<struct sigaction, kSignals.size()> saved_actions{};  // one per signal in kSignals
  bool handlers = false;
  timer_t watchdog{};
  bool watchdog_made = false;
  const detail::Backend *previous = nullptr;
};

Remote g;
volatile sig_atomic_t g_stop_signal = 0;  // stop signals received (counted up to 2)
volatile sig_atomic_t g_last_signal = 0;

void on_signal(int signal, siginfo_t *info, void *) {
  const int saved = errno;
  if (signal == SIGHUP && info && info->si_code == SI_TIMER) {
    std::signal(SIGHUP, SIG_DFL);  // the watchdog: the signal's own action ends the process
    raise(SIGHUP);
  } else {
    g_last_signal = signal;
    if (g_stop_signal < 2) g_stop_signal = g_stop_signal + 1;
  }
  const char byte = 0;
  if (write(g.signal_pipe[1], &byte, 1) < 0) {
    // The pipe is full: a wake-up is already waiting.
  }
  errno = saved;
}

void went_away() {
  if (g.gone) return;
  g.gone = true;
  g.input.stop = true;
  itimerspec when{};
  when.it_value.tv_sec = kGoneGraceMs / 1000;
  when.it_value.tv_nsec = (kGoneGraceMs % 1000) * 1000000L;
  if (g.watchdog_made) timer_settime(g.watchdog, 0, &when, nullptr);
}

// Sends one datagram, waiting a while for room when the gateway is slow to read.
void send_message(const std::string &message) {
  if (g.gone) return;
  const std::int64_t deadline = monotonic_ms() + kSendPatienceMs;
  for (;;) {
    if (send(g.fd, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) return;
    if (errno == EINTR) continue;
    pollfd out = {g.fd, POLLOUT, 0};
    if ((errno != EAGAIN && errno != EWOULDBLOCK) || poll(&out, 1, remaining(deadline)) <= 0 ||
        (out.revents & (POLLHUP | POLLERR)) != 0) {
      went_away();
      return;
    }
  }
}

// The screen as the module has it now, in the gateway's terms.
Screen current() {
  Screen now;
  const detail::Terminal &t = terminal();
  for (std::size_t r = 0; r < kRows; ++r)
    for (std::size_t c = 0; c < kColumns; ++c) {
      now.chars[r][c] = t.cells[r][c].ch;
      now.attributes[r][c] = t.cells[r][c].attribute;
    }
  now.cursor_row = std::clamp(t.cursor_row, 0, kRows - 1);
  now.cursor_column = std::clamp(t.cursor_column, 0, kColumns - 1);
  now.cursor_shown = t.cursor_type != 0;
  now.keys = g.input.taken;
  return now;
}

// Sends what changed since the last update: in each row, the stretch from its first to its last
// changed cell.
void flush() {
  const bool took_input = g.input.taken != g.sent.keys;
  if (!g.dirty && !took_input && !g.full) return;
  Screen now = current();
  if (g.full) {
    g.full = g.dirty = false;
    send_message(full_update(now));
    g.sent = now;
    return;
  }
  std::vector<Run> runs;
  for (std::size_t r = 0; r < kRows; ++r) {
    int first = -1, last = -1;
    for (std::size_t c = 0; c < kColumns; ++c)
      if (now.chars[r][c] != g.sent.chars[r][c] || now.attributes[r][c] != g.sent.attributes[r][c]) {
        if (first < 0) first = static_cast<int>(c);
        last = static_cast<int>(c);
      }
    if (first >= 0) runs.push_back({static_cast<int>(r), first, last - first + 1});
  }
  const bool cursor_moved = now.cursor_row != g.sent.cursor_row ||
                            now.cursor_column != g.sent.cursor_column ||
                            now.cursor_shown != g.sent.cursor_shown;
  g.dirty = false;
  if (runs.empty() && !cursor_moved && !took_input) return;
  send_message(encode_update(now, runs));
  g.sent = now;
}

void take(std::string_view message) {
  if (message.empty()) return;
  switch (message[0]) {
    case 'K':
      if (message.size() == 3) g.input.keys.push_back(static_cast<std::uint16_t>(get16(message, 1)));
      break;
    case 'S':
      if (message.size() >= 2 && message.size() <= 2 + kMaxScanData)
        g.input.scans.emplace_back(message.substr(1));
      break;
    case 'R':  // the gateway lost its copy
      g.full = true;
      break;
    default:  // unknown messages are skipped: a newer gateway may send more
      break;
  }
}

// Waits up to timeout_ms (-1 without limit) for a message or a signal and takes in what came. True
// when a key, a scan or a stop request waits afterwards. Only a wait or an idle call sends the screen:
// a read that finds nothing is often the module clearing out input before a field begins, and a
// viewer shown the field before that would send a scan that is then thrown away.
bool serve(int timeout_ms, bool show) {
  if (show) flush();
  std::array<pollfd, 2> fds = {pollfd{g.gone ? -1 : g.fd, POLLIN, 0}, pollfd{g.signal_pipe[0], POLLIN, 0}};
  if (poll(fds.data(), fds.size(), timeout_ms) > 0) {
    if (fds[1].revents != 0) {
      char drain[64];
      while (read(g.signal_pipe[0], drain, sizeof drain) > 0) {
      }
    }
    if ((fds[0].revents & POLLIN) != 0) {
      std::array<char, kMaxMessage> buffer{};
      for (;;) {
        const ssize_t got = recv(g.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got > 0) {
          take(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
          continue;
        }
        if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) went_away();
        if (got < 0 && errno == EINTR) continue;
        break;
      }
    } else if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      went_away();
    }
  }
  if (g_stop_signal >= 2) {
    std::signal(g_last_signal, SIG_DFL);
    std::raise(g_last_signal);
  }
  if (g_stop_signal) g.input.stop = true;
  if (show) flush();
  return g.input.waiting();
}

std::int64_t no_wake() {
  return -1;
}

const detail::Waiter kWaiter = {serve, no_wake};

void led(int which, int duration) {
  std::string message(1, 'L');
  message += static_cast<char>(which);
  put16(message, static_cast<unsigned>(std::clamp(duration, 0, 0xFFFF)));
  send_message(message);
}

void beep_out(int, int tone, int duration) {
  std::string message(1, 'B');
  put16(message, static_cast<unsigned>(std::clamp(tone, 0, 0xFFFF)));
  put16(message, static_cast<unsigned>(std::clamp(duration, 0, 0xFFFF)));
  send_message(message);
}

std::int64_t now_ms() {
  return monotonic_ms() - g.start_ms;
}

void screen_changed() {
  g.dirty = true;
}

const detail::Backend kRemote = {
    detail::read_key, detail::wait_event, detail::idle, detail::query_scan, detail::read_scan, led, beep_out,
    now_ms,           screen_changed};

void release() {
  if (g.watchdog_made) timer_delete(g.watchdog);
  if (g.handlers)
    for (std::size_t i = 0; i < kSignals.size(); ++i)
      sigaction(kSignals[i], &g.saved_actions[i], nullptr);
  for (int fd : g.signal_pipe)
    if (fd >= 0) close(fd);
  if (g.fd >= 0) close(g.fd);
  if (g.active) terminal().backend = g.previous;
  g = Remote{};
  g_stop_signal = 0;
  g_last_signal = 0;
}

}  // namespace

int start(int fd, std::string *error) {
  auto fail = [&](const std::string &reason) {
    release();
    if (error) *error = reason;
    return 1;
  };
  if (g.active) {
    if (fd >= 0) close(fd);
    if (error) *error = "the terminal is already started";
    return 1;
  }
  g.fd = fd;
  int type = 0;
  socklen_t length = sizeof type;
  if (fd < 0 || getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_SEQPACKET)
    return fail("descriptor " + std::to_string(fd) + " is not a SOCK_SEQPACKET socket");
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  if (pipe2(g.signal_pipe, O_NONBLOCK | O_CLOEXEC) != 0)
    return fail(std::string("signal pipe: cannot create: ") + std::strerror(errno));
  sigevent expiry{};
  expiry.sigev_notify = SIGEV_SIGNAL;
  expiry.sigev_signo = SIGHUP;
  if (timer_create(CLOCK_MONOTONIC, &expiry, &g.watchdog) != 0)
    return fail(std::string("watchdog: cannot create: ") + std::strerror(errno));
  g.watchdog_made = true;
  struct sigaction action {};
  action.sa_sigaction = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_SIGINFO;
  for (std::size_t i = 0; i < kSignals.size(); ++i)
    sigaction(kSignals[i], &action, &g.saved_actions[i]);
  g.handlers = true;
  g.start_ms = monotonic_ms();
  g.previous = terminal().backend;
  detail::use_input(&g.input, kWaiter);
  terminal().backend = &kRemote;
  terminal().local_clock = true;
  g.active = true;
  // The gateway starts with a blank screen of its own; the first update sends only what differs.
  g.dirty = true;
  flush();
  return 0;
}

void stop() {
  if (!g.active) return;
  flush();
  terminal().local_clock = false;
  release();
}

bool stop_requested() {
  return g.active && (g.input.stop || g_stop_signal);
}

}  // namespace vekterm::remote
