#include "draw/suggestion_rows.h"

#include <string>

#include "app/maps_app.h"
#include "geo/geo.h"
#include "ui/format.h"

namespace maps {

namespace {

constexpr double ROW_PITCH = 46.0;
constexpr double ROW_HEIGHT = 44.0;
constexpr double CARD_PADDING = 12.0;

/// The distance from the route origin (or the map centre) to a place, as the lists show it.
std::string distance_text(MapsApp const& app, LatLon pos) {
  LatLon const from = app.origin_or_center();
  return format_distance(haversine_m(from.lat, from.lon, pos.lat, pos.lon));
}

} // namespace

double suggestions_card_height(std::size_t rows) {
  return CARD_PADDING + ROW_PITCH * static_cast<double>(rows);
}

void paint_row_texts(MapsApp const& app, Scene& scene, Affine const& t, TextRenderer const& text,
                     zarn_ui::Theme const& theme, Rect const& card, double y, Place const& place) {
  std::string const distance = distance_text(app, place.pos);
  double const dw = measure_text(text, distance, 11.0f);
  draw_text_right(text, scene, t, distance, 11.0f, theme.accent, card.x1 - 14.0, y + 8.0);
  double const room = (card.x1 - 6.0 - (card.x0 + 36.0)) - (dw + 8.0);
  paint_text_fitted(text, scene, t, place.name, 13.0f, theme.text, card.x0 + 36.0, y + 6.0, room);
  paint_text_fitted(text, scene, t, place.address, 11.0f, theme.text_secondary, card.x0 + 36.0,
                    y + 24.0, room);
}

Rect row_rect(Rect const& card, double y) {
  return {card.x0 + 6.0, y, card.x1 - 6.0, y + ROW_HEIGHT};
}

double row_top(Rect const& card, std::size_t i) {
  return card.y0 + 6.0 + ROW_PITCH * static_cast<double>(i);
}

void paint_selected_row(MapsApp const& app, Scene& scene, Affine const& t,
                        zarn_ui::Theme const& theme, Rect const& row, Place const& place) {
  if (app.model.selected && *app.model.selected == place.id) {
    fill_rounded_rect(scene, t, row, 8.0, theme.accent.multiply_alpha(0.12f));
  }
}

void paint_highlighted_row(Scene& scene, Affine const& t, zarn_ui::Theme const& theme,
                           Rect const& row) {
  fill_rounded_rect(scene, t, row, 8.0, theme.accent.multiply_alpha(0.2f));
  stroke_rounded_rect(scene, t, row, 8.0, theme.focus_border, 1.5);
}

} // namespace maps
