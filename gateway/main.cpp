// vekweb: serves the panels to browsers. Each handheld's page opens a WebSocket; each terminal id runs
// one vekhost session that outlives dropped connections for a grace period.
#include <getopt.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "gateway.h"

namespace {

constexpr const char *kUsage =
    "usage: vekweb [options] --program PROGRAM.lua\n"
    "\n"
    "Serves the panels to browsers: the page, a WebSocket per handheld, a vekhost session per terminal.\n"
    "\n"
    "  --listen ADDR:PORT     address to listen on (default 127.0.0.1:8080; [::1]:8080 for IPv6)\n"
    "  --program FILE         the transaction program each session runs\n"
    "  --data DIR             the sessions' data directory (default: the program's folder)\n"
    "  --module PATH          the panel module the sessions load (default: vekhost's own)\n"
    "  --code-page NAME       code page of the screen's bytes (default iso-8859-1)\n"
    "  --vekhost PATH         the session program (default: beside vekweb, else from PATH)\n"
    "  --web DIR              the page files (default: the installed ones)\n"
    "  --token-file FILE      shared access token the handhelds log in with\n"
    "  --password-file FILE   lines TERMINAL:HASH, HASH from `openssl passwd -6`\n"
    "  --origin ORIGIN        an allowed page origin, such as https://scan.example (repeatable;\n"
    "                         default: the host the request came to)\n"
    "  --grace SECONDS        how long a session waits for its connection to come back (default 600)\n"
    "  --max-sessions N       sessions at most (default 1000)\n"
    "  --max-message BYTES    largest frame a page may send (default 4096)\n"
    "  --scan-prefix TEXT, --scan-suffix TEXT\n"
    "                         what the handheld's scanner types around a barcode (escapes such as \\x02)\n"
    "  --scan-burst-ms MS     typed faster than MS ms a character is a scan (default 30)\n"
    "  --scan-min-length N    shortest burst taken as a scan (default 4)\n"
    "  --ship                 keep the shipper of the data directory's journals running (vekship)\n"
    "  --help                 this text\n";

int fail(const std::string &message) {
  std::fprintf(stderr, "vekweb: %s\n", message.c_str());
  return 2;
}

bool whole_number(const std::string &text, long low, long high, long *value) {
  char *end = nullptr;
  errno = 0;
  *value = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && errno == 0 && *value >= low && *value <= high;
}

std::string executable_folder() {
  std::error_code error;
  return std::filesystem::canonical("/proc/self/exe", error).parent_path().string();
}

bool executable(const std::string &path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// vekhost beside vekweb (installed), in the build tree, or on PATH.
std::string find_vekhost() {
  const std::string here = executable_folder();
  for (const std::string &candidate : {here + "/vekhost", here + "/../host/vekhost"})
    if (executable(candidate)) return candidate;
  const char *path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');)
    if (!folder.empty() && executable(folder + "/vekhost")) return folder + "/vekhost";
  return "";
}

// The installed page beside the installed program, else the page's sources in the build tree.
std::string default_web() {
  const std::string installed = executable_folder() + "/" VEKWEB_INSTALLED_WEB;
  std::error_code error;
  return std::filesystem::is_directory(installed, error) ? installed : VEKWEB_SOURCE_WEB;
}

// The scan framing as the page sees it: characters, each byte through the code page.
std::string shown(const std::string &bytes, const vekweb::Glyphs &glyphs) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    vekweb::append_utf8(out, byte < 128 ? byte : glyphs[byte]);
  }
  return out;
}

