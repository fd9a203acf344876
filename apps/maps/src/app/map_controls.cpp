#include "app/map_controls.h"

namespace maps {

namespace {

constexpr double CONTROL_TOPS[MAP_CONTROL_COUNT] = {16.0, 56.0, 106.0, 156.0};

} // namespace

zarn_ui::Rect map_control_rect(zarn_ui::Rect const& map_rect, std::uint8_t index) {
  if (index >= MAP_CONTROL_COUNT) {
    return {};
  }
  double const top = map_rect.y0 + CONTROL_TOPS[index];
  return {map_rect.x1 - 56.0, top, map_rect.x1 - 16.0, top + 40.0};
}

std::uint8_t hit_map_control(zarn_ui::Rect const& map_rect, double x, double y) {
  for (std::uint8_t i = 0; i < MAP_CONTROL_COUNT; ++i) {
    if (map_control_rect(map_rect, i).contains({x, y})) {
      return i;
    }
  }
  return NO_MAP_CONTROL;
}

} // namespace maps
