// Runs the built vekhost and vekhelp as an installer would, in a scratch folder of files made by the
// test, and keeps what they wrote.
#ifndef VEKPANEL_TESTS_HOST_PROCESS_H
#define VEKPANEL_TESTS_HOST_PROCESS_H

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vektest {

inline std::string slurp(const std::string &path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return std::move(bytes).str();
}

// Waits up to `ms` milliseconds for `done` to hold, asking every 10 ms.
template <typename Done>
bool eventually(Done done, int ms) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (; !done(); usleep(10000))
    if (std::chrono::steady_clock::now() > limit) return false;
  return true;
}

// How many times `what` occurs in `text`.
inline int count(const std::string &text, const std::string &what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

// A fresh folder under the system's temporary folder, removed when the object goes.
struct Scratch {
  std::string path_ = (std::filesystem::temp_directory_path() / "vektest-XXXXXX").string();
  std::error_code ignored_;
  Scratch() { (void)!mkdtemp(path_.data()); }
  ~Scratch() { std::filesystem::remove_all(path_, ignored_); }
  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }
  std::string write(const std::string &name, const std::string &bytes) const {
    std::ofstream(file(name), std::ios::binary) << bytes;
    return file(name);
  }
  std::string read(const std::string &name) const { return slurp(file(name)); }
};

// Built programs, found beside the test executable in the build tree (e.g. "host/vekhost").
inline std::string built(const std::string &relative) {
  return (std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / relative).string();
}

// The source tree, for the demo's files.
inline std::string source(const std::string &relative) {
  return (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / relative).string();
}

// In a child: runs `program` with `args` in `directory`, or ends with status 127.
[[noreturn]] inline void exec_in(const std::string &directory, const std::string &program,
                                 const std::vector<std::string> &args) {
  std::vector<char *> argv{const_cast<char *>(program.c_str())};
  for (const std::string &a : args)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  if (chdir(directory.c_str()) == 0) execv(program.c_str(), argv.data());
  _exit(127);
}

// A transaction program showing a panel of one field under `title`: each confirmed panel sends the
// message "NAME <value>", a cancelled one ends the loop and `after` runs.
inline std::string one_field_program(const std::string &title, const std::string &after = "") {
  return R"(
vek.var[11], vek.var[12] = "FI=1,INPUT=ALPHA,LEN=10,ROW=2,COL=10,RUV=1", "ERET=N,REASON=2"
while true do
  vek.clear()
  vek.write(0, 0, ")" +
         title + R"(")
  vek.command("CLEAR_P")
  vek.command("SET_FIE VAR=11")
  if vek.command("EXEC_PA VAR=12") ~= 1 then break end
  vek.command("TRANMSG Y NAME " .. vek.var[1])
end
)" + after;
}

struct Outcome {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out, err;
  std::string first_error_line() const { return err.substr(0, err.find('\n')); }
};

// Runs a program with arguments, standard input from /dev/null, in `directory`.
inline Outcome run(const std::string &program, const std::vector<std::string> &args,
                   const std::string &directory) {
  const std::string out = directory + "/.stdout", err = directory + "/.stderr";
  const pid_t child = fork();
  if (child == 0) {
    dup2(open("/dev/null", O_RDONLY), 0);
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    exec_in(directory, program, args);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
}

}  // namespace vektest

#endif
