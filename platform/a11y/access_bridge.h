#pragma once
// The bridge to the desktop's accessibility bus: a thread with its own GLib main context finds
// the bus (org.a11y.Bus.GetAddress on the session bus), connects, embeds the application object
// in the registry and answers for the exported tree. Reads are answered on that thread from the
// last published frame; doing an action or grabbing the focus is queued for the UI thread,
// which performs it (`apply_queued`, before the tick) and answers after the frame. Until some
// client has asked for something the UI thread builds and sends nothing. A registry that
// restarts is embedded in again; a bus that goes away is connected to again when it is back.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/scene/geometry.h"

namespace zarn_ui {
class State;
namespace widget {
class Widget;
}
} // namespace zarn_ui

namespace zarn_ui::a11y {

struct BridgeOptions {
  std::string app_name; // the application object's name
  std::string version;
  std::optional<std::string> session_address; // none: the user's session bus
  std::function<void()> wake; // on the bridge thread, after a call was queued or a client came
};

class AccessBridge {
public:
  /// Starts the bridge thread; connecting happens there, so a missing bus only costs a line in
  /// the log.
  explicit AccessBridge(BridgeOptions options);
  ~AccessBridge();
  AccessBridge(AccessBridge const&) = delete;
  AccessBridge& operator=(AccessBridge const&) = delete;

  /// True while the application object is embedded in the registry.
  bool embedded() const;
  /// True once a client asked for something; only then are frames published.
  bool listening() const;

  /// UI thread: performs the queued actions through the widget's semantic actions; the number.
  std::size_t apply_queued(widget::Widget& widget, State& state);
  /// UI thread, after the frame: publishes the widget's tree, sends the events of what changed
  /// and answers the calls applied before. `window` is the window in layout pixels, `scale`
  /// window points per layout pixel, `origin` the window's top-left corner on the screen.
  void publish(widget::Widget const& widget, Point origin, Rect window, double scale = 1.0);

  struct Impl;

private:
  std::unique_ptr<Impl> impl_;
};

} // namespace zarn_ui::a11y
