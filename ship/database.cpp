// Storing batches, one transaction each: the rows go into the table by COPY; when some of them are
// stored already (sent again after a crash before the progress file was written), by COPY into a
// temporary table of the session and INSERT ... ON CONFLICT (terminal, sequence) DO NOTHING, so a line
// is stored once. The notification is sent in the same transaction and so reaches the listeners at the
// commit, with the rows. When the server refuses a row of the batch, the batch is stored again row by
// row, each under a savepoint, and the rows it refuses are put aside.
#include "database.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace vekship {
namespace {

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

// One line of libpq's message (which may span several), without the trailing newline.
std::string one_line(const char *message) {
  std::string text;
  for (const char *c = message ? message : ""; *c; ++c) {
    const bool blank = *c == '\n' || *c == '\t' || *c == ' ';
    if (blank && (text.empty() || text.back() == ' ')) continue;
    text += blank ? ' ' : *c;
  }
  while (!text.empty() && text.back() == ' ')
    text.pop_back();
  return text;
}

// A refusal of the data (a value out of range, a check that fails), not of the connection or the
// statement: SQLSTATE classes 22 (data exception) and 23 (integrity constraint violation).
bool refused_data(const PGresult *result) {
  const char *state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
  return state && (std::strncmp(state, "22", 2) == 0 || std::strncmp(state, "23", 2) == 0);
}

void copy_field(std::string *out, std::string_view text) {
  for (char c : text) {
    if (c == '\\') *out += '\\';
    *out += c;
  }
}

constexpr const char *kInsertRow =
    "INSERT INTO vek_transaction (terminal, sequence, terminal_time, flag, record, server) "
    "VALUES ($1, $2, $3::timestamp, $4, $5, $6) ON CONFLICT (terminal, sequence) DO NOTHING";

}  // namespace

bool holds_password(const std::string &conninfo, std::string *error) {
  char *message = nullptr;
  PQconninfoOption *options = PQconninfoParse(conninfo.c_str(), &message);
  if (!options) {
    *error = "connection string: " + one_line(message);
    PQfreemem(message);
    return true;
  }
  bool found = false;
  for (const PQconninfoOption *o = options; o->keyword; ++o)
    if (std::strcmp(o->keyword, "password") == 0 && o->val && *o->val) found = true;
  PQconninfoFree(options);
  if (found)
    *error = "the connection string holds a password; put it in a password file (~/.pgpass or PGPASSFILE)";
  return found;
}

Database::Database(std::string conninfo) : conninfo_(std::move(conninfo)) {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  server_ = host;
}

Database::~Database() {
  disconnect();
}

void Database::disconnect() {
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
}

bool Database::connected() const {
  return conn_ && PQstatus(conn_) == CONNECTION_OK;
}

std::string Database::where() const {
  if (!conn_) return "";
  const char *host = PQhost(conn_);
  return std::string("database ") + PQdb(conn_) + " on " + (host && *host ? host : "the local socket") +
         " as " + PQuser(conn_);
}

bool Database::run(const char *sql, std::string *error, std::string *state) {
  Result result(PQexec(conn_, sql), &PQclear);
  const ExecStatusType status = PQresultStatus(result.get());
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return true;
  *error = one_line(PQerrorMessage(conn_));
  if (state) {
    const char *code = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
    *state = code ? code : "";
  }
  return false;
}

bool Database::connect(std::string *error) {
  if (connected()) return true;
  disconnect();
  // Values of the connection string (and the PG* variables) take precedence over these defaults.
  const char *keywords[] = {"connect_timeout", "application_name", "dbname", nullptr};
  const char *values[] = {"10", "vekship", conninfo_.c_str(), nullptr};
  conn_ = PQconnectdbParams(keywords, values, 1);
  if (PQstatus(conn_) != CONNECTION_OK) {
    *error = "cannot connect: " + one_line(PQerrorMessage(conn_));
    disconnect();
    return false;
  }
  Result table(PQexec(conn_, "SELECT to_regclass('vek_transaction') IS NULL"), &PQclear);
  if (PQresultStatus(table.get()) != PGRES_TUPLES_OK) {
    *error = one_line(PQerrorMessage(conn_));
    disconnect();
    return false;
  }
  const bool missing = std::strcmp(PQgetvalue(table.get(), 0, 0), "t") == 0;
  if ((missing && !run(kSchema, error)) ||
      !run("CREATE TEMPORARY TABLE vekship_batch (terminal text, sequence bigint, terminal_time text, "
           "flag smallint, record text, server text) ON COMMIT DELETE ROWS",
           error)) {
    *error = "cannot make the tables: " + *error;
    disconnect();
    return false;
  }
  return true;
}

