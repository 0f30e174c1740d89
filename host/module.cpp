// Finding and loading the panel module.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "host.h"

namespace vekhost {
namespace {

std::string executable_directory() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<std::size_t>(n));
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool regular_file(const std::string &path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

// The module is looked for beside the executable: where the build tree puts it, then where an
// installation puts it. Both paths are relative to the executable's folder, so a moved build tree or
// an installation under another prefix still finds its own module.
std::string locate_module(const std::string &given, std::string *error) {
  if (!given.empty()) {
    // A name without a folder would send dlopen through the library search path.
    if (regular_file(given)) return given.find('/') == std::string::npos ? "./" + given : given;
    *error = "panel module " + given + " not found";
    return {};
  }
  const std::string here = executable_directory();
  for (const char *relative : {VEKHOST_BUILD_MODULE, VEKHOST_INSTALLED_MODULE}) {
    const std::string candidate = here + "/" + relative;
    if (regular_file(candidate)) return candidate;
  }
  *error = "panel module not found beside " + here + " (give one with --module PATH)";
  return {};
}

EntryPoint load_module(const std::string &path, std::string *error) {
  // RTLD_NOW: a terminal service the module imports and nobody provides is an error now, not a crash
  // in the middle of a panel.
  void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char *why = dlerror();
    *error = "cannot load panel module " + path + ": " + (why ? why : "unknown reason");
    return nullptr;
  }
  void *entry = dlsym(module, "main");
  if (!entry) {
    *error = "panel module " + path + " has no entry point main";
    dlclose(module);
    return nullptr;
  }
  return reinterpret_cast<EntryPoint>(entry);
}

}  // namespace vekhost
