// vekhelp: compiles help files and validation lists into the images the terminal serves, turns images
// back into text, and checks both for what would go wrong on the terminal.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "helpfile.h"

namespace {

constexpr const char *kUsage =
    "usage: vekhelp compile [--list | --records] [--pad] SOURCE [-o IMAGE]\n"
    "       vekhelp decompile [--list | --records] IMAGE [-o TEXT]\n"
    "       vekhelp check [--list | --records] [--no-fixed] FILE...\n"
    "\n"
    "A help file has one record a line, \"0001 text\"; a list has one value a line. Blank lines and lines\n"
    "starting with # are skipped; in a list, a leading backslash is dropped (\\# stands for #).\n"
    "The kind comes from --list or --records, else from the extension (.help, .list), else from the lines.\n"
    "\n"
    "  compile     writes the sorted image (default: the source's name with .VAL)\n"
    "  --pad       fills help records with blanks to one length, so the panel's search finds them all\n"
    "  decompile   writes the records of an image as text (default: standard output)\n"
    "  check       reports order, duplicates, records the panel's search misses, texts too long to\n"
    "              show, and missing records that the panel shows by itself (not with --no-fixed);\n"
    "              exits with 1 when it found anything\n";

enum Status : int { kClean = 0, kFindings = 1, kUsageError = 2 };

struct Command {
  std::string verb;
  std::vector<std::string> files;
  std::string output;
  bool pad = false, fixed = true;
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

bool write_file(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "vekhelp: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
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
  if (c.files.size() != 1) return std::fprintf(stderr, "vekhelp: compile takes one source\n"), kUsageError;
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
    if (f.error) report(file, f), failed = true;
  if (failed) return kFindings;
  if (c.pad && file.kind != vekhelp::Kind::Help) {
    std::fprintf(stderr, "vekhelp: --pad is for help files; padding a list would change its values\n");
    return kUsageError;
  }
  return write_file(c.output.empty() ? default_image_name(c.files[0]) : c.output,
                    vekhelp::make_image(file, c.pad))
             ? kClean
             : kFindings;
}

int decompile(const Command &c) {
  if (c.files.size() != 1) return std::fprintf(stderr, "vekhelp: decompile takes one image\n"), kUsageError;
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
  if (c.files.empty()) return std::fprintf(stderr, "vekhelp: check takes one or more files\n"), kUsageError;
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

}  // namespace

int main(int argc, char **argv) {
  Command c;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return kClean;
    } else if (a == "--list") {
      c.forced = true, c.kind = vekhelp::Kind::List;
    } else if (a == "--records") {
      c.forced = true, c.kind = vekhelp::Kind::Help;
    } else if (a == "--pad") {
      c.pad = true;
    } else if (a == "--no-fixed") {
      c.fixed = false;
    } else if (a == "-o") {
      if (++i >= argc) return std::fprintf(stderr, "vekhelp: -o needs a file name\n"), kUsageError;
      c.output = argv[i];
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "vekhelp: unknown option %s (see --help)\n", a.c_str());
      return kUsageError;
    } else if (c.verb.empty()) {
      c.verb = a;
    } else {
      c.files.push_back(a);
    }
  }
  if (c.verb == "compile") return compile(c);
  if (c.verb == "decompile") return decompile(c);
  if (c.verb == "check") return check(c);
  std::fputs(kUsage, stderr);
  return kUsageError;
}
