#include "draw/map_layers.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "app/maps_app.h"
#include "draw/markers.h"
#include "platform/render/offscreen.h"
#include "sample/sample_data.h"
#include "scene_probe.h"
#include "ui/format.h"

namespace maps {
namespace {

using probe::fills_of;
using probe::strokes_of;
using probe::texts_of;
using zarn_ui::BezPath;
using zarn_ui::Circle;
using zarn_ui::ImageCmd;
using zarn_ui::Line;
using zarn_ui::Theme;

zarn_ui::SharedImage solid_image(std::uint32_t size, std::uint8_t shade) {
  std::vector<std::uint8_t> rgba(std::size_t{size} * size * 4, shade);
  for (std::size_t i = 3; i < rgba.size(); i += 4) {
    rgba[i] = 255;
  }
  return zarn_ui::image_from_rgba(rgba, size, size);
}

Rect rect_of(TilePlacement const& p) {
  return {p.x0, p.y0, p.x1, p.y1};
}

/// A tile cache whose worker is the test: it can read what was requested.
class TileLayer : public ::testing::Test {
protected:
  TileCache cache = tile_cache_without_worker("/nonexistent/tiles");
  std::optional<base::Receiver<TileRequest>> requests;
  Rect area{0, 0, 600, 400};
  Point anchor{300, 200};
  LatLon centre{48.1371, 11.5754};
  Color placeholder{0.9f, 0.9f, 0.85f, 1.0f};
  Scene scene;

  void SetUp() override {
    auto [tx, rx] = base::channel<TileRequest>();
    cache.request_tx = std::move(tx);
    requests = std::move(rx);
  }

  void put(TileKey key, zarn_ui::SharedImage image) {
    cache.tiles[key] = std::move(image);
    cache.lru.push_back(key);
  }

  std::vector<TilePlacement> placements(double zoom) const {
    return visible_tiles(centre, zoom, ViewRect{area.x0, area.y0, area.x1, area.y1},
                         ScreenPoint{anchor.x, anchor.y});
  }

  bool draw(double zoom) {
    return draw_tiles(scene, Affine::identity(), area, cache, centre, zoom, anchor, placeholder);
  }

  std::vector<TileKey> requested() {
    std::vector<TileKey> out;
    for (;;) {
      auto next = requests->try_recv();
      auto* r = std::get_if<TileRequest>(&next);
      if (!r) {
        return out;
      }
      out.push_back(r->key);
    }
  }

  /// The image commands drawn after the placeholder fill of `rect`, up to the next fill.
  std::vector<ImageCmd> images_over(Rect const& rect) const {
    std::vector<ImageCmd> out;
    bool inside = false;
    for (auto const& cmd : scene.commands) {
      if (auto const* f = std::get_if<zarn_ui::FillCmd>(&cmd)) {
        auto const* r = std::get_if<Rect>(&f->shape);
        inside = r && *r == rect && f->color == placeholder;
      } else if (auto const* img = std::get_if<ImageCmd>(&cmd); img && inside) {
        out.push_back(*img);
      }
    }
    return out;
  }
};

TEST_F(TileLayer, EmptyCacheDrawsPlaceholdersInsideOneClipAndRequestsEveryTileOnce) {
  auto const expected = placements(14.0);
  ASSERT_FALSE(expected.empty());
  EXPECT_FALSE(draw(14.0));
  EXPECT_TRUE(probe::layers_balanced(scene));
  ASSERT_TRUE(std::holds_alternative<zarn_ui::PushLayerCmd>(scene.commands.front()));
  EXPECT_TRUE(std::holds_alternative<zarn_ui::PopLayerCmd>(scene.commands.back()));
  auto const fills = fills_of<Rect>(scene);
  ASSERT_EQ(fills.size(), expected.size());
  for (std::size_t i = 0; i < fills.size(); ++i) {
    EXPECT_EQ(fills[i].shape, rect_of(expected[i]));
    EXPECT_EQ(fills[i].color, placeholder);
  }
  std::vector<TileKey> keys;
  for (auto const& p : expected) {
    keys.push_back(p.key);
  }
  EXPECT_EQ(requested(), keys);
  // Pending now: the next frame asks for nothing again.
  scene.reset();
  draw(14.0);
  EXPECT_TRUE(requested().empty());
}

TEST_F(TileLayer, CachedTilesAreDrawnWholeAndNotRequested) {
  auto const list = placements(14.0);
  put(list[3].key, solid_image(256, 40));
  EXPECT_TRUE(draw(14.0));
  auto const images = images_over(rect_of(list[3]));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_FALSE(images[0].src.has_value());
  EXPECT_EQ(images[0].transform.apply({0, 0}), (Point{list[3].x0, list[3].y0}));
  EXPECT_EQ(images[0].transform.apply({256, 256}), (Point{list[3].x1, list[3].y1}));
  auto const asked = requested();
  EXPECT_EQ(asked.size(), list.size() - 1);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), list[3].key), 0);
}

