#include "geo/projection.h"

#include "geo/geo.h"

namespace maps {

MapProjection MapProjection::make(double center_lat, double center_lon, double zoom,
                                  double screen_x, double screen_y) {
  WorldPx const w = project_mercator(center_lat, center_lon, zoom);
  return MapProjection{w.x, w.y, screen_x, screen_y, zoom};
}

zarn_ui::Point project_point(MapProjection const& p, double lat, double lon) {
  WorldPx const w = project_mercator(lat, lon, p.zoom);
  return {w.x - p.world_x + p.screen_x, w.y - p.world_y + p.screen_y};
}

LatLon unproject_point(MapProjection const& p, double x, double y) {
  return unproject_mercator(x - p.screen_x + p.world_x, y - p.screen_y + p.world_y, p.zoom);
}

std::vector<zarn_ui::Point> project_points(MapProjection const& p,
                                           std::vector<LatLon> const& points) {
  std::vector<zarn_ui::Point> out;
  out.reserve(points.size());
  for (auto const& ll : points) {
    out.push_back(project_point(p, ll.lat, ll.lon));
  }
  return out;
}

} // namespace maps
