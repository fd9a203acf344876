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

#include "app/map_controls.h"
#include "app/maps_app.h"
#include "frames.h"
#include "input/semantics.h"

namespace {

using namespace maps;

using bench::Frames;
using bench::HEIGHT;
using bench::WIDTH;

using bench::run;

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
