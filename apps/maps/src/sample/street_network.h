#pragma once
// The generated street network of the demo city centre (areas, roads, one river) and the traffic
// overlay synthesised from its roads. Both are pure and deterministic: the network comes from a
// fixed linear congruential sequence, the traffic from a hash of positions and road classes, so
// every demo start and every screenshot sees the same data. Drawing them is not done here.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/types.h"

namespace maps {

/// Area kinds of `StreetArea::kind`.
inline constexpr std::uint8_t AREA_WATER = 0;
inline constexpr std::uint8_t AREA_GREEN = 1;
inline constexpr std::uint8_t AREA_BUILT_UP = 2;

struct StreetArea {
  std::vector<LatLon> outline; // closed; the last point is not repeated
  std::uint8_t kind = AREA_BUILT_UP;
  bool operator==(StreetArea const&) const = default;
};

struct Road {
  std::vector<LatLon> points;  // in drawing order
  std::uint8_t road_class = 2; // 0 the largest .. 3; named `class` in the data model
  bool operator==(Road const&) const = default;
};

struct StreetNetwork {
  std::vector<StreetArea> areas;
  std::vector<Road> roads;
  std::vector<LatLon> river; // one open line
  bool empty() const { return areas.empty() && roads.empty() && river.empty(); }
  bool operator==(StreetNetwork const&) const = default;
};

struct TrafficSegment {
  std::vector<LatLon> points; // always two from the synthesis
  std::uint8_t level = 0;     // 0 free flowing .. 3 standstill
  bool operator==(TrafficSegment const&) const = default;
};

struct TrafficOverlay {
  std::vector<TrafficSegment> segments;
  std::optional<std::string> source;
  /// Grows whenever the overlay is replaced or changed, so pictures made from older data are
  /// told apart; whoever writes the segments moves it on.
  std::uint64_t version = 0;
  bool operator==(TrafficOverlay const&) const = default;
};

/// The demo grid around the default map centre: row r lies 0.0024° north of row r − 1, column c
/// 0.0036° east of column c − 1; fractional rows and columns are allowed.
inline constexpr double DEMO_GRID_LAT = 48.1371;
inline constexpr double DEMO_GRID_LON = 11.5754;
inline constexpr double DEMO_GRID_ROW_DEG = 0.0024;
inline constexpr double DEMO_GRID_COL_DEG = 0.0036;

/// The grid point at (row, column), computed in exactly this form so that every user of the
/// grid gets the same bits.
inline LatLon grid_point(double row, double column) {
  return LatLon{DEMO_GRID_LAT + DEMO_GRID_ROW_DEG * row,
                DEMO_GRID_LON + DEMO_GRID_COL_DEG * column};
}

/// The shared pseudo-random sequence: a 64-bit linear congruential generator (Knuth's MMIX
/// constants). Each draw advances the state and yields the new state's top 53 bits as a double
/// in [0, 1). Written out here because std:: distributions differ between library versions.
inline constexpr std::uint64_t SAMPLE_SEED = 0x51ed2026c0ffee01ULL;
inline constexpr std::uint64_t SAMPLE_LCG_MULTIPLIER = 0x5851f42d4c957f2dULL;
inline constexpr std::uint64_t SAMPLE_LCG_INCREMENT = 0x14057b7ef767814fULL;

inline double next_unit(std::uint64_t& state) {
  state = state * SAMPLE_LCG_MULTIPLIER + SAMPLE_LCG_INCREMENT; // unsigned: wraps mod 2^64
  return static_cast<double>(state >> 11) * 0x1.0p-53;
}

/// One closed outline of `n` points around a centre, each radius scaled by a random factor in
/// [0.78, 1.18); radii are in grid units. Advances `state` exactly `n` times.
std::vector<LatLon> jittered_ring(std::uint64_t& state, std::size_t n, double centre_lat,
                                  double centre_lon, double column_radius, double row_radius);

/// The demo street network: 4 rings (3 green, 1 water) then the built-up blocks in `areas`,
/// 60 grid streets (class 2) and 4 main roads (classes 0 and 1) in `roads`, a 27-point river.
StreetNetwork sample_road_network();

/// The traffic overlay for a network: one two-point segment per consecutive pair of road points,
/// for every road of class 0 to 2; source "sample data" (also for an empty network).
TrafficOverlay sample_traffic(StreetNetwork const& network);

inline constexpr char const* SAMPLE_TRAFFIC_SOURCE = "sample data";

} // namespace maps
