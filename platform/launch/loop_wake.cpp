#include "platform/launch/loop_wake.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "base/ui_wake.h"

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

} // namespace

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
}

namespace {

// SDL calls its watchers just before the event enters the queue; the waiting side therefore
// looks for it again for a moment after waking.
int note_event(void*, SDL_Event*) {
  auto& w = wakeup();
  {
    std::lock_guard lock(w.mutex);
    w.woken = true;
  }
  w.cv.notify_all();
  return 0;
}

} // namespace

LoopWakeScope::LoopWakeScope() {
  SDL_AddEventWatch(&note_event, nullptr);
  base::set_ui_waker(&push_wake);
}

LoopWakeScope::~LoopWakeScope() {
  base::set_ui_waker(nullptr);
  SDL_DelEventWatch(&note_event, nullptr);
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
  SDL_PumpEvents();
  if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) {
    return;
  }
  // The flag is cleared only after waking: a watcher that ran just now, for an event not yet
  // queued, must not be forgotten (a stale flag costs one short look below).
  auto& w = wakeup();
  {
    std::unique_lock lock(w.mutex);
    if (until) {
      if (!w.cv.wait_until(lock, *until, [&] { return w.woken; })) {
        return;
      }
    } else {
      w.cv.wait(lock, [&] { return w.woken; });
    }
    w.woken = false;
  }
  // Woken by an event on its way into the queue: it lands within moments.
  for (int i = 0; i < 20 && !SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT); ++i) {
    SDL_Delay(1);
  }
}

} // namespace zarn_ui::launch
