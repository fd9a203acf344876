#include "ui/format.h"

#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include <fmt/format.h>

#include "base/saturate.h"
#include "platform/format/bytes.h"

namespace maps {

namespace {

// Half away from zero, then saturated into the signed 64-bit range (NaN gives 0).
std::int64_t rounded(double v) {
  return base::saturating_cast<std::int64_t>(std::round(v));
}

std::int64_t saturating_times(std::int64_t v, std::int64_t k) {
  std::int64_t out = 0;
  if (__builtin_mul_overflow(v, k, &out)) {
    return v < 0 ? std::numeric_limits<std::int64_t>::min()
                 : std::numeric_limits<std::int64_t>::max();
  }
  return out;
}

constexpr double EQUATOR_M = 40075016.68557849;
constexpr std::array<double, 16> SCALE_LENGTHS_M = {
    1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000, 50000, 100000};

} // namespace

std::string format_distance(double metres) {
  if (metres < 950.0) {
    return fmt::format("{} m", saturating_times(rounded(metres / 10.0), 10));
  }
  if (std::isnan(metres)) {
    return "NaN km";
  }
  return fmt::format("{:.1f} km", metres / 1000.0);
}

std::string format_duration(double seconds) {
  std::int64_t const minutes = rounded(seconds / 60.0);
  if (minutes < 60) {
    return fmt::format("{} min", minutes);
  }
  std::int64_t const hours = minutes / 60;
  std::int64_t const rest = minutes % 60;
  if (rest != 0) {
    return fmt::format("{} h {} min", hours, rest);
  }
  return fmt::format("{} h", hours);
}

std::string format_byte_size(std::uint64_t bytes) {
  return zarn_ui::format::bytes(bytes);
}

std::string format_clock(ZonedTime t) {
  constexpr std::int64_t day = 86400;
  // Reduce to the time of day before adding the offset, so that no instant overflows;
  // floor-mod keeps times before 1970 right.
  std::int64_t const utc_of_day = ((t.unix_seconds % day) + day) % day;
  std::int64_t const of_day = (((utc_of_day + t.utc_offset_s) % day) + day) % day;
  return fmt::format("{:02}:{:02}", of_day / 3600, of_day % 3600 / 60);
}

ScaleBar scale_bar_label(double lat, double zoom, double max_px) {
  double const mpp =
      std::cos(lat * std::numbers::pi / 180.0) * EQUATOR_M / (256.0 * std::exp2(zoom));
  double const longest = mpp * max_px;
  double length = 1.0;
  for (double const candidate : SCALE_LENGTHS_M) {
    if (candidate <= longest) {
      length = candidate;
    }
  }
  auto const whole = base::saturating_cast<std::int64_t>(length); // an exact preset value
  std::string label =
      whole >= 1000 ? fmt::format("{} km", whole / 1000) : fmt::format("{} m", whole);
  return ScaleBar{std::move(label), length / mpp};
}

} // namespace maps
