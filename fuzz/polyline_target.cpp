// Encoded polylines: the first byte picks the precision (0..7 digits), the rest is the text.
// The decoded points are then simplified as the service parsers do, which must keep both ends
// and only drop points.

#include <cmath>

#include "geo/geo.h"
#include "targets.h"

namespace maps::fuzz {

bool polyline(Bytes data) {
  if (data.empty()) {
    return false;
  }
  unsigned const precision = data[0] % 8u;
  auto const text = as_text(data.subspan(1));

  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t const at = pos;
    if (!read_polyline_value(text, pos)) {
      break;
    }
    check(pos > at && pos <= text.size(), "a polyline value did not advance within the text");
  }

  auto const points = decode_polyline(text, precision);
  for (auto const& p : points) {
    check(std::isfinite(p.lat) && std::isfinite(p.lon), "a decoded point is not finite");
  }
  auto const simple = simplify_polyline(points, 3.0);
  check(simple.size() <= points.size(), "simplification added points");
  if (points.size() >= 2) {
    check(simple.size() >= 2 && simple.front() == points.front() && simple.back() == points.back(),
          "simplification dropped an end");
  }
  std::size_t next = 0;
  for (auto const& p : simple) {
    while (next < points.size() && !(points[next] == p)) {
      ++next;
    }
    check(next < points.size(), "simplification made a point that was not there");
    ++next;
  }
  return !points.empty();
}

} // namespace maps::fuzz