TEST_F(TileLayer, MissingTileShowsItsSquareOfACachedAncestor) {
  struct Case {
    std::uint8_t levels;
  } const cases[] = {{1}, {2}, {9}};
  double const zoom = 14.0;
  auto const list = placements(zoom);
  TilePlacement const target = list[list.size() / 2];
  for (auto const& c : cases) {
    SCOPED_TRACE(int{c.levels});
    scene.reset();
    cache.tiles.clear();
    cache.lru.clear();
    TileKey const key = target.key;
    TileKey const up{key.x >> c.levels, key.y >> c.levels,
                     static_cast<std::uint8_t>(key.z - c.levels)};
    auto const image = solid_image(256, 90);
    put(up, image);
    EXPECT_TRUE(draw(zoom));
    auto const images = images_over(rect_of(target));
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].image, image);
    ASSERT_TRUE(images[0].src.has_value());
    double const side = 256.0 / (1 << c.levels);
    double const col = key.x - up.x * (1u << c.levels);
    double const row = key.y - up.y * (1u << c.levels);
    EXPECT_EQ(*images[0].src, (Rect{col * side, row * side, (col + 1) * side, (row + 1) * side}));
    Point const tl = images[0].transform.apply({images[0].src->x0, images[0].src->y0});
    Point const br = images[0].transform.apply({images[0].src->x1, images[0].src->y1});
    EXPECT_NEAR(tl.x, target.x0, 1e-9);
    EXPECT_NEAR(tl.y, target.y0, 1e-9);
    EXPECT_NEAR(br.x, target.x1, 1e-9);
    EXPECT_NEAR(br.y, target.y1, 1e-9);
    // Still missing: it is asked for.
    auto const asked = requested();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), key), 1);
    cache.pending.clear();
  }
}

TEST_F(TileLayer, CachedChildrenAreDrawnOverTheAncestorPart) {
  double const zoom = 14.0;
  auto const list = placements(zoom);
  TilePlacement const target = list[list.size() / 2];
  TileKey const key = target.key;
  auto const parent = solid_image(256, 10);
  put(TileKey{key.x / 2, key.y / 2, 13}, parent);
  std::vector<zarn_ui::SharedImage> children;
  for (std::uint32_t j = 0; j < 2; ++j) {
    for (std::uint32_t i = 0; i < 2; ++i) {
      children.push_back(solid_image(256, static_cast<std::uint8_t>(100 + 2 * j + i)));
      put(TileKey{key.x * 2 + i, key.y * 2 + j, 15}, children.back());
    }
  }
  // A grandchild is not looked at once a child level drew.
  put(TileKey{key.x * 4, key.y * 4, 16}, solid_image(256, 200));
  draw(zoom);
  auto const images = images_over(rect_of(target));
  ASSERT_EQ(images.size(), 5u);
  EXPECT_EQ(images[0].image, parent);
  double const half = (target.x1 - target.x0) / 2;
  for (std::size_t n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(images[n + 1].image, children[n]);
    Point const tl = images[n + 1].transform.apply({0, 0});
    EXPECT_NEAR(tl.x, target.x0 + half * static_cast<double>(n % 2), 1e-9);
    EXPECT_NEAR(tl.y, target.y0 + half * static_cast<double>(n / 2), 1e-9);
  }
}

