#include "geo/geo.h"
#include "geo/simplify.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "polyline_text.h"

namespace maps {
namespace {

using test::encode_values;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

TEST(GeoMercator, ProjectsKnownPointsAndClampsLatitude) {
  WorldPx const c = project_mercator(0.0, 0.0, 0.0);
  EXPECT_DOUBLE_EQ(c.x, 128.0);
  EXPECT_NEAR(c.y, 128.0, 1e-9);
  EXPECT_NEAR(project_mercator(89.0, 0.0, 0.0).y, 0.0, 1e-6);
  EXPECT_EQ(project_mercator(89.0, 10.0, 3.5), project_mercator(MAX_MERCATOR_LAT, 10.0, 3.5));
  EXPECT_NEAR(project_mercator(-89.0, 0.0, 0.0).y, 256.0, 1e-6);
  // Longitude is not wrapped.
  EXPECT_DOUBLE_EQ(project_mercator(0.0, 540.0, 0.0).x, 512.0);
  // Fractional zoom scales the world continuously.
  EXPECT_DOUBLE_EQ(project_mercator(0.0, 180.0, 1.5).x, 256.0 * std::exp2(1.5));
}

TEST(GeoMercator, UnprojectInvertsProjectInsideTheClamp) {
  struct Case {
    double lat, lon, zoom;
  } const cases[] = {
      {48.1371, 11.5754, 14.4}, {-33.87, 151.21, 0.0}, {85.0, -179.9, 18.75},
      {-85.0, 179.9, 3.0},      {0.0, 0.0, 21.0},      {64.1, -21.9, 7.3},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.lat);
    WorldPx const p = project_mercator(c.lat, c.lon, c.zoom);
    LatLon const back = unproject_mercator(p.x, p.y, c.zoom);
    EXPECT_NEAR(back.lat, c.lat, 1e-9);
    EXPECT_NEAR(back.lon, c.lon, 1e-9);
  }
}

TEST(GeoTiles, TileForStaysInsideTheGrid) {
  struct Case {
    std::uint8_t zoom;
    double lat, lon;
    TileXY tile;
  } const cases[] = {
      {0, 48.1, 11.5, {0, 0}},
      {0, -90.0, 180.0, {0, 0}},
      {2, 0.0, 180.0, {3, 2}},
      {2, 0.0, -180.0, {0, 2}},
      {2, -90.0, 0.0, {2, 3}},
      {2, 90.0, 0.0, {2, 0}},
      {14, 48.1371, 11.5754, {8718, 5685}},
      {3, NaN, NaN, {0, 0}},
      {3, 0.0, -500.0, {0, 4}},
      {3, 0.0, 900.0, {7, 4}},
      {31, 0.0, 180.0, {2147483647u, 1073741824u}},
      {40, 0.0, 180.0, {4294967295u, 4294967295u}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.zoom) << " " << c.lat << " " << c.lon);
    EXPECT_EQ(tile_for(c.zoom, c.lat, c.lon), c.tile);
  }
}

TEST(GeoDistance, GreatCircleDistances) {
  EXPECT_NEAR(haversine_m(48.0, 11.0, 49.0, 11.0), 111319.49, 0.01);
  EXPECT_EQ(haversine_m(48.1, 11.5, 48.1, 11.5), 0.0);
  EXPECT_NEAR(haversine_m(0.0, 0.0, 0.0, 180.0), EARTH_DIAMETER_M * std::acos(-1.0) / 2.0, 1e-6);
  EXPECT_TRUE(std::isnan(haversine_m(NaN, 0.0, 1.0, 1.0)));
}

TEST(GeoDistance, NearlyAntipodalPointsStayFinite) {
  // For this pair rounding makes the haversine term exceed 1 by one ulp; unclamped, asin
  // would answer NaN.
  double const d =
      haversine_m(69.915656242027666, -46.582037902777444, -69.915656325108799, 133.41796201919792);
  EXPECT_FALSE(std::isnan(d));
  EXPECT_NEAR(d, EARTH_DIAMETER_M * std::acos(-1.0) / 2.0, 1.0);
}

