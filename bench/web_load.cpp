// web_load: load on the browser gateway vekweb. N WebSocket clients in one io_context log in as the
// terminals LOAD0001, LOAD0002, ... with the access token and each runs the receiving demo's transaction
// over and over, speaking the page's protocol: at operator speed (an input every few hundred ms), or as
// fast as the gateway acknowledges (the next input as soon as a screen update covers the previous one).
//
// It measures, over a window that opens once every session is up:
//   - the time from each key or scan frame sent to the first screen frame whose ack covers it;
//   - the proportional memory (Pss) of the gateway and every process under it, per session held;
//   - their CPU time (user and system) per completed transaction.
// At the end every session is sent Cancel, which ends the demo's shift and with it the session. The exit
// status is 1 when a session was refused, dropped or stuck, or no transaction completed.
#include <sys/resource.h>
#include <unistd.h>

#include <utility>  // before Asio, whose awaitable.hpp uses std::exchange without it

#include <algorithm>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "protocol.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 20, kColumns = 40;
constexpr const char *kUsage =
    "usage: web_load --port PORT [options]\n"
    "\n"
    "Opens N browser sessions on a running vekweb and runs the receiving demo's transaction in each.\n"
    "\n"
    "  --host ADDRESS     the gateway's address (127.0.0.1)\n"
    "  --port PORT        the gateway's port\n"
    "  --token TEXT       the access token (or --token-file FILE)\n"
    "  --origin URL       the Origin header (http://ADDRESS:PORT)\n"
    "  --sessions N       sessions to open (50)\n"
    "  --fast             the next input as soon as the previous one is acknowledged\n"
    "  --key-ms MS        operator speed: the mean time between inputs (300)\n"
    "  --ramp N           sessions opened per second while starting (100)\n"
    "  --settle S         seconds between the last session up and the measurement (3)\n"
    "  --seconds S        length of the measurement (30)\n"
    "  --pid PID          the gateway's process: its memory and CPU, and those of its children\n"
    "  --first K          number of the first terminal (1): LOAD0001\n";

struct Options {
  std::string host = "127.0.0.1", port, token, origin;
  int sessions = 50, key_ms = 300, ramp = 100, settle = 3, seconds = 30, first = 1;
  bool fast = false;
  int pid = 0;
};

// ---- JSON: enough to read the gateway's frames ------------------------------------------------------

