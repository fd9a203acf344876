#pragma once
// Recording the map's vector layers through the tile raster cache (tiles/map_raster.h): the
// tiles that a steady zoom can reuse are painted once and copied afterwards.

#include "geo/projection.h"
#include "platform/scene/scene.h"
#include "sample/street_network.h"
#include "tiles/map_raster.h"
#include "ui/paint.h"
#include "ui/palette.h"

namespace maps {

/// Records the layers as cached tiles over `window` when the raster is enabled, there is
/// something to draw (the network when `with_network`, traffic when `traffic` is given) and the
/// zoom equals the previous frame's; false (nothing recorded) otherwise, and the caller draws
/// them directly. Every call notes the zoom.
bool draw_cached_layers(MapRaster& raster, Scene& scene, Affine const& t, Rect const& window,
                        MapProjection const& projection, MapPalette const& palette,
                        StreetNetwork const& network, bool with_network,
                        TrafficOverlay const* traffic);

} // namespace maps
