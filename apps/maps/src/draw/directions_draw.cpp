#include "draw/directions_draw.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "base/saturate.h"
#include "draw/endpoint_editor_draw.h"
#include "draw/panel_targets.h"
#include "model/ops.h"
#include "ui/format.h"
#include "ui/labels.h"
#include "ui/palette.h"

namespace maps {

namespace {

using zarn_ui::Theme;

constexpr Color WHITE = zarn_ui::colors::WHITE;

/// Road durations beyond this many seconds do not fit a signed count of milliseconds; such a
/// route shows no clock times rather than times from a wrapped sum.
constexpr double MAX_DURATION_S = 9.2e15;

ZonedTime zoned(OffsetDateTime const& when, std::int64_t plus_s) {
  return ZonedTime{when.utc.time_since_epoch().count() + plus_s,
                   base::saturating_cast<std::int32_t>(static_cast<double>(when.offset.count()))};
}

bool time_is_now(TransitTime const& time) {
  return time.mode == TransitTimeMode::Depart && time.offset_min == 0;
}

} // namespace

std::string_view maneuver_glyph(Maneuver maneuver) {
  switch (maneuver) {
  case Maneuver::Depart:
    return "\xE2\x97\x89"; // ◉
  case Maneuver::Continue:
    return "\xE2\x86\x91"; // ↑
  case Maneuver::SlightLeft:
    return "\xE2\x86\x96"; // ↖
  case Maneuver::Left:
    return "\xE2\x86\x90"; // ←
  case Maneuver::SharpLeft:
    return "\xE2\x86\xA9"; // ↩
  case Maneuver::SlightRight:
    return "\xE2\x86\x97"; // ↗
  case Maneuver::Right:
    return "\xE2\x86\x92"; // →
  case Maneuver::SharpRight:
    return "\xE2\x86\xAA"; // ↪
  case Maneuver::Uturn:
    return "\xE2\x87\xA9"; // ⇩
  case Maneuver::Roundabout:
    return "\xE2\x86\xBB"; // ↻
  case Maneuver::Merge:
    return "\xE2\x86\x91"; // ↑
  case Maneuver::Arrive:
    return "\xE2\x9A\x91"; // ⚑
  }
  return "\xE2\x86\x91";
}

std::string_view leg_mode_label(LegMode mode) {
  switch (mode) {
  case LegMode::Walk:
    return "Walk";
  case LegMode::Bus:
    return "Bus";
  case LegMode::Tram:
    return "Tram";
  case LegMode::Subway:
    return "Metro";
  case LegMode::Rail:
    return "Train";
  case LegMode::Ferry:
    return "Ferry";
  }
  return "Walk";
}

std::string transfers_text(std::uint32_t transfers) {
  if (transfers == 0) {
    return "direct";
  }
  return fmt::format("{} change{}", transfers, transfers == 1 ? "" : "s");
}

namespace {

struct Ctx {
  MapsApp& app;
  Scene& scene;
  Affine const& t;
  TextRenderer const& text;
  Theme const& theme;
  double L;
  double R;
  double W;
};

void draw_endpoints(Ctx const& c, double Y) {
  EndpointEditor& ed = c.app.endpoints;
  MapModel const& model = c.app.model;
  ed.hits.clear();

  Rect const origin_rect{c.L, Y, c.R - 42, Y + 40};
  Rect const dest_rect{c.L, Y + 48, c.R - 42, Y + 88};
  ed.origin_rect = origin_rect;
  ed.dest_rect = dest_rect;

  // Outside editing the inputs mirror the model; the active one keeps what the user types.
  if (ed.active != ORIGIN_FIELD) {
    ed.origin_input.set_text(model.origin ? std::string_view(model.origin_name) : "");
  }
  if (ed.active != DEST_FIELD) {
    std::string_view shown;
    if (!model.dest_name.empty()) {
      shown = model.dest_name;
    } else if (Place const* selected = selected_place(model)) {
      shown = selected->name;
    }
    ed.dest_input.set_text(shown);
  }

  Rect const origin_input =
      draw_endpoint_field(ed, c.scene, c.t, c.theme, origin_rect, c.theme.accent, ORIGIN_FIELD);
  ed.origin_input.set_rect(origin_input);
  ed.origin_input.draw(c.scene, c.t, c.text, c.theme);
  Rect const dest_input =
      draw_endpoint_field(ed, c.scene, c.t, c.theme, dest_rect, c.theme.danger, DEST_FIELD);
  ed.dest_input.set_rect(dest_input);
  ed.dest_input.draw(c.scene, c.t, c.text, c.theme);

  Rect const swap{c.R - 34, Y + 20, c.R, Y + 68};
  fill_rounded_rect(c.scene, c.t, swap, 8, c.theme.surface_raised);
  stroke_rounded_rect(c.scene, c.t, swap, 8, c.theme.border, 1);
  draw_text_centered(c.text, c.scene, c.t, "\xE2\x87\x85", 16, c.theme.text, swap.x0, swap.x1,
                     (swap.y0 + swap.y1) / 2 - 8);
  ed.hits.push_back(EndpointHit{swap, EndpointHitKind::Swap, NO_FIELD, 0});
}

void draw_location_chip(Ctx const& c, double Y) {
  bool const locating = c.app.locating;
  std::string_view const label = locating ? "Locating\xE2\x80\xA6" : "Use my location";
  double const w = measure_text(c.text, label, 13) + 44;
  Rect const chip{c.L, Y + 98, c.L + w, Y + 128};
  fill_rounded_rect(c.scene, c.t, chip, 8,
                    locating ? c.theme.accent.multiply_alpha(0.16f) : c.theme.surface);
  stroke_rounded_rect(c.scene, c.t, chip, 8, c.theme.border, 1);
  double const cx = c.L + 18;
  double const cy = Y + 113;
  stroke_circle(c.scene, c.t, cx, cy, 5, c.theme.accent, 1.6);
  fill_circle(c.scene, c.t, cx, cy, 1.6, c.theme.accent);
  constexpr Point ticks[] = {{0, -8}, {0, 8}, {-8, 0}, {8, 0}};
  for (Point const v : ticks) {
    stroke_line(c.scene, c.t, cx + 0.7 * v.x, cy + 0.7 * v.y, cx + v.x, cy + v.y, c.theme.accent,
                1.4);
  }
  paint_text(c.text, c.scene, c.t, label, 13, c.theme.accent, c.L + 34, Y + 104.875);
  add_target(c.app, chip,
             locating ? UiAction{UiAction::None{}} : UiAction{UiAction::UseMyLocation{}});
}

void draw_mode_tabs(Ctx const& c, double Y) {
  Rect const bar{c.L, Y + 142, c.R, Y + 182};
  fill_rounded_rect(c.scene, c.t, bar, 9, c.theme.surface);
  constexpr TravelMode order[] = {TravelMode::Car, TravelMode::Transit, TravelMode::Bike,
                                  TravelMode::Foot};
  double const tab_w = c.W / 4;
  for (std::size_t i = 0; i < 4; ++i) {
    Rect const tab{c.L + tab_w * static_cast<double>(i), bar.y0,
                   c.L + tab_w * static_cast<double>(i + 1), bar.y1};
    bool const active = c.app.model.mode == order[i];
    if (active) {
      fill_rounded_rect(c.scene, c.t, tab.inflate(-3, -3), 7, c.theme.accent);
    }
    draw_text_centered(c.text, c.scene, c.t, travel_mode_display_name(order[i]), 12,
                       active ? c.theme.on_accent : c.theme.text_secondary, tab.x0, tab.x1,
                       tab.y0 + 12.5);
    add_target(c.app, tab, UiAction::TravelMode{order[i]});
  }
}

/// Answers the y at which the content continues below the control.
double draw_time_control(Ctx const& c, double Y) {
  TransitTime const time = c.app.model.transit_time;
  double const T = Y + 194;
  double const s = std::min((c.W - 8) / 2, 150.0);
  fill_rounded_rect(c.scene, c.t, Rect{c.L, T, c.L + s, T + 36}, 9, c.theme.surface);
  for (int half = 0; half < 2; ++half) {
    bool const arrive = half == 1;
    Rect const r{c.L + s / 2 * half, T, c.L + s / 2 * (half + 1), T + 36};
    bool const on = (time.mode == TransitTimeMode::Arrive) == arrive;
    if (on) {
      Rect const inner = r.inflate(-3, -3);
      fill_rounded_rect(c.scene, c.t, inner, 7, c.theme.accent.multiply_alpha(0.14f));
      stroke_rounded_rect(c.scene, c.t, inner, 7, c.theme.accent, 1);
    }
    draw_text_centered(c.text, c.scene, c.t, arrive ? "Arrive" : "Leave", 12,
                       on ? c.theme.accent : c.theme.text_secondary, r.x0, r.x1, T + 10.5);
    add_target(c.app, r, UiAction::TransitTimeMode{arrive});
  }

  Rect const minus{c.L + s + 8, T, c.L + s + 46, T + 36};
  Rect const plus{c.R - 38, T, c.R, T + 36};
  fill_rounded_rect(c.scene, c.t, minus, 8, c.theme.surface);
  draw_text_centered(c.text, c.scene, c.t, "\xE2\x80\x93", 18, c.theme.text, minus.x0, minus.x1,
                     T + 6.75);
  add_target(c.app, minus, UiAction::TransitTimeDelta{-15});
  fill_rounded_rect(c.scene, c.t, plus, 8, c.theme.surface);
  draw_text_centered(c.text, c.scene, c.t, "+", 18, c.theme.text, plus.x0, plus.x1, T + 6.75);
  add_target(c.app, plus, UiAction::TransitTimeDelta{15});

  bool const now = time_is_now(time);
  std::string const shown =
      now ? std::string("Now")
          : format_clock(zoned(c.app.transit_now(), std::int64_t{time.offset_min} * 60));
  draw_text_centered(c.text, c.scene, c.t, shown, 15, c.theme.accent, minus.x1, plus.x0, T + 8.625);

  if (now) {
    return T + 54;
  }
  std::string_view const reset = "Reset to now";
  double const w = measure_text(c.text, reset, 12);
  Rect const chip{c.L, T + 44, c.L + w + 20, T + 70};
  fill_rounded_rect(c.scene, c.t, chip, 8, c.theme.surface_raised);
  stroke_rounded_rect(c.scene, c.t, chip, 8, c.theme.border, 1);
  draw_text_centered(c.text, c.scene, c.t, reset, 12, c.theme.text, chip.x0, chip.x1, T + 49.5);
  add_target(c.app, chip, UiAction::LeaveNow{});
  return chip.y1 + 18;
}

double draw_road_summary(Ctx const& c, double U) {
  MapModel const& model = c.app.model;
  if (!model.route) {
    // With a destination still filled in (the route was ended or cleared) the hint to choose
    // one would contradict the fields above.
    std::string_view const hint =
        model.dest ? "Route cleared." : "Select a place, then tap Directions.";
    paint_text(c.text, c.scene, c.t, hint, 13, c.theme.text_secondary, c.L, U);
    return U + 24;
  }
  Route const& route = *model.route;
  std::string const duration = format_duration(route.duration_s);
  // The distance follows the duration as drawn (bold, at the theme's text scale); both stop
  // short of "Clear" and are cut with "…" when a route's texts are too long for the line.
  double const line_end = c.R - 72;
  double const duration_w =
      std::min(measure_text_weighted(c.text, duration, 26, 3), std::max(line_end - c.L, 0.0));
  paint_text_weighted_fitted(c.text, c.scene, c.t, duration, 26, c.theme.accent, c.L, U, 3,
                             line_end - c.L);
  double const distance_x = c.L + duration_w + 12;
  if (distance_x < line_end) {
    paint_text_fitted(c.text, c.scene, c.t,
                      fmt::format("\xC2\xB7 {}", format_distance(route.distance_m)), 14,
                      c.theme.text_secondary, distance_x, U + 8, line_end - distance_x);
  }

  draw_text_right(c.text, c.scene, c.t, "Clear", 12, c.theme.danger, c.R - 4, U + 8);
  add_target(c.app, Rect{c.R - 64, U + 2, c.R, U + 28}, UiAction::ClearRoute{});

  TransitTime const time = model.transit_time;
  if (std::isfinite(route.duration_s) && std::abs(route.duration_s) <= MAX_DURATION_S) {
    auto const duration_s = base::saturating_cast<std::int64_t>(route.duration_s);
    std::int64_t const offset_s = std::int64_t{time.offset_min} * 60;
    bool const arrive_mode = time.mode == TransitTimeMode::Arrive;
    OffsetDateTime const now = c.app.transit_now();
    ZonedTime const leave = zoned(now, arrive_mode ? offset_s - duration_s : offset_s);
    ZonedTime const arrive = zoned(now, arrive_mode ? offset_s : offset_s + duration_s);
    double const ty = U + 40;
    std::string const arrive_text = fmt::format("Arrive {}", format_clock(arrive));
    if (time_is_now(time)) {
      paint_text_weighted(c.text, c.scene, c.t, arrive_text, 13, c.theme.text_secondary, c.L, ty,
                          1);
    } else {
      std::string const leave_text = fmt::format("Leave {}", format_clock(leave));
      double const lw = measure_text(c.text, leave_text, 13);
      paint_text_weighted(c.text, c.scene, c.t, leave_text, 13, c.theme.text, c.L, ty, 1);
      paint_text_weighted(c.text, c.scene, c.t, "\xE2\x86\x92", 13, c.theme.text_secondary,
                          c.L + lw + 10, ty, 1);
      paint_text_weighted(c.text, c.scene, c.t, arrive_text, 13, c.theme.text, c.L + lw + 30, ty,
                          1);
    }
  }

  stroke_line(c.scene, c.t, c.L, U + 68, c.R, U + 68, c.theme.border, 1);
  double const S = U + 82;
  double y = S;
  std::size_t const n = route.steps.size();
  for (std::size_t i = 0; i < n; ++i) {
    RouteStep const& step = route.steps[i];
    y = S + 46.0 * static_cast<double>(i);
    fill_circle(c.scene, c.t, c.L + 16, y + 19, 13, c.theme.accent.multiply_alpha(0.16f));
    draw_text_centered(c.text, c.scene, c.t, maneuver_glyph(step.maneuver), 15, c.theme.accent,
                       c.L + 3, c.L + 29, y + 10);
    paint_text_fitted(c.text, c.scene, c.t, step.instruction, 13, c.theme.text, c.L + 38, y,
                      c.W - 80);
    if (step.distance_m >= 1.0) {
      draw_text_right(c.text, c.scene, c.t, format_distance(step.distance_m), 11,
                      c.theme.text_secondary, c.R - 4, y + 18);
    }
    c.app.drawn_texts.push_back(
        DrawnText{step.distance_m >= 1.0
                      ? fmt::format("{}, {}", step.instruction, format_distance(step.distance_m))
                      : step.instruction,
                  Rect{c.L, y, c.R, y + 38}, false, fmt::format("maps.step:{}", i)});
    if (i + 1 < n) {
      stroke_line(c.scene, c.t, c.L + 16, y + 32, c.L + 16, y + 46 + 9,
                  c.theme.accent.multiply_alpha(0.4f), 1.5);
    }
  }
  return n == 0 ? S : y + 46;
}

std::string leg_title(TransitLeg const& leg) {
  if (leg.line.empty()) {
    return fmt::format("Walk \xC2\xB7 {} min", std::max<std::uint32_t>(leg.duration_min, 1));
  }
  std::string title = fmt::format("{} {}", leg_mode_label(leg.mode), leg.line);
  if (!leg.headsign.empty()) {
    title += fmt::format(" \xE2\x86\x92 {}", leg.headsign);
  }
  return title;
}

std::string leg_subtitle(TransitLeg const& leg) {
  if (leg.line.empty()) {
    return fmt::format("to {}", leg.to_name);
  }
  return fmt::format("{} \xE2\x86\x92 alight {} \xC2\xB7 {} stops", leg.from_name, leg.to_name,
                     leg.num_stops);
}

void draw_leg_chips(Ctx const& c, TransitJourney const& journey, double y) {
  double x = c.L + 12;
  double const cy = y + 38;
  for (std::size_t i = 0; i < journey.legs.size(); ++i) {
    TransitLeg const& leg = journey.legs[i];
    if (i > 0) {
      paint_text(c.text, c.scene, c.t, "\xE2\x80\xBA", 13, c.theme.text_secondary, x, cy + 2);
      x += 14;
    }
    if (leg.mode == LegMode::Walk) {
      std::string const walk =
          fmt::format("walk {}m", std::max<std::uint32_t>(leg.duration_min, 1));
      paint_text(c.text, c.scene, c.t, walk, 11, c.theme.text_secondary, x, cy + 3);
      x += measure_text(c.text, walk, 11) + 10;
    } else {
      std::string_view const label =
          leg.line.empty() ? leg_mode_label(leg.mode) : std::string_view(leg.line);
      double const w = measure_text(c.text, label, 12);
      Rect const chip{x, cy, x + w + 16, cy + 22};
      fill_rounded_rect(c.scene, c.t, chip, 6, leg_color(c.theme, leg));
      std::optional<Color> const fg =
          leg.text_color ? parse_hex_color(*leg.text_color) : std::nullopt;
      draw_text_centered(c.text, c.scene, c.t, label, 12, fg.value_or(WHITE), chip.x0, chip.x1,
                         cy + 3.5);
      x += w + 22;
    }
    if (x > c.R - 40) {
      break;
    }
  }
}

double draw_leg_list(Ctx const& c, TransitJourney const& journey, double y) {
  for (TransitLeg const& leg : journey.legs) {
    Color const lc = leg_color(c.theme, leg);
    stroke_line(c.scene, c.t, c.L + 16, y + 4, c.L + 16, y + 36, lc, 3);
    fill_circle(c.scene, c.t, c.L + 16, y + 8, 4, lc);
    std::string const title = ellipsize_text(c.text, leg_title(leg), 12, c.W - 120);
    paint_text_fitted(c.text, c.scene, c.t, title, 12, c.theme.text, c.L + 32, y, c.W - 120);
    if (leg.realtime) {
      double const tw = measure_text(c.text, title, 12);
      fill_circle(c.scene, c.t, c.L + 32 + tw + 11, y + 7, 3, c.theme.success);
      paint_text(c.text, c.scene, c.t, "live", 10, c.theme.success, c.L + 32 + tw + 17, y + 1);
    }
    paint_text_fitted(c.text, c.scene, c.t, leg_subtitle(leg), 11, c.theme.text_secondary, c.L + 32,
                      y + 16, c.W - 90);
    draw_text_right(c.text, c.scene, c.t, fmt::format("{}\xE2\x80\x93{}", leg.dep, leg.arr), 11,
                    c.theme.text_secondary, c.R - 8, y + 4);
    y += 38;
  }
  return y + 6;
}

std::string credit_text(std::vector<TransitJourney> const& journeys) {
  bool live = false;
  std::string_view agency;
  for (auto const& journey : journeys) {
    for (auto const& leg : journey.legs) {
      live = live || leg.realtime;
      if (agency.empty() && !leg.agency.empty()) {
        agency = leg.agency;
      }
    }
  }
  std::string_view const source = live ? "Live times" : "Scheduled times";
  if (agency.empty()) {
    return fmt::format("{} \xC2\xB7 via Transitous (MOTIS)", source);
  }
  return fmt::format("{} \xC2\xB7 via Transitous (MOTIS) \xC2\xB7 {}", source, agency);
}

double draw_transit(Ctx const& c, double U) {
  MapModel const& model = c.app.model;
  Place const* selected = selected_place(model);
  std::string_view target = "destination";
  if (!model.dest_name.empty()) {
    target = model.dest_name;
  } else if (selected != nullptr) {
    target = selected->name;
  }
  paint_text_weighted(c.text, c.scene, c.t, fmt::format("Departures to {}", target), 14,
                      c.theme.text, c.L, U, 2);
  U += 26;

  if (model.transit.empty()) {
    std::string_view line = "Choose a destination to see departures.";
    if (c.app.jobs_in_flight > 0) {
      line = "Finding departures\xE2\x80\xA6";
    } else if (model.dest || selected != nullptr) {
      line = "No public-transport itineraries found.";
    }
    paint_text(c.text, c.scene, c.t, line, 13, c.theme.text_secondary, c.L, U);
    return U + 24;
  }

  std::vector<TransitJourney> const journeys = model.transit;
  double y = U;
  for (std::size_t k = 0; k < journeys.size(); ++k) {
    TransitJourney const& journey = journeys[k];
    Rect const card{c.L, y, c.R, y + 86};
    bool const chosen = k == model.transit_choice;
    if (chosen) {
      fill_rounded_rect(c.scene, c.t, card, 10, c.theme.accent.multiply_alpha(0.12f));
      stroke_rounded_rect(c.scene, c.t, card, 10, c.theme.accent, 1.5);
    } else {
      fill_rounded_rect(c.scene, c.t, card, 10, c.theme.surface);
    }
    paint_text_weighted(c.text, c.scene, c.t,
                        fmt::format("{} \xE2\x80\x93 {}", journey.dep, journey.arr), 15,
                        c.theme.text, c.L + 12, y + 10, 3);
    draw_text_right(c.text, c.scene, c.t, fmt::format("{} min", journey.duration_min), 14,
                    c.theme.accent, c.R - 12, y + 10);
    draw_text_right(c.text, c.scene, c.t, transfers_text(journey.transfers), 11,
                    c.theme.text_secondary, c.R - 12, y + 30);
    draw_leg_chips(c, journey, y);
    add_target(c.app, card, UiAction::SelectJourney{k});
    y += 96;
    if (chosen) {
      y = draw_leg_list(c, journey, y);
    }
  }

  stroke_line(c.scene, c.t, c.L, y, c.R, y, c.theme.border, 1);
  paint_text_fitted(c.text, c.scene, c.t, credit_text(journeys), 10, c.theme.text_secondary, c.L,
                    y + 10, c.W);
  return y + 28;
}

} // namespace

double draw_directions_panel(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                             Theme const& theme, Rect const& content, double y) {
  Ctx const c{app, scene, t, text, theme, content.x0, content.x1, content.x1 - content.x0};
  draw_endpoints(c, y);
  draw_location_chip(c, y);
  draw_mode_tabs(c, y);
  double const u = draw_time_control(c, y);
  if (app.model.mode == TravelMode::Transit) {
    return draw_transit(c, u);
  }
  return draw_road_summary(c, u);
}

} // namespace maps