struct Json {
  enum Type { Null, Bool, Number, String, Array, Object } type = Null;
  double number = 0;
  bool boolean = false;
  std::string text;  // UTF-8
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  const Json *get(std::string_view key) const {
    for (const auto &[name, value] : members)
      if (name == key) return &value;
    return nullptr;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : s_(text) {}

  bool read(Json *value) {
    if (!parse(value, 0)) return false;
    space();
    return at_ == s_.size();
  }

 private:
  void space() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t'))
      ++at_;
  }
  bool literal(std::string_view word) {
    if (s_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  bool hex4(std::uint32_t *code) {
    if (s_.size() - at_ < 4) return false;
    *code = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = s_[at_++];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return false;
      *code = *code * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
  }
  bool string(std::string *out) {
    if (at_ >= s_.size() || s_[at_] != '"') return false;
    ++at_;
    while (at_ < s_.size()) {
      const char c = s_[at_++];
      if (c == '"') return true;
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (at_ >= s_.size()) return false;
      const char e = s_[at_++];
      switch (e) {
        case 'n':
          *out += '\n';
          break;
        case 'r':
          *out += '\r';
          break;
        case 't':
          *out += '\t';
          break;
        case 'b':
          *out += '\b';
          break;
        case 'f':
          *out += '\f';
          break;
        case 'u': {
          std::uint32_t code = 0;
          if (!hex4(&code)) return false;
          if (code >= 0xD800 && code < 0xDC00 && literal("\\u")) {
            std::uint32_t low = 0;
            if (!hex4(&low)) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          vekweb::append_utf8(*out, static_cast<char32_t>(code));
          break;
        }
        default:
          *out += e;
          break;
      }
    }
    return false;
  }
  bool parse(Json *value, int depth) {
    if (depth > 16) return false;
    space();
    if (at_ >= s_.size()) return false;
    const char c = s_[at_];
    if (c == '{') {
      value->type = Json::Object;
      ++at_;
      space();
      if (literal("}")) return true;
      for (;;) {
        std::string name;
        space();
        if (!string(&name)) return false;
        space();
        if (!literal(":")) return false;
        Json member;
        if (!parse(&member, depth + 1)) return false;
        value->members.emplace_back(std::move(name), std::move(member));
        space();
        if (literal("}")) return true;
        if (!literal(",")) return false;
      }
    }
    if (c == '[') {
      value->type = Json::Array;
      ++at_;
      space();
      if (literal("]")) return true;
      for (;;) {
        Json item;
        if (!parse(&item, depth + 1)) return false;
        value->items.push_back(std::move(item));
        space();
        if (literal("]")) return true;
        if (!literal(",")) return false;
      }
    }
    if (c == '"') {
      value->type = Json::String;
      return string(&value->text);
    }
    if (literal("true") || literal("false")) {
      value->type = Json::Bool;
      value->boolean = s_[at_ - 1] == 'e' && s_[at_ - 4] == 't';
      return true;
    }
    if (literal("null")) return true;
    const std::size_t start = at_;
    while (at_ < s_.size() && std::string_view("+-.0123456789eE").find(s_[at_]) != std::string_view::npos)
      ++at_;
    if (start == at_) return false;
    value->type = Json::Number;
    value->number = std::strtod(std::string(s_.substr(start, at_ - start)).c_str(), nullptr);
    return true;
  }

  std::string_view s_;
  std::size_t at_ = 0;
};

// ---- The transaction --------------------------------------------------------------------------------

// One key or scan frame. A scan waits until the cursor stands in its field's row and is checked
// afterwards: the panel drops a scan that arrives before the field's edit has begun, as a scanner
// fired too early, and the operator scans again.
struct Step {
  bool scan = false;
  std::uint16_t code = 0;
  std::string data;   // scan: the bytes
  int row = -1;       // scan: the field's screen row, where it shows
  std::string shows;  // scan: what the field shows when it took the scan
};

constexpr std::uint16_t kEnter = 13, kOk = 768, kCancel = 256;
constexpr int kFieldColumn = 11;
constexpr int kReceivedRow = 16, kReceivedColumn = 11;  // "Received: N"

void type_text(std::vector<Step> &steps, std::string_view text) {
  for (const char c : text)
    steps.push_back({false, static_cast<std::uint16_t>(static_cast<unsigned char>(c)), {}, -1, {}});
}

// The keys of the demo's input script (tests/host/receiving.keys): the first panel types the storage
// location, which later panels take over. Each receipt has a lot number of its own so that none is a
// duplicate of the last ten, and every transaction sends a receipt.
std::vector<Step> transaction(bool first, int lot) {
  char lot_text[16];
  std::snprintf(lot_text, sizeof lot_text, "AB-%04d", lot % 10000);
  std::vector<Step> steps;
  steps.push_back({true, 0, "0104012357", 2, "04012357"});
  type_text(steps, "12.5");
  steps.push_back({false, kEnter, {}, -1, {}});
  steps.push_back({true, 0, std::string("10") + lot_text, 6, lot_text});
  type_text(steps, "31122020");
  if (first) {
    steps.push_back({false, kEnter, {}, -1, {}});
    type_text(steps, "A01-02");
  }
  steps.push_back({false, kOk, {}, -1, {}});
  return steps;
}

std::string percent_encoded(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

// ---- Processes: the gateway and everything under it ------------------------------------------------

struct ProcessFigures {
  int processes = 0;
  double cpu_seconds = 0;      // user and system, all processes
  double run_delay = 0;        // seconds spent ready to run, waiting for a processor
  double gateway_cpu = 0;      // the gateway alone
  double pss_kib = 0;          // all processes
  double gateway_pss_kib = 0;  // the gateway alone
  double page_tables_kib = 0;  // all processes: kernel memory that Pss leaves out
};

// The parent, from /proc/PID/stat; the time spent on a processor and the time spent waiting for one
// in ns, from /proc/PID/schedstat. The first is the exact sum that stat's utime and stime split and
// round to whole clock ticks: a session that spends a few milliseconds in the window would be counted
// as nothing there.
bool read_process(int pid, int *parent, long long *cpu_ns, long long *delay_ns) {
  const std::string dir = "/proc/" + std::to_string(pid);
  std::ifstream stat(dir + "/stat"), schedstat(dir + "/schedstat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream fields(line.substr(close + 1));
  std::string state;
  fields >> state >> *parent;
  return static_cast<bool>(schedstat >> *cpu_ns >> *delay_ns);
}

// A figure in kB from one of the files under /proc/PID.
double read_kib(int pid, const char *file, std::string_view field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + field.size());
  return 0;
}

ProcessFigures measure(int root, bool with_memory) {
  ProcessFigures figures;
  if (root <= 0) return figures;
  std::map<int, std::vector<int>> children;
  std::map<int, std::pair<long long, long long>> cpu_ns;  // on a processor, waiting for one
  for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    int pid = 0;
    if (std::from_chars(name.data(), name.data() + name.size(), pid).ec != std::errc()) continue;
    int parent = 0;
    long long on = 0, waiting = 0;
    if (!read_process(pid, &parent, &on, &waiting)) continue;
    children[parent].push_back(pid);
    cpu_ns[pid] = {on, waiting};
  }
  std::vector<int> todo = {root};
  while (!todo.empty()) {
    const int pid = todo.back();
    todo.pop_back();
    if (!cpu_ns.count(pid)) continue;
    ++figures.processes;
    const double cpu = static_cast<double>(cpu_ns[pid].first) / 1e9;
    figures.run_delay += static_cast<double>(cpu_ns[pid].second) / 1e9;
    figures.cpu_seconds += cpu;
    if (pid == root) figures.gateway_cpu = cpu;
    if (with_memory) {
      const double pss = read_kib(pid, "smaps_rollup", "Pss:");
      figures.pss_kib += pss;
      figures.page_tables_kib += read_kib(pid, "status", "VmPTE:");
      if (pid == root) figures.gateway_pss_kib = pss;
    }
    for (const int child : children[pid])
      todo.push_back(child);
  }
  return figures;
}

std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string one, five;
  in >> one >> five;
  return one + " (1 min), " + five + " (5 min)";
}

double own_cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// ---- The clients ----------------------------------------------------------------------------------

struct Totals {
  bool measuring = false;
  std::vector<double> latencies_ms;
  long long transactions = 0, rescans = 0;
  int up = 0, failed = 0, ended = 0, held = 0;  // held: running when the measurement ended
  std::map<std::string, int> failures;          // reason, count
};

class Client : public std::enable_shared_from_this<Client> {
 public:
  enum State { Connecting, Running, Finishing, Done };

  Client(asio::io_context &io, const Options &options, Totals &totals, int number, unsigned seed)
      : options_(options), totals_(totals), ws_(io), timer_(io), random_(seed), terminal_([number] {
          char id[16];
          std::snprintf(id, sizeof id, "LOAD%04d", number);
          return std::string(id);
        }()) {
    for (auto &row : rows_)
      row.assign(kColumns, ' ');
  }

  State state() const { return state_; }

  void start(const tcp::endpoint &endpoint) {
    beast::get_lowest_layer(ws_).expires_after(std::chrono::seconds(30));
    beast::get_lowest_layer(ws_).async_connect(endpoint,
                                               [self = shared_from_this()](beast::error_code error) {
                                                 if (error) return self->fail("connect: " + error.message());
                                                 self->handshake();
                                               });
  }

  // Ends the session: Cancel ends the demo's shift, the gateway then sends "end".
  void finish() {
    if (state_ != Running) return;
    state_ = Finishing;
    timer_.cancel();
    send("t=key&seq=" + std::to_string(++seq_) + "&code=" + std::to_string(kCancel));
  }

  // Called once a second: a session that has not moved on for 15 s is stuck, one that has had no
  // welcome for a minute was never let in.
  void check(Clock::time_point now) {
    if (state_ == Running && now - progress_ > std::chrono::seconds(15)) fail("stalled", true);
    if (state_ == Connecting && now - progress_ > std::chrono::seconds(60))
      fail("no welcome within a minute");
  }

  void close() {
    if (state_ == Done) return;
    state_ = Done;
    timer_.cancel();
    beast::error_code ignored;
    beast::get_lowest_layer(ws_).socket().close(ignored);
  }

 private:
  void handshake() {
    beast::get_lowest_layer(ws_).expires_never();
    // A browser sends small frames at once too; without this every input waits for the previous
    // one's TCP acknowledgement.
    beast::get_lowest_layer(ws_).socket().set_option(tcp::no_delay(true));
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::client));
    const std::string origin =
        options_.origin.empty() ? "http://" + options_.host + ":" + options_.port : options_.origin;
    ws_.set_option(websocket::stream_base::decorator(
        [origin](websocket::request_type &request) { request.set(beast::http::field::origin, origin); }));
    ws_.async_handshake(options_.host + ":" + options_.port, "/session",
                        [self = shared_from_this()](beast::error_code error) {
                          if (error) return self->fail("handshake: " + error.message());
                          self->ws_.text(true);
                          self->send("t=hello&terminal=" + self->terminal_ +
                                     "&token=" + percent_encoded(self->options_.token));
                          self->read();
                        });
  }

