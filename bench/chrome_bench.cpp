// Recording cost of the map chrome for a busy frame: six search suggestions, the place card
// with all its rows, the traffic legend and the status pill, in a 1280 × 800 window.

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "app/maps_app.h"
#include "draw/chrome_draw.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "tiles/tile_cache.h"

namespace {

maps::MapsApp busy_app() {
  using namespace maps;
  MapsApp app =
      build_maps_app(default_map_model(), StreetNetwork{}, offline_tile_cache(), false, false);
  app.window_rect_ = zarn_ui::Rect{0, 0, 1280, 800};
  app.map_rect = app.window_rect_;
  app.model.query = "caf";
  app.model.status = "Searching\xE2\x80\xA6";
  app.search_box.editing = true;
  for (int i = 0; i < 8; ++i) {
    Place p;
    p.id = "p" + std::to_string(i);
    p.name = "Caf\xC3\xA9 number " + std::to_string(i);
    p.address = "Residenzstra\xC3\x9F"
                "e " +
                std::to_string(i) + ", M\xC3\xBCnchen";
    p.pos = {48.14 + 0.001 * i, 11.57};
    app.search_box.suggestions.push_back(p);
  }
  Poi poi;
  poi.id = "osm-node-1";
  poi.name = "Caf\xC3\xA9 Frischhut";
  poi.address = "Prälat-Zistl-Straße 8";
  poi.opening_hours = "Mo-Sa 07:00-17:00";
  poi.phone = "+49 89 268237";
  poi.website = "https://example.org";
  poi.detail = "coffee shop";
  app.nearby_pois = {poi};
  app.selected_poi = poi.id;
  app.traffic_on = true;
  for (int i = 0; i < 400; ++i) {
    app.traffic.segments.push_back({{}, static_cast<std::uint8_t>(i % 4)});
  }
  app.traffic.source = "Sample traffic";
  return app;
}

void BM_DrawMapChrome(benchmark::State& state) {
  maps::MapsApp app = busy_app();
  zarn_ui::TextRenderer text;
  zarn_ui::Theme const theme = zarn_ui::Theme::light();
  for (auto _ : state) {
    zarn_ui::Scene scene;
    app.hit_targets.clear();
    maps::draw_map_chrome(app, scene, zarn_ui::Affine::identity(), text, theme);
    benchmark::DoNotOptimize(scene.commands.data());
  }
}
BENCHMARK(BM_DrawMapChrome);

} // namespace
