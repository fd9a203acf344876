#include "platform/scene/geometry.h"

#include <cmath>

namespace zarn_ui {

Rect Rect::intersect(Rect const& o) const {
  double const nx0 = std::max(x0, o.x0);
  double const ny0 = std::max(y0, o.y0);
  double const nx1 = std::max(nx0, std::min(x1, o.x1));
  double const ny1 = std::max(ny0, std::min(y1, o.y1));
  return {nx0, ny0, nx1, ny1};
}

Rect Rect::union_with(Rect const& o) const {
  return {std::min(x0, o.x0), std::min(y0, o.y0), std::max(x1, o.x1), std::max(y1, o.y1)};
}

RoundedRect::RoundedRect(Rect r, double corner_radius) : rect(r) {
  double const half = std::min(std::abs(r.width()), std::abs(r.height())) * 0.5;
  // NaN radius counts as no rounding; fmax/fmin drop NaN.
  radius = std::fmin(std::fmax(corner_radius, 0.0), half);
  if (std::isnan(radius)) {
    radius = 0.0;
  }
}

BezPath BezPath::polyline(std::vector<Point> const& points) {
  BezPath path;
  path.reserve(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i == 0) {
      path.move_to(points[i]);
    } else {
      path.line_to(points[i]);
    }
  }
  return path;
}

BezPath BezPath::polygon(std::vector<Point> const& points) {
  BezPath path = polyline(points);
  if (!points.empty()) {
    path.close_path();
  }
  return path;
}

std::optional<Affine> Affine::inverse() const {
  double const det = determinant();
  if (det == 0.0 || !std::isfinite(det)) {
    return std::nullopt;
  }
  double const inv = 1.0 / det;
  return Affine{d * inv, -b * inv, -c * inv, a * inv, (c * f - d * e) * inv, (b * e - a * f) * inv};
}

Rect Affine::transform_rect_bbox(Rect const& r) const {
  Point const p0 = apply({r.x0, r.y0});
  Point const p1 = apply({r.x1, r.y0});
  Point const p2 = apply({r.x0, r.y1});
  Point const p3 = apply({r.x1, r.y1});
  return {std::min({p0.x, p1.x, p2.x, p3.x}), std::min({p0.y, p1.y, p2.y, p3.y}),
          std::max({p0.x, p1.x, p2.x, p3.x}), std::max({p0.y, p1.y, p2.y, p3.y})};
}

} // namespace zarn_ui
