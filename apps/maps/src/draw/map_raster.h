#pragma once
// The map's vector layers (land, areas, the river, roads; traffic over either those or imagery)
// as cached tiles on the basemap's 256-px grid at the frame's zoom. The renderer keeps each tile's
// pixels (it alone knows the device scale) under a key naming the zoom, the tile, the colours
// and the versions of the street network and traffic data, so a steady frame only copies pixels
// and panning renders only the tiles it uncovers. While the zoom changes from frame to frame the
// layers are drawn directly: tiles made for a zoom shown once would only fill the cache.

#include <cstdint>
#include <memory>
#include <optional>

#include "app/projection.h"
#include "draw/paint.h"
#include "draw/palette.h"
#include "platform/scene/scene.h"
#include "sample/street_network.h"

namespace maps {

/// What the tiles draw from, copied when it changes, so a recorded scene never points into the
/// application.
struct MapRasterSource {
  StreetNetwork network;
  TrafficOverlay traffic;
  std::uint64_t network_fingerprint = 0;
  bool has_traffic = false;
};

struct MapRaster {
  /// Off: the layers are always drawn directly (tests compare both ways).
  bool enabled = true;
  /// The zoom of the last frame's map, to tell a steady zoom from a changing one.
  std::optional<double> last_zoom;
  std::shared_ptr<MapRasterSource const> source;
};

/// Tells the street network apart from another: where its lists live and how long they are.
std::uint64_t network_fingerprint(StreetNetwork const& network);

/// Records the layers as cached tiles over `window` when the raster is enabled, there is
/// something to draw (the network when `with_network`, traffic when `traffic` is given) and the
/// zoom equals the previous frame's; false (nothing recorded) otherwise, and the caller draws
/// them directly. Every call notes the zoom.
bool draw_cached_layers(MapRaster& raster, Scene& scene, Affine const& t, Rect const& window,
                        MapProjection const& projection, MapPalette const& palette,
                        StreetNetwork const& network, bool with_network,
                        TrafficOverlay const* traffic);

} // namespace maps
