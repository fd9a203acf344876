#pragma once
// The saved places' pins on the map, thinned so that their cost follows the screen rather than
// the number of places: pins closer than a spacing merge into one with a count badge, and while
// the zoom stays they are drawn from cached tiles, so panning paints only the tiles it uncovers.

#include <memory>

#include "geo/projection.h"
#include "model/types.h"
#include "platform/theme/theme.h"
#include "tiles/map_raster.h"
#include "ui/paint.h"
#include "ui/palette.h"

namespace maps {

/// Pins whose tips lie closer than this on screen are shown as one.
inline constexpr double PIN_SPACING = 22.0;
/// Counts above this read as "99+".
inline constexpr std::uint32_t PIN_BADGE_MAX = 99;

/// A place pin with its tip at `tip`: shadow, outline, head; larger when selected.
void draw_pin(Scene& scene, Affine const& t, MapPalette const& palette, Point tip, Color c,
              bool selected);

/// The layer's pin set for the model's places except the selected one at `zoom`, remade only
/// when those places (position, category), the zoom or the text scale changed.
std::shared_ptr<PinSet const> const& place_pin_set(PinLayer& layer, TextRenderer const& text,
                                                   MapModel const& model, double zoom);

/// The unselected places' pins over `map_area` (the caller clips). From cached tiles when
/// `raster` is given, enabled and the zoom is steady; drawn directly otherwise.
void draw_place_pins(Scene& scene, Affine const& t, TextRenderer const& text,
                     MapProjection const& projection, MapModel const& model,
                     zarn_ui::Theme const& theme, MapPalette const& palette, Rect const& map_area,
                     MapRaster* raster);

} // namespace maps
