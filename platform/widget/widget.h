#pragma once
// The widget interface the platform drives: one application object implements it, and the
// platform calls it on the UI thread for every frame (tick, layout, draw), every input event and
// every action. Operations an application does not override answer neutrally.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/layout/layout.h"
#include "platform/scene/geometry.h"
#include "platform/widget/event.h"

namespace zarn_ui {

class Scene;
class TextRenderer;
struct Theme;
class State;

/// Who is looking at the window (shared-presence cursors); empty in this application.
struct PresenceCtx {
  static PresenceCtx empty() { return {}; }
};

/// What the viewer may do; this application runs with every permission.
struct PermissionContext {
  bool can_edit = true;
  static PermissionContext permissive() { return {}; }
};

namespace widget {

class Widget;

struct NodeIdHash {
  std::size_t operator()(layout::NodeId id) const noexcept { return std::hash<std::uint64_t>{}(id.value); }
};

/// The platform's registry from layout node to the widget that owns it.
using NodeWidgetMap = std::unordered_map<layout::NodeId, Widget*, NodeIdHash>;

struct DrawCtx {
  TextRenderer& text;
  Theme const& theme;
  PresenceCtx const& presence;
  PermissionContext const& permissions;
};

class Widget {
 public:
  virtual ~Widget() = default;

  virtual std::string_view type_name() const = 0;
  virtual std::string_view widget_id() const { return {}; }

  /// Per-frame work before layout and drawing.
  virtual void tick(State& /*state*/) {}

  virtual layout::NodeId build_layout(layout::LayoutTree& tree, Theme const& theme,
                                      NodeWidgetMap& map) = 0;
  virtual void apply_layout(layout::LayoutTree const& tree, Point origin, layout::NodeId node) = 0;

  virtual void draw(Scene& scene, Affine transform, DrawCtx const& ctx) = 0;
  virtual void draw_root(Scene& scene, Affine transform, DrawCtx const& ctx) {
    draw(scene, transform, ctx);
  }

  /// Sets `handled` when the event was consumed; leaves it alone otherwise.
  virtual void handle_event(Event const& /*event*/, Modifiers /*modifiers*/, State* /*state*/,
                            double /*scale*/, bool& /*handled*/) {}

  virtual Rect window_rect() const { return {}; }
  virtual void set_reduce_motion(bool /*on*/) {}
  virtual bool is_busy() const { return false; }
  virtual bool needs_frame() const { return false; }
  virtual std::optional<Rect> modal_rect() const { return std::nullopt; }
  virtual bool is_dragging_surface() const { return false; }
  virtual std::vector<std::string> published_action_ids() const { return {}; }
};

}  // namespace widget
}  // namespace zarn_ui
