// Whole frames as the window loop runs them at 1280 × 800: tick, layout, drawing the scene and
// bringing the window's retained frame up to it (painting where the scene changed), with the
// window's cache of rendered map tiles. Cases: the demo with a steady camera (nothing changes,
// so nothing is painted); the same with the pointer moving on and off a map button, so each
// frame repaints the button's hover; the demo panning
// a few pixels per frame with traffic; the heaviest preset (140 labelled points of interest,
// traffic and the transit panel) panning; and the demo with a 500-point and a 100,000-point
// route of the same shape, steady and panning, whose ratio while panning is the figure for long
// routes.

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <cairo.h>

#include "app/map_controls.h"
#include "app/maps_app.h"
#include "input/semantics.h"
#include "platform/launch/launch_args.h"
#include "platform/launch/state.h"
#include "platform/layout/layout.h"
#include "platform/render/retained_frame.h"
#include "platform/render/tile_surface_cache.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "shell/presets.h"

namespace {

using namespace maps;

constexpr int WIDTH = 1280;
constexpr int HEIGHT = 800;
constexpr double PAN_STEP_PX = 3.0;
constexpr int PAN_FRAMES = 120; // then back the same way, so the view stays near the demo's

class Frames {
public:
  explicit Frames(std::vector<std::string> const& switches) : app_(launch(switches)) {
    app_.tiles = tile_cache_without_worker("/nonexistent/tiles");
    app_.clock = &clock_;
  }
  Frames(Frames const&) = delete;
  Frames& operator=(Frames const&) = delete;

  MapsApp& app() { return app_; }

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

  /// Moves the map centre by (dx, dy) screen pixels, as a drag does.
  void pan(double dx, double dy) {
    MapProjection const p = app_.viewport_projection();
    app_.model.center = unproject_point(p, p.screen_x + dx, p.screen_y + dy);
  }

  std::size_t commands() const { return scene_.commands.size(); }

private:
  static MapsApp launch(std::vector<std::string> const& switches) {
    zarn_ui::launch::LaunchArgs args;
    for (auto const& s : switches) {
      auto const eq = s.find('=');
      if (eq == std::string::npos) {
        args.switches.insert(s);
      } else {
        args.options.emplace(s.substr(0, eq), s.substr(eq + 1));
      }
    }
    return app_from_launch_args(args);
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

void run(benchmark::State& state, Frames& frames, bool panning) {
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

void BM_DemoFrameSteady(benchmark::State& state) {
  Frames frames({});
  run(state, frames, false);
}
BENCHMARK(BM_DemoFrameSteady)->Unit(benchmark::kMillisecond);

void BM_DemoFrameSteadyHover(benchmark::State& state) {
  Frames frames({});
  for (int i = 0; i < 3; ++i) {
    frames.frame();
  }
  zarn_ui::Point const button = map_control_rect(frames.app().map_rect, 0).center();
  bool on = false;
  for (auto _ : state) {
    on = !on;
    frames.pointer_at(on ? button : zarn_ui::Point{900.0, 450.0});
    if (!frames.frame()) {
      state.SkipWithError("frame failed");
      break;
    }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DemoFrameSteadyHover)->Unit(benchmark::kMillisecond);

void BM_DemoFramePanningWithTraffic(benchmark::State& state) {
  Frames frames({"--traffic"});
  run(state, frames, true);
}
BENCHMARK(BM_DemoFramePanningWithTraffic)->Unit(benchmark::kMillisecond);

/// MAX_NEARBY_POIS points of interest: the sample's, repeated on a grid around the view.
std::vector<Poi> many_pois() {
  std::vector<Poi> const sample = sample_pois();
  std::vector<Poi> out;
  for (std::size_t i = 0; out.size() < MAX_NEARBY_POIS; ++i) {
    Poi p = sample[i % sample.size()];
    auto const k = static_cast<double>(i / sample.size());
    std::string const n = std::to_string(i);
    p.id.append("-").append(n);
    p.name.append(" ").append(n);
    p.pos.lat += (std::fmod(k, 4.0) - 1.5) * 0.0012;
    p.pos.lon += (std::floor(k / 4.0) - 1.5) * 0.0018;
    out.push_back(std::move(p));
  }
  return out;
}

void BM_WorstPresetPanning(benchmark::State& state) {
  Frames frames({"--pois", "--traffic", "--panel=transit"});
  frames.app().nearby_pois = many_pois();
  run(state, frames, true);
  state.counters["pois"] = static_cast<double>(frames.app().nearby_pois.size());
}
BENCHMARK(BM_WorstPresetPanning)->Unit(benchmark::kMillisecond);

/// A route of `n` points between the demo route's ends, wiggling across the view.
std::vector<LatLon> long_route(LatLon from, LatLon to, int n) {
  std::vector<LatLon> out;
  out.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    double const t = i / static_cast<double>(n - 1);
    double const wiggle = 0.004 * std::sin(t * 40.0) + 0.0015 * std::sin(t * 613.0);
    out.push_back(LatLon{from.lat + (to.lat - from.lat) * t + wiggle,
                         from.lon + (to.lon - from.lon) * t + wiggle * 0.7});
  }
  return out;
}

/// range(0): the route's points; range(1): 1 to pan, 0 for a steady camera. With the frame kept
/// between frames a steady camera repaints nothing, so the route's cost shows while panning.
void route_frame(benchmark::State& state) {
  Frames frames({});
  Route& route = *frames.app().model.route;
  route.geometry =
      long_route(route.geometry.front(), route.geometry.back(), static_cast<int>(state.range(0)));
  run(state, frames, state.range(1) != 0);
}
BENCHMARK(route_frame)
    ->Name("BM_DemoFrameRoutePoints")
    ->ArgNames({"", "panning"})
    ->Args({500, 0})
    ->Args({100000, 0})
    ->Args({500, 1})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond);

} // namespace