int parse(int argc, char **argv, vekweb::Options *o) {
  enum {
    kListen = 1000,
    kProgram,
    kData,
    kModule,
    kCodePage,
    kVekhost,
    kWeb,
    kToken,
    kPasswords,
    kOrigin,
    kGrace,
    kMaxSessions,
    kMaxMessage,
    kPrefix,
    kSuffix,
    kBurst,
    kMinLength,
    kShip,
    kHelp
  };
  static const option kOptions[] = {
      {"listen", required_argument, nullptr, kListen},
      {"program", required_argument, nullptr, kProgram},
      {"data", required_argument, nullptr, kData},
      {"module", required_argument, nullptr, kModule},
      {"code-page", required_argument, nullptr, kCodePage},
      {"vekhost", required_argument, nullptr, kVekhost},
      {"web", required_argument, nullptr, kWeb},
      {"token-file", required_argument, nullptr, kToken},
      {"password-file", required_argument, nullptr, kPasswords},
      {"origin", required_argument, nullptr, kOrigin},
      {"grace", required_argument, nullptr, kGrace},
      {"max-sessions", required_argument, nullptr, kMaxSessions},
      {"max-message", required_argument, nullptr, kMaxMessage},
      {"scan-prefix", required_argument, nullptr, kPrefix},
      {"scan-suffix", required_argument, nullptr, kSuffix},
      {"scan-burst-ms", required_argument, nullptr, kBurst},
      {"scan-min-length", required_argument, nullptr, kMinLength},
      {"ship", no_argument, nullptr, kShip},
      {"help", no_argument, nullptr, kHelp},
      {nullptr, 0, nullptr, 0},
  };
  static char name[] = "vekweb";
  argv[0] = name;
  std::string listen = "127.0.0.1:8080", token_file, password_file, code_page = "iso-8859-1", prefix, suffix;
  std::string data;  // the sessions' data directory, when given
  bool ship = false;
  long n = 0;
  for (int c; (c = getopt_long(argc, argv, "+h", kOptions, nullptr)) != -1;) {
    const std::string value = optarg ? optarg : "";
    switch (c) {
      case kListen:
        listen = value;
        break;
      case kProgram:
        o->program = value;
        break;
      case kData:
        data = value;
        [[fallthrough]];
      case kModule:
        o->host_args.insert(o->host_args.end(), {c == kData ? "--data" : "--module", value});
        break;
      case kCodePage:
        code_page = value;
        o->host_args.insert(o->host_args.end(), {"--code-page", value});
        break;
      case kShip:  // each session makes sure the shipper runs; a second one for the directory ends at once
        o->host_args.emplace_back("--ship");
        ship = true;
        break;
      case kVekhost:
        o->vekhost = value;
        break;
      case kWeb:
        o->web = value;
        break;
      case kToken:
        token_file = value;
        break;
      case kPasswords:
        password_file = value;
        break;
      case kOrigin:
        o->origins.push_back(value);
        break;
      case kGrace:
        if (!whole_number(value, 1, 7 * 24 * 3600, &n)) return fail("--grace wants seconds, 1 or more");
        o->grace_seconds = static_cast<int>(n);
        break;
      case kMaxSessions:
        if (!whole_number(value, 1, 100000, &n)) return fail("--max-sessions wants a number, 1 or more");
        o->max_sessions = static_cast<int>(n);
        break;
      case kMaxMessage:
        if (!whole_number(value, 256, 1 << 20, &n)) return fail("--max-message wants bytes, 256 to 1048576");
        o->max_message = static_cast<std::size_t>(n);
        break;
      case kPrefix:
      case kSuffix:
        if (std::string why; !vekterm::parse_escapes(value, c == kPrefix ? &prefix : &suffix, &why))
          return fail(value + ": " + why);
        break;
      case kBurst:
        if (!whole_number(value, 1, 1000, &n)) return fail("--scan-burst-ms wants 1 to 1000");
        o->scan.burst_ms = static_cast<int>(n);
        break;
      case kMinLength:
        if (!whole_number(value, 1, 97, &n)) return fail("--scan-min-length wants 1 to 97");
        o->scan.min_length = static_cast<int>(n);
        break;
      case kHelp:
        std::fputs(kUsage, stdout);
        std::exit(0);
      default:
        return 2;  // getopt_long said why
    }
  }
  if (o->program.empty() && optind < argc) o->program = argv[optind++];
  if (optind < argc) return fail(std::string("unexpected argument ") + argv[optind]);
  if (o->program.empty()) return fail("no program given (--program FILE; see --help)");
  if (access(o->program.c_str(), R_OK) != 0) return fail("cannot read the program " + o->program);
  if (ship) {  // the shipper's figures join the gateway's own on /metrics
    if (data.empty()) data = std::filesystem::path(o->program).parent_path().string();
    o->ship_metrics = (data.empty() ? std::string(".") : data) + "/ship/vekship.prom";
  }

  const std::size_t colon = listen.rfind(':');
  if (colon == std::string::npos || !whole_number(listen.substr(colon + 1), 0, 65535, &n))
    return fail("--listen wants ADDRESS:PORT, not " + listen);
  o->address = listen.substr(0, colon);
  if (o->address.size() > 2 && o->address.front() == '[' && o->address.back() == ']')
    o->address = o->address.substr(1, o->address.size() - 2);
  o->port = static_cast<unsigned short>(n);

  if (!vekterm::remote::code_page_glyphs(code_page, &o->glyphs))
    return fail("unknown code page " + code_page);
  o->scan.prefix = shown(prefix, o->glyphs);
  o->scan.suffix = shown(suffix, o->glyphs);

  if (token_file.empty() && password_file.empty())
    return fail("handhelds need a way to log in: give --token-file or --password-file");
  if (!token_file.empty()) {
    if (!vekweb::read_file(token_file, &o->token)) return fail("cannot read the token file " + token_file);
    o->token.erase(o->token.find_last_not_of(" \t\r\n") + 1);
    if (o->token.size() < 16) return fail("the token in " + token_file + " is shorter than 16 characters");
  }
  if (!password_file.empty()) {
    std::string text;
    if (!vekweb::read_file(password_file, &text))
      return fail("cannot read the password file " + password_file);
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
      ++number;
      line.erase(line.find_last_not_of(" \t\r") + 1);
      if (line.empty() || line[0] == '#') continue;
      const std::size_t at = line.find(':');
      if (at == std::string::npos || !vekterm::valid_terminal_id(line.substr(0, at)) || at + 1 == line.size())
        return fail(password_file + ":" + std::to_string(number) + ": not TERMINAL:HASH");
      o->password_hashes.emplace_back(line.substr(0, at), line.substr(at + 1));
    }
  }

  if (o->vekhost.empty() && (o->vekhost = find_vekhost()).empty())
    return fail("vekhost not found beside vekweb or on PATH (--vekhost PATH)");
  if (!executable(o->vekhost)) return fail("cannot run " + o->vekhost);
  if (o->web.empty()) o->web = default_web();
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  vekweb::Options options;
  if (const int status = parse(argc, argv, &options)) return status;
  // Every session holds a socket to its page and one to its process: well over the usual 1024.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  std::signal(SIGPIPE, SIG_IGN);
  return vekweb::serve(options);
}
