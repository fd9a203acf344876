#include "draw/chrome_draw.h"

#include <algorithm>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/map_controls.h"
#include "app/maps_app.h"
#include "app/nav_card.h"
#include "draw/endpoint_editor_draw.h"
#include "draw/nav_card_draw.h"
#include "draw/offline_panel_draw.h"
#include "draw/search_box_draw.h"
#include "platform/widgets/button.h"
#include "platform/widgets/tooltip.h"
#include "ui/attribution_sheet.h"
#include "ui/labels.h"
#include "ui/palette.h"

namespace maps {

namespace {

using zarn_ui::Theme;

void draw_map_controls(MapsApp const& app, Scene& scene, Affine const& t, TextRenderer const& text,
                       Theme const& theme) {
  auto hot = [&](std::uint8_t i) { return app.hot_control == i; };
  using zarn_ui::widget::Button;
  Button::paint(scene, t, text, theme, map_control_rect(app.map_rect, 0), "+", "Zoom in", 10.0,
                22.0f, hot(0), zarn_ui::widget::BUTTON_TONE_NEUTRAL, 1);
  Button::paint(scene, t, text, theme, map_control_rect(app.map_rect, 1), "\xE2\x80\x93",
                "Zoom out", 10.0, 22.0f, hot(1), zarn_ui::widget::BUTTON_TONE_NEUTRAL, 1);

  Rect const locate = map_control_rect(app.map_rect, 2);
  draw_card(scene, t, locate, 10.0, hot(2) ? theme.surface_hover : theme.surface_raised,
            theme.border);
  auto const [lx, ly] = locate.center();
  stroke_circle(scene, t, lx, ly, 6.0, theme.accent, 2.0);
  fill_circle(scene, t, lx, ly, 2.0, theme.accent);
  constexpr double INNER = 0.7 * 9.0;
  constexpr double OUTER = 9.0;
  stroke_line(scene, t, lx, ly - INNER, lx, ly - OUTER, theme.accent, 2.0);
  stroke_line(scene, t, lx, ly + INNER, lx, ly + OUTER, theme.accent, 2.0);
  stroke_line(scene, t, lx - INNER, ly, lx - OUTER, ly, theme.accent, 2.0);
  stroke_line(scene, t, lx + INNER, ly, lx + OUTER, ly, theme.accent, 2.0);

  Rect const traffic = map_control_rect(app.map_rect, 3);
  Color const fill = hot(3) ? theme.surface_hover : theme.surface_raised;
  draw_card(scene, t, traffic, 10.0, fill, app.traffic_on ? theme.accent : theme.border);
  auto const [tx, ty] = traffic.center();
  auto light = [&](Color c) { return app.traffic_on ? c : mix_colors(c, fill, 0.55f); };
  fill_circle(scene, t, tx, ty - 8.0, 3.2, light(theme.danger));
  fill_circle(scene, t, tx, ty, 3.2, light(theme.warning));
  fill_circle(scene, t, tx, ty + 8.0, 3.2, light(theme.success));
}

/// Left edge of what floats at the bottom left: beside the side panel, or at the window's
/// margin when there is no expanded panel to avoid.
double bottom_left_limit(MapsApp const& app) {
  if (app.compact() || app.panel_collapsed) {
    return app.window_rect_.x0 + 16.0;
  }
  return app.side_panel_rect().x1 + 10.0;
}

void draw_traffic_legend(MapsApp const& app, Scene& scene, Affine const& t,
                         TextRenderer const& text, Theme const& theme) {
  if (app.compact() && app.nav_open) {
    return;
  }
  double const left = bottom_left_limit(app);
  double const bottom = app.window_rect_.y1 - 16.0;
  Color const fill = theme.surface_raised.multiply_alpha(0.96f);

  if (app.traffic.segments.empty()) {
    static constexpr std::string_view NO_DATA = "No traffic data";
    double const width = measure_text(text, NO_DATA, 12.0f) + 40.0;
    Rect const pill{left, bottom - 32.0, left + width, bottom};
    draw_card(scene, t, pill, 16.0, fill, theme.border);
    fill_circle(scene, t, left + 16.0, (pill.y0 + pill.y1) / 2.0, 3.6, theme.overlay_text_muted);
    paint_text(text, scene, t, NO_DATA, 12.0f, theme.overlay_text, left + 27.0, pill.y0 + 8.5);
    return;
  }

  Rect const card{left, bottom - 118.0, left + 180.0, bottom};
  double const top = card.y0;
  draw_card(scene, t, card, 12.0, fill, theme.border);
  paint_text_weighted(text, scene, t, "Traffic", 12.0f, theme.overlay_text, left + 12.0, top + 12.0,
                      2);
  if (app.traffic.source) {
    double const x = left + 12.0 + measure_text(text, "Traffic", 12.0f) + 8.0;
    paint_text_fitted(text, scene, t, fmt::format("\xC2\xB7 {}", *app.traffic.source), 10.0f,
                      theme.overlay_text_muted, x, top + 12.0, (left + 180.0 - 12.0) - x);
  }
  static constexpr std::string_view LEVEL_NAMES[4] = {"Free flowing", "Moderate", "Heavy",
                                                      "Standstill"};
  MapPalette const palette = map_palette(theme);
  auto const counts = count_traffic_levels(app.traffic.segments);
  for (std::size_t level = 0; level < 4; ++level) {
    double const y = top + 34.0 + 19.0 * static_cast<double>(level);
    fill_rounded_rect(scene, t, Rect{left + 12.0, y + 3.0, left + 30.0, y + 9.0}, 3.0,
                      palette.traffic[level]);
    paint_text(text, scene, t, LEVEL_NAMES[level], 11.0f, theme.overlay_text, left + 38.0, y);
    draw_text_right(text, scene, t, fmt::format("{}", counts[level]), 11.0f,
                    theme.overlay_text_muted, left + 168.0, y);
  }
}

void draw_navigation_toggle(MapsApp& app, Scene& scene, Affine const& t, Theme const& theme,
                            Rect const& r) {
  draw_card(scene, t, r, 12.0, theme.surface_raised,
            app.nav_open ? theme.focus_border : theme.border);
  auto const [cx, cy] = r.center();
  Color const bars = app.nav_open ? theme.accent : theme.text;
  for (double dy : {-5.0, 0.0, 5.0}) {
    stroke_line(scene, t, cx - 8.0, cy + dy, cx + 8.0, cy + dy, bars, 2.0);
  }
  app.hit_targets.push_back(HitTarget{r, UiAction::ToggleNavigation{}});
}

void draw_status_pill(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                      Theme const& theme) {
  std::string const& status = app.model.status;
  if (!status_pill_shown(status, app.model.status_kind, app.jobs_in_flight)) {
    return;
  }
  auto const pill = status_pill_rect(app, measure_text(text, status, 12.0f));
  if (!pill) {
    return;
  }
  app.status_rect = *pill;
  double const left = pill->x0;
  double const top = pill->y0;
  draw_card(scene, t, *pill, 15.0, theme.surface_raised, theme.border);
  fill_circle(scene, t, left + 16.0, top + 15.0, 4.0,
              status_dot_color(app.model.status_kind, theme));
  paint_text_fitted(text, scene, t, status, 12.0f, theme.text, left + 28.0, top + 7.5,
                    pill->width() - 36.0);
}

struct PoiRow {
  std::string_view glyph;
  std::string_view value;
  bool link = false;
};

std::vector<PoiRow> poi_rows(Poi const& poi) {
  std::vector<PoiRow> rows;
  if (!poi.address.empty()) {
    rows.push_back({"\xE2\x97\x8E", poi.address}); // ◎
  }
  if (poi.opening_hours) {
    rows.push_back({"\xE2\x97\xB7", *poi.opening_hours}); // ◷
  }
  if (poi.phone) {
    rows.push_back({"\xE2\x9C\x86", *poi.phone}); // ✆
  }
  if (poi.website) {
    rows.push_back({"\xE2\x9A\x93", *poi.website, true}); // ⚓
  }
  return rows;
}

Poi const* selected_nearby_poi(MapsApp const& app) {
  if (!app.selected_poi) {
    return nullptr;
  }
  for (auto const& poi : app.nearby_pois) {
    if (poi.id == *app.selected_poi) {
      return &poi;
    }
  }
  return nullptr;
}

void draw_poi_card(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                   Theme const& theme, Poi const& poi) {
  std::vector<PoiRow> const rows = poi_rows(poi);
  Rect const card = poi_card_rect(app, rows.size());
  double const left = card.x0;
  double const right = card.x1;
  double const top = card.y0;
  double const width = card.width();

  draw_card(scene, t, card, 16.0, theme.surface_raised, theme.border);
  app.hit_targets.push_back(HitTarget{card, UiAction::None{}});
  fill_rounded_rect(scene, t, Rect{left, top, left + 5.0, card.y1}, 16.0,
                    category_color(theme, poi.category));

  draw_text_centered(text, scene, t, "\xE2\x9C\x95", 14.0f, theme.text_secondary, right - 36.0,
                     right - 10.0, top + 14.0); // ✕
  app.hit_targets.push_back(
      HitTarget{Rect{right - 36.0, top + 12.0, right - 10.0, top + 38.0}, UiAction::ClosePoi{}});

  paint_text_weighted(text, scene, t, poi.name, 18.0f, theme.text, left + 16.0, top + 14.0, 3);
  std::string_view const label = category_label(poi.category);
  paint_text(text, scene, t, label, 12.0f, theme.accent, left + 16.0, top + 40.0);
  if (poi.detail) {
    double const lw = measure_text(text, label, 12.0f);
    paint_text_fitted(text, scene, t, fmt::format("\xC2\xB7 {}", *poi.detail), 12.0f,
                      theme.text_secondary, left + 16.0 + lw + 10.0, top + 40.0,
                      (width - 32.0) - lw - 10.0);
  }

  double y = top + 64.0;
  for (auto const& row : rows) {
    paint_text(text, scene, t, row.glyph, 12.0f, theme.text_secondary, left + 16.0, y);
    paint_text_fitted(text, scene, t, row.value, 12.0f, row.link ? theme.accent : theme.text,
                      left + 36.0, y, (width - 32.0) - 20.0);
    y += 24.0;
  }

  // 30 below the last row's top, which is top + 70 when there are no rows.
  double const yb = top + 70.0 + 24.0 * static_cast<double>(rows.size());
  Rect const button{left + 16.0, yb, right - 16.0, yb + 36.0};
  fill_rounded_rect(scene, t, button, 9.0, theme.accent);
  draw_text_centered(text, scene, t, "Directions", 13.0f, theme.on_accent, button.x0, button.x1,
                     yb + 9.875);
  app.hit_targets.push_back(HitTarget{button, UiAction::PoiDirections{}});
}

bool offline_download_running(MapsApp const& app) {
  return app.tiles.offline_total != 0 && app.tiles.offline_done < app.tiles.offline_total;
}

void paint_overflow_button(MapsApp const& app, Scene& scene, Affine const& t, Theme const& theme) {
  Rect const r = overflow_button_rect(app.window_rect_);
  bool const open = app.overflow_menu.is_open();
  draw_card(scene, t, r, 10.0, theme.surface_raised,
            open || offline_download_running(app) ? theme.accent : theme.border);
  auto const [cx, cy] = r.center();
  Color const dots = open ? theme.accent : theme.text;
  for (double dx : {-6.0, 0.0, 6.0}) {
    fill_circle(scene, t, cx + dx, cy, 1.9, dots);
  }
}

void draw_overflow_button(MapsApp& app, Scene& scene, Affine const& t, Theme const& theme) {
  paint_overflow_button(app, scene, t, theme);
  app.hit_targets.push_back(
      HitTarget{overflow_button_rect(app.window_rect_), UiAction::Overflow{}});
}

} // namespace

bool map_under_scrim(MapsApp const& app) {
  return app.compact() && app.nav_open;
}

void draw_map_controls_under_scrim(MapsApp const& app, Scene& scene, Affine const& t,
                                   TextRenderer const& text, Theme const& theme) {
  draw_map_controls(app, scene, t, text, theme);
  paint_overflow_button(app, scene, t, theme);
}

Rect overflow_button_rect(Rect const& window) {
  return {window.x1 - 56.0, window.y1 - 46.0, window.x1 - 16.0, window.y1 - 16.0};
}

std::array<std::uint64_t, 4> count_traffic_levels(std::span<TrafficSegment const> segments) {
  std::array<std::uint64_t, 4> counts{};
  for (auto const& segment : segments) {
    if (segment.level < counts.size()) {
      ++counts[segment.level];
    }
  }
  return counts;
}

Color status_dot_color(StatusKind kind, Theme const& theme) {
  switch (kind) {
  case StatusKind::Error:
    return theme.danger;
  case StatusKind::Warning:
    return theme.warning;
  case StatusKind::Note:
    break;
  }
  return theme.accent;
}

bool status_pill_shown(std::string_view status, StatusKind kind, std::uint32_t jobs_in_flight) {
  if (status.empty()) {
    return false;
  }
  return jobs_in_flight > 0 || status.find("\xE2\x80\xA6") != std::string_view::npos ||
         kind != StatusKind::Note;
}

std::optional<Rect> status_pill_rect(MapsApp const& app, double text_width) {
  // The pill sits over the map, between what takes the window's top rows on either side: the
  // side panel (or its collapsed stub) on the left, the map controls on the right.
  bool const panel_shown = !app.compact() || app.nav_open;
  double const left = panel_shown ? app.side_panel_rect().x1 + 10.0 : app.window_rect_.x0 + 16.0;
  double const right = map_control_rect(app.map_rect, 0).x0 - 10.0;
  double const room = right - left;
  double const wanted = text_width + 36.0;
  if (room < std::min(wanted, STATUS_PILL_MIN_WIDTH)) {
    return std::nullopt;
  }
  double const width = std::min({wanted, room, STATUS_PILL_MAX_WIDTH});
  double const x0 = (left + right) / 2.0 - width / 2.0;
  double const top = app.window_rect_.y0 + 74.0;
  return Rect{x0, top, x0 + width, top + 30.0};
}

Rect poi_card_rect(MapsApp const& app, std::size_t rows) {
  double const left_limit = bottom_left_limit(app);
  double const right_limit = app.window_rect_.x1 - 16.0;
  double const width = std::min(std::max(right_limit - left_limit, 200.0), 360.0);
  double const left = std::max((left_limit + right_limit) / 2.0 - width / 2.0, left_limit);
  double const bottom = app.window_rect_.y1 - 54.0;
  double const height = static_cast<double>(rows) * 24.0 + 118.0;
  Rect const card{left, bottom - height, left + width, bottom};
  if (!nav_card_painted_in_window(app)) {
    return card;
  }
  // The navigation card keeps its place; this card moves above it, or else below it.
  Rect const nav = nav_card_window_rect(app);
  if (card.intersect(nav).is_empty()) {
    return card;
  }
  double const top_limit = app.window_rect_.y0 + 74.0;
  if (nav.y0 - 10.0 - height >= top_limit) {
    return {left, nav.y0 - 10.0 - height, left + width, nav.y0 - 10.0};
  }
  if (nav.y1 + 10.0 + height <= app.window_rect_.y1 - 16.0) {
    return {left, nav.y1 + 10.0, left + width, nav.y1 + 10.0 + height};
  }
  return card;
}

void draw_map_chrome(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                     zarn_ui::Theme const& theme) {
  bool const under_scrim = map_under_scrim(app);
  if (!under_scrim) {
    draw_map_controls(app, scene, t, text, theme);
  }
  if (app.traffic_on) {
    draw_traffic_legend(app, scene, t, text, theme);
  }
  if (auto const menu = app.compact_menu_rect()) {
    draw_navigation_toggle(app, scene, t, theme, *menu);
  }
  draw_search_box(app, scene, t, text, theme);
  bool const suggestions = search_suggestions_shown(app.search_box, app.model.query);
  if (!suggestions) {
    draw_status_pill(app, scene, t, text, theme);
  }
  // The card belongs to the map: with the compact panel open it would cover the panel.
  if (Poi const* poi = selected_nearby_poi(app); poi != nullptr && !under_scrim) {
    draw_poi_card(app, scene, t, text, theme, *poi);
  }
  if (suggestions) {
    draw_search_suggestions(app, scene, t, text, theme);
  }
  if (app.model.panel == Panel::Directions) {
    draw_endpoint_suggestions(app, scene, t, text, theme);
  }
  if (nav_card_painted_in_window(app)) {
    draw_nav_card(app, scene, t, text, theme, nav_card_window_rect(app));
  } else if (app.nav_flags[1] && !app.nav_placement.is_in_window()) {
    // Its own surface paints it next, with its rectangles; the hover there stays.
    app.nav_card_rects = {};
  } else {
    forget_nav_card_rects(app); // nothing of the card can be pressed where it is not painted
  }
  // The search box's targets in one run after the map view's other floating elements: the
  // list, painted over the place card, takes its presses, and the window's overflow button,
  // painted over everything, still takes its own.
  drain_search_targets(app);
  if (!under_scrim) {
    draw_overflow_button(app, scene, t, theme);
  }
  // The offline panel's scrim covers the card and the overflow button: they stay dimmed under
  // it and the panel takes every press.
  if (app.offline_panel.open) {
    draw_offline_panel(app, scene, t, text, theme);
  }
  if (app.overflow_menu.is_open()) {
    app.overflow_menu.draw(scene, t, text, theme, app.window_rect_, zarn_ui::PresenceCtx::empty());
  }
  draw_attribution_sheet(app.attribution_sheet, scene, t, text, theme, app.window_rect_);

  app.tooltips.tick(app.now());
  if (auto const tip = app.tooltips.shown()) {
    zarn_ui::widget::tooltip::draw_hover_tooltip(scene, t, text, theme, tip->text, tip->anchor,
                                                 app.window_rect_);
  }
}

} // namespace maps
