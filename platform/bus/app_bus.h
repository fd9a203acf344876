#pragma once
// The application's own name on the session bus: a connection on a GLib main-context thread of
// its own that owns the application id and exports, at the path derived from it,
// org.freedesktop.Application, org.gtk.Actions and <id>.Automation1. Calls from other users
// are refused on that thread; every other call is queued for the UI thread, which applies a
// bounded share of them per frame, callers in turn (`apply_queued`, before the tick) and answers
// them after the frame (`send_replies`).

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "platform/bus/action_signature.h"

namespace zarn_ui {
class State;
namespace widget {
class Widget;
}
} // namespace zarn_ui

namespace zarn_ui::bus {

struct BusOptions {
  std::string app_id;
  std::optional<std::string> address; // none: the user's session bus
  std::function<void()> wake;         // on the bus thread, after a call was queued
  std::optional<uid_t> allowed_uid;   // none: the user running the process
  // A frame applies at most so many calls, and starts no further one once it has spent the
  // budget on them (it applies at least one); the rest wait for the next frames.
  std::size_t calls_per_frame = 64;
  std::chrono::microseconds call_budget{4000};
};

class AppBus {
public:
  /// Connects and asks for the name without queueing behind its owner. Fails (with the reason)
  /// when there is no bus to connect to.
  static base::Result<std::unique_ptr<AppBus>> start(BusOptions options);
  ~AppBus();
  AppBus(AppBus const&) = delete;
  AppBus& operator=(AppBus const&) = delete;

  /// False when another process owns the name; this one then exports nothing.
  bool owns_name() const;
  std::string const& object_path() const;

  /// Queues an ActivateAction from this process itself (a start with --action); its outcome
  /// goes to the log.
  void queue_local_action(std::string id, std::optional<std::string> argument);

  /// UI thread: applies queued calls, each caller's in order, within the frame's share; wakes
  /// the loop again while calls are left. The number applied.
  std::size_t apply_queued(widget::Widget& widget, State& state,
                           std::vector<ActionSignature> const& actions,
                           std::function<void(std::string const&)> const& activate);
  /// UI thread, after the frame: answers the applied calls, and signals org.gtk.Actions.Changed
  /// when an action's enabled state changed (checked after calls and at most once a second).
  void send_replies(widget::Widget& widget, State& state,
                    std::vector<ActionSignature> const& actions);
  /// When send_replies should run again for a check of the enabled states it put off; none
  /// when nothing waits.
  std::optional<std::chrono::steady_clock::time_point> next_enabled_check() const;

  struct Impl;

private:
  explicit AppBus(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

/// What the application's object offers: org.freedesktop.Application, org.gtk.Actions and the
/// automation interface of that name.
std::string introspection_xml(std::string_view automation);

/// The published actions of `widget` with the signatures an application declares; an action it
/// does not declare takes a JSON string argument and runs with effect 2.
std::vector<ActionSignature> published_signatures(widget::Widget const& widget,
                                                  std::vector<ActionSignature> const& declared);

} // namespace zarn_ui::bus
