#include "sample/street_network.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

namespace maps {
namespace {

// FNV-1a over the exact bytes of the data, so that a change in any bit shows.
struct Fnv {
  std::uint64_t v = 0xcbf29ce484222325ULL;
  void byte(std::uint8_t b) { v = (v ^ b) * 0x100000001b3ULL; }
  void f64(double d) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    for (int i = 0; i < 8; ++i) {
      byte(static_cast<std::uint8_t>(bits >> (8 * i)));
    }
  }
  void point(LatLon const& p) {
    f64(p.lat);
    f64(p.lon);
  }
};

std::uint64_t digest_river_and_areas(StreetNetwork const& net) {
  Fnv h;
  for (auto const& p : net.river) {
    h.point(p);
  }
  for (auto const& a : net.areas) {
    h.byte(a.kind);
    for (auto const& p : a.outline) {
      h.point(p);
    }
  }
  return h.v;
}

std::uint64_t digest_roads(StreetNetwork const& net) {
  Fnv h;
  for (auto const& r : net.roads) {
    h.byte(r.road_class);
    for (auto const& p : r.points) {
      h.point(p);
    }
  }
  return h.v;
}

std::uint64_t digest_traffic(TrafficOverlay const& t) {
  Fnv h;
  for (auto const& s : t.segments) {
    h.byte(s.level);
    for (auto const& p : s.points) {
      h.point(p);
    }
  }
  return h.v;
}

TEST(SampleRandom, FirstDrawIsTheStatedValue) {
  std::uint64_t state = SAMPLE_SEED;
  EXPECT_EQ(next_unit(state), 0.8424142507556518);
  EXPECT_EQ(state, SAMPLE_SEED * 6364136223846793005ULL + 1442695040888963407ULL);
}

TEST(SampleRandom, DrawsStayInTheUnitInterval) {
  std::uint64_t state = SAMPLE_SEED;
  for (int i = 0; i < 10000; ++i) {
    double const u = next_unit(state);
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
  }
}

TEST(JitteredRing, AdvancesTheStateOncePerPointAndScalesRadii) {
  std::uint64_t state = SAMPLE_SEED;
  auto const ring = jittered_ring(state, 4, 48.0, 11.0, 2.0, 1.0);
  ASSERT_EQ(ring.size(), 4u);

  std::uint64_t expected_state = SAMPLE_SEED;
  double u[4];
  for (double& x : u) {
    x = next_unit(expected_state);
  }
  EXPECT_EQ(state, expected_state);

  // Angle 0 lies due east of the centre; the first factor comes from the first draw.
  double const f0 = 0.78 + u[0] * 0.3999999999999999;
  EXPECT_EQ(ring[0].lat, 48.0);
  EXPECT_EQ(ring[0].lon, 11.0 + (2.0 * f0) * 0.0036);
  // A quarter turn later the point lies north, by the row radius.
  double const f1 = 0.78 + u[1] * 0.3999999999999999;
  EXPECT_NEAR(ring[1].lat, 48.0 + f1 * 0.0024, 1e-15);
  EXPECT_NEAR(ring[1].lon, 11.0, 1e-15);
  for (double const x : u) {
    double const f = 0.78 + x * 0.3999999999999999;
    EXPECT_GE(f, 0.78);
    EXPECT_LT(f, 1.18);
  }
}

TEST(JitteredRing, ZeroPointsDrawNothing) {
  std::uint64_t state = SAMPLE_SEED;
  EXPECT_TRUE(jittered_ring(state, 0, 48.0, 11.0, 1.0, 1.0).empty());
  EXPECT_EQ(state, SAMPLE_SEED);
}

class SampleNetwork : public ::testing::Test {
protected:
  // Built once for the suite; the tests only read it.
  static StreetNetwork const& net() {
    static StreetNetwork const network = sample_road_network();
    return network;
  }
};

TEST_F(SampleNetwork, HasTheStatedShape) {
  EXPECT_FALSE(net().empty());
  EXPECT_EQ(net().river.size(), 27u);
  ASSERT_EQ(net().roads.size(), 64u);
  std::size_t points = 0;
  for (auto const& r : net().roads) {
    points += r.points.size();
  }
  EXPECT_EQ(points, 1879u);

  // 33 north-south and 27 east-west streets of class 2, then the four main roads.
  for (std::size_t i = 0; i < 60; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(net().roads[i].road_class, 2);
    EXPECT_EQ(net().roads[i].points.size(), i < 33 ? 27u : 33u);
  }
  EXPECT_EQ(net().roads[60].road_class, 0);
  EXPECT_EQ(net().roads[60].points.size(), 33u);
  EXPECT_EQ(net().roads[61].road_class, 0);
  EXPECT_EQ(net().roads[61].points.size(), 27u);
  EXPECT_EQ(net().roads[62].road_class, 1);
  EXPECT_EQ(net().roads[62].points.size(), 27u);
  auto const& ring_road = net().roads[63];
  EXPECT_EQ(ring_road.road_class, 1);
  ASSERT_EQ(ring_road.points.size(), 10u);
  EXPECT_EQ(ring_road.points.front(), ring_road.points.back());
  EXPECT_EQ(ring_road.points.front(), grid_point(-8, -10));
}

TEST_F(SampleNetwork, AreasAreFourRingsThenBlocks) {
  struct Ring {
    std::uint8_t kind;
    std::size_t points;
  } const rings[] = {{AREA_GREEN, 10}, {AREA_GREEN, 9}, {AREA_GREEN, 8}, {AREA_WATER, 9}};
  // 447 blocks, as an independent re-computation of the same rules finds.
  ASSERT_EQ(net().areas.size(), 4u + 447u);
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(net().areas[i].kind, rings[i].kind);
    EXPECT_EQ(net().areas[i].outline.size(), rings[i].points);
  }
  // The first ring's first point is due east of its centre, scaled by the sequence's first draw.
  LatLon const centre = grid_point(5.5, 1.5);
  EXPECT_EQ(net().areas[0].outline[0].lat, centre.lat);
  EXPECT_EQ(net().areas[0].outline[0].lon,
            centre.lon + (2.4 * (0.78 + 0.8424142507556518 * 0.3999999999999999)) * 0.0036);

