#include "draw/markers.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "app/maps_app.h"
#include "draw/place_pins.h"
#include "model/ops.h"

namespace maps {

namespace {

using zarn_ui::Theme;

constexpr Color POI_SHADOW{0.0f, 0.0f, 0.0f, 0.32f};
constexpr Color ORIGIN_SHADOW{0.0f, 0.0f, 0.0f, 60.0f / 255.0f};

bool finite(Point p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

void draw_marker(Scene& scene, Affine const& t, TextRenderer const& text, Theme const& theme,
                 MapPalette const& palette, Rect const& area, Poi const& poi, Point at,
                 bool selected, bool glyph, bool label) {
  double const x = at.x;
  double const y = at.y;
  Color const c = category_color(theme, poi.category);
  double const r = glyph ? (selected ? 13.0 : 9.0) : (selected ? 8.5 : 4.5);
  double const ring = selected ? 2.5 : 1.6;

  fill_circle(scene, t, x, y + 0.9, r + 1.3, POI_SHADOW);
  fill_circle(scene, t, x, y, r, c);
  stroke_circle(scene, t, x, y, r, palette.marker_halo, ring);
  if (glyph) {
    draw_category_glyph(scene, t, x, y, selected ? 13.0 : 9.0, palette.marker_halo, c,
                        poi.category);
  }
  if (selected) {
    stroke_circle(scene, t, x, y, r + 4.0, c.multiply_alpha(0.5f), 2.0);
  }
  if (!label) {
    return;
  }
  float const size = selected ? 12.0f : 11.0f;
  double const tw = measure_text(text, poi.name, size);
  double const tl = x + r + 6.0;
  double const ty = y - 0.72 * static_cast<double>(size);
  Rect const plate{tl - 4.0, ty - 1.0, tl + tw + 6.0, ty + static_cast<double>(size) + 3.0};
  // Only the bottom may run past the map: the clip cuts it there.
  if (plate.x0 >= area.x0 && plate.x1 <= area.x1 && plate.y0 >= area.y0) {
    fill_rounded_rect(scene, t, plate, 4.0, theme.surface.multiply_alpha(0.74f));
    paint_text_weighted(text, scene, t, poi.name, size, theme.text, tl, ty, 1);
  }
}

} // namespace

int category_priority(PlaceCategory category) {
  switch (category) {
  case PlaceCategory::Landmark:
    return 6;
  case PlaceCategory::Cafe:
    return 2;
  case PlaceCategory::Restaurant:
    return 3;
  case PlaceCategory::Bar:
    return 2;
  case PlaceCategory::Museum:
    return 5;
  case PlaceCategory::Park:
    return 4;
  case PlaceCategory::Transit:
    return 6;
  case PlaceCategory::Hotel:
    return 3;
  case PlaceCategory::Shop:
    return 1;
  case PlaceCategory::Hospital:
    return 5;
  case PlaceCategory::Other:
    return 0;
  }
  return 0;
}

std::vector<std::size_t> choose_visible_pois(std::span<Poi const> pois,
                                             std::optional<std::string> const& selected,
                                             MapProjection const& projection, double zoom) {
  std::vector<Point> screen;
  screen.reserve(pois.size());
  for (auto const& poi : pois) {
    screen.push_back(project_point(projection, poi.pos.lat, poi.pos.lon));
  }
  auto is_selected = [&](std::size_t i) { return selected && pois[i].id == *selected; };

  std::vector<std::size_t> order(pois.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    order[i] = i;
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    bool const sa = is_selected(a);
    bool const sb = is_selected(b);
    if (sa != sb) {
      return sa;
    }
    return category_priority(pois[a].category) > category_priority(pois[b].category);
  });

