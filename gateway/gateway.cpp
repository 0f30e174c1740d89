#include "gateway.h"

#include <crypt.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>  // before Asio, whose headers use std::exchange

#include <boost/asio.hpp>
#include <boost/beast.hpp>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

namespace vekweb {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace fs = std::filesystem;
using tcp = asio::ip::tcp;
using seqpacket = asio::generic::seq_packet_protocol;
using Clock = std::chrono::steady_clock;
using boost::system::error_code;

// Time a session process is given to end by itself once its socket is closed, and again after SIGTERM.
constexpr auto kEndAllowance = std::chrono::seconds(3);
// A connection is pinged when it has been quiet for half of this, and dropped when the ping is not
// answered in the other half: a handheld that walked out of range loses its connection, not its session.
constexpr auto kIdleTimeout = std::chrono::seconds(30);
// A page has this long to send its hello once the WebSocket is open.
constexpr auto kHelloTimeout = std::chrono::seconds(20);
// A viewer further behind than this many frames is too slow to follow its session; it is dropped.
constexpr std::size_t kMaxQueuedFrames = 2000;

void note(const std::string &line) {
  std::fprintf(stderr, "vekweb: %s\n", line.c_str());
}

// Equal secrets, in a time that does not depend on where they differ.
bool same_secret(std::string_view a, std::string_view b) {
  unsigned diff = a.size() != b.size();
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i)
    diff |= static_cast<unsigned char>(i < a.size() ? a[i] : 0) ^
            static_cast<unsigned char>(i < b.size() ? b[i] : 0);
  return diff == 0;
}

// 128 random bits as 32 hexadecimal digits.
std::string new_token() {
  unsigned char bytes[16];
  for (std::size_t got = 0; got < sizeof bytes;) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  std::string hex;
  for (const unsigned char b : bytes) {
    hex += "0123456789abcdef"[b >> 4];
    hex += "0123456789abcdef"[b & 15];
  }
  return hex;
}

struct Metrics {
  static constexpr double kBuckets[] = {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 5};
  static constexpr const char *kReasons[] = {"credentials", "origin", "in_use",  "max_sessions",
                                             "terminal",    "start",  "stopping"};
  unsigned long started = 0, resumed = 0, ended = 0;
  std::map<std::string, unsigned long> refused;
  unsigned long buckets[std::size(kBuckets)] = {}, observed = 0;
  double sum = 0;

  void observe(double seconds) {
    for (std::size_t i = 0; i < std::size(kBuckets); ++i)
      if (seconds <= kBuckets[i]) ++buckets[i];
    ++observed;
    sum += seconds;
  }

