// vekweb's server: the page files, /metrics and the WebSocket of browser sessions, each session a vekhost
// process on one end of a socket pair. One io_context on one thread runs all of it.
#ifndef VEKWEB_GATEWAY_H
#define VEKWEB_GATEWAY_H

#include <string>
#include <vector>

#include "protocol.h"

namespace vekweb {

struct Options {
  std::string address = "127.0.0.1";
  unsigned short port = 8080;
  std::string vekhost;                 // the session program, resolved to a path
  std::vector<std::string> host_args;  // vekhost's options before --remote, and the program after it
  std::string program;
  std::string web;  // the page files
  int grace_seconds = 600;
  int max_sessions = 1000;
  std::size_t max_message = 4096;
  std::string token;                                                 // "" without --token-file
  std::vector<std::pair<std::string, std::string>> password_hashes;  // terminal, crypt(3) hash
  std::vector<std::string> origins;  // allowed Origin values; empty: the Host the request came to
  Glyphs glyphs{};
  ScanSettings scan;
};

// Serves until SIGTERM or SIGINT; the exit status.
int serve(const Options &options);

}  // namespace vekweb

#endif
