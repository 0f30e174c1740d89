// Storing batches: the rows go by COPY into a temporary table of the session, then into the table with
// INSERT ... ON CONFLICT (terminal, sequence) DO NOTHING, so a line sent again (after a crash before the
// progress file was written) is stored once. The notification is sent in the same transaction and so
// reaches the listeners at the commit, with the rows. When the server refuses a row of the batch, the
// batch is stored again row by row, each under a savepoint, and the rows it refuses are put aside.
#include "database.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <cstring>
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

constexpr const char *kInsertBatch =
    "INSERT INTO vek_transaction (terminal, sequence, terminal_time, flag, record, server) "
    "SELECT terminal, sequence, terminal_time::timestamp, flag, record, $1 FROM vekship_batch "
    "ON CONFLICT (terminal, sequence) DO NOTHING";
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

bool Database::run(const char *sql, std::string *error) {
  Result result(PQexec(conn_, sql), &PQclear);
  const ExecStatusType status = PQresultStatus(result.get());
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return true;
  *error = one_line(PQerrorMessage(conn_));
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
           "flag smallint, record text) ON COMMIT DELETE ROWS",
           error)) {
    *error = "cannot make the tables: " + *error;
    disconnect();
    return false;
  }
  return true;
}

Stored Database::store(Batch *batch, std::string *error) {
  if (batch->rows.empty()) return Stored::kDone;
  if (!connect(error)) return Stored::kFailed;
  std::string copy;
  for (const Row &row : batch->rows) {
    copy += row.terminal;
    copy += '\t';
    copy += std::to_string(row.sequence);
    copy += '\t';
    copy += row.time;
    copy += '\t';
    copy += static_cast<char>('0' + row.flag);
    copy += '\t';
    copy_field(&copy, row.record);
    copy += '\n';
  }
  const std::string stored_count = std::to_string(batch->rows.size());
  const char *server = server_.c_str();
  bool refused = false;
  auto failed = [&](const PGresult *result) {
    refused = result && refused_data(result);
    *error = one_line(PQerrorMessage(conn_));
    Result rollback(PQexec(conn_, "ROLLBACK"), &PQclear);
    return Stored::kFailed;
  };
  const Stored outcome = [&] {
    if (!run("BEGIN", error)) return Stored::kFailed;
    Result start(
        PQexec(conn_, "COPY vekship_batch (terminal, sequence, terminal_time, flag, record) FROM STDIN"),
        &PQclear);
    if (PQresultStatus(start.get()) != PGRES_COPY_IN) return failed(start.get());
    if (PQputCopyData(conn_, copy.data(), static_cast<int>(copy.size())) != 1 ||
        PQputCopyEnd(conn_, nullptr) != 1)
      return failed(nullptr);
    for (Result copied(PQgetResult(conn_), &PQclear); copied; copied.reset(PQgetResult(conn_)))
      if (PQresultStatus(copied.get()) != PGRES_COMMAND_OK) {
        refused = refused_data(copied.get());
        *error = one_line(PQerrorMessage(conn_));
        for (Result rest(PQgetResult(conn_), &PQclear); rest; rest.reset(PQgetResult(conn_))) {
        }
        Result rollback(PQexec(conn_, "ROLLBACK"), &PQclear);
        return Stored::kFailed;
      }
    Result inserted(PQexecParams(conn_, kInsertBatch, 1, nullptr, &server, nullptr, nullptr, 0), &PQclear);
    if (PQresultStatus(inserted.get()) != PGRES_COMMAND_OK) return failed(inserted.get());
    const char *count = stored_count.c_str();
    Result notified(PQexecParams(conn_, "SELECT pg_notify('vek_transaction', $1)", 1, nullptr, &count,
                                 nullptr, nullptr, 0),
                    &PQclear);
    if (PQresultStatus(notified.get()) != PGRES_TUPLES_OK) return failed(notified.get());
    if (!run("COMMIT", error)) return Stored::kFailed;
    return Stored::kDone;
  }();
  if (outcome == Stored::kDone) return outcome;
  if (refused) return store_each(batch, error);
  if (!connected()) disconnect();
  return outcome;
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
      ++kept;
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