// One COPY of `data` in the open transaction. On failure: the SQLSTATE ("" when the connection failed)
// and the message; the transaction is then aborted.
bool Database::copy(const char *sql, const std::string &data, std::string *state, std::string *error) {
  auto failed = [&](const PGresult *result) {
    const char *code = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    *state = code ? code : "";
    *error = one_line(PQerrorMessage(conn_));
    return false;
  };
  Result start(PQexec(conn_, sql), &PQclear);
  if (PQresultStatus(start.get()) != PGRES_COPY_IN) return failed(start.get());
  if (PQputCopyData(conn_, data.data(), static_cast<int>(data.size())) != 1 ||
      PQputCopyEnd(conn_, nullptr) != 1)
    return failed(nullptr);
  bool ok = true;
  for (Result copied(PQgetResult(conn_), &PQclear); copied; copied.reset(PQgetResult(conn_)))
    if (ok && PQresultStatus(copied.get()) != PGRES_COMMAND_OK) ok = failed(copied.get());
  return ok;
}

// Two ways in. Straight into the table with COPY, the usual case: no line of the batch is stored yet.
// When one is (23505, a batch sent again after a crash), through the session's temporary table and
// INSERT ... ON CONFLICT DO NOTHING, which skips the lines stored before.
Stored Database::store(Batch *batch, std::string *error) {
  if (batch->rows.empty()) return Stored::kDone;
  if (!connect(error)) return Stored::kFailed;
  std::string data;
  for (const Row &row : batch->rows) {
    data += row.terminal;
    data += '\t';
    data += std::to_string(row.sequence);
    data += '\t';
    data += row.time;
    data += '\t';
    data += static_cast<char>('0' + row.flag);
    data += '\t';
    copy_field(&data, row.record);
    data += '\t';
    copy_field(&data, server_);
    data += '\n';
  }
  const std::string count = std::to_string(batch->rows.size());
  const char *payload = count.c_str();
  std::string state;
  std::map<std::pair<std::string, std::uint64_t>, std::string> clashes;  // key -> the record stored
  auto attempt = [&](bool again) {
    if (!run("BEGIN", error)) return false;
    bool stored =
        again
            ? copy("COPY vekship_batch FROM STDIN", data, &state, error) &&
                  run("INSERT INTO vek_transaction (terminal, sequence, terminal_time, flag, record, server) "
                      "SELECT terminal, sequence, terminal_time::timestamp, flag, record, server "
                      "FROM vekship_batch ON CONFLICT (terminal, sequence) DO NOTHING",
                      error, &state)
            : copy(
                  "COPY vek_transaction (terminal, sequence, terminal_time, flag, record, server) FROM STDIN",
                  data, &state, error);
    if (stored && again) {
      // A line sent again is the line stored. A different line under the same key means the terminal's
      // numbers started again (its journal and counter both lost, or an id used twice): it is put
      // aside rather than dropped unseen.
      Result differ(PQexec(conn_,
                           "SELECT t.terminal, t.sequence, t.record FROM vekship_batch b "
                           "JOIN vek_transaction t USING (terminal, sequence) WHERE t.record <> b.record "
                           "OR t.flag <> b.flag OR t.terminal_time <> b.terminal_time::timestamp"),
                    &PQclear);
      stored = PQresultStatus(differ.get()) == PGRES_TUPLES_OK;
      for (int i = 0; stored && i < PQntuples(differ.get()); ++i)
        clashes[{PQgetvalue(differ.get(), i, 0), std::strtoull(PQgetvalue(differ.get(), i, 1), nullptr,
                                                               10)}] = PQgetvalue(differ.get(), i, 2);
    }
    if (stored) {
      Result notified(PQexecParams(conn_, "SELECT pg_notify('vek_transaction', $1)", 1, nullptr, &payload,
                                   nullptr, nullptr, 0),
                      &PQclear);
      if (PQresultStatus(notified.get()) == PGRES_TUPLES_OK && run("COMMIT", error)) return true;
      state.clear();
    }
    Result rollback(PQexec(conn_, "ROLLBACK"), &PQclear);
    return false;
  };
  if (attempt(false)) return Stored::kDone;
  if (state == "23505" && attempt(true)) {
    for (const Row &row : batch->rows)
      if (const auto clash = clashes.find({row.terminal, row.sequence});
          clash != clashes.end() && clash->second != row.record)
        batch->dead.push_back(
            {row.terminal, "another line is stored under this terminal and sequence", row.line});
    return Stored::kDone;
  }
  if (state.starts_with("22") || state.starts_with("23")) return store_each(batch, error);
  if (!connected()) disconnect();
  return Stored::kFailed;
}

