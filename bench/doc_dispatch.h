#pragma once
// What the dispatch benchmarks share: the application on a document that already holds its
// model, and an action applied to a document the way the application applies it, less the
// platform's bookkeeping.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "app/maps_app.h"
#include "base/clock.h"
#include "doc/load.h"
#include "doc/updaters.h"
#include "platform/doc/document.h"

namespace bench {

/// The application with `places` and three searches, on a document seeded with them by a first
/// tick and read back by a second; a manual clock and a 1280 x 800 window.
struct SeededApp {
  base::ManualClock clock;
  zarn_ui::doc::Document doc{zarn_ui::doc::Bytes(16, 3)};
  std::unique_ptr<maps::MapsApp> app;

  explicit SeededApp(std::vector<maps::Place> places) {
    maps::MapModel model = maps::default_map_model();
    model.places = std::move(places);
    model.recents = {"coffee", "Hauptbahnhof", "Marienplatz"};
    app = std::make_unique<maps::MapsApp>(maps::build_maps_app(
        std::move(model), maps::StreetNetwork{}, maps::offline_tile_cache(), false, false));
    app->clock = &clock;
    app->window_rect_ = zarn_ui::Rect{0, 0, 1280, 800};
    app->tick_doc(doc); // seeds the document
    app->tick_doc(doc);
  }
};

/// The action's updater, the commit and the refresh of what the action wrote into `live`.
inline void dispatch_to_doc(zarn_ui::doc::Document& d, maps::MapsAction const& action,
                            maps::MapModel& live, maps::DocBaseline& baseline) {
  auto const before = d.heads();
  (void)maps::apply_action_to_doc(action, d);
  d.commit();
  auto const ids = maps::place_ids_written_by(action);
  maps::refresh_written_fields(d, live, baseline, before, maps::fields_written_by(action),
                               ids ? std::optional<std::span<std::string const>>(*ids)
                                   : std::nullopt);
}

} // namespace bench
