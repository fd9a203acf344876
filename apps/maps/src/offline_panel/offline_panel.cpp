#include "offline_panel/offline_panel.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include <fmt/format.h>

#include "app/maps_app.h"
#include "base/utf8.h"
#include "offline_panel/download_selection.h"
#include "platform/format/bytes.h"
#include "platform/launch/state.h"

namespace maps {

namespace {

using Kind = OfflinePanelAction::Kind;

constexpr std::uint8_t MAX_DETAIL = 6;

double sane_scale(double scale) {
  return std::isfinite(scale) && scale > 0.0 ? scale : 1.0;
}

/// Closes the suggestion list but keeps the keyboard focus, so typing goes on.
void close_list(zarn_ui::widget::Autocomplete& box) {
  bool const editing = box.editing();
  box.close();
  if (editing) {
    box.begin_edit();
  }
}

bool inside(LatLon const& p, GeoBox const& box) {
  return p.lat >= box.south && p.lat <= box.north && p.lon >= box.west && p.lon <= box.east;
}

bool download(MapsApp& app) {
  DownloadSelection const sel = download_selection(app.offline_panel, app.viewport_bounds(),
                                                   app.model.zoom, app.window_rect());
  std::uint32_t const count = app.tiles.download_area(sel.box, sel.z0, sel.z1);
  DownloadedRegion region;
  region.id = offline_region_id(sel.box, sel.z0, sel.z1);
  // The demo's places are sample data, not what the user looked at: a view downloaded there
  // is named after the view itself.
  region.name =
      offline_region_name(sel.name, sel.box, app.live ? app.model.places : std::vector<Place>{});
  region.min = LatLon{sel.box.south, sel.box.west};
  region.max = LatLon{sel.box.north, sel.box.east};
  region.z0 = sel.z0;
  region.z1 = sel.z1;
  region.tiles = count;
  // Recorded when the tiles are in: an area none of whose tiles arrived is no offline area.
  app.offline_panel.download =
      OfflineDownload{std::move(region), app.tiles.offline_downloads, count, 0, false};
  app.model.status = sel.name
                         ? fmt::format("Downloading {} tiles for {}\xE2\x80\xA6", count, *sel.name)
                         : fmt::format("Downloading {} tiles for offline use\xE2\x80\xA6", count);
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
  app.model.status =
      fmt::format("Downloading {} missing tiles for {}\xE2\x80\xA6", count, pending->region.name);
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
  app.offline_panel.cache_bytes = app.tiles.tile_cache_disk_usage();
  app.dispatch_maps_action(doc, MapsAction{MapsAction::DeleteRegion{region.id}});
  app.model.status = fmt::format("Removed \xE2\x80\x9C{}\xE2\x80\x9D \xC2\xB7 {} freed",
                                 region.name, zarn_ui::format::bytes(freed));
  return true;
}

bool clear_cache(MapsApp& app, zarn_ui::doc::Document& doc) {
  std::uint64_t const freed = app.tiles.clear_tile_cache();
  app.offline_panel.cache_bytes = 0;
  app.offline_panel.download.reset();
  app.dispatch_maps_action(doc, MapsAction{MapsAction::ClearRegions{}});
  app.model.status = fmt::format("Cleared {} of offline tiles", zarn_ui::format::bytes(freed));
  return true;
}

} // namespace

std::optional<SemanticControl> offline_action_spec(OfflinePanelAction const& action) {
  switch (action.kind) {
  case Kind::Close:
    return make_control("Close offline maps", "maps.offline.close");
  case Kind::Zoom:
    if (action.delta == 1) {
      return make_control("Increase download detail", "maps.offline.zoom-in");
    }
    if (action.delta == -1) {
      return make_control("Decrease download detail", "maps.offline.zoom-out");
    }
    return std::nullopt;
  case Kind::Download:
    return make_control("Download selected area", "maps.offline.download");
  case Kind::DeleteRegion:
    return make_control("Delete downloaded area",
                        fmt::format("maps.offline.region:{}:delete", action.region_id));
  case Kind::ClearCache:
    return make_control("Clear offline map cache", "maps.offline.clear");
  case Kind::RetryMissing:
    return make_control("Retry missing tiles", "maps.offline.retry");
  case Kind::SearchField: {
    SemanticControl c = make_control("Area to download", "maps.offline.search");
    c.role = ROLE_SEARCH_FIELD;
    c.attributes.takes_text = true;
    return c;
  }
  }
  return std::nullopt;
}

std::vector<OfflineControl> offline_panel_specs(OfflinePanel const& panel) {
  std::vector<OfflineControl> out;
  if (panel.search_rect && !panel.search_rect->is_empty()) {
    auto const action = OfflinePanelAction::search_field();
    SemanticControl c = *offline_action_spec(action);
    c.rect = *panel.search_rect;
    out.push_back({std::move(c), action});
  }
  // The scrim and the close button both close; the platform gets one control, the largest.
  OfflineTarget const* close = nullptr;
  for (OfflineTarget const& target : panel.targets) {
    if (target.action.kind == Kind::Close && !target.rect.is_empty() &&
        (close == nullptr ||
         target.rect.width() * target.rect.height() > close->rect.width() * close->rect.height())) {
      close = &target;
    }
  }
  if (close != nullptr) {
    SemanticControl c = *offline_action_spec(close->action);
    c.rect = close->rect;
    out.push_back({std::move(c), close->action});
  }
  for (OfflineTarget const& target : panel.targets) {
    if (target.action.kind == Kind::Close || target.action.kind == Kind::SearchField ||
        target.rect.is_empty()) {
      continue;
    }
    auto spec = offline_action_spec(target.action);
    if (!spec || std::any_of(out.begin(), out.end(),
                             [&](OfflineControl const& c) { return c.control.id == spec->id; })) {
      continue;
    }
    spec->rect = target.rect;
    out.push_back({std::move(*spec), target.action});
  }
  return out;
}

bool offline_search_event(OfflinePanel& panel, zarn_ui::Event const& event, double scale,
                          base::Instant now) {
  auto& box = panel.search;
  if (auto const* press = std::get_if<zarn_ui::PointerButton>(&event)) {
    double const s = sane_scale(scale);
    zarn_ui::Point const p{press->x / s, press->y / s};
    if (press->button == 0 && press->state == zarn_ui::ButtonState::Pressed && panel.search_rect &&
        panel.search_rect->contains(p) && !box.editing()) {
      box.begin_edit();
    }
  }
  auto const outcome = box.handle_event(event, scale);
  if (box.text() != panel.query) {
    panel.query = box.text();
    panel.selected.reset();
    panel.search_note.clear();
    panel.search_failed = false;
    if (!base::utf8::trim(panel.query).empty()) {
      panel.debounce = now + INPUT_DEBOUNCE;
    } else {
      panel.debounce.reset();
      box.set_suggestions({});
      close_list(box);
    }
  }
  using zarn_ui::widget::AutocompleteOutcome;
  if (outcome == AutocompleteOutcome::Chosen) {
    if (auto const chosen = box.take_chosen()) {
      auto const hit = std::find_if(panel.hits.begin(), panel.hits.end(),
                                    [&](AreaHit const& h) { return h.name == chosen->value; });
      if (hit != panel.hits.end()) {
        panel.selected = *hit;
        box.set_text(hit->name);
        panel.query = hit->name;
        panel.search_note.clear();
        panel.search_failed = false;
      }
    }
    box.close();
    panel.debounce.reset();
  } else if (outcome == AutocompleteOutcome::Dismissed ||
             outcome == AutocompleteOutcome::Submitted) {
    close_list(box);
  }
  return outcome != AutocompleteOutcome::Ignored;
}

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

bool offline_retry_offered(OfflinePanel const& panel, TileCache const& tiles) {
  return panel.download && panel.download->ended &&
         panel.download->download == tiles.offline_downloads && tiles.offline_download_complete() &&
         !tiles.offline_failed_keys.empty();
}

void finish_offline_download(MapsApp& app, zarn_ui::doc::Document& doc) {
  TileCache const& tiles = app.tiles;
  auto& pending = app.offline_panel.download;
  std::string& status = app.model.status;
  if (!pending || pending->ended || pending->download != tiles.offline_downloads) {
    if (status.find("Downloading") != std::string::npos) {
      status = fmt::format("Offline area ready ({} tiles)", tiles.offline_total);
    }
    return;
  }
  pending->ended = true;
  pending->fetched += tiles.offline_total - std::min(tiles.offline_failed, tiles.offline_total);
  std::uint32_t const area = pending->area_tiles;
  std::uint32_t const missing = area - std::min(pending->fetched, area);
  if (pending->fetched == 0) {
    status = fmt::format("Offline download failed: none of the {} tiles could be fetched", area);
    return;
  }
  DownloadedRegion region = pending->region;
  region.tiles = pending->fetched;
  app.dispatch_maps_action(doc, MapsAction{MapsAction::AddRegion{std::move(region)}});
  if (missing > 0) {
    status = fmt::format("Offline area incomplete: {} of {} tiles missing", missing, area);
    return;
  }
  pending.reset();
  if (status.find("Downloading") != std::string::npos) {
    status = fmt::format("Offline area ready ({} tiles)", area);
  }
}

std::string offline_region_id(GeoBox const& box, std::uint8_t z0, std::uint8_t z1) {
  return fmt::format("region:{:.6f}:{:.6f}:{:.6f}:{:.6f}:z{}-{}", box.south, box.west, box.north,
                     box.east, z0, z1);
}

std::string offline_region_name(std::optional<std::string> const& area_name, GeoBox const& box,
                                std::vector<Place> const& places) {
  if (area_name) {
    return *area_name;
  }
  for (Place const& place : places) {
    if (inside(place.pos, box)) {
      return place.name;
    }
  }
  return fmt::format("{:.3f}, {:.3f}", (box.south + box.north) / 2.0, (box.west + box.east) / 2.0);
}

} // namespace maps
