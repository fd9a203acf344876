#pragma once
// The map's vector layers (land, areas, the river, roads; traffic over either those or imagery)
// as cached tiles on the basemap's 256-px grid at the frame's zoom. The renderer keeps each tile's
// pixels (it alone knows the device scale) under a key naming the zoom, the tile, the colours
// and the versions of the street network and traffic data, so a steady frame only copies pixels
// and panning renders only the tiles it uncovers. While the zoom changes from frame to frame the
// layers are drawn directly: tiles made for a zoom shown once would only fill the cache.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

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

namespace detail {
inline std::uint64_t fnv1a(void const* data, std::size_t size,
                           std::uint64_t h = 14695981039346656037ull) {
  auto const* bytes = static_cast<unsigned char const*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    h = (h ^ bytes[i]) * 1099511628211ull;
  }
  return h;
}
} // namespace detail

/// Tells the street network apart from another: where its lists live and how long they are.
inline std::uint64_t network_fingerprint(StreetNetwork const& network) {
  std::uintptr_t const parts[] = {
      reinterpret_cast<std::uintptr_t>(network.areas.data()), network.areas.size(),
      reinterpret_cast<std::uintptr_t>(network.roads.data()), network.roads.size(),
      reinterpret_cast<std::uintptr_t>(network.river.data()), network.river.size()};
  return detail::fnv1a(parts, sizeof parts);
}

} // namespace maps
