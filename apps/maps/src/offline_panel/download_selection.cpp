#include "offline_panel/download_selection.h"

#include <algorithm>
#include <cmath>

#include "base/saturate.h"
#include "geo/geo.h"

namespace maps {

namespace {

constexpr double AREA_FIT_PADDING = 40.0;
constexpr double AREA_FALLBACK_ZOOM = 12.0;
constexpr std::uint8_t MAX_DOWNLOAD_ZOOM = 19;

std::uint8_t download_zoom(double zoom) {
  // saturating_cast maps NaN to 0; std::round rounds halves away from zero.
  auto const z = base::saturating_cast<std::int64_t>(std::round(zoom));
  return static_cast<std::uint8_t>(std::clamp<std::int64_t>(z, 0, MAX_DOWNLOAD_ZOOM));
}

} // namespace

DownloadSelection download_selection(OfflinePanel const& panel,
                                     std::array<double, 4> const& visible, double zoom,
                                     zarn_ui::Rect const& window) {
  DownloadSelection out;
  double z0 = zoom;
  if (panel.selected) {
    AreaHit const& area = *panel.selected;
    out.box = GeoBox{std::min(area.min.lat, area.max.lat), std::min(area.min.lon, area.max.lon),
                     std::max(area.min.lat, area.max.lat), std::max(area.min.lon, area.max.lon)};
    LatLon const corners[] = {{out.box.south, out.box.west},
                              {out.box.south, out.box.east},
                              {out.box.north, out.box.west},
                              {out.box.north, out.box.east}};
    auto const fit = fit_view_to_points(corners, std::max(window.width(), 400.0),
                                        std::max(window.height(), 300.0), AREA_FIT_PADDING);
    z0 = fit ? fit->zoom : AREA_FALLBACK_ZOOM;
    out.name = area.name;
  } else {
    out.box = GeoBox{visible[0], visible[1], visible[2], visible[3]};
  }
  out.z0 = download_zoom(z0);
  out.z1 = static_cast<std::uint8_t>(std::min<int>(out.z0 + panel.detail, MAX_DOWNLOAD_ZOOM));
  return out;
}

} // namespace maps
