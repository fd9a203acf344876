#pragma once
// The window's side of the accessibility bridge: a window started for people (not a test that
// did not ask) exports its accessibility tree on the desktop's accessibility bus. Queued
// actions are performed before the tick and the frame's tree is published after it; the bridge
// thread wakes the sleeping loop with an SDL user event.

#include <SDL.h>

#include <memory>

#include "platform/launch/launch.h"
#include "platform/scene/geometry.h"

namespace zarn_ui::a11y {
class AccessBridge;
}

namespace zarn_ui::launch {

class WindowAccess {
public:
  WindowAccess(LaunchSpec const& application, bool use_bridge);
  ~WindowAccess();
  WindowAccess(WindowAccess const&) = delete;
  WindowAccess& operator=(WindowAccess const&) = delete;

  void before_tick(widget::Widget& widget, State& state);
  /// `logical` is the layout's size of this frame, `ui_scale` window points per layout pixel.
  void after_frame(widget::Widget const& widget, SDL_Window* window, Size logical, double ui_scale);

private:
  std::unique_ptr<a11y::AccessBridge> bridge_;
};

} // namespace zarn_ui::launch
