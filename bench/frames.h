#pragma once
// Whole frames as the window loop runs them, for the frame benchmarks: tick, layout, drawing the
// scene and bringing the window's retained frame up to it, with the window's cache of rendered
// map tiles. Tiles come from a missing folder, so no frame draws basemap imagery, unless a
// benchmark hands the app a cache of its own (use_tiles).

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <benchmark/benchmark.h>

#include "app/maps_app.h"
#include "platform/launch/launch_args.h"
#include "platform/launch/state.h"
#include "platform/layout/layout.h"
#include "platform/render/retained_frame.h"
#include "platform/render/tile_surface_cache.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "shell/presets.h"

namespace bench {

using namespace maps;

constexpr int WIDTH = 1280;
constexpr int HEIGHT = 800;

/// The application of a start with `switches` (a demo, or none) at WIDTH x HEIGHT.
class Frames {
public:
  explicit Frames(std::vector<std::string> const& switches) : app_(launch(switches)) {
    app_.tiles = tile_cache_without_worker("/nonexistent/tiles");
    app_.clock = &clock_;
  }
  Frames(Frames const&) = delete;
  Frames& operator=(Frames const&) = delete;

  MapsApp& app() { return app_; }
  zarn_ui::State& state() { return *state_; }

  bool frame() {
    app_.tick(*state_);
    tree_.clear();
    node_map_.clear();
    zarn_ui::layout::NodeId const node = app_.build_layout(tree_, theme_, node_map_);
    auto root = tree_.new_with_children(zarn_ui::layout::Style::fixed(WIDTH, HEIGHT), {node});
    if (!root || !tree_.compute_layout(*root, zarn_ui::Size{WIDTH, HEIGHT})) {
      return false;
    }
    app_.apply_layout(tree_, zarn_ui::Point{0.0, 0.0}, node);
    scene_.reset();
    auto const presence = zarn_ui::PresenceCtx::empty();
    auto const permissions = zarn_ui::PermissionContext::permissive();
    zarn_ui::widget::DrawCtx const ctx{text_, theme_, presence, permissions};
    app_.draw_root(scene_, zarn_ui::Affine::identity(), ctx);
    state_->after_frame();
    return frame_.render(scene_, WIDTH, HEIGHT, 1.0, theme_.surface, &tiles_).has_value();
  }

  /// The pointer moved to `p`, as the window reports it.
  void pointer_at(zarn_ui::Point p) {
    bool handled = false;
    app_.handle_event(zarn_ui::PointerMoved{p.x, p.y}, {}, state_.get(), 1.0, handled);
  }

  /// Replaces the app's tile cache (a missing folder) with `tiles`.
  void use_tiles(TileCache tiles) { app_.tiles = std::move(tiles); }

  /// The primary button pressed (`down`) or released at `p`, as the window reports it.
  void button(zarn_ui::Point p, bool down) {
    bool handled = false;
    zarn_ui::PointerButton const e{
        p.x, p.y, 0, down ? zarn_ui::ButtonState::Pressed : zarn_ui::ButtonState::Released};
    app_.handle_event(e, {}, state_.get(), 1.0, handled);
  }

  /// The pointer moved to `p` with the primary button held: a drag once the press was on the map.
  void drag_to(zarn_ui::Point p) {
    bool handled = false;
    app_.handle_event(zarn_ui::PointerMoved{p.x, p.y, true}, {}, state_.get(), 1.0, handled);
  }

  /// Moves the map centre by (dx, dy) screen pixels, as a drag does.
  void pan(double dx, double dy) {
    MapProjection const p = app_.viewport_projection();
    app_.model.center = unproject_point(p, p.screen_x + dx, p.screen_y + dy);
  }

  std::size_t commands() const { return scene_.commands.size(); }
  /// The last frame's basemap tiles: drawn as images, or kept as pixels between frames.
  std::size_t basemap_tiles() const {
    std::size_t n = 0;
    for (auto const& command : scene_.commands) {
      auto const* kept = std::get_if<zarn_ui::CachedTileCmd>(&command);
      n += std::holds_alternative<zarn_ui::ImageCmd>(command) ||
                   (kept && kept->key.starts_with("basemap|"))
               ? 1
               : 0;
    }
    return n;
  }

private:
  static MapsApp launch(std::vector<std::string> const& switches) {
    return app_from_switches(switches);
  }

  base::ManualClock clock_;
  std::unique_ptr<zarn_ui::State> state_ = zarn_ui::State::in_memory();
  MapsApp app_;
  zarn_ui::TextRenderer text_;
  zarn_ui::Theme theme_ = zarn_ui::Theme::light();
  zarn_ui::layout::LayoutTree tree_;
  zarn_ui::widget::NodeWidgetMap node_map_;
  zarn_ui::Scene scene_;
  zarn_ui::render::RetainedFrame frame_;
  zarn_ui::render::TileSurfaceCache tiles_;
};

constexpr double PAN_STEP_PX = 3.0;
constexpr int PAN_FRAMES = 120; // then back the same way, so the view stays near the demo's

/// Three frames to warm the caches, then one frame per iteration; panning moves the centre a
/// few pixels each frame, PAN_FRAMES one way, then as many back.
inline void run(benchmark::State& state, Frames& frames, bool panning) {
  for (int i = 0; i < 3; ++i) { // warms the text caches
    frames.frame();
  }
  int step = 0;
  for (auto _ : state) {
    if (panning) {
      double const dir = (step / PAN_FRAMES) % 2 == 0 ? 1.0 : -1.0;
      frames.pan(PAN_STEP_PX * dir, PAN_STEP_PX * 0.5 * dir);
      ++step;
    }
    if (!frames.frame()) {
      state.SkipWithError("frame failed");
      break;
    }
    benchmark::ClobberMemory();
  }
  state.counters["commands"] = static_cast<double>(frames.commands());
}

} // namespace bench