  std::string text(std::size_t open) const {
    std::string out;
    auto metric = [&](const char *name, const char *type, const char *help) {
      out += std::string("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    };
    metric("vekweb_sessions_open", "gauge", "Sessions running, with or without a connection.");
    out += "vekweb_sessions_open " + std::to_string(open) + '\n';
    metric("vekweb_sessions_started_total", "counter", "Sessions started.");
    out += "vekweb_sessions_started_total " + std::to_string(started) + '\n';
    metric("vekweb_sessions_resumed_total", "counter", "Sessions taken up again by a new connection.");
    out += "vekweb_sessions_resumed_total " + std::to_string(resumed) + '\n';
    metric("vekweb_sessions_ended_total", "counter", "Sessions ended.");
    out += "vekweb_sessions_ended_total " + std::to_string(ended) + '\n';
    metric("vekweb_sessions_refused_total", "counter", "Logins refused, by reason.");
    for (const char *reason : kReasons) {
      const auto it = refused.find(reason);
      out += std::string("vekweb_sessions_refused_total{reason=\"") + reason + "\"} " +
             std::to_string(it == refused.end() ? 0 : it->second) + '\n';
    }
    metric("vekweb_key_to_screen_seconds", "histogram",
           "Time from a key or scan received to the next screen update of its session sent out.");
    for (std::size_t i = 0; i < std::size(kBuckets); ++i) {
      char le[32];
      std::snprintf(le, sizeof le, "%g", kBuckets[i]);
      out += std::string("vekweb_key_to_screen_seconds_bucket{le=\"") + le + "\"} " +
             std::to_string(buckets[i]) + '\n';
    }
    out += "vekweb_key_to_screen_seconds_bucket{le=\"+Inf\"} " + std::to_string(observed) + '\n';
    char total[64];
    std::snprintf(total, sizeof total, "%.9f", sum);
    out += std::string("vekweb_key_to_screen_seconds_sum ") + total + '\n';
    out += "vekweb_key_to_screen_seconds_count " + std::to_string(observed) + '\n';
    return out;
  }
};

class Session;
class Viewer;

class Gateway {
 public:
  Gateway(asio::io_context &io, const Options &options) : io_(io), options_(options), acceptor_(io) {}
  bool start(std::string *why);
  void hello(const std::shared_ptr<Viewer> &viewer, const Frame &frame);
  bool origin_allowed(const http::request<http::string_body> &request) const;
  void watch_end(pid_t pid, const std::string &terminal);

  asio::io_context &io_;
  const Options &options_;
  Metrics metrics_;
  std::unordered_map<std::string, std::shared_ptr<Session>> sessions_;  // by terminal id
  std::string web_root_;                                                // canonical; "" when missing

 private:
  void accept();
  void reap();
  void stop();
  bool authorised(const Frame &frame) const;
  std::shared_ptr<Session> spawn(const std::string &terminal);
  void begin(const std::shared_ptr<Viewer> &viewer, const Frame &frame);

  tcp::acceptor acceptor_;
  asio::steady_timer retry_{io_};
  asio::signal_set child_signal_{io_, SIGCHLD};
  asio::signal_set stop_signals_{io_, SIGTERM, SIGINT};
  struct Child {
    std::string terminal;
    std::shared_ptr<asio::steady_timer> timer;
  };
  std::unordered_map<pid_t, Child> children_;
  // Terminals whose ended session's process still runs, and the logins waiting for it to go: a
  // journal has one writer, so the next session starts only then.
  std::unordered_map<std::string, pid_t> ending_;
  std::unordered_map<std::string, std::vector<std::pair<std::weak_ptr<Viewer>, Frame>>> waiting_;
  bool stopping_ = false;
};

// One WebSocket connection of a page; attached to at most one session.
class Viewer : public std::enable_shared_from_this<Viewer> {
 public:
  Viewer(Gateway &gateway, beast::tcp_stream stream)
      : gateway_(gateway), ws_(std::move(stream)), hello_deadline_(gateway.io_) {}

  void accept(http::request<http::string_body> request, bool origin_ok) {
    beast::get_lowest_layer(ws_).expires_never();
    websocket::stream_base::timeout timeout =
        websocket::stream_base::timeout::suggested(beast::role_type::server);
    timeout.idle_timeout = kIdleTimeout;
    timeout.keep_alive_pings = true;
    ws_.set_option(timeout);
    ws_.read_message_max(gateway_.options_.max_message);
    ws_.text(true);
    ws_.async_accept(request, [self = shared_from_this(), origin_ok](error_code ec) {
      if (ec) return;
      if (!origin_ok) {
        self->refuse("this page's origin is not allowed", "origin", websocket::close_code::policy_error);
        return;
      }
      // A connection that never logs in would hold its socket for as long as it answers pings.
      self->hello_deadline_.expires_after(kHelloTimeout);
      self->hello_deadline_.async_wait([self](error_code e) {
        if (!e && !self->greeted_) self->close(websocket::close_code::policy_error);
      });
      self->read();
    });
  }

  void send(std::string frame) {
    if (closing_) return;
    if (outbox_.size() >= kMaxQueuedFrames) return close(websocket::close_code::try_again_later);
    outbox_.push_back(std::move(frame));
    if (!writing_) write_next();
  }

  // Sends a last frame, then closes.
  void finish(std::string frame, websocket::close_code code) {
    send(std::move(frame));
    close(code);
  }

  void refuse(const std::string &reason, const char *label, websocket::close_code code) {
    ++gateway_.metrics_.refused[label];
    finish(refused_json(reason), code);
  }

  void gone();
  bool open() const { return !gone_ && !closing_; }

  std::shared_ptr<Session> session_;

 private:
  void read() {
    ws_.async_read(buffer_, [self = shared_from_this()](error_code ec, std::size_t) { self->on_read(ec); });
  }
  void on_read(error_code ec);

  void write_next() {
    writing_ = true;
    ws_.async_write(asio::buffer(outbox_.front()), [self = shared_from_this()](error_code ec, std::size_t) {
      self->writing_ = false;
      self->outbox_.pop_front();
      if (ec) {
        self->outbox_.clear();
        return self->gone();
      }
      if (!self->outbox_.empty())
        self->write_next();
      else if (self->closing_)
        self->close_now();
    });
  }

  // No more frames either way: the session (if any) waits for its next connection.
  void close(websocket::close_code code) {
    if (closing_) return;
    closing_ = true;
    code_ = code;
    gone();
    if (!writing_) close_now();
  }
  void close_now() {
    ws_.async_close(code_, [self = shared_from_this()](error_code) {});
  }

  Gateway &gateway_;
  websocket::stream<beast::tcp_stream> ws_;
  beast::flat_buffer buffer_;
  std::deque<std::string> outbox_;
  asio::steady_timer hello_deadline_;
  bool writing_ = false, closing_ = false, greeted_ = false, gone_ = false;
  websocket::close_code code_ = websocket::close_code::normal;
};

// One vekhost process, its socket, and the screen it last sent.
class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Gateway &gateway, std::string terminal, int fd, pid_t pid)
      : gateway_(gateway),
        terminal_(std::move(terminal)),
        token_(new_token()),
        pid_(pid),
        socket_(gateway.io_, seqpacket(AF_UNIX, 0), fd),
        grace_(gateway.io_) {}

