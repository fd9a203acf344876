#pragma once
// What the offline areas panel's buttons do to the application: download an area into the tile
// cache, retry its missing tiles, delete one, clear the cache, and account for a download that
// ended. Lasting changes are MapsActions on the document.

#include "offline_panel/offline_panel.h"

namespace zarn_ui {
class State;
namespace doc {
class Document;
}
} // namespace zarn_ui

namespace maps {

class MapsApp;

/// Performs one action. Download, DeleteRegion and ClearCache change the document and the tile
/// cache together, so without a document they do nothing (false); a DeleteRegion of an unknown
/// id does nothing either, nor a RetryMissing when no retry is offered. True when something
/// was done.
bool perform_offline_action(MapsApp& app, OfflinePanelAction const& action,
                            zarn_ui::doc::Document* doc);
bool perform_offline_action(MapsApp& app, OfflinePanelAction const& action, zarn_ui::State* state);

/// Opens the offline panel with the cache's size as far as it is known at once; otherwise the
/// size is measured off the UI thread and the tick fills it in when it arrives.
void open_offline_maps(MapsApp& app);

/// The panel's cache size from the running total, or a measurement started for the tick to
/// take (refresh_cache_bytes never walks the folder on the UI thread).
void refresh_cache_bytes(MapsApp& app);

/// Accounts for the end of an offline download (called by the tick once all its tiles are
/// answered): an area with at least one tile fetched is recorded (AddRegion, with the tiles it
/// has); the status says it is ready, how many tiles are missing, or that none could be fetched.
void finish_offline_download(MapsApp& app, zarn_ui::doc::Document& doc);

} // namespace maps
