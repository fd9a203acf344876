#pragma once
// Painting of everything that floats over the map and the side panel: the map controls, the
// traffic legend, the compact layout's navigation toggle, the search box with its lists, the
// status pill, the point-of-interest card and the overflow button. It is the last step of a
// frame, and appends the pressable areas of what it paints to the hit targets.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "model/types.h"
#include "platform/theme/theme.h"
#include "sample/street_network.h"
#include "ui/paint.h"

namespace maps {

class MapsApp;

/// Paints the chrome over what the frame drew before and appends, in this order:
/// ToggleNavigation; the search box's Field and Clear; the point-of-interest card's None,
/// ClosePoi and PoiDirections; the suggestion list's Inert and Result rows; Overflow.
void draw_map_chrome(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                     zarn_ui::Theme const& theme);

/// In the compact layout with the side panel open the map and its own controls (the four map
/// controls, the overflow button, the scale bar) lie under the panel's scrim: painted before
/// it, dimmed by it, neither pressable nor hovered nor shown to assistive technologies. A press
/// there lands on the scrim, which closes the panel.
bool map_under_scrim(MapsApp const& app);

/// The map controls and the overflow button as they look under the scrim; registers nothing.
void draw_map_controls_under_scrim(MapsApp const& app, Scene& scene, Affine const& t,
                                   TextRenderer const& text, zarn_ui::Theme const& theme);

/// Segments per traffic level 0 (free flowing) to 3 (standstill); other levels are not counted.
std::array<std::uint64_t, 4> count_traffic_levels(std::span<TrafficSegment const> segments);

/// The status pill shows a non-empty status while a job is in flight, while it reads as work
/// in progress ("…"), or when its writer marked it a warning or an error.
bool status_pill_shown(std::string_view status, StatusKind kind, std::uint32_t jobs_in_flight);

/// The colour of the pill's dot: `danger` for an error, `warning` for a warning, else `accent`.
Color status_dot_color(StatusKind kind, zarn_ui::Theme const& theme);

/// The keyboard focus ring's line, painted over the frame after keyboard use.
inline constexpr double FOCUS_RING_WIDTH = 2.0;
/// The widest status pill; a longer status is cut with "…" (the full text is in the log).
inline constexpr double STATUS_PILL_MAX_WIDTH = 440.0;
/// A pill cut narrower than this is not drawn: the map has no room beside the open panel.
inline constexpr double STATUS_PILL_MIN_WIDTH = 120.0;

/// Where the status pill goes for a status `text_width` wide at size 12: 30 tall at window
/// top + 74, centred over the map between the side panel and the map controls, at most
/// STATUS_PILL_MAX_WIDTH wide; none when the status would have to be cut below
/// STATUS_PILL_MIN_WIDTH to fit there.
std::optional<Rect> status_pill_rect(MapsApp const& app, double text_width);

/// The "More map options" button: 40 × 30 with its bottom-right corner 16 pixels inside the
/// window's.
Rect overflow_button_rect(Rect const& window);

/// The card of the selected point of interest: the rectangle it takes in the window, above (or
/// below) the navigation card when that is painted where the card would go.
Rect poi_card_rect(MapsApp const& app, std::size_t rows);

} // namespace maps
