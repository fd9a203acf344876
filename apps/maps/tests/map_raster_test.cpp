#include "tiles/map_raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/map_controls.h"
#include "app/maps_app.h"
#include "draw/map_layers.h"
#include "input/semantics.h"
#include "platform/render/offscreen.h"
#include "platform/render/tile_surface_cache.h"
#include "platform/tests/pixel_difference.h"
#include "sample/sample_data.h"
#include "scenario.h"
#include "scene_probe.h"

namespace maps {
namespace {

using zarn_ui::CachedTileCmd;
using zarn_ui::Theme;
using zarn_ui::render::TileSurfaceCache;
using zarn_ui::test::Difference;
using zarn_ui::test::difference;

MapsApp demo_app(bool traffic) {
  MapsApp app = build_maps_app(demo_scenario(), sample_road_network(),
                               tile_cache_without_worker("/nonexistent/tiles"), false, false);
  app.window_rect_ = Rect{0, 0, 1280, 800};
  app.set_traffic(traffic);
  return app;
}

Scene map_layers(MapsApp& app, Theme const& theme) {
  static TextRenderer const text;
  Scene scene;
  draw_map_layers(app, scene, Affine::identity(), text, theme, map_palette(theme),
                  app.viewport_projection());
  return scene;
}

std::set<std::string> all_tile_keys(Scene const& scene) {
  std::set<std::string> keys;
  for (auto const& tile : probe::commands_of<CachedTileCmd>(scene)) {
    keys.insert(tile.key);
  }
  return keys;
}

/// The keys of the street network and traffic tiles.
std::set<std::string> tile_keys(Scene const& scene) {
  std::set<std::string> keys;
  for (auto const& key : all_tile_keys(scene)) {
    if (key.starts_with("map-layers|")) {
      keys.insert(key);
    }
  }
  return keys;
}

/// The scene as the window shows it at `scale` device pixels per logical pixel.
std::vector<std::uint8_t> pixels(Scene const& scene, double scale, TileSurfaceCache* cache) {
  int const w = static_cast<int>(1280 * scale);
  int const h = static_cast<int>(800 * scale);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  EXPECT_TRUE(zarn_ui::render_into(scene, surface, zarn_ui::colors::WHITE, scale, cache));
  auto const* data = cairo_image_surface_get_data(surface);
  std::vector<std::uint8_t> out(data, data + cairo_image_surface_get_stride(surface) * h);
  cairo_surface_destroy(surface);
  return out;
}

TEST(MapRaster, AChangeOfThemeTrafficZoomOrScaleNeverShowsOldTiles) {
  struct View {
    Theme theme = Theme::light();
    double scale = 1.0;
  };
  struct Case {
    char const* what;
    std::function<void(MapsApp&, View&)> change;
    bool new_tiles;
    bool new_keys;
  } const cases[] = {
      {"nothing changed", [](MapsApp&, View&) {}, false, false},
      {"the theme switched", [](MapsApp&, View& v) { v.theme = Theme::dark(); }, true, true},
      {"new traffic data", [](MapsApp& app, View&) { app.set_traffic(true); }, true, true},
      {"traffic switched off", [](MapsApp& app, View&) { app.set_traffic(false); }, true, true},
      {"one level closer", [](MapsApp& app, View&) { app.model.zoom += 1.0; }, true, true},
      {"a fraction of a level", [](MapsApp& app, View&) { app.model.zoom += 0.25; }, true, true},
      {"twice the pixel density", [](MapsApp&, View& v) { v.scale = 2.0; }, true, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    MapsApp app = demo_app(true);
    app.model.places.clear(); // the cache counts only these layers' tiles
    View view;
    TileSurfaceCache cache;
    map_layers(app, view.theme); // the first frame at a zoom is drawn directly
    Scene const before = map_layers(app, view.theme);
    std::set<std::string> const old_keys = tile_keys(before);
    ASSERT_FALSE(old_keys.empty());
    pixels(before, view.scale, &cache);
    ASSERT_EQ(cache.renders(), old_keys.size());

    c.change(app, view);
    Scene after = map_layers(app, view.theme);
    if (tile_keys(after).empty()) { // a new zoom: direct drawing for one frame, then tiles
      after = map_layers(app, view.theme);
    }
    std::set<std::string> const new_keys = tile_keys(after);
    ASSERT_FALSE(new_keys.empty());
    pixels(after, view.scale, &cache);
    EXPECT_EQ(cache.renders(), old_keys.size() + (c.new_tiles ? new_keys.size() : 0));
    std::vector<std::string> shared;
    std::set_intersection(old_keys.begin(), old_keys.end(), new_keys.begin(), new_keys.end(),
                          std::back_inserter(shared));
    EXPECT_EQ(shared.empty(), c.new_keys) << shared.size();
  }
}

TEST(MapRaster, WhileTheZoomChangesTheLayersAreDrawnDirectly) {
  MapsApp app = demo_app(false);
  Theme const theme = Theme::light();
  EXPECT_TRUE(tile_keys(map_layers(app, theme)).empty());
  EXPECT_FALSE(tile_keys(map_layers(app, theme)).empty());
  for (double step : {0.1, 0.1, 0.1}) {
    app.model.zoom += step;
    EXPECT_TRUE(tile_keys(map_layers(app, theme)).empty());
  }
}

TEST(MapRaster, TilesShowWhatDirectDrawingShows) {
  struct Case {
    char const* what;
    bool traffic;
    double pan_x, pan_y, zoom_step, scale;
    Theme theme;
  } const cases[] = {
      {"the demo", false, 0, 0, 0, 1, Theme::light()},
      {"panned between pixels", false, 37.3, -11.6, 0, 1, Theme::light()},
      {"with traffic, dark", true, 0, 0, 0, 1, Theme::dark()},
      {"twice the density, traffic", true, -5.5, 2.25, 0, 2, Theme::light()},
      {"between zoom levels", true, 0, 0, 0.4, 1, Theme::light()},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    auto view = [&](bool raster) {
      MapsApp app = demo_app(c.traffic);
      app.model.places.clear(); // the pins' tiles are compared on their own
      app.map_raster.enabled = raster;
      app.model.zoom += c.zoom_step;
      MapProjection const p = app.viewport_projection();
      app.model.center = unproject_point(p, p.screen_x + c.pan_x, p.screen_y + c.pan_y);
      map_layers(app, c.theme);
      return map_layers(app, c.theme);
    };
    Scene const cached = view(true);
    Scene const direct = view(false);
    ASSERT_FALSE(tile_keys(cached).empty());
    ASSERT_TRUE(tile_keys(direct).empty());
    TileSurfaceCache cache;
    std::vector<std::uint8_t> const a = pixels(cached, c.scale, &cache);
    std::vector<std::uint8_t> const b = pixels(direct, c.scale, nullptr);
    Difference const d = difference(a, b);
    std::size_t const total = a.size() / 4;
    // Tiles are drawn at their offset rounded to 1/4096 pixel, and cairo rasterises a stroke cut
    // at a tile's edges a little differently from one cut at the window's: measured, under 0.6 %
    // of the pixels differ, by at most 13 of 255 in a channel, along antialiased edges.
    EXPECT_LE(d.max_channel, 16) << d.pixels << " of " << total;
    EXPECT_LE(d.pixels, total / 100) << "by up to " << d.max_channel;
  }
}

/// The demo (no places, so only the basemap and traffic come as tiles) with every basemap tile
/// around its view in memory: a pattern that runs on across the tiles' edges, as a map does.
MapsApp demo_over_imagery(bool traffic) {
  MapsApp app = demo_app(traffic);
  app.model.places.clear();
  MapProjection const p = app.viewport_projection();
  for (auto const& placement :
       visible_tiles(app.model.center, app.model.zoom, ViewRect{-600, -600, 1880, 1400},
                     ScreenPoint{p.screen_x, p.screen_y})) {
    std::vector<std::uint8_t> rgba;
    for (std::uint32_t y = 0; y < 256; ++y) {
      for (std::uint32_t x = 0; x < 256; ++x) {
        std::uint32_t const gx = placement.key.x * 256 + x;
        std::uint32_t const gy = placement.key.y * 256 + y;
        bool const dark = ((gx + 8) / 16 + (gy + 8) / 16) % 2 != 0;
        rgba.insert(rgba.end(),
                    {static_cast<std::uint8_t>(gx * 5 + gy), static_cast<std::uint8_t>(gy * 7),
                     static_cast<std::uint8_t>(dark ? 180 : 240), 255});
      }
    }
    app.tiles.tiles[placement.key] = zarn_ui::image_from_rgba(rgba, 256, 256);
    app.tiles.lru.push_back(placement.key);
  }
  return app;
}

TEST(MapRaster, PanningOverImageryScalesEachTileOnce) {
  // Between zoom levels every tile is drawn scaled; a frame that only pans copies the scaled
  // pixels kept from the frames before instead of scaling every tile again.
  MapsApp app = demo_over_imagery(false);
  ASSERT_NE(app.model.zoom, std::round(app.model.zoom));
  TileSurfaceCache window;
  map_layers(app, Theme::light()); // notes the zoom
  pixels(map_layers(app, Theme::light()), 1.0, &window);
  EXPECT_GE(window.renders(), 6u * 4u) << "the tiles of the view are kept scaled";
  std::set<std::string> shown;
  for (int frame = 0; frame < 5; ++frame) {
    app.pan(3.0, 2.0);
    Scene const scene = map_layers(app, Theme::light());
    pixels(scene, 1.0, &window);
    std::set<std::string> const keys = all_tile_keys(scene);
    shown.insert(keys.begin(), keys.end());
  }
  // Only the tiles that came into view were scaled.
  EXPECT_EQ(window.renders(), shown.size());
}

TEST(MapRaster, ImageryTilesShowWhatDirectDrawingShows) {
  struct Case {
    char const* what;
    bool traffic;
    double pan_x, pan_y, scale;
  } const cases[] = {
      {"the demo", false, 0, 0, 1},
      {"panned between pixels", false, 37.3, -11.6, 1},
      {"twice the density, traffic", true, -5.5, 2.25, 2},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    std::set<int> seam_x, seam_y; // device pixels next to a tile's edge
    auto view = [&](bool raster) {
      MapsApp app = demo_over_imagery(c.traffic);
      app.map_raster.enabled = raster;
      MapProjection const p = app.viewport_projection();
      app.model.center = unproject_point(p, p.screen_x + c.pan_x, p.screen_y + c.pan_y);
      for (auto const& t :
           visible_tiles(app.model.center, app.model.zoom, ViewRect{0, 0, 1280, 800},
                         ScreenPoint{p.screen_x, p.screen_y})) {
        for (int d = -1; d <= 1; ++d) {
          seam_x.insert(static_cast<int>(std::round(t.x0 * c.scale)) + d);
          seam_y.insert(static_cast<int>(std::round(t.y0 * c.scale)) + d);
        }
      }
      map_layers(app, Theme::light());
      return map_layers(app, Theme::light());
    };
    TileSurfaceCache cache;
    std::vector<std::uint8_t> const a = pixels(view(true), c.scale, &cache);
    std::vector<std::uint8_t> const b = pixels(view(false), c.scale, nullptr);
    // Drawn directly, a tile's edge between pixels lets the placeholder under it show a little
    // at the seams; kept tiles meet on whole pixels. Elsewhere the pictures agree.
    auto const width = static_cast<std::size_t>(1280 * c.scale);
    int worst = 0;
    std::size_t differing = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      auto const px = static_cast<int>(i / 4 % width);
      auto const py = static_cast<int>(i / 4 / width);
      int const diff = std::abs(int{a[i]} - int{b[i]});
      if (diff != 0 && !seam_x.contains(px) && !seam_y.contains(py)) {
        worst = std::max(worst, diff);
        ++differing;
      }
    }
    // Measured: by at most 4 of 255 in a channel, 13 where traffic lines cross tile edges.
    EXPECT_LE(worst, 16) << differing << " pixels differ";
  }
}

/// The demo with `n` saved places strewn over the view (some in crowds).
MapsApp demo_with_places(std::size_t n) {
  MapsApp app = demo_app(false);
  MapProjection const p = app.viewport_projection();
  std::mt19937 rng(28);
  std::uniform_real_distribution<double> x(-40.0, 1320.0);
  std::uniform_real_distribution<double> y(-40.0, 840.0);
  for (std::size_t i = 0; i < n; ++i) {
    LatLon const pos = unproject_point(p, x(rng), y(rng));
    app.model.places.push_back(
        new_place("p" + std::to_string(i), "Place", PlaceCategory::Cafe, pos.lat, pos.lon, ""));
  }
  return app;
}

std::set<std::string> pin_keys(Scene const& scene) {
  std::set<std::string> keys;
  for (auto const& key : all_tile_keys(scene)) {
    if (key.starts_with("place-pins|")) {
      keys.insert(key);
    }
  }
  return keys;
}

/// Places the view's corner on a whole pixel, `dx` and `dy` from where the demo has it.
void view_on_whole_pixels(MapsApp& app, double dx, double dy) {
  MapProjection const p = app.viewport_projection();
  double const fx = (p.world_x - p.screen_x) - std::round(p.world_x - p.screen_x);
  double const fy = (p.world_y - p.screen_y) - std::round(p.world_y - p.screen_y);
  app.model.center = unproject_point(p, p.screen_x + dx - fx, p.screen_y + dy - fy);
}

TEST(MapRaster, PinSpritesAndTilesShowWhatDirectDrawingShows) {
  // The first frame at a zoom copies the pins' sprites; at a steady zoom they come in tiles.
  enum class Way { Direct, FirstFrame, Steady };
  for (double const pan : {0.0, 101.0}) {
    SCOPED_TRACE(pan);
    auto view = [&](Way way) {
      MapsApp app = demo_with_places(400);
      app.map_raster.enabled = way != Way::Direct;
      // Pins stand on whole pixels: a view whose corner is on one draws them where direct
      // drawing does.
      view_on_whole_pixels(app, pan - 3.0, -std::floor(pan / 2.0));
      if (way != Way::FirstFrame) {
        map_layers(app, Theme::light());
      }
      view_on_whole_pixels(app, 3.0, 0.0);
      return map_layers(app, Theme::light());
    };
    Scene const direct = view(Way::Direct);
    for (Way const way : {Way::FirstFrame, Way::Steady}) {
      SCOPED_TRACE(way == Way::FirstFrame ? "first frame" : "steady");
      Scene const shown = view(way);
      EXPECT_EQ(pin_keys(shown).empty(), way == Way::FirstFrame);
      TileSurfaceCache cache;
      Difference const d = difference(pixels(shown, 1.0, &cache), pixels(direct, 1.0, nullptr));
      // Pins cut at tile edges antialias a little differently there.
      EXPECT_LE(d.pixels, 1280u * 800u / 100u) << "by up to " << d.max_channel;
    }
  }
}

TEST(MapRaster, AMovedPlaceOrANewSelectionNeverShowsOldPinTiles) {
  struct Case {
    char const* what;
    std::function<void(MapsApp&)> change;
  } const cases[] = {
      {"a place moved", [](MapsApp& app) { app.model.places[3].pos.lat += 0.001; }},
      {"a place added",
       [](MapsApp& app) {
         Place added = app.model.places[3];
         added.id = "added";
         added.pos.lon += 0.0007;
         app.model.places.push_back(added);
       }},
      {"a place selected", [](MapsApp& app) { app.model.selected = app.model.places[5].id; }},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    MapsApp app = demo_with_places(200);
    TileSurfaceCache window;
    // Panning at a steady zoom, so that the pins come in tiles.
    map_layers(app, Theme::light());
    view_on_whole_pixels(app, 2.0, 0.0);
    Scene const before = map_layers(app, Theme::light());
    pixels(before, 1.0, &window);
    c.change(app);
    view_on_whole_pixels(app, 2.0, 0.0);
    Scene const after = map_layers(app, Theme::light());
    ASSERT_FALSE(pin_keys(before).empty());
    std::set<std::string> const old_keys = pin_keys(before);
    for (auto const& key : pin_keys(after)) {
      EXPECT_FALSE(old_keys.contains(key)) << key;
    }
    TileSurfaceCache fresh;
    EXPECT_TRUE(pixels(after, 1.0, &window) == pixels(after, 1.0, &fresh));
  }
}

TEST(MapRaster, SwitchingTrafficThemeOrZoomInTheWindowNeverShowsOldTiles) {
  // The window's cache lives across the whole session; a cache made afresh for each frame
  // cannot hold anything stale, so both must give the same picture.
  test::Session s({"--nav-closed"}, 1280, 800);
  TileSurfaceCache window;
  auto check = [&](char const* what) {
    SCOPED_TRACE(what);
    s.frame(); // a steady frame: the layers come as tiles
    EXPECT_FALSE(tile_keys(s.scene).empty());
    std::vector<std::uint8_t> shown = pixels(s.scene, 1.0, &window);
    TileSurfaceCache fresh;
    EXPECT_TRUE(shown == pixels(s.scene, 1.0, &fresh));
    return shown;
  };
  std::vector<std::uint8_t> const plain = check("the demo");
  s.click(map_control_rect(s.app().map_rect, 3).center());
  ASSERT_TRUE(s.app().traffic_on);
  EXPECT_FALSE(check("traffic switched on") == plain);
  s.set_theme(Theme::dark());
  check("the dark theme");
  double const zoom = s.app().model.zoom;
  s.wheel(Point{900, 400}, 1.0f);
  s.wait(std::chrono::milliseconds(1000));
  ASSERT_NE(s.app().model.zoom, zoom);
  check("zoomed in");
  s.click(map_control_rect(s.app().map_rect, 3).center());
  ASSERT_FALSE(s.app().traffic_on);
  check("traffic switched off");
}

} // namespace
} // namespace maps
