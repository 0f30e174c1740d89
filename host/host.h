// vekhost: loads the panel module, puts a terminal under it and runs a Lua transaction program that
// drives it. The parts share these declarations; nothing here is seen outside the host.
#ifndef VEKHOST_HOST_H
#define VEKHOST_HOST_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

struct lua_State;

namespace vekhost {

// Exit statuses of vekhost.
enum Exit : int {
  kExitOk = 0,       // the program ran to its end
  kExitProgram = 1,  // the Lua program failed (syntax or run-time error)
  kExitSetup = 2,    // bad command line, or a module, data directory, program or input script missing
  kExitStalled = 3,  // headless: the module waited for input that the script no longer had
};

// ---- Module --------------------------------------------------------------------------------------
using EntryPoint = int (*)(int reason, const char *record);

// Finds the module: the path given, else the one built or installed beside this executable. Returns
// the path, or "" with a reason in *error.
std::string locate_module(const std::string &given, std::string *error);
// Loads it and finds `main`. nullptr with a one-line reason in *error.
EntryPoint load_module(const std::string &path, std::string *error);

// ---- Input script (headless) ------------------------------------------------------------------------
// Reads an input script and queues its steps on the headless terminal. 0, or nonzero with
// "file:line: reason" in *error.
int queue_input_script(const std::string &path, std::string *error);
// A key by name ("Enter", "OK", "Tab" ...) or by number; -1 when the name is unknown.
int key_code(std::string_view name);

// ---- Trace ---------------------------------------------------------------------------------------------
// The trace file records each call of main, each user-variable write and each transaction message.
// 0, or nonzero with a reason in *error.
int open_trace(const std::string &path, std::string *error);
void close_trace();
bool tracing();
void trace_call(int reason, std::string_view record, int result, std::int64_t start_ms, std::int64_t end_ms);
void trace_host_write(int number, std::string_view text);
void trace_line(std::string_view text);
// Quotes a text for the trace and the screen headers: printable ASCII as is, others as \xNN.
std::string quoted(std::string_view text);

// ---- Lua side ------------------------------------------------------------------------------------------
struct Session {
  EntryPoint entry = nullptr;
  bool headless = false;
  bool screens = false;                // headless: write the screen after each call of main
  bool attributes = false;             // with the screens, the attribute plane beside each row
  std::FILE *out = stdout;             // where screens and the program's print output go
  std::string *held_output = nullptr;  // TTY: print output kept until the terminal is given back
  int stalled = 0;                     // set once the headless terminal reports a stall
  std::vector<std::string> stall_reports;
  std::string journal_error;  // the latest reason a transaction message missed the journal
};

// Calls main as the program asked, tracing it and, on request, writing the screen after it.
int call_main(Session &session, int reason, const std::string &record);
// Writes the 20 rows of the screen in a frame, headed by `title` when it is not empty.
void write_screen(std::FILE *out, std::string_view title, bool attributes);

// Opens the `vek` library in a Lua state bound to the session.
void open_vek_library(lua_State *L, Session &session);
// Runs the program file with `args` as its arg table. Returns an Exit status; a failure is reported
// on stderr as "file:line: message" followed by the Lua traceback.
int run_program(Session &session, const std::string &path, const std::vector<std::string> &args,
                std::string *error);

}  // namespace vekhost

#endif
