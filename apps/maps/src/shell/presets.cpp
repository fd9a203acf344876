#include "shell/presets.h"

#include <algorithm>
#include <cmath>

#include "base/utf8.h"
#include "geo/geo.h"
#include "shell/sample_data.h"

namespace maps {

MapsApp empty_state_app() {
  return build_maps_app(default_map_model(), StreetNetwork{}, offline_tile_cache(), true, false);
}

MapsApp demo_state_app() {
  return build_maps_app(demo_scenario(), sample_road_network(), offline_tile_cache(), true, false);
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
  if (args.has("--search")) {
    app.model.panel = Panel::Explore;
    app.search_box.editing = true;
    app.model.query = "Marienplatz";
    std::vector<Place> places = app.model.places;
    LatLon const ref = app.origin_or_center();
    std::vector<std::pair<double, std::size_t>> order;
    for (std::size_t i = 0; i < places.size(); ++i) {
      order.emplace_back(haversine_m(places[i].pos.lat, places[i].pos.lon, ref.lat, ref.lon), i);
    }
    std::stable_sort(order.begin(), order.end(), [](auto const& a, auto const& b) {
      return std::isnan(b.first) ? !std::isnan(a.first) : (!std::isnan(a.first) && a.first < b.first);
    });
    std::vector<Place> sorted;
    for (auto const& [distance, i] : order) {
      sorted.push_back(places[i]);
    }
    set_search_suggestions(app.search_box, std::move(sorted));
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
  if (args.has("--traffic")) {
    app.set_traffic(true);
  }
  if (args.has("--offline")) {
    app.model.panel = Panel::Explore;
    app.model.selected.reset();
    app.model.route.reset();
    app.model.regions = sample_regions();
    app.offline_panel.open = true;
    app.offline_panel.detail = 2;
    app.offline_panel.cache_bytes = 47'542'000;
    app.offline_panel.search.set_text("M\xC3\xBCn");
    app.offline_panel.search.begin_edit();
    app.offline_panel.query = "M\xC3\xBCn";
    app.offline_panel.hits = sample_suggestions();
    app.offline_panel.search.set_suggestions_open(place_suggestions(app.offline_panel.hits));
  }
  if (args.has("--error")) {
    app.model.status = "Map imagery unavailable offline \xE2\x80\x94 reconnect and try again";
  }
  return app;
}

}  // namespace maps
