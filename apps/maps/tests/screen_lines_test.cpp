#include "geo/screen_lines.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

#include "draw/map_layers.h"
#include "platform/render/offscreen.h"
#include "sample/street_network.h"
#include "scene_probe.h"

namespace maps {
namespace {

using zarn_ui::BezPath;
using zarn_ui::Point;
using zarn_ui::Rect;

TEST(LineReaches, OnlyLinesWhollyOutsideAreLeftOut) {
  Rect const view{0, 0, 800, 600};
  double const nan = std::nan("");
  struct Case {
    char const* what;
    std::vector<Point> points;
    double width;
    bool reaches;
  } const cases[] = {
      {"inside", {{10, 10}, {20, 20}}, 1, true},
      {"crossing with both ends outside", {{-100, 300}, {900, 300}}, 1, true},
      {"left of the view", {{-50, 10}, {-20, 500}}, 4, false},
      {"below the view", {{0, 650}, {800, 700}}, 4, false},
      {"just outside, its stroke reaches in", {{-3, 10}, {-3, 500}}, 6, true},
      {"a non-finite point", {{nan, 10}, {-900, 10}}, 1, true},
      {"no points", {}, 1, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(line_reaches(c.points, c.width, view), c.reaches);
  }
}

TEST(SimplifyPolyline, DropsOnlyPointsWithinTheTolerance) {
  std::vector<Point> line;
  for (int i = 0; i <= 100; ++i) {
    line.push_back({i * 1.0, (i % 2) * 0.1}); // a 0.1-px zigzag
  }
  line.push_back({100, 50}); // a real corner
  auto const out = simplify_polyline(line, 0.2);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], line.front());
  EXPECT_EQ(out[1], line[100]);
  EXPECT_EQ(out[2], line.back());
  EXPECT_EQ(simplify_polyline(line, 0.05).size(), line.size());
}

class ScreenLineTest : public ::testing::Test {
protected:
  Rect view{0, 0, 800, 600};
  MapProjection projection = MapProjection::make(48.1371, 11.5754, 14.6, 400, 300);
  ScreenLine line;

  LatLon at(double x, double y) const { return unproject_point(projection, x, y); }
};

TEST_F(ScreenLineTest, ManyPointsOnAStraightLineBecomeTheirEnds) {
  std::vector<LatLon> geometry;
  for (int i = 0; i <= 10000; ++i) {
    geometry.push_back(at(100 + i * 0.05, 200));
  }
  auto const& runs = line.visible_runs(geometry, projection, 9, view);
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].size(), 2u);
  EXPECT_NEAR(runs[0][0].x, 100, 1e-6);
  EXPECT_NEAR(runs[0][1].x, 600, 1e-6);
  EXPECT_NEAR(runs[0][1].y, 200, 1e-6);
}

TEST_F(ScreenLineTest, OnlyTheRunsThatShowAreKept) {
  // In, far out to the right, back in: two runs, each reaching past the view's edge.
  std::vector<LatLon> const geometry = {at(100, 100),  at(700, 150), at(5000, 100),
                                        at(5000, 400), at(700, 350), at(100, 400)};
  auto const& runs = line.visible_runs(geometry, projection, 9, view);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].size(), 3u);
  EXPECT_NEAR(runs[0][2].x, 5000, 1e-6);
  EXPECT_EQ(runs[1].size(), 3u);
  EXPECT_NEAR(runs[1][0].x, 5000, 1e-6);
  EXPECT_NEAR(runs[1][2].y, 400, 1e-6);
}

/// The cached line must never be served for another route or another zoom level.
TEST_F(ScreenLineTest, CacheIsMadeAgainForNewGeometryOrZoomLevelButNotForAPan) {
  std::vector<LatLon> geometry = {at(100, 100), at(300, 100), at(300, 400)};
  line.visible_runs(geometry, projection, 9, view);
  EXPECT_EQ(line.builds(), 1u);

  MapProjection const panned = MapProjection::make(48.1375, 11.5750, 14.9, 437, 300); // same level
  auto const& moved = line.visible_runs(geometry, panned, 9, view);
  EXPECT_EQ(line.builds(), 1u);
  ASSERT_EQ(moved.size(), 1u);
  Point const direct = project_point(panned, geometry[1].lat, geometry[1].lon);
  EXPECT_NEAR(moved[0][1].x, direct.x, 1e-6);
  EXPECT_NEAR(moved[0][1].y, direct.y, 1e-6);

  geometry[1] = at(300, 250);
  auto const& changed = line.visible_runs(geometry, projection, 9, view);
  EXPECT_EQ(line.builds(), 2u);
  EXPECT_NEAR(changed[0][1].y, 250, 1e-6);

  MapProjection const deeper = MapProjection::make(48.1371, 11.5754, 15.2, 400, 300);
  auto const& zoomed = line.visible_runs(geometry, deeper, 9, view);
  EXPECT_EQ(line.builds(), 3u);
  Point const deep = project_point(deeper, geometry[2].lat, geometry[2].lon);
  EXPECT_NEAR(zoomed[0].back().x, deep.x, 1e-6);
  EXPECT_NEAR(zoomed[0].back().y, deep.y, 1e-6);
}

