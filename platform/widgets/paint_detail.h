#pragma once
// Internal to the widgets: the few painting steps every widget repeats.

#include <string_view>

#include "platform/scene/color.h"
#include "platform/scene/geometry.h"
#include "platform/scene/scene.h"

namespace zarn_ui::widget::detail {

inline void fill_rounded(Scene& scene, Affine const& transform, Rect const& rect, double radius,
                         Color color) {
  scene.fill(FillRule::NonZero, transform, color, RoundedRect(rect, radius));
}

inline void stroke_rounded(Scene& scene, Affine const& transform, Rect const& rect, double radius,
                           double width, Color color) {
  scene.stroke(Stroke::with_width(width), transform, color, RoundedRect(rect, radius));
}

/// A card: rounded fill with a one-pixel outline.
inline void card(Scene& scene, Affine const& transform, Rect const& rect, double radius, Color fill,
                 Color border) {
  fill_rounded(scene, transform, rect, radius, fill);
  stroke_rounded(scene, transform, rect, radius, 1.0, border);
}

} // namespace zarn_ui::widget::detail
