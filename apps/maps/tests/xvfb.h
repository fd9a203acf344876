#pragma once
// A private X server for window tests: Xvfb on a display number it picks itself (-displayfd),
// so that tests running side by side never share one. Stopped with the object.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

namespace maps::test {

class Xvfb {
public:
  /// The Xvfb binary on PATH, if any.
  static std::optional<std::filesystem::path> binary() {
    char const* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
      std::filesystem::path const candidate = std::filesystem::path(dir) / "Xvfb";
      if (::access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
    return std::nullopt;
  }

  /// Starts the server with one `screen` ("WxHxD"); display() is empty when it did not come up.
  explicit Xvfb(std::string const& screen) {
    auto const exe = binary();
    int fds[2];
    if (!exe || ::pipe(fds) != 0) {
      return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(fds[0]);
      int const null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, STDERR_FILENO);
      std::string const fd = std::to_string(fds[1]);
      ::execl(exe->c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
              "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (pid_ > 0 && ::poll(&p, 1, 10000) > 0) {
      char c = 0;
      if (::read(fds[0], &c, 1) != 1 || c == '\n') {
        break;
      }
      number += c;
    }
    ::close(fds[0]);
    if (!number.empty()) {
      display_ = ":" + number;
    }
  }
  ~Xvfb() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Xvfb(Xvfb const&) = delete;
  Xvfb& operator=(Xvfb const&) = delete;

  std::string const& display() const { return display_; }

private:
  pid_t pid_ = -1;
  std::string display_;
};

} // namespace maps::test
