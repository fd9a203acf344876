#pragma once
// What the window benchmarks share: a private X server when Xvfb is installed (else SDL's
// dummy driver), a private session bus when none is set, a closed port on 127.0.0.1 for a start
// without network, a window run while a measurement goes on beside it, CPU time, medians, and
// the "metric NAME VALUE" lines scripts/bench reads.

#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/launch/launch.h"

namespace bench {

/// Xvfb on a display it picks itself (-displayfd), so parallel runs do not collide; SDL's dummy
/// driver when Xvfb is missing or SDL_VIDEODRIVER=dummy asks for it.
class PrivateDisplay {
public:
  PrivateDisplay() {
    char const* asked = getenv("SDL_VIDEODRIVER");
    if (access("/usr/bin/Xvfb", X_OK) != 0 || (asked && std::string(asked) == "dummy")) {
      setenv("SDL_VIDEODRIVER", "dummy", 1);
      return;
    }
    int fds[2];
    if (pipe(fds) != 0) {
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      freopen("/dev/null", "w", stderr);
      std::string const fd = std::to_string(fds[1]);
      execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
            "-nolisten", "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char buf[32] = {};
    ssize_t const n = read(fds[0], buf, sizeof buf - 1);
    close(fds[0]);
    if (n > 0) {
      std::string display = ":" + std::string(buf, static_cast<std::size_t>(n));
      display.erase(display.find_last_not_of("\n") + 1);
      setenv("DISPLAY", display.c_str(), 1);
      setenv("SDL_VIDEODRIVER", "x11", 1);
      name_ = "Xvfb " + display;
    } else {
      setenv("SDL_VIDEODRIVER", "dummy", 1);
    }
  }
  ~PrivateDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  PrivateDisplay(PrivateDisplay const&) = delete;
  PrivateDisplay& operator=(PrivateDisplay const&) = delete;
  std::string const& name() const { return name_; }

private:
  pid_t pid_ = -1;
  std::string name_ = "SDL dummy driver";
};

/// A session bus of its own for the benchmark's windows (a plain start takes its name there and
/// asks it for the desktop settings and the accessibility bus), when none is set and dbus-daemon
/// is installed; it ends with the benchmark.
class PrivateSessionBus {
public:
  PrivateSessionBus() {
    if (getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr ||
        access("/usr/bin/dbus-daemon", X_OK) != 0) {
      return;
    }
    int fds[2];
    if (pipe(fds) != 0) {
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      std::string const fd = std::to_string(fds[1]);
      execl("/usr/bin/dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address",
            fd.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char buf[512] = {};
    ssize_t const n = read(fds[0], buf, sizeof buf - 1);
    close(fds[0]);
    if (n > 0) {
      std::string address(buf, static_cast<std::size_t>(n));
      address.erase(address.find_last_not_of("\n") + 1);
      setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    }
  }
  ~PrivateSessionBus() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  PrivateSessionBus(PrivateSessionBus const&) = delete;
  PrivateSessionBus& operator=(PrivateSessionBus const&) = delete;

private:
  pid_t pid_ = -1;
};

/// A port on 127.0.0.1 that nothing listens on: connections to it are refused at once.
inline int closed_port() {
  int const s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 9;
  if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    port = ntohs(addr.sin_port);
  }
  if (s >= 0) {
    close(s);
  }
  return port;
}

/// CPU time of the whole process (every thread), user and system.
/// Runs the window of `application` while `during` runs on a thread of its own, and closes it
/// once `during` returns. A window that fails ends the program.
inline void run_window_during(zarn_ui::launch::LaunchSpec const& application,
                              zarn_ui::launch::WindowOptions options,
                              std::function<void()> const& during) {
  std::thread beside([&] {
    during();
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
  });
  auto const result =
      zarn_ui::launch::run_window(application, zarn_ui::launch::LaunchArgs{}, options);
  beside.join();
  if (!result) {
    std::fprintf(stderr, "the window failed: %s\n", result.error().display().c_str());
    std::exit(1);
  }
}

inline double cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  auto const secs = [](timeval t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return secs(u.ru_utime) + secs(u.ru_stime);
}

inline double median(std::vector<double> v) {
  if (v.empty()) {
    return 0.0;
  }
  std::sort(v.begin(), v.end());
  std::size_t const mid = v.size() / 2;
  return v.size() % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2.0;
}

inline void metric(char const* name, double value) {
  std::printf("metric %s %.3f\n", name, value);
  std::fflush(stdout);
}

} // namespace bench
