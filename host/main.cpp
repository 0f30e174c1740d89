// vekhost: runs a Lua transaction program over the panel module, on the user's terminal or headless.
#include <fcntl.h>
#include <getopt.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "host.h"
#include "vekterm/remote.h"
#include "vekterm/tty.h"
#include "vekterm/vekterm.h"

// The TTY backend is referenced weakly: a services library built without it still runs headless, and
// vekhost says so instead of failing to start.
namespace vekterm::tty {
[[gnu::weak]] int start(const Options &options, std::string *error);
[[gnu::weak]] void stop();
}  // namespace vekterm::tty

namespace vekhost {
namespace {

constexpr const char *kUsage =
    "usage: vekhost [options] PROGRAM.lua [ARGUMENTS...]\n"
    "\n"
    "Runs a Lua transaction program over the panel module, on this terminal or headless.\n"
    "\n"
    "  --module PATH      panel module to load (default: the one built or installed with vekhost)\n"
    "  --data DIR         data directory: help, validation and journal files (default: the program's "
    "folder)\n"
    "  --input SCRIPT     run headless, with the keys and scans of this input script\n"
    "  --headless         run headless (without --input: no input at all)\n"
    "  --screens          headless: write the screen after every call of main, not only the last one\n"
    "  --attributes       headless: write each screen row's attributes beside it\n"
    "  --trace FILE       write every call of main, variable write and transaction message to FILE\n"
    "  --journal FILE     journal of transaction messages (default: journal/ID.log in the data directory)\n"
    "  --terminal ID      terminal id in journal and trace (default: $VEK_TERMINAL, else login name)\n"
    "  --clock TIME       start the terminal's clock at TIME, \"YYYY-MM-DD HH:MM:SS\"\n"
    "  --scanner PATH     TTY: FIFO or UNIX socket delivering one scan a line\n"
    "  --serial DEVICE    TTY: serial scanner delivering one scan a line\n"
    "  --keymap FILE      TTY: key sequences of this terminal, lines \"SEQUENCE KEY\"\n"
    "  --scan-prefix TEXT, --scan-suffix TEXT\n"
    "                     TTY: typed bytes between them are one scan (escapes such as \\x02, \\e[99~)\n"
    "  --scan-symbology MAP  TTY: the character after the prefix sets the record type (\"E=3,*=1\")\n"
    "  --scan-timeout MS  TTY: a prefix without its suffix is typed keys after MS ms (default 150)\n"
    "  --code-page NAME   TTY: code page of the screen's bytes: iso-8859-1 (default), windows-1252,\n"
    "                     cp437 or cp850\n"
    "  --remote FD        run as a gateway's session: screen and input over the SOCK_SEQPACKET\n"
    "                     socket FD (see vekweb)\n"
    "  --ship             start the shipper of the data directory's journals (vekship), unless it runs\n"
    "  --help             this text\n";

struct Options {
  std::string module, data, input, trace, journal, clock, scanner, serial, program;
  std::string terminal;
  std::string keymap, prefix, suffix, ids, scan_ms;  // the keyboard stream (ids: symbology)
  std::string code_page;                             // "" for the TTY's default
  std::string remote;                                // a gateway session's socket; "" for none
  std::vector<std::string> args;
  bool headless = false, screens = false, attributes = false, ship = false;
};

int fail(const std::string &message, int status = kExitSetup) {
  std::fprintf(stderr, "vekhost: %s\n", message.c_str());
  return status;
}

// The options and where each one goes: a value, or a switch.
struct OptionSpec {
  const char *name;
  std::string Options::*value;
  bool Options::*flag;
};
// clang-format off
constexpr OptionSpec kOptionSpecs[] = {
    {"module", &Options::module, nullptr},         {"data", &Options::data, nullptr},
    {"input", &Options::input, nullptr},           {"trace", &Options::trace, nullptr},
    {"journal", &Options::journal, nullptr},       {"clock", &Options::clock, nullptr},
    {"scanner", &Options::scanner, nullptr},       {"serial", &Options::serial, nullptr},
    {"headless", nullptr, &Options::headless},     {"screens", nullptr, &Options::screens},
    {"attributes", nullptr, &Options::attributes}, {"terminal", &Options::terminal, nullptr},
    {"keymap", &Options::keymap, nullptr},         {"scan-prefix", &Options::prefix, nullptr},
    {"scan-suffix", &Options::suffix, nullptr},    {"scan-symbology", &Options::ids, nullptr},
    {"scan-timeout", &Options::scan_ms, nullptr},  {"code-page", &Options::code_page, nullptr},
    {"remote", &Options::remote, nullptr},
    {"ship", nullptr, &Options::ship},
};
// clang-format on
constexpr int kHelp = 'h';

// 0 and the options, or an exit status after the message. The first argument that is not an option
// is the program; everything after it belongs to the program.
int parse(int argc, char **argv, Options *o) {
  constexpr std::size_t kSpecs = std::size(kOptionSpecs);
  option options[kSpecs + 2] = {};
  for (std::size_t i = 0; i < kSpecs; ++i)
    options[i] = {kOptionSpecs[i].name, kOptionSpecs[i].value ? required_argument : no_argument, nullptr,
                  static_cast<int>(i)};
  options[kSpecs] = {"help", no_argument, nullptr, kHelp};
  static char name[] = "vekhost";  // getopt_long's messages begin with it, wherever vekhost lies
  argv[0] = name;
  optind = 1;
  for (int c; (c = getopt_long(argc, argv, "+h", options, nullptr)) != -1;) {
    if (c == kHelp) {
      std::fputs(kUsage, stdout);
      std::exit(kExitOk);
    }
    if (c < 0 || static_cast<std::size_t>(c) >= kSpecs) return kExitSetup;  // getopt_long said why
    const OptionSpec &spec = kOptionSpecs[c];
    if (spec.value)
      o->*spec.value = optarg;
    else
      o->*spec.flag = true;
  }
  if (optind >= argc) return fail("no program given (see --help)");
  o->program = argv[optind];
  o->args.assign(argv + optind + 1, argv + argc);
  if (!o->input.empty()) o->headless = true;
  return 0;
}

bool is_directory(const std::string &path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_readable_file(const std::string &path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), R_OK) == 0;
}

std::string folder_of(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void write_screen(std::FILE *out, std::string_view title, bool attributes) {
  if (!title.empty()) std::fprintf(out, "-- %.*s\n", static_cast<int>(title.size()), title.data());
  const std::string edge = "+" + std::string(vekterm::kColumns, '-') + "+";
  std::fprintf(out, "%s\n", edge.c_str());
  for (int r = 0; r < vekterm::kRows; ++r) {
    std::string row = vekterm::screen_row(r);
    // NUL cells show as blanks, other control bytes (below 32, and DEL) as '?', so that a frame never
    // moves the cursor or breaks a line; bytes from 128 up are the code page's characters and stay.
    for (char &ch : row) {
      const auto byte = static_cast<unsigned char>(ch);
      if (byte == 0)
        ch = ' ';
      else if (byte < 32 || byte == 127)
        ch = '?';
    }
    if (attributes)
      std::fprintf(out, "|%s|  %s\n", row.c_str(), vekterm::attribute_row(r).c_str());
    else
      std::fprintf(out, "|%s|\n", row.c_str());
  }
  std::fprintf(out, "%s\n", edge.c_str());
}

int call_main(Session &session, int reason, const std::string &record) {
  const std::int64_t start = vekterm::clock_ms();
  const int result = session.entry(reason, record.c_str());
  const std::int64_t end = vekterm::clock_ms();
  trace_call(reason, record, result, start, end);
  // A transaction message that did not reach the journal is worth a word, once per cause.
  if (const std::string &why = vekterm::journal_error(); !why.empty() && why != session.journal_error) {
    session.journal_error = why;
    trace_line("journal: " + why);
  }
  if (session.headless) {
    if (session.screens) {
      const std::string title =
          "main(" + std::to_string(reason) + ", " + quoted(record) + ") = " + std::to_string(result);
      write_screen(session.out, title, session.attributes);
    }
    std::vector<std::string> stalls = vekterm::headless::take_failures();
    if (!stalls.empty()) {
      session.stalled = 1;
      for (std::string &s : stalls) {
        trace_line(s.substr(0, s.find('\n')));
        session.stall_reports.push_back(std::move(s));
      }
    }
  }
  return result;
}

namespace {

// What vekhost prepares before the program runs.
struct Setup {
  std::string module;          // path of the panel module
  vekterm::CivilTime clock{};  // with --clock: where the terminal's clock starts
  int remote = -1;             // with --remote: the session's socket
};

bool remote_fd(const std::string &text, int *fd) {
  return (std::istringstream(text) >> *fd >> std::ws).eof() && *fd >= 0;
}

// The session's terminal id: --terminal, else $VEK_TERMINAL, else the login name.
std::string terminal_id(const Options &o) {
  if (!o.terminal.empty()) return o.terminal;
  if (const char *env = std::getenv("VEK_TERMINAL"); env && *env) return env;
  const passwd *user = getpwuid(getuid());
  return user ? user->pw_name : "";
}

// Checks what the command line names before anything starts: 0, or an exit status after the message.
int check_setup(Options &o, Setup *setup) {
  if (const std::string id = terminal_id(o); !vekterm::set_terminal_id(id) || id.empty())
    return fail("terminal id \"" + id +
                "\" is not a name: 1 to 32 letters, digits, '-', '_' or '.', not starting with '.'");
  if (!is_readable_file(o.program)) return fail("program " + o.program + " not found or not readable");
  if (o.data.empty()) o.data = folder_of(o.program);
  if (!is_directory(o.data)) return fail("data directory " + o.data + " not found");
  if (!o.clock.empty() && !vekterm::parse_clock(o.clock, &setup->clock))
    return fail("--clock wants \"YYYY-MM-DD HH:MM:SS\", not \"" + o.clock + "\"");
  if (!o.remote.empty() && (o.headless || !remote_fd(o.remote, &setup->remote)))
    return fail(o.headless ? "--remote runs a gateway's session, not headless"
                           : "--remote wants a socket descriptor number, not \"" + o.remote + "\"");
  const bool on_terminal = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
  if (!o.headless && o.remote.empty() && !on_terminal)
    return fail("not on a terminal: give --input SCRIPT (or --headless) to run headless");
  if (!o.headless && o.remote.empty() && !vekterm::tty::start)
    return fail("this services library has no terminal backend; run headless with --input SCRIPT");
  std::string error;
  setup->module = locate_module(o.module, &error);
  return setup->module.empty() ? fail(error) : 0;
}

// Starts vekship for the data directory, detached from the session (its own session, no terminal, its
// log in ship/vekship.log), so that it outlives it. Each session may ask: a shipper already running for
// the directory holds its lock, and the new one ends at once.
int start_shipper(const std::string &data) {
  char self[4096] = {};
  if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
    return fail("--ship: cannot find vekhost itself");
  const std::string here = folder_of(self);
  std::string shipper = folder_of(here) + "/ship/vekship";              // the build tree
  if (access(shipper.c_str(), X_OK) != 0) shipper = here + "/vekship";  // installed beside vekhost
  if (access(shipper.c_str(), X_OK) != 0) return fail("--ship: vekship not found beside vekhost");
  const pid_t child = fork();
  if (child < 0) return fail("--ship: cannot start vekship");
  if (child == 0) {
    setsid();
    if (fork() == 0) {
      const int null = open("/dev/null", O_RDWR);
      for (int fd = 0; fd < 3; ++fd)
        dup2(null, fd);
      close_range(3, ~0U, 0);
      const std::string log = data + "/ship/vekship.log";
      execl(shipper.c_str(), "vekship", "--data", data.c_str(), "--log", log.c_str(), nullptr);
    }
    _exit(0);
  }
  waitpid(child, nullptr, 0);
  return 0;
}

// Puts the terminal under the module and loads it: headless with its input script, or the user's
// terminal. The trace is opened after the headless reset, which forgets any observer.
int start(const Options &o, const Setup &setup, Session *session) {
  std::string error;
  if (o.headless) {
    vekterm::headless::reset();
    if (!o.input.empty() && queue_input_script(o.input, &error)) return fail(error);
  }
  if (!o.trace.empty() && open_trace(o.trace, &error)) return fail(error);
  session->entry = load_module(setup.module, &error);
  if (!session->entry) return fail(error);
  if (setup.remote >= 0) {
    if (vekterm::remote::start(setup.remote, &error)) return fail(error);
  } else if (!o.headless) {
    vekterm::tty::Options tty;
    tty.scanner = o.scanner;
    tty.serial = o.serial;
    if (!o.clock.empty()) tty.fixed_start = setup.clock;
    tty.keymap = o.keymap;
    tty.scan_prefix = o.prefix;
    tty.scan_suffix = o.suffix;
    tty.scan_symbology = o.ids;
    if (!o.scan_ms.empty() && !(std::istringstream(o.scan_ms) >> tty.scan_timeout_ms >> std::ws).eof())
      return fail("--scan-timeout wants milliseconds, not \"" + o.scan_ms + "\"");
    if (!o.code_page.empty()) tty.code_page = o.code_page;
    if (vekterm::tty::start(tty, &error)) return fail(error);
  }
  vekterm::set_data_directory(o.data);
  vekterm::set_journal(o.journal);
  if ((o.headless || setup.remote >= 0) && !o.clock.empty()) vekterm::set_clock(setup.clock);
  return 0;
}

// After the program: gives the terminal back, writes what was held and the final screen, closes the
// trace and reports on standard error why the run may have gone wrong.
void finish(const Options &o, const Session &session, const std::string &held, int status,
            const std::string &error) {
  if (!o.remote.empty())
    vekterm::remote::stop();
  else if (!o.headless && vekterm::tty::stop)
    vekterm::tty::stop();
  if (!held.empty()) std::fputs(held.c_str(), stdout);
  if (o.headless) write_screen(stdout, session.screens ? "final screen" : "", o.attributes);
  std::fflush(stdout);
  close_trace();
  for (const std::string &report : session.stall_reports)
    std::fprintf(stderr, "vekhost: %s\n", report.c_str());
  if (status == kExitStalled)
    std::fprintf(stderr, "vekhost: %s stopped: the input script ran out while the module waited\n",
                 o.program.c_str());
  if (!session.journal_error.empty())
    std::fprintf(stderr, "vekhost: journal %s: %s\n", vekterm::journal_path().c_str(),
                 session.journal_error.c_str());
  if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
}

}  // namespace

int run(int argc, char **argv) {
  Options o;
  Setup setup;
  if (const int status = parse(argc, argv, &o)) return status;
  if (const int status = check_setup(o, &setup)) return status;
  if (o.ship)
    if (const int status = start_shipper(o.data)) return status;

  Session session;
  session.headless = o.headless;
  session.screens = o.screens;
  session.attributes = o.attributes;
  std::string held;  // on the TTY, what the program prints waits until the terminal is given back
  if (!o.headless && o.remote.empty()) session.held_output = &held;
  if (const int status = start(o, setup, &session)) return status;

  std::string error;
  const int status = run_program(session, o.program, o.args, &error);
  finish(o, session, held, status, error);
  return status;
}

}  // namespace vekhost

int main(int argc, char **argv) {
  return vekhost::run(argc, argv);
}
