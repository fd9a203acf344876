#include "shell/presets.h"

#include "base/utf8.h"
#include "shell/sample_data.h"

namespace maps {

MapsApp empty_state_app() {
  return build_maps_app(default_map_model(), StreetNetwork{}, true, false);
}

MapsApp demo_state_app() {
  return build_maps_app(demo_scenario(), sample_road_network(), true, false);
}

void set_transit_panel(MapsApp& app, bool transit) {
  app.model.mode = transit ? TravelMode::Transit : TravelMode::Car;
  app.model.panel = Panel::Directions;
  if (transit) {
    app.model.route.reset();
  }
}

namespace {

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

}  // namespace

MapsApp app_from_launch_args(zarn_ui::launch::LaunchArgs const& args) {
  MapsApp app = args.has("--empty") ? empty_state_app() : demo_state_app();
  if (args.has("--nav-closed")) {
    app.nav_open = false;
  }
  if (auto const panel = args.value("--panel")) {
    std::string const choice = ascii_lower(base::utf8::trim(*panel));
    if (choice == "explore") {
      app.model.panel = Panel::Explore;
    } else if (choice == "directions") {
      app.model.panel = Panel::Directions;
    } else if (choice == "transit") {
      app.model.panel = Panel::Directions;
      set_transit_panel(app, true);
    }
  }
  if (args.has("--transit-arrive")) {
    app.model.panel = Panel::Directions;
    app.model.mode = TravelMode::Transit;
    app.model.route.reset();
    app.model.transit_time = TransitTime{TransitTimeMode::Arrive, 60};
  }
  if (args.has("--pois")) {
    app.nearby_pois = sample_pois();
    app.selected_poi = "osm-node-203";
    app.model.center = LatLon{48.1381, 11.577};
    app.model.zoom = 16.7;
    app.model.selected.reset();
    app.model.route.reset();
    app.model.results.clear();
    app.model.query.clear();
    app.model.panel = Panel::Explore;
  }
  if (args.has("--error")) {
    app.model.status = "Map imagery unavailable offline \xE2\x80\x94 reconnect and try again";
  }
  return app;
}

}  // namespace maps