TEST(TrafficStrokes, TwoPointPiecesHaveButtCapsLongerOnesRound) {
  MapProjection const projection = MapProjection::make(48.1371, 11.5754, 16.0, 400, 300);
  auto at = [&](double x, double y) { return unproject_point(projection, x, y); };
  TrafficOverlay traffic;
  traffic.segments.push_back({{at(10, 10), at(90, 10)}, 1});
  traffic.segments.push_back({{at(10, 50), at(50, 60), at(90, 50)}, 2});
  traffic.segments.push_back({{at(-500, 50), at(-400, 60)}, 2}); // off screen
  Scene scene;
  MapPalette const palette = map_palette(zarn_ui::Theme::light());
  draw_traffic(scene, Affine::identity(), projection, traffic, palette, Rect{0, 0, 800, 600});
  auto const strokes = probe::commands_of<zarn_ui::StrokeCmd>(scene);
  ASSERT_EQ(strokes.size(), 4u);
  for (std::size_t i : {0u, 2u}) {
    EXPECT_EQ(strokes[i].style.start_cap, zarn_ui::Cap::Butt);
    EXPECT_EQ(strokes[i].style.end_cap, zarn_ui::Cap::Butt);
  }
  for (std::size_t i : {1u, 3u}) {
    EXPECT_EQ(strokes[i].style.start_cap, zarn_ui::Cap::Round);
    EXPECT_EQ(strokes[i].style.join, zarn_ui::Join::Round);
  }
}

} // namespace
} // namespace maps

namespace maps {
namespace {

/// What the culled layers leave out must never have shown: the sample streets, traffic and a
/// long route rendered with culling to the view and without it give the same pixels, for views
/// whose edges cut through many lines.
TEST(Culling, LeavesThePicturePixelForPixelAsItWas) {
  StreetNetwork const network = sample_road_network();
  TrafficOverlay const traffic = sample_traffic(network);
  MapPalette const palette = map_palette(zarn_ui::Theme::light());
  Rect const view{0, 0, 480, 320};
  Rect const everything{-1e9, -1e9, 1e9, 1e9};
  struct Case {
    double lat, lon, zoom;
  } const cases[] = {{48.1371, 11.5754, 14.6}, {48.1402, 11.5701, 16.3}, {48.1330, 11.5830, 13.0}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.zoom);
    MapProjection const projection = MapProjection::make(c.lat, c.lon, c.zoom, 240, 160);
    Route route;
    for (int i = 0; i < 2000; ++i) {
      double const t = i / 1999.0;
      route.geometry.push_back(
          unproject_point(projection, -300 + 1100 * t, 160 + 220 * std::sin(t * 9.0)));
    }
    auto draw = [&](Rect const& visible, bool with_route) {
      Scene scene;
      ScreenLine line;
      draw_street_network(scene, Affine::identity(), view, projection, network, palette, visible);
      draw_traffic(scene, Affine::identity(), projection, traffic, palette, visible);
      if (with_route) {
        draw_route(scene, Affine::identity(), projection, route, palette, visible, line);
      }
      return scene;
    };
    zarn_ui::OffscreenRenderer renderer(480, 320);
    auto worst_difference = [&](bool with_route) {
      Scene const culled = draw(view, with_route);
      Scene const full = draw(everything, with_route);
      EXPECT_LT(culled.commands.size(), full.commands.size());
      auto const a = renderer.render_resilient(culled, palette.land);
      auto const b = renderer.render_resilient(full, palette.land);
      EXPECT_EQ(a.size(), b.size());
      int worst = 0;
      for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        worst = std::max(worst, std::abs(int{a[i]} - int{b[i]}));
      }
      return worst;
    };
    EXPECT_EQ(worst_difference(false), 0);
    // A route cut into runs is rasterised from other trapezoids where it crosses the view's
    // edge: coverage there rounds a few levels apart; a missing piece would be off by ~200.
    EXPECT_LE(worst_difference(true), 8);
  }
}

} // namespace
} // namespace maps
