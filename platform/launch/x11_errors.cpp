#include "platform/launch/x11_errors.h"

#include <SDL.h>

#include <mutex>

// Apart from the rest: the X headers define macros (None, Status, Bool) that clash with names
// elsewhere.
#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#endif

namespace zarn_ui::launch {

#if defined(SDL_VIDEO_DRIVER_X11)
namespace {

XErrorHandler previous_handler = nullptr;

int on_x_error(Display* display, XErrorEvent* error) {
  // A wake-up for a window that is gone has nobody left to wake.
  if (error->request_code == X_SendEvent && error->error_code == BadWindow) {
    return 0;
  }
  return previous_handler ? previous_handler(display, error) : 0;
}

} // namespace
#endif

void tolerate_late_wakeups() {
#if defined(SDL_VIDEO_DRIVER_X11)
  static std::once_flag once;
  std::call_once(once, [] { previous_handler = XSetErrorHandler(&on_x_error); });
#endif
}

} // namespace zarn_ui::launch
