// The journals of a data directory as the shipper follows them: which lines of each file are stored,
// the next lines to send, and the files that record how far the shipper got.
#ifndef VEKPANEL_SHIP_JOURNALS_H
#define VEKPANEL_SHIP_JOURNALS_H

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vekship {

// One journal line: "YYYY-MM-DD HH:MM:SS TERMINAL SEQUENCE F RECORD".
struct Row {
  std::string terminal;
  std::uint64_t sequence = 0;
  std::string time;  // "YYYY-MM-DD HH:MM:SS"
  int flag = 0;
  std::string record;  // as journaled, escapes included
  std::string line;    // the whole line, for a dead letter
};

// A row, or why the line can never be a row ("" for a row).
std::string parse_line(std::string_view line, Row *row);

// A line put aside, with the reason.
struct DeadLetter {
  std::string id;  // the journal's terminal id
  std::string reason;
  std::string line;
};

struct Journal {
  std::string id;     // the file's name without ".log": the terminal id
  ino_t inode = 0;    // the file that `offset` belongs to
  off_t offset = 0;   // bytes of it that are stored (or put aside)
  off_t size = 0;     // its size when last looked at
  off_t counted = 0;  // backlog: lines counted in [offset, counted)
  std::int64_t lines = 0;
  // Sizes seen and when (steady seconds): the oldest line not stored was seen at the first entry whose
  // size is beyond `offset`.
  std::deque<std::pair<off_t, double>> seen;
  bool dirty = true;  // the file may have changed since it was last looked at
};

// A batch: rows to store, lines to put aside, and where each journal stands once it is stored.
struct Batch {
  std::vector<Row> rows;
  std::vector<DeadLetter> dead;
  std::vector<std::pair<std::string, off_t>> ends;          // journal id, offset after the batch
  std::vector<std::pair<std::string, std::int64_t>> taken;  // journal id, lines in the batch
  bool empty() const { return rows.empty() && dead.empty(); }
};

using Notice = void (*)(const std::string &text);

class Journals {
 public:
  // `data`: the data directory; its journal/ holds the journals, ship/ the shipper's own files.
  Journals(std::string data, Notice notice);
  std::string journal_folder() const { return data_ + "/journal"; }
  std::string ship_folder() const { return data_ + "/ship"; }

  // Looks at every journal again (at the start, and now and then to be sure), or at the one named.
  void scan_all(double now);
  void touch(const std::string &file_name);
  // Up to `limit` lines from the journals that grew, one journal after another.
  Batch collect(std::size_t limit, double now);
  // After the server confirmed the batch: the dead letters on disk, then the journals' new offsets in
  // the progress file.
  bool confirm(const Batch &batch, std::string *error);

  std::int64_t backlog_lines();
  double oldest_age(double now) const;  // seconds, 0 with no backlog
  std::size_t count() const { return journals_.size(); }

 private:
  Journal &journal(const std::string &id);
  void look(Journal &j, double now);
  bool write_progress(std::string *error);
  bool write_dead(const DeadLetter &dead, std::string *error);

  std::string data_;
  Notice notice_;
  std::map<std::string, Journal> journals_;
  std::map<std::string, std::pair<ino_t, off_t>> saved_;  // the progress file as read at the start
  std::size_t start_ = 0;  // the journal the next batch starts with, so that none waits behind another
};

// Replaces `path` with `bytes` atomically and durably: a temporary file, flushed, renamed over it, the
// folder flushed. false and why when any step fails.
bool replace_file(const std::string &path, const std::string &bytes, bool durable, std::string *error);

}  // namespace vekship

#endif
