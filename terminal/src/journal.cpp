// The transaction journal: one line per message, appended and flushed to disk before the service
// returns, so a message the host was told about survives a crash or a power cut.
//
// Line: "YYYY-MM-DD HH:MM:SS TERMINAL SEQUENCE F RECORD" with the terminal's clock, the terminal id ("-"
// when none is set), the message's sequence number, the flag digit and the record as given; bytes
// outside printable ASCII and the backslash are written as \xHH so that a record never breaks its line.
// Each terminal writes a file of its own, so several sessions on one server never interleave their
// lines.
//
// The sequence number counts the terminal's messages from 1 and never repeats: the shipper stores a
// message once per (terminal, sequence). The latest number lives in two places, the journal's last line
// and a counter file beside the journal (hh-07.log, hh-07.seq); the next message takes the larger plus
// one. The counter keeps the count when the journal is deleted or cut short, the journal's last line
// when the counter is. The counter is written and flushed before the line, so a crash between the two
// skips a number and never reuses one; its lock also orders two sessions that share a terminal id.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>

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

// The counter file beside a journal: its name with ".seq" for ".log" (or ".seq" added).
std::string counter_file(const std::string &journal) {
  const std::size_t slash = journal.rfind('/');
  const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
  if (journal.size() >= name + 5 && journal.ends_with(".log"))
    return journal.substr(0, journal.size() - 4) + ".seq";
  return journal + ".seq";
}

std::string journal_line(std::uint64_t sequence, int flag, std::string_view record) {
  const std::tm tm = civil_now();
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d ", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::string line = stamp;
  line += g_terminal_id.empty() ? "-" : g_terminal_id;
  line += ' ';
  line += std::to_string(sequence);
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

bool read_fully(int fd, char *buffer, std::size_t size, off_t at) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = pread(fd, buffer + done, size - done, at + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool write_fully(int fd, const std::string &bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

int sync_file(int fd) {
  int synced;
  do
    synced = fsync(fd);
  while (synced != 0 && errno == EINTR);
  return synced;
}

// The sequence number of a journal line, 0 for a line without one (or not a journal line).
std::uint64_t sequence_of(std::string_view line) {
  std::size_t at = 0;
  for (int blanks = 0; blanks < 3; ++blanks) {  // past the date, the time and the terminal id
    at = line.find(' ', at);
    if (at == std::string_view::npos) return 0;
    ++at;
  }
  std::uint64_t number = 0;
  std::size_t digits = 0;
  for (; at < line.size() && line[at] >= '0' && line[at] <= '9' && digits < 19; ++at, ++digits)
    number = number * 10 + static_cast<std::uint64_t>(line[at] - '0');
  // A line written before lines were numbered has the flag and then the record's length digits here.
  const bool numbered = digits > 0 && at + 2 < line.size() && line[at] == ' ' &&
                        (line[at + 1] == '0' || line[at + 1] == '1') && line[at + 2] == ' ';
  return numbered ? number : 0;
}

// The sequence number of the journal's last line. A last line without its newline was being written
// when its writer died, before its message was confirmed: it is cut off, so that it neither merges
// with the next line nor is shipped.
std::uint64_t last_sequence(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_size == 0) return 0;
  constexpr off_t kTail = 65536;  // far longer than any line
  const off_t from = st.st_size > kTail ? st.st_size - kTail : 0;
  std::string tail(static_cast<std::size_t>(st.st_size - from), '\0');
  if (!read_fully(fd, tail.data(), tail.size(), from)) return 0;
  if (tail.back() != '\n') {
    const std::size_t end = tail.rfind('\n');
    const off_t keep = end == std::string::npos ? from : from + static_cast<off_t>(end) + 1;
    if (ftruncate(fd, keep) != 0) return 0;
    tail.resize(end == std::string::npos ? 0 : end + 1);
  }
  if (tail.empty()) return 0;
  tail.pop_back();
  const std::size_t start = tail.rfind('\n');
  return sequence_of(std::string_view(tail).substr(start == std::string::npos ? 0 : start + 1));
}

std::uint64_t read_counter(int fd) {
  char text[24] = {};
  const ssize_t n = pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return 0;
  return std::strtoull(text, nullptr, 10);
}

// Opens (creating) a file of the journal's folder. The terminals' folder is made with the first
// message of the first terminal, group-writable (within the umask) so that terminals logged in as
// different users of one group can share it.
int open_in_journal_folder(const std::string &path, int flags) {
  int fd = open(path.c_str(), flags | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0 && errno == ENOENT && terminal().journal_path.empty() && !g_terminal_id.empty()) {
    const std::string folder = folder_of(path);
    if (mkdir(folder.c_str(), 0775) == 0) sync_directory(folder_of(folder));
    fd = open(path.c_str(), flags | O_CREAT | O_CLOEXEC, 0644);
  }
  return fd;
}

// Holds the counter file, locked, for one message.
struct Counter {
  int fd = -1;
  ~Counter() {
    if (fd >= 0) close(fd);  // closing drops the lock
  }
};

}  // namespace

// The files are opened for each message, so a journal moved away by the operator is started afresh.
// 0 line on disk (or no journal configured); 1 the line could not be written, journal_error tells why.
int append_journal(int flag, std::string_view record) {
  const std::string path = journal_file();
  if (path.empty()) return 0;
  const std::string counter_path = counter_file(path);
  Counter counter;
  counter.fd = open_in_journal_folder(counter_path, O_RDWR);
  if (counter.fd < 0) return fail(counter_path, "cannot open the sequence counter");
  while (flock(counter.fd, LOCK_EX) != 0)
    if (errno != EINTR) return fail(counter_path, "cannot lock the sequence counter");
  struct stat st {};
  const bool new_counter = fstat(counter.fd, &st) == 0 && st.st_size == 0;

  const int fd = open_in_journal_folder(path, O_RDWR | O_APPEND);
  if (fd < 0) return fail(path, "cannot open the journal");
  const bool created = fstat(fd, &st) == 0 && st.st_size == 0;
  const std::uint64_t sequence = std::max(last_sequence(fd), read_counter(counter.fd)) + 1;

  char number[24];
  std::snprintf(number, sizeof number, "%020" PRIu64 "\n", sequence);
  if (pwrite(counter.fd, number, 21, 0) != 21 || fdatasync(counter.fd) != 0) {
    const int result = fail(counter_path, "cannot write the sequence counter");
    close(fd);
    return result;
  }
  if (!write_fully(fd, journal_line(sequence, flag, record))) {
    const int result = fail(path, "cannot write the journal");
    close(fd);
    return result;
  }
  if (sync_file(fd) != 0) {
    const int result = fail(path, "cannot flush the journal");
    close(fd);
    return result;
  }
  close(fd);
  if (created || new_counter) sync_directory(folder_of(path));
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