  void read() {
    ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code error, std::size_t) {
      if (error) {
        if (self->state_ == Finishing) {
          ++self->totals_.ended;
          self->state_ = Done;
          return;
        }
        if (self->state_ == Done) return;
        return self->fail("read: " + error.message());
      }
      const std::string text = beast::buffers_to_string(self->buffer_.data());
      self->buffer_.consume(self->buffer_.size());
      self->frame(text);
      if (self->state_ != Done) self->read();
    });
  }

  void send(std::string frame) {
    out_.push_back(std::move(frame));
    if (!writing_) write_next();
  }

  void write_next() {
    if (out_.empty() || state_ == Done) {
      writing_ = false;
      return;
    }
    writing_ = true;
    ws_.async_write(asio::buffer(out_.front()),
                    [self = shared_from_this()](beast::error_code error, std::size_t) {
                      self->out_.pop_front();
                      if (error) return self->fail("write: " + error.message());
                      self->write_next();
                    });
  }

  void fail(const std::string &reason, bool show_screen = false) {
    if (state_ == Done) return;
    if (show_screen && totals_.failures[reason] == 0) {
      std::cerr << terminal_ << ": " << reason << " at step " << next_ << " (seq " << seq_ << ", ack " << ack_
                << "), cursor " << cursor_row_ << "," << cursor_column_ << ":\n";
      for (const auto &row : rows_)
        std::cerr << "  |" << row << "|\n";
    }
    ++totals_.failures[reason];
    ++totals_.failed;
    close();
  }

  void frame(const std::string &text) {
    Json message;
    if (!JsonReader(text).read(&message) || message.type != Json::Object)
      return fail("bad JSON from the gateway");
    const Json *type = message.get("t");
    const std::string kind = type ? type->text : "";
    if (kind == "screen") {
      screen(message);
    } else if (kind == "welcome") {
      if (state_ == Connecting) {
        state_ = Running;
        ++totals_.up;
        progress_ = Clock::now();
      }
    } else if (kind == "end") {
      if (state_ == Finishing) {
        ++totals_.ended;
        close();
      } else {
        const Json *reason = message.get("reason");
        fail("ended: " + (reason ? reason->text : std::string()));
      }
    } else if (kind == "refused") {
      const Json *reason = message.get("reason");
      fail("refused: " + (reason ? reason->text : std::string()));
    }
  }

  void screen(const Json &message) {
    if (const Json *runs = message.get("runs"))
      for (const Json &run : runs->items) {
        if (run.items.size() < 3) continue;
        const int row = static_cast<int>(run.items[0].number), column = static_cast<int>(run.items[1].number);
        if (row < 0 || row >= kRows || column < 0) continue;
        // One cell a character; the demo's texts are ASCII, anything else is kept as '?'.
        const std::string &t = run.items[2].text;
        int at = column;
        for (std::size_t i = 0; i < t.size() && at < kColumns; ++i) {
          const auto b = static_cast<unsigned char>(t[i]);
          if ((b & 0xC0) == 0x80) continue;
          rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(at++)] = b < 0x80 ? t[i] : '?';
        }
      }
    if (const Json *cursor = message.get("cursor"); cursor && cursor->items.size() >= 2) {
      cursor_row_ = static_cast<int>(cursor->items[0].number);
      cursor_column_ = static_cast<int>(cursor->items[1].number);
    }
    const int received = std::atoi(rows_[kReceivedRow].c_str() + kReceivedColumn);
    if (received > received_ && received_ >= 0 && totals_.measuring)
      totals_.transactions += received - received_;
    received_ = received;
    if (const Json *ack = message.get("ack")) ack_ = static_cast<std::uint64_t>(ack->number);
    if (state_ != Running) return;
    if (in_flight_ && ack_ >= seq_) {
      in_flight_ = false;
      progress_ = Clock::now();
      if (totals_.measuring)
        totals_.latencies_ms.push_back(
            std::chrono::duration<double, std::milli>(progress_ - sent_at_).count());
      // The gateway acknowledges what it has passed on to the session, so the screen that shows a scan
      // may still be on its way.
      if (steps_[next_].scan && !shows(steps_[next_])) {
        confirm_scan();
      } else {
        ++next_;
      }
    }
    pump();
  }

  // A scan whose field does not show it a while after its acknowledgement was dropped by the panel (it
  // came before the field's edit began): it is scanned again.
  void confirm_scan() {
    unconfirmed_ = true;
    timer_.expires_after(std::chrono::milliseconds(250));
    timer_.async_wait([self = shared_from_this()](beast::error_code error) {
      if (error || !self->unconfirmed_ || self->state_ != Running) return;
      self->unconfirmed_ = false;
      if (self->totals_.measuring) ++self->totals_.rescans;
      self->pump();
    });
  }

  bool shows(const Step &step) const {
    return rows_[static_cast<std::size_t>(step.row)].compare(kFieldColumn, step.shows.size(), step.shows) ==
           0;
  }

  // Sends the next input when its turn has come.
  void pump() {
    if (state_ != Running || in_flight_ || waiting_) return;
    if (unconfirmed_) {
      if (!shows(steps_[next_])) return;
      unconfirmed_ = false;
      timer_.cancel();
      ++next_;
    }
    if (next_ >= steps_.size()) {
      steps_ = transaction(transactions_ == 0, lot_++);
      ++transactions_;
      next_ = 0;
    }
    const Step &step = steps_[next_];
    if (step.scan && cursor_row_ != step.row) return;  // a screen update brings it
    if (options_.fast) return send_step();
    waiting_ = true;
    std::uniform_int_distribution<int> gap(options_.key_ms / 2, options_.key_ms * 3 / 2);
    timer_.expires_after(std::chrono::milliseconds(gap(random_)));
    timer_.async_wait([self = shared_from_this()](beast::error_code error) {
      self->waiting_ = false;
      if (!error && self->state_ == Running) self->send_step();
    });
  }

  void send_step() {
    const Step &step = steps_[next_];
    const std::string seq = std::to_string(++seq_);
    in_flight_ = true;
    sent_at_ = Clock::now();
    if (step.scan)
      send("t=scan&seq=" + seq + "&type=1&data=" + percent_encoded(step.data));
    else
      send("t=key&seq=" + seq + "&code=" + std::to_string(step.code));
  }

  const Options &options_;
  Totals &totals_;
  websocket::stream<beast::tcp_stream> ws_;
  beast::flat_buffer buffer_;
  asio::steady_timer timer_;
  std::minstd_rand random_;
  std::string terminal_;
  State state_ = Connecting;
  std::deque<std::string> out_;
  bool writing_ = false;

  std::array<std::string, kRows> rows_;
  int cursor_row_ = 0, cursor_column_ = 0;
  int received_ = -1;
  std::uint64_t seq_ = 0, ack_ = 0;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  int transactions_ = 0, lot_ = 0;
  bool in_flight_ = false;    // sent, not yet acknowledged
  bool waiting_ = false;      // operator speed: the pause before the next input
  bool unconfirmed_ = false;  // a scan acknowledged that its field does not show yet
  Clock::time_point sent_at_, progress_ = Clock::now();
};