Stored Database::store_each(Batch *batch, std::string *error) {
  auto give_up = [&] {
    *error = one_line(PQerrorMessage(conn_));
    Result rollback(PQexec(conn_, "ROLLBACK"), &PQclear);
    if (!connected()) disconnect();
    return Stored::kFailed;
  };
  if (!run("BEGIN", error)) return give_up();
  std::size_t kept = 0;
  std::vector<DeadLetter> refused;
  for (const Row &row : batch->rows) {
    if (!run("SAVEPOINT one_row", error)) return give_up();
    const std::string sequence = std::to_string(row.sequence), flag = std::to_string(row.flag);
    const char *values[] = {row.terminal.c_str(), sequence.c_str(),   row.time.c_str(),
                            flag.c_str(),         row.record.c_str(), server_.c_str()};
    Result inserted(PQexecParams(conn_, kInsertRow, 6, nullptr, values, nullptr, nullptr, 0), &PQclear);
    if (PQresultStatus(inserted.get()) == PGRES_COMMAND_OK) {
      if (std::strcmp(PQcmdTuples(inserted.get()), "0") != 0) {
        ++kept;
        continue;
      }
      Result stored(PQexecParams(conn_,
                                 "SELECT record = $5 AND flag = $4 AND terminal_time = $3::timestamp "
                                 "FROM vek_transaction WHERE terminal = $1 AND sequence = $2",
                                 5, nullptr, values, nullptr, nullptr, 0),
                    &PQclear);
      if (PQresultStatus(stored.get()) != PGRES_TUPLES_OK) return give_up();
      if (PQntuples(stored.get()) == 1 && std::strcmp(PQgetvalue(stored.get(), 0, 0), "f") == 0)
        refused.push_back(
            {row.terminal, "another line is stored under this terminal and sequence", row.line});
      continue;
    }
    if (!refused_data(inserted.get())) return give_up();
    const char *why = PQresultErrorField(inserted.get(), PG_DIAG_MESSAGE_PRIMARY);
    refused.push_back({row.terminal, std::string("refused by the server: ") + (why ? why : "?"), row.line});
    if (!run("ROLLBACK TO SAVEPOINT one_row", error)) return give_up();
  }
  const std::string count = std::to_string(kept);
  const char *payload = count.c_str();
  Result notified(PQexecParams(conn_, "SELECT pg_notify('vek_transaction', $1)", 1, nullptr, &payload,
                               nullptr, nullptr, 0),
                  &PQclear);
  if (PQresultStatus(notified.get()) != PGRES_TUPLES_OK) return give_up();
  if (!run("COMMIT", error)) return give_up();
  for (DeadLetter &dead : refused)
    batch->dead.push_back(std::move(dead));
  return Stored::kDone;
}

}  // namespace vekship