TEST_F(TileLayer, GrandchildrenAloneFillTheirCells) {
  double const zoom = 14.0;
  auto const list = placements(zoom);
  TilePlacement const target = list[list.size() / 2];
  TileKey const key = target.key;
  put(TileKey{key.x * 4 + 3, key.y * 4 + 1, 16}, solid_image(64, 70));
  EXPECT_TRUE(draw(zoom));
  auto const images = images_over(rect_of(target));
  ASSERT_EQ(images.size(), 1u);
  double const quarter = (target.x1 - target.x0) / 4;
  EXPECT_NEAR(images[0].transform.apply({0, 0}).x, target.x0 + 3 * quarter, 1e-9);
  EXPECT_NEAR(images[0].transform.apply({0, 0}).y, target.y0 + quarter, 1e-9);
  EXPECT_NEAR(images[0].transform.apply({64, 64}).x, target.x1, 1e-9);
}

TEST_F(TileLayer, TilesAtTheHighestZoomNeverLookForDescendants) {
  auto const list = placements(19.0);
  TileKey const key = list[0].key;
  ASSERT_EQ(key.z, 19);
  put(TileKey{key.x * 2, key.y * 2, 20}, solid_image(256, 50));
  EXPECT_FALSE(draw(19.0));
  EXPECT_EQ(probe::count_of<ImageCmd>(scene), 0u);
}

class Layers : public ::testing::Test {
protected:
  Theme theme = Theme::light();
  MapPalette palette = map_palette(theme);
  MapProjection projection = MapProjection::make(48.1371, 11.5754, 16.0, 400, 300);
  Rect area{0, 0, 800, 600};
  Scene scene;

  LatLon at(double x, double y) const { return unproject_point(projection, x, y); }
};

TEST_F(Layers, BlankGridMarksTileQuartersAndEdges) {
  LatLon const centre{48.1371, 11.5754};
  draw_blank_grid(scene, Affine::identity(), area, centre, 14.0, {400, 300}, palette);
  auto const tiles = visible_tiles(centre, 14.0, ViewRect{0, 0, 800, 600}, ScreenPoint{400, 300});
  auto const fills = fills_of<Rect>(scene);
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].shape, area);
  EXPECT_EQ(fills[0].color, palette.placeholder);
  EXPECT_EQ(fills[0].index, 0u);
  EXPECT_TRUE(probe::layers_balanced(scene));
  auto const lines = strokes_of<Line>(scene);
  ASSERT_EQ(lines.size(), tiles.size() * 8);
  Color const fine = mix_colors(palette.placeholder, palette.land, 0.4f);
  Color const edge = mix_colors(palette.placeholder, palette.land, 0.85f);
  auto const& t0 = tiles[0];
  double const qx = (t0.x1 - t0.x0) / 4;
  EXPECT_EQ(lines[0].shape, (Line{{t0.x0 + qx, t0.y0}, {t0.x0 + qx, t0.y1}}));
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(lines[i].color, i < 6 ? fine : edge);
    EXPECT_EQ(lines[i].width, i < 6 ? 0.5 : 1.0);
  }
  EXPECT_EQ(lines[6].shape, (Line{{t0.x0, t0.y0}, {t0.x0, t0.y1}}));
  EXPECT_EQ(lines[7].shape, (Line{{t0.x0, t0.y0}, {t0.x1, t0.y0}}));
}

