#pragma once
// The widget interface the platform drives: one application object implements it, and the
// platform calls it on the UI thread for every frame (tick, layout, draw), every input event and
// every action. Operations an application does not override answer neutrally.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/clock.h"
#include "platform/access/access_node.h"
#include "platform/actions/action.h"
#include "platform/actions/resource.h"
#include "platform/doc/document.h"
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

namespace floating_surface {
class FloatingSurfaceDelegate;
}

namespace widget {

class Widget;

/// The outcome of starting an action: it completes later (Pending), was not recognised, failed
/// with a message, or completed at once (with the empty value).
struct StartOutcome {
  enum class Kind : std::uint8_t { Pending, NotHandled, Failed, Completed };
  Kind kind = Kind::NotHandled;
  std::string message;
  static StartOutcome pending() { return {Kind::Pending, {}}; }
  static StartOutcome not_handled() { return {Kind::NotHandled, {}}; }
  static StartOutcome failed(std::string m) { return {Kind::Failed, std::move(m)}; }
  static StartOutcome completed() { return {Kind::Completed, {}}; }
  bool operator==(StartOutcome const&) const = default;
};

/// The value a semantic action request carries. `Empty` is the plain request and `Activate` the
/// value-less form some assistive tools send for a press; `Text` and `Number` carry a value.
struct SemanticArgument {
  enum class Kind : std::uint8_t { Empty, Text, Activate, Number };
  Kind kind = Kind::Empty;
  std::string text;    // Text
  double number = 0.0; // Number
  static SemanticArgument empty() { return {}; }
  static SemanticArgument activate() { return {Kind::Activate, {}, 0.0}; }
  static SemanticArgument with_text(std::string t) { return {Kind::Text, std::move(t), 0.0}; }
  static SemanticArgument with_number(double n) { return {Kind::Number, {}, n}; }
  bool carries_value() const { return kind == Kind::Text || kind == Kind::Number; }
  bool operator==(SemanticArgument const&) const = default;
};

/// Handled (true or false) or a failure message.
using InvokeResult = tl::expected<bool, std::string>;

struct NodeIdHash {
  std::size_t operator()(layout::NodeId id) const noexcept {
    return std::hash<std::uint64_t>{}(id.value);
  }
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

  /// The widget's floating-surface side, when it has detachable surfaces; none by default.
  virtual floating_surface::FloatingSurfaceDelegate* as_floating_surface_mut() { return nullptr; }
  virtual floating_surface::FloatingSurfaceDelegate const* as_floating_surface() const {
    return nullptr;
  }

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
  /// True while what the window shows changes by itself (an animation): frames then come at
  /// display rate. Waiting for another thread is no reason: its answer wakes the loop.
  virtual bool needs_frame() const { return false; }
  /// The next instant at which a frame would show something new without any event or answer
  /// (a debounce or delay firing, a retry falling due); none when nothing waits. An idle window
  /// sleeps until then.
  virtual std::optional<base::Instant> next_deadline() const { return std::nullopt; }
  virtual std::optional<Rect> modal_rect() const { return std::nullopt; }
  virtual bool is_dragging_surface() const { return false; }
  virtual std::vector<std::string> published_action_ids() const { return {}; }

  // Published actions.
  virtual InvokeResult invoke_action(std::uint8_t /*effect*/, std::string_view /*id*/,
                                     std::span<std::uint8_t const> /*argument*/) {
    return false;
  }
  virtual StartOutcome start_action(zarn_actions::RequestId const& /*request*/, std::uint8_t effect,
                                    std::string_view id, std::span<std::uint8_t const> argument) {
    return invoke_action_wrapped(effect, id, argument);
  }
  virtual std::optional<zarn_actions::ActionCompletion>
  take_action_result(zarn_actions::RequestId const& /*request*/) {
    return std::nullopt;
  }
  /// invoke_action in the outcome form of start_action.
  StartOutcome invoke_action_wrapped(std::uint8_t effect, std::string_view id,
                                     std::span<std::uint8_t const> argument) {
    InvokeResult r = invoke_action(effect, id, argument);
    if (!r) {
      return StartOutcome::failed(std::move(r.error()));
    }
    return *r ? StartOutcome::completed() : StartOutcome::not_handled();
  }
  /// start_action under the name the platform's forwarding path uses.
  StartOutcome start_action_fwd(zarn_actions::RequestId const& request, std::uint8_t effect,
                                std::string_view id, std::span<std::uint8_t const> argument) {
    return start_action(request, effect, id, argument);
  }
  /// Every action id the widget answers to (it has no children), each once.
  std::unordered_set<std::string> all_action_ids() const {
    auto const ids = published_action_ids();
    return {ids.begin(), ids.end()};
  }

  // Resources.
  virtual std::vector<zarn_actions::Resource> root_resources(State& /*state*/) { return {}; }
  virtual zarn_actions::ResourcePage list_resources(State& /*state*/, std::uint64_t /*cursor*/,
                                                    std::uint64_t /*limit*/) {
    return {};
  }
  virtual std::optional<zarn_actions::Resource> resolve_resource(State& /*state*/,
                                                                 std::string_view /*id*/) {
    return std::nullopt;
  }
  /// The document heads from before the first dispatch of the widget's host, handed out once.
  virtual std::optional<std::vector<doc::ChangeHash>> take_host_record() { return std::nullopt; }

  // Accessibility and automation.
  /// The widget's accessibility tree; none when it exposes nothing.
  virtual std::optional<access::AccessNode> accessibility_tree() const { return std::nullopt; }
  /// What the accessibility bus adds to or groups in that tree; nothing by default.
  virtual access::AccessPresentation access_presentation() const { return {}; }
  /// The rectangle of the node at `path` (child indices from the root); none when unknown.
  virtual std::optional<Rect> semantic_node_rect(std::span<std::size_t const> /*path*/) const {
    return std::nullopt;
  }
  /// Performs the node with the id text `id`; true when something was performed.
  virtual bool perform_semantic_action(State& /*state*/, std::string_view /*id*/,
                                       SemanticArgument const& /*argument*/) {
    return false;
  }
  /// Every semantic action the widget's own tree declares (it has no children), so that
  /// declaring a node in the tree is all it takes to bind its actions.
  std::vector<SemanticActionBinding> collect_semantic_action_bindings() const {
    if (auto const tree = accessibility_tree()) {
      return semantic_action_bindings(*tree);
    }
    return {};
  }

  /// Adds the widget's own rectangle to `rects`.
  void push_window_rect_if(std::vector<Rect>& rects) const { rects.push_back(window_rect()); }
};

} // namespace widget
} // namespace zarn_ui
