// A PostgreSQL server of the test's own (Debian's postgresql package): a cluster made with initdb in a
// temporary folder owned by the `postgres` system user, run as that user, listening on a socket in that
// folder only. Superuser `postgres` connects without a password; `shipper`, the owner of database
// `shipdb`, with the password "right" (SCRAM).
#ifndef VEKPANEL_TESTS_SHIP_SERVER_H
#define VEKPANEL_TESTS_SHIP_SERVER_H

#include <grp.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <glob.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "process.h"

namespace vektest {

class Postgres {
 public:
  Postgres() {
    glob_t found{};
    if (glob("/usr/lib/postgresql/*/bin/postgres", 0, nullptr, &found) == 0 && found.gl_pathc > 0)
      bin_ = std::filesystem::path(found.gl_pathv[found.gl_pathc - 1]).parent_path().string();
    globfree(&found);
    // initdb and postgres refuse to run as root: as root, they run as the postgres user.
    const passwd *user = geteuid() == 0 ? getpwnam("postgres") : getpwuid(geteuid());
    if (bin_.empty() || !user) return;
    uid_ = user->pw_uid;
    gid_ = user->pw_gid;
    dir_ = "/tmp/vekpg-XXXXXX";
    if (!mkdtemp(dir_.data()) || chown(dir_.c_str(), uid_, gid_) != 0) return;
    const pid_t init = as_postgres(
        {bin_ + "/initdb", "-D", dir_ + "/db", "-U", "postgres", "-A", "trust", "-N"}, dir_ + "/initdb.log");
    int status = 0;
    waitpid(init, &status, 0);
    if (status != 0) return;
    std::ofstream(dir_ + "/db/pg_hba.conf") << "local all shipper scram-sha-256\nlocal all all trust\n";
    if (!start()) return;
    ok_ = query("CREATE ROLE shipper LOGIN PASSWORD 'right'") == "" &&
          query("CREATE DATABASE shipdb OWNER shipper") == "";
  }
  ~Postgres() {
    stop();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  Postgres(const Postgres &) = delete;
  Postgres &operator=(const Postgres &) = delete;

  bool ok() const { return ok_; }
  // Why no server can run here at all (nothing to start, or no user to run it as); "" when one can.
  std::string missing() const {
    if (bin_.empty()) return "PostgreSQL is not installed (scripts/setup-machine installs it)";
    return uid_ == 0 && geteuid() == 0 ? "there is no postgres user to run PostgreSQL as" : "";
  }
  const std::string &socket_dir() const { return dir_; }

  bool start() {
    pid_ = as_postgres({bin_ + "/postgres", "-D", dir_ + "/db", "-k", dir_, "-c", "listen_addresses=", "-c",
                        "fsync=off", "-c", "max_connections=50"},
                       dir_ + "/server.log");
    return eventually(
        [&] { return PQping(("host=" + dir_ + " user=postgres dbname=postgres").c_str()) == PQPING_OK; },
        20000);
  }
  // A fast shutdown: sessions are ended, the server is gone when this returns.
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGINT);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // The first value of the first row, "" for none; "ERROR ..." when the statement failed.
  std::string query(const std::string &sql, const std::string &db = "postgres") const {
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn(
        PQconnectdb(("host=" + dir_ + " user=postgres dbname=" + db).c_str()), &PQfinish);
    std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn.get(), sql.c_str()), &PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
      return std::string("ERROR ") + PQerrorMessage(conn.get());
    return PQntuples(result.get()) > 0 ? PQgetvalue(result.get(), 0, 0) : "";
  }

 private:
  pid_t as_postgres(const std::vector<std::string> &argv, const std::string &log) const {
    const pid_t child = fork();
    if (child == 0) {
      dup2(open("/dev/null", O_RDONLY), 0);
      const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(out, 1);
      dup2(out, 2);
      if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(gid_) != 0 || setuid(uid_) != 0))
        _exit(127);
      exec_in(dir_, argv[0], {argv.begin() + 1, argv.end()});
    }
    return child;
  }

  std::string bin_, dir_;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  pid_t pid_ = -1;
  bool ok_ = false;
};

}  // namespace vektest

#endif
