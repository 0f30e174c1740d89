// vekweb as a process, reached as a handheld's page reaches it: a WebSocket client speaking the page's
// frames, and plain HTTP for the page files and /metrics. Each session is a real vekhost running a small
// panel program whose journal shows what the module received.
#include <gtest/gtest.h>
#include <signal.h>

#include <utility>  // before Asio, whose headers use std::exchange

#include <boost/asio.hpp>
#include <boost/beast.hpp>
#include <regex>

#include "host/process.h"

namespace vektest {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

const char kToken[] = "test-token-0123456789";
// A panel with one field; each confirmed panel is a journal line, a cancelled one ends the program.
const std::string kProgram = one_field_program("WEB PANEL", "vek.command(\"TRANMSG Y CANCELLED\")\n");

// A running vekweb on a free loopback port, stopped with SIGTERM when the test ends.
struct Vekweb {
  Scratch dir;
  pid_t pid = -1;
  std::string port;
  explicit Vekweb(std::vector<std::string> options = {}) {
    dir.write("token", std::string(kToken) + "\n");
    dir.write("prog.lua", kProgram);
    // H03's password is "secret-h03".
    dir.write("passwords",
              "H03:$6$vektest$LNbXrCzqhzdTM/"
              "ELgmcqYVPlg0R.cw8YvD4sGsgvqaJMkIxbaArkvgrJNPEJOCXPd6B9qmfC1VFIMZmaiIXAn0\n");
    std::filesystem::create_directory(dir.file("web"));
    options.insert(options.begin(), {"--listen", "127.0.0.1:0", "--program", "prog.lua", "--data", ".",
                                     "--token-file", "token", "--web", "web"});
    if ((pid = fork()) == 0) {
      dup2(open(dir.file("log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      exec_in(dir.path(), built("gateway/vekweb"), options);
    }
    const std::regex listening("listening on 127\\.0\\.0\\.1:([0-9]+)");
    std::smatch m;
    std::string text;
    eventually([&] { return std::regex_search(text = log(), m, listening); }, 5000);
    port = m.size() > 1 ? m[1].str() : "0";
  }
  // SIGTERM ends every session and then vekweb, cleanly.
  ~Vekweb() {
    kill(pid, SIGTERM);
    int status = 0;
    if (!eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 8000)) kill(pid, SIGKILL);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << log();
  }
  std::string log() const { return dir.read("log"); }
  std::string journal(const std::string &terminal) const { return dir.read("journal/" + terminal + ".log"); }

  // A GET request's response: status, headers and body as text.
  std::string get(const std::string &target, const std::string &if_none_match = "") const {
    asio::io_context io;
    beast::tcp_stream stream(io);
    stream.connect(
        tcp::endpoint(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(std::stoi(port))));
    http::request<http::empty_body> request{http::verb::get, target, 11};
    request.set(http::field::host, "127.0.0.1:" + port);
    if (!if_none_match.empty()) request.set(http::field::if_none_match, if_none_match);
    http::write(stream, request);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    http::read(stream, buffer, response);
    std::ostringstream text;
    text << response;
    return text.str();
  }
  std::string metrics() const { return get("/metrics"); }
};

// A page's WebSocket.
struct Page {
  asio::io_context io;
  websocket::stream<tcp::socket> ws{io};
  std::string welcome;  // the last welcome received
  Page(const Vekweb &gateway, const std::string &origin = "") {
    ws.next_layer().connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"),
                                          static_cast<unsigned short>(std::stoi(gateway.port))));
    const std::string from = origin.empty() ? "http://127.0.0.1:" + gateway.port : origin;
    ws.set_option(websocket::stream_base::decorator(
        [from](websocket::request_type &request) { request.set(http::field::origin, from); }));
    ws.handshake("127.0.0.1:" + gateway.port, "/session");
  }
  void send(const std::string &text, bool binary = false) {
    ws.binary(binary);
    ws.write(asio::buffer(text));
  }
  // The next frame; "" once the connection is closed or nothing came within five seconds.
  std::string next() {
    beast::flat_buffer buffer;
    bool done = false, failed = false;
    ws.async_read(buffer, [&](beast::error_code ec, std::size_t) { done = true, failed = !!ec; });
    io.restart();
    io.run_for(std::chrono::seconds(5));
    if (!done) {
      beast::error_code ignored;
      ws.next_layer().cancel(ignored);
      io.restart();
      io.run();
      return "";
    }
    return failed ? "" : beast::buffers_to_string(buffer.data());
  }
  // Frames up to the first that holds `what`; "" when none does.
  std::string until(const std::string &what) {
    for (std::string frame; !(frame = next()).empty();) {
      if (frame.find("\"t\":\"welcome\"") != std::string::npos) welcome = frame;
      if (frame.find(what) != std::string::npos) return frame;
    }
    return "";
  }
  // Logs in and waits for the frame holding `ready`: by default the panel's empty field taking keys (the
  // cursor in it, after the module's banner).
  std::string hello(const std::string &terminal, const std::string &more = "",
                    const std::string &ready = "\"cursor\":[1,9,true]") {
    send("t=hello&terminal=" + terminal + "&token=" + kToken + more);
    return until(ready);
  }
  // Frames up to the connection's end.
  void drain() {
    while (!next().empty()) {
    }
  }
  std::string session() const {
    const std::size_t at = welcome.find("\"session\":\"");
    return at == std::string::npos ? "" : welcome.substr(at + 11, 32);
  }
  void key(int seq, int code) { send("t=key&seq=" + std::to_string(seq) + "&code=" + std::to_string(code)); }
  // Drops the connection as a handheld leaving the network does: no closing handshake.
  void drop() { ws.next_layer().close(); }
  int close_code() const { return ws.reason().code; }
};

std::string metric(const std::string &metrics, const std::string &name) {
  const std::size_t at = metrics.find("\n" + name + " ");
  return at == std::string::npos
             ? ""
             : metrics.substr(at + name.size() + 2, metrics.find('\n', at + 1) - at - name.size() - 2);
}

// A key sent again after a reconnection, because its acknowledgement may have been lost with the
// connection, is acknowledged again and not typed twice; the resumed page sees the half-typed field.
// The program's end ends the session.
TEST(Vekweb, ResumeAppliesAResentKeyOnce) {
  Vekweb gateway;
  std::string token;
  {
    Page page(gateway);
    EXPECT_NE(page.hello("H01"), "");
    EXPECT_NE(page.welcome.find("\"resumed\":false"), std::string::npos) << page.welcome;
    token = page.session();
    ASSERT_EQ(token.size(), 32u) << page.welcome;
    page.key(1, 'a'), page.key(2, 'b'), page.key(3, 'c');
    // Acknowledged means handed to the session; the screen shows the key once the module took it.
    EXPECT_NE(page.until("\"ack\":3,\"cursor\":[1,12,true]"), "");
    page.drop();
  }
  Page page(gateway);
  const std::string screen = page.hello("H01", "&session=" + token + "&seen=2", "\"t\":\"screen\"");
  EXPECT_NE(page.welcome.find("\"resumed\":true"), std::string::npos) << page.welcome;
  EXPECT_NE(page.welcome.find("\"ack\":3"), std::string::npos) << page.welcome;
  EXPECT_NE(screen.find("ABC"), std::string::npos) << screen;
  page.key(3, 'c');
  EXPECT_NE(page.until("\"ack\":3,\"cursor\":[1,12,true],\"runs\":[]}"), "");
  page.key(4, 768);
  ASSERT_TRUE(eventually([&] { return gateway.journal("H01").find("NAME") != std::string::npos; }, 5000));
  EXPECT_EQ(count(gateway.journal("H01"), "TRANMSG Y NAME ABC       \n"), 1) << gateway.journal("H01");

  const std::string metrics = gateway.metrics();
  EXPECT_EQ(metric(metrics, "vekweb_sessions_open"), "1") << metrics;
  EXPECT_EQ(metric(metrics, "vekweb_sessions_started_total"), "1");
  EXPECT_EQ(metric(metrics, "vekweb_sessions_resumed_total"), "1");
  EXPECT_GE(std::stoi("0" + metric(metrics, "vekweb_key_to_screen_seconds_count")), 3) << metrics;
  EXPECT_NE(gateway.log().find("vekweb: start H01"), std::string::npos) << gateway.log();
  EXPECT_NE(gateway.log().find("vekweb: resume H01"), std::string::npos) << gateway.log();

  // Cancel ends the program: the page is told and the connection closes normally.
  page.key(5, 256);
  EXPECT_NE(page.until("{\"t\":\"end\",\"reason\":\"the program ended\"}"), "");
  page.drain();
  EXPECT_EQ(page.close_code(), 1000);
  EXPECT_NE(gateway.journal("H01").find("TRANMSG Y CANCELLED"), std::string::npos);
}

// A session without a connection for the grace period ends as a cancel: its program sees the panel
// cancelled, and the journal keeps what was confirmed before.
TEST(Vekweb, GraceExpiryEndsTheSessionAsACancel) {
  Vekweb gateway({"--grace", "1"});
  Page page(gateway);
  page.hello("H01");
  page.key(1, 'a'), page.key(2, 768);
  // A scan into the next panel's field as soon as it shows: the module answers with the speaker and
  // the LED.
  EXPECT_NE(page.until("\"ack\":2,\"cursor\":[1,9,true]"), "");
  page.send("t=scan&seq=3&type=1&data=x");
  EXPECT_NE(page.until("\"t\":\"beep\""), "");
  EXPECT_NE(page.until("\"t\":\"led\",\"on\":true"), "");
  EXPECT_NE(page.until("\"ack\":3"), "");
  const std::string token = page.session();
  page.drop();
  ASSERT_TRUE(eventually(
      [&] { return gateway.log().find("vekweb: end H01 (the grace period expired)") != std::string::npos; },
      8000))
      << gateway.log();
  const std::string metrics = gateway.metrics();
  EXPECT_EQ(metric(metrics, "vekweb_sessions_open"), "0") << metrics;
  EXPECT_EQ(metric(metrics, "vekweb_sessions_ended_total"), "1") << metrics;
  // The old token finds no session, and a new one starts only once the old process has gone (a
  // journal has one writer): by the welcome, the old program has written all it had to.
  Page again(gateway);
  again.hello("H01", "&session=" + token);
  const std::string journal = gateway.journal("H01");
  EXPECT_EQ(count(journal, "\n"), 2) << journal;
  EXPECT_NE(journal.find("TRANMSG Y NAME A         \n"), std::string::npos) << journal;
  EXPECT_NE(journal.find("TRANMSG Y CANCELLED\n"), std::string::npos) << journal;
  EXPECT_NE(again.welcome.find("\"resumed\":false"), std::string::npos) << again.welcome;
}

// Logins that are refused say why in a refused frame, close with a code a page can act on, and are
// counted by reason.
TEST(Vekweb, LoginsRefusedWithTheirReason) {
  Vekweb gateway({"--max-sessions", "2", "--password-file", "passwords"});
  Page first(gateway);
  first.hello("H01");
  struct Case {
    std::string hello, origin, reason, label;
    int code;  // 0: welcomed
  } cases[] = {
      {"terminal=H02&token=wrong-token-0123456789", "", "wrong access token or password", "credentials",
       1008},
      {"terminal=H03&password=not-it", "", "wrong access token or password", "credentials", 1008},
      {"terminal=H02&token=" + std::string(kToken), "http://elsewhere.example", "origin is not allowed",
       "origin", 1008},
      {"terminal=H01&token=" + std::string(kToken), "", "terminal H01 is in use", "in_use", 1008},
      {"terminal=..%2Fx&token=" + std::string(kToken), "", "not a terminal id", "terminal", 1008},
      {"terminal=H03&password=secret-h03", "", "", "", 0},
      {"terminal=H02&token=" + std::string(kToken), "", "too many sessions", "max_sessions", 1013},
  };
  std::vector<std::unique_ptr<Page>> held;
  for (const Case &c : cases) {
    held.push_back(std::make_unique<Page>(gateway, c.origin));
    Page &page = *held.back();
    page.send("t=hello&" + c.hello);
    const std::string frame = page.next();
    if (c.code == 0) {
      EXPECT_NE(frame.find("\"t\":\"welcome\""), std::string::npos) << c.hello << "\n" << frame;
      continue;
    }
    EXPECT_NE(frame.find("\"t\":\"refused\""), std::string::npos) << c.hello << "\n" << frame;
    EXPECT_NE(frame.find(c.reason), std::string::npos) << c.hello << "\n" << frame;
    EXPECT_EQ(page.next(), "");
    EXPECT_EQ(page.close_code(), c.code) << c.hello;
  }
  const std::string metrics = gateway.metrics();
  for (const auto &[label, n] : {std::pair{"credentials", "2"},
                                 {"origin", "1"},
                                 {"in_use", "1"},
                                 {"terminal", "1"},
                                 {"max_sessions", "1"}})
    EXPECT_EQ(metric(metrics, std::string("vekweb_sessions_refused_total{reason=\"") + label + "\"}"), n)
        << label << "\n"
        << metrics;
}

// A bad frame closes the connection that sent it and nothing else: another handheld goes on typing,
// and the sender's session waits to be resumed.
TEST(Vekweb, BadFrameClosesOnlyItsConnection) {
  Vekweb gateway({"--max-message", "1024"});
  Page other(gateway);
  other.hello("H02");
  std::string token;
  int seq = 0;
  struct Case {
    std::string what, frame;
    bool binary;
    int code;
  } cases[] = {
      {"malformed", "t=key&seq=1&code=%zz", false, 1007},
      {"unknown kind", "t=paste&seq=1", false, 1007},
      {"oversized", "t=scan&seq=1&type=1&data=" + std::string(2000, 'A'), false, 1009},
      {"binary", "t=key&seq=1&code=13", true, 1003},
      {"second hello", "t=hello&terminal=H01&token=" + std::string(kToken), false, 1007},
  };
  for (const Case &c : cases) {
    Page page(gateway);
    page.hello("H01", token.empty() ? "" : "&session=" + token);
    EXPECT_NE(page.welcome.find(token.empty() ? "\"resumed\":false" : "\"resumed\":true"), std::string::npos)
        << c.what << "\n"
        << page.welcome;
    token = page.session();
    page.send(c.frame, c.binary);
    page.drain();
    EXPECT_EQ(page.close_code(), c.code) << c.what;
    other.key(++seq, 'z');
    EXPECT_NE(other.until("\"ack\":" + std::to_string(seq)), "") << c.what;
  }
}

// The page files are served with their content type and an ETag to revalidate; nothing outside the
// page folder is.
TEST(Vekweb, PageFilesServedFromTheirFolderOnly) {
  Vekweb gateway;
  gateway.dir.write("web/index.html", "<!doctype html><title>panel</title>");
  gateway.dir.write("web/app.js", "export {};");
  gateway.dir.write("web/.hidden", "no");
  std::filesystem::create_symlink("../token", gateway.dir.file("web/token.txt"));
  struct Case {
    std::string target, status, header;
  } cases[] = {
      {"/", "200 OK", "Content-Type: text/html; charset=utf-8"},
      {"/app.js?v=2", "200 OK", "Content-Type: text/javascript; charset=utf-8"},
      {"/../token", "404", ""},
      {"/%2e%2e/token", "404", ""},
      {"/token.txt", "404", ""},
      {"/.hidden", "404", ""},
      {"/missing.css", "404", ""},
  };
  for (const Case &c : cases) {
    const std::string response = gateway.get(c.target);
    EXPECT_NE(response.find(c.status), std::string::npos) << c.target << "\n" << response;
    EXPECT_NE(response.find(c.header), std::string::npos) << c.target << "\n" << response;
    EXPECT_EQ(response.find(kToken), std::string::npos) << c.target;
  }
  const std::string first = gateway.get("/index.html");
  const std::size_t at = first.find("ETag: ");
  ASSERT_NE(at, std::string::npos) << first;
  EXPECT_NE(first.find("Cache-Control: no-cache"), std::string::npos) << first;
  const std::string etag = first.substr(at + 6, first.find('\r', at) - at - 6);
  EXPECT_NE(gateway.get("/index.html", etag).find("304 Not Modified"), std::string::npos);
}

}  // namespace
}  // namespace vektest
