#pragma once
// What the map shows above its basemap layers: the nearby points of interest as coloured
// markers with category pictograms and name labels (thinned out so they do not crowd), the
// model's places as pins (merged where they crowd), the route origin marker and the selected
// place's callout. The side panel reuses the pictograms in its rows.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "geo/projection.h"
#include "model/types.h"
#include "net/poi.h"
#include "platform/theme/theme.h"
#include "tiles/map_raster.h"
#include "ui/paint.h"
#include "ui/palette.h"

namespace maps {

class MapsApp;

/// Which categories win when markers crowd: Landmark and Transit 6 down to Other 0.
int category_priority(PlaceCategory category);

/// Minimum on-screen spacing of two markers.
inline constexpr double POI_SPACING_NEAR = 26.0; // zoom 16 and above
inline constexpr double POI_SPACING_FAR = 15.0;
/// Pictograms in markers from this zoom, names of unselected markers from the next.
inline constexpr double POI_GLYPH_ZOOM = 16.0;
inline constexpr double POI_LABEL_ZOOM = 16.5;

/// Indices into `pois` of the markers to draw, in drawing order: the selected one first, then by
/// higher category priority, then by lower index; a point is kept when it lies at least the
/// minimum spacing from every point kept before it. Points that project to no finite screen
/// point are never kept. The map area is not tested here.
std::vector<std::size_t> choose_visible_pois(std::span<Poi const> pois,
                                             std::optional<std::string> const& selected,
                                             MapProjection const& projection, double zoom);

/// choose_visible_pois over the app's nearby points of interest with this frame's camera: the
/// markers drawn and those a press can hit.
std::vector<std::size_t> visible_poi_indices(MapsApp const& app);

/// The category's pictogram centred at (cx, cy), `size` pixels across, drawn in `foreground`;
/// `background` cuts details out of it (the windows of the transit vehicle).
void draw_category_glyph(Scene& scene, Affine const& t, double cx, double cy, double size,
                         Color foreground, Color background, PlaceCategory category);

/// The chosen markers, clipped to the map area; the selected one (the first with that id) last,
/// with its name always shown.
void draw_pois(Scene& scene, Affine const& t, TextRenderer const& text,
               MapProjection const& projection, std::span<Poi const> pois,
               std::span<std::size_t const> chosen, std::optional<std::string> const& selected,
               zarn_ui::Theme const& theme, MapPalette const& palette, Rect const& map_area);

/// The origin marker, the places' pins (thinned, see place_pins.h; from `raster`'s cached tiles
/// when given) and the selected place's pin with its callout, clipped to the map area.
void draw_places(Scene& scene, Affine const& t, TextRenderer const& text,
                 MapProjection const& projection, MapModel const& model,
                 zarn_ui::Theme const& theme, MapPalette const& palette, Rect const& map_area,
                 MapRaster* raster = nullptr);

} // namespace maps
