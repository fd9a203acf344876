#include "draw/side_panel_draw.h"

#include <algorithm>
#include <string>

#include <fmt/format.h>

#include "draw/directions_draw.h"
#include "draw/markers.h"
#include "draw/panel_targets.h"
#include "geo/geo.h"
#include "model/ops.h"
#include "ui/format.h"
#include "ui/labels.h"
#include "ui/palette.h"

namespace maps {

namespace {

using zarn_ui::Theme;

/// The compact layout's scrim over the map while the panel is open.
constexpr Color SCRIM{0.0f, 0.0f, 0.0f, 0.5f};
constexpr double MIN_PANEL_HEIGHT = 80.0;
constexpr double ROW_PITCH = 56.0;

void section_heading(MapsApp& app, TextRenderer const& text, Scene& scene, Affine const& t,
                     Theme const& theme, std::string_view title, double x, double y) {
  paint_text_weighted(text, scene, t, title, 11, theme.text_secondary, x, y, 2);
  add_text(app, text, title, 11, x, y, true);
}

/// A square header button with its glyph centred (line box of `size` centred vertically).
void header_button(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                   Theme const& theme, Rect const& r, std::string_view glyph, float size,
                   Color glyph_color, double glyph_y, UiAction action) {
  fill_rounded_rect(scene, t, r, 8, theme.surface);
  draw_text_centered(text, scene, t, glyph, size, glyph_color, r.x0, r.x1, glyph_y);
  add_target(app, r, std::move(action));
}

/// Keeps the targets registered for the scrolling content inside the content area, so that a
/// row scrolled under the header or past the card's bottom cannot take a press meant for the
/// header buttons or the map. Targets stay in the list (the semantic layer still lists them);
/// one scrolled out entirely is left with an empty rectangle, which no press hits.
void clip_content_targets(MapsApp& app, std::size_t first_target, Rect const& area) {
  for (std::size_t i = first_target; i < app.hit_targets.size(); ++i) {
    Rect& r = app.hit_targets[i].rect;
    r = r.intersect(area);
  }
  for (EndpointHit& hit : app.endpoints.hits) {
    hit.rect = hit.rect.intersect(area);
  }
}

/// Whether a row of the scrolling content shows in the content area. Rows that do not are not
/// painted (a long list would cost a row per item every frame) but keep their targets, which the
/// semantic layer lists.
bool row_shown(Rect const& row, Rect const& content) {
  return row.y1 > content.y0 && row.y0 < content.y1;
}

void draw_selected_card(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                        Theme const& theme, double cx0, double cx1, double y, Place const& place) {
  Rect const card{cx0, y, cx1, y + 132};
  fill_rounded_rect(scene, t, card, 12, theme.surface);
  fill_rounded_rect(scene, t, Rect{cx0, y, cx0 + 5, y + 132}, 12, theme.accent);
  paint_text_weighted(text, scene, t, place.name, 18, theme.text, cx0 + 16, y + 12, 3);
  add_text(app, text, place.name, 18, cx0 + 16, y + 12, true);
  paint_text(text, scene, t, category_label(place.category), 12, theme.accent, cx0 + 16, y + 38);
  paint_text_fitted(text, scene, t, place.address, 12, theme.text_secondary, cx0 + 16, y + 58,
                    (cx1 - cx0) - 28);

  // 16 px inside the card on both sides, in line with the texts above.
  double const bw = ((cx1 - cx0) - 40) / 3;
  for (int i = 0; i < 3; ++i) {
    double const x = cx0 + 16 + i * (bw + 4);
    Rect const b{x, y + 86, x + bw, y + 120};
    double const label_y = y + 86 + 9.5;
    if (i == 0) {
      fill_rounded_rect(scene, t, b, 8, theme.accent);
      draw_text_centered(text, scene, t, "Directions", 12, theme.on_accent, b.x0, b.x1, label_y);
      add_target(app, b, UiAction::Directions{});
    } else if (i == 1) {
      fill_rounded_rect(scene, t, b, 8, theme.surface_raised);
      stroke_rounded_rect(scene, t, b, 8, theme.border, 1);
      draw_text_centered(text, scene, t, "Transit", 12, theme.text, b.x0, b.x1, label_y);
      add_target(app, b, UiAction::Transit{});
    } else {
      fill_rounded_rect(scene, t, b, 8,
                        place.saved ? theme.accent.multiply_alpha(0.18f) : theme.surface_raised);
      stroke_rounded_rect(scene, t, b, 8, theme.border, 1);
      draw_text_centered(text, scene, t, place.saved ? "Saved \xE2\x9C\x93" : "Save", 12,
                         place.saved ? theme.accent : theme.text, b.x0, b.x1, label_y);
      add_target(app, b, UiAction::ToggleSaved{});
    }
  }
}

} // namespace

double draw_place_row(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                      Theme const& theme, Rect const& content, double y, Place const& place) {
  double const cx0 = content.x0;
  double const cx1 = content.x1;
  Rect const row{cx0, y, cx1, y + 48};
  add_target(app, row, UiAction::OpenSavedPlace{place.id});
  if (!row_shown(row, content)) {
    return y + ROW_PITCH;
  }
  if (app.model.selected && *app.model.selected == place.id) {
    fill_rounded_rect(scene, t, row, 8, theme.accent.multiply_alpha(0.14f));
  }
  fill_circle(scene, t, cx0 + 18, y + 24, 9, mix_colors(theme.accent, theme.surface, 0.78f));
  fill_circle(scene, t, cx0 + 18, y + 24, 3.2, theme.accent);
  double const width = cx1 - (cx0 + 36) - 50;
  paint_text_fitted(text, scene, t, place.name, 13, theme.text, cx0 + 36, y + 6, width);
  std::string_view const label = category_label(place.category);
  std::string const subtitle = place.address.empty()
                                   ? std::string(label)
                                   : fmt::format("{} \xC2\xB7 {}", label, place.address);
  paint_text_fitted(text, scene, t, subtitle, 11, theme.text_secondary, cx0 + 36, y + 24, width);
  // A row may hold a copy taken before the place was saved or unsaved (the search results):
  // the mark follows the model's place.
  Place const* stored = find_place(app.model, place.id);
  if (stored != nullptr ? stored->saved : place.saved) {
    draw_text_right(text, scene, t, "\xE2\x99\xA5", 12, theme.danger, cx1 - 8, y + 24);
  }
  return y + ROW_PITCH;
}

std::string poi_subtitle(Poi const& poi) {
  std::string_view const label = category_label(poi.category);
  if (!poi.address.empty()) {
    return fmt::format("{} \xC2\xB7 {}", label, poi.address);
  }
  if (poi.detail) {
    return fmt::format("{} \xC2\xB7 {}", label, *poi.detail);
  }
  return std::string(label);
}

double draw_poi_row(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                    Theme const& theme, Rect const& content, double y, Poi const& poi) {
  double const cx0 = content.x0;
  double const cx1 = content.x1;
  Rect const row{cx0, y, cx1, y + 48};
  add_target(app, row, UiAction::OpenPoi{poi.id});
  if (!row_shown(row, content)) {
    return y + ROW_PITCH;
  }
  if (app.selected_poi && *app.selected_poi == poi.id) {
    fill_rounded_rect(scene, t, row, 8, theme.accent.multiply_alpha(0.14f));
  }
  Color const disc = mix_colors(theme.accent, theme.surface, 0.78f);
  fill_circle(scene, t, cx0 + 18, y + 24, 11, disc);
  draw_category_glyph(scene, t, cx0 + 18, y + 24, 11, theme.text, disc, poi.category);

  LatLon const from = app.origin_or_center();
  std::string const distance =
      format_distance(haversine_m(from.lat, from.lon, poi.pos.lat, poi.pos.lon));
  draw_text_right(text, scene, t, distance, 11, theme.accent, cx1 - 8, y + 8);
  double const dw = measure_text(text, distance, 11);
  double const width = (cx1 - cx0 - 38) - (dw + 10);
  paint_text_fitted(text, scene, t, poi.name, 13, theme.text, cx0 + 38, y + 6, width);
  paint_text_fitted(text, scene, t, poi_subtitle(poi), 11, theme.text_secondary, cx0 + 38, y + 24,
                    width);
  return y + ROW_PITCH;
}

double draw_explore_content(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                            Theme const& theme, Rect const& content, double y) {
  double const cx0 = content.x0;
  double const cx1 = content.x1;
  MapModel const& model = app.model;
  Place const* selected = selected_place(model);
  std::vector<Place const*> const saved = saved_places(model);
  std::vector<Poi> const nearby = app.nearest_pois();

  if (selected == nullptr && model.results.empty() && saved.empty() && model.recents.empty() &&
      nearby.empty()) {
    paint_text_weighted(text, scene, t, "Find your way", 16, theme.text, cx0, y, 3);
    paint_text(text, scene, t, "Search for a place or address", 13, theme.text_secondary, cx0,
               y + 28);
    paint_text(text, scene, t, "to route and plan transit.", 13, theme.text_secondary, cx0, y + 46);
    add_text(app, text, "Find your way", 16, cx0, y, true);
    add_text(app, text, "Search for a place or address to route and plan transit.", 13, cx0, y + 28,
             false);
    return y + 78;
  }

  if (selected != nullptr) {
    draw_selected_card(app, scene, t, text, theme, cx0, cx1, y, *selected);
    y += 146;
  }

  if (!model.results.empty()) {
    section_heading(app, text, scene, t, theme, "RESULTS", cx0, y);
    y += 20;
    for (Place const& place : model.results) {
      y = draw_place_row(app, scene, t, text, theme, content, y, place);
    }
    y += 8;
  }

  if (!nearby.empty()) {
    section_heading(app, text, scene, t, theme, "NEARBY", cx0, y);
    y += 20;
    for (Poi const& poi : nearby) {
      y = draw_poi_row(app, scene, t, text, theme, content, y, poi);
    }
    y += 8;
  }

  if (!saved.empty()) {
    section_heading(app, text, scene, t, theme, "SAVED", cx0, y);
    y += 20;
    for (Place const* place : saved) {
      y = draw_place_row(app, scene, t, text, theme, content, y, *place);
    }
    y += 8;
  }

  if (!model.recents.empty()) {
    section_heading(app, text, scene, t, theme, "RECENT SEARCHES", cx0, y);
    std::string_view const clear = "Clear";
    draw_text_right(text, scene, t, clear, 11, theme.accent, cx1, y);
    add_target(app, Rect{cx1 - (measure_text(text, clear, 11) + 12), y - 5, cx1, y + 15},
               UiAction::ClearRecents{});
    y += 20;
    for (std::string const& query : model.recents) {
      add_target(app, Rect{cx0, y, cx1, y + 30}, UiAction::SearchAgain{query});
      if (!row_shown(Rect{cx0, y, cx1, y + 30}, content)) {
        y += 32;
        continue;
      }
      stroke_circle(scene, t, cx0 + 11, y + 15, 5, theme.text_secondary, 1.5);
      paint_text(text, scene, t, query, 12, theme.text, cx0 + 26, y + 7.5);
      y += 32;
    }
  }
  return y;
}

SidePanelShown side_panel_shown(MapsApp const& app) {
  bool const compact = app.compact();
  if ((compact && !app.nav_open) || search_suggestions_shown(app.search_box, app.model.query) ||
      app.side_panel_rect().height() < MIN_PANEL_HEIGHT) {
    return SidePanelShown::Nothing;
  }
  return !compact && app.panel_collapsed ? SidePanelShown::Stub : SidePanelShown::Full;
}

void draw_side_panel(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                     Theme const& theme) {
  // The endpoint rectangles describe this frame's directions content only; without it no stale
  // field may take a press or anchor a suggestion list.
  app.endpoints.hits.clear();
  app.endpoints.origin_rect.reset();
  app.endpoints.dest_rect.reset();
  bool const compact = app.compact();
  if (compact) {
    if (!app.nav_open) {
      return;
    }
    Rect const window = app.window_rect();
    fill_rect(scene, t, window, SCRIM);
    add_target(app, window, UiAction::CloseNavigation{});
  }
  SidePanelShown const shown = side_panel_shown(app);
  if (shown == SidePanelShown::Nothing) {
    return;
  }
  Rect const panel = app.side_panel_rect();
  double const left = panel.x0;
  double const top = panel.y0;
  double const right = panel.x1;
  double const bottom = panel.y1;

  if (shown == SidePanelShown::Stub) {
    Rect const stub{left, top, right, top + 60};
    draw_card(scene, t, stub, 14, theme.surface_raised, theme.border);
    add_target(app, stub, UiAction::None{});
    paint_text_weighted(text, scene, t, "Places", 15, theme.text, left + 14, top + 10 + 10.625, 2);
    header_button(app, scene, t, text, theme, Rect{right - 50, top + 10, right - 10, top + 50},
                  "\xC2\xBB", 16, theme.text, top + 10 + (40 - 20) / 2.0,
                  UiAction::TogglePanelCollapse{});
    app.panel_scroll[1] = 0.0;
    app.panel_scroll[2] = 0.0;
    return;
  }

  draw_card(scene, t, panel, 14, theme.surface_raised, theme.border);
  add_target(app, panel, UiAction::None{});

  bool const directions = app.model.panel == Panel::Directions;
  double title_x = left + 10 + 2;
  if (directions) {
    Rect const back{left + 10, top + 10, left + 50, top + 50};
    header_button(app, scene, t, text, theme, back, "\xE2\x80\xB9", 18, theme.text,
                  top + 10 + (40 - 22.5) / 2, UiAction::BackToPlaces{});
    title_x = back.x1 + 8 + 2;
  }
  paint_text_weighted(text, scene, t, directions ? "Directions" : "Places", 16, theme.text, title_x,
                      top + 10 + (40 - 20) / 2.0, 3);
  add_text(app, text, directions ? "Directions" : "Places", 16, title_x, top + 10 + (40 - 20) / 2.0,
           true);
  if (!compact) {
    header_button(app, scene, t, text, theme, Rect{right - 50, top + 10, right - 10, top + 50},
                  "\xC2\xAB", 16, theme.text_secondary, top + 10 + (40 - 20) / 2.0,
                  UiAction::TogglePanelCollapse{});
  }

  Rect const content{left + 10, top + 60, right - 10, bottom - 10};
  double const offset = app.panel_scroll[0];
  app.panel_scroll[2] = content.height();
  scene.push_layer(content, t);
  std::size_t const first_target = app.hit_targets.size();
  double const y0 = content.y0 - offset;
  double const end = directions ? draw_directions_panel(app, scene, t, text, theme, content, y0)
                                : draw_explore_content(app, scene, t, text, theme, content, y0);
  scene.pop_layer();
  clip_content_targets(app, first_target, content);
  app.panel_scroll[1] = end - content.y0 + offset;
  // Content that shrank under a scrolled panel (another travel mode, a shorter list) would
  // otherwise stay scrolled past its end, leaving the panel blank until the next wheel turn.
  app.panel_scroll[0] =
      std::clamp(offset, 0.0, std::max(app.panel_scroll[1] - app.panel_scroll[2], 0.0));
}

} // namespace maps
