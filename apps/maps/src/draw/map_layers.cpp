#include "draw/map_layers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "app/maps_app.h"
#include "base/saturate.h"
#include "draw/cached_layers.h"
#include "draw/markers.h"
#include "geo/screen_lines.h"
#include "ui/format.h"

namespace maps {

namespace {

using zarn_ui::Theme;

constexpr double COMPACT_WIDTH = 720.0;
constexpr std::uint8_t DESCENDANT_DEPTHS = 2;
constexpr double WALK_DOT_PERIOD = 11.0;
constexpr double WALK_DOT_LENGTH = 6.0;
constexpr double WALK_DOT_WIDTH = 3.0;

/// The zoom factor every line width shares: grows by 0.35 per level above 12.
double zoom_width_factor(double zoom) {
  return std::max(zoom - 12.0, 0.0) * 0.35 + 1.0;
}

Rect placement_rect(TilePlacement const& p) {
  return Rect{p.x0, p.y0, p.x1, p.y1};
}

/// A whole basemap tile over its placeholder, as pixels the renderer keeps between frames. Each
/// decoded tile has an image of its own, so the image's id names the pixels.
/// `side` is the tiles' size at the frame's zoom, the same number in every frame of that zoom
/// (a placement's width carries the noise of where it lies).
void keep_tile(Scene& scene, Affine const& t, Rect const& rect, double side,
               zarn_ui::SharedImage image, Color placeholder) {
  std::string key = fmt::format("basemap|{}|{}|{},{},{},{}", image->id, side, placeholder.r,
                                placeholder.g, placeholder.b, placeholder.a);
  scene.cached_tile(
      std::move(key), rect, t, [image = std::move(image), placeholder, side](Scene& out) {
        // One pixel past each edge (the image's edge pixels extended): the
        // renderer cuts the tile at whole pixels, and a partly covered edge pixel
        // would let the frame's base show through at the seams.
        double const px = side / image->width;
        double const py = side / image->height;
        Rect const area{-1.0, -1.0, side + 1.0, side + 1.0};
        Rect const src{-1.0 / px, -1.0 / py, image->width + 1.0 / px, image->height + 1.0 / py};
        fill_rect(out, Affine::identity(), area, placeholder);
        out.draw_image_rect(image, area, Affine::identity(), src);
      });
}

/// The closed outline of an area: its first point repeated at the end.
std::vector<Point> closed(std::vector<Point> outline) {
  if (!outline.empty()) {
    outline.push_back(outline.front());
  }
  return outline;
}

void draw_area_pass(Scene& scene, Affine const& t, MapProjection const& projection,
                    StreetNetwork const& network, std::uint8_t kind, Color fill,
                    std::optional<Color> edge, Rect const& visible) {
  for (auto const& area : network.areas) {
    if (area.kind != kind || area.outline.size() < 3) {
      continue;
    }
    std::vector<Point> points = project_points(projection, area.outline);
    if (!line_reaches(points, 1.0, visible)) {
      continue;
    }
    fill_polygon(scene, t, points, fill);
    if (edge) {
      stroke_polyline(scene, t, closed(std::move(points)), *edge, 1.0);
    }
  }
}

/// Where the segment from `p` along `u` (unit) for `length` pixels lies inside `box`: the
/// distances [lo, hi], or nothing when it misses the box.
std::optional<std::pair<double, double>> clip_segment(Point p, zarn_ui::Vec2 u, double length,
                                                      Rect const& box) {
  double lo = 0.0;
  double hi = length;
  auto slab = [&](double origin, double dir, double min, double max) {
    if (dir == 0.0) {
      return origin >= min && origin <= max;
    }
    double a = (min - origin) / dir;
    double b = (max - origin) / dir;
    if (a > b) {
      std::swap(a, b);
    }
    lo = std::max(lo, a);
    hi = std::min(hi, b);
    return lo <= hi;
  };
  if (!slab(p.x, u.x, box.x0, box.x1) || !slab(p.y, u.y, box.y0, box.y1)) {
    return std::nullopt;
  }
  return std::pair{lo, hi};
}

/// Short strokes every 11 px along each segment, each segment starting its own pattern. Only
/// the dashes that reach into `visible` are recorded: a walking leg far off screen at a high
/// zoom would otherwise give millions of strokes that the clip throws away.
void draw_walk_dots(Scene& scene, Affine const& t, std::vector<Point> const& points, Color c,
                    Rect const& visible) {
  Rect const box =
      visible.inflate(WALK_DOT_LENGTH + WALK_DOT_WIDTH, WALK_DOT_LENGTH + WALK_DOT_WIDTH);
  for (std::size_t k = 1; k < points.size(); ++k) {
    Point const a = points[k - 1];
    Point const b = points[k];
    double const length = std::hypot(b.x - a.x, b.y - a.y);
    if (!(length >= 0.001) || !std::isfinite(length)) {
      continue;
    }
    zarn_ui::Vec2 const u{(b.x - a.x) / length, (b.y - a.y) / length};
    auto const span = clip_segment(a, u, length, box);
    if (!span) {
      continue;
    }
    auto i = base::saturating_cast<std::int64_t>(
        std::floor(std::max(0.0, span->first - WALK_DOT_LENGTH) / WALK_DOT_PERIOD));
    for (;; ++i) {
      double const from = WALK_DOT_PERIOD * static_cast<double>(i);
      if (!(from < length) || from > span->second) {
        break;
      }
      double const to = std::min(from + WALK_DOT_LENGTH, length);
      stroke_line(scene, t, a.x + u.x * from, a.y + u.y * from, a.x + u.x * to, a.y + u.y * to, c,
                  WALK_DOT_WIDTH);
    }
  }
}

} // namespace

double road_class_factor(std::uint8_t road_class) {
  switch (road_class) {
  case 0:
    return 4.2;
  case 1:
    return 3.0;
  case 2:
    return 1.6;
  default:
    return 1.0;
  }
}

double road_width(double zoom, std::uint8_t road_class) {
  return zoom_width_factor(zoom) * road_class_factor(road_class);
}

double traffic_width(double zoom, std::uint8_t level) {
  static constexpr std::array<double, 4> factors{2.2, 2.7, 3.1, 3.4};
  return zoom_width_factor(zoom) * factors[std::min<std::size_t>(level, factors.size() - 1)];
}

bool draw_tiles(Scene& scene, Affine const& t, Rect const& map_area, TileCache& tiles,
                LatLon centre, double zoom, Point anchor, Color placeholder, bool keep_pixels) {
  std::vector<TilePlacement> const placements =
      visible_tiles(centre, zoom, ViewRect{map_area.x0, map_area.y0, map_area.x1, map_area.y1},
                    ScreenPoint{anchor.x, anchor.y});
  std::vector<TileKey> missing;
  bool drawn = false;
  // As visible_tiles sizes them: the integer zoom nearest the frame's, scaled by 2^(zoom - z).
  int const z = std::clamp(base::saturating_cast<int>(std::round(zoom)), 0, int{MAX_TILE_ZOOM});
  double const side = 256.0 * std::exp2(zoom - z);

  scene.push_layer(map_area, t, 1.0f);
  for (auto const& placement : placements) {
    Rect const rect = placement_rect(placement);
    TileKey const key = placement.key;
    zarn_ui::SharedImage image = tiles.cached_tile(key);
    if (image && keep_pixels && image->id != 0 && !rect.is_empty()) {
      if (!rect.intersect(map_area).is_empty()) {
        keep_tile(scene, t, rect, side, std::move(image), placeholder);
      }
      drawn = true;
      continue;
    }
    fill_rect(scene, t, rect, placeholder);

    if (image) {
      if (!rect.is_empty()) {
        scene.draw_image_rect(std::move(image), rect, t);
        drawn = true;
      }
      continue;
    }

    if (auto ancestor = tiles.ancestor_tile(key);
        ancestor && ancestor->image && ancestor->levels >= 1 && ancestor->levels <= 31) {
      std::uint64_t const n = std::uint64_t{1} << ancestor->levels;
      std::uint64_t const col = std::uint64_t{key.x} - std::uint64_t{ancestor->key.x} * n;
      std::uint64_t const row = std::uint64_t{key.y} - std::uint64_t{ancestor->key.y} * n;
      // A stand-in that is not really above this tile would show the wrong place.
      if (col < n && row < n && !rect.is_empty()) {
        double const w = std::max<double>(ancestor->image->width, 1.0) / static_cast<double>(n);
        double const h = std::max<double>(ancestor->image->height, 1.0) / static_cast<double>(n);
        Rect const src{static_cast<double>(col) * w, static_cast<double>(row) * h,
                       static_cast<double>(col + 1) * w, static_cast<double>(row + 1) * h};
        scene.draw_image_rect(ancestor->image, rect, t, src);
        drawn = true;
      }
    }

    for (std::uint8_t d = 1; d <= DESCENDANT_DEPTHS && key.z + d <= MAX_TILE_ZOOM; ++d) {
      std::uint32_t const cells = std::uint32_t{1} << d;
      double const cw = rect.width() / cells;
      double const ch = rect.height() / cells;
      bool any = false;
      for (std::uint32_t j = 0; j < cells; ++j) {
        for (std::uint32_t i = 0; i < cells; ++i) {
          TileKey const child{key.x * cells + i, key.y * cells + j,
                              static_cast<std::uint8_t>(key.z + d)};
          if (auto image = tiles.cached_tile(child)) {
            Rect const cell{rect.x0 + cw * i, rect.y0 + ch * j, rect.x0 + cw * (i + 1),
                            rect.y0 + ch * (j + 1)};
            if (!cell.is_empty()) {
              scene.draw_image_rect(std::move(image), cell, t);
              any = true;
            }
          }
        }
      }
      if (any) {
        drawn = true;
        break;
      }
    }
    missing.push_back(key);
  }
  scene.pop_layer();

  for (TileKey const& key : missing) {
    tiles.request_tile(key);
  }
  return drawn;
}

void draw_street_network(Scene& scene, Affine const& t, Rect const& map_area,
                         MapProjection const& projection, StreetNetwork const& network,
                         MapPalette const& palette, Rect const& visible) {
  double const w = zoom_width_factor(projection.zoom);
  fill_rect(scene, t, map_area, palette.land);
  draw_area_pass(scene, t, projection, network, AREA_WATER, palette.water, std::nullopt, visible);
  draw_area_pass(scene, t, projection, network, AREA_GREEN, palette.park, palette.park_edge,
                 visible);
  double const river_width = w * 4.2 * 3.2;
  if (std::vector<Point> river = project_points(projection, network.river);
      line_reaches(river, river_width, visible)) {
    stroke_polyline(scene, t, river, palette.water, river_width);
  }
  draw_area_pass(scene, t, projection, network, AREA_BUILT_UP, palette.building,
                 palette.building_edge, visible);

  // Only the roads whose casing can show; the rest would be stroked for nothing.
  struct Shown {
    std::vector<Point> points;
    std::uint8_t road_class;
  };
  std::vector<Shown> roads;
  roads.reserve(network.roads.size());
  for (auto const& road : network.roads) {
    std::vector<Point> points = project_points(projection, road.points);
    if (line_reaches(points, road_width(projection.zoom, road.road_class) + 2.0, visible)) {
      roads.push_back({std::move(points), road.road_class});
    }
  }
  for (auto const& road : roads) {
    if (road.road_class != 2) {
      stroke_polyline(scene, t, road.points, palette.road_casing,
                      road_width(projection.zoom, road.road_class) + 2.0);
    }
  }
  for (auto const& road : roads) {
    std::uint8_t const cls = road.road_class;
    Color const color = cls == 1   ? palette.major_road
                        : cls == 0 ? palette.highway
                                   : palette.minor_road;
    stroke_polyline(scene, t, road.points, color, road_width(projection.zoom, cls));
  }
}

void draw_blank_grid(Scene& scene, Affine const& t, Rect const& map_area, LatLon centre,
                     double zoom, Point anchor, MapPalette const& palette) {
  fill_rect(scene, t, map_area, palette.placeholder);
  Color const fine = mix_colors(palette.placeholder, palette.land, 0.4f);
  Color const edge = mix_colors(palette.placeholder, palette.land, 0.85f);
  std::vector<TilePlacement> const placements =
      visible_tiles(centre, zoom, ViewRect{map_area.x0, map_area.y0, map_area.x1, map_area.y1},
                    ScreenPoint{anchor.x, anchor.y});

  scene.push_layer(map_area, t);
  for (auto const& p : placements) {
    for (int i = 1; i <= 3; ++i) {
      double const x = p.x0 + (p.x1 - p.x0) * i / 4.0;
      double const y = p.y0 + (p.y1 - p.y0) * i / 4.0;
      stroke_line(scene, t, x, p.y0, x, p.y1, fine, 0.5);
      stroke_line(scene, t, p.x0, y, p.x1, y, fine, 0.5);
    }
    stroke_line(scene, t, p.x0, p.y0, p.x0, p.y1, edge, 1.0);
    stroke_line(scene, t, p.x0, p.y0, p.x1, p.y0, edge, 1.0);
  }
  scene.pop_layer();
}

void draw_traffic(Scene& scene, Affine const& t, MapProjection const& projection,
                  TrafficOverlay const& traffic, MapPalette const& palette, Rect const& visible) {
  std::vector<std::vector<Point>> lines;
  std::vector<std::uint8_t> levels;
  lines.reserve(traffic.segments.size());
  levels.reserve(traffic.segments.size());
  for (auto const& segment : traffic.segments) {
    if (segment.points.size() < 2) {
      continue;
    }
    std::uint8_t const level = std::min<std::uint8_t>(segment.level, 3);
    std::vector<Point> points = project_points(projection, segment.points);
    if (line_reaches(points, traffic_width(projection.zoom, level) + 2.0, visible)) {
      lines.push_back(std::move(points));
      levels.push_back(level);
    }
  }
  // A two-point piece has no join, and its ends lie under its neighbours' along the road:
  // butt caps cost the rasteriser less than round ones.
  auto stroke = [&](std::vector<Point> const& points, Color color, double width) {
    if (points.size() == 2) {
      zarn_ui::Stroke style = zarn_ui::Stroke::with_width(width);
      style.join = zarn_ui::Join::Bevel;
      style.start_cap = zarn_ui::Cap::Butt;
      style.end_cap = zarn_ui::Cap::Butt;
      zarn_ui::BezPath path;
      path.move_to(points[0]);
      path.line_to(points[1]);
      scene.stroke(style, t, color, std::move(path));
    } else {
      stroke_polyline(scene, t, points, color, width);
    }
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    stroke(lines[i], palette.traffic_casing, traffic_width(projection.zoom, levels[i]) + 2.0);
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    stroke(lines[i], palette.traffic[levels[i]], traffic_width(projection.zoom, levels[i]));
  }
}

void draw_route(Scene& scene, Affine const& t, MapProjection const& projection, Route const& route,
                MapPalette const& palette, Rect const& visible, ScreenLine& line) {
  if (route.geometry.size() < 2) {
    return;
  }
  auto const& runs = line.visible_runs(route.geometry, projection, 9.0, visible);
  for (auto const& run : runs) {
    stroke_polyline(scene, t, run, palette.route_casing, 9.0);
  }
  for (auto const& run : runs) {
    stroke_polyline(scene, t, run, palette.route, 5.5);
  }
  Point const first =
      project_point(projection, route.geometry.front().lat, route.geometry.front().lon);
  Point const last =
      project_point(projection, route.geometry.back().lat, route.geometry.back().lon);
  fill_circle(scene, t, first.x, first.y, 7.0, palette.marker_halo);
  stroke_circle(scene, t, first.x, first.y, 7.0, palette.route, 3.0);
  fill_circle(scene, t, last.x, last.y, 7.0, palette.route);
  stroke_circle(scene, t, last.x, last.y, 7.0, palette.marker_halo, 2.5);
}

void draw_journey(Scene& scene, Affine const& t, MapProjection const& projection,
                  TransitJourney const& journey, Theme const& theme, MapPalette const& palette,
                  Rect const& map_area) {
  struct Stop {
    std::vector<Point> points;
    Color color;
  };
  std::vector<Stop> vehicle_legs;

  scene.push_layer(map_area, t);
  for (auto const& leg : journey.legs) {
    if (leg.geometry.size() < 2) {
      continue;
    }
    std::vector<Point> points = project_points(projection, leg.geometry);
    if (!line_reaches(points, 8.0 + 10.0, map_area)) { // the casing and the stop discs
      continue;
    }
    Color const c = leg_color(theme, leg);
    if (leg.mode != LegMode::Walk) {
      stroke_polyline(scene, t, points, mix_colors(c, zarn_ui::colors::BLACK, 0.45f), 8.0);
      stroke_polyline(scene, t, points, c, 5.0);
      vehicle_legs.push_back({std::move(points), c});
    } else {
      draw_walk_dots(scene, t, points, c.multiply_alpha(0.9f), map_area);
    }
  }
  for (auto const& leg : vehicle_legs) {
    for (Point const p : {leg.points.front(), leg.points.back()}) {
      if (map_area.contains(p)) {
        fill_circle(scene, t, p.x, p.y, 5.0, palette.marker_halo);
        stroke_circle(scene, t, p.x, p.y, 5.0, leg.color, 2.5);
      }
    }
  }
  scene.pop_layer();
}

void draw_scale_bar(Scene& scene, Affine const& t, TextRenderer const& text, Rect const& window,
                    LatLon centre, double zoom, Theme const& theme, double right) {
  ScaleBar const bar = scale_bar_label(centre.lat, zoom, SCALE_BAR_MAX_PX);
  double const y = window.y1 - 26.0;
  double const left = right - bar.length_px;
  fill_rounded_rect(scene, t, Rect{left - 8.0, y - 4.0, right + 8.0, y + 14.0}, 4.0,
                    theme.surface.multiply_alpha(0.7f));
  stroke_line(scene, t, left, y, right, y, theme.text, 2.0);
  stroke_line(scene, t, left, y - 3.0, left, y + 3.0, theme.text, 2.0);
  stroke_line(scene, t, right, y - 3.0, right, y + 3.0, theme.text, 2.0);
  draw_text_centered(text, scene, t, bar.label, 10.0f, theme.text_secondary, left, right, y + 2.0);
}

void draw_imagery_banner(Scene& scene, Affine const& t, TextRenderer const& text,
                         Theme const& theme, std::string_view message, Color dot, double cx,
                         double cy) {
  double const tw = measure_text(text, message, 13.0f);
  double const hw = (tw + 44.0) / 2.0;
  draw_card(scene, t, Rect{cx - hw, cy - 17.0, cx + hw, cy + 17.0}, 17.0, theme.surface_raised,
            theme.border);
  fill_circle(scene, t, cx - hw + 18.0, cy, 4.0, dot);
  paint_text(text, scene, t, message, 13.0f, theme.text, cx - hw + 30.0,
             cy - 17.0 + (34.0 - 16.25) / 2.0);
}

ImageryStatus imagery_status(TileCache const& tiles, Theme const& theme) {
  if (!tiles.backoff.empty() && tiles.tiles.empty()) {
    return {IMAGERY_OFFLINE_TEXT, theme.warning};
  }
  return {LOADING_MAP_TEXT, theme.accent};
}

Rect map_area(MapsApp const& app) {
  Rect area = app.window_rect();
  if (app.compact() && app.nav_open) {
    area.x0 = std::min(app.side_panel_rect().x1 + 10.0, area.x1);
  }
  return area;
}

bool draw_map_layers(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                     Theme const& theme, MapPalette const& palette,
                     MapProjection const& projection) {
  Rect const area = map_area(app);
  Point const anchor{projection.screen_x, projection.screen_y};
  // Left of a narrowed map area only the open compact panel covers the window; its margins, and
  // the whole strip while the search list hides the panel, would otherwise show no map at all.
  Rect const window = app.window_rect();
  if (area.x0 > window.x0) {
    fill_rect(scene, t, Rect{window.x0, window.y0, area.x0, window.y1}, palette.land);
  }
  // At the previous frame's zoom the tiles keep their scaled pixels between frames, as the
  // vector layers do; while the zoom changes from frame to frame they are drawn directly.
  bool const keep_pixels = app.map_raster.enabled && app.map_raster.last_zoom == projection.zoom;
  bool const imagery = draw_tiles(scene, t, area, app.tiles, app.model.center, app.model.zoom,
                                  anchor, palette.land, keep_pixels);
  bool const network = !imagery && !app.road_network.empty();
  if (!imagery && !network) {
    draw_blank_grid(scene, t, area, app.model.center, app.model.zoom, anchor, palette);
  }
  // The street network covers the window (land left of a narrowed map area too), so its tiles
  // cover the window.
  if (!draw_cached_layers(app.map_raster, scene, t, window, projection, palette, app.road_network,
                          network, app.traffic_on ? &app.traffic : nullptr)) {
    if (network) {
      draw_street_network(scene, t, area, projection, app.road_network, palette, window);
    }
    if (app.traffic_on) {
      draw_traffic(scene, t, projection, app.traffic, palette, window);
    }
  }
  if (app.model.route) {
    draw_route(scene, t, projection, *app.model.route, palette, window, app.route_line);
  }
  if (app.model.mode == TravelMode::Transit &&
      app.model.transit_choice < app.model.transit.size()) {
    draw_journey(scene, t, projection, app.model.transit[app.model.transit_choice], theme, palette,
                 area);
  }
  std::vector<std::size_t> const chosen =
      choose_visible_pois(app.nearby_pois, app.selected_poi, projection, projection.zoom);
  draw_pois(scene, t, text, projection, app.nearby_pois, chosen, app.selected_poi, theme, palette,
            area);
  draw_places(scene, t, text, projection, app.model, theme, palette, area, &app.map_raster);
  return imagery;
}

double scale_bar_right(MapsApp const& app) {
  return app.window_rect().x1 - 16.0 - 40.0 - 10.0;
}

Point imagery_banner_center(MapsApp const& app) {
  Rect const window = app.window_rect();
  double left = window.x0;
  if (!app.compact() && !app.panel_collapsed) {
    left = app.side_panel_rect().x1 + 10.0;
  }
  return {(left + window.x1) / 2.0, (window.y0 + window.y1) / 2.0};
}

void draw_map_overlays(MapsApp const& app, Scene& scene, Affine const& t, TextRenderer const& text,
                       Theme const& theme, bool imagery_drawn) {
  draw_scale_bar(scene, t, text, app.window_rect(), app.model.center, app.model.zoom, theme,
                 scale_bar_right(app));
  bool const compact_panel_open = app.window_rect().width() < COMPACT_WIDTH && app.nav_open;
  if (!imagery_drawn && app.road_network.empty() && !compact_panel_open) {
    ImageryStatus const status = imagery_status(app.tiles, theme);
    Point const c = imagery_banner_center(app);
    draw_imagery_banner(scene, t, text, theme, status.message, status.dot, c.x, c.y);
  }
}

} // namespace maps
