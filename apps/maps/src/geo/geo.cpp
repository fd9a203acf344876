#include "geo/geo.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "base/saturate.h"

namespace maps {

namespace {

constexpr double DEG_TO_RAD = std::numbers::pi / 180.0;

double clamp_lat(double lat) {
  return std::clamp(lat, -MAX_MERCATOR_LAT, MAX_MERCATOR_LAT);
}

double midpoint(double a, double b) {
  constexpr double half_max = std::numeric_limits<double>::max() / 2.0;
  if (std::fabs(a) > half_max || std::fabs(b) > half_max) {
    return a / 2.0 + b / 2.0;
  }
  return (a + b) / 2.0;
}

} // namespace

double world_size_px(double zoom) {
  return static_cast<double>(TILE_SIZE) * std::exp2(zoom);
}

WorldPx project_mercator(double lat, double lon, double zoom) {
  double const size = world_size_px(zoom);
  double const phi = clamp_lat(lat) * DEG_TO_RAD;
  double const x = (lon + 180.0) / 360.0 * size;
  double const y =
      (0.5 - std::log(std::tan(phi) + 1.0 / std::cos(phi)) / (2.0 * std::numbers::pi)) * size;
  return {x, y};
}

LatLon unproject_mercator(double x, double y, double zoom) {
  double const size = world_size_px(zoom);
  double const lon = x / size * 360.0 - 180.0;
  double const n = std::numbers::pi - 2.0 * std::numbers::pi * y / size;
  double const lat = std::atan((std::exp(n) - std::exp(-n)) / 2.0) * 57.29577951308232;
  return {lat, lon};
}

TileXY tile_for(std::uint8_t zoom, double lat, double lon) {
  double const n = std::ldexp(1.0, zoom);
  std::uint64_t const last = std::min<std::uint64_t>(
      zoom >= 32 ? std::numeric_limits<std::uint64_t>::max() : (std::uint64_t{1} << zoom) - 1,
      std::numeric_limits<std::uint32_t>::max());
  double const phi = clamp_lat(lat) * DEG_TO_RAD;
  double const fx = std::floor((lon + 180.0) / 360.0 * n);
  double const fy = std::floor(
      (1.0 - std::log(std::tan(phi) + 1.0 / std::cos(phi)) / std::numbers::pi) / 2.0 * n);
  auto const cap = [last](double v) {
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(base::saturating_cast<std::uint64_t>(v), last));
  };
  return {cap(fx), cap(fy)};
}

double haversine_m(double lat1, double lon1, double lat2, double lon2) {
  double const phi1 = lat1 * DEG_TO_RAD;
  double const phi2 = lat2 * DEG_TO_RAD;
  double const dphi = (lat2 - lat1) * DEG_TO_RAD;
  double const dlambda = (lon2 - lon1) * DEG_TO_RAD;
  double const s1 = std::sin(dphi / 2.0);
  double const s2 = std::sin(dlambda / 2.0);
  double a = s1 * s1 + std::cos(phi1) * std::cos(phi2) * s2 * s2;
  // Rounding can push a just past 1 for nearly antipodal points; asin would then give NaN.
  // std::clamp keeps a NaN from NaN input as it is.
  a = std::clamp(a, 0.0, 1.0);
  return std::asin(std::sqrt(a)) * EARTH_DIAMETER_M;
}

double polyline_length_m(std::span<LatLon const> points) {
  double total = 0.0;
  for (std::size_t i = 1; i < points.size(); ++i) {
    total += haversine_m(points[i - 1].lat, points[i - 1].lon, points[i].lat, points[i].lon);
  }
  return total;
}

std::optional<ViewFit> fit_view_to_points(std::span<LatLon const> points, double width,
                                          double height, double margin) {
  if (points.empty()) {
    return std::nullopt;
  }
  // fmin and fmax pass over NaN coordinates.
  double min_lat = std::numeric_limits<double>::infinity();
  double max_lat = -std::numeric_limits<double>::infinity();
  double min_lon = std::numeric_limits<double>::infinity();
  double max_lon = -std::numeric_limits<double>::infinity();
  for (auto const& p : points) {
    min_lat = std::fmin(min_lat, p.lat);
    max_lat = std::fmax(max_lat, p.lat);
    min_lon = std::fmin(min_lon, p.lon);
    max_lon = std::fmax(max_lon, p.lon);
  }
  LatLon const center{midpoint(min_lat, max_lat), midpoint(min_lon, max_lon)};
  double const usable_w = std::max(width - 2.0 * margin, FIT_MIN_EXTENT);
  double const usable_h = std::max(height - 2.0 * margin, FIT_MIN_EXTENT);
  double best = FIT_MIN_ZOOM;
  for (int i = 0; i < FIT_ZOOM_STEPS; ++i) {
    double const z = FIT_MIN_ZOOM + FIT_ZOOM_STEP * static_cast<double>(i);
    WorldPx const nw = project_mercator(max_lat, min_lon, z);
    WorldPx const se = project_mercator(min_lat, max_lon, z);
    if (std::fabs(se.x - nw.x) > usable_w || std::fabs(se.y - nw.y) > usable_h) {
      break;
    }
    best = z;
  }
  return ViewFit{center, best};
}

std::vector<LatLon> decode_polyline(std::string_view encoded, unsigned precision) {
  double const factor = std::pow(10.0, static_cast<double>(precision));
  std::int64_t lat = 0;
  std::int64_t lon = 0;
  std::vector<LatLon> out;
  out.reserve(encoded.size() / 8); // a typical pair takes eight bytes or more
  std::size_t pos = 0;
  auto const byte = [&]() -> int {
    return pos < encoded.size() ? static_cast<unsigned char>(encoded[pos++]) : -1;
  };
  while (read_polyline_point(byte, lat, lon)) {
    out.push_back({static_cast<double>(lat) / factor, static_cast<double>(lon) / factor});
  }
  return out;
}

} // namespace maps
