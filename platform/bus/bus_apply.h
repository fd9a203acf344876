#pragma once
// Applying a parsed bus call to the application on the UI thread and forming its reply: the
// published actions through the widget's action methods, resources through its resource
// methods, "maps.action"-style payloads through the state's registry and executor.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gio/gio.h>

#include "platform/bus/bus_request.h"

namespace zarn_ui {
class State;
namespace widget {
class Widget;
}
} // namespace zarn_ui

namespace zarn_ui::bus {

/// A reply: the out-arguments tuple (owned; none means the empty tuple) or an error.
class Reply {
public:
  Reply() = default;
  static Reply value(GVariant* tuple); // takes a floating or owned reference
  static Reply failure(CallError error);
  Reply(Reply&& other) noexcept;
  Reply& operator=(Reply&& other) noexcept;
  Reply(Reply const&) = delete;
  Reply& operator=(Reply const&) = delete;
  ~Reply();

  GVariant* tuple() const { return value_; }
  std::optional<CallError> const& error() const { return error_; }
  /// Hands the reply to `invocation` (which it consumes).
  void send(GDBusMethodInvocation* invocation);

private:
  GVariant* value_ = nullptr;
  std::optional<CallError> error_;
};

struct ApplyContext {
  widget::Widget& widget;
  State& state;
  std::vector<ActionSignature> const& actions;
  std::string error_prefix;                         // "test.zarn.maps.Error"
  std::function<void(std::string const&)> activate; // raises the window with the launcher's token
};

Reply apply(Request const& request, ApplyContext const& ctx);

/// Whether each published action can run now: an action a top-level resource verb runs is
/// disabled while that verb says why it cannot run; every other action is enabled.
std::map<std::string, bool> action_enabled(widget::Widget& widget, State& state,
                                           std::vector<ActionSignature> const& actions);

/// The (bgav) description org.gtk.Actions gives of an action.
GVariant* describe(ActionSignature const& action, bool enabled);

} // namespace zarn_ui::bus