TEST_F(Layers, StreetNetworkPaintsInLayersWithRoadWidths) {
  projection.zoom = 12.0;
  projection = MapProjection::make(48.1371, 11.5754, 12.0, 400, 300);
  auto square = [&](double x, double y, std::uint8_t kind) {
    return StreetArea{{at(x, y), at(x + 40, y), at(x + 40, y + 40), at(x, y + 40)}, kind};
  };
  StreetNetwork net;
  net.areas = {square(10, 10, AREA_BUILT_UP), square(100, 10, AREA_WATER),
               square(200, 10, AREA_GREEN), StreetArea{{at(0, 0), at(5, 5)}, AREA_WATER}};
  net.river = {at(0, 300), at(800, 320)};
  net.roads = {Road{{at(0, 100), at(800, 100)}, 2}, Road{{at(0, 200), at(800, 200)}, 0},
               Road{{at(0, 250), at(800, 250)}, 1}, Road{{at(0, 280), at(800, 290)}, 3},
               Road{{at(0, 270)}, 0}};
  draw_street_network(scene, Affine::identity(), area, projection, net, palette, area);

  struct Step {
    bool fill;
    Color color;
    double width; // strokes only
  };
  std::vector<Step> const expected = {
      {true, palette.land, 0},
      {true, palette.water, 0},
      {true, palette.park, 0},
      {false, palette.park_edge, 1.0},
      {false, palette.water, 4.2 * 3.2},
      {true, palette.building, 0},
      {false, palette.building_edge, 1.0},
      {false, palette.road_casing, 6.2}, // class 0: 4.2 + 2
      {false, palette.road_casing, 5.0}, // class 1
      {false, palette.road_casing, 3.0}, // class 3; class 2 has none
      {false, palette.minor_road, 1.6},
      {false, palette.highway, 4.2},
      {false, palette.major_road, 3.0},
      {false, palette.minor_road, 1.0},
  };
  ASSERT_EQ(scene.commands.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    if (expected[i].fill) {
      auto const* f = std::get_if<zarn_ui::FillCmd>(&scene.commands[i]);
      ASSERT_NE(f, nullptr);
      EXPECT_EQ(f->color, expected[i].color);
    } else {
      auto const* s = std::get_if<zarn_ui::StrokeCmd>(&scene.commands[i]);
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(s->color, expected[i].color);
      EXPECT_NEAR(s->style.width, expected[i].width, 1e-12);
    }
  }
  // Outlines are closed by repeating their first point.
  auto const edge = std::get<BezPath>(std::get<zarn_ui::StrokeCmd>(scene.commands[3]).shape);
  ASSERT_EQ(edge.elements().size(), 5u);
  EXPECT_EQ(edge.elements().front().p[0], edge.elements().back().p[0]);
}

TEST_F(Layers, RoadAndTrafficWidthsGrowAboveZoom12) {
  EXPECT_DOUBLE_EQ(road_width(10.0, 0), 4.2);
  EXPECT_DOUBLE_EQ(road_width(14.0, 2), (2 * 0.35 + 1) * 1.6);
  double const at16[] = {5.28, 6.48, 7.44, 8.16};
  double const at12[] = {2.2, 2.7, 3.1, 3.4};
  for (std::uint8_t level = 0; level < 4; ++level) {
    EXPECT_NEAR(traffic_width(16.0, level), at16[level], 1e-12);
    EXPECT_NEAR(traffic_width(12.0, level), at12[level], 1e-12);
  }
  EXPECT_EQ(traffic_width(16.0, 200), traffic_width(16.0, 3));
}

TEST_F(Layers, TrafficCasingsAllGoUnderTheLines) {
  TrafficOverlay traffic;
  for (std::uint8_t level = 0; level < 4; ++level) {
    double const y = 100.0 + 50 * level;
    traffic.segments.push_back({{at(0, y), at(800, y)}, level});
  }
  traffic.segments.push_back({{at(0, 50)}, 0}); // a lone point is not a line
  draw_traffic(scene, Affine::identity(), projection, traffic, palette, area);
  auto const strokes = strokes_of<BezPath>(scene);
  ASSERT_EQ(strokes.size(), 8u);
  for (std::uint8_t level = 0; level < 4; ++level) {
    EXPECT_EQ(strokes[level].color, palette.traffic_casing);
    EXPECT_NEAR(strokes[level].width, traffic_width(16.0, level) + 2, 1e-12);
    EXPECT_EQ(strokes[4 + level].color, palette.traffic[level]);
    EXPECT_NEAR(strokes[4 + level].width, traffic_width(16.0, level), 1e-12);
  }
}

