// vekhost as the forced command of an SSH login, as a handheld reaches it: a real OpenSSH server on a
// loopback port with a configuration, host key and authorized keys of the test's own, and an `ssh -tt`
// client in tmux logging in with a key: the commands and configuration of the example in docs/DEPLOY.md,
// read from there.
#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>

#include <map>

#include "host/process.h"

namespace vektest {
namespace {

// A free TCP port, as the system hands one out.
int free_port() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at{};
  socklen_t size = sizeof at;
  listen(fd, 1);  // an unbound socket that listens is given a free port
  getsockname(fd, reinterpret_cast<sockaddr *>(&at), &size);
  close(fd);
  return ntohs(at.sin_port);
}

// The vekhost processes whose command line mentions `text` (the scratch folder: this test's only).
std::vector<pid_t> processes_naming(const std::string &text) {
  std::vector<pid_t> found;
  std::error_code gone;  // a process that ended meanwhile, or a zombie, has no program any more
  for (const auto &entry : std::filesystem::directory_iterator("/proc"))
    if (std::filesystem::read_symlink(entry.path() / "exe", gone) == built("host/vekhost") &&
        slurp(entry.path() / "cmdline").find(text) != std::string::npos)
      found.push_back(std::stoi(entry.path().filename()));
  return found;
}

// sshd in a process group of its own, stopped with the tmux server and any vekhost it left, whatever
// the test's outcome.
struct Server {
  Scratch dir;
  std::string tmux = "tmux -u -L vekhost-ssh-" + std::to_string(getpid()) + " ";  // -u: a UTF-8 pane
  pid_t sshd = -1;
  ~Server() {
    std::system((tmux + "kill-server >/dev/null 2>&1").c_str());
    if (sshd > 0) kill(-sshd, SIGTERM), waitpid(sshd, nullptr, 0), kill(-sshd, SIGKILL);
    for (pid_t left : processes_naming(dir.path()))
      kill(left, SIGKILL);
  }
  std::string pane() {
    std::system((tmux + "capture-pane -p -t hh > " + dir.file("pane.txt")).c_str());
    return dir.read("pane.txt");
  }
};

// The indented example of docs/DEPLOY.md from the line starting `from` to the text after it, with DIR, PORT,
// USER and VEKHOST filled in.
std::string example(const std::string &from, const std::map<std::string, std::string> &values) {
  const std::string deploy = slurp(source("docs/DEPLOY.md"));
  const std::size_t start = deploy.find("\n    " + from) + 1;
  std::size_t end = start;  // the blank lines inside the example are followed by indented ones
  do
    end = deploy.find("\n\n", end + 1);
  while (deploy.compare(end + 2, 4, "    ") == 0);
  std::string text = deploy.substr(start, end - start);
  for (const auto &[name, value] : values)
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size()))
      text.replace(at, name.size(), value);
  return text;
}

// A transaction typed over the connection reaches the terminal's own journal, and the screen's code-page
// bytes reach the pane as the locale's characters; then the connection drops mid-panel and vekhost ends
// with it, the panel as cancelled, the journal keeping what was sent.
TEST(SshLogin, ATransactionReachesTheJournalAndADroppedConnectionEndsTheSession) {
  if (access("/usr/sbin/sshd", X_OK) != 0 || std::system("command -v ssh tmux >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "sshd, ssh or tmux is missing: scripts/setup-machine installs them";
  // sshd run by a user other than root logs in only that user, and must be able to give each session's
  // terminal to the group tty: not where devpts makes terminals without gid=5, as in some containers.
  const passwd *user = getpwuid(geteuid());
  const group *tty = getgrnam("tty");
  const int pty = posix_openpt(O_RDWR | O_NOCTTY);
  const bool gives = !tty || chown(ptsname(pty), geteuid(), tty->gr_gid) == 0;
  close(pty);
  if (!gives)
    GTEST_SKIP() << "sshd run by " << user->pw_name << " cannot give terminals to the group tty here";
  Server s;
  const std::string &d = s.dir.path();
  std::filesystem::create_directory(d + "/data");
  s.dir.write("data/prog.lua", one_field_program("SSH PANEL \xe4", "vek.command('TRANMSG Y CANCELLED')\n"));

  const std::map<std::string, std::string> values = {{"DIR", d},
                                                     {"PORT", std::to_string(free_port())},
                                                     {"USER", user->pw_name},
                                                     {"VEKHOST", built("host/vekhost")}};
  s.dir.write("sshd_config", example("Port PORT", values));
  if ((s.sshd = fork()) == 0) {  // the keys, /run/sshd when root, then sshd
    setpgid(0, 0);
    dup2(open((d + "/sshd.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    exec_in(d, "/bin/sh", {"-ec", example("ssh-keygen", values)});
  }
  setpgid(s.sshd, s.sshd);
  ASSERT_TRUE(
      eventually([&] { return s.dir.read("sshd.log").find("Server listening") != std::string::npos; }, 10000))
      << s.dir.read("sshd.log");

  ASSERT_EQ(std::system(
                (s.tmux + "new-session -d -s hh -x 80 -y 30 \"" + example("ssh -F", values) + "\"").c_str()),
            0);
  ASSERT_TRUE(eventually([&] { return s.pane().find("SSH PANEL \u00e4") != std::string::npos; }, 20000))
      << s.pane() << slurp(d + "/sshd.log");
  usleep(500000);  // the panel drops keys typed before its field waits for them
  std::system((s.tmux + "send-keys -t hh abc F10").c_str());
  const std::string line = " hh-07 1 1 25TRANMSG Y NAME ABC       \n";
  ASSERT_TRUE(
      eventually([&] { return slurp(d + "/data/journal/hh-07.log").find(line) != std::string::npos; }, 20000))
      << s.pane() << slurp(d + "/data/journal/hh-07.log");
  ASSERT_EQ(processes_naming(d).size(), 1u) << "vekhost waits on the next panel";

  std::system((s.tmux + "kill-server").c_str());  // the client goes, and the connection with it
  EXPECT_TRUE(eventually([&] { return processes_naming(d).empty(); }, 10000)) << "vekhost still runs";
  const std::string journal = slurp(d + "/data/journal/hh-07.log");  // each line after its date and time
  EXPECT_EQ(journal.substr(19, line.size()) + journal.substr(19 + line.size() + 19),
            line + " hh-07 2 1 19TRANMSG Y CANCELLED\n");
}

}  // namespace
}  // namespace vektest
