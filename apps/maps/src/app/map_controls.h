#pragma once
// The floating map controls at the map's right edge (zoom in and out, locate, traffic): their
// indices, where each is laid out and which one a point hits.

#include <cstdint>

#include "platform/scene/geometry.h"

namespace maps {

/// The floating map controls, by index.
enum class MapControl : std::uint8_t { ZoomIn = 0, ZoomOut = 1, Locate = 2, Traffic = 3 };
inline constexpr std::uint8_t MAP_CONTROL_COUNT = 4;
/// No control, wherever a control index is stored.
inline constexpr std::uint8_t NO_MAP_CONTROL = 255;

/// Control `index` (0 to 3): 40 × 40 at the map's right edge (x1 − 56 to x1 − 16); zoom in and
/// out touch, a 10-pixel gap precedes Locate and Traffic. An empty rectangle for other indices.
zarn_ui::Rect map_control_rect(zarn_ui::Rect const& map_rect, std::uint8_t index);

/// The first control, in index order, whose rectangle holds the point (half-open); 255 for none.
std::uint8_t hit_map_control(zarn_ui::Rect const& map_rect, double x, double y);

} // namespace maps
