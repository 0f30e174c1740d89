// The transaction journal: one line per message, appended and flushed to disk before the service
// returns, so a message the host was told about survives a crash or a power cut.
//
// Line: "YYYY-MM-DD HH:MM:SS TERMINAL F RECORD" with the terminal's clock, the terminal id ("-" when
// none is set), the flag digit and the record as given; bytes outside printable ASCII and the backslash
// are written as \xHH so that a record never breaks its line. Each terminal writes a file of its own,
// so several sessions on one server never interleave their lines.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "state.h"

namespace vekterm::detail {
namespace {

constexpr const char *kJournalName = "journal.log";  // in the data directory, without a terminal id
constexpr const char *kJournalFolder = "journal";    // in the data directory: one file per terminal
constexpr std::size_t kTerminalIdMax = 32;

// The session's terminal id; "" for none. It names a file, so it holds no path separator.
std::string g_terminal_id;

std::string journal_file() {
  const Terminal &t = terminal();
  if (!t.journal_path.empty()) return t.journal_path;
  if (t.data_directory.empty()) return {};
  if (g_terminal_id.empty()) return t.data_directory + "/" + kJournalName;
  return t.data_directory + "/" + kJournalFolder + "/" + g_terminal_id + ".log";
}

std::string journal_line(int flag, std::string_view record) {
  const std::tm tm = civil_now();
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d ", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::string line = stamp;
  line += g_terminal_id.empty() ? "-" : g_terminal_id;
  line += ' ';
  line += std::to_string(flag);
  line += ' ';
  for (char ch : record) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte >= 32 && byte < 127 && ch != '\\') {
      line += ch;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      line += hex;
    }
  }
  line += '\n';
  return line;
}

std::string folder_of(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A journal (or journal folder) created just now must have its directory entry on disk as well.
void sync_directory(const std::string &dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

int fail(const std::string &path, const char *what) {
  terminal().journal_error = path + ": " + what + ": " + std::strerror(errno);
  return 1;
}

}  // namespace

// The file is opened for each message, so a journal moved away by the operator is started afresh.
// 0 line on disk (or no journal configured); 1 the line could not be written, journal_error tells why.
int append_journal(int flag, std::string_view record) {
  const std::string path = journal_file();
  if (path.empty()) return 0;
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  // The terminals' folder is made with the first message of the first terminal. Made group-writable
  // (within the umask) so that terminals logged in as different users of one group can share it.
  if (fd < 0 && errno == ENOENT && terminal().journal_path.empty() && !g_terminal_id.empty()) {
    const std::string folder = folder_of(path);
    if (mkdir(folder.c_str(), 0775) == 0) sync_directory(folder_of(folder));
    fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  }
  if (fd < 0) return fail(path, "cannot open the journal");
  struct stat st {};
  const bool created = fstat(fd, &st) == 0 && st.st_size == 0;
  const std::string line = journal_line(flag, record);
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = write(fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int result = fail(path, "cannot write the journal");
      close(fd);
      return result;
    }
    done += static_cast<std::size_t>(n);
  }
  int synced;
  do
    synced = fsync(fd);
  while (synced != 0 && errno == EINTR);
  if (synced != 0) {
    const int result = fail(path, "cannot flush the journal");
    close(fd);
    return result;
  }
  close(fd);
  if (created) sync_directory(folder_of(path));
  terminal().journal_error.clear();
  return 0;
}

}  // namespace vekterm::detail

namespace vekterm {

bool valid_terminal_id(std::string_view id) {
  if (id.empty() || id.size() > detail::kTerminalIdMax || id.front() == '.') return false;
  for (char ch : id)
    if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '-' && ch != '_' && ch != '.') return false;
  return true;
}

bool set_terminal_id(std::string_view id) {
  if (!id.empty() && !valid_terminal_id(id)) return false;
  detail::g_terminal_id = std::string(id);
  return true;
}

const std::string &terminal_id() {
  return detail::g_terminal_id;
}

void set_journal(std::string_view path) {
  detail::terminal().journal_path = std::string(path);
}

std::string journal_path() {
  return detail::journal_file();
}

const std::string &journal_error() {
  return detail::terminal().journal_error;
}

}  // namespace vekterm
