#include "search_box/search_box_draw.h"

#include <algorithm>
#include <span>
#include <string>

#include "draw/format.h"
#include "app/maps_app.h"
#include "draw/palette.h"
#include "base/utf8.h"
#include "geo/geo.h"

namespace maps {

namespace {

constexpr double ROW_PITCH = 46.0;
constexpr double ROW_HEIGHT = 44.0;
constexpr double CARD_GAP = 6.0; // between the input and its list
constexpr double CARD_PADDING = 12.0;

double suggestions_card_height(std::size_t rows) {
  return CARD_PADDING + ROW_PITCH * static_cast<double>(rows);
}

/// The distance from the route origin (or the map centre) to a place, as the lists show it.
std::string distance_text(MapsApp const& app, LatLon pos) {
  LatLon const from = app.origin_or_center();
  return format_distance(haversine_m(from.lat, from.lon, pos.lat, pos.lon));
}

/// Distance, name and address of one row; the icon is the caller's.
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

/// The model's selected place stands out in a list.
void paint_selected_row(MapsApp const& app, Scene& scene, Affine const& t,
                        zarn_ui::Theme const& theme, Rect const& row, Place const& place) {
  if (app.model.selected && *app.model.selected == place.id) {
    fill_rounded_rect(scene, t, row, 8.0, theme.accent.multiply_alpha(0.12f));
  }
}

} // namespace

void drain_search_targets(MapsApp& app) {
  auto& targets = app.search_box.targets;
  app.hit_targets.reserve(app.hit_targets.size() + targets.size());
  for (auto& target : targets) {
    app.hit_targets.push_back(HitTarget{target.rect, UiAction::Search{target.item}});
  }
  targets.clear();
}

void draw_search_box(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                     zarn_ui::Theme const& theme) {
  SearchBox& box = app.search_box;
  Rect const r = app.search_bar_rect();
  box.targets.clear();
  box.targets.push_back({r, SearchItem::field()});

  draw_card(scene, t, r, 12.0, theme.surface_raised,
            box.editing ? theme.focus_border : theme.border);

  double const cy = (r.y0 + r.y1) / 2.0;
  stroke_circle(scene, t, r.x0 + 22.0, cy - 1.0, 6.0, theme.text_secondary, 2.0);
  stroke_line(scene, t, r.x0 + 26.5, cy + 3.5, r.x0 + 31.0, cy + 8.0, theme.text_secondary, 2.0);

  box.input.set_text(app.model.query);
  box.input.set_focused(box.editing);
  box.input.set_rect(Rect{r.x0 + 36.0, r.y0, r.x1 - 34.0, r.y1});
  box.input.draw(scene, t, text, theme, zarn_ui::PresenceCtx::empty());

  if (!app.model.query.empty()) {
    double const cx = r.x1 - 21.0;
    fill_circle(scene, t, cx, cy, 10.0, theme.surface);
    stroke_line(scene, t, cx - 4.0, cy - 4.0, cx + 4.0, cy + 4.0, theme.text_secondary, 1.4);
    stroke_line(scene, t, cx + 4.0, cy - 4.0, cx - 4.0, cy + 4.0, theme.text_secondary, 1.4);
    box.targets.push_back(
        {Rect{r.x1 - 32.0, r.y0 + 10.0, r.x1 - 10.0, r.y1 - 10.0}, SearchItem::clear()});
  }
  drain_search_targets(app);
}

void draw_search_suggestions(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                             zarn_ui::Theme const& theme) {
  SearchBox& box = app.search_box;
  Rect const bar = app.search_bar_rect();
  std::size_t const n = std::min(box.suggestions.size(), MAX_SUGGESTION_ROWS);
  double const top = bar.y1 + CARD_GAP;
  Rect const card{bar.x0, top, bar.x1, top + suggestions_card_height(n)};
  draw_card(scene, t, card, 12.0, theme.surface_raised, theme.border);
  box.targets.push_back({card, SearchItem::inert()});

  zarn_ui::Color const icon = mix_colors(theme.accent, theme.surface, 0.78f);
  for (std::size_t i = 0; i < n; ++i) {
    Place const& place = box.suggestions[i];
    double const y = row_top(card, i);
    Rect const row = row_rect(card, y);
    paint_selected_row(app, scene, t, theme, row, place);
    fill_circle(scene, t, card.x0 + 20.0, y + 22.0, 6.0, icon);
    fill_circle(scene, t, card.x0 + 20.0, y + 22.0, 2.4, theme.accent);
    paint_row_texts(app, scene, t, text, theme, card, y, place);
    box.targets.push_back({row, SearchItem::result(i)});
  }
  drain_search_targets(app);
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
    paint_text(text, scene, t, "Searching\xE2\x80\xA6", 12.0f, theme.text_secondary, card.x0 + 12.0,
               card.y0 + (34.0 - 12.0) / 2.0);
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
    fill_circle(scene, t, card.x0 + 20.0, y + 22.0, 6.0, category_color(theme, place.category));
    paint_row_texts(app, scene, t, text, theme, card, y, place);
    editor.hits.push_back({row_rect(card, y), EndpointHitKind::Suggestion, editor.active, i});
  }
}

} // namespace maps
