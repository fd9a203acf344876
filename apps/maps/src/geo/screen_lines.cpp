#include "geo/screen_lines.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#include "geo/geo.h"

namespace maps {

namespace {

using zarn_ui::Point;
using zarn_ui::Rect;

/// Simplification tolerance at the cached zoom level; the frame's zoom is at most that level,
/// so on screen the error is never larger.
constexpr double SIMPLIFY_TOLERANCE_PX = 0.2;

bool finite(Point p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

/// Squared distance from `p` to the segment a–b.
double segment_distance_sq(Point p, Point a, Point b) {
  double const dx = b.x - a.x;
  double const dy = b.y - a.y;
  double const len_sq = dx * dx + dy * dy;
  double t = 0.0;
  if (len_sq > 0.0) {
    t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len_sq, 0.0, 1.0);
  }
  double const ex = a.x + t * dx - p.x;
  double const ey = a.y + t * dy - p.y;
  return ex * ex + ey * ey;
}

/// The same points bit for bit (a byte compare runs several times faster than comparing the
/// coordinates one by one; points equal but for the sign of a zero only cost a rebuild).
bool same_points(std::vector<LatLon> const& a, std::vector<LatLon> const& b) {
  static_assert(std::is_trivially_copyable_v<LatLon> && sizeof(LatLon) == 2 * sizeof(double));
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(LatLon)) == 0);
}

bool segment_reaches(Point a, Point b, Rect const& box) {
  return std::max(a.x, b.x) >= box.x0 && std::min(a.x, b.x) <= box.x1 &&
         std::max(a.y, b.y) >= box.y0 && std::min(a.y, b.y) <= box.y1;
}

} // namespace

bool line_reaches(std::vector<Point> const& points, double width, Rect const& visible) {
  if (points.empty()) {
    return false;
  }
  double x0 = points.front().x;
  double y0 = points.front().y;
  double x1 = x0;
  double y1 = y0;
  for (Point const p : points) {
    if (!finite(p)) {
      return true;
    }
    x0 = std::min(x0, p.x);
    y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x);
    y1 = std::max(y1, p.y);
  }
  // Half the width covers round caps and joins; the extra pixel covers antialiasing.
  double const m = std::isfinite(width) ? std::abs(width) / 2.0 + 1.0 : 0.0;
  return x1 + m >= visible.x0 && x0 - m <= visible.x1 && y1 + m >= visible.y0 &&
         y0 - m <= visible.y1;
}

std::vector<Point> simplify_polyline(std::vector<Point> const& points, double tolerance) {
  if (points.size() < 3) {
    return points;
  }
  std::vector<bool> keep(points.size(), false);
  keep.front() = true;
  keep.back() = true;
  double const tol_sq = tolerance * tolerance;
  std::vector<std::pair<std::size_t, std::size_t>> spans{{0, points.size() - 1}};
  while (!spans.empty()) {
    auto const [first, last] = spans.back();
    spans.pop_back();
    double worst = -1.0;
    std::size_t at = first;
    for (std::size_t i = first + 1; i < last; ++i) {
      double const d = finite(points[i])
                           ? segment_distance_sq(points[i], points[first], points[last])
                           : tol_sq * 2.0 + 1.0; // never dropped
      if (d > worst) {
        worst = d;
        at = i;
      }
    }
    if (worst > tol_sq) {
      keep[at] = true;
      if (at - first > 1) {
        spans.emplace_back(first, at);
      }
      if (last - at > 1) {
        spans.emplace_back(at, last);
      }
    }
  }
  std::vector<Point> out;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (keep[i]) {
      out.push_back(points[i]);
    }
  }
  return out;
}

std::vector<std::vector<Point>> const& ScreenLine::visible_runs(std::vector<LatLon> const& geometry,
                                                                MapProjection const& projection,
                                                                double width, Rect const& visible) {
  double const zoom = projection.zoom;
  if (!std::isfinite(zoom)) {
    runs_.clear();
    view_.reset();
    return runs_;
  }
  int const level = static_cast<int>(std::ceil(zoom));
  bool const same_geometry = same_points(geometry, source_);
  View const view{zoom, projection.screen_x - projection.world_x,
                  projection.screen_y - projection.world_y, width, visible};
  if (same_geometry && view_ == view) {
    return runs_;
  }
  view_ = view;
  runs_.clear();
  if (!level_ || *level_ != level || !same_geometry) {
    source_ = geometry;
    level_ = level;
    std::vector<Point> world;
    world.reserve(geometry.size());
    for (LatLon const& ll : geometry) {
      WorldPx const w = project_mercator(ll.lat, ll.lon, static_cast<double>(level));
      world.push_back({w.x, w.y});
    }
    world_ = simplify_polyline(world, SIMPLIFY_TOLERANCE_PX);
    ++builds_;
  }

  double const f = std::exp2(zoom - static_cast<double>(level));
  double const dx = projection.screen_x - projection.world_x;
  double const dy = projection.screen_y - projection.world_y;
  Rect const box = visible.inflate(width / 2.0 + 1.0, width / 2.0 + 1.0);
  std::vector<Point> run;
  Point prev{};
  for (std::size_t i = 0; i < world_.size(); ++i) {
    Point const p{world_[i].x * f + dx, world_[i].y * f + dy};
    if (i > 0) {
      bool const shows = !finite(prev) || !finite(p) || segment_reaches(prev, p, box);
      if (shows) {
        if (run.empty()) {
          run.push_back(prev);
        }
        run.push_back(p);
      } else if (!run.empty()) {
        runs_.push_back(std::move(run));
        run.clear();
      }
    }
    prev = p;
  }
  if (!run.empty()) {
    runs_.push_back(std::move(run));
  }
  return runs_;
}

} // namespace maps
