#pragma once
// Pointer, wheel and keyboard handling of the map window: the constants of its gestures and the
// hit tests of the map's own markers. MapsApp::handle_event (input.cpp) routes every event to
// the part of the interface it belongs to; the operations it ends in live elsewhere.

#include <cstddef>
#include <optional>
#include <string>

#include "platform/scene/geometry.h"

namespace maps {

class MapsApp;

/// A press on the bare map pans only once the pointer moved more than this on either axis.
inline constexpr double MAP_DRAG_THRESHOLD = 0.5;
/// Pixel wheel deltas per line.
inline constexpr double WHEEL_PIXELS_PER_LINE = 40.0;
/// Zoom levels per wheel line.
inline constexpr double WHEEL_ZOOM_STEP = 0.35;
/// Side-panel scroll per wheel line.
inline constexpr double WHEEL_SCROLL_STEP = 36.0;
/// The side panel's top band that zooms the map rather than scrolling the panel.
inline constexpr double PANEL_WHEEL_HEADER = 50.0;
/// Arrow keys pan by this much, +/- zoom by a whole level.
inline constexpr double KEY_PAN_STEP = 80.0;
inline constexpr double KEY_ZOOM_STEP = 1.0;

/// The place whose marker is nearest to `p` and within reach: a pin's head sits 22 pixels above
/// its position (30 when selected) and reaches 14 pixels (18 when selected).
std::optional<std::string> place_marker_at(MapsApp const& app, zarn_ui::Point p);

/// The drawn point of interest nearest to `p` and within reach: 9 pixels at zoom 16 and above,
/// else 4.5; 4 more for the selected one; 6 pixels of tolerance on top.
std::optional<std::string> poi_marker_at(MapsApp const& app, zarn_ui::Point p);

} // namespace maps
