#include "platform/surface/floating_surface.h"

#include <algorithm>
#include <cmath>

#include "platform/scene/scene.h"

namespace zarn_ui::floating_surface {

Rect protocol_rect(ProtocolRect const& r) {
  double const x = r.x;
  double const y = r.y;
  return {x, y, x + std::max(r.width, 0), y + std::max(r.height, 0)};
}

} // namespace zarn_ui::floating_surface

namespace zarn_ui::surface {

BezPath soft_outline(Rect const& rect, double radius) {
  BezPath path;
  double const w = rect.width();
  double const h = rect.height();
  if (!(w > 0.0 && h > 0.0) || !std::isfinite(w) || !std::isfinite(h)) {
    return path;
  }
  double const r = std::clamp(std::isfinite(radius) ? radius : 0.0, 0.0, std::min(w, h) * 0.5);
  // The curve starts a little before the circular radius would and pulls its control points
  // toward the corner, so curvature rises gradually instead of jumping at the tangent point.
  double const k = std::min(r * 1.25, std::min(w, h) * 0.5);
  double const c = k * 0.22;
  double const x0 = rect.x0, y0 = rect.y0, x1 = rect.x1, y1 = rect.y1;
  path.move_to({x0 + k, y0});
  path.line_to({x1 - k, y0});
  path.curve_to({x1 - c, y0}, {x1, y0 + c}, {x1, y0 + k});
  path.line_to({x1, y1 - k});
  path.curve_to({x1, y1 - c}, {x1 - c, y1}, {x1 - k, y1});
  path.line_to({x0 + k, y1});
  path.curve_to({x0 + c, y1}, {x0, y1 - c}, {x0, y1 - k});
  path.line_to({x0, y0 + k});
  path.curve_to({x0, y0 + c}, {x0 + c, y0}, {x0 + k, y0});
  path.close_path();
  return path;
}

void floating_drag_grip(Scene& scene, Affine const& transform, Rect const& card, Color color) {
  if (!(card.width() > 24.0 && card.height() > 12.0)) {
    return;
  }
  double const cx = card.center().x;
  double const top = card.y0 + 6.0;
  for (int row = 0; row < 2; ++row) {
    for (int col = -1; col <= 1; ++col) {
      scene.fill(FillRule::NonZero, transform, color,
                 Circle{{cx + 5.0 * col, top + 4.0 * row}, 1.3});
    }
  }
}

} // namespace zarn_ui::surface
