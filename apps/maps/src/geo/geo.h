#pragma once
// Map geometry on 64-bit floats: the spherical Web Mercator projection at fractional zoom,
// the tile holding a position, great-circle distance and path length, the camera fit that
// frames a set of points, encoded-polyline decoding and Douglas-Peucker simplification in
// local metres. Pure functions; positions are LatLon in degrees, latitude first.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "model/types.h"

namespace maps {

/// Pixels per tile side; the world is TILE_SIZE * 2^zoom pixels wide and high.
inline constexpr std::uint32_t TILE_SIZE = 256;
/// Latitudes are clamped to +- this before projecting (the square Web Mercator world).
inline constexpr double MAX_MERCATOR_LAT = 85.05112878;
/// Twice the WGS 84 equatorial radius, in metres.
inline constexpr double EARTH_DIAMETER_M = 12756274.0;
/// Metres per degree of latitude on that sphere (radius * pi / 180).
inline constexpr double METRES_PER_DEGREE = 111319.49079327358;
inline constexpr double FIT_MIN_ZOOM = 3.0;
inline constexpr double FIT_ZOOM_STEP = 0.25;
inline constexpr int FIT_ZOOM_STEPS = 64; // 3.0 to 18.75
/// Smallest usable width or height, in pixels, left after the margins of a fit.
inline constexpr double FIT_MIN_EXTENT = 64.0;
/// A segment whose squared length is at most this counts as a point (machine epsilon).
inline constexpr double DEGENERATE_SEGMENT_EPSILON = 2.220446049250313e-16;
/// Decimal digits of an encoded polyline when the source does not say.
inline constexpr unsigned DEFAULT_POLYLINE_PRECISION = 5;

/// World pixel coordinates: x grows eastward, y southward; (0, 0) is longitude -180 at the
/// northern clamp latitude.
struct WorldPx {
  double x = 0.0;
  double y = 0.0;
  bool operator==(WorldPx const&) const = default;
};

struct TileXY {
  std::uint32_t x = 0;
  std::uint32_t y = 0;
  bool operator==(TileXY const&) const = default;
};

struct ViewFit {
  LatLon center;
  double zoom = FIT_MIN_ZOOM;
  bool operator==(ViewFit const&) const = default;
};

/// A position on the globe: finite, latitude in -90 .. 90 and longitude in -180 .. 180.
/// Positions from services are checked with it and never wrapped.
/// (Inline: it runs for every position of an answer.)
inline bool is_valid_position(LatLon p) {
  // The comparisons are false for NaN.
  return p.lat >= -90.0 && p.lat <= 90.0 && p.lon >= -180.0 && p.lon <= 180.0;
}

/// TILE_SIZE * 2^zoom; zoom may be fractional.
double world_size_px(double zoom);

/// Latitude is clamped to +-MAX_MERCATOR_LAT; longitude is neither wrapped nor clamped.
WorldPx project_mercator(double lat, double lon, double zoom);
LatLon unproject_mercator(double x, double y, double zoom);

/// The tile holding a position at an integer zoom; both indices lie in 0 .. 2^zoom - 1
/// (meaningful for zoom <= 31; larger zooms cap at the 32-bit range). NaN gives 0.
TileXY tile_for(std::uint8_t zoom, double lat, double lon);

/// Great-circle distance in metres on the sphere of EARTH_DIAMETER_M.
double haversine_m(double lat1, double lon1, double lat2, double lon2);

/// Sum of the great-circle distances between consecutive points; 0 below two points.
double polyline_length_m(std::span<LatLon const> points);

/// The centre of the points' bounding box and the largest zoom of 3.0, 3.25 .. 18.75 at which
/// the box fits into the viewport less its margins (3.0 when none fits). Nothing for no points.
std::optional<ViewFit> fit_view_to_points(std::span<LatLon const> points, double width,
                                          double height, double margin);

/// Point-to-segment distances the split-at-farthest-point simplification may spend on one line,
/// counted as a plain scan of every range computes them.
/// Ordinary lines need a few times their length; a zigzag needs its length squared, which for
/// the largest answer would stall a request thread for hours.
inline constexpr std::uint64_t SIMPLIFY_WORK_BUDGET = std::uint64_t{1} << 25;

/// Douglas-Peucker simplification with a tolerance in metres, on a local plane around the
/// first point; iterative, so long paths cannot exhaust the stack. The first and last points
/// always stay. Fewer than three points, or a tolerance not above 0, give a copy.
/// Once `work_budget` distance evaluations are spent, the spans still to split are thinned in
/// one pass instead: a point stays when it lies farther than the tolerance from the point kept
/// before it. Every dropped point then still lies within the tolerance of the result, and the
/// whole call costs at most the budget plus a pass over the points. (geo/simplify.h has the
/// same for lines not held as a list of points.)
std::vector<LatLon> simplify_polyline(std::span<LatLon const> points, double tolerance_m,
                                      std::uint64_t work_budget = SIMPLIFY_WORK_BUDGET);

/// One value of the encoded-polyline format from the bytes `next_byte()` hands out (as ints,
/// -1 past the end). Nothing at the end of the text (also in the middle of a value) and for a
/// value longer than 64 bits.
template <class NextByte>
[[gnu::always_inline]] inline std::optional<std::int64_t>
read_polyline_value(NextByte&& next_byte) {
  std::uint64_t value = 0;
  unsigned shift = 0;
  while (true) {
    int const byte = next_byte();
    if (byte < 0) {
      return std::nullopt;
    }
    int const b = byte - 63;
    auto const chunk = static_cast<std::uint64_t>(b & 31);
    // Thirteen chunks carry 65 bits; anything beyond 64 is not a value of this format.
    if (shift >= 64 || (shift == 60 && chunk > 0xF)) {
      return std::nullopt;
    }
    value |= chunk << shift;
    shift += 5;
    if (b < 32) {
      break;
    }
  }
  // Zig-zag decoding: the lowest bit carries the sign.
  std::uint64_t const decoded = (value & 1) != 0 ? ~(value >> 1) : (value >> 1);
  return static_cast<std::int64_t>(decoded);
}

/// The next point of an encoded polyline from `next_byte` (as for read_polyline_value), its
/// values added to `lat` and `lon`, those of the point before. False, leaving them as they
/// were, where decoding stops: at a truncated or malformed value, or where a coordinate would
/// leave the 64-bit range.
template <class NextByte>
[[gnu::always_inline]] inline bool read_polyline_point(NextByte&& next_byte, std::int64_t& lat,
                                                       std::int64_t& lon) {
  auto const dlat = read_polyline_value(next_byte);
  if (!dlat) {
    return false;
  }
  auto const dlon = read_polyline_value(next_byte);
  if (!dlon) {
    return false;
  }
  std::int64_t next_lat = 0;
  std::int64_t next_lon = 0;
  if (__builtin_add_overflow(lat, *dlat, &next_lat) ||
      __builtin_add_overflow(lon, *dlon, &next_lon)) {
    return false;
  }
  lat = next_lat;
  lon = next_lon;
  return true;
}

/// One value of the encoded-polyline format starting at `pos`; advances `pos` past the bytes
/// read.
inline std::optional<std::int64_t> read_polyline_value(std::string_view bytes, std::size_t& pos) {
  return read_polyline_value(
      [&]() -> int { return pos < bytes.size() ? static_cast<unsigned char>(bytes[pos++]) : -1; });
}

/// Decodes an encoded polyline with `precision` decimal digits. Decoding stops at a truncated
/// or malformed value, or where a coordinate would leave the 64-bit range; the points decoded
/// before stay.
std::vector<LatLon> decode_polyline(std::string_view encoded, unsigned precision);

} // namespace maps
