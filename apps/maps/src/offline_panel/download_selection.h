#pragma once
// What an offline download would fetch: the chosen area's box (or the visible map) and the
// zoom range from its fitting zoom (or the map's) up by the panel's detail level.

#include <cstdint>
#include <optional>
#include <string>

#include "offline_panel/panel_state.h"
#include "platform/scene/geometry.h"
#include "tiles/tile_cache.h"

namespace maps {

struct DownloadSelection {
  std::optional<std::string> name; // the chosen area's; none for the current view
  GeoBox box;
  std::uint8_t z0 = 0;
  std::uint8_t z1 = 0;
};

/// `visible` is the viewport's (south, west, north, east); `zoom` the map's fractional zoom.
/// z0 is rounded half away from zero into 0..19; z1 = min(z0 + detail, 19).
DownloadSelection download_selection(OfflinePanel const& panel,
                                     std::array<double, 4> const& visible, double zoom,
                                     zarn_ui::Rect const& window);

} // namespace maps