  void start() { receive(); }
  const std::string &token() const { return token_; }

  void attach(const std::shared_ptr<Viewer> &viewer, bool resumed) {
    grace_.cancel();
    if (viewer_) {
      const std::shared_ptr<Viewer> old = std::move(viewer_);
      old->session_.reset();
      old->finish(refused_json("the session was taken up by another connection"),
                  websocket::close_code::policy_error);
    }
    viewer_ = viewer;
    viewer->session_ = shared_from_this();
    if (resumed) {
      ++gateway_.metrics_.resumed;
      note("resume " + terminal_);
    }
    const Options &o = gateway_.options_;
    viewer->send(welcome_json(token_, terminal_, taken_, resumed, o.glyphs, o.scan));
    viewer->send(full_screen_json(screen_, taken_, o.glyphs));
  }

  // The viewer's connection is gone: the session waits for the grace period.
  void detach(const Viewer *viewer) {
    if (viewer_.get() != viewer || ended_) return;
    viewer_.reset();
    grace_.expires_after(std::chrono::seconds(gateway_.options_.grace_seconds));
    grace_.async_wait([self = shared_from_this()](error_code ec) {
      if (!ec && !self->viewer_) self->end("the grace period expired");
    });
  }

  // A key or scan. One at or below the highest seq applied was handed to the session before: it is
  // acknowledged again (as far as the module has taken input) and not handed over twice.
  void input(const Frame &frame) {
    if (frame.seq <= applied_) {
      if (viewer_) viewer_->send(screen_json(screen_, {}, taken_, gateway_.options_.glyphs));
      return;
    }
    applied_ = frame.seq;
    in_flight_.push_back({++handed_, frame.seq});
    if (!key_at_) key_at_ = Clock::now();
    post(frame.kind == Frame::Key ? vekterm::remote::key_message(frame.code)
                                  : vekterm::remote::scan_message(frame.type, frame.data));
  }

