#pragma once
// The offline areas panel's operations: its search box's share of the input, its controls as
// the accessibility layer sees them, and what each of its buttons does (download an area into
// the tile cache, delete one, clear the cache). Lasting changes are MapsActions on the document.

#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "input/ui_action.h"
#include "offline_panel/panel_state.h"
#include "platform/widget/event.h"
#include "tiles/tile_cache.h"

namespace zarn_ui {
class State;
namespace doc {
class Document;
}
} // namespace zarn_ui

namespace maps {

class MapsApp;

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

/// Performs one action. Download, DeleteRegion and ClearCache change the document and the tile
/// cache together, so without a document they do nothing (false); a DeleteRegion of an unknown
/// id does nothing either, nor a RetryMissing when no retry is offered. True when something
/// was done.
bool perform_offline_action(MapsApp& app, OfflinePanelAction const& action,
                            zarn_ui::doc::Document* doc);
bool perform_offline_action(MapsApp& app, OfflinePanelAction const& action, zarn_ui::State* state);

/// True when the last download, started from the panel, has ended with tiles missing that can
/// be asked for again.
bool offline_retry_offered(OfflinePanel const& panel, TileCache const& tiles);

/// Accounts for the end of an offline download (called by the tick once all its tiles are
/// answered): an area with at least one tile fetched is recorded (AddRegion, with the tiles it
/// has); the status says it is ready, how many tiles are missing, or that none could be fetched.
void finish_offline_download(MapsApp& app, zarn_ui::doc::Document& doc);

/// "region:{south}:{west}:{north}:{east}:z{z0}-{z1}", coordinates with six decimals.
std::string offline_region_id(GeoBox const& box, std::uint8_t z0, std::uint8_t z1);

/// The area's name; else the first place inside the box (edges included); else the box centre
/// as "lat, lon" with three decimals.
std::string offline_region_name(std::optional<std::string> const& area_name, GeoBox const& box,
                                std::vector<Place> const& places);

} // namespace maps
