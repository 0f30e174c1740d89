// The trace file. What the module writes through the terminal services (user variables, transaction
// messages) reaches it through the services library's observer.
#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "host.h"
#include "vekterm/vekterm.h"

namespace vekhost {
namespace {

struct Trace {
  std::FILE *file = nullptr;  // nullptr: not tracing
};
Trace g_trace;

// Every line begins with the time and the terminal id, so that the traces of several terminals can be
// merged and still be told apart.
void stamp(std::int64_t ms = vekterm::clock_ms()) {
  std::fprintf(g_trace.file, "%8" PRId64 " ms  %s  ", ms,
               vekterm::terminal_id().empty() ? "-" : vekterm::terminal_id().c_str());
}

void module_writes(int number, std::string_view text, int result) {
  stamp();
  std::fprintf(g_trace.file, "module writes var %d = %s -> %d\n", number, quoted(text).c_str(), result);
  std::fflush(g_trace.file);
}

void module_clears(int number, int result) {
  stamp();
  std::fprintf(g_trace.file, "module clears var %d -> %d\n", number, result);
  std::fflush(g_trace.file);
}

void message_sent(int flag, int length, std::string_view record, int result) {
  stamp();
  std::fprintf(g_trace.file, "transaction message flag %d length %d %s -> %d\n", flag, length,
               quoted(record).c_str(), result);
  std::fflush(g_trace.file);
}

}  // namespace

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (byte >= 32 && byte < 127) {
      out += ch;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  return out + "\"";
}

int open_trace(const std::string &path, std::string *error) {
  g_trace.file = std::fopen(path.c_str(), "w");
  if (!g_trace.file) {
    *error = "trace file " + path + ": " + std::strerror(errno);
    return 1;
  }
  vekterm::set_observer({module_writes, module_clears, message_sent});
  return 0;
}

void close_trace() {
  if (!g_trace.file) return;
  vekterm::set_observer({});
  std::fclose(g_trace.file);
  g_trace = {};
}

bool tracing() {
  return g_trace.file != nullptr;
}

// Written when the call returns, stamped with that time, so that what the module did meanwhile comes
// before it in the file.
void trace_call(int reason, std::string_view record, int result, std::int64_t start_ms, std::int64_t end_ms) {
  if (!tracing()) return;
  stamp(end_ms);
  std::fprintf(g_trace.file, "main(%d, %s) = %d  [%" PRId64 " ms]\n", reason, quoted(record).c_str(), result,
               end_ms - start_ms);
  std::fflush(g_trace.file);
}

void trace_host_write(int number, std::string_view text) {
  if (!tracing()) return;
  stamp();
  std::fprintf(g_trace.file, "host sets var %d = %s\n", number, quoted(text).c_str());
  std::fflush(g_trace.file);
}

void trace_line(std::string_view text) {
  if (!tracing()) return;
  stamp();
  std::fprintf(g_trace.file, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(g_trace.file);
}

}  // namespace vekhost
