#pragma once
// MapProjection: where the map lies on screen for one frame: the world pixel of the map centre
// at the frame's zoom and the screen point it is drawn at.

#include <vector>

#include "model/types.h"
#include "platform/scene/geometry.h"

namespace maps {

struct MapProjection {
  double world_x = 0.0;
  double world_y = 0.0;
  double screen_x = 0.0;
  double screen_y = 0.0;
  double zoom = 0.0;

  static MapProjection make(double center_lat, double center_lon, double zoom, double screen_x,
                            double screen_y);
};

zarn_ui::Point project_point(MapProjection const& p, double lat, double lon);
LatLon unproject_point(MapProjection const& p, double x, double y);
std::vector<zarn_ui::Point> project_points(MapProjection const& p,
                                           std::vector<LatLon> const& points);

} // namespace maps
