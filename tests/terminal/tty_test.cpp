// The TTY backend on a pseudo-terminal: a child process starts it and reports what the services hand
// over; the test types escape sequences into the terminal, writes to the scanners, and reads what the
// child drew. Then vekhost on a pseudo-terminal of its own: its CPU time while it waits, and how it ends
// when its terminal goes away.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <regex>
#include <utility>

#include "../../terminal/src/codepage.h"
#include "host/process.h"
#include "vekterm/tty.h"
#include "vekterm/vekterm.h"

namespace {

// Reports go to the terminal itself, between record separators that no drawing uses.
void report(const std::string &line) {
  const std::string out = "\x1e" + line + "\x1f";
  if (write(2, out.data(), out.size()) < 0) _exit(3);
}

// The child: shows a text, then reports every key and scan until 'q'. A stop request is reported; then
// the child waits on, ignoring further stop requests. A second start is refused and leaves the session
// running, as every test then finds it.
void serve_panel(const vekterm::tty::Options &options, const std::string &row_1) {
  std::string error;
  if (vekterm::tty::start(options, &error) != 0) return report("error " + error);
  if (vekterm::tty::start(options, &error) == 0) return report("error a second start was taken");
  _VioWrtCharStrAtt("HELLO", 5, 0, 0, 1, nullptr, 0);
  _VioWrtCharStr(row_1.data(), static_cast<int>(row_1.size()), 1, 0, nullptr, 0);
  _VioSetCurType(4);
  report("ready");
  for (bool quit = false; !quit;) {
    _WaitEvent(0);
    unsigned short code = 0;
    if (_IdleManager(0) != 0) {
      _KbdReadAscii(&code);  // a wait for any key ends too
      report("stopped, then key " + std::to_string(code));
      for (;;)
        _WaitEvent(0), _IdleManager(0), usleep(10000);
    }
    while (_KbdReadAscii(&code) == 0) {
      report("key " + std::to_string(code));
      quit = quit || code == 'q';
      if (code == 'b') _SpkBeep(0, 2, 3), _SenActLed(0, 60);
    }
    unsigned short count = 0;
    while (_SenQueryData(&count) == 0 && count != 0) {
      char record[100] = {};
      _SenRead(record, sizeof record);
      report("scan " + std::to_string(record[0]) + " " + std::string(record + 3, std::size_t(record[2])));
    }
  }
  vekterm::tty::stop();
}

// CPU time (user and system) a running process has used, in milliseconds.
long cpu_ms(pid_t pid) {
  const std::string stat = vektest::slurp("/proc/" + std::to_string(pid) + "/stat");
  long user = 0, system = 0;  // fields 14 and 15, after the name in parentheses
  std::sscanf(stat.c_str() + stat.rfind(')') + 1, "%*s %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld",
              &user, &system);
  return (user + system) * 1000 / sysconf(_SC_CLK_TCK);
}

class Tty : public ::testing::Test {
 protected:
  void TearDown() override {
    if (child_ > 0) kill(child_, SIGKILL), waitpid(child_, nullptr, 0);
    if (master_ >= 0) close(master_);
    child_ = master_ = -1;
  }

  // Starts serve_panel, or vekhost running `program` when one is given, on a new pseudo-terminal.
  // Without a program the child's first report is `first`.
  void spawn(vekterm::tty::Options options, winsize size = {24, 80, 0, 0}, const std::string &program = "",
             const std::string &first = "ready") {
    TearDown();
    output_.clear();
    if (!program.empty()) dir.write("program.lua", program);
    child_ = forkpty(&master_, nullptr, nullptr, &size);
    ASSERT_GE(child_, 0);
    if (child_ == 0) {
      setenv("TERM", term_, 1);
      if (locale_) setenv("LC_ALL", locale_, 1);
      if (!program.empty()) vektest::exec_in(dir.path(), vektest::built("host/vekhost"), {"program.lua"});
      serve_panel(options, row_1_);
      _exit(0);
    }
    fcntl(master_, F_SETFL, O_NONBLOCK);
    ASSERT_EQ(program.empty() ? next_report() : first, first);
  }