  // Closing the socket asks the program to stop as a terminal hang-up would: the panel ends as cancelled.
  void end(const std::string &reason) {
    if (ended_) return;
    const std::shared_ptr<Session> self = shared_from_this();
    ended_ = true;
    grace_.cancel();
    error_code ignored;
    socket_.close(ignored);
    const auto it = gateway_.sessions_.find(terminal_);
    if (it != gateway_.sessions_.end() && it->second == self) gateway_.sessions_.erase(it);
    ++gateway_.metrics_.ended;
    note("end " + terminal_ + " (" + reason + ")");
    if (viewer_) {
      const std::shared_ptr<Viewer> viewer = std::move(viewer_);
      viewer->session_.reset();
      viewer->finish(end_json(reason), websocket::close_code::normal);
    }
    gateway_.watch_end(pid_, terminal_);
  }

 private:
  void receive() {
    socket_.async_receive(asio::buffer(received_), flags_,
                          [self = shared_from_this()](error_code ec, std::size_t n) {
                            if (self->ended_) return;
                            if (ec || n == 0) return self->end("the program ended");
                            if (!(self->flags_ & MSG_TRUNC)) self->from_session({self->received_.data(), n});
                            self->receive();
                          });
  }

  void from_session(std::string_view message) {
    const Options &o = gateway_.options_;
    const auto u16 = [&](std::size_t at) {
      return static_cast<unsigned char>(message[at]) | static_cast<unsigned char>(message[at + 1]) << 8;
    };
    if (message[0] == 'U') {
      changed_.clear();
      if (!vekterm::remote::apply_update(message, &screen_, &changed_)) return;
      // The update counts the input the module has taken: the screen it carries shows those keys.
      for (; !in_flight_.empty() && in_flight_.front().first <= screen_.keys; in_flight_.pop_front())
        taken_ = in_flight_.front().second;
      if (viewer_) {
        viewer_->send(screen_json(screen_, changed_, taken_, o.glyphs));
        if (key_at_)
          gateway_.metrics_.observe(std::chrono::duration<double>(Clock::now() - *key_at_).count());
      }
      key_at_.reset();
    } else if (message[0] == 'B' && message.size() == 5 && viewer_) {
      viewer_->send(beep_json(u16(1), u16(3) * 10));
    } else if (message[0] == 'L' && message.size() == 4 && viewer_) {
      viewer_->send(led_json(u16(2) != 0, u16(2) * 10));  // which LED does not matter: the page has one
    }
  }

  void post(std::string message) {
    outbox_.push_back(std::move(message));
    if (outbox_.size() == 1) send_next();
  }
  void send_next() {
    socket_.async_send(asio::buffer(outbox_.front()), 0,
                       [self = shared_from_this()](error_code ec, std::size_t) {
                         if (ec) return self->outbox_.clear();  // the receive side sees the end
                         self->outbox_.pop_front();
                         if (!self->outbox_.empty()) self->send_next();
                       });
  }

  Gateway &gateway_;
  const std::string terminal_, token_;
  const pid_t pid_;
  seqpacket::socket socket_;
  asio::steady_timer grace_;
  std::array<char, vekterm::remote::kMaxMessage> received_{};
  asio::socket_base::message_flags flags_ = 0;
  std::vector<vekterm::remote::Run> changed_;
  std::deque<std::string> outbox_;
  vekterm::remote::Screen screen_;
  std::uint64_t applied_ = 0;  // the highest seq handed to the session
  std::uint64_t taken_ = 0;    // the highest seq the module has taken: the page's acknowledgement
  std::uint32_t handed_ = 0;   // inputs handed to the session
  std::deque<std::pair<std::uint32_t, std::uint64_t>> in_flight_;  // handed_ and seq of each not yet taken
  std::shared_ptr<Viewer> viewer_;
  std::optional<Clock::time_point> key_at_;
  bool ended_ = false;
};

