#pragma once
// Short display texts of numbers: distances, durations, byte sizes, clock times and the map's
// scale-bar label. Pure; every input, including negative, infinite and NaN values, gives text.

#include <cstdint>
#include <string>

namespace maps {

/// "940 m" below 950 m (rounded to tens), else "12.3 km" with one decimal.
std::string format_distance(double metres);

/// "59 min", "1 h", "2 h 1 min" from seconds, by whole minutes rounded half away from zero.
std::string format_duration(double seconds);

/// Decimal units with one decimal: "999 B", "1.0 KB", "47.5 MB", "2.3 GB".
std::string format_byte_size(std::uint64_t bytes);

/// An instant with the fixed UTC offset it is shown in.
struct ZonedTime {
  std::int64_t unix_seconds = 0; // seconds since 1970-01-01T00:00:00Z
  std::int32_t utc_offset_s = 0; // east positive
  bool operator==(ZonedTime const&) const = default;
};

/// Wall-clock "HH:MM" (24-hour) of the instant at its offset.
std::string format_clock(ZonedTime t);

struct ScaleBar {
  std::string label;      // "100 km", "500 m"
  double length_px = 0.0; // may exceed the allowed length when even 1 m is longer
  bool operator==(ScaleBar const&) const = default;
};

/// The longest preset length (1 m to 100 km) that fits into `max_px` at this latitude and
/// fractional zoom; 1 m when none fits.
ScaleBar scale_bar_label(double lat, double zoom, double max_px);

} // namespace maps
