#include "platform/launch/quit_signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <spdlog/spdlog.h>

#include "platform/launch/loop_wake.h"

namespace zarn_ui::launch {

namespace {

// Shared with the handler, which may only touch lock-free atomics and write(2).
std::atomic<bool> g_requested{false};
std::atomic<int> g_notify_fd{-1};
int g_read_fd = -1;
struct sigaction g_previous_term {};
struct sigaction g_previous_int {};

void on_quit_signal(int sig) {
  if (g_requested.exchange(true)) {
    // Asked twice: the user wants it gone now, final save or not.
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    return;
  }
  int const saved = errno;
  if (int const fd = g_notify_fd.load(); fd >= 0) {
    char const byte = 1;
    (void)!::write(fd, &byte, 1);
  }
  errno = saved;
}

// SDL's event queue takes locks, so the handler cannot push the wake-up itself: this thread
// does, once the handler wrote its byte. It ends when the pipe closes.
void watch(int fd) {
  pthread_setname_np(pthread_self(), "quit-signals");
  for (;;) {
    char byte = 0;
    auto const n = ::read(fd, &byte, 1);
    if (n == 1) {
      push_wake();
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    return;
  }
}

} // namespace

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

QuitSignals::QuitSignals() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    spdlog::warn("SIGTERM and SIGINT will end the window without saving: no pipe");
    return;
  }
  g_requested = false;
  g_read_fd = fds[0];
  g_notify_fd = fds[1];
  struct sigaction action {};
  action.sa_handler = &on_quit_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, &g_previous_term);
  sigaction(SIGINT, &action, &g_previous_int);
  installed_ = true;
  watcher_ = std::thread(watch, fds[0]);
}

QuitSignals::~QuitSignals() {
  if (!installed_) {
    return;
  }
  sigaction(SIGTERM, &g_previous_term, nullptr);
  sigaction(SIGINT, &g_previous_int, nullptr);
  ::close(g_notify_fd.exchange(-1));
  watcher_.join();
  ::close(g_read_fd);
  g_read_fd = -1;
}

bool QuitSignals::requested() const {
  return g_requested.load();
}

} // namespace zarn_ui::launch