  for (std::size_t i = 4; i < net().areas.size(); ++i) {
    SCOPED_TRACE(i);
    auto const& a = net().areas[i];
    EXPECT_EQ(a.kind, AREA_BUILT_UP);
    ASSERT_EQ(a.outline.size(), 4u);
    // South-west, south-east, north-east, north-west: an axis-aligned box whose sides are
    // between 1 − 2 × 0.3 and 1 − 2 × 0.16 grid units long.
    LatLon const sw = a.outline[0], se = a.outline[1], ne = a.outline[2], nw = a.outline[3];
    EXPECT_EQ(sw.lat, se.lat);
    EXPECT_EQ(ne.lat, nw.lat);
    EXPECT_EQ(sw.lon, nw.lon);
    EXPECT_EQ(se.lon, ne.lon);
    double const width = (se.lon - sw.lon) / DEMO_GRID_COL_DEG;
    double const height = (nw.lat - sw.lat) / DEMO_GRID_ROW_DEG;
    EXPECT_GT(width, 0.4 - 1e-9);
    EXPECT_LT(width, 0.68 + 1e-9);
    EXPECT_GT(height, 0.4 - 1e-9);
    EXPECT_LT(height, 0.68 + 1e-9);
  }
}

TEST_F(SampleNetwork, BlocksKeepOutOfTheClearingsAndTheRiver) {
  for (std::size_t i = 4; i < net().areas.size(); ++i) {
    auto const& o = net().areas[i].outline;
    // The block's middle is its cell's centre shifted by at most 0.05 either way.
    double const cx = ((o[0].lon + o[1].lon) / 2 - DEMO_GRID_LON) / DEMO_GRID_COL_DEG;
    double const cy = ((o[0].lat + o[2].lat) / 2 - DEMO_GRID_LAT) / DEMO_GRID_ROW_DEG;
    double const cell_x = std::floor(cx) + 0.5;
    double const cell_y = std::floor(cy) + 0.5;
    SCOPED_TRACE(testing::Message() << "cell " << cell_x << ", " << cell_y);
    EXPECT_GE(std::hypot(cell_x - 1.5, cell_y - 5.5), 2.6);
    EXPECT_GE(std::hypot(cell_x + 6.0, cell_y + 3.5), 1.8);
    EXPECT_GE(std::hypot(cell_x - 5.5, cell_y + 6.5), 1.5);
    EXPECT_GE(std::abs(cell_x - (1.4 * std::sin(0.55 * cell_y) + 8.5)), 1.1);
  }
}

