#include "platform/widgets/tooltip.h"

#include <algorithm>

#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widgets/paint_detail.h"

namespace zarn_ui::widget {

bool TooltipHost::on_pointer(std::optional<TooltipCandidate> candidate, base::Instant now,
                             Point pointer) {
  pointer_ = pointer;
  if (candidate == candidate_) {
    return false;
  }
  bool const was_visible_or_pending = is_shown() || has_pending();
  candidate_ = std::move(candidate);
  since_ = now;
  shown_ = false;
  suppressed_ = false;
  return was_visible_or_pending || has_pending();
}

bool TooltipHost::tick(base::Instant now) {
  if (!has_pending() || now - since_ < SHOW_DELAY) {
    return false;
  }
  shown_ = true;
  return true;
}

void TooltipHost::dismiss() {
  shown_ = false;
  suppressed_ = candidate_.has_value();
}

std::optional<TooltipCandidate> TooltipHost::shown() const {
  return is_shown() ? candidate_ : std::nullopt;
}

std::optional<base::Instant> TooltipHost::deadline() const {
  if (!has_pending()) {
    return std::nullopt;
  }
  return since_ + SHOW_DELAY;
}

namespace tooltip {

namespace {
constexpr float LABEL_SIZE = 12.0f;
constexpr double PAD_X = 8.0;
constexpr double PAD_Y = 4.0;
constexpr double GAP = 6.0;
} // namespace

Rect tooltip_rect(double text_width, double line_height, Rect const& anchor,
                  std::optional<Rect> bounds) {
  double const w = text_width + 2.0 * PAD_X;
  double const h = line_height + 2.0 * PAD_Y;
  double x0 = anchor.center().x - w * 0.5;
  double y0 = anchor.y1 + GAP;
  if (bounds && bounds->width() > 0.0 && bounds->height() > 0.0) {
    // Controls stacked along the right edge would be covered by a tooltip below them: there
    // it goes to the left of the anchor instead.
    bool const at_right_edge = anchor.center().x > bounds->x1 - bounds->width() * 0.25;
    if (at_right_edge && anchor.x0 - GAP - w >= bounds->x0) {
      x0 = anchor.x0 - GAP - w;
      y0 = anchor.center().y - h * 0.5;
    } else if (y0 + h > bounds->y1 && anchor.y0 - GAP - h >= bounds->y0) {
      y0 = anchor.y0 - GAP - h;
    }
    // Left edge wins when the tooltip is wider than the bounds.
    x0 = std::max(std::min(x0, bounds->x1 - w), bounds->x0);
    y0 = std::max(std::min(y0, bounds->y1 - h), bounds->y0);
  }
  return {x0, y0, x0 + w, y0 + h};
}

void draw_hover_tooltip(Scene& scene, Affine const& transform, TextRenderer const& text,
                        Theme const& theme, std::string_view label, Rect const& anchor,
                        std::optional<Rect> bounds) {
  if (label.empty()) {
    return;
  }
  double const width = text.measure(label, LABEL_SIZE);
  double const line = text.line_height(LABEL_SIZE);
  Rect const r = tooltip_rect(width, line, anchor, bounds);
  // Inverted colours stand out from both the map and the cards.
  Color const fill = theme.text.with_alpha(0.94f);
  Color const ink = theme.surface_raised.with_alpha(1.0f);
  detail::fill_rounded(scene, transform, r.translate({0.0, 1.5}), 6.0,
                       theme.card_shadow.multiply_alpha(0.25f));
  detail::fill_rounded(scene, transform, r, 6.0, fill);
  text.draw_text(scene, label, LABEL_SIZE, ink,
                 transform * Affine::translate(r.x0 + PAD_X, r.y0 + PAD_Y));
}

} // namespace tooltip

} // namespace zarn_ui::widget
