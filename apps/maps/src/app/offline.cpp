#include "app/offline.h"

#include <algorithm>
#include <unordered_set>

#include <fmt/format.h>

#include "app/maps_app.h"
#include "model/ops.h"
#include "offline_panel/download_selection.h"
#include "platform/format/bytes.h"
#include "platform/launch/state.h"

namespace maps {

namespace {

using Kind = OfflinePanelAction::Kind;

constexpr std::uint8_t MAX_DETAIL = 6;

bool download(MapsApp& app) {
  // The demonstration fetches no tiles: a download there would report tiles it never got.
  if (!app.live) {
    set_status(app.model, "Downloads are off in the demonstration", StatusKind::Warning);
    return true;
  }
  DownloadSelection const sel = download_selection(app.offline_panel, app.viewport_bounds(),
                                                   app.model.zoom, app.window_rect());
  std::uint32_t const count = app.tiles.download_area(sel.box, sel.z0, sel.z1);
  DownloadedRegion region;
  region.id = offline_region_id(sel.box, sel.z0, sel.z1);
  region.name = offline_region_name(sel.name, sel.box, app.model.places);
  region.min = LatLon{sel.box.south, sel.box.west};
  region.max = LatLon{sel.box.north, sel.box.east};
  region.z0 = sel.z0;
  region.z1 = sel.z1;
  region.tiles = count;
  // Recorded when the tiles are in: an area none of whose tiles arrived is no offline area.
  app.offline_panel.download =
      OfflineDownload{std::move(region), app.tiles.offline_downloads, count, 0, false};
  set_status(app.model,
             sel.name ? fmt::format("Downloading {} tiles for {}\xE2\x80\xA6", count, *sel.name)
                      : fmt::format("Downloading {} tiles for offline use\xE2\x80\xA6", count));
  return true;
}

bool retry_missing(MapsApp& app) {
  auto& pending = app.offline_panel.download;
  if (!offline_retry_offered(app.offline_panel, app.tiles)) {
    return false;
  }
  std::uint32_t const count = app.tiles.retry_failed_tiles();
  if (count == 0) {
    return false;
  }
  pending->download = app.tiles.offline_downloads;
  pending->ended = false;
  set_status(app.model, fmt::format("Downloading {} missing tiles for {}\xE2\x80\xA6", count,
                                    pending->region.name));
  return true;
}

bool delete_region(MapsApp& app, std::string const& id, zarn_ui::doc::Document& doc) {
  auto const& regions = app.model.regions;
  auto const found = std::find_if(regions.begin(), regions.end(),
                                  [&](DownloadedRegion const& r) { return r.id == id; });
  if (found == regions.end()) {
    return false;
  }
  auto const index = static_cast<std::size_t>(found - regions.begin());
  DownloadedRegion const region = *found; // the dispatch below replaces the list
  // Tiles shared with another area stay: that area still needs them.
  std::unordered_set<TileKey, TileKeyHash> keep;
  for (std::size_t i = 0; i < regions.size(); ++i) {
    if (i != index) {
      for (TileKey const& key : region_tiles(regions[i])) {
        keep.insert(key);
      }
    }
  }
  std::vector<TileKey> doomed;
  for (TileKey const& key : region_tiles(region)) {
    if (!keep.contains(key)) {
      doomed.push_back(key);
    }
  }
  std::uint64_t const freed = app.tiles.delete_region_tiles(doomed);
  if (app.offline_panel.download && app.offline_panel.download->region.id == region.id) {
    app.offline_panel.download.reset(); // nothing of it is left to retry
  }
  refresh_cache_bytes(app);
  app.dispatch_maps_action(doc, MapsAction{MapsAction::DeleteRegion{region.id}});
  set_status(app.model, fmt::format("Removed \xE2\x80\x9C{}\xE2\x80\x9D \xC2\xB7 {} freed",
                                    region.name, zarn_ui::format::bytes(freed)));
  return true;
}

bool clear_cache(MapsApp& app, zarn_ui::doc::Document& doc) {
  std::uint64_t const freed = app.tiles.clear_tile_cache();
  app.offline_panel.cache_bytes = 0;
  app.offline_panel.download.reset();
  app.dispatch_maps_action(doc, MapsAction{MapsAction::ClearRegions{}});
  set_status(app.model, fmt::format("Cleared {} of offline tiles", zarn_ui::format::bytes(freed)));
  return true;
}

} // namespace

bool perform_offline_action(MapsApp& app, OfflinePanelAction const& action,
                            zarn_ui::doc::Document* doc) {
  OfflinePanel& panel = app.offline_panel;
  switch (action.kind) {
  case Kind::Close:
    close_offline_panel(panel);
    return true;
  case Kind::Zoom:
    panel.detail = static_cast<std::uint8_t>(
        std::clamp(static_cast<int>(panel.detail) + action.delta, 0, int{MAX_DETAIL}));
    return true;
  case Kind::Download:
    return doc != nullptr && download(app);
  case Kind::RetryMissing:
    return retry_missing(app);
  case Kind::DeleteRegion:
    return doc != nullptr && delete_region(app, action.region_id, *doc);
  case Kind::ClearCache:
    return doc != nullptr && clear_cache(app, *doc);
  case Kind::SearchField:
    return false;
  }
  return false;
}

bool perform_offline_action(MapsApp& app, OfflinePanelAction const& action, zarn_ui::State* state) {
  return perform_offline_action(app, action, state ? &state->document() : nullptr);
}

void finish_offline_download(MapsApp& app, zarn_ui::doc::Document& doc) {
  TileCache const& tiles = app.tiles;
  auto& pending = app.offline_panel.download;
  bool const announced = app.model.status.find("Downloading") != std::string::npos;
  if (!pending || pending->ended || pending->download != tiles.offline_downloads) {
    if (announced) {
      set_status(app.model, fmt::format("Offline area ready ({} tiles)", tiles.offline_total));
    }
    return;
  }
  pending->ended = true;
  pending->fetched += tiles.offline_total - std::min(tiles.offline_failed, tiles.offline_total);
  std::uint32_t const area = pending->area_tiles;
  std::uint32_t const missing = area - std::min(pending->fetched, area);
  if (pending->fetched == 0) {
    set_status(app.model,
               fmt::format("Offline download failed: none of the {} tiles could be fetched", area),
               StatusKind::Error);
    return;
  }
  DownloadedRegion region = pending->region;
  region.tiles = pending->fetched;
  app.dispatch_maps_action(doc, MapsAction{MapsAction::AddRegion{std::move(region)}});
  if (missing > 0) {
    set_status(app.model,
               fmt::format("Offline area incomplete: {} of {} tiles missing", missing, area),
               StatusKind::Warning);
    return;
  }
  pending.reset();
  if (announced) {
    set_status(app.model, fmt::format("Offline area ready ({} tiles)", area));
  }
}

void open_offline_maps(MapsApp& app) {
  open_offline_panel(app.offline_panel, app.offline_panel.cache_bytes);
  refresh_cache_bytes(app);
}

void refresh_cache_bytes(MapsApp& app) {
  if (auto const bytes = app.tiles.disk_usage_or_measure()) {
    app.offline_panel.cache_bytes = *bytes;
  }
}

} // namespace maps
