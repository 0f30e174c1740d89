// Following the journals: the progress file (ship/progress, a line "TERMINAL INODE OFFSET" per journal)
// says which bytes of each journal are stored; what lies beyond is the backlog. It is one file for all
// journals, replaced after each commit: a file per journal would cost a flush per journal in every
// batch, and with a thousand terminals sending at once those flushes, not the server, set the pace. A journal
// whose file changed (another inode) or shrank below its offset was replaced or cut short: it is read again
// from its start, and the table's key keeps the lines already stored from being stored twice.
#include "journals.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace vekship {
namespace {

constexpr std::size_t kTerminalIdMax = 32;
constexpr off_t kReadChunk = 1 << 20;

bool digits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool shaped(std::string_view text, std::string_view pattern) {  // '9' a digit, else the character
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (pattern[i] == '9' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != pattern[i])
      return false;
  return true;
}

bool terminal_id(std::string_view id) {
  if (id.empty() || id.size() > kTerminalIdMax || id.front() == '.') return false;
  return std::all_of(id.begin(), id.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
  });
}

std::string error_text(const std::string &what, const std::string &path) {
  return what + " " + path + ": " + std::strerror(errno);
}

bool sync_folder(const std::string &folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string read_range(const std::string &path, off_t from, off_t to) {
  std::string bytes;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  bytes.resize(static_cast<std::size_t>(to - from));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = pread(fd, bytes.data() + done, bytes.size() - done, from + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  close(fd);
  return bytes;
}

}  // namespace

std::string parse_line(std::string_view line, Row *row) {
  std::string_view field[5];
  std::string_view rest = line;
  for (std::string_view &f : field) {
    const std::size_t blank = rest.find(' ');
    if (blank == std::string_view::npos) return "not a journal line: too few fields";
    f = rest.substr(0, blank);
    rest.remove_prefix(blank + 1);
  }
  if (!shaped(field[0], "9999-99-99") || !shaped(field[1], "99:99:99"))
    return "not a journal line: no date and time";
  if (!terminal_id(field[2])) return "not a journal line: bad terminal id";
  // A line from before lines were numbered has the flag where the number goes, the record after it.
  if (field[4] != "0" && field[4] != "1") return "no sequence number and flag after the terminal id";
  if (!digits(field[3]) || field[3].size() > 18 || field[3].find_first_not_of('0') == std::string_view::npos)
    return "bad sequence number";
  for (char c : rest)
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) >= 127)
      return "record holds a byte outside printable ASCII";
  row->time = std::string(field[0]) + " " + std::string(field[1]);
  row->terminal = std::string(field[2]);
  row->sequence = std::stoull(std::string(field[3]));
  row->flag = field[4][0] - '0';
  row->record = std::string(rest);
  row->line = std::string(line);
  return "";
}

bool replace_file(const std::string &path, const std::string &bytes, bool durable, std::string *error) {
  const std::string temporary = path + ".new";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = error_text("cannot write", temporary);
    return false;
  }
  const bool written = write_all(fd, bytes) && (!durable || fsync(fd) == 0);
  close(fd);
  if (!written) {
    *error = error_text("cannot write", temporary);
    return false;
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    *error = error_text("cannot rename", temporary);
    return false;
  }
  const std::size_t slash = path.rfind('/');
  if (durable && !sync_folder(slash == std::string::npos ? "." : path.substr(0, slash))) {
    *error = error_text("cannot flush the folder of", path);
    return false;
  }
  return true;
}

Journals::Journals(std::string data, Notice notice) : data_(std::move(data)), notice_(notice) {
  std::ifstream progress(ship_folder() + "/progress");
  std::string id;
  unsigned long long inode = 0;
  long long offset = 0;
  while (progress >> id >> inode >> offset)
    saved_[id] = {static_cast<ino_t>(inode), static_cast<off_t>(offset)};
}

Journal &Journals::journal(const std::string &id) {
  auto [it, added] = journals_.try_emplace(id);
  Journal &j = it->second;
  if (added) {
    j.id = id;
    if (const auto saved = saved_.find(id); saved != saved_.end()) {
      j.inode = saved->second.first;
      j.offset = j.counted = saved->second.second;
    }
  }
  return j;
}

void Journals::scan_all(double now) {
  DIR *dir = opendir(journal_folder().c_str());
  if (!dir) return;
  while (const dirent *entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > 4 && name.ends_with(".log") && terminal_id(name.substr(0, name.size() - 4)))
      journal(name.substr(0, name.size() - 4)).dirty = true;
  }
  closedir(dir);
  for (auto &[id, j] : journals_)
    look(j, now);
}

void Journals::touch(const std::string &file_name) {
  if (file_name.size() > 4 && file_name.ends_with(".log") &&
      terminal_id(file_name.substr(0, file_name.size() - 4)))
    journal(file_name.substr(0, file_name.size() - 4)).dirty = true;
}

