// TTY backend: the 40x20 screen in a frame on the user's terminal with ncurses, the keyboard mapped to
// the module's key codes, scans from a FIFO, a UNIX socket, a serial device or the F9 scan prompt, and
// waits that block in poll() on all of them.
//
// Screen changes are only marked; the frame is drawn when the module reads input or waits, which is
// when an operator can look at it, so a panel drawn with many small writes goes out in one update.
//
// A loop that polls the keyboard and _IdleManager(0) without ever waiting (the keyboard diagnostic
// screen does) would take a whole core: after a few such calls in a row each one waits for input a
// little, so the loop runs some twenty times a second and still answers a key at once.
//
// When the terminal goes away (hang-up, a dropped SSH connection) nobody is left to answer: a stop is
// asked for, and a timer ends the process by SIGHUP a little later whatever the program is doing, as
// a loop that ignores stop requests (the diagnostic screen again) would otherwise run on forever.
#include <curses.h>
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "codepage.h"
#include "input.h"
#include "keystream.h"
#include "state.h"
#include "vekterm/tty.h"

namespace vekterm::tty {
namespace {

using detail::monotonic_ms;
using detail::remaining;
using detail::terminal;

constexpr int kFrameRows = kRows + 2;  // the screen and its frame
constexpr int kFrameColumns = kColumns + 2;
constexpr std::size_t kMaxScan = 97;  // data bytes that fit a 100-byte sensor record
constexpr int kEscDelayMs = 100;      // an Esc alone is Cancel after this long
constexpr int kLedUnitMs = 10;        // _SenActLed durations count in 10 ms
constexpr int kLedMinimumMs = 250;    // so that a short light can still be seen
constexpr int kGoneGraceMs = 2000;    // a program without its terminal ends by itself within this or is ended
static_assert(kMaxScan == detail::kScanData);
constexpr const char *kHints = "Esc Cancel F10 OK F1 Help F2 Clear F9 Scan";
constexpr const char *kPromptLabel = "Scan: ";

// A scanner connection: bytes come in until a line end completes a scan.
struct Source {
  int fd = -1;
  std::string line;  // the scan being received, at most kMaxScan bytes
  const char *what;  // for the status line
};

// The signals the TTY handles while it runs; their earlier actions are saved and given back.
constexpr std::array kSignals = {SIGWINCH, SIGTERM, SIGHUP, SIGINT};

struct Tty {
  bool active = false;
  SCREEN *screen = nullptr;
  Options options;
  detail::KeyStream typed;  // the keyboard's bytes on their way to keys and scans
  detail::Input input;      // keys and scans not yet read
  Source scanner{-1, {}, "scanner"};
  Source serial{-1, {}, "serial scanner"};
  bool made_fifo = false;  // the scanner FIFO is ours to remove
  termios serial_saved{};  // the serial device's settings before start
  bool serial_restore = false;
  int signal_pipe[2] = {-1, -1};
  std::array<struct sigaction, kSignals.size()> saved_actions{};
  bool handlers = false;
  bool prompt_open = false;
  std::string prompt;  // text typed at the scan prompt
  bool led_on = false;
  std::int64_t led_until = 0;  // monotonic ms
  std::string last_beep;       // clock time of the latest beep
  std::string note;            // a scanner that went away
  bool dirty = true;           // the frame must be drawn again
  bool stop = false;           // a stop was asked for
  std::int64_t start_ms = 0;   // monotonic ms at start
  int polls = 0;               // _IdleManager(0) calls since the last wait or input handed over
  timer_t watchdog{};          // ends the process once the terminal has gone
  bool watchdog_made = false;
  const detail::Backend *previous = nullptr;

