#pragma once
// The side panel: the floating card at the left of the window with the Places content
// (selected place, results, nearby places, saved places, recent searches) or the directions
// panel, its header buttons, its scrolling content area, and in the compact layout the scrim
// that closes it. Registers the hit targets of what it paints and the panel's scroll extents.

#include <cstdint>

#include "app/maps_app.h"
#include "net/poi.h"
#include "platform/theme/theme.h"
#include "ui/paint.h"

namespace maps {

/// What the side panel shows this frame: nothing (compact layout with the navigation closed,
/// the search suggestion list open over it, or no room), the collapsed stub, or the full card
/// whose content scrolls.
enum class SidePanelShown : std::uint8_t { Nothing, Stub, Full };
SidePanelShown side_panel_shown(MapsApp const& app);

/// The panel, or in the compact layout with the navigation closed nothing; fills in
/// `app.panel_scroll`'s content and visible heights.
void draw_side_panel(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                     zarn_ui::Theme const& theme);

/// A result or saved-place row at `y` inside `content` (its x range is used; a row outside its
/// y range registers its target but paints nothing); answers the y of the next row (y + 56).
double draw_place_row(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                      zarn_ui::Theme const& theme, Rect const& content, double y,
                      Place const& place);

/// A nearby point-of-interest row at `y` (painted only inside `content`); answers y + 56.
double draw_poi_row(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                    zarn_ui::Theme const& theme, Rect const& content, double y, Poi const& poi);

/// "{category} · {address}", else "{category} · {detail}", else the category alone.
std::string poi_subtitle(Poi const& poi);

/// The Places content from `y` down; answers the y below it.
double draw_explore_content(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                            zarn_ui::Theme const& theme, Rect const& content, double y);

} // namespace maps