void Viewer::gone() {
  if (gone_) return;
  gone_ = true;
  if (session_) {
    const std::shared_ptr<Session> session = std::move(session_);
    session->detach(this);
  }
}

void Viewer::on_read(error_code ec) {
  if (ec) return gone();
  if (closing_) return;
  if (!ws_.got_text()) {
    note("closed a connection: a binary frame");
    return close(websocket::close_code::unknown_data);
  }
  const Frame frame = parse_frame(beast::buffers_to_string(buffer_.data()));
  buffer_.consume(buffer_.size());
  // A hello comes first and once; keys and scans only belong to a session.
  if (frame.kind == Frame::Bad || (frame.kind == Frame::Hello) == greeted_ || (greeted_ && !session_)) {
    note("closed a connection: a malformed frame");
    return close(websocket::close_code::bad_payload);
  }
  if (frame.kind == Frame::Hello) {
    greeted_ = true;
    hello_deadline_.cancel();
    gateway_.hello(shared_from_this(), frame);
  } else {
    session_->input(frame);
  }
  read();
}

// A plain HTTP connection: page files and /metrics, or the upgrade to a session's WebSocket.
class HttpConnection : public std::enable_shared_from_this<HttpConnection> {
 public:
  HttpConnection(Gateway &gateway, tcp::socket socket) : gateway_(gateway), stream_(std::move(socket)) {}

