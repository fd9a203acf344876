// Frame replay cost: 30 scaled 256-px tiles, a 2,000-point route and 100 labels into a
// 1280 × 800 surface, the map view's heaviest ordinary frame.

#include <cmath>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <cairo.h>

#include "platform/render/cairo_replay.h"
#include "platform/render/offscreen.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"

using namespace zarn_ui;

namespace {

constexpr int WIDTH = 1280;
constexpr int HEIGHT = 800;
constexpr double ZOOM_SCALE = 1.3; // fractional zoom: tiles drawn at 1.3 × their size

std::vector<SharedImage> make_tiles() {
  std::vector<SharedImage> tiles;
  for (int t = 0; t < 30; ++t) {
    std::vector<std::uint8_t> rgba(256 * 256 * 4);
    for (int y = 0; y < 256; ++y) {
      for (int x = 0; x < 256; ++x) {
        std::size_t const i = static_cast<std::size_t>(y * 256 + x) * 4;
        rgba[i] = static_cast<std::uint8_t>(x ^ (t * 37));
        rgba[i + 1] = static_cast<std::uint8_t>(y + t * 11);
        rgba[i + 2] = static_cast<std::uint8_t>((x + y) / 2);
        rgba[i + 3] = 255;
      }
    }
    tiles.push_back(image_from_rgba(rgba, 256, 256));
  }
  return tiles;
}

void add_tiles(Scene& scene, std::vector<SharedImage> const& tiles) {
  double const side = 256.0 * ZOOM_SCALE;
  scene.push_layer(Rect{0, 0, WIDTH, HEIGHT}, Affine::identity());
  for (int i = 0; i < 30; ++i) {
    double const x0 = -97.3 + (i % 6) * side;
    double const y0 = -141.7 + (i / 6) * side;
    Rect const r{x0, y0, x0 + side, y0 + side};
    scene.fill(FillRule::NonZero, Affine::identity(), Color{0.9f, 0.9f, 0.88f, 1}, r);
    scene.draw_image_rect(tiles[static_cast<std::size_t>(i)], r, Affine::identity());
  }
  scene.pop_layer();
}

void add_route(Scene& scene) {
  BezPath route;
  route.reserve(2000);
  for (int i = 0; i < 2000; ++i) {
    double const t = i / 1999.0;
    Point const p{60 + t * 1160 + 40 * std::sin(t * 60),
                  400 + 300 * std::sin(t * 7.0) + 25 * std::cos(t * 90)};
    if (i == 0) {
      route.move_to(p);
    } else {
      route.line_to(p);
    }
  }
  scene.stroke(Stroke::with_width(6), Affine::identity(), Color{0.15f, 0.39f, 0.92f, 1}, route);
}

void add_labels(Scene& scene, TextRenderer const& text) {
  for (int i = 0; i < 100; ++i) {
    std::string const name = "Place " + std::to_string(i) + " Straße";
    double const x = 20 + (i % 10) * 125.0;
    double const y = 30 + (i / 10) * 75.0;
    float const w = text.measure(name, 11.0f);
    scene.fill(FillRule::NonZero, Affine::identity(), Color{1, 1, 1, 0.74f},
               RoundedRect(Rect{x - 4, y - 1, x + w + 6, y + 14}, 4));
    text.draw_text_weighted(scene, name, 11.0f, Color{0.1f, 0.1f, 0.12f, 1},
                            Affine::translate(x, y), 1);
  }
}

struct Frame {
  std::vector<SharedImage> tiles = make_tiles();
  TextRenderer text;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, WIDTH, HEIGHT);

  ~Frame() { cairo_surface_destroy(surface); }

  Scene build() const {
    Scene scene;
    add_tiles(scene, tiles);
    add_route(scene);
    add_labels(scene, text);
    return scene;
  }

  /// Replays `scene` onto the surface once an iteration.
  void replay_each_iteration(benchmark::State& state, Scene const& scene) const {
    for (auto _ : state) {
      auto r = render_into(scene, surface, colors::WHITE);
      benchmark::DoNotOptimize(r);
    }
  }
};

void BM_ReplayMapFrame(benchmark::State& state) {
  Frame frame;
  Scene const scene = frame.build();
  frame.replay_each_iteration(state, scene);
}
BENCHMARK(BM_ReplayMapFrame)->Unit(benchmark::kMillisecond);

// Building the scene each frame too, as the frame driver does (labels hit the text caches).
void BM_BuildAndReplayMapFrame(benchmark::State& state) {
  Frame frame;
  for (auto _ : state) {
    Scene const scene = frame.build();
    auto r = render_into(scene, frame.surface, colors::WHITE);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_BuildAndReplayMapFrame)->Unit(benchmark::kMillisecond);

void BM_ReplayTilesOnly(benchmark::State& state) {
  Frame frame;
  Scene scene;
  add_tiles(scene, frame.tiles);
  frame.replay_each_iteration(state, scene);
}
BENCHMARK(BM_ReplayTilesOnly)->Unit(benchmark::kMillisecond);

void BM_ReplayRouteOnly(benchmark::State& state) {
  Frame frame;
  Scene scene;
  add_route(scene);
  frame.replay_each_iteration(state, scene);
}
BENCHMARK(BM_ReplayRouteOnly)->Unit(benchmark::kMillisecond);

void BM_ReplayLabelsOnly(benchmark::State& state) {
  Frame frame;
  Scene scene;
  add_labels(scene, frame.text);
  frame.replay_each_iteration(state, scene);
}
BENCHMARK(BM_ReplayLabelsOnly)->Unit(benchmark::kMillisecond);

void BM_MeasureUncached(benchmark::State& state) {
  TextRenderer text;
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(text.measure("Uncached label " + std::to_string(i++), 13.0f));
  }
}
BENCHMARK(BM_MeasureUncached)->Unit(benchmark::kMicrosecond);

void BM_MeasureCached(benchmark::State& state) {
  TextRenderer text;
  text.measure("Alexanderplatz", 13.0f);
  for (auto _ : state) {
    benchmark::DoNotOptimize(text.measure("Alexanderplatz", 13.0f));
  }
}
BENCHMARK(BM_MeasureCached)->Unit(benchmark::kMicrosecond);

} // namespace
