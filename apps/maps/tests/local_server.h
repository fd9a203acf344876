#pragma once
// Test support for the service queries: an HTTP server on 127.0.0.1 at a free port, run on
// its own thread for the life of the object, and a listener that accepts connections but
// never answers (for time-outs), and a check of what a query makes of a table of served
// answers. Fixtures are read from the tests' fixtures folder.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

namespace maps::test {

inline std::string read_fixture(std::string const& name) {
  std::ifstream in(std::string(MAPS_TEST_FIXTURES) + "/" + name, std::ios::binary);
  if (!in) {
    throw std::runtime_error("missing fixture " + name);
  }
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

/// Register handlers on `server()`, then call `start()`. Connections close after each
/// request so that stopping never waits for an idle keep-alive connection.
class LocalServer {
public:
  LocalServer() {
    server_.set_keep_alive_max_count(1);
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) {
      throw std::runtime_error("cannot bind a test server on 127.0.0.1");
    }
  }
  LocalServer(LocalServer const&) = delete;
  LocalServer& operator=(LocalServer const&) = delete;

  ~LocalServer() {
    if (thread_.joinable()) {
      // stop() only acts on a running server, so let the accept loop start first.
      while (!server_.is_running()) {
        std::this_thread::yield();
      }
      server_.stop();
      thread_.join();
    }
  }

  httplib::Server& server() { return server_; }

  void start() {
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }

  /// Serves `body` with `content_type` at `path`.
  void serve(std::string const& path, std::string body,
             std::string const& content_type = "application/json") {
    server_.Get(path, [body = std::move(body), content_type](httplib::Request const&,
                                                             httplib::Response& res) {
      res.set_content(body, content_type.c_str());
    });
  }

  std::string base_url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  int port() const { return port_; }

private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

/// A server that answers every GET with the answer set last, and remembers the request
/// target (path and query) it was asked for.
class ScriptedServer {
public:
  ScriptedServer() {
    srv_.server().Get(".*", [this](httplib::Request const& req, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      target_ = req.target;
      res.status = status_;
      res.set_content(body_, "application/json");
    });
    srv_.start();
  }

  void answer(int status, std::string body) {
    std::lock_guard lock(mutex_);
    status_ = status;
    body_ = std::move(body);
  }
  void answer_fixture(std::string const& name) { answer(200, read_fixture(name)); }

  std::string target() const {
    std::lock_guard lock(mutex_);
    return target_;
  }
  std::string base_url() const { return srv_.base_url(); }

private:
  mutable std::mutex mutex_;
  int status_ = 200;
  std::string body_ = "{}";
  std::string target_;
  LocalServer srv_; // last: stopped before the state its handler reads goes away
};

/// One served answer and what a query should make of it: the names of the records it keeps,
/// or, when `error` is set, the failure it reports.
struct ServedAnswer {
  char const* what;
  int status;
  std::string body;
  std::vector<std::string> names;
  char const* error = nullptr;
};

/// Serves each answer in turn and checks what `query` (called with no arguments, answering a
/// Result of records with a `name`) makes of it.
template <class Query>
void expect_served_names(ScriptedServer& srv, std::span<ServedAnswer const> answers, Query query) {
  for (auto const& c : answers) {
    SCOPED_TRACE(c.what);
    srv.answer(c.status, c.body);
    auto const r = query();
    if (c.error != nullptr) {
      ASSERT_FALSE(r.has_value());
      EXPECT_EQ(r.error(), c.error);
      continue;
    }
    ASSERT_TRUE(r.has_value()) << r.error();
    std::vector<std::string> names;
    for (auto const& p : *r) {
      names.push_back(p.name);
    }
    EXPECT_EQ(names, c.names);
  }
}

/// A listening socket that nobody accepts from: the kernel completes the connection, the
/// request goes out, and no answer ever comes.
class SilentListener {
public:
  SilentListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      throw std::runtime_error("cannot open a silent listener");
    }
    port_ = ntohs(addr.sin_port);
  }
  SilentListener(SilentListener const&) = delete;
  SilentListener& operator=(SilentListener const&) = delete;
  ~SilentListener() { ::close(fd_); }

  std::string base_url() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
  int fd_ = -1;
  int port_ = 0;
};

} // namespace maps::test