  void read() {
    parser_.emplace();
    parser_->header_limit(16 * 1024);
    parser_->body_limit(16 * 1024);
    stream_.expires_after(std::chrono::seconds(30));
    http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](error_code ec, std::size_t) {
      if (ec) return self->shut();
      self->answer(self->parser_->release());
    });
  }

 private:
  void answer(http::request<http::string_body> request) {
    const std::string target(request.target());
    const std::string path = target.substr(0, target.find('?'));
    if (websocket::is_upgrade(request)) {
      if (path != "/session") return respond(text(request, http::status::not_found, "not found\n"));
      const bool origin_ok = gateway_.origin_allowed(request);
      std::make_shared<Viewer>(gateway_, std::move(stream_))->accept(std::move(request), origin_ok);
      return;
    }
    if (request.method() != http::verb::get && request.method() != http::verb::head) {
      auto response = text(request, http::status::method_not_allowed, "GET or HEAD only\n");
      response.set(http::field::allow, "GET, HEAD");
      return respond(std::move(response));
    }
    if (path == "/metrics") {
      std::string figures = gateway_.metrics_.text(gateway_.sessions_.size());
      // The shipper may not have written its file yet: then there is nothing of it to add.
      if (std::string ship;
          !gateway_.options_.ship_metrics.empty() && read_file(gateway_.options_.ship_metrics, &ship))
        figures += ship;
      auto response = text(request, http::status::ok, figures);
      response.set(http::field::content_type, "text/plain; version=0.0.4; charset=utf-8");
      return respond(std::move(response));
    }
    if (path == "/session") return respond(text(request, http::status::upgrade_required, "WebSocket only\n"));
    serve_file(request, path);
  }

  static http::response<http::string_body> text(const http::request<http::string_body> &request,
                                                http::status status, std::string body) {
    http::response<http::string_body> response{status, request.version()};
    response.set(http::field::server, "vekweb");
    response.set(http::field::content_type, "text/plain; charset=utf-8");
    response.set(http::field::cache_control, "no-store");
    response.keep_alive(request.keep_alive());
    response.body() = request.method() == http::verb::head ? "" : std::move(body);
    response.prepare_payload();
    return response;
  }

  static const char *content_type(const fs::path &file) {
    static const std::pair<const char *, const char *> kTypes[] = {
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".json", "application/json"},
        {".webmanifest", "application/manifest+json"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".ico", "image/x-icon"},
        {".woff2", "font/woff2"},
        {".wasm", "application/wasm"},
        {".map", "application/json"},
        {".txt", "text/plain; charset=utf-8"},
    };
    const std::string extension = file.extension().string();
    for (const auto &[ending, type] : kTypes)
      if (extension == ending) return type;
    return "application/octet-stream";
  }

  // A file under the page folder. Paths with hidden or parent segments, escapes, or that lead out of
  // the folder through a link are not found. Every file is revalidated by its ETag (no-cache), so a
  // new page is picked up at once and an unchanged one costs a 304.
  void serve_file(const http::request<http::string_body> &request, std::string path) {
    const auto not_found = [&] { respond(text(request, http::status::not_found, "not found\n")); };
    if (gateway_.web_root_.empty() || path.empty() || path[0] != '/' ||
        path.find_first_of("%\\") != std::string::npos || path.find("/.") != std::string::npos)
      return not_found();
    if (path.back() == '/') path += "index.html";
    error_code ignored;
    std::error_code error;
    const fs::path file = fs::canonical(gateway_.web_root_ + path, error);
    if (error || file.string().rfind(gateway_.web_root_ + "/", 0) != 0 || !fs::is_regular_file(file, error))
      return not_found();
    const auto size = fs::file_size(file, error);
    const auto modified = fs::last_write_time(file, error).time_since_epoch().count();
    if (error) return not_found();
    char etag[64];
    std::snprintf(etag, sizeof etag, "\"%jx-%jx\"", static_cast<std::uintmax_t>(size),
                  static_cast<std::uintmax_t>(modified));
    const auto headers = [&](auto &response) {
      response.set(http::field::server, "vekweb");
      response.set(http::field::content_type, content_type(file));
      response.set(http::field::cache_control, "no-cache");
      response.set(http::field::etag, etag);
      response.set("X-Content-Type-Options", "nosniff");
      response.keep_alive(request.keep_alive());
    };
    if (request[http::field::if_none_match] == etag) {
      http::response<http::empty_body> response{http::status::not_modified, request.version()};
      headers(response);
      return respond(std::move(response));
    }
    if (request.method() == http::verb::head) {
      http::response<http::empty_body> response{http::status::ok, request.version()};
      headers(response);
      response.content_length(size);
      return respond(std::move(response));
    }
    http::file_body::value_type body;
    body.open(file.c_str(), beast::file_mode::scan, ignored);
    if (ignored) return not_found();
    http::response<http::file_body> response{std::piecewise_construct, std::make_tuple(std::move(body)),
                                             std::make_tuple(http::status::ok, request.version())};
    headers(response);
    response.prepare_payload();
    respond(std::move(response));
  }

  template <typename Body>
  void respond(http::response<Body> &&response) {
    const auto held = std::make_shared<http::response<Body>>(std::move(response));
    http::async_write(stream_, *held, [self = shared_from_this(), held](error_code ec, std::size_t) {
      if (ec || held->need_eof()) return self->shut();
      self->read();
    });
  }

  void shut() {
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
  }

  Gateway &gateway_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
};

bool Gateway::start(std::string *why) {
  std::error_code fs_error;
  if (const fs::path root = fs::canonical(options_.web, fs_error); !fs_error && fs::is_directory(root))
    web_root_ = root.string();
  else
    note("no page files in " + options_.web + ": only /session and /metrics are served");
  error_code ec;
  const auto address = asio::ip::make_address(options_.address, ec);
  if (ec) {
    *why = "not an address: " + options_.address;
    return false;
  }
  const tcp::endpoint endpoint(address, options_.port);
  acceptor_.open(endpoint.protocol(), ec);
  if (!ec) acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor_.bind(endpoint, ec);
  if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    *why = "cannot listen on " + options_.address + ":" + std::to_string(options_.port) + ": " + ec.message();
    return false;
  }
  const tcp::endpoint bound = acceptor_.local_endpoint();
  note("listening on " + bound.address().to_string() + ":" + std::to_string(bound.port()));
  reap();
  stop_signals_.async_wait([this](error_code e, int) {
    if (!e) stop();
  });
  accept();
  return true;
}