TEST(GeoDistance, PathLengthSumsConsecutivePairs) {
  std::vector<LatLon> const path = {{48.0, 11.0}, {49.0, 11.0}, {49.0, 11.0}, {48.0, 11.0}};
  EXPECT_NEAR(polyline_length_m(path), 2 * 111319.49, 0.02);
  EXPECT_EQ(polyline_length_m(std::vector<LatLon>{{1.0, 2.0}}), 0.0);
  EXPECT_EQ(polyline_length_m({}), 0.0);
}

TEST(GeoFit, FramesThePointsAtTheLargestFittingZoom) {
  EXPECT_FALSE(fit_view_to_points({}, 800, 600, 40).has_value());

  std::vector<LatLon> const one = {{48.1, 11.5}};
  EXPECT_EQ(fit_view_to_points(one, 800, 600, 40), (ViewFit{{48.1, 11.5}, 18.75}));

  // Munich to Augsburg on a 1000 x 800 viewport with a 40 px margin.
  std::vector<LatLon> const two = {{48.1371, 11.5754}, {48.3705, 10.8978}};
  auto const fit = fit_view_to_points(two, 1000, 800, 40);
  ASSERT_TRUE(fit.has_value());
  EXPECT_NEAR(fit->center.lat, (48.1371 + 48.3705) / 2, 1e-12);
  EXPECT_NEAR(fit->center.lon, (11.5754 + 10.8978) / 2, 1e-12);
  auto const span_px = [&](double z) {
    return project_mercator(48.1371, 11.5754, z).x - project_mercator(48.3705, 10.8978, z).x;
  };
  EXPECT_LE(span_px(fit->zoom), 920.0);
  EXPECT_GT(span_px(fit->zoom + FIT_ZOOM_STEP), 920.0);

  // Margins larger than the viewport leave 64 px each way.
  auto const tight = fit_view_to_points(two, 1000, 800, 600);
  ASSERT_TRUE(tight.has_value());
  EXPECT_LE(span_px(tight->zoom), 64.0);
  EXPECT_GT(span_px(tight->zoom + FIT_ZOOM_STEP), 64.0);

  // Nothing fits: the smallest zoom. A NaN coordinate is passed over.
  std::vector<LatLon> const world = {{-80.0, -179.0}, {80.0, 179.0}, {NaN, NaN}};
  auto const wide = fit_view_to_points(world, 300, 300, 0);
  ASSERT_TRUE(wide.has_value());
  EXPECT_EQ(wide->zoom, 3.0);
  EXPECT_EQ(wide->center, (LatLon{0.0, 0.0}));

  // Huge coordinates do not overflow the midpoint.
  double const big = std::numeric_limits<double>::max();
  std::vector<LatLon> const huge = {{big, big}, {big, big}};
  EXPECT_EQ(fit_view_to_points(huge, 300, 300, 0)->center, (LatLon{big, big}));
}

TEST(GeoSimplify, DropsPointsWithinTheTolerance) {
  // 0.0001 degree of latitude is about 11.1 m; 5 m of offset is 0.0000449 degree.
  double const off5 = 5.0 / METRES_PER_DEGREE;
  std::vector<LatLon> const line = {{48.0, 11.0}, {48.0, 11.001}, {48.0, 11.002}};
  std::vector<LatLon> const bent = {{48.0, 11.0}, {48.0 + off5, 11.001}, {48.0, 11.002}};
  struct Case {
    char const* name;
    std::vector<LatLon> const& in;
    double tolerance;
    std::size_t kept;
  } const cases[] = {
      {"collinear", line, 0.5, 2},      {"collinear, zero", line, 0.0, 3},
      {"collinear, NaN", line, NaN, 3}, {"bent, 3 m", bent, 3.0, 3},
      {"bent, 10 m", bent, 10.0, 2},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto const out = simplify_polyline(c.in, c.tolerance);
    ASSERT_EQ(out.size(), c.kept);
    EXPECT_EQ(out.front(), c.in.front());
    EXPECT_EQ(out.back(), c.in.back());
  }
  std::vector<LatLon> const two = {{1, 2}, {3, 4}};
  EXPECT_EQ(simplify_polyline(two, 5.0), two);
}

