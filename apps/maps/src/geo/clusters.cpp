#include "geo/clusters.h"

#include <cassert>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "base/saturate.h"

namespace maps {

namespace {

std::uint64_t cell_key(std::int64_t cx, std::int64_t cy) {
  return (static_cast<std::uint64_t>(cx) << 32) ^ (static_cast<std::uint64_t>(cy) & 0xffffffffu);
}

} // namespace

std::vector<PointCluster> cluster_points(std::span<zarn_ui::Point const> points, double spacing) {
  assert(spacing > 0.0);
  std::vector<PointCluster> clusters;
  // Cell -> indices into `clusters` whose first point lies in it; a point's candidates lie in
  // its own cell and the eight around it.
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> cells;
  cells.reserve(points.size());
  double const limit2 = spacing * spacing;
  for (std::size_t i = 0; i < points.size(); ++i) {
    zarn_ui::Point const p = points[i];
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
      continue;
    }
    std::int64_t const cx = base::saturating_cast<std::int64_t>(std::floor(p.x / spacing));
    std::int64_t const cy = base::saturating_cast<std::int64_t>(std::floor(p.y / spacing));
    std::uint32_t best = std::numeric_limits<std::uint32_t>::max();
    double best_d2 = limit2;
    for (std::int64_t dy = -1; dy <= 1; ++dy) {
      for (std::int64_t dx = -1; dx <= 1; ++dx) {
        auto const it = cells.find(cell_key(cx + dx, cy + dy));
        if (it == cells.end()) {
          continue;
        }
        for (std::uint32_t const c : it->second) {
          double const ex = p.x - clusters[c].at.x;
          double const ey = p.y - clusters[c].at.y;
          double const d2 = ex * ex + ey * ey;
          if (d2 < best_d2) {
            best_d2 = d2;
            best = c;
          }
        }
      }
    }
    if (best != std::numeric_limits<std::uint32_t>::max()) {
      ++clusters[best].count;
      continue;
    }
    cells[cell_key(cx, cy)].push_back(static_cast<std::uint32_t>(clusters.size()));
    clusters.push_back(PointCluster{p, i, 1});
  }
  return clusters;
}

} // namespace maps
