// The map part of a frame in the demo state at 1280 × 800 (street network, traffic on, the car
// route, ten points of interest, the place pins, the scale bar): recording the layers into a
// Scene, and recording plus replaying them with cairo. A third case draws cached imagery in
// place of the street network.

#include <benchmark/benchmark.h>
#include <cairo.h>

#include "app/maps_app.h"
#include "draw/map_layers.h"
#include "platform/render/offscreen.h"
#include "sample/sample_data.h"
#include "sample/street_network.h"

namespace {

using namespace maps;

constexpr int WIDTH = 1280;
constexpr int HEIGHT = 800;

MapsApp demo_app() {
  MapsApp app = build_maps_app(demo_scenario(), sample_road_network(),
                               tile_cache_without_worker("/nonexistent/tiles"), true, false);
  app.window_rect_ = zarn_ui::Rect{0, 0, WIDTH, HEIGHT};
  app.nearby_pois = sample_pois();
  app.set_traffic(true);
  return app;
}

/// Every visible tile of the demo view in memory.
void fill_cache(MapsApp& app) {
  std::vector<std::uint8_t> rgba(256 * 256 * 4);
  for (std::size_t i = 0; i < rgba.size(); ++i) {
    rgba[i] = static_cast<std::uint8_t>(i % 4 == 3 ? 255 : (i / 7) % 251);
  }
  auto const image = zarn_ui::image_from_rgba(rgba, 256, 256);
  auto const c = app.window_center();
  for (auto const& p : visible_tiles(app.model.center, app.model.zoom,
                                     ViewRect{0, 0, WIDTH, HEIGHT}, ScreenPoint{c.x, c.y})) {
    app.tiles.tiles[p.key] = image;
    app.tiles.lru.push_back(p.key);
  }
}

void record(MapsApp& app, zarn_ui::Scene& scene, zarn_ui::TextRenderer const& text,
            zarn_ui::Theme const& theme) {
  scene.reset();
  MapPalette const palette = map_palette(theme);
  bool const imagery = draw_map_layers(app, scene, zarn_ui::Affine::identity(), text, theme,
                                       palette, app.viewport_projection());
  draw_map_overlays(app, scene, zarn_ui::Affine::identity(), text, theme, imagery);
}

void BM_RecordDemoMapLayers(benchmark::State& state) {
  MapsApp app = demo_app();
  zarn_ui::TextRenderer text;
  zarn_ui::Theme const theme = zarn_ui::Theme::light();
  zarn_ui::Scene scene;
  record(app, scene, text, theme); // warms the text measurement cache
  for (auto _ : state) {
    record(app, scene, text, theme);
    benchmark::DoNotOptimize(scene.commands.data());
  }
  state.counters["commands"] = static_cast<double>(scene.commands.size());
}
BENCHMARK(BM_RecordDemoMapLayers)->Unit(benchmark::kMicrosecond);

void record_and_replay(benchmark::State& state, bool imagery) {
  MapsApp app = demo_app();
  if (imagery) {
    fill_cache(app);
  }
  zarn_ui::TextRenderer text;
  zarn_ui::Theme const theme = zarn_ui::Theme::light();
  zarn_ui::Scene scene;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, WIDTH, HEIGHT);
  record(app, scene, text, theme);
  for (auto _ : state) {
    record(app, scene, text, theme);
    auto const done = zarn_ui::render_into(scene, surface, map_palette(theme).land);
    if (!done) {
      state.SkipWithError(done.error().c_str());
      break;
    }
    benchmark::ClobberMemory();
  }
  state.counters["commands"] = static_cast<double>(scene.commands.size());
  cairo_surface_destroy(surface);
}

void BM_RecordAndReplayDemoMapLayers(benchmark::State& state) {
  record_and_replay(state, false);
}
BENCHMARK(BM_RecordAndReplayDemoMapLayers)->Unit(benchmark::kMillisecond);

void BM_RecordAndReplayImageryMapLayers(benchmark::State& state) {
  record_and_replay(state, true);
}
BENCHMARK(BM_RecordAndReplayImageryMapLayers)->Unit(benchmark::kMillisecond);

} // namespace