  detail::CodePage code_page = detail::CodePage::Latin1;  // of the cells' bytes
  std::array<wchar_t, 256> glyphs{};                      // what each cell byte shows as
  bool line_drawing = false;                              // the terminal has line-drawing characters
};

Tty g;
volatile sig_atomic_t g_resized = 0;
volatile sig_atomic_t g_stop_signal = 0;  // stop signals received (counted up to 2)
volatile sig_atomic_t g_last_signal = 0;
volatile sig_atomic_t g_gone = 0;  // the terminal went away; the watchdog runs
// Everything here may run in a signal handler.
bool terminal_gone() {
  pollfd fd = {STDIN_FILENO, POLLIN, 0};
  return poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void went_away() {
  if (g_gone) return;
  g_gone = 1;
  itimerspec when{};
  when.it_value.tv_sec = kGoneGraceMs / 1000;
  when.it_value.tv_nsec = (kGoneGraceMs % 1000) * 1000000L;
  if (g.watchdog_made) timer_settime(g.watchdog, 0, &when, nullptr);
}

// The watchdog's SIGHUP: what start left behind outside the process is put right, then the signal's
// own action ends it. The terminal is gone, so there is no screen to give back.
void end_without_terminal() {
  if (g.made_fifo) unlink(g.options.scanner.c_str());
  if (g.serial.fd >= 0 && g.serial_restore) tcsetattr(g.serial.fd, TCSANOW, &g.serial_saved);
  struct sigaction fatal {};
  fatal.sa_handler = SIG_DFL;
  sigemptyset(&fatal.sa_mask);
  sigaction(SIGHUP, &fatal, nullptr);
  raise(SIGHUP);  // delivered as the handler returns
}

void on_signal(int signal, siginfo_t *info, void *) {
  const int saved = errno;
  if (signal == SIGHUP && info && info->si_code == SI_TIMER) {
    end_without_terminal();
  } else if (signal == SIGHUP && terminal_gone()) {
    went_away();
    g_last_signal = signal;
    if (g_stop_signal < 1) g_stop_signal = 1;  // one stop: the watchdog ends the process
  } else if (signal == SIGWINCH) {
    g_resized = 1;
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

void release();

// A second stop request while the first is still pending: the program did not end, so the terminal
// is given back and the signal's own action ends the process.
[[noreturn]] void end_now(int signal) {
  release();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  _exit(128 + signal);
}

// What each cell byte shows as: its character in the installation's code page when the locale's
// character set has it and it takes one column, else '?' (control characters too); a NUL cell is blank.
void make_glyphs() {
  char out[MB_LEN_MAX];
  for (int byte = 0; byte < 256; ++byte) {
    const auto ch =
        static_cast<wchar_t>(detail::code_page_char(g.code_page, static_cast<unsigned char>(byte)));
    const bool control = ch < 32 || (ch >= 127 && ch < 160);
    const bool shows = !control && std::wctomb(out, ch) > 0 && wcwidth(ch) == 1;
    g.glyphs[static_cast<std::size_t>(byte)] = byte == 0 ? L' ' : shows ? ch : L'?';
  }
}

cchar_t shown(char ch, char attribute) {
  const wchar_t text[2] = {g.glyphs[static_cast<unsigned char>(ch)], L'\0'};
  cchar_t cell{};
  setcchar(&cell, text, attribute != 0 ? A_REVERSE : A_NORMAL, 0, nullptr);
  return cell;
}

// `text` cut after its last whole word that fits `width` columns.
std::string fitted(const std::string &text, int width) {
  const auto room = static_cast<std::size_t>(std::max(width, 0));
  if (text.size() <= room) return text;
  const std::size_t blank = text.rfind(' ', room);
  return text.substr(0, blank == std::string::npos ? room : blank);
}

// What a terminal of `height` rows and `width` columns has room for besides the panel: its frame when
// that fits, then the status line and the hints line (or scan prompt) while rows are left. The whole
// is centred.
struct Layout {
  int frame = 0;                     // columns and rows the frame takes on each side: 1 or 0
  int lines = 0;                     // lines under the panel: 0, 1 (status) or 2 (status, hints)
  int top = 0, left = 0, width = 0;  // the panel with its frame
  int panel_top() const { return top + frame; }
  int panel_left() const { return left + frame; }
  int below() const { return top + kRows + 2 * frame; }  // the row under the panel and its frame
};

Layout layout(int height, int width) {
  Layout l;
  l.frame = width >= kFrameColumns && height >= kFrameRows ? 1 : 0;
  l.width = kColumns + 2 * l.frame;
  const int rows = kRows + 2 * l.frame;
  l.lines = std::min(height - rows, 2);
  l.top = (height - rows - l.lines) / 2;
  l.left = (width - l.width) / 2;
  return l;
}

// One line, cut to the width.
void draw_too_small(int height, int width) {
  std::string line = "Too small: needs " + std::to_string(kColumns) + "x" + std::to_string(kRows);
  const std::string has = ", has " + std::to_string(width) + "x" + std::to_string(height);
  if (static_cast<int>(line.size() + has.size()) <= width) line += has;
  mvaddnstr(0, 0, line.c_str(), width);
  curs_set(0);
}

// The frame's lines are the terminal's line-drawing characters (ncurses sends them as the terminal
// wants: a VT100 switches character sets, the Linux console in UTF-8 takes Unicode). A terminal that
// names none (no acsc capability) gets '+', '-' and '|': ncurses would send Unicode in a UTF-8
// locale, which such a terminal need not show.
void draw_frame(const Layout &l) {
  const bool lines = g.line_drawing;
  const int bottom = l.below() - 1, right = l.left + kColumns + 1;
  mvaddch(l.top, l.left, lines ? ACS_ULCORNER : '+');
  mvhline(l.top, l.left + 1, lines ? ACS_HLINE : '-', kColumns);
  mvaddch(l.top, right, lines ? ACS_URCORNER : '+');
  mvvline(l.top + 1, l.left, lines ? ACS_VLINE : '|', kRows);
  mvvline(l.top + 1, right, lines ? ACS_VLINE : '|', kRows);
  mvaddch(bottom, l.left, lines ? ACS_LLCORNER : '+');
  mvhline(bottom, l.left + 1, lines ? ACS_HLINE : '-', kColumns);
  mvaddch(bottom, right, lines ? ACS_LRCORNER : '+');
}

void draw_status(const Layout &l) {
  const int row = l.below();
  mvaddstr(row, l.left, "LED ");
  if (g.led_on) {
    attron(A_REVERSE | A_BOLD);
    addstr(" ON ");
    attroff(A_REVERSE | A_BOLD);
  } else {
    addstr(" -- ");
  }
  const int rest = l.width - 8;
  std::string text = g.last_beep.empty() ? "" : "  beep " + g.last_beep;
  if (!g.note.empty()) text += "  " + g.note;
  addnstr(text.c_str(), rest);
  if (g.note.empty() && static_cast<int>(text.size()) + 8 <= rest)
    mvaddstr(row, l.left + l.width - 8, "^C stop");
}

// The scan prompt on the hints line, or over the panel's last row when there is no such line; a long
// text shows its end.
void draw_prompt(const Layout &l) {
  const int row = l.lines >= 2 ? l.below() + 1 : l.panel_top() + kRows - 1;
  const int left = l.lines >= 2 ? l.left : l.panel_left();
  const auto room =
      static_cast<std::size_t>(std::max(0, l.width - static_cast<int>(std::strlen(kPromptLabel)) - 1));
  const std::string tail = g.prompt.size() <= room ? g.prompt : g.prompt.substr(g.prompt.size() - room);
  mvhline(row, left, ' ', kColumns);
  mvaddstr(row, left, (kPromptLabel + tail).c_str());
  curs_set(1);
  move(row, left + static_cast<int>(std::strlen(kPromptLabel) + tail.size()));
}

void draw() {
  g.dirty = false;
  int height = 0, width = 0;
  getmaxyx(stdscr, height, width);
  erase();
  if (height < kRows || width < kColumns) {
    draw_too_small(height, width);
    refresh();
    return;
  }
  const Layout l = layout(height, width);
  if (l.frame) draw_frame(l);
  const detail::Terminal &t = terminal();
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kColumns; ++c) {
      const detail::Cell &cell = t.cells[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
      const cchar_t glyph = shown(cell.ch, cell.attribute);
      mvadd_wch(l.panel_top() + r, l.panel_left() + c, &glyph);
    }
  if (l.lines >= 1) draw_status(l);
  if (l.lines >= 2 && !g.prompt_open) mvaddstr(l.below() + 1, l.left, fitted(kHints, l.width).c_str());
  if (g.prompt_open) {
    draw_prompt(l);
  } else if (t.cursor_type != 0) {
    curs_set(1);
    move(l.panel_top() + t.cursor_row, l.panel_left() + t.cursor_column);
  } else {
    curs_set(0);
  }
  refresh();
}

void resize() {
  g_resized = 0;
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0)
    resizeterm(ws.ws_row, ws.ws_col);
  clearok(curscr, TRUE);
  g.dirty = true;
}

void close_prompt() {
  g.prompt_open = false;
  g.prompt.clear();
  g.dirty = true;
}

void queue_scan(std::string_view data, int type) {
  g.input.add_scan(type, data);
}

void stop_key() {
  if (g.input.stop) end_now(SIGINT);
  g.input.stop = true;
}

void beep_out(int, int, int);

// The prompt takes bytes as typed (a character of the code page included) up to a scan's size.
void prompt_key(int code) {
  g.dirty = true;
  if (code == key::Enter) {
    if (!g.prompt.empty()) queue_scan(g.prompt, g.options.scan_type);
    close_prompt();
  } else if (code == key::Cancel || code == detail::kKeyPrompt) {
    close_prompt();
  } else if (code == key::Backspace) {
    if (!g.prompt.empty()) g.prompt.pop_back();
  } else if (code == detail::kKeyStop) {
    stop_key();
  } else if (code >= 32 && code < 256 && code != 127 && g.prompt.size() < kMaxScan) {
    g.prompt += static_cast<char>(code);
  }
}

void take_key(const detail::KeyEvent &event) {
  if (event.kind == detail::KeyEvent::Refused) {
    beep_out(0, 0, 0);
  } else if (event.kind == detail::KeyEvent::Scan) {
    queue_scan(event.data, event.type);
  } else if (g.prompt_open) {
    prompt_key(event.code);
  } else if (event.code == detail::kKeyPrompt) {
    g.prompt_open = true;
    g.dirty = true;
  } else if (event.code == detail::kKeyStop) {
    stop_key();
  } else if (event.code >= 0 && event.code <= 0xffff) {
    g.input.keys.push_back(static_cast<std::uint16_t>(event.code));
  }
}

// Hands on what the keyboard's bytes make by now, time-outs included.
void take_typed() {
  detail::KeyEvent event;
  while (g.typed.next(monotonic_ms(), &event))
    take_key(event);
}

// The terminal's bytes as they come (ncurses' own key decoding is off); the end of the input or a read
// error means that the terminal went away.
void take_keys() {
  char bytes[256];
  const ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
  if (n > 0)
    g.typed.feed(std::string_view(bytes, static_cast<std::size_t>(n)), monotonic_ms());
  else if (n == 0 || (errno != EINTR && errno != EAGAIN))
    went_away();
}

// Reads what a scanner sent; CR and LF end a scan, empty lines are skipped, bytes beyond what a
// sensor record holds are dropped. A connection that ends is closed and noted on the status line.
void take_scans(Source &source) {
  char bytes[512];
  for (;;) {
    const ssize_t n = read(source.fd, bytes, sizeof bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {
      close(source.fd);
      source.fd = -1;
      g.note = std::string(source.what) + " closed";
      g.dirty = true;
      return;
    }
    for (ssize_t i = 0; i < n; ++i) {
      const char ch = bytes[i];
      if (ch == '\r' || ch == '\n') {
        if (!source.line.empty()) queue_scan(source.line, g.options.scan_type);
        source.line.clear();
      } else if (source.line.size() < kMaxScan) {
        source.line += ch;
      }
    }
  }
}

void update_led() {
  if (g.led_on && monotonic_ms() >= g.led_until) {
    g.led_on = false;
    g.dirty = true;
  }
}

// Waits up to timeout_ms (-1 without limit) for a key, a scanner line or a signal, and takes in what
// came. True when a key, a scan or a stop request waits afterwards. Once the terminal has gone it is
// neither read nor drawn: it would answer every poll at once.
bool serve(int timeout_ms) {
  if (g.dirty && !g_gone) draw();
  std::array<pollfd, 4> fds{};
  nfds_t n = 0;
  fds[n++] = {g_gone ? -1 : STDIN_FILENO, POLLIN, 0};
  fds[n++] = {g.signal_pipe[0], POLLIN, 0};
  const nfds_t scanner_at = n;
  if (g.scanner.fd >= 0) fds[n++] = {g.scanner.fd, POLLIN, 0};
  const nfds_t serial_at = n;
  if (g.serial.fd >= 0) fds[n++] = {g.serial.fd, POLLIN, 0};
  if (const std::int64_t wake = g.typed.wake_at(); wake >= 0 && !g_gone) {
    const int until = remaining(wake);
    if (timeout_ms < 0 || until < timeout_ms) timeout_ms = until;
  }
  if (poll(fds.data(), n, timeout_ms) > 0) {
    if (fds[1].revents != 0) {
      char drain[64];
      while (read(g.signal_pipe[0], drain, sizeof drain) > 0) {
      }
    }
    // The terminal went away (a hang-up can come with POLLIN too): nobody is left to answer the panel.
    if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
      went_away();
    else if ((fds[0].revents & POLLIN) != 0)
      take_keys();
    if (g.scanner.fd >= 0 && fds[scanner_at].revents != 0) take_scans(g.scanner);
    if (g.serial.fd >= 0 && fds[serial_at].revents != 0) take_scans(g.serial);
  }
  take_typed();
  if (g_stop_signal >= 2) end_now(g_last_signal);
  if (g_stop_signal || g_gone) g.input.stop = true;
  if (g_resized && !g_gone) resize();
  update_led();
  if (g.dirty && !g_gone) draw();
  return g.input.waiting();
}

// The screen is drawn on every call: a read shows the operator the panel as well as a wait does.
bool serve_input(int timeout_ms, bool) {
  return serve(timeout_ms);
}

// A wait ends when a lit LED goes out, so that the status line shows it.
std::int64_t led_wake() {
  return g.led_on ? g.led_until : -1;
}

const detail::Waiter kWaiter = {serve_input, led_wake};

void led(int, int duration) {
  g.led_on = true;
  g.led_until = monotonic_ms() + std::max(duration * kLedUnitMs, kLedMinimumMs);
  g.dirty = true;
}

// The terminal has one bell: tone and duration are not told apart.
void beep_out(int, int, int) {
  if (g.options.flash)
    flash();
  else
    beep();
  const std::tm tm = detail::civil_now();
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  g.last_beep = text;
  g.dirty = true;
}

std::int64_t now_ms() {
  return monotonic_ms() - g.start_ms;
}

void screen_changed() {
  g.dirty = true;
}

const detail::Backend kTty = {
    detail::read_key, detail::wait_event, detail::idle, detail::query_scan, detail::read_scan, led, beep_out,
    now_ms,           screen_changed};

// ---- Start and stop ----

std::string failure(const std::string &path, const char *what) {
  return path + ": " + what + ": " + std::strerror(errno);
}

// The code page's byte for a typed character, -1 when the page has none.
int typed_byte(char32_t ch) {
  return detail::code_page_byte(g.code_page, ch);
}

// The keyboard stream as the options and the locale set it up: the default key map with the key-map
// file's entries, the scan framing and the character set. "" or a one-line reason.
std::string keyboard_setup(const Options &options, detail::KeyStreamOptions *typed) {
  std::string why;
  if (!options.keymap.empty()) {
    std::FILE *file = std::fopen(options.keymap.c_str(), "rb");
    if (!file) return failure(options.keymap, "cannot read the key map");
    std::string text;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
      text.append(chunk, n);
    std::fclose(file);
    if (!detail::parse_key_map(text, &typed->keys, &why)) return options.keymap + ":" + why;
  }
  if (!detail::parse_escapes(options.scan_prefix, &typed->scan_prefix, &why)) return "--scan-prefix: " + why;
  if (!detail::parse_escapes(options.scan_suffix, &typed->scan_suffix, &why)) return "--scan-suffix: " + why;
  if (typed->scan_prefix.empty() != typed->scan_suffix.empty())
    return "a scan prefix wants a scan suffix, and a suffix a prefix";
  typed->symbology = !options.scan_symbology.empty();
  if (typed->symbology && !detail::parse_symbologies(options.scan_symbology, &typed->symbology_types, &why))
    return "--scan-symbology: " + why;
  if (options.scan_timeout_ms <= 0) return "the scan time-out wants a number of milliseconds above 0";
  typed->scan_timeout_ms = options.scan_timeout_ms;
  typed->scan_type = options.scan_type;
  typed->esc_delay_ms = kEscDelayMs;
  typed->code_page_byte = typed_byte;
  // The locale tells how the terminal types characters beyond ASCII: in UTF-8, or, in an 8-bit
  // character set (one byte a character, more than ASCII), each as one byte of that set.
  typed->single_byte = MB_CUR_MAX == 1 && std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") != 0;
  for (int byte = 128; typed->single_byte && byte < 256; ++byte) {
    const wint_t ch = btowc(byte);
    typed->upper[static_cast<std::size_t>(byte - 128)] = ch == WEOF ? 0 : static_cast<char32_t>(ch);
  }
  return "";
}

// A FIFO is opened for reading and writing, so that it never reads as ended between two writers.
int open_scanner(const std::string &path, std::string *why) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) {
      *why = failure(path, "cannot use the scanner path");
      return -1;
    }
    if (mkfifo(path.c_str(), 0600) != 0) {
      *why = failure(path, "cannot create the scanner FIFO");
      return -1;
    }
    g.made_fifo = true;
    st.st_mode = S_IFIFO;
  }
  if (S_ISFIFO(st.st_mode)) {
    const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) *why = failure(path, "cannot open the scanner FIFO");
    return fd;
  }
  if (!S_ISSOCK(st.st_mode)) {
    *why = path + ": the scanner path is neither a FIFO nor a UNIX socket";
    return -1;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *why = path + ": the socket path is too long";
    return -1;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
    *why = failure(path, "cannot connect to the scanner socket");
    if (fd >= 0) close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

speed_t baud_constant(int baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      return B0;
  }
}

int open_serial(const std::string &path, int baud, std::string *why) {
  const speed_t speed = baud_constant(baud);
  if (baud != 0 && speed == B0) {
    *why = path + ": unsupported speed " + std::to_string(baud);
    return -1;
  }
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *why = failure(path, "cannot open the serial scanner");
    return -1;
  }
  termios raw{};
  if (tcgetattr(fd, &g.serial_saved) != 0) {
    *why = failure(path, "not a serial device");
    close(fd);
    return -1;
  }
  raw = g.serial_saved;
  cfmakeraw(&raw);
  raw.c_cflag |= CLOCAL | CREAD;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (speed != B0) {
    cfsetispeed(&raw, speed);
    cfsetospeed(&raw, speed);
  }
  if (tcsetattr(fd, TCSANOW, &raw) != 0) {
    *why = failure(path, "cannot set the serial scanner to raw mode");
    close(fd);
    return -1;
  }
  g.serial_restore = true;
  return fd;
}

void install_handlers() {
  struct sigaction action {};
  action.sa_sigaction = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_SIGINFO;
  for (std::size_t i = 0; i < kSignals.size(); ++i)
    sigaction(kSignals[i], &action, &g.saved_actions[i]);
  g.handlers = true;
}

// Everything start set up, in reverse; safe on a half-done start.
void release() {
  if (g.watchdog_made) timer_delete(g.watchdog);
  if (g.screen) {
    endwin();
    delscreen(g.screen);
  }
  if (g.handlers)
    for (std::size_t i = 0; i < kSignals.size(); ++i)
      sigaction(kSignals[i], &g.saved_actions[i], nullptr);
  for (int fd : g.signal_pipe)
    if (fd >= 0) close(fd);
  if (g.scanner.fd >= 0) close(g.scanner.fd);
  if (g.made_fifo) unlink(g.options.scanner.c_str());
  if (g.serial.fd >= 0) {
    if (g.serial_restore) tcsetattr(g.serial.fd, TCSANOW, &g.serial_saved);
    close(g.serial.fd);
  }
  if (g.active) terminal().backend = g.previous;
  g = Tty{};
  g_resized = 0;
  g_stop_signal = 0;
  g_last_signal = 0;
  g_gone = 0;
}

void stop_at_exit() {
  stop();
}

}  // namespace

