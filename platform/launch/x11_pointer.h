#pragma once
// The pointer's place on the screen as the X server reported it with a motion, read from the raw
// event SDL hands out while window-system events are enabled. SDL's own motion positions are
// relative to a window, which lags behind a window that is being moved under the pointer.

#include <SDL.h>

#include <optional>

#include "platform/scene/geometry.h"

namespace zarn_ui::launch {

/// Root-window coordinates of an X11 pointer motion or button event; none for anything else.
std::optional<Point> x11_pointer_on_screen(SDL_Event const& event);

} // namespace zarn_ui::launch