  double const m = zoom >= 16.0 ? POI_SPACING_NEAR : POI_SPACING_FAR;
  double const m2 = m * m;
  std::vector<std::size_t> accepted;
  for (std::size_t i : order) {
    Point const p = screen[i];
    // A point without a place on screen would compare unequal to everything and, accepted
    // first, would shut out every other marker.
    if (!finite(p)) {
      continue;
    }
    bool const clear = std::all_of(accepted.begin(), accepted.end(), [&](std::size_t j) {
      double const dx = p.x - screen[j].x;
      double const dy = p.y - screen[j].y;
      return dx * dx + dy * dy >= m2;
    });
    if (clear) {
      accepted.push_back(i);
    }
  }
  return accepted;
}

std::vector<std::size_t> visible_poi_indices(MapsApp const& app) {
  return choose_visible_pois(app.nearby_pois, app.selected_poi, app.viewport_projection(),
                             app.model.zoom);
}

void draw_category_glyph(Scene& scene, Affine const& t, double cx, double cy, double size, Color f,
                         Color b, PlaceCategory category) {
  double const s = 0.58 * size;
  double const lw = std::max(0.16 * size, 1.4);
  auto line = [&](double x0, double y0, double x1, double y1, double width) {
    stroke_line(scene, t, x0, y0, x1, y1, f, width);
  };
  auto rect = [&](double radius, double x0, double y0, double x1, double y1, Color color) {
    fill_rounded_rect(scene, t, Rect{x0, y0, x1, y1}, radius, color);
  };

  switch (category) {
  case PlaceCategory::Landmark: {
    std::vector<Point> star;
    star.reserve(10);
    for (int i = 0; i < 10; ++i) {
      double const angle = i * std::numbers::pi / 5.0 - std::numbers::pi / 2.0;
      double const radius = (i % 2 == 0) ? s : 0.45 * s;
      star.push_back({cx + radius * std::cos(angle), cy + radius * std::sin(angle)});
    }
    fill_polygon(scene, t, star, f);
    break;
  }
  case PlaceCategory::Cafe:
    rect(2.0, cx - 0.6 * s, cy - 0.35 * s, cx + 0.35 * s, cy + 0.45 * s, f);
    stroke_circle(scene, t, cx + 0.5 * s, cy + 0.02 * s, 0.3 * s, f, lw);
    line(cx - 0.8 * s, cy + 0.68 * s, cx + 0.6 * s, cy + 0.68 * s, lw);
    break;
  case PlaceCategory::Restaurant:
    for (double tine : {-0.68, -0.45, -0.22}) {
      line(cx + tine * s, cy - 0.7 * s, cx + tine * s, cy - 0.18 * s, lw);
    }
    line(cx - 0.45 * s, cy - 0.18 * s, cx - 0.45 * s, cy + 0.82 * s, 1.5 * lw);
    line(cx + 0.5 * s, cy - 0.7 * s, cx + 0.5 * s, cy + 0.82 * s, 1.7 * lw);
    break;
  case PlaceCategory::Bar:
    fill_polygon(
        scene, t,
        {{cx - 0.72 * s, cy - 0.55 * s}, {cx + 0.72 * s, cy - 0.55 * s}, {cx, cy + 0.18 * s}}, f);
    line(cx, cy + 0.18 * s, cx, cy + 0.72 * s, lw);
    line(cx - 0.4 * s, cy + 0.72 * s, cx + 0.4 * s, cy + 0.72 * s, lw);
    break;
  case PlaceCategory::Museum:
    fill_polygon(
        scene, t,
        {{cx - 0.82 * s, cy - 0.18 * s}, {cx + 0.82 * s, cy - 0.18 * s}, {cx, cy - 0.78 * s}}, f);
    for (double column : {-0.45, 0.0, 0.45}) {
      line(cx + column * s, cy - 0.12 * s, cx + column * s, cy + 0.55 * s, 1.2 * lw);
    }
    line(cx - 0.78 * s, cy + 0.66 * s, cx + 0.78 * s, cy + 0.66 * s, 1.3 * lw);
    break;
  case PlaceCategory::Park:
    line(cx, cy + 0.1 * s, cx, cy + 0.8 * s, 1.4 * lw);
    fill_circle(scene, t, cx, cy - 0.2 * s, 0.62 * s, f);
    break;
  case PlaceCategory::Transit:
    rect(2.5, cx - 0.6 * s, cy - 0.72 * s, cx + 0.6 * s, cy + 0.5 * s, f);
    rect(1.5, cx - 0.42 * s, cy - 0.5 * s, cx - 0.06 * s, cy - 0.06 * s, b);
    rect(1.5, cx + 0.06 * s, cy - 0.5 * s, cx + 0.42 * s, cy - 0.06 * s, b);
    fill_circle(scene, t, cx - 0.32 * s, cy + 0.62 * s, 0.16 * s, f);
    fill_circle(scene, t, cx + 0.32 * s, cy + 0.62 * s, 0.16 * s, f);
    break;
  case PlaceCategory::Hotel:
    line(cx - 0.72 * s, cy - 0.5 * s, cx - 0.72 * s, cy + 0.5 * s, 1.4 * lw);
    rect(2.0, cx - 0.72 * s, cy + 0.08 * s, cx + 0.78 * s, cy + 0.46 * s, f);
    rect(2.0, cx - 0.5 * s, cy - 0.2 * s, cx - 0.08 * s, cy + 0.12 * s, f);
    break;
  case PlaceCategory::Shop:
    stroke_circle(scene, t, cx, cy - 0.22 * s, 0.32 * s, f, lw);
    rect(2.5, cx - 0.6 * s, cy - 0.18 * s, cx + 0.6 * s, cy + 0.72 * s, f);
    break;
  case PlaceCategory::Hospital:
    rect(1.5, cx - s, cy - 0.32 * s, cx + s, cy + 0.32 * s, f);
    rect(1.5, cx - 0.32 * s, cy - s, cx + 0.32 * s, cy + s, f);
    break;
  case PlaceCategory::Other:
    fill_circle(scene, t, cx, cy, 0.4 * s, f);
    break;
  }
}

void draw_pois(Scene& scene, Affine const& t, TextRenderer const& text,
               MapProjection const& projection, std::span<Poi const> pois,
               std::span<std::size_t const> chosen, std::optional<std::string> const& selected,
               Theme const& theme, MapPalette const& palette, Rect const& map_area) {
  double const zoom = projection.zoom;
  bool const glyphs = zoom >= POI_GLYPH_ZOOM;
  bool const labels = zoom >= POI_LABEL_ZOOM;
  auto is_selected = [&](Poi const& poi) { return selected && poi.id == *selected; };

  scene.push_layer(map_area, t);
  for (std::size_t i : chosen) {
    if (i >= pois.size() || is_selected(pois[i])) {
      continue;
    }
    Point const at = project_point(projection, pois[i].pos.lat, pois[i].pos.lon);
    if (map_area.contains(at)) {
      draw_marker(scene, t, text, theme, palette, map_area, pois[i], at, false, glyphs, labels);
    }
  }
  if (selected) {
    auto const it =
        std::find_if(pois.begin(), pois.end(), [&](Poi const& poi) { return poi.id == *selected; });
    if (it != pois.end()) {
      Point const at = project_point(projection, it->pos.lat, it->pos.lon);
      if (map_area.contains(at)) {
        draw_marker(scene, t, text, theme, palette, map_area, *it, at, true, glyphs, true);
      }
    }
  }
  scene.pop_layer();
}

void draw_places(Scene& scene, Affine const& t, TextRenderer const& text,
                 MapProjection const& projection, MapModel const& model, Theme const& theme,
                 MapPalette const& palette, Rect const& map_area, MapRaster* raster) {
  scene.push_layer(map_area, t);

  if (model.origin) {
    Point const o = project_point(projection, model.origin->lat, model.origin->lon);
    if (map_area.contains(o)) {
      fill_circle(scene, t, o.x, o.y + 1.0, 6.5, ORIGIN_SHADOW);
      fill_circle(scene, t, o.x, o.y, 6.0, theme.surface);
      stroke_circle(scene, t, o.x, o.y, 6.0, theme.accent, 3.0);
      fill_circle(scene, t, o.x, o.y, 2.2, theme.accent);
    }
  }

  draw_place_pins(scene, t, text, projection, model, theme, palette, map_area, raster);

  if (Place const* place = selected_place(model)) {
    Point const at = project_point(projection, place->pos.lat, place->pos.lon);
    if (map_area.contains(at)) {
      draw_pin(scene, t, palette, at, category_color(theme, place->category), true);
      double const tw = measure_text(text, place->name, 12.0f);
      Rect const box{at.x - (tw + 14.0) / 2.0, at.y - 56.0, at.x + (tw + 14.0) / 2.0, at.y - 34.0};
      if (box.x0 >= map_area.x0 && box.x1 <= map_area.x1) {
        draw_card(scene, t, box, 6.0, theme.surface_raised, theme.border);
        paint_text_weighted(text, scene, t, place->name, 12.0f, theme.text, box.x0 + 7.0,
                            box.y0 + 4.0, 2);
      }
    }
  }

  scene.pop_layer();
}

} // namespace maps