TEST(GeoSimplify, ClosedLoopMeasuresFromItsStart) {
  // First and last coincide: interior points are measured against the start point.
  double const d = 0.0001; // about 11 m north, 7.4 m east at this latitude
  std::vector<LatLon> const loop = {
      {48.0, 11.0}, {48.0 + d, 11.0}, {48.0 + d, 11.0 + d}, {48.0, 11.0 + d / 10}, {48.0, 11.0}};
  auto const out = simplify_polyline(loop, 5.0);
  // The farthest from the start is the north-east corner; the points near the start go.
  std::vector<LatLon> const want = {loop[0], loop[1], loop[2], loop[4]};
  EXPECT_EQ(out, want);
}

TEST(GeoSimplify, LongZigZagKeepsEveryCorner) {
  std::vector<LatLon> path;
  for (int i = 0; i < 5000; ++i) {
    path.push_back({48.0 + (i % 2 == 0 ? 0.0 : 0.001), 11.0 + 0.0001 * i});
  }
  EXPECT_EQ(simplify_polyline(path, 3.0).size(), path.size());
}

// Distance in metres from p to the polyline, on the plane simplify_polyline measures on.
double distance_to_line_m(LatLon p, std::vector<LatLon> const& line, LatLon origin) {
  double const c = std::cos(origin.lat * std::numbers::pi / 180.0);
  auto const x = [&](LatLon q) { return (q.lon - origin.lon) * METRES_PER_DEGREE * c; };
  auto const y = [&](LatLon q) { return (q.lat - origin.lat) * METRES_PER_DEGREE; };
  double best = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    double const ax = x(line[i]);
    double const ay = y(line[i]);
    double const dx = x(line[i + 1]) - ax;
    double const dy = y(line[i + 1]) - ay;
    double const px = x(p) - ax;
    double const py = y(p) - ay;
    double const len2 = dx * dx + dy * dy;
    double const t = len2 > 0.0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0.0;
    best = std::min(best, std::hypot(px - t * dx, py - t * dy));
  }
  return best;
}

TEST(GeoSimplify, BoundedWorkKeepsTheToleranceAndOrdinaryResults) {
  std::vector<LatLon> zigzag;
  std::vector<LatLon> wiggle; // 1 to 6 m of sideways wiggle along a straight street
  std::vector<LatLon> spiral;
  for (int i = 0; i < 1500; ++i) {
    double const t = static_cast<double>(i);
    zigzag.push_back({48.0 + (i % 2 == 0 ? 0.0 : 0.0002), 11.0 + 0.00005 * t});
    wiggle.push_back({48.0 + 0.00005 * std::sin(t * 0.7) * (1.0 + t / 1500.0), 11.0 + 0.00002 * t});
    spiral.push_back({48.0 + 1e-6 * t * std::sin(t * 0.05), 11.0 + 1e-6 * t * std::cos(t * 0.05)});
  }
  constexpr auto unbounded = std::numeric_limits<std::uint64_t>::max();
  struct Case {
    char const* name;
    std::vector<LatLon> const& in;
    std::uint64_t budget;
  } const cases[] = {
      {"zigzag, no budget", zigzag, 0},       {"zigzag, small budget", zigzag, 10000},
      {"wiggle, no budget", wiggle, 0},       {"wiggle, small budget", wiggle, 5000},
      {"spiral, small budget", spiral, 5000}, {"spiral, unbounded", spiral, unbounded},
  };
  double const tolerance = 3.0;
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto const out = simplify_polyline(c.in, tolerance, c.budget);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out.front(), c.in.front());
    EXPECT_EQ(out.back(), c.in.back());
    // Only input points, in their order.
    std::size_t next = 0;
    for (auto const& p : out) {
      while (next < c.in.size() && !(c.in[next] == p)) {
        ++next;
      }
      ASSERT_LT(next, c.in.size());
      ++next;
    }
    double worst = 0.0;
    for (auto const& p : c.in) {
      worst = std::max(worst, distance_to_line_m(p, out, c.in.front()));
    }
    EXPECT_LE(worst, tolerance + 1e-9);
  }
  // The zigzag's corners are all farther apart than the tolerance: every one stays, however the
  // work ends.
  EXPECT_EQ(simplify_polyline(zigzag, tolerance, 0).size(), zigzag.size());
  // Lines that fit the default budget come out as the unbounded split gives them.
  EXPECT_EQ(simplify_polyline(wiggle, tolerance), simplify_polyline(wiggle, tolerance, unbounded));
  EXPECT_EQ(simplify_polyline(spiral, tolerance), simplify_polyline(spiral, tolerance, unbounded));
}