TEST_F(SampleNetwork, RiverFollowsItsCurve) {
  for (std::size_t i = 0; i < net().river.size(); ++i) {
    double const r = static_cast<double>(i) - 13.0;
    SCOPED_TRACE(r);
    EXPECT_EQ(net().river[i],
              grid_point(r, (1.4 * std::sin(0.55 * r) + 0.6 * std::cos(0.21 * r)) + 8.5));
  }
}

TEST_F(SampleNetwork, GridStreetsWobbleAtMostFourHundredths) {
  for (std::size_t i = 0; i < 33; ++i) {
    double const c = static_cast<double>(i) - 16.0;
    for (auto const& p : net().roads[i].points) {
      double const col = (p.lon - DEMO_GRID_LON) / DEMO_GRID_COL_DEG;
      EXPECT_LE(std::abs(col - c), 0.04 + 1e-9);
    }
  }
}

// Fingerprints of every bit of the network and overlay, matched against a separate
// re-implementation of the same generator: any change of order, constant or rounding shows.
TEST_F(SampleNetwork, IsBitForBitTheReferenceData) {
  EXPECT_EQ(digest_river_and_areas(net()), 0x31211cdb3e08560fULL);
  EXPECT_EQ(digest_roads(net()), 0xd627dfd00c346a4bULL);
  EXPECT_EQ(digest_traffic(sample_traffic(net())), 0x0417dd2aada4f911ULL);
}

TEST_F(SampleNetwork, IsTheSameOnEveryRun) {
  StreetNetwork const again = sample_road_network();
  EXPECT_EQ(digest_river_and_areas(again), digest_river_and_areas(net()));
  EXPECT_EQ(digest_roads(again), digest_roads(net()));
  EXPECT_EQ(again, net());
  EXPECT_EQ(sample_traffic(again), sample_traffic(net()));
}

TEST_F(SampleNetwork, TrafficHasOneSegmentPerRoadStep) {
  TrafficOverlay const t = sample_traffic(net());
  EXPECT_EQ(t.source, std::optional<std::string>("sample data"));
  ASSERT_EQ(t.segments.size(), 1815u);
  std::size_t k = 0;
  std::array<std::size_t, 4> per_level{};
  for (auto const& road : net().roads) {
    for (std::size_t i = 0; i + 1 < road.points.size(); ++i, ++k) {
      auto const& s = t.segments[k];
      ASSERT_EQ(s.points.size(), 2u);
      EXPECT_EQ(s.points[0], road.points[i]);
      EXPECT_EQ(s.points[1], road.points[i + 1]);
      ASSERT_LE(s.level, 3);
      ++per_level[s.level];
      if (road.road_class == 2) {
        EXPECT_NE(s.level, 3);
      } else {
        EXPECT_NE(s.level, 0);
      }
    }
  }
  EXPECT_EQ(per_level, (std::array<std::size_t, 4>{1137, 464, 185, 29}));
}

Road road_of(std::uint8_t road_class, std::vector<LatLon> points) {
  return Road{std::move(points), road_class};
}

TEST(SampleTraffic, LevelsFollowTheClassThresholds) {
  // A road of 100 points at (0, 0) hashes only its length and the per-segment step, so segment
  // k gets w = (101 k + 100) mod 100 = k: every residue from 0 to 98 once.
  std::vector<LatLon> const origin_points(100, LatLon{0.0, 0.0});
  struct Case {
    std::uint8_t road_class;
    std::uint8_t first_level_at[4]; // lowest w of levels 0..3; 255: never
  } const cases[] = {
      {0, {255, 0, 20, 60}},
      {1, {255, 0, 35, 80}},
      {2, {0, 66, 92, 255}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.road_class));
    TrafficOverlay const t =
        sample_traffic(StreetNetwork{{}, {road_of(c.road_class, origin_points)}, {}});
    ASSERT_EQ(t.segments.size(), 99u);
    for (std::size_t w = 0; w < 99; ++w) {
      std::uint8_t expected = 0;
      for (std::uint8_t level = 0; level < 4; ++level) {
        if (c.first_level_at[level] != 255 && w >= c.first_level_at[level]) {
          expected = level;
        }
      }
      EXPECT_EQ(t.segments[w].level, expected) << "w = " << w;
    }
  }
}