int start(const Options &options, std::string *error) {
  std::string why;
  auto fail = [&](const std::string &reason) {
    release();
    if (error) *error = reason;
    return 1;
  };
  if (g.active) {  // the running session stays as it is
    if (error) *error = "the terminal is already started";
    return 1;
  }
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))
    return fail("standard input and output must be a terminal");
  if (!detail::parse_code_page(options.code_page, &g.code_page))
    return fail("unknown code page \"" + options.code_page + "\" (iso-8859-1, windows-1252, cp437 or cp850)");
  g.options = options;
  // Only the character type follows the user's locale: it says how characters reach the terminal
  // and come back from its keyboard (UTF-8, another character set, line drawing). Numbers stay
  // formatted as before: with LC_NUMERIC from the locale, the host's Lua would read and write "12,5"
  // for 12.5 in some locales.
  std::setlocale(LC_CTYPE, "");
  make_glyphs();
  detail::KeyStreamOptions typed;
  if (why = keyboard_setup(options, &typed); !why.empty()) return fail(why);
  g.typed = detail::KeyStream(std::move(typed));
  if (!options.scanner.empty() && (g.scanner.fd = open_scanner(options.scanner, &why)) < 0) return fail(why);
  if (!options.serial.empty() && (g.serial.fd = open_serial(options.serial, options.serial_baud, &why)) < 0)
    return fail(why);
  if (pipe2(g.signal_pipe, O_NONBLOCK | O_CLOEXEC) != 0) return fail(failure("signal pipe", "cannot create"));
  sigevent expiry{};
  expiry.sigev_notify = SIGEV_SIGNAL;
  expiry.sigev_signo = SIGHUP;
  if (timer_create(CLOCK_MONOTONIC, &expiry, &g.watchdog) != 0)
    return fail(failure("watchdog", "cannot create"));
  g.watchdog_made = true;

  g.screen = newterm(nullptr, stdout, stdin);
  if (!g.screen) {
    const char *type = std::getenv("TERM");
    return fail(std::string("cannot use the terminal type \"") + (type ? type : "") + "\"");
  }
  set_term(g.screen);
  const char *acsc = tigetstr("acsc");
  g.line_drawing = acsc != nullptr && acsc != reinterpret_cast<char *>(-1) && *acsc != '\0';
  raw();
  noecho();
  nonl();
  nodelay(stdscr, TRUE);
  install_handlers();

  g.start_ms = monotonic_ms();
  g.previous = terminal().backend;
  detail::use_input(&g.input, kWaiter);
  terminal().backend = &kTty;
  g.active = true;
  if (options.fixed_start)
    set_clock(*options.fixed_start);
  else
    terminal().local_clock = true;
  static bool registered = false;
  if (!registered) registered = std::atexit(stop_at_exit) == 0;
  g.dirty = true;
  draw();
  return 0;
}

void stop() {
  if (!g.active) return;
  terminal().local_clock = false;
  release();
}

bool stop_requested() {
  return g.active && (g.input.stop || g_stop_signal);
}

void update() {
  if (g.active) serve(0);
}

}  // namespace vekterm::tty