TEST_F(Layers, RouteLineOverItsCasingWithEndDiscs) {
  Route route;
  route.geometry = {at(100, 100), at(300, 100), at(300, 400)};
  ScreenLine line;
  draw_route(scene, Affine::identity(), projection, route, palette, area, line);
  auto const lines = strokes_of<BezPath>(scene);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].color, palette.route_casing);
  EXPECT_EQ(lines[0].width, 9.0);
  EXPECT_EQ(lines[1].color, palette.route);
  EXPECT_EQ(lines[1].width, 5.5);
  EXPECT_LT(lines[0].index, lines[1].index);
  auto const discs = fills_of<Circle>(scene);
  auto const rings = strokes_of<Circle>(scene);
  ASSERT_EQ(discs.size(), 2u);
  ASSERT_EQ(rings.size(), 2u);
  EXPECT_NEAR(discs[0].shape.center.x, 100, 1e-6);
  EXPECT_EQ(discs[0].color, palette.marker_halo);
  EXPECT_EQ(rings[0].color, palette.route);
  EXPECT_EQ(rings[0].width, 3.0);
  EXPECT_NEAR(discs[1].shape.center.y, 400, 1e-6);
  EXPECT_EQ(discs[1].color, palette.route);
  EXPECT_EQ(rings[1].color, palette.marker_halo);
  EXPECT_EQ(rings[1].width, 2.5);
  EXPECT_GT(discs[0].index, lines[1].index);

  Scene empty;
  route.geometry.resize(1);
  draw_route(empty, Affine::identity(), projection, route, palette, area, line);
  draw_traffic(empty, Affine::identity(), projection, TrafficOverlay{}, palette, area);
  EXPECT_TRUE(empty.empty());
}

TEST_F(Layers, WalkingLegsAreDottedAndGetNoStops) {
  TransitJourney journey;
  TransitLeg walk;
  walk.mode = LegMode::Walk;
  walk.geometry = {at(100, 100), at(130, 100), at(130, 125)}; // 30 px then 25 px
  journey.legs = {walk};
  draw_journey(scene, Affine::identity(), projection, journey, theme, palette, area);
  EXPECT_TRUE(probe::layers_balanced(scene));
  EXPECT_TRUE(fills_of<Circle>(scene).empty());
  auto const dots = strokes_of<Line>(scene);
  ASSERT_EQ(dots.size(), 6u);
  struct Dash {
    double x0, y0, x1, y1;
  } const expected[] = {{100, 100, 106, 100}, {111, 100, 117, 100}, {122, 100, 128, 100},
                        {130, 100, 130, 106}, {130, 111, 130, 117}, {130, 122, 130, 125}};
  Color const c = leg_mode_color(theme, LegMode::Walk).multiply_alpha(0.9f);
  for (std::size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(dots[i].shape.p0.x, expected[i].x0, 1e-6);
    EXPECT_NEAR(dots[i].shape.p0.y, expected[i].y0, 1e-6);
    EXPECT_NEAR(dots[i].shape.p1.x, expected[i].x1, 1e-6);
    EXPECT_NEAR(dots[i].shape.p1.y, expected[i].y1, 1e-6);
    EXPECT_EQ(dots[i].width, 3.0);
    EXPECT_EQ(dots[i].color, c);
  }
}

TEST_F(Layers, FarWalkingSegmentRecordsOnlyTheDotsThatCanShow) {
  TransitJourney journey;
  TransitLeg walk;
  walk.mode = LegMode::Walk;
  // Starts 2,000,000 px left of the map: every dash keeps its place in the pattern, but only
  // those near the map area are recorded.
  walk.geometry = {at(-2'000'000 + 0.5, 300), at(500, 300)};
  journey.legs = {walk};
  draw_journey(scene, Affine::identity(), projection, journey, theme, palette, area);
  auto const dots = strokes_of<Line>(scene);
  ASSERT_FALSE(dots.empty());
  EXPECT_LT(dots.size(), 60u);
  Point const start = project_point(projection, walk.geometry[0].lat, walk.geometry[0].lon);
  for (auto const& d : dots) {
    double const phase = std::fmod(d.shape.p0.x - start.x, 11.0);
    EXPECT_TRUE(phase < 1e-3 || phase > 11.0 - 1e-3) << d.shape.p0.x;
  }
  EXPECT_LE(dots.front().shape.p0.x, area.x0);
  EXPECT_GE(dots.back().shape.p1.x, 494.0);
}

