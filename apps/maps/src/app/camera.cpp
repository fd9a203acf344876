// The camera: pan, zoom about a point, fitting to points and plans; the layout rectangles the
// map viewport and the side panel derive from; the visible bounds; the nearby places to list.

#include <algorithm>
#include <cmath>

#include "app/maps_app.h"
#include "geo/geo.h"

namespace maps {

namespace {

constexpr double COMPACT_WIDTH = 720.0;
constexpr double OUTER_MARGIN = 16.0;
constexpr double FIT_MARGIN = 70.0;
constexpr double FIT_MIN_WIDTH = 200.0;
constexpr double FIT_ZOOM_CAP = 16.5;
constexpr double MIN_ZOOM = 3.0;
constexpr double MAX_ZOOM = 19.0;
constexpr std::size_t NEAREST_POIS = 10;

double distance_from(LatLon a, LatLon b) {
  return haversine_m(a.lat, a.lon, b.lat, b.lon);
}

} // namespace

bool MapsApp::compact() const {
  return window_rect_.width() < COMPACT_WIDTH;
}

double MapsApp::panel_width() const {
  double const w = window_rect_.width();
  if (compact()) {
    return std::min(w - 2 * OUTER_MARGIN, 384.0);
  }
  return std::clamp(0.42 * w, 300.0, 384.0);
}

zarn_ui::Rect MapsApp::side_panel_rect() const {
  auto const& r = window_rect_;
  return {r.x0 + OUTER_MARGIN, r.y0 + 74.0, r.x0 + OUTER_MARGIN + panel_width(),
          r.y1 - OUTER_MARGIN};
}

zarn_ui::Rect MapsApp::search_bar_rect() const {
  auto const& r = window_rect_;
  if (compact()) {
    return {r.x0 + 66.0, r.y0 + 16.0, std::max(r.x1 - 66.0, r.x0 + 186.0), r.y0 + 64.0};
  }
  return {r.x0 + OUTER_MARGIN, r.y0 + 16.0, r.x0 + OUTER_MARGIN + panel_width(), r.y0 + 64.0};
}

std::optional<zarn_ui::Rect> MapsApp::compact_menu_rect() const {
  if (!compact()) {
    return std::nullopt;
  }
  auto const& r = window_rect_;
  return zarn_ui::Rect{r.x0 + 16.0, r.y0 + 16.0, r.x0 + 56.0, r.y0 + 64.0};
}

zarn_ui::Point MapsApp::window_center() const {
  return {(window_rect_.x0 + window_rect_.x1) / 2.0, (window_rect_.y0 + window_rect_.y1) / 2.0};
}

MapProjection MapsApp::viewport_projection() const {
  auto const c = window_center();
  return MapProjection::make(model.center.lat, model.center.lon, model.zoom, c.x, c.y);
}

LatLonBox MapsApp::viewport_bounds() const {
  auto const p = viewport_projection();
  LatLon const a = unproject_point(p, window_rect_.x0, window_rect_.y0);
  LatLon const b = unproject_point(p, window_rect_.x1, window_rect_.y1);
  return {std::min(a.lat, b.lat), std::min(a.lon, b.lon), std::max(a.lat, b.lat),
          std::max(a.lon, b.lon)};
}

LatLon MapsApp::origin_or_center() const {
  return model.origin.value_or(model.center);
}

void MapsApp::schedule_map_idle() {
  map_idle_deadline = now() + MAP_IDLE_DELAY;
}

void MapsApp::jump_to(LatLon target) {
  if (!centre_before_jump) {
    centre_before_jump = model.center;
  }
  model.center = target;
  schedule_map_idle();
}

void MapsApp::pan(double dx, double dy) {
  centre_before_jump.reset();
  WorldPx const w = project_mercator(model.center.lat, model.center.lon, model.zoom);
  model.center = unproject_mercator(w.x - dx, w.y - dy, model.zoom);
  schedule_map_idle();
}

void MapsApp::zoom_by(double delta, double x, double y) {
  centre_before_jump.reset();
  auto const before = viewport_projection();
  LatLon const anchor = unproject_point(before, x, y);
  model.zoom = std::clamp(model.zoom + delta, MIN_ZOOM, MAX_ZOOM);
  auto const after = viewport_projection();
  zarn_ui::Point const moved = project_point(after, anchor.lat, anchor.lon);
  WorldPx const w = project_mercator(model.center.lat, model.center.lon, model.zoom);
  model.center = unproject_mercator(w.x + (moved.x - x), w.y + (moved.y - y), model.zoom);
  schedule_map_idle();
}

void MapsApp::fit_camera(std::span<LatLon const> points) {
  double const w = window_rect_.width();
  double width = compact() ? w - 2 * OUTER_MARGIN : w - (panel_width() + 2 * OUTER_MARGIN + 10.0);
  width = std::max(width, FIT_MIN_WIDTH);
  auto const fit = fit_view_to_points(points, width, window_rect_.height(), FIT_MARGIN);
  if (!fit) {
    return;
  }
  model.center = fit->center;
  model.zoom = std::min(fit->zoom, FIT_ZOOM_CAP);
  schedule_map_idle();
}

void MapsApp::fit_to_route() {
  if (model.route) {
    fit_camera(model.route->geometry);
  }
}

void MapsApp::fit_to_plan() {
  if (model.route && model.route->geometry.size() >= 2) {
    fit_camera(model.route->geometry);
    return;
  }
  if (model.transit_choice < model.transit.size()) {
    std::vector<LatLon> points;
    for (auto const& leg : model.transit[model.transit_choice].legs) {
      points.insert(points.end(), leg.geometry.begin(), leg.geometry.end());
    }
    if (points.size() >= 2) {
      fit_camera(points);
      return;
    }
  }
  std::vector<LatLon> ends;
  if (model.origin) {
    ends.push_back(*model.origin);
  }
  if (model.dest) {
    ends.push_back(*model.dest);
  }
  if (ends.size() == 2) {
    fit_camera(ends);
  }
}

std::vector<Poi> MapsApp::nearest_pois() const {
  LatLon const ref = origin_or_center();
  std::vector<std::pair<double, std::size_t>> order;
  order.reserve(nearby_pois.size());
  for (std::size_t i = 0; i < nearby_pois.size(); ++i) {
    order.emplace_back(distance_from(nearby_pois[i].pos, ref), i);
  }
  std::stable_sort(order.begin(), order.end(), [](auto const& a, auto const& b) {
    return std::isnan(b.first) ? !std::isnan(a.first) : (!std::isnan(a.first) && a.first < b.first);
  });
  std::vector<Poi> out;
  for (std::size_t k = 0; k < order.size() && k < NEAREST_POIS; ++k) {
    out.push_back(nearby_pois[order[k].second]);
  }
  if (selected_poi) {
    bool const listed =
        std::any_of(out.begin(), out.end(), [&](Poi const& p) { return p.id == *selected_poi; });
    auto const it = std::find_if(nearby_pois.begin(), nearby_pois.end(),
                                 [&](Poi const& p) { return p.id == *selected_poi; });
    if (!listed && it != nearby_pois.end()) {
      if (out.size() >= NEAREST_POIS) {
        out.pop_back();
      }
      out.insert(out.begin(), *it);
    }
  }
  return out;
}

} // namespace maps
