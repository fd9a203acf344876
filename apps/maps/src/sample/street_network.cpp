#include "sample/street_network.h"

#include <cmath>
#include <numbers>

#include "base/saturate.h"

namespace maps {

namespace {

// The grid's extent: columns −16..16 and rows −13..13 around the centre.
constexpr int MIN_COLUMN = -16;
constexpr int MAX_COLUMN = 16;
constexpr int MIN_ROW = -13;
constexpr int MAX_ROW = 13;

struct Ring {
  double row;
  double column;
  double column_radius;
  double row_radius;
  std::size_t points;
  std::uint8_t kind;
};

// Two parks, a small green by the river and a pond; the built-up blocks keep clear of the
// circles below, which cover roughly the same ground.
constexpr Ring RINGS[] = {
    {5.5, 1.5, 2.4, 2.0, 10, AREA_GREEN},
    {-3.5, -6.0, 1.6, 1.4, 9, AREA_GREEN},
    {-6.5, 5.5, 1.3, 1.1, 8, AREA_GREEN},
    {6.2, 1.8, 0.7, 0.5, 9, AREA_WATER},
};

struct Clearing {
  double column;
  double row;
  double radius;
};

constexpr Clearing CLEARINGS[] = {
    {1.5, 5.5, 2.6},
    {-6.0, -3.5, 1.8},
    {5.5, -6.5, 1.5},
};

// The river's column at a row. Blocks test their distance to the sine term only.
double river_column(double row) {
  return (1.4 * std::sin(0.55 * row) + 0.6 * std::cos(0.21 * row)) + 8.5;
}

bool inside_clearing(double cx, double cy) {
  for (auto const& c : CLEARINGS) {
    double const dx = cx - c.column;
    double const dy = cy - c.row;
    if (std::sqrt(dx * dx + dy * dy) < c.radius) {
      return true;
    }
  }
  return false;
}

bool near_river(double cx, double cy) {
  return std::abs(cx - (1.4 * std::sin(0.55 * cy) + 8.5)) < 1.1;
}

void add_blocks(std::uint64_t& state, std::vector<StreetArea>& areas) {
  for (int c = MIN_COLUMN; c < MAX_COLUMN; ++c) {
    for (int r = MIN_ROW; r < MAX_ROW; ++r) {
      double const col = c;
      double const row = r;
      double const cx = col + 0.5;
      double const cy = row + 0.5;
      if (inside_clearing(cx, cy) || near_river(cx, cy)) {
        continue;
      }
      if (next_unit(state) > 0.62) {
        continue;
      }
      double const u2 = next_unit(state);
      double const u3 = next_unit(state);
      double const u4 = next_unit(state);
      double const m = 0.16 + u2 * (0.3 - 0.16);
      double const dc = -0.05 + u3 * 0.1;
      double const dr = -0.05 + u4 * 0.1;
      double const west = col + m + dc;
      double const east = col + 1.0 - m + dc;
      double const south = row + m + dr;
      double const north = row + 1.0 - m + dr;
      areas.push_back(StreetArea{{grid_point(south, west), grid_point(south, east),
                                  grid_point(north, east), grid_point(north, west)},
                                 AREA_BUILT_UP});
    }
  }
}

void add_grid_streets(std::uint64_t& state, std::vector<Road>& roads) {
  for (int c = MIN_COLUMN; c <= MAX_COLUMN; ++c) {
    Road road{{}, 2};
    road.points.reserve(MAX_ROW - MIN_ROW + 1);
    for (int r = MIN_ROW; r <= MAX_ROW; ++r) {
      double const shift = -0.04 + next_unit(state) * 0.08;
      road.points.push_back(grid_point(r, c + shift));
    }
    roads.push_back(std::move(road));
  }
  for (int r = MIN_ROW; r <= MAX_ROW; ++r) {
    Road road{{}, 2};
    road.points.reserve(MAX_COLUMN - MIN_COLUMN + 1);
    for (int c = MIN_COLUMN; c <= MAX_COLUMN; ++c) {
      double const shift = -0.04 + next_unit(state) * 0.08;
      road.points.push_back(grid_point(r + shift, c));
    }
    roads.push_back(std::move(road));
  }
}

void add_main_roads(std::vector<Road>& roads) {
  Road east_west{{}, 0};
  for (int c = MIN_COLUMN; c <= MAX_COLUMN; ++c) {
    east_west.points.push_back(grid_point(0, c));
  }
  Road north_south{{}, 0};
  for (int r = MIN_ROW; r <= MAX_ROW; ++r) {
    north_south.points.push_back(grid_point(r, 0));
  }
  Road diagonal{{}, 1};
  for (int r = MIN_ROW; r <= MAX_ROW; ++r) {
    double const row = r;
    diagonal.points.push_back(grid_point(row, 0.8 * row - 3.0));
  }
  // (row, column); a closed loop, so the first point comes again at the end.
  constexpr double RING_ROAD[][2] = {{-8, -10}, {-10, -2}, {-9, 6},  {-3, 11},  {6, 11},
                                     {10, 4},   {10, -5},  {4, -11}, {-3, -11}, {-8, -10}};
  Road ring{{}, 1};
  for (auto const& p : RING_ROAD) {
    ring.points.push_back(grid_point(p[0], p[1]));
  }
  roads.push_back(std::move(east_west));
  roads.push_back(std::move(north_south));
  roads.push_back(std::move(diagonal));
  roads.push_back(std::move(ring));
}

// Level by class from the hash residue w in 0..99; classes 0 and 1 are never free flowing and
// minor streets never stand still, so the overlay reads as a busy but moving centre.
std::uint8_t traffic_level(std::uint8_t road_class, std::uint64_t w) {
  switch (road_class) {
  case 0:
    return w < 20 ? 1 : (w < 60 ? 2 : 3);
  case 1:
    return w < 35 ? 1 : (w < 80 ? 2 : 3);
  default:
    return w < 66 ? 0 : (w < 92 ? 1 : 2);
  }
}

std::uint64_t milli_degrees(double degrees) {
  return base::saturating_cast<std::uint64_t>(std::floor(std::abs(degrees) * 1000.0));
}

} // namespace

std::vector<LatLon> jittered_ring(std::uint64_t& state, std::size_t n, double centre_lat,
                                  double centre_lon, double column_radius, double row_radius) {
  std::vector<LatLon> outline;
  outline.reserve(n);
  double const count = static_cast<double>(n);
  for (std::size_t i = 0; i < n; ++i) {
    double const u = next_unit(state);
    double const f = 0.78 + u * (1.18 - 0.78);
    double const a = (static_cast<double>(i) / count) * (2.0 * std::numbers::pi);
    outline.push_back(LatLon{centre_lat + ((row_radius * std::sin(a)) * f) * DEMO_GRID_ROW_DEG,
                             centre_lon + ((column_radius * std::cos(a)) * f) * DEMO_GRID_COL_DEG});
  }
  return outline;
}

StreetNetwork sample_road_network() {
  StreetNetwork net;
  std::uint64_t state = SAMPLE_SEED;

  net.river.reserve(MAX_ROW - MIN_ROW + 1);
  for (int r = MIN_ROW; r <= MAX_ROW; ++r) {
    double const row = r;
    net.river.push_back(grid_point(row, river_column(row)));
  }

  // The draws are shared, so rings, blocks and streets must be built in this order.
  for (auto const& ring : RINGS) {
    LatLon const centre = grid_point(ring.row, ring.column);
    net.areas.push_back(StreetArea{jittered_ring(state, ring.points, centre.lat, centre.lon,
                                                 ring.column_radius, ring.row_radius),
                                   ring.kind});
  }
  add_blocks(state, net.areas);
  add_grid_streets(state, net.roads);
  add_main_roads(net.roads);
  return net;
}

TrafficOverlay sample_traffic(StreetNetwork const& network) {
  TrafficOverlay overlay;
  overlay.source = SAMPLE_TRAFFIC_SOURCE;
  std::size_t count = 0;
  for (auto const& road : network.roads) {
    count += road.points.empty() ? 0 : road.points.size() - 1;
  }
  overlay.segments.reserve(count);
  for (auto const& road : network.roads) {
    // Class 3 is never coloured; anything above 3 is not a class at all.
    if (road.road_class >= 3 || road.points.size() < 2) {
      continue;
    }
    std::uint64_t const n = road.points.size();
    std::uint64_t f = 0;
    for (std::size_t k = 0; k + 1 < road.points.size(); ++k) {
      LatLon const& p = road.points[k];
      std::uint64_t const t = f + milli_degrees(p.lat) * 73 + milli_degrees(p.lon) * 19 + n;
      overlay.segments.push_back(
          TrafficSegment{{p, road.points[k + 1]}, traffic_level(road.road_class, t % 100)});
      f += 101;
    }
  }
  return overlay;
}

} // namespace maps
