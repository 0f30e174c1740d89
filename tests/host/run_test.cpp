// vekhost run headless as an installation's CI runs it: a Lua program, an input script, the final
// screen on standard output, the trace file, and clear failures.
#include <gtest/gtest.h>
#include <pwd.h>

#include <array>

#include "host/process.h"

namespace vektest {
namespace {

struct HostRun : ::testing::Test {
  // Runs vekhost on `program` (written as prog.lua) with `script` (written as input.keys).
  Outcome host(const std::string &program, const std::string &script, std::vector<std::string> options = {}) {
    dir.write("prog.lua", program);
    dir.write("input.keys", script);
    options.insert(options.end(), {"--input", "input.keys", "prog.lua"});
    return run(built("host/vekhost"), options, dir.path());
  }
  Scratch dir;
};

// Commands get their length digits and operands their columns; the screen (code-page bytes as they are)
// is written after every call with --screens, with attributes beside it with --attributes; the trace has each
// call with its time, the host's variable writes and, from the services' observer, the module's writes (cut
// to the capacity the program set) and messages.
TEST_F(HostRun, CommandsScreensAndTheTrace) {
  const Outcome r =
      host(R"(
print("popup", vek.command("POPUPWN", {[10] = "C", [16] = "03", [24] = "N"}))
vek.write(10, 5, "h\xe4st text", 1)
assert(vek.row(10) == "     h\xe4st text                          ")
vek.command("NOSUCH1 x")
vek.var[4], vek.var[5] = "ABC", 42
assert(vek.var[4] .. vek.var[5] == "ABC42")
vek.var[4] = nil
assert(vek.var[4] == "")
vek.capacity(6, 3)
vek.var[6] = "XYZ"
vek.capacity(8, 0)
vek.command("DICOUNT", {[10] = "I", [20] = "01", length = 21})
vek.command("DICOUNT", {[10] = "S", [20] = "01", [31] = "08", length = 32})
vek.capacity(8, 159)
vek.command("DICOUNT", {[10] = "S", [20] = "01", [31] = "08", length = 32})
vek.command("TRANMSG Y RCV 42")
vek.reason(4)
print(vek.var[8])
)",
           "delay 500\nkey Enter\nkey Enter\n", {"--screens", "--attributes", "--trace", "trace.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(count(r.out, "-- main("), 7) << r.out;
  EXPECT_EQ(count(r.out, "-- final screen\n"), 1);
  for (const char *part :
       {"\npopup\t0\n", "1\n-- final screen", "-- main(4, \"\") = 0\n",
        "|Bad CVEK(M1):09NOSUCH1 x                |", "|VEK append too long:",
        "|     h\xe4st text                          |  0000011111111100000000000000000000000000\n"})
    EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
  const std::string trace = dir.read("trace.txt");
  // The bad-call message waits for its key, which the script gives after half a second.
  for (const char *line :
       {"main(3, \"23POPUPWN C     03      N\") = 0  [0 ms]", "main(3, \"09NOSUCH1 x\") = 0  [500 ms]",
        "host sets var 4 = \"ABC\"", "host sets var 5 = \"42\"", "host sets var 4 = \"\"",
        "host sets var 6 = \"XYZ\"", "main(3, \"21DICOUNT I         01 \")",
        "module writes var 8 = \"1\" -> 5\n", "module writes var 8 = \"1\" -> 0\n",
        "transaction message flag 1 length 16 \"16TRANMSG Y RCV 42\" -> 0\n"})
    EXPECT_NE(trace.find(line), std::string::npos) << line << "\n" << trace;
  EXPECT_EQ(trace.find("module writes var 4"), std::string::npos) << "the host's own writes are its own";
}

// The terminal id names the journal: --terminal, else VEK_TERMINAL, else the login name (a bad one stops
// vekhost before it starts, below). Option values may follow an equals sign.
TEST_F(HostRun, TheTerminalIdComesFromTheOptionTheEnvironmentOrTheLogin) {
  for (const auto &[option, environment, journal] :
       {std::array<std::string, 3>{"--terminal=hh-1", "env-1", "hh-1"},
        {"--data=.", "env-1", "env-1"},
        {"--data=.", "", getpwuid(getuid())->pw_name}}) {
    setenv("VEK_TERMINAL", environment.c_str(), 1);
    EXPECT_EQ(host("vek.command('TRANMSG Y 1')\n", "", {option, "--clock=2020-02-29T00:59:58"}).status, 0)
        << option << " " << environment;
    EXPECT_EQ(dir.read("journal/" + journal + ".log"),
              "2020-02-29 00:59:58 " + journal + " 1 1 11TRANMSG Y 1\n");
  }
  unsetenv("VEK_TERMINAL");
}

// The program's own status, 1 for a Lua error with the file and line, 3 when the module waits beyond the
// input script; a line of the standard error says why.
TEST_F(HostRun, ExitStatusComesFromTheProgramAndLuaErrorsNameTheFileAndLine) {
  // clang-format off
  for (const auto &[program, script, status, why] : {
      std::tuple{"vek.exit(7)\nerror('not reached')\n", "", 7, ""},
      {"os.exit(false)\n", "", 1, ""},
      {"return 4\n", "", 4, ""},
      {"return vek.stopping() and not vek.stopping() and 5 or 6\n", "stop\n", 5, ""},  // taken once
      {"vek.command('NOSUCH1')\nprint('not reached')\n", "", 3, "vekhost: prog.lua stopped: the input script ran out while the module waited"},
      {"local x\nx.y = 1\n", "", 1, "prog.lua:2: attempt to index a nil value (local 'x')"},
      {"vek.command('CLEAR_P')\nif then\n", "", 1, "prog.lua:2: unexpected symbol near 'then'"},
      {"\n\nvek.var[120] = 'x'\n", "", 1, "prog.lua:3: user variable 120 does not exist (1 to 99)"},
      {"vek.capacity(7, 2)\nvek.var[7] = 'abc'\n", "", 1, "prog.lua:2: user variable 7 holds 2 characters; the text has 3"},
      {"vek.var[9] = string.rep('x', 159)\nvek.var[9] = string.rep('x', 160)\n", "", 1, "prog.lua:2: user variable 9 holds 159 characters; the text has 160"},
      {"vek.command(string.rep('X', 100))\n", "", 1, "prog.lua:1: command text of 100 characters; the length digits allow 99"},
      {"vek.command('POPUPWN', {[10] = 'C', [10.5] = 'x'})\n", "", 1, "prog.lua:1: operand keys are record columns (whole numbers) or length"},
      {"vek.command('DICOUNT', {[10] = 'IX', [11] = 'Y'})\n", "", 1, "prog.lua:1: operand 'Y' at column 11 overlaps another"},
  }) {
    // clang-format on
    const Outcome r = host(program, script);
    EXPECT_EQ(r.status, status) << program;
    EXPECT_NE(("\n" + r.err).find("\n" + std::string(why)), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("|Bad CVEK(M1):07NOSUCH1                  |") != std::string::npos, status == 3)
        << "the screen where it stalled";
  }
}

TEST_F(HostRun, SetupFailuresAreOneLineAndNonzero) {
  dir.write("prog.lua", "print('never')\n");
  dir.write("bad.keys", "key Enter\n\nkey Ok Sideways\n");
  std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--headless", "missing.lua"}, "vekhost: program missing.lua not found or not readable"},
      {{"--headless", "--data", "nowhere", "prog.lua"}, "vekhost: data directory nowhere not found"},
      {{"--headless", "--module", "none.so", "prog.lua"}, "vekhost: panel module none.so not found"},
      {{"--headless", "--module", "prog.lua", "prog.lua"}, "vekhost: cannot load panel module ./prog.lua: "},
      {{"--input", "absent.keys", "prog.lua"}, "vekhost: input script absent.keys cannot be read"},
      {{"--input", "bad.keys", "prog.lua"}, "vekhost: bad.keys:3: unknown key \"Sideways\""},
      {{"--frobnicate", "prog.lua"}, "vekhost: unrecognized option '--frobnicate'"},
      {{"--headless", "--data"}, "vekhost: option '--data' requires an argument"},
      {{"--headless"}, "vekhost: no program given"},
      {{"--headless", "--terminal=../x", "prog.lua"},
       "vekhost: terminal id \"../x\" is not a name: 1 to 32 letters, digits, '-', '_' or '.', not starting "
       "with '.'"},
      {{"prog.lua"}, "vekhost: not on a terminal: give --input SCRIPT"},
  };
  for (const char *clock :
       {"yesterday", "2019-02-29 10:00:00", "2019-03-14 24:00:00", "2019-3-14 09:26:53",
        "2019-03-14 09:26:53x", "2019-03-14_09:26:53", "2019-03-14 09:2/:53", "+019-03-14 09:26:53"})
    cases.push_back({{"--headless", "--clock", clock, "prog.lua"}, "vekhost: --clock wants"});
  for (const auto &[args, message] : cases) {
    const Outcome r = run(built("host/vekhost"), args, dir.path());
    EXPECT_EQ(r.status, 2) << message;
    EXPECT_EQ(r.first_error_line().rfind(message, 0), 0u) << "got: " << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_EQ(r.out.find("never"), std::string::npos);
  }
}

}  // namespace
}  // namespace vektest