double percentile(std::vector<double> &values, double p) {
  if (values.empty()) return 0;
  const auto k = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
  return values[k];
}

bool parse_options(int argc, char **argv, Options *o) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view name = argv[i];
    if (name == "--fast") {
      o->fast = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    const auto number = [&](int *out) {
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), *out);
      return error == std::errc() && end == value.data() + value.size();
    };
    bool ok = true;
    if (name == "--host")
      o->host = value;
    else if (name == "--port")
      o->port = value;
    else if (name == "--token")
      o->token = value;
    else if (name == "--token-file") {
      std::ifstream in(value);
      ok = static_cast<bool>(std::getline(in, o->token));
    } else if (name == "--origin")
      o->origin = value;
    else if (name == "--sessions")
      ok = number(&o->sessions) && o->sessions > 0;
    else if (name == "--key-ms")
      ok = number(&o->key_ms) && o->key_ms > 0;
    else if (name == "--ramp")
      ok = number(&o->ramp) && o->ramp > 0;
    else if (name == "--settle")
      ok = number(&o->settle) && o->settle >= 0;
    else if (name == "--seconds")
      ok = number(&o->seconds) && o->seconds > 0;
    else if (name == "--pid")
      ok = number(&o->pid);
    else if (name == "--first")
      ok = number(&o->first) && o->first > 0;
    else
      ok = false;
    if (!ok) return false;
  }
  return !o->port.empty();
}

}  // namespace