TEST(GeoSimplify, AtTheMostPointsEveryKthKeptPointStays) {
  // Corners 22 m apart: every one is kept, so the cap decides.
  std::vector<LatLon> zigzag;
  for (int i = 0; i < 1500; ++i) {
    zigzag.push_back({48.0 + (i % 2 == 0 ? 0.0 : 0.0002), 11.0 + 0.00005 * i});
  }
  struct Case {
    std::size_t max_points;
    std::size_t step; // the smallest that fits: ceil(1499 / (max_points - 1))
  } const cases[] = {{1500, 1}, {1499, 2}, {750, 3}, {100, 16}, {2, 1499}, {0, 1499}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.max_points);
    std::uint64_t work = SIMPLIFY_WORK_BUDGET;
    auto const out = simplify_line(PointList{zigzag}, 3.0, work, c.max_points);
    ASSERT_GE(out.size(), 2u);
    EXPECT_LE(out.size(), std::max<std::size_t>(c.max_points, 2));
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
      ASSERT_EQ(out[i], zigzag[i * c.step]) << i;
    }
    EXPECT_EQ(out.back(), zigzag.back());
  }
}

TEST(GeoPolyline, DecodesTheWorkedExample) {
  std::string const encoded = "_p~iF~ps|U_ulLnnqC_mqNvxq`@";
  auto const pts = decode_polyline(encoded, 5);
  ASSERT_EQ(pts.size(), 3u);
  EXPECT_NEAR(pts[0].lat, 38.5, 1e-9);
  EXPECT_NEAR(pts[0].lon, -120.2, 1e-9);
  EXPECT_NEAR(pts[1].lat, 40.7, 1e-9);
  EXPECT_NEAR(pts[1].lon, -120.95, 1e-9);
  EXPECT_NEAR(pts[2].lat, 43.252, 1e-9);
  EXPECT_NEAR(pts[2].lon, -126.453, 1e-9);

  EXPECT_EQ(decode_polyline(encoded.substr(0, encoded.size() - 1), 5).size(), 2u);
  auto const six = decode_polyline(encoded, 6);
  EXPECT_NEAR(six[0].lat, 3.85, 1e-9);
  EXPECT_TRUE(decode_polyline("", 5).empty());
}

TEST(GeoPolyline, StopsAtMalformedValuesAndKeepsEarlierPoints) {
  std::string const first = encode_values({3850000, -12020000});
  struct Case {
    char const* name;
    std::string encoded;
    std::size_t points;
  } const cases[] = {
      {"half a pair", first + encode_values({100}), 1},
      {"a run of continuation bytes", first + std::string(40, '~') + "?", 1},
      {"a value of 65 bits", first + std::string(12, '~') + "^" + "??", 1},
      {"the largest values", encode_values({INT64_MAX, INT64_MIN}), 1},
      {"latitude sum past the range", encode_values({INT64_MAX, 0, 1, 0, 5, 5}), 1},
      {"longitude sum past the range", encode_values({0, INT64_MIN, 0, -1}), 1},
      {"bytes below the alphabet end a value", first + "\x01\x01", 2},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto const pts = decode_polyline(c.encoded, 5);
    EXPECT_EQ(pts.size(), c.points);
  }
}

TEST(GeoPolyline, ReadsOneValueAndAdvances) {
  std::string const bytes = encode_values({-17998321, 0, INT64_MAX});
  std::size_t pos = 0;
  EXPECT_EQ(read_polyline_value(bytes, pos), -17998321);
  EXPECT_EQ(read_polyline_value(bytes, pos), 0);
  EXPECT_EQ(read_polyline_value(bytes, pos), INT64_MAX);
  EXPECT_EQ(pos, bytes.size());
  EXPECT_EQ(read_polyline_value(bytes, pos), std::nullopt);
}

} // namespace
} // namespace maps