TEST_F(Layers, VehicleLegsHaveCasingsAndStopsInsideTheArea) {
  TransitJourney journey;
  TransitLeg bus;
  bus.mode = LegMode::Bus;
  bus.geometry = {at(100, 100), at(900, 100)}; // ends right of the map area
  TransitLeg tram;
  tram.mode = LegMode::Tram;
  tram.color = "00ff00";
  tram.geometry = {at(200, 200), at(300, 300)};
  TransitLeg lone;
  lone.mode = LegMode::Rail;
  lone.geometry = {at(400, 400)};
  journey.legs = {bus, tram, lone};
  draw_journey(scene, Affine::identity(), projection, journey, theme, palette, area);
  auto const lines = strokes_of<BezPath>(scene);
  ASSERT_EQ(lines.size(), 4u);
  Color const blue = leg_mode_color(theme, LegMode::Bus);
  Color const green = *parse_hex_color("00ff00");
  EXPECT_EQ(lines[0].color, mix_colors(blue, zarn_ui::colors::BLACK, 0.45f));
  EXPECT_EQ(lines[0].width, 8.0);
  EXPECT_EQ(lines[1].color, blue);
  EXPECT_EQ(lines[1].width, 5.0);
  EXPECT_EQ(lines[3].color, green);
  // Stops: bus start (its end lies outside), tram start and end; after every line.
  auto const rings = strokes_of<Circle>(scene);
  ASSERT_EQ(rings.size(), 3u);
  EXPECT_EQ(rings[0].color, blue);
  EXPECT_EQ(rings[1].color, green);
  EXPECT_EQ(rings[2].color, green);
  EXPECT_GT(rings[0].index, lines[3].index);
  for (auto const& disc : fills_of<Circle>(scene)) {
    EXPECT_EQ(disc.shape.radius, 5.0);
    EXPECT_EQ(disc.color, palette.marker_halo);
  }
}

TEST_F(Layers, ScaleBarSitsAboveTheWindowBottom) {
  TextRenderer text;
  Rect const window{0, 0, 1280, 800};
  double const right = 1280 - 66;
  LatLon const centre{48.1371, 11.5754};
  draw_scale_bar(scene, Affine::identity(), text, window, centre, 14.4, theme, right);
  ScaleBar const bar = scale_bar_label(centre.lat, 14.4, 110);
  double const left = right - bar.length_px;
  auto const plate = fills_of<zarn_ui::RoundedRect>(scene);
  ASSERT_EQ(plate.size(), 1u);
  EXPECT_EQ(plate[0].shape.rect, (Rect{left - 8, 770, right + 8, 788}));
  EXPECT_FLOAT_EQ(plate[0].color.a, theme.surface.a * 0.7f);
  auto const lines = strokes_of<Line>(scene);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].shape, (Line{{left, 774}, {right, 774}}));
  EXPECT_EQ(lines[1].shape, (Line{{left, 771}, {left, 777}}));
  EXPECT_EQ(lines[2].shape, (Line{{right, 771}, {right, 777}}));
  auto const texts = probe::commands_of<zarn_ui::TextCmd>(scene);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, bar.label);
  EXPECT_EQ(texts[0].color, theme.text_secondary);
  EXPECT_DOUBLE_EQ(texts[0].transform.f, 776);
}

/// The application in the demo state (street network, route, places) or a plain start, at
/// 1280 × 800, with a cache that holds nothing and never loads.
MapsApp app_for(bool demo) {
  MapsApp app = demo
                    ? build_maps_app(demo_scenario(), sample_road_network(),
                                     tile_cache_without_worker("/nonexistent/tiles"), false, false)
                    : build_maps_app(default_map_model(), StreetNetwork{},
                                     tile_cache_without_worker("/nonexistent/tiles"), false, false);
  app.window_rect_ = Rect{0, 0, 1280, 800};
  return app;
}

struct Frame {
  Scene scene;
  bool imagery = false;
};

Frame draw_frame(MapsApp& app, Theme const& theme, TextRenderer const& text) {
  Frame frame;
  MapPalette const palette = map_palette(theme);
  frame.imagery = draw_map_layers(app, frame.scene, Affine::identity(), text, theme, palette,
                                  app.viewport_projection());
  draw_map_overlays(app, frame.scene, Affine::identity(), text, theme, frame.imagery);
  return frame;
}

