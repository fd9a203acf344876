#include "base/ui_wake.h"

#include <mutex>

namespace base {

namespace {

std::mutex& waker_mutex() {
  static std::mutex mutex;
  return mutex;
}

UiWaker current_waker = nullptr;

} // namespace

void set_ui_waker(UiWaker waker) {
  std::lock_guard lock(waker_mutex());
  current_waker = waker;
}

void wake_ui() {
  // Held while waking, so that removing the waker cannot race with a call into it.
  std::lock_guard lock(waker_mutex());
  if (current_waker != nullptr) {
    current_waker();
  }
}

} // namespace base
