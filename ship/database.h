// The shipper's side of PostgreSQL: one connection through libpq, the table made when missing, and a
// batch of rows stored in one transaction.
#ifndef VEKPANEL_SHIP_DATABASE_H
#define VEKPANEL_SHIP_DATABASE_H

#include <string>
#include <vector>

#include "journals.h"

struct pg_conn;

namespace vekship {

extern const char *const kSchema;  // ship/schema.sql
constexpr const char *kChannel = "vek_transaction";

enum class Stored {
  kDone,    // committed; rows the server refused are among the dead letters
  kFailed,  // not stored: the server is unreachable or refused the whole batch; try again later
};

class Database {
 public:
  explicit Database(std::string conninfo);
  ~Database();
  Database(const Database &) = delete;
  Database &operator=(const Database &) = delete;

  // Connects (when not connected) and makes the table when it is missing. false and why.
  bool connect(std::string *error);
  bool connected() const;
  std::string where() const;  // "database D on H as U", never the password
  // Stores the batch's rows in one transaction and notifies the channel. A row the server can never
  // store (a date that does not exist) joins `batch->dead` with the server's reason.
  Stored store(Batch *batch, std::string *error);
  void disconnect();

 private:
  bool run(const char *sql, std::string *error, std::string *state = nullptr);
  bool copy(const char *sql, const std::string &data, std::string *state, std::string *error);
  Stored store_each(Batch *batch, std::string *error);

  std::string conninfo_;
  std::string server_;  // this machine's name, in each row
  pg_conn *conn_ = nullptr;
};

// Refuses a connection string that holds a password: it would show in the process list.
bool holds_password(const std::string &conninfo, std::string *error);

}  // namespace vekship

#endif