  // Reads the child's terminal output until `done` holds or `ms` pass.
  template <typename Done>
  bool pump(Done done, int ms = 2000) {
    return vektest::eventually(
        [&] {
          char bytes[4096];
          for (ssize_t n; (n = read(master_, bytes, sizeof bytes)) > 0;)
            output_.append(bytes, std::size_t(n));
          return done();
        },
        ms);
  }
  // Waits for the next report and takes it out of the output ("" when none came).
  std::string next_report() {
    std::size_t begin = 0, end = std::string::npos;
    pump([&] { return (end = output_.find('\x1f', begin = output_.find('\x1e'))) != std::string::npos; });
    if (end == std::string::npos) return "";
    const std::string got = output_.substr(begin + 1, end - begin - 1);
    output_.erase(begin, end - begin + 1);
    return got;
  }
  bool shows(const std::string &text, int ms = 2000) {
    return pump([&] { return output_.find(text) != std::string::npos; }, ms);
  }
  void type(std::string_view bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  // Only a running child: once reaped (or never started) child_ is -1, and kill(-1) would signal
  // every process there is.
  void signal_child(int signal) {
    ASSERT_GT(child_, 0);
    kill(child_, signal);
  }
  // The child's wait status once it ends within `ms`, or -1 while it still runs.
  int finish(int ms = 5000) {
    int status = -1;
    if (!vektest::eventually([&] { return waitpid(child_, &status, WNOHANG) == child_; }, ms)) return -1;
    child_ = -1;
    return status;
  }

  // vekhost with a one-field panel defined runs `rest` (the tests below), watched for `watch_ms`.
  void vekhost_waits_then_ends(const std::string &rest, int watch_ms) {
    spawn({}, {30, 100, 0, 0},
          "vek.var[11] = 'FI=1,INPUT=ALPHA,LEN=8,ROW=3,COL=1,RUV=2'\nvek.command('SET_FIE VAR=11')\n"
          "vek.var[12] = 'ERET=N'\nvek.write(19, 0, 'READY')\n" +
              rest);
    ASSERT_TRUE(shows("READY", 5000)) << output_;
    pump([] { return false; }, 1000);  // the screen's opening pauses
    const long before = cpu_ms(child_);
    pump([] { return false; }, watch_ms);
    EXPECT_LT(cpu_ms(child_) - before, 50) << "ms of CPU in " << watch_ms << " ms";
    close(std::exchange(master_, -1));
    EXPECT_NE(finish(3000), -1) << "still running 3 s after the terminal closed";
  }

  vektest::Scratch dir;
  const char *term_ = "xterm";
  const char *locale_ = nullptr;  // LC_ALL for the child, when set
  std::string row_1_;             // bytes the child writes on row 1
  pid_t child_ = -1;
  int master_ = -1;
  std::string output_;
};

// Keys as terminals send them, PF keys among them, and a scan framed in the keyboard stream with its
// symbology; a prefix that no suffix follows (a lone Esc) comes through as the key it was, at the
// time-out that wakes the waiting panel. Then one scan a line from the F9 prompt, a FIFO the backend
// makes (and removes) and a serial device.
TEST_F(Tty, KeysScansBeepLedAFixedClockAndAResizeRedraws) {
  int serial_master = -1, serial_slave = -1;
  char serial_name[128];
  ASSERT_EQ(openpty(&serial_master, &serial_slave, serial_name, nullptr, nullptr), 0);
  vekterm::tty::Options options;
  options.scanner = dir.file("scans");
  options.serial = serial_name;
  options.scan_type = 7;
  options.fixed_start = vekterm::CivilTime{2024, 2, 29, 23, 59, 58};
  options.scan_prefix = "\\e[99~";
  options.scan_suffix = "\\r";
  options.scan_symbology = "E=3";
  spawn(options, {10, 30, 0, 0});
  EXPECT_TRUE(shows("Too small: needs 40x20")) << output_;
  winsize size{30, 100, 0, 0};
  ASSERT_EQ(ioctl(master_, TIOCSWINSZ, &size), 0);  // the child gets SIGWINCH
  EXPECT_TRUE(shows("7mHELLO")) << "attribute 1 in reverse video: " << output_;
  EXPECT_TRUE(shows("\x1b[?25h")) << "cursor type 4 shows the cursor";
  EXPECT_TRUE(shows("Esc Cancel F10 OK F1 Help F2 Clear F9 Scan"));
  type("b");
  EXPECT_EQ(next_report(), "key 98");
  EXPECT_TRUE(shows("\a")) << "the bell";
  EXPECT_TRUE(shows(" ON ")) << "the LED on the status line";
  EXPECT_TRUE(shows("beep 23:59:5")) << "the log line, by the clock that started at the fixed time";
  output_.clear();
  EXPECT_TRUE(shows(" -- ")) << "the LED goes out after its 600 ms";
  const std::pair<const char *, int> keys[] = {{"\x1b", 256}, {"\x1bOP", 15104}, {"\x1bOD", 174}};
  for (const auto &[bytes, code] : keys) {
    type(bytes);
    EXPECT_EQ(next_report(), "key " + std::to_string(code));
  }
  type("\x1b[99~E4012345678901\r");
  EXPECT_EQ(next_report(), "scan 3 4012345678901");
  type("\x1b[20~");  // F9: typed text goes to the prompt, not to the module, and Enter sends it
  EXPECT_TRUE(shows("Scan:"));
  type("AB12\1779\r");  // a Backspace (octal 177) among them
  EXPECT_EQ(next_report(), "scan 7 AB19");
  ASSERT_TRUE(std::filesystem::is_fifo(dir.file("scans")));
  std::ofstream(dir.file("scans")) << "LOT-1\nLOT-";  // a writer going away does not end the scanner
  std::ofstream(dir.file("scans")) << "2\r\n";
  EXPECT_EQ(next_report(), "scan 7 LOT-1");
  EXPECT_EQ(next_report(), "scan 7 LOT-2");
  ASSERT_EQ(write(serial_master, "0123456789012\r", 14), 14);
  EXPECT_EQ(next_report(), "scan 7 0123456789012");
  type("q");
  EXPECT_EQ(next_report(), "key 113");
  EXPECT_EQ(finish(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir.file("scans"))) << "the FIFO the backend made is removed";
  close(serial_master);
  close(serial_slave);
}

// Scans from a UNIX socket until it closes. Then a stop request ends the wait, idle calls answer nonzero and
// an empty keyboard reads Cancel; a second one while the program still runs gives the terminal back and ends
// the process by the signal.
TEST_F(Tty, ScansFromASocketUntilItClosesThenStopRequests) {
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{AF_UNIX, {}};
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", dir.file("scanner.sock").c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  vekterm::tty::Options options;
  options.scanner = address.sun_path;
  spawn(options);
  const int connection = accept(listener, nullptr, nullptr);
  ASSERT_EQ(write(connection, "PALLET-9\n", 9), 9);
  EXPECT_EQ(next_report(), "scan 1 PALLET-9");
  close(connection);
  close(listener);
  EXPECT_TRUE(shows("scanner closed")) << "the status line tells the operator";
  signal_child(SIGTERM);
  EXPECT_EQ(next_report(), "stopped, then key 256");
  ASSERT_EQ(finish(200), -1) << "the first request does not end the process";
  signal_child(SIGTERM);
  EXPECT_TRUE(shows("\x1b[?1049l")) << "the alternate screen is left: " << output_;
  const int status = finish();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

// vekhost waits for keys without spinning, on the diagnostic screen (which ignores stop requests) and
// in a panel opened again whenever it ends, and is gone within 3 s once its terminal closes.
TEST_F(Tty, VekhostOnTheDiagnosticScreenWaitsWithoutSpinningAndEndsWhenItsTerminalCloses) {
  vekhost_waits_then_ends("vek.reason(5)\n", 5000);
}
TEST_F(Tty, VekhostInAPanelWaitsWithoutSpinningAndEndsWhenItsTerminalCloses) {
  vekhost_waits_then_ends("while true do vek.command('EXEC_PA VAR=12') end\n", 1000);
}

// Every TERM a handheld's emulator or a console sets: the panel, the frame and the hints are drawn with
// the terminal's own sequences; the only attributes are bold and reverse video, never a colour. A cell
// byte shows as its character in the code page, as far as the locale's character set goes.
TEST_F(Tty, DrawsOnEachTerminalTypeWithoutColourAndCellBytesInTheirCodePage) {
  const struct {
    const char *term, *locale, *page, *bytes, *shown;
  } cases[] = {
      {"vt100", "C.UTF-8", "Latin1", "K\xe4SE", "K\xc3\xa4SE"},
      {"vt220", "C.UTF-8", "IBM437", "K\x84SE", "K\xc3\xa4SE"},
      {"xterm", "C.UTF-8", "cp_850", "\x9d\xf5", "\xc3\x98\xc2\xa7"},
      {"linux", "C.UTF-8", "cp1252", "\x80 5", "\xe2\x82\xac 5"},
      {"xterm", "C", "iso-8859-1", "K\xe4SE", "K?SE"},
  };
  const std::regex attributes("\x1b\\[([0-9;]*)m");
  for (const auto &c : cases) {
    term_ = c.term;
    locale_ = c.locale;
    row_1_ = c.bytes;
    vekterm::tty::Options options;
    options.code_page = c.page;
    spawn(options);
    EXPECT_TRUE(shows(c.shown)) << c.page << " in " << c.locale << ": " << output_;
    EXPECT_TRUE(shows("F9 Scan")) << c.term;
    for (std::sregex_iterator i(output_.begin(), output_.end(), attributes), end; i != end; ++i)
      EXPECT_TRUE(std::regex_match((*i)[1].str(), std::regex("(0|1|7|;)*"))) << c.term << ": " << i->str();
    type("q");
    EXPECT_EQ(finish(), 0) << c.term;
  }
  vekterm::tty::Options options;
  options.code_page = "ebcdic";
  spawn(options, {24, 80, 0, 0}, "",
        "error unknown code page \"ebcdic\" (iso-8859-1, windows-1252, cp437 or cp850)");
  using vekterm::detail::CodePage;  // every byte is a character of its own
  for (const CodePage page : {CodePage::Latin1, CodePage::Windows1252, CodePage::Cp437, CodePage::Cp850})
    for (int byte = 0; byte < 256; ++byte)
      EXPECT_EQ(code_page_byte(page, code_page_char(page, static_cast<unsigned char>(byte))), byte);
  EXPECT_EQ(code_page_byte(CodePage::Latin1, U'\u20AC'), -1) << "no euro sign in ISO-8859-1";
}

}  // namespace
