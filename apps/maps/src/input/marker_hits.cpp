// The map's own markers under a press: the place pins and the drawn points of interest.

#include <cmath>
#include <limits>

#include "app/maps_app.h"
#include "draw/markers.h"
#include "geo/projection.h"
#include "input/input.h"

namespace maps {

namespace {

using zarn_ui::Point;

double distance(Point a, Point b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

} // namespace

std::optional<std::string> place_marker_at(MapsApp const& app, Point p) {
  auto const projection = app.viewport_projection();
  std::optional<std::string> best;
  double best_distance = std::numeric_limits<double>::infinity();
  for (auto const& place : app.model.places) {
    bool const selected = app.model.selected == place.id;
    Point const tip = project_point(projection, place.pos.lat, place.pos.lon);
    Point const head{tip.x, tip.y - (selected ? 30.0 : 22.0)};
    double const d = distance(head, p);
    if (std::isfinite(d) && d <= (selected ? 18.0 : 14.0) && d < best_distance) {
      best_distance = d;
      best = place.id;
    }
  }
  return best;
}

std::optional<std::string> poi_marker_at(MapsApp const& app, Point p) {
  auto const projection = app.viewport_projection();
  double const base_reach = app.model.zoom >= 16.0 ? 9.0 : 4.5;
  std::optional<std::string> best;
  double best_distance = std::numeric_limits<double>::infinity();
  for (std::size_t const i : visible_poi_indices(app)) {
    if (i >= app.nearby_pois.size()) {
      continue;
    }
    Poi const& poi = app.nearby_pois[i];
    bool const selected = app.selected_poi == poi.id;
    double const reach = base_reach + (selected ? 4.0 : 0.0) + 6.0;
    double const d = distance(project_point(projection, poi.pos.lat, poi.pos.lon), p);
    if (std::isfinite(d) && d <= reach && d < best_distance) {
      best_distance = d;
      best = poi.id;
    }
  }
  return best;
}

} // namespace maps
