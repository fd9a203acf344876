// A whole frame of the demo state at 1280 × 800 (map layers, the side panel, the map chrome):
// recording it into a Scene for each side-panel content, as every frame does before replay.

#include <benchmark/benchmark.h>

#include "app/maps_app.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widget/widget.h"
#include "sample/sample_data.h"
#include "sample/street_network.h"

namespace {

using namespace maps;

MapsApp demo_app(Panel panel, TravelMode mode) {
  MapsApp app = build_maps_app(demo_scenario(), sample_road_network(),
                               tile_cache_without_worker("/nonexistent/tiles"), true, false);
  app.window_rect_ = zarn_ui::Rect{0, 0, 1280, 800};
  app.nearby_pois = sample_pois();
  app.model.panel = panel;
  app.model.mode = mode;
  return app;
}

void record_frame(benchmark::State& state, Panel panel, TravelMode mode) {
  MapsApp app = demo_app(panel, mode);
  zarn_ui::TextRenderer text;
  zarn_ui::Theme const theme = zarn_ui::Theme::light();
  auto const presence = zarn_ui::PresenceCtx::empty();
  auto const permissions = zarn_ui::PermissionContext::permissive();
  zarn_ui::widget::DrawCtx const ctx{text, theme, presence, permissions};
  zarn_ui::Scene scene;
  app.draw(scene, zarn_ui::Affine::identity(), ctx); // warms the text measurement cache
  for (auto _ : state) {
    scene.reset();
    app.draw(scene, zarn_ui::Affine::identity(), ctx);
    benchmark::DoNotOptimize(scene.commands.data());
  }
  state.counters["commands"] = static_cast<double>(scene.commands.size());
  state.counters["targets"] = static_cast<double>(app.hit_targets.size());
}

void BM_RecordFrameExplore(benchmark::State& state) {
  record_frame(state, Panel::Explore, TravelMode::Car);
}
void BM_RecordFrameDirections(benchmark::State& state) {
  record_frame(state, Panel::Directions, TravelMode::Car);
}
void BM_RecordFrameTransit(benchmark::State& state) {
  record_frame(state, Panel::Directions, TravelMode::Transit);
}

BENCHMARK(BM_RecordFrameExplore);
BENCHMARK(BM_RecordFrameDirections);
BENCHMARK(BM_RecordFrameTransit);

} // namespace
