#include "draw/nav_card_draw.h"

#include <fmt/format.h>

#include "app/maps_app.h"
#include "app/nav_card.h"
#include "draw/directions_draw.h"
#include "platform/surface/floating_placement.h"
#include "platform/theme/theme.h"
#include "ui/format.h"

namespace maps {

namespace {

void draw_end_button(Scene& scene, Affine const& t, TextRenderer const& text,
                     zarn_ui::Theme const& theme, Rect const& b, bool hover) {
  if (hover) {
    fill_rounded_rect(scene, t, b, 10, theme.danger.multiply_alpha(0.16f));
    stroke_rounded_rect(scene, t, b, 10, theme.danger.multiply_alpha(0.58f), 1);
  } else {
    fill_rounded_rect(scene, t, b, 10, theme.control_idle.multiply_alpha(0.62f));
    stroke_rounded_rect(scene, t, b, 10, theme.border, 1);
  }
  Color const ink = hover ? theme.danger : theme.text_secondary;
  double const cy = (b.y0 + b.y1) / 2;
  fill_rounded_rect(scene, t, Rect{b.x0 + 9, cy - 2.5, b.x0 + 14, cy + 2.5}, 1.5, ink);
  paint_text_weighted(text, scene, t, "End", 11, ink, b.x0 + 19, b.y0 + 6, 1);
}

} // namespace

void draw_nav_card(MapsApp& app, Scene& scene, Affine const& transform, TextRenderer const& text,
                   zarn_ui::Theme const& theme, std::optional<Rect> painted_at) {
  if (!app.model.route) {
    forget_nav_card_rects(app);
    return;
  }
  Route const& route = *app.model.route;
  Rect const card = painted_at.value_or(navigation_card_rect(app));
  double const x0 = card.x0, y0 = card.y0, x1 = card.x1;
  Affine const t = transform * app.nav_placement.presentation_transform();

  fill_path(scene, t, zarn_ui::surface::soft_outline(Rect{x0 - 5, y0 - 3, x1 + 5, card.y1 + 7}),
            theme.card_shadow.multiply_alpha(0.3f));
  fill_path(scene, t, zarn_ui::surface::soft_outline(card), theme.surface_raised);
  stroke_path(scene, t, zarn_ui::surface::soft_outline(card), theme.border, 1);

  Rect const end{x1 - 58, y0 + 6, x1 - 8, y0 + 30};
  // Pressed where they are seen, also while the hand-off animation moves and scales the card.
  Affine const shown = app.nav_placement.presentation_transform();
  app.nav_card_rects[NAV_END_BUTTON] = shown.transform_rect_bbox(end);
  app.nav_card_rects[NAV_DRAG_HEADER] = shown.transform_rect_bbox(Rect{x0, y0, x1 - 62, y0 + 34});

  paint_text_weighted(text, scene, t, "Navigation", 12, theme.text_secondary, x0 + 16, y0 + 10, 1);
  zarn_ui::surface::floating_drag_grip(scene, t, card, theme.text_secondary);
  draw_end_button(scene, t, text, theme, end, app.nav_card_hover);

  RouteStep const* step = route.steps.empty() ? nullptr : &route.steps.front();
  std::string_view const glyph = step ? maneuver_glyph(step->maneuver) : "\xE2\x86\x91";
  std::string_view const instruction =
      step ? std::string_view(step->instruction) : std::string_view("Continue on the route");
  double const step_distance = step ? step->distance_m : route.distance_m;
  fill_circle(scene, t, x0 + 34, y0 + 66, 18, theme.accent.multiply_alpha(0.18f));
  draw_text_centered(text, scene, t, glyph, 17, theme.accent, x0 + 16, x0 + 52, y0 + 56);
  paint_text_fitted(text, scene, t, instruction, 15, theme.text, x0 + 64, y0 + 47, (x1 - x0) - 82);
  paint_text(text, scene, t, format_distance(step_distance), 12, theme.text_secondary, x0 + 64,
             y0 + 70);

  stroke_line(scene, t, x0 + 16, y0 + 98, x1 - 16, y0 + 98, theme.border, 1);
  paint_text_weighted(text, scene, t, format_duration(route.duration_s), 16, theme.accent, x0 + 16,
                      y0 + 114, 3);
  draw_text_right(text, scene, t, fmt::format("{} remaining", format_distance(route.distance_m)),
                  12, theme.text_secondary, x1 - 16, y0 + 116);
}

void MapsApp::draw_nav_card(Scene& scene, Affine const& transform,
                            zarn_ui::widget::DrawCtx const& ctx) {
  if (model.route && !nav_placement.is_in_window()) {
    maps::draw_nav_card(*this, scene, transform, ctx.text, ctx.theme);
  }
}

} // namespace maps
