#pragma once
// The map's vector layers (land, areas, the river, roads; traffic over either those or imagery)
// as cached tiles on the basemap's 256-px grid at the frame's zoom. The renderer keeps each tile's
// pixels (it alone knows the device scale) under a key naming the zoom, the tile, the colours
// and the versions of the street network and traffic data, so a steady frame only copies pixels
// and panning renders only the tiles it uncovers. While the zoom changes from frame to frame the
// layers are drawn directly: tiles made for a zoom shown once would only fill the cache.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/types.h"
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

/// One pin of the places layer: where its tip is in world pixels at the set's zoom, the place
/// it shows (an index into the model's places when the set was made) and how many places it
/// stands for (a count badge from two).
struct PlacePin {
  double world_x = 0.0;
  double world_y = 0.0;
  std::size_t place = 0;
  PlaceCategory category = PlaceCategory::Other;
  std::uint32_t count = 1;
};

/// A count badge's label, laid out once per set.
struct PinBadge {
  zarn_ui::TextCmd label; // at the origin; moved when drawn
  double width = 0.0;
};

/// The unselected places thinned at one zoom, with the 256-px tiles their drawings touch;
/// immutable once made, so recorded scenes share it.
struct PinSet {
  double zoom = 0.0;
  std::uint64_t version = 0; // of the places it was made from
  std::vector<PlacePin> pins;
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> tiles; // tile -> its pins
  std::unordered_map<std::uint32_t, PinBadge> badges;                  // count -> label
};

/// What the pins are made from: a place's position and category (names do not show).
struct PinSource {
  double lat = 0.0;
  double lon = 0.0;
  PlaceCategory category = PlaceCategory::Other;
  bool operator==(PinSource const&) const = default;
};

/// The places layer between frames: the places the set was made from, their version (raised
/// whenever they differ) and the set, remade when the places or the zoom change.
struct PinLayer {
  std::vector<PinSource> sources;
  std::uint64_t version = 0;
  float badge_text_size = 0.0f;
  std::shared_ptr<PinSet const> set;
  /// The pin sprites' cache keys, one per category, and the hash of the colours they were made
  /// for: remade only when the theme's colours change.
  std::shared_ptr<std::array<std::string, PLACE_CATEGORY_NAMES.size()> const> sprite_keys;
  std::uint64_t sprite_colors = 0;
};

struct MapRaster {
  /// Off: the layers are always drawn directly (tests compare both ways).
  bool enabled = true;
  /// The zoom of the last frame's map, to tell a steady zoom from a changing one.
  std::optional<double> last_zoom;
  /// Whether this frame's zoom equals the previous frame's (set with `last_zoom`).
  bool zoom_steady = false;
  std::shared_ptr<MapRasterSource const> source;
  PinLayer pins;
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
