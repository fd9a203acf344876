#pragma once
// Painting of the directions panel's content: the route endpoint fields with the swap button,
// the location chip, the travel-mode tabs, the departure-time control, and either the road
// route summary with its turns or the public-transport journeys. It registers the hit targets
// of what it paints and rewrites the endpoint editor's own rectangles; the model is only read.

#include <string_view>

#include "app/maps_app.h"
#include "platform/theme/theme.h"
#include "ui/paint.h"

namespace maps {

/// "◉", "↑", "↖", … one glyph per turn.
std::string_view maneuver_glyph(Maneuver maneuver);
/// "Walk", "Bus", "Tram", "Metro", "Train", "Ferry".
std::string_view leg_mode_label(LegMode mode);

/// "direct", "1 change", "2 changes".
std::string transfers_text(std::uint32_t transfers);

/// Paints the panel content between `content.x0` and `content.x1` from `y` down and answers the
/// y below its last element. Empties and refills the endpoint editor's rectangles; appends to
/// `app.hit_targets`.
double draw_directions_panel(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                             zarn_ui::Theme const& theme, Rect const& content, double y);

} // namespace maps
