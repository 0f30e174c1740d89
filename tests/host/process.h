// Runs the built vekhost and vekhelp as an installer would, in a scratch folder of files made by the
// test, and keeps what they wrote.
#ifndef VEKPANEL_TESTS_HOST_PROCESS_H
#define VEKPANEL_TESTS_HOST_PROCESS_H

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vektest {

struct Outcome {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out, err;
  std::string first_error_line() const { return err.substr(0, err.find('\n')); }
};

// A fresh folder under the system's temporary folder, removed when the object goes.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;

  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }
  std::string write(const std::string &name, const std::string &bytes) const;  // returns the path
  std::string read(const std::string &name) const;

 private:
  std::string path_;
};

namespace process_detail {

inline std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return std::move(bytes).str();
}

}  // namespace process_detail

inline Scratch::Scratch() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vekhost-test-XXXXXX").string();
  path_ = mkdtemp(pattern.data()) ? pattern : std::string();
}

inline Scratch::~Scratch() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

inline std::string Scratch::write(const std::string &name, const std::string &bytes) const {
  std::ofstream(file(name), std::ios::binary) << bytes;
  return file(name);
}

inline std::string Scratch::read(const std::string &name) const {
  return process_detail::slurp(file(name));
}

// Built programs, found beside the test executable in the build tree (e.g. "host/vekhost").
inline std::string built(const std::string &relative) {
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::filesystem::path tests =
      std::filesystem::path(std::string(self, n > 0 ? static_cast<std::size_t>(n) : 0)).parent_path();
  return (tests.parent_path() / relative).string();
}

// The source tree, for the demo's files.
inline std::string source(const std::string &relative) {
  return (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / relative).string();
}

// Runs a program with arguments, standard input from /dev/null, in `directory`.
inline Outcome run(const std::string &program, const std::vector<std::string> &args,
                   const std::string &directory) {
  Outcome result;
  const std::string out = directory + "/.stdout", err = directory + "/.stderr";
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(directory.c_str()) != 0) _exit(127);
    const int in = open("/dev/null", O_RDONLY);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(o, 1);
    dup2(e, 2);
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &a : args)
      argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = process_detail::slurp(out);
  result.err = process_detail::slurp(err);
  return result;
}

// A program on a pseudo-terminal of its own, the controlling terminal of its session as at a login:
// its process id (-1 when it could not start) and the terminal's master side, not blocking.
struct OnTerminal {
  pid_t pid = -1;
  int master = -1;
  std::string seen;  // what it wrote to the terminal so far
};

inline OnTerminal run_on_terminal(const std::string &program, const std::vector<std::string> &args,
                                  const std::string &directory) {
  OnTerminal t;
  winsize size{30, 100, 0, 0};
  t.pid = forkpty(&t.master, nullptr, nullptr, &size);
  if (t.pid == 0) {
    setenv("TERM", "xterm", 1);
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &a : args)
      argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    if (chdir(directory.c_str()) == 0) execv(program.c_str(), argv.data());
    _exit(127);
  }
  if (t.master >= 0) fcntl(t.master, F_SETFL, O_NONBLOCK);
  return t;
}

// Reads what the program writes for `ms` milliseconds, or until `text` shows when it is given.
inline bool read_terminal(OnTerminal &t, int ms, const std::string &text = "") {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    char bytes[4096];
    ssize_t n;
    while ((n = read(t.master, bytes, sizeof bytes)) > 0)
      t.seen.append(bytes, static_cast<std::size_t>(n));
    if (!text.empty() && t.seen.find(text) != std::string::npos) return true;
    if (std::chrono::steady_clock::now() >= limit) return text.empty();
    pollfd fd = {t.master, POLLIN, 0};
    poll(&fd, 1, 20);
  }
}

// CPU time (user and system) a running process has used, in milliseconds; -1 when it is gone.
inline long cpu_ms(pid_t pid) {
  const std::string stat = process_detail::slurp("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t name_end = stat.rfind(')');  // fields 14 and 15 follow the name in parentheses
  long user = 0, system = 0;
  if (name_end == std::string::npos ||
      std::sscanf(stat.c_str() + name_end + 1, "%*s %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld", &user,
                  &system) != 2)
    return -1;
  return (user + system) * 1000 / sysconf(_SC_CLK_TCK);
}

// Waits up to `ms` milliseconds for a child to end: its wait status, or -1 while it still runs.
inline int wait_for_end(pid_t pid, int ms) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) != pid) {
    if (std::chrono::steady_clock::now() >= limit) return -1;
    usleep(10000);
  }
  return status;
}

}  // namespace vektest

#endif
