#include "draw/cached_layers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

#include <fmt/format.h>

#include "base/saturate.h"
#include "draw/map_layers.h"

namespace maps {

namespace {

constexpr std::int64_t MAX_TILE_INDEX = std::int64_t{1} << 40;

std::uint64_t palette_hash(MapPalette const& palette) {
  static_assert(std::is_trivially_copyable_v<MapPalette>);
  return detail::fnv1a(&palette, sizeof palette);
}

std::int64_t tile_index(double v) {
  return std::clamp(base::saturating_cast<std::int64_t>(std::floor(v)), -MAX_TILE_INDEX,
                    MAX_TILE_INDEX);
}

/// The snapshot of the data, renewed when the network or the traffic data changed.
std::shared_ptr<MapRasterSource const> const&
source_for(MapRaster& raster, StreetNetwork const& network, TrafficOverlay const* traffic) {
  std::uint64_t const fingerprint = network_fingerprint(network);
  std::uint64_t const version = traffic ? traffic->version : 0;
  auto const& s = raster.source;
  if (!s || s->network_fingerprint != fingerprint ||
      (traffic && (!s->has_traffic || s->traffic.version != version))) {
    auto fresh = std::make_shared<MapRasterSource>();
    fresh->network = network;
    if (traffic) {
      fresh->traffic = *traffic;
      fresh->has_traffic = true;
    }
    fresh->network_fingerprint = fingerprint;
    raster.source = std::move(fresh);
  }
  return raster.source;
}

} // namespace

bool draw_cached_layers(MapRaster& raster, Scene& scene, Affine const& t, Rect const& window,
                        MapProjection const& projection, MapPalette const& palette,
                        StreetNetwork const& network, bool with_network,
                        TrafficOverlay const* traffic) {
  double const zoom = projection.zoom;
  std::optional<double> const last = std::exchange(raster.last_zoom, zoom);
  raster.zoom_steady = last == zoom;
  if (!raster.enabled || (!with_network && traffic == nullptr) || last != zoom ||
      !std::isfinite(zoom)) {
    return false;
  }
  std::shared_ptr<MapRasterSource const> const source = source_for(raster, network, traffic);

  // The basemap's grid: the integer zoom nearest the frame's, each tile scaled by 2^(zoom - z).
  int const z = std::clamp(base::saturating_cast<int>(std::round(zoom)), 0, int{MAX_TILE_ZOOM});
  double const tile = 256.0 * std::exp2(zoom - z);
  double const left = projection.world_x - projection.screen_x; // world x of screen x = 0
  double const top = projection.world_y - projection.screen_y;
  std::int64_t const c0 = tile_index((left + window.x0) / tile);
  std::int64_t const c1 = tile_index((left + window.x1) / tile);
  std::int64_t const r0 = tile_index((top + window.y0) / tile);
  std::int64_t const r1 = tile_index((top + window.y1) / tile);

  std::string const base_key =
      fmt::format("map-layers|{}|{:x}|{}|{}", zoom, palette_hash(palette),
                  with_network ? fmt::format("{:x}", source->network_fingerprint) : "-",
                  traffic ? fmt::format("{}", traffic->version) : "-");
  for (std::int64_t r = r0; r <= r1; ++r) {
    for (std::int64_t c = c0; c <= c1; ++c) {
      double const wx = static_cast<double>(c) * tile;
      double const wy = static_cast<double>(r) * tile;
      Rect const rect{wx - left, wy - top, wx - left + tile, wy - top + tile};
      // In the tile's own coordinates the projection puts the tile's corner at (0, 0).
      MapProjection const local{wx, wy, 0.0, 0.0, zoom};
      bool const draw_traffic_too = traffic != nullptr;
      scene.cached_tile(fmt::format("{}|{}/{}", base_key, c, r), rect, t,
                        [source, palette, local, tile, with_network, draw_traffic_too](Scene& out) {
                          Rect const area{0.0, 0.0, tile, tile};
                          Affine const id = Affine::identity();
                          if (with_network) {
                            draw_street_network(out, id, area, local, source->network, palette,
                                                area);
                          }
                          if (draw_traffic_too) {
                            draw_traffic(out, id, local, source->traffic, palette, area);
                          }
                        });
    }
  }
  return true;
}

} // namespace maps