int main(int argc, char **argv) {
  Options options;
  if (!parse_options(argc, argv, &options)) {
    std::cerr << kUsage;
    return 2;
  }
  // A socket a session, and some room.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  if (static_cast<rlim_t>(options.sessions) + 64 > files.rlim_cur)
    std::cerr << "web_load: only " << files.rlim_cur << " files may be open; sessions beyond that fail\n";

  asio::io_context io;
  tcp::resolver resolver(io);
  beast::error_code error;
  const auto endpoints = resolver.resolve(options.host, options.port, error);
  if (error || endpoints.empty()) {
    std::cerr << "web_load: " << options.host << ":" << options.port << ": " << error.message() << "\n";
    return 2;
  }
  const tcp::endpoint endpoint = *endpoints.begin();

  Totals totals;
  std::vector<std::shared_ptr<Client>> clients;
  const std::string load_before = load_average();
  const Clock::time_point begun = Clock::now();

  // Opens the sessions at the ramp's pace, a batch every 10 ms.
  asio::steady_timer ramp(io);
  std::function<void()> open_more = [&] {
    const double elapsed = std::chrono::duration<double>(Clock::now() - begun).count();
    const auto due = std::min(options.sessions, static_cast<int>(elapsed * options.ramp) + 1);
    while (static_cast<int>(clients.size()) < due) {
      const int number = options.first + static_cast<int>(clients.size());
      clients.push_back(std::make_shared<Client>(io, options, totals, number, static_cast<unsigned>(number)));
      clients.back()->start(endpoint);
    }
    if (static_cast<int>(clients.size()) < options.sessions) {
      ramp.expires_after(std::chrono::milliseconds(10));
      ramp.async_wait([&](beast::error_code) { open_more(); });
    }
  };
  open_more();

  // Once a second: stalled sessions, and the phases: starting, settling, measuring, finishing.
  enum Phase { Starting, Settling, Measuring, Finishing } phase = Starting;
  Clock::time_point phase_since = begun, measure_start{}, measure_end{};
  ProcessFigures before, after;
  double own_before = 0, own_after = 0;
  double ramp_seconds = 0;
  std::string load_after;
  asio::steady_timer tick(io);
  std::function<void()> on_tick = [&] {
    const Clock::time_point now = Clock::now();
    for (const auto &client : clients)
      client->check(now);
    const bool all_open = static_cast<int>(clients.size()) == options.sessions;
    const int settled = totals.up + totals.failed;
    if (phase == Starting && all_open && settled >= options.sessions) {
      ramp_seconds = std::chrono::duration<double>(now - begun).count();
      phase = Settling;
      phase_since = now;
    } else if (phase == Settling && now - phase_since >= std::chrono::seconds(options.settle)) {
      phase = Measuring;
      totals.measuring = true;
      before = measure(options.pid, false);
      own_before = own_cpu_seconds();
      measure_start = phase_since = Clock::now();
    } else if (phase == Measuring && now - phase_since >= std::chrono::seconds(options.seconds)) {
      totals.measuring = false;
      measure_end = Clock::now();
      after = measure(options.pid, false);
      own_after = own_cpu_seconds();
      load_after = load_average();
      const ProcessFigures memory = measure(options.pid, true);
      after.pss_kib = memory.pss_kib;
      after.gateway_pss_kib = memory.gateway_pss_kib;
      after.processes = memory.processes;
      after.page_tables_kib = memory.page_tables_kib;
      totals.held = static_cast<int>(std::count_if(clients.begin(), clients.end(), [](const auto &client) {
        return client->state() == Client::Running;
      }));
      phase = Finishing;
      phase_since = now;
      for (const auto &client : clients)
        client->finish();
    } else if (phase == Finishing) {
      const bool all_done = std::all_of(clients.begin(), clients.end(),
                                        [](const auto &client) { return client->state() == Client::Done; });
      if (all_done || now - phase_since >= std::chrono::seconds(30)) {
        for (const auto &client : clients)
          client->close();
        return;  // nothing more is scheduled: run() returns
      }
    }
    tick.expires_after(std::chrono::seconds(1));
    tick.async_wait([&](beast::error_code) { on_tick(); });
  };
  tick.expires_after(std::chrono::seconds(1));
  tick.async_wait([&](beast::error_code) { on_tick(); });
  io.run();

  // ---- Report ----
  const int held = totals.held;
  const double window = std::chrono::duration<double>(measure_end - measure_start).count();
  const double cpu = after.cpu_seconds - before.cpu_seconds;
  const double gateway_cpu = after.gateway_cpu - before.gateway_cpu;
  std::vector<double> &l = totals.latencies_ms;
  const auto inputs = l.size();
  const double p50 = percentile(l, 0.50), p90 = percentile(l, 0.90), p99 = percentile(l, 0.99),
               worst = l.empty() ? 0 : *std::max_element(l.begin(), l.end());
  const double pss_per_session = held > 0 ? after.pss_kib / 1024.0 / held : 0;
  const double cpu_per_transaction =
      totals.transactions > 0 ? cpu * 1000.0 / static_cast<double>(totals.transactions) : 0;

  std::printf(
      "web_load: %d sessions asked, %d up (in %.1f s), %d held to the end, %s\n", options.sessions, totals.up,
      ramp_seconds, held,
      options.fast
          ? "as fast as acknowledged"
          : ("operator speed, an input every " + std::to_string(options.key_ms) + " ms on average").c_str());
  for (const auto &[reason, count] : totals.failures)
    std::printf("  failed: %d x %s\n", count, reason.c_str());
  std::printf("ended by Cancel afterwards: %d\n", totals.ended);
  std::printf(
      "measured %.1f s: %zu inputs (keys and scans), %lld transactions (%.1f a second), %lld scans again\n",
      window, inputs, totals.transactions, static_cast<double>(totals.transactions) / window, totals.rescans);
  std::printf("key-to-screen latency: p50 %.2f ms, p90 %.2f ms, p99 %.2f ms, max %.2f ms\n", p50, p90, p99,
              worst);
  if (options.pid > 0) {
    std::printf(
        "memory: Pss %.1f MiB over %d processes (gateway %.1f MiB): %.2f MiB a session; "
        "page tables %.2f MiB a session besides\n",
        after.pss_kib / 1024.0, after.processes, after.gateway_pss_kib / 1024.0, pss_per_session,
        held > 0 ? after.page_tables_kib / 1024.0 / held : 0);
    std::printf("CPU: %.2f s (gateway %.2f s, sessions %.2f s): %.2f ms a transaction; generator %.2f s\n",
                cpu, gateway_cpu, cpu - gateway_cpu, cpu_per_transaction, own_after - own_before);
    std::printf("ready to run but waiting for a processor: %.2f s in all, %.3f ms an input\n",
                after.run_delay - before.run_delay,
                inputs > 0 ? (after.run_delay - before.run_delay) * 1000.0 / static_cast<double>(inputs) : 0);
  }
  std::printf("load average: %s before, %s at the end of the measurement\n", load_before.c_str(),
              load_after.c_str());
  std::printf("| %d | %s | %d | %.2f ms | %.2f ms | %.2f MiB | %.2f ms |\n", options.sessions,
              options.fast ? "fast" : "operator", held, p50, p99, pss_per_session, cpu_per_transaction);
  // Nonzero when a session was lost or nothing got done, so that a script notices.
  return held == options.sessions && totals.transactions > 0 ? 0 : 1;
}
