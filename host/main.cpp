// vekhost: runs a Lua transaction program over the panel module, on the user's terminal or headless.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "host.h"
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
    "  --journal FILE     journal of transaction messages (default: journal.log in the data directory)\n"
    "  --clock TIME       start the terminal's clock at TIME, \"YYYY-MM-DD HH:MM:SS\"\n"
    "  --scanner PATH     TTY: FIFO or UNIX socket delivering one scan a line\n"
    "  --serial DEVICE    TTY: serial scanner delivering one scan a line\n"
    "  --help             this text\n";

struct Options {
  std::string module, data, input, trace, journal, clock, scanner, serial, program;
  std::vector<std::string> args;
  bool headless = false, screens = false, attributes = false;
};

int fail(const std::string &message, int status = kExitSetup) {
  std::fprintf(stderr, "vekhost: %s\n", message.c_str());
  return status;
}

// Where the value of an option that takes one goes; nullptr for other arguments.
std::string *valued_option(Options *o, const std::string &name) {
  const std::pair<const char *, std::string *> options[] = {
      {"--module", &o->module},   {"--data", &o->data},       {"--input", &o->input},
      {"--trace", &o->trace},     {"--journal", &o->journal}, {"--clock", &o->clock},
      {"--scanner", &o->scanner}, {"--serial", &o->serial},
  };
  for (const auto &[option, into] : options)
    if (name == option) return into;
  return nullptr;
}

// 0 and the options, or an exit status after the message.
int parse(int argc, char **argv, Options *o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string *into) {
      if (i + 1 >= argc) return false;
      *into = argv[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(kExitOk);
    } else if (a == "--headless") {
      o->headless = true;
    } else if (a == "--screens") {
      o->screens = true;
    } else if (a == "--attributes") {
      o->attributes = true;
    } else if (std::string *into = valued_option(o, a)) {
      if (!value(into)) return fail(a + " needs a value (see --help)");
    } else if (a.size() > 1 && a[0] == '-') {
      return fail("unknown option " + a + " (see --help)");
    } else {
      o->program = a;
      for (++i; i < argc; ++i)
        o->args.emplace_back(argv[i]);
    }
  }
  if (o->program.empty()) return fail("no program given (see --help)");
  if (!o->input.empty()) o->headless = true;
  return 0;
}

// "YYYY-MM-DD HH:MM:SS" (or with a T between date and time).
bool parse_clock(const std::string &text, int *fields) {
  char sep = 0;
  return std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d", &fields[0], &fields[1], &fields[2], &sep,
                     &fields[3], &fields[4], &fields[5]) == 7 &&
         (sep == ' ' || sep == 'T') && fields[1] >= 1 && fields[1] <= 12 && fields[2] >= 1 &&
         fields[2] <= 31 && fields[3] >= 0 && fields[3] <= 23 && fields[4] >= 0 && fields[4] <= 59 &&
         fields[5] >= 0 && fields[5] <= 59;
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
    // NUL cells show as blanks; other control bytes as '?', so a frame is always plain text.
    for (char &ch : row) {
      const auto byte = static_cast<unsigned char>(ch);
      if (byte == 0)
        ch = ' ';
      else if (byte < 32 || byte >= 127)
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

int run(int argc, char **argv) {
  Options o;
  if (const int status = parse(argc, argv, &o)) return status;

  if (!is_readable_file(o.program)) return fail("program " + o.program + " not found or not readable");
  if (o.data.empty()) o.data = folder_of(o.program);
  if (!is_directory(o.data)) return fail("data directory " + o.data + " not found");
  int clock[6] = {};
  if (!o.clock.empty() && !parse_clock(o.clock, clock))
    return fail("--clock wants \"YYYY-MM-DD HH:MM:SS\", not \"" + o.clock + "\"");

  const bool on_terminal = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
  if (!o.headless && !on_terminal)
    return fail("not on a terminal: give --input SCRIPT (or --headless) to run headless");
  if (!o.headless && !vekterm::tty::start)
    return fail("this services library has no terminal backend; run headless with --input SCRIPT");

  std::string error;
  const std::string module = locate_module(o.module, &error);
  if (module.empty()) return fail(error);

  Session session;
  session.headless = o.headless;
  session.screens = o.screens;
  session.attributes = o.attributes;
  std::string held;

  if (o.headless) {
    vekterm::headless::reset();
    if (!o.input.empty() && queue_input_script(o.input, &error)) return fail(error);
  }
  if (!o.trace.empty() && open_trace(o.trace, &error)) return fail(error);

  session.entry = load_module(module, &error);
  if (!session.entry) return fail(error);

  if (!o.headless) {
    vekterm::tty::Options tty;
    tty.scanner = o.scanner;
    tty.serial = o.serial;
    if (!o.clock.empty()) {
      char start[32];
      std::snprintf(start, sizeof start, "%04d-%02d-%02d %02d:%02d:%02d", clock[0], clock[1], clock[2],
                    clock[3], clock[4], clock[5]);
      tty.fixed_start = start;
    }
    if (vekterm::tty::start(tty, &error)) return fail(error);
    session.held_output = &held;
  }
  vekterm::set_data_directory(o.data);
  vekterm::set_journal(o.journal);
  if (o.headless && !o.clock.empty())
    vekterm::set_clock(clock[0], clock[1], clock[2], clock[3], clock[4], clock[5]);

  const int status = run_program(session, o.program, o.args, &error);

  if (!o.headless && vekterm::tty::stop) vekterm::tty::stop();
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
  return status;
}

}  // namespace vekhost

int main(int argc, char **argv) {
  return vekhost::run(argc, argv);
}