TEST(SampleTraffic, HashesMilliDegreesOfTheFirstPoint) {
  double const nan = std::numeric_limits<double>::quiet_NaN();
  double const inf = std::numeric_limits<double>::infinity();
  struct Case {
    char const* what;
    LatLon first;
    std::uint8_t road_class;
    std::uint8_t level;
  } const cases[] = {
      // a = 48137, b = 11575: t = 48137 × 73 + 11575 × 19 + 2 = 3733928, w = 28.
      {"centre, minor", {48.1371, 11.5754}, 2, 0},
      {"centre, major", {48.1371, 11.5754}, 1, 1},
      {"centre, highway", {48.1371, 11.5754}, 0, 2},
      {"negative hashes by absolute value", {-48.1371, -11.5754}, 0, 2},
      // a = 48999, b = 0: t = 3576927 + 2, w = 29 -> class 0 level 2; truncation, not rounding.
      {"fraction truncated", {48.9999, 0.0009}, 0, 2},
      // a = 0, b = 2^64 − 1 (saturated): t = −19 + 2 mod 2^64, w = 99.
      {"NaN and infinity", {nan, inf}, 2, 2},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    TrafficOverlay const t =
        sample_traffic(StreetNetwork{{}, {road_of(c.road_class, {c.first, {48.0, 11.0}})}, {}});
    ASSERT_EQ(t.segments.size(), 1u);
    EXPECT_EQ(t.segments[0].level, c.level);
    EXPECT_EQ(t.segments[0].points[1], (LatLon{48.0, 11.0}));
  }
}

TEST(SampleTraffic, ConsecutiveSegmentsStepTheHashByOne) {
  // Eight equal points at the centre: t = 3733926 + 8, so w = 34 (class 1: level 1), then 35
  // (level 2) for the second segment.
  std::vector<LatLon> const pts(8, LatLon{48.1371, 11.5754});
  TrafficOverlay const t = sample_traffic(StreetNetwork{{}, {road_of(1, pts)}, {}});
  ASSERT_EQ(t.segments.size(), 7u);
  EXPECT_EQ(t.segments[0].level, 1);
  EXPECT_EQ(t.segments[1].level, 2);

  // 19 points at (0, 0): w = 19 (class 0: level 1), then 20 (level 2).
  std::vector<LatLon> const zeros(19, LatLon{0.0, 0.0});
  TrafficOverlay const z = sample_traffic(StreetNetwork{{}, {road_of(0, zeros)}, {}});
  ASSERT_EQ(z.segments.size(), 18u);
  EXPECT_EQ(z.segments[0].level, 1);
  EXPECT_EQ(z.segments[1].level, 2);
}

TEST(SampleTraffic, SkipsShortRoadsAndClassThree) {
  LatLon const a{48.1, 11.5}, b{48.2, 11.6};
  StreetNetwork const net{
      {},
      {road_of(2, {a}), road_of(3, {a, b}), road_of(2, {}), road_of(7, {a, b}), road_of(1, {b, a})},
      {}};
  TrafficOverlay const t = sample_traffic(net);
  ASSERT_EQ(t.segments.size(), 1u);
  EXPECT_EQ(t.segments[0].points, (std::vector<LatLon>{b, a}));
}

TEST(SampleTraffic, EmptyNetworkGivesNoSegmentsButTheSource) {
  StreetNetwork const empty;
  EXPECT_TRUE(empty.empty());
  TrafficOverlay const t = sample_traffic(empty);
  EXPECT_TRUE(t.segments.empty());
  EXPECT_EQ(t.source, std::optional<std::string>("sample data"));
  EXPECT_EQ(TrafficOverlay{}.source, std::nullopt);
}

} // namespace
} // namespace maps
