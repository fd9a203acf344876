#pragma once
// Where the "Navigation" card shown while a route is active is: in the window or, detached, in a
// desktop surface of its own ("maps.active-navigation"), with the placement animating the
// hand-offs between the two, and what the platform reports about that surface.

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/scene/geometry.h"
#include "platform/surface/floating_surface.h"

namespace maps {

class MapsApp;

using zarn_ui::Rect;

inline constexpr std::string_view NAV_SURFACE_ID = "maps.active-navigation";
/// Room around the card inside its desktop surface.
inline constexpr double NAV_SURFACE_MARGIN = 8.0;

/// Which of MapsApp::nav_card_rects is which.
inline constexpr std::size_t NAV_END_BUTTON = 0;
inline constexpr std::size_t NAV_DRAG_HEADER = 1;

/// The rectangle the detached surface was given when it has a positive area, else the window.
Rect nav_card_bounds(MapsApp const& app);
/// Where the card is now (in the window, on the desktop, or under the pointer).
Rect navigation_card_rect(MapsApp const& app);
/// Where the map view paints the card: navigation_card_rect kept inside the window (top-left
/// first when the window is smaller), so that its header can always be grabbed again.
Rect nav_card_window_rect(MapsApp const& app);
/// Where the card is painted now: nav_card_window_rect while the map view paints it, else
/// navigation_card_rect (on its desktop surface).
Rect nav_card_shown_rect(MapsApp const& app);
/// A route is active, the card is neither detached nor to be, it is in the window, and the
/// window is wide or the navigation panel is closed.
bool nav_card_visible_in_window(MapsApp const& app);
/// The map view paints the card: a route is active and either the placement is moving (not
/// initial) without being on the desktop, or the card is visible in the window.
bool nav_card_painted_in_window(MapsApp const& app);
/// The card's surface, only while a route is active.
std::optional<zarn_ui::floating_surface::SurfaceSpec> nav_surface_spec(MapsApp const& app);

/// Forgets the card's rectangles and hover: nothing of it is painted in the window.
void forget_nav_card_rects(MapsApp& app);

/// What the platform reports about the card's surface; events for other surfaces, and any
/// event without a route, change nothing.
void apply_nav_placement_event(MapsApp& app,
                               zarn_ui::floating_surface::PlacementEvent const& event);

} // namespace maps
