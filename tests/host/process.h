// Runs the built vekhost and vekhelp as an installer would, in a scratch folder of files made by the
// test, and keeps what they wrote.
#ifndef VEKPANEL_TESTS_HOST_PROCESS_H
#define VEKPANEL_TESTS_HOST_PROCESS_H

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
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

}  // namespace vektest

#endif
