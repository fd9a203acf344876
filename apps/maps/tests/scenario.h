#pragma once
// A scripted user session: the application as launched with some switches, at a window size,
// run frame by frame as the window loop runs it (tick, layout, draw) with events sent through
// handle_event in between. Assertions read the model, the UI state, the document and the scene
// of the last frame.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/maps_app.h"
#include "base/clock.h"
#include "platform/launch/launch_args.h"
#include "platform/launch/state.h"
#include "platform/layout/layout.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "scene_probe.h"
#include "sdk/sdk_integration.h"
#include "shell/presets.h"

namespace maps::test {

class Session {
public:
  Session(std::vector<std::string> const& switches, double width, double height)
      : app_(launch(switches)), width_(width), height_(height) {
    app_.clock = &clock;
    // As the window loop does: actions the platform applies to the document are decoded.
    register_maps_action_decoder(platform.action_registry_mut());
    state->attach_registry(&platform.action_registry());
    frame();
  }
  Session(Session const&) = delete;
  Session& operator=(Session const&) = delete;

  base::ManualClock clock;
  zarn_ui::App platform; // before the state, which refers to its registry
  std::unique_ptr<zarn_ui::State> state = zarn_ui::State::in_memory();
  zarn_ui::Scene scene;

  MapsApp& app() { return app_; }
  zarn_ui::doc::Document& doc() { return state->document(); }

  /// One turn of the window loop.
  void frame() {
    app_.tick(*state);
    tree_.clear();
    node_map_.clear();
    zarn_ui::layout::NodeId const node = app_.build_layout(tree_, theme_, node_map_);
    auto const w = static_cast<float>(width_);
    auto const h = static_cast<float>(height_);
    auto root = tree_.new_with_children(zarn_ui::layout::Style::fixed(w, h), {node});
    ASSERT_TRUE(root.has_value());
    ASSERT_TRUE(tree_.compute_layout(*root, zarn_ui::Size{w, h}).has_value());
    app_.apply_layout(tree_, zarn_ui::Point{0.0, 0.0}, node);
    scene.reset();
    auto const presence = zarn_ui::PresenceCtx::empty();
    auto const permissions = zarn_ui::PermissionContext::permissive();
    zarn_ui::widget::DrawCtx const ctx{text_, theme_, presence, permissions};
    app_.draw_root(scene, zarn_ui::Affine::identity(), ctx);
    state->after_frame();
  }

  /// The theme the next frames draw with, as the window loop switches it.
  void set_theme(zarn_ui::Theme const& theme) { theme_ = theme; }

  void resize(double width, double height) {
    width_ = width;
    height_ = height;
    frame();
  }

  bool send(zarn_ui::Event const& event, zarn_ui::Modifiers mods = {}) {
    bool handled = false;
    app_.handle_event(event, mods, state.get(), 1.0, handled);
    return handled;
  }
  /// Events, each followed by a frame.
  void move(zarn_ui::Point p) {
    send(zarn_ui::PointerMoved{p.x, p.y});
    frame();
  }
  void click(zarn_ui::Point p) {
    send(zarn_ui::PointerMoved{p.x, p.y});
    send(zarn_ui::PointerButton{p.x, p.y, 0, zarn_ui::ButtonState::Pressed});
    frame();
    send(zarn_ui::PointerButton{p.x, p.y, 0, zarn_ui::ButtonState::Released});
    frame();
  }
  /// A press and release with no pointer move before them.
  void press_still(zarn_ui::Point p) {
    send(zarn_ui::PointerButton{p.x, p.y, 0, zarn_ui::ButtonState::Pressed});
    frame();
    send(zarn_ui::PointerButton{p.x, p.y, 0, zarn_ui::ButtonState::Released});
    frame();
  }
  void drag(zarn_ui::Point from, zarn_ui::Point to) {
    send(zarn_ui::PointerMoved{from.x, from.y});
    send(zarn_ui::PointerButton{from.x, from.y, 0, zarn_ui::ButtonState::Pressed});
    frame();
    for (int i = 1; i <= 4; ++i) {
      double const f = i / 4.0;
      send(zarn_ui::PointerMoved{from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f});
      frame();
    }
    send(zarn_ui::PointerButton{to.x, to.y, 0, zarn_ui::ButtonState::Released});
    frame();
  }
  void wheel(zarn_ui::Point at, float lines) {
    send(zarn_ui::PointerMoved{at.x, at.y});
    send(zarn_ui::Wheel{zarn_ui::LineDelta{lines}});
    frame();
  }
  void key(zarn_ui::NamedKey k) {
    send(zarn_ui::Key{true, k, {}});
    frame();
  }
  /// Each character as its own key press.
  void type(std::string_view text) {
    for (char c : text) {
      send(zarn_ui::Key{true, std::string(1, c), {}});
      frame();
    }
  }
  /// Lets the debounces and timers run out.
  void wait(std::chrono::milliseconds ms) {
    clock.advance(ms);
    frame();
  }

  /// The centre of the last painted hit target whose action satisfies `pick`.
  std::optional<zarn_ui::Point> target(std::function<bool(UiAction const&)> const& pick) const {
    for (auto it = app_.hit_targets.rbegin(); it != app_.hit_targets.rend(); ++it) {
      if (pick(it->action)) {
        return zarn_ui::Point{(it->rect.x0 + it->rect.x1) / 2, (it->rect.y0 + it->rect.y1) / 2};
      }
    }
    return std::nullopt;
  }
  std::optional<zarn_ui::Point> search_item(SearchItem item) const {
    return target([&](UiAction const& a) {
      auto const* s = std::get_if<UiAction::Search>(&a.value);
      return s != nullptr && s->item == item;
    });
  }
  /// The centre of the endpoint editor's last painted area of this kind.
  std::optional<zarn_ui::Point> endpoint_hit(EndpointHitKind kind, std::size_t index = 0) const {
    for (auto const& h : app_.endpoints.hits) {
      if (h.kind == kind && (kind != EndpointHitKind::Suggestion || h.index == index)) {
        return zarn_ui::Point{(h.rect.x0 + h.rect.x1) / 2, (h.rect.y0 + h.rect.y1) / 2};
      }
    }
    return std::nullopt;
  }
  bool painted(std::string_view text) const { return probe::find_text_cmd(scene, text) != nullptr; }

private:
  static MapsApp launch(std::vector<std::string> const& switches) {
    return app_from_switches(switches);
  }

  MapsApp app_;
  double width_;
  double height_;
  zarn_ui::TextRenderer text_;
  zarn_ui::Theme theme_ = zarn_ui::Theme::light();
  zarn_ui::layout::LayoutTree tree_;
  zarn_ui::widget::NodeWidgetMap node_map_;
};

/// One scripted session and what must hold at its end.
struct Scenario {
  char const* name;
  std::vector<std::string> switches;
  double width = 1280;
  double height = 800;
  std::function<void(Session&)> script;
};

inline void PrintTo(Scenario const& sc, std::ostream* os) {
  *os << sc.name;
}

} // namespace maps::test
