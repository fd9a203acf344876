#include "geo/simplify.h"

#include <span>
#include <vector>

#include "geo/geo.h"

namespace maps {

std::vector<LatLon> simplify_polyline(std::span<LatLon const> points, double tolerance_m,
                                      std::uint64_t work_budget) {
  return simplify_line(PointList{points}, tolerance_m, work_budget);
}

} // namespace maps