bool has_stroke_colour(Scene const& scene, Color c) {
  for (auto const& s : probe::commands_of<zarn_ui::StrokeCmd>(scene)) {
    if (s.color == c) {
      return true;
    }
  }
  return false;
}

TEST(MapFrame, TrafficOnlyWhenSwitchedOnAndStreetsInsteadOfTheBanner) {
  Theme const theme = Theme::light();
  MapPalette const palette = map_palette(theme);
  TextRenderer text;
  MapsApp app = app_for(true);
  Frame off = draw_frame(app, theme, text);
  EXPECT_FALSE(off.imagery);
  EXPECT_FALSE(has_stroke_colour(off.scene, palette.traffic_casing));
  EXPECT_TRUE(has_stroke_colour(off.scene, palette.road_casing));
  EXPECT_TRUE(has_stroke_colour(off.scene, palette.route_casing));
  auto const texts = texts_of(off.scene);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), std::string(LOADING_MAP_TEXT)), 0);
  EXPECT_TRUE(probe::layers_balanced(off.scene));

  app.set_traffic(true);
  Frame on = draw_frame(app, theme, text); // the zoom is steady: the layers come as tiles
  Scene const opened = probe::with_tiles_opened(on.scene);
  EXPECT_TRUE(has_stroke_colour(opened, palette.traffic_casing));
  EXPECT_GT(opened.commands.size(), off.scene.commands.size());
}

TEST(MapFrame, TheStripBesideANarrowedMapAreaIsPaintedFirst) {
  Theme const theme = Theme::light();
  Color const land = map_palette(theme).land;
  TextRenderer text;
  struct Case {
    char const* what;
    double width;
    bool nav_open;
    double strip_right; // 0: no strip
  } const cases[] = {
      {"compact with the panel open", 600, true, 16 + 384 + 10},
      {"compact with the panel closed", 600, false, 0},
      {"wide", 1280, true, 0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    MapsApp app = app_for(true);
    app.window_rect_ = Rect{0, 0, c.width, 800};
    app.nav_open = c.nav_open;
    Frame frame = draw_frame(app, theme, text);
    auto const fills = fills_of<Rect>(frame.scene);
    ASSERT_FALSE(fills.empty());
    Rect const strip{0, 0, c.strip_right, 800};
    bool const painted = std::any_of(fills.begin(), fills.end(), [&](auto const& f) {
      return f.shape == strip && f.color == land;
    });
    EXPECT_EQ(painted, c.strip_right > 0);
    if (c.strip_right > 0) {
      // Under the streets, which are drawn across it.
      EXPECT_EQ(fills.front().shape, strip);
      EXPECT_EQ(fills.front().index, 0u);
    }
  }
}

TEST(MapFrame, PlainStartShowsTheGridAndTheBanner) {
  struct Case {
    char const* what;
    bool backoff;
    bool compact_nav_open;
    std::string_view banner; // empty: none
  } const cases[] = {
      {"loading", false, false, LOADING_MAP_TEXT},
      {"failed tiles, none in memory", true, false, IMAGERY_OFFLINE_TEXT},
      {"compact with the panel open", false, true, ""},
  };
  Theme const theme = Theme::light();
  TextRenderer text;
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    MapsApp app = app_for(false);
    if (c.backoff) {
      app.tiles.backoff[TileKey{1, 1, 2}] = TileBackoff{};
    }
    if (c.compact_nav_open) {
      app.window_rect_ = Rect{0, 0, 600, 800};
      app.nav_open = true;
    }
    Frame frame = draw_frame(app, theme, text);
    EXPECT_TRUE(has_stroke_colour(
        frame.scene, mix_colors(map_palette(theme).placeholder, map_palette(theme).land, 0.85f)));
    auto const texts = texts_of(frame.scene);
    bool const shown = std::find(texts.begin(), texts.end(), std::string(c.banner)) != texts.end();
    EXPECT_EQ(shown, !c.banner.empty());
    if (c.banner.empty()) {
      EXPECT_EQ(texts.size(), 1u); // the scale bar alone
    }
  }
}

