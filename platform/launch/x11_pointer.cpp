#include "platform/launch/x11_pointer.h"

// Apart from the rest: the X headers define macros (None, Status, Bool) that clash with names
// elsewhere.
#include <SDL_syswm.h>

namespace zarn_ui::launch {

std::optional<Point> x11_pointer_on_screen(SDL_Event const& event) {
#if defined(SDL_VIDEO_DRIVER_X11)
  if (event.type != SDL_SYSWMEVENT || event.syswm.msg == nullptr ||
      event.syswm.msg->subsystem != SDL_SYSWM_X11) {
    return std::nullopt;
  }
  XEvent const& x = event.syswm.msg->msg.x11.event;
  switch (x.type) {
  case MotionNotify:
    return Point{static_cast<double>(x.xmotion.x_root), static_cast<double>(x.xmotion.y_root)};
  case ButtonPress:
  case ButtonRelease:
    return Point{static_cast<double>(x.xbutton.x_root), static_cast<double>(x.xbutton.y_root)};
  default:
    return std::nullopt;
  }
#else
  (void)event;
  return std::nullopt;
#endif
}

} // namespace zarn_ui::launch
