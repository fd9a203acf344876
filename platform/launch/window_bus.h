#pragma once
// The window's side of the application bus: a plain start claims the application id (or hands
// over to the instance that holds it, and the window never opens), queued bus calls are applied
// before the tick and answered after the frame, and a bus thread wakes the sleeping loop with
// an SDL user event. Starts from launch arguments (demo states) stay off the bus.

#include <SDL.h>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "platform/bus/action_signature.h"
#include "platform/launch/launch.h"

namespace zarn_ui::bus {
class AppBus;
}

namespace zarn_ui::launch {

class WindowBus {
public:
  /// `use_bus` false: no bus at all (tests, unless they ask). Without a session bus the window
  /// runs as before, with a line in the log.
  WindowBus(LaunchSpec const& application, LaunchArgs const& args, bool use_bus);
  ~WindowBus();
  WindowBus(WindowBus const&) = delete;
  WindowBus& operator=(WindowBus const&) = delete;

  /// Set when another instance owns the id: the outcome of handing over to it.
  std::optional<LaunchResult> const& handed_off() const { return handed_off_; }

  /// Once the application is built: its published actions, and the --action of this start.
  void attach(widget::Widget& widget);
  void before_tick(widget::Widget& widget, State& state, SDL_Window* window);
  void after_frame(widget::Widget& widget, State& state);
  /// When after_frame must run again although nothing woke the loop: a check of the actions'
  /// enabled states that the last frame put off.
  std::optional<std::chrono::steady_clock::time_point> next_deadline() const;

private:
  std::unique_ptr<bus::AppBus> bus_;
  std::optional<LaunchResult> handed_off_;
  std::vector<bus::ActionSignature> declared_;
  std::vector<bus::ActionSignature> actions_;
  std::optional<StartAction> start_action_;
};

} // namespace zarn_ui::launch
