// vekhelp: compiles help files and validation lists into the images the terminal serves, turns images
// back into text, and checks both for what would go wrong on the terminal.
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "helpfile.h"

namespace {

constexpr const char *kUsage =
    "usage: vekhelp compile [--list | --records] SOURCE [-o IMAGE]\n"
    "       vekhelp decompile [--list | --records] IMAGE [-o TEXT]\n"
    "       vekhelp check [--list | --records] [--no-fixed] FILE...\n"
    "\n"
    "A help file has one record a line, \"0001 text\"; a list has one value a line. Blank lines and lines\n"
    "starting with # are skipped; in a list, a leading backslash is dropped (\\# stands for #).\n"
    "The kind comes from --list or --records, else from the extension (.help, .list), else from the lines.\n"
    "\n"
    "  compile     writes the sorted image (default: the source's name with .VAL)\n"
    "  decompile   writes the records of an image as text (default: standard output)\n"
    "  check       reports records out of order or duplicated, records of an image that the panel's\n"
    "              search misses, texts too long for where they are shown or read, and missing records\n"
    "              that the panel shows by itself (not with --no-fixed); exits with 1 when it found\n"
    "              anything\n"
    "  -o, --output=FILE   where compile or decompile writes\n";

enum Status : int { kClean = 0, kFindings = 1, kUsageError = 2 };

struct Command {
  std::string verb;
  std::vector<std::string> files;
  std::string output;
  bool fixed = true;
  bool forced = false;
  vekhelp::Kind kind = vekhelp::Kind::Help;
};

void report(const vekhelp::File &file, const vekhelp::Finding &f) {
  const char *level = f.error ? "error" : "warning";
  if (f.line == 0)
    std::fprintf(stderr, "%s: %s: %s\n", file.name.c_str(), level, f.message.c_str());
  else if (file.image)
    std::fprintf(stderr, "%s:record %d: %s: %s\n", file.name.c_str(), f.line, level, f.message.c_str());
  else
    std::fprintf(stderr, "%s:%d: %s: %s\n", file.name.c_str(), f.line, level, f.message.c_str());
}

// Writes a temporary file beside `path` and renames it over `path` once it is complete, so that a
// terminal reading the file finds the old contents or the new ones, never a part. On failure the
// temporary file is removed and `path` is left as it was.
bool write_file(const std::string &path, const std::string &bytes) {
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    std::fprintf(stderr, "vekhelp: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  const mode_t mask = umask(0);  // mkstemp makes the file private; give it the mode a new file gets
  umask(mask);
  int error = fchmod(fd, 0666 & ~mask) == 0 ? 0 : errno;
  for (std::size_t done = 0; error == 0 && done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else if (n == 0 || errno != EINTR)
      error = n == 0 ? EIO : errno;
  }
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    std::fprintf(stderr, "vekhelp: cannot write %s: %s\n", path.c_str(), std::strerror(error));
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::string default_image_name(const std::string &source) {
  const std::size_t slash = source.rfind('/');
  const std::size_t dot = source.rfind('.');
  const std::size_t stem_end =
      (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ? dot : source.size();
  return source.substr(0, stem_end) + ".VAL";
}

int compile(const Command &c) {
  if (c.files.size() != 1) {
    std::fprintf(stderr, "vekhelp: compile takes one source\n");
    return kUsageError;
  }
  vekhelp::File file;
  if (!vekhelp::read_file(c.files[0], c.forced ? &c.kind : nullptr, &file)) {
    for (const auto &f : file.findings)
      report(file, f);
    return kFindings;
  }
  if (file.image) {
    std::fprintf(stderr, "%s: error: this is an image already (decompile it to get its text)\n",
                 file.name.c_str());
    return kFindings;
  }
  // Only what would make a wrong image stops the compiler; the rest is for check.
  bool failed = false;
  for (const auto &f : vekhelp::check(file, false))
    if (f.error) {
      report(file, f);
      failed = true;
    }
  if (failed) return kFindings;
  return write_file(c.output.empty() ? default_image_name(c.files[0]) : c.output, vekhelp::make_image(file))
             ? kClean
             : kFindings;
}

int decompile(const Command &c) {
  if (c.files.size() != 1) {
    std::fprintf(stderr, "vekhelp: decompile takes one image\n");
    return kUsageError;
  }
  vekhelp::File file;
  if (!vekhelp::read_file(c.files[0], c.forced ? &c.kind : nullptr, &file)) {
    for (const auto &f : file.findings)
      report(file, f);
    return kFindings;
  }
  for (const auto &f : file.findings)
    report(file, f);
  std::string text, error;
  if (!vekhelp::write_text(file, &text, &error)) {
    std::fprintf(stderr, "%s: error: %s\n", file.name.c_str(), error.c_str());
    return kFindings;
  }
  if (c.output.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return kClean;
  }
  return write_file(c.output, text) ? kClean : kFindings;
}

int check(const Command &c) {
  if (c.files.empty()) {
    std::fprintf(stderr, "vekhelp: check takes one or more files\n");
    return kUsageError;
  }
  int status = kClean;
  for (const std::string &path : c.files) {
    vekhelp::File file;
    vekhelp::read_file(path, c.forced ? &c.kind : nullptr, &file);
    for (const auto &f : vekhelp::check(file, c.fixed)) {
      report(file, f);
      status = kFindings;
    }
  }
  return status;
}

// Options and their arguments may come anywhere among the verb and the files; "--" ends them.
bool parse(int argc, char **argv, Command *c, bool *help) {
  static const option kOptions[] = {
      {"list", no_argument, nullptr, 'l'},     {"records", no_argument, nullptr, 'r'},
      {"no-fixed", no_argument, nullptr, 'n'}, {"output", required_argument, nullptr, 'o'},
      {"help", no_argument, nullptr, 'h'},     {nullptr, 0, nullptr, 0}};
  static char name[] = "vekhelp";
  argv[0] = name;  // getopt_long names the program by it in its messages
  for (int opt; (opt = getopt_long(argc, argv, "ho:", kOptions, nullptr)) != -1;) {
    switch (opt) {
      case 'l':
        c->forced = true, c->kind = vekhelp::Kind::List;
        break;
      case 'r':
        c->forced = true, c->kind = vekhelp::Kind::Help;
        break;
      case 'n':
        c->fixed = false;
        break;
      case 'o':
        c->output = optarg;
        break;
      case 'h':
        *help = true;
        break;
      default:  // getopt_long has said what is wrong
        return false;
    }
  }
  if (optind < argc) c->verb = argv[optind++];
  c->files.assign(argv + optind, argv + argc);
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  Command c;
  bool help = false;
  if (!parse(argc, argv, &c, &help)) {
    std::fputs("Try 'vekhelp --help' for more information.\n", stderr);
    return kUsageError;
  }
  if (help) {
    std::fputs(kUsage, stdout);
    return kClean;
  }
  if (c.verb == "compile") return compile(c);
  if (c.verb == "decompile") return decompile(c);
  if (c.verb == "check") return check(c);
  std::fputs(kUsage, stderr);
  return kUsageError;
}
