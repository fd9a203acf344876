#pragma once
// Painting of the floating search box and its list of suggested places, with the registration
// of their pressable areas. The search box collects its own targets while the map view paints
// and the map chrome drains them into the application's hit targets in one run, so that the
// field, its clear button and its rows stand together in the accessibility order.

#include "platform/theme/theme.h"
#include "ui/paint.h"

namespace maps {

class MapsApp;

/// The box at search_bar_rect with the query, the magnifier and (for a non-empty query) the
/// clear button; starts the box's target list with Field and Clear.
void draw_search_box(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                     zarn_ui::Theme const& theme);

/// The suggestion card under the box; the caller calls it only while search_suggestions_shown.
/// Adds the card as Inert and one Result per row to the box's target list.
void draw_search_suggestions(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                             zarn_ui::Theme const& theme);

/// Moves the search box's targets, in order, to the end of the hit targets as Search actions.
void drain_search_targets(MapsApp& app);

} // namespace maps