void Gateway::accept() {
  acceptor_.async_accept([this](error_code ec, tcp::socket socket) {
    if (ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
    if (!ec) {
      // Frames are small and go out as soon as they are made: no waiting to fill a segment.
      error_code ignored;
      socket.set_option(tcp::no_delay(true), ignored);
      std::make_shared<HttpConnection>(*this, std::move(socket))->read();
      return accept();
    }
    // Out of descriptors or memory: try again shortly rather than spin.
    retry_.expires_after(std::chrono::milliseconds(100));
    retry_.async_wait([this](error_code e) {
      if (!e) accept();
    });
  });
}

void Gateway::stop() {
  stopping_ = true;
  note("stopping");
  error_code ignored;
  acceptor_.close(ignored);
  std::vector<std::shared_ptr<Session>> all;
  for (const auto &[terminal, session] : sessions_)
    all.push_back(session);
  for (const std::shared_ptr<Session> &session : all)
    session->end("the gateway is stopping");
  if (children_.empty()) io_.stop();
}

// Children are reaped as they end; the last one ends a stopping gateway.
void Gateway::reap() {
  child_signal_.async_wait([this](error_code ec, int) {
    if (ec) return;
    int status = 0;
    for (pid_t pid; (pid = waitpid(-1, &status, WNOHANG)) > 0;) {
      const auto it = children_.find(pid);
      if (it == children_.end()) continue;
      it->second.timer->cancel();
      const std::string terminal = it->second.terminal;
      children_.erase(it);
      if (const auto e = ending_.find(terminal); e != ending_.end() && e->second == pid) ending_.erase(e);
      const auto w = waiting_.find(terminal);
      if (w == waiting_.end() || ending_.count(terminal)) continue;
      const auto logins = std::move(w->second);
      waiting_.erase(w);
      for (const auto &[weak, frame] : logins)
        if (const std::shared_ptr<Viewer> viewer = weak.lock(); viewer && viewer->open())
          begin(viewer, frame);
    }
    if (stopping_ && children_.empty()) io_.stop();
    reap();
  });
}

// A session whose socket is closed ends by itself; one that does not is sent SIGTERM, then SIGKILL.
void Gateway::watch_end(pid_t pid, const std::string &terminal) {
  const auto it = children_.find(pid);
  if (it == children_.end()) return;
  ending_[terminal] = pid;
  const std::shared_ptr<asio::steady_timer> timer = it->second.timer;
  timer->expires_after(kEndAllowance);
  timer->async_wait([this, pid, timer](error_code ec) {
    if (ec || !children_.count(pid)) return;
    kill(pid, SIGTERM);
    timer->expires_after(kEndAllowance);
    timer->async_wait([this, pid](error_code e) {
      if (!e && children_.count(pid)) kill(pid, SIGKILL);
    });
  });
}

std::shared_ptr<Session> Gateway::spawn(const std::string &terminal) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return nullptr;
  std::vector<std::string> args{options_.vekhost};
  args.insert(args.end(), options_.host_args.begin(), options_.host_args.end());
  args.insert(args.end(), {"--remote", "3", "--terminal", terminal, options_.program});
  std::vector<char *> argv;
  for (std::string &a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    // The session's end of the pair as descriptor 3, standard input and output on /dev/null, standard
    // error shared with the gateway's log; nothing else of the gateway's.
    if (pair[1] == 3)
      fcntl(3, F_SETFD, 0);
    else
      dup2(pair[1], 3);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    close_range(4, ~0U, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pair[1]);
  if (pid < 0) {
    close(pair[0]);
    return nullptr;
  }
  children_[pid] = {terminal, std::make_shared<asio::steady_timer>(io_)};
  const auto session = std::make_shared<Session>(*this, terminal, pair[0], pid);
  session->start();
  ++metrics_.started;
  note("start " + terminal + " (process " + std::to_string(pid) + ")");
  return session;
}

bool Gateway::origin_allowed(const http::request<http::string_body> &request) const {
  const std::string origin(request[http::field::origin]);
  if (!options_.origins.empty()) {
    for (const std::string &allowed : options_.origins)
      if (origin == allowed) return true;
    return false;
  }
  // Browsers always send an Origin with a WebSocket; a client without one is not a page.
  if (origin.empty()) return true;
  const std::string host(request[http::field::host]);
  return !host.empty() && (origin == "http://" + host || origin == "https://" + host);
}

bool Gateway::authorised(const Frame &frame) const {
  if (!options_.token.empty() && !frame.token.empty() && same_secret(frame.token, options_.token))
    return true;
  if (options_.password_hashes.empty() || frame.password.empty() ||
      frame.password.find('\0') != std::string::npos)
    return false;
  // A terminal without a line is checked against a hash of its own, so it takes as long as any other.
  std::string hash = "$6$vekweb$";
  for (const auto &[terminal, line_hash] : options_.password_hashes)
    if (terminal == frame.terminal) hash = line_hash;
  static crypt_data data;
  data.initialized = 0;
  const char *result = crypt_r(frame.password.c_str(), hash.c_str(), &data);
  return result && result[0] != '*' && hash != "$6$vekweb$" && same_secret(result, hash);
}

void Gateway::hello(const std::shared_ptr<Viewer> &viewer, const Frame &frame) {
  using websocket::close_code;
  if (stopping_) return viewer->refuse("the gateway is stopping", "stopping", close_code::going_away);
  if (!vekterm::valid_terminal_id(frame.terminal))
    return viewer->refuse("not a terminal id: 1 to 32 letters, digits, '-', '_' or '.'", "terminal",
                          close_code::policy_error);
  if (!authorised(frame))
    return viewer->refuse("wrong access token or password", "credentials", close_code::policy_error);
  if (const auto it = sessions_.find(frame.terminal); it != sessions_.end()) {
    // One session per terminal: its journal has one writer.
    if (frame.session.empty() || !same_secret(frame.session, it->second->token()))
      return viewer->refuse("terminal " + frame.terminal + " is in use", "in_use", close_code::policy_error);
    return it->second->attach(viewer, true);
  }
  if (ending_.count(frame.terminal)) {
    waiting_[frame.terminal].emplace_back(viewer, frame);
    return;
  }
  begin(viewer, frame);
}

// A new session for a terminal that has none.
void Gateway::begin(const std::shared_ptr<Viewer> &viewer, const Frame &frame) {
  using websocket::close_code;
  std::shared_ptr<Session> session;
  if (stopping_) return viewer->refuse("the gateway is stopping", "stopping", close_code::going_away);
  if (sessions_.count(frame.terminal))
    return viewer->refuse("terminal " + frame.terminal + " is in use", "in_use", close_code::policy_error);
  if (sessions_.size() >= static_cast<std::size_t>(options_.max_sessions))
    return viewer->refuse(
        "too many sessions: this gateway runs at most " + std::to_string(options_.max_sessions),
        "max_sessions", close_code::try_again_later);
  if (!(session = spawn(frame.terminal)))
    return viewer->refuse("the session could not be started", "start", close_code::internal_error);
  sessions_[frame.terminal] = session;
  session->attach(viewer, false);
}

}  // namespace

int serve(const Options &options) {
  asio::io_context io(1);
  Gateway gateway(io, options);
  std::string why;
  if (!gateway.start(&why)) {
    note(why);
    return 2;
  }
  io.run();
  return 0;
}

}  // namespace vekweb
