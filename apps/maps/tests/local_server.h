#pragma once
// Test support for the service queries: an HTTP server on 127.0.0.1 at a free port, run on
// its own thread for the life of the object, and a listener that accepts connections but
// never answers (for time-outs). Fixtures are read from the tests' fixtures folder.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

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

}  // namespace maps::test
