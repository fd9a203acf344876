#include "draw/endpoint_editor_draw.h"

#include <algorithm>
#include <span>

#include "app/maps_app.h"
#include "base/utf8.h"
#include "draw/suggestion_rows.h"
#include "ui/palette.h"

namespace maps {

Rect draw_endpoint_field(EndpointEditor& editor, Scene& scene, Affine const& t,
                         zarn_ui::Theme const& theme, Rect const& rect, Color dot,
                         std::uint8_t field) {
  fill_rounded_rect(scene, t, rect, 9, theme.surface);
  stroke_rounded_rect(scene, t, rect, 9, editor.active == field ? theme.border_focus : theme.border,
                      1);
  fill_circle(scene, t, rect.x0 + 16, (rect.y0 + rect.y1) / 2, 4, dot);
  editor.hits.push_back(EndpointHit{rect, EndpointHitKind::Field, field, 0});
  return Rect{rect.x0 + 26, rect.y0, rect.x1 - 12, rect.y1};
}

void draw_endpoint_suggestions(MapsApp& app, Scene& scene, Affine const& t,
                               TextRenderer const& text, zarn_ui::Theme const& theme) {
  EndpointEditor& editor = app.endpoints;
  if (editor.active != ORIGIN_FIELD && editor.active != DEST_FIELD) {
    return;
  }
  bool const origin = editor.active == ORIGIN_FIELD;
  std::optional<Rect> const input_rect = origin ? editor.origin_rect : editor.dest_rect;
  if (!input_rect) {
    return;
  }
  std::span<Place const> const list = origin ? std::span<Place const>(editor.origin_suggestions)
                                             : std::span<Place const>(editor.dest_suggestions);
  auto const& input = origin ? editor.origin_input : editor.dest_input;
  double const top = input_rect->y1 + CARD_GAP;

  if (list.empty()) {
    if (base::utf8::trim(input.text()).empty()) {
      return;
    }
    Rect const card{input_rect->x0, top, input_rect->x1, input_rect->y1 + 40.0};
    draw_card(scene, t, card, 12.0, theme.surface_raised, theme.border);
    editor.hits.push_back({card, EndpointHitKind::Inert, editor.active, 0});
    std::optional<std::string> const& answer = origin ? editor.origin_answer : editor.dest_answer;
    paint_text_fitted(text, scene, t, answer ? *answer : std::string("Searching\xE2\x80\xA6"),
                      12.0f, theme.text_secondary, card.x0 + 12.0, card.y0 + (34.0 - 12.0) / 2.0,
                      card.width() - 24.0);
    return;
  }

  std::size_t const n = std::min(list.size(), MAX_SUGGESTION_ROWS);
  Rect const card{input_rect->x0, top, input_rect->x1, top + suggestions_card_height(n)};
  draw_card(scene, t, card, 12.0, theme.surface_raised, theme.border);
  editor.hits.push_back({card, EndpointHitKind::Inert, editor.active, 0});
  for (std::size_t i = 0; i < n; ++i) {
    Place const& place = list[i];
    double const y = row_top(card, i);
    paint_selected_row(app, scene, t, theme, row_rect(card, y), place);
    if (editor.highlighted == i) {
      paint_highlighted_row(scene, t, theme, row_rect(card, y));
    }
    fill_circle(scene, t, card.x0 + 20.0, y + 22.0, 6.0, category_color(theme, place.category));
    paint_row_texts(app, scene, t, text, theme, card, y, place);
    editor.hits.push_back({row_rect(card, y), EndpointHitKind::Suggestion, editor.active, i});
  }
}

} // namespace maps
