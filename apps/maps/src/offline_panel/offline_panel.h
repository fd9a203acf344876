#pragma once
// The offline areas panel's operations: its search box's share of the input, its controls as
// the accessibility layer sees them, and what each of its buttons does (download an area into
// the tile cache, delete one, clear the cache). Lasting changes are MapsActions on the document.

#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "offline_panel/panel_state.h"
#include "platform/widget/event.h"
#include "tiles/tile_cache.h"
#include "ui/ui_action.h"

namespace maps {

/// One control of the panel: what the platform sees, and what performing it does.
struct OfflineControl {
  SemanticControl control;
  OfflinePanelAction action;
  bool operator==(OfflineControl const&) const = default;
};

/// The panel's controls in order: the search field (when painted), the largest Close target,
/// then the other targets in painting order, one per id. Zoom targets with a delta other than
/// +1 or -1, and Close and SearchField targets after the first, are not listed.
std::vector<OfflineControl> offline_panel_specs(OfflinePanel const& panel);

/// The label and id of one action (the search field's included); none for a Zoom of another
/// delta.
std::optional<SemanticControl> offline_action_spec(OfflinePanelAction const& action);

/// The search box's share of an event: a press in the field starts editing, the box gets the
/// event, a changed text re-arms the area search (blank text cancels it) and a chosen
/// suggestion becomes the selected area. True when the box took the event.
bool offline_search_event(OfflinePanel& panel, zarn_ui::Event const& event, double scale,
                          base::Instant now);

/// True when the last download, started from the panel, has ended with tiles missing that can
/// be asked for again.
bool offline_retry_offered(OfflinePanel const& panel, TileCache const& tiles);

/// "region:{south}:{west}:{north}:{east}:z{z0}-{z1}", coordinates with six decimals.
std::string offline_region_id(GeoBox const& box, std::uint8_t z0, std::uint8_t z1);

/// The area's name; else the first place inside the box (edges included); else the box centre
/// as "lat, lon" with three decimals.
std::string offline_region_name(std::optional<std::string> const& area_name, GeoBox const& box,
                                std::vector<Place> const& places);

} // namespace maps
