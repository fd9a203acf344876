#include "platform/launch/loop_wake.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace zarn_ui::launch {

namespace {

struct Wakeup {
  std::mutex mutex;
  std::condition_variable cv;
  bool woken = false;
};

Wakeup& wakeup() {
  static Wakeup w;
  return w;
}

bool driver_waits_itself() {
  char const* driver = SDL_GetCurrentVideoDriver();
  return driver == nullptr ||
         (std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "offscreen") != 0);
}

}  // namespace

Uint32 wake_event_type() {
  static Uint32 const type = SDL_RegisterEvents(1);
  return type;
}

void push_wake() {
  Uint32 const type = wake_event_type();
  if (type != static_cast<Uint32>(-1)) {
    SDL_Event event{};
    event.type = type;
    SDL_PushEvent(&event);
  }
  // After the push: a loop woken here finds the event queued.
  auto& w = wakeup();
  {
    std::lock_guard lock(w.mutex);
    w.woken = true;
  }
  w.cv.notify_all();
}

void wait_for_event(std::optional<std::chrono::steady_clock::time_point> until) {
  using std::chrono::steady_clock;
  if (driver_waits_itself()) {
    if (!until) {
      SDL_WaitEvent(nullptr);
      return;
    }
    auto const left = *until - steady_clock::now();
    if (left <= steady_clock::duration::zero()) {
      return;
    }
    // Rounded up: waking a little early would only sleep again for the rest.
    auto const ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    SDL_WaitEventTimeout(nullptr, static_cast<int>(std::min<long long>(ms, INT_MAX)));
    return;
  }
  auto& w = wakeup();
  {
    std::lock_guard lock(w.mutex);
    w.woken = false;
  }
  SDL_PumpEvents();
  if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) {
    return;
  }
  std::unique_lock lock(w.mutex);
  if (until) {
    w.cv.wait_until(lock, *until, [&] { return w.woken; });
  } else {
    w.cv.wait(lock, [&] { return w.woken; });
  }
}

}  // namespace zarn_ui::launch
