#include "platform/launch/window_access.h"

#include "platform/a11y/access_bridge.h"
#include "platform/launch/loop_wake.h"

namespace zarn_ui::launch {

WindowAccess::WindowAccess(LaunchSpec const& application, bool use_bridge) {
  if (!use_bridge) {
    return;
  }
  a11y::BridgeOptions options;
  options.app_name = application.name.empty() ? application.app_id : application.name;
  options.version = application.version;
  options.wake = push_wake;
  bridge_ = std::make_unique<a11y::AccessBridge>(std::move(options));
}

WindowAccess::~WindowAccess() = default;

void WindowAccess::before_tick(widget::Widget& widget, State& state) {
  if (bridge_) {
    bridge_->apply_queued(widget, state);
  }
}

void WindowAccess::after_frame(widget::Widget const& widget, SDL_Window* window, Size logical,
                               double ui_scale) {
  if (!bridge_ || !bridge_->listening()) {
    return;
  }
  int x = 0;
  int y = 0;
  SDL_GetWindowPosition(window, &x, &y);
  bridge_->publish(widget, Point{static_cast<double>(x), static_cast<double>(y)},
                   Rect{0.0, 0.0, logical.width, logical.height}, ui_scale);
}

} // namespace zarn_ui::launch