void Journals::look(Journal &j, double now) {
  if (!j.dirty) return;
  j.dirty = false;
  struct stat st {};
  if (stat((journal_folder() + "/" + j.id + ".log").c_str(), &st) != 0) {
    j.size = j.offset;  // gone: nothing to send until a new file appears
    return;
  }
  if ((j.inode != 0 && st.st_ino != j.inode) || st.st_size < j.offset) {
    if (j.inode != 0)
      notice_("journal/" + j.id + ".log was replaced or cut short; reading it again from its start");
    j.offset = j.counted = 0;
    j.lines = 0;
    j.seen.clear();
  }
  j.inode = st.st_ino;
  if (st.st_size > j.offset && (j.seen.empty() || j.seen.back().first < st.st_size))
    j.seen.emplace_back(st.st_size, now);
  j.size = st.st_size;
}

Batch Journals::collect(std::size_t limit, double now) {
  Batch batch;
  if (journals_.empty()) return batch;
  for (auto &[id, j] : journals_)
    look(j, now);
  start_ = (start_ + 1) % journals_.size();
  auto it = std::next(journals_.begin(), static_cast<std::ptrdiff_t>(start_));
  for (std::size_t n = 0; n < journals_.size() && batch.rows.size() + batch.dead.size() < limit; ++n) {
    Journal &j = it->second;
    if (++it == journals_.end()) it = journals_.begin();
    if (j.size <= j.offset) continue;
    // The byte before the offset is a line's end; if not, the journal was cut and written again since.
    const off_t from = j.offset > 0 ? j.offset - 1 : 0;
    const std::string bytes =
        read_range(journal_folder() + "/" + j.id + ".log", from, std::min(j.size, j.offset + kReadChunk));
    if (j.offset > 0 && (bytes.empty() || bytes[0] != '\n')) {
      notice_("journal/" + j.id + ".log was rewritten; reading it again from its start");
      j.offset = j.counted = 0;
      j.lines = 0;
      j.seen.clear();
      continue;
    }
    std::size_t at = j.offset > 0 ? 1 : 0;
    const off_t base = from;
    std::int64_t taken = 0;
    for (std::size_t end;
         batch.rows.size() + batch.dead.size() < limit && (end = bytes.find('\n', at)) != std::string::npos;
         at = end + 1) {
      const std::string_view line(bytes.data() + at, end - at);
      Row row;
      std::string reason = parse_line(line, &row);
      if (reason.empty() && row.terminal != j.id)
        reason = "terminal id " + row.terminal + " in the journal of " + j.id;
      if (reason.empty())
        batch.rows.push_back(std::move(row));
      else
        batch.dead.push_back({j.id, reason, std::string(line)});
      ++taken;
    }
    if (taken > 0) {
      batch.ends.emplace_back(j.id, base + static_cast<off_t>(at));
      batch.taken.emplace_back(j.id, taken);
    }
  }
  return batch;
}

bool Journals::write_dead(const DeadLetter &dead, std::string *error) {
  const std::string path = ship_folder() + "/" + dead.id + ".dead";
  const std::string entry = dead.reason + "\t" + dead.line + "\n";
  // A crash after this write and before the progress file puts the line aside again: once is enough.
  std::ifstream existing(path);
  for (std::string line; std::getline(existing, line);)
    if (line + "\n" == entry) return true;
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = error_text("cannot write", path);
    return false;
  }
  const bool ok = write_all(fd, entry) && fsync(fd) == 0;
  close(fd);
  if (!ok) *error = error_text("cannot write", path);
  return ok;
}

bool Journals::write_progress(std::string *error) {
  std::ostringstream text;
  for (const auto &[id, j] : journals_)
    if (j.inode != 0) text << id << ' ' << j.inode << ' ' << j.offset << '\n';
  return replace_file(ship_folder() + "/progress", text.str(), true, error);
}

bool Journals::confirm(const Batch &batch, std::string *error) {
  for (const DeadLetter &dead : batch.dead) {
    notice_("put aside a line of journal/" + dead.id + ".log: " + dead.reason);
    if (!write_dead(dead, error)) return false;
  }
  for (std::size_t i = 0; i < batch.ends.size(); ++i) {
    Journal &j = journal(batch.ends[i].first);
    j.offset = batch.ends[i].second;
    if (j.counted >= j.offset)
      j.lines -= batch.taken[i].second;
    else
      j.counted = j.offset, j.lines = 0;
    while (!j.seen.empty() && j.seen.front().first <= j.offset)
      j.seen.pop_front();
  }
  return batch.ends.empty() || write_progress(error);
}

std::int64_t Journals::backlog_lines() {
  std::int64_t total = 0;
  for (auto &[id, j] : journals_) {
    if (j.counted < j.offset) j.counted = j.offset, j.lines = 0;
    if (j.size > j.counted) {
      const std::string bytes = read_range(journal_folder() + "/" + id + ".log", j.counted, j.size);
      const std::size_t last = bytes.rfind('\n');
      if (last != std::string::npos) {
        j.lines += std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(last) + 1, '\n');
        j.counted += static_cast<off_t>(last) + 1;
      }
    }
    total += j.lines;
  }
  return total;
}

double Journals::oldest_age(double now) const {
  double oldest = now;
  for (const auto &[id, j] : journals_)
    if (j.offset < j.size && !j.seen.empty()) oldest = std::min(oldest, j.seen.front().second);
  return now - oldest;
}

}  // namespace vekship