TEST(MapFrame, BannerCentresOnTheMapPartOfTheWindow) {
  MapsApp app = app_for(false);
  Point const c = imagery_banner_center(app);
  EXPECT_DOUBLE_EQ(c.x, (16 + 384 + 10 + 1280) / 2.0);
  EXPECT_DOUBLE_EQ(c.y, 400);
  app.panel_collapsed = true;
  EXPECT_DOUBLE_EQ(imagery_banner_center(app).x, 640);
  EXPECT_DOUBLE_EQ(scale_bar_right(app), 1280 - 66);
  app.window_rect_ = Rect{0, 0, 600, 800};
  app.nav_open = true;
  EXPECT_EQ(map_area(app), (Rect{16 + 384 + 10, 0, 600, 800}));
  app.nav_open = false;
  EXPECT_EQ(map_area(app), (Rect{0, 0, 600, 800}));
}

/// Renders the demo map (streets, traffic, route, points of interest, pins) and checks it looks
/// like one: the route and the traffic colours show, and the picture is not flat.
TEST(MapFrame, DemoMapRendersOffscreen) {
  Theme const theme = Theme::light();
  MapPalette const palette = map_palette(theme);
  TextRenderer text;
  MapsApp app = app_for(true);
  app.nearby_pois = sample_pois();
  app.set_traffic(true);
  Frame frame = draw_frame(app, theme, text);

  zarn_ui::OffscreenRenderer renderer(1280, 800);
  std::vector<std::uint8_t> const rgba = renderer.render_resilient(frame.scene, palette.land);
  ASSERT_EQ(rgba.size(), 1280u * 800u * 4u);
  auto png = zarn_ui::OffscreenRenderer::encode_png(1280, 800, rgba);
  ASSERT_TRUE(png.has_value()) << png.error();
  std::ofstream(::testing::TempDir() + "maps_demo_layers.png", std::ios::binary)
      .write(reinterpret_cast<char const*>(png->data()), static_cast<std::streamsize>(png->size()));

  auto count_near = [&](Color c) {
    auto const want = c.to_rgba8();
    std::size_t n = 0;
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
      n += std::abs(rgba[i] - want.r) < 6 && std::abs(rgba[i + 1] - want.g) < 6 &&
                   std::abs(rgba[i + 2] - want.b) < 6
               ? 1
               : 0;
    }
    return n;
  };
  EXPECT_GT(count_near(palette.route), 1000u);
  EXPECT_GT(count_near(palette.traffic[0]), 1000u);
  EXPECT_GT(count_near(palette.building), 10000u);
  std::set<std::uint32_t> colours;
  for (std::size_t i = 0; i < rgba.size(); i += 4 * 97) {
    colours.insert(std::uint32_t{rgba[i]} | std::uint32_t{rgba[i + 1]} << 8 |
                   std::uint32_t{rgba[i + 2]} << 16);
  }
  EXPECT_GT(colours.size(), 50u);
}

/// The close-up of the points of interest: pictograms, name plates and the selected marker.
TEST(MapFrame, PointsOfInterestCloseUpRendersOffscreen) {
  Theme const theme = Theme::light();
  MapPalette const palette = map_palette(theme);
  TextRenderer text;
  MapsApp app = app_for(true);
  app.nearby_pois = sample_pois();
  app.selected_poi = "osm-node-203";
  app.model.center = LatLon{48.1381, 11.577};
  app.model.zoom = 16.7;
  app.model.selected.reset();
  app.model.route.reset();
  Frame frame = draw_frame(app, theme, text);
  auto const labels = texts_of(frame.scene);
  EXPECT_GE(labels.size(), 5u); // names of the markers on screen and the scale bar

  zarn_ui::OffscreenRenderer renderer(1280, 800);
  std::vector<std::uint8_t> const rgba = renderer.render_resilient(frame.scene, palette.land);
  ASSERT_EQ(rgba.size(), 1280u * 800u * 4u);
  auto png = zarn_ui::OffscreenRenderer::encode_png(1280, 800, rgba);
  ASSERT_TRUE(png.has_value()) << png.error();
  std::ofstream(::testing::TempDir() + "maps_poi_layers.png", std::ios::binary)
      .write(reinterpret_cast<char const*>(png->data()), static_cast<std::streamsize>(png->size()));
}

} // namespace
} // namespace maps
