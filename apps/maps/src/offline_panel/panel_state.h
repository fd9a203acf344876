#pragma once
// The offline areas panel's state: its area search, the selected area, the zoom detail and the
// pressable elements of its last drawing, with the operations that keep them consistent.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "model/types.h"
#include "net/geocode.h"
#include "platform/scene/geometry.h"
#include "platform/widgets/autocomplete.h"
#include "ui/ui_action.h"

namespace maps {

/// What a press on one of the offline panel's rectangles does.
struct OfflinePanelAction {
  enum class Kind : std::uint8_t {
    Close,
    Zoom,
    Download,
    DeleteRegion,
    ClearCache,
    SearchField,
    RetryMissing, // fetch again the tiles the last download could not
  };
  Kind kind = Kind::Close;
  std::int8_t delta = 0; // Zoom: +1 or -1
  std::string region_id; // DeleteRegion
  bool operator==(OfflinePanelAction const&) const = default;

  static OfflinePanelAction close() { return {Kind::Close, 0, {}}; }
  static OfflinePanelAction zoom(std::int8_t d) { return {Kind::Zoom, d, {}}; }
  static OfflinePanelAction download() { return {Kind::Download, 0, {}}; }
  static OfflinePanelAction delete_region(std::string id) {
    return {Kind::DeleteRegion, 0, std::move(id)};
  }
  static OfflinePanelAction clear_cache() { return {Kind::ClearCache, 0, {}}; }
  static OfflinePanelAction search_field() { return {Kind::SearchField, 0, {}}; }
  static OfflinePanelAction retry_missing() { return {Kind::RetryMissing, 0, {}}; }
};

struct OfflineTarget {
  zarn_ui::Rect rect;
  OfflinePanelAction action;
  bool operator==(OfflineTarget const&) const = default;
};

/// An area being downloaded. It is recorded only once its download ends with at least one tile
/// fetched, and kept after a failure so that the missing tiles can be asked for again.
struct OfflineDownload {
  DownloadedRegion region;
  std::uint64_t download = 0; // the tile cache's number of the attempt in progress or last ended
  std::uint32_t area_tiles = 0;
  std::uint32_t fetched = 0; // by the attempts that ended
  bool ended = false;        // the attempt `download` has ended and been accounted
};

struct OfflinePanel {
  zarn_ui::widget::Autocomplete search;
  std::optional<zarn_ui::Rect> search_rect;
  std::vector<AreaHit> hits;
  std::string query;
  /// The pressable elements of the last drawing; the first is the window-wide scrim.
  std::vector<OfflineTarget> targets;
  std::optional<AreaHit> selected;
  std::optional<base::Instant> debounce;
  std::uint64_t cache_bytes = 0;
  std::optional<OfflineDownload> download;
  /// What the area search is doing, shown in place of the hint: "Searching…", that nothing
  /// was found, or its failure (`search_failed`).
  std::string search_note;
  bool search_failed = false;
  bool open = false;
  std::uint8_t detail = 2; // extra zoom levels, 0..6
};

OfflinePanel new_offline_panel(std::uint64_t cache_bytes);
void reset_offline_search(OfflinePanel& panel);
void open_offline_panel(OfflinePanel& panel, std::uint64_t cache_bytes);
void close_offline_panel(OfflinePanel& panel);
/// One suggestion per hit: its name, with its label as detail when not empty.
std::vector<zarn_ui::widget::Suggestion> place_suggestions(std::vector<AreaHit> const& hits);

} // namespace maps
