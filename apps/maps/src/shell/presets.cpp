#include "shell/presets.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>

#include "app/overflow_menu.h"
#include "base/utf8.h"
#include "geo/geo.h"
#include "model/ops.h"
#include "sample/sample_data.h"

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

/// Distances in IEEE total order: a NaN with the sign bit first, then -inf .. +inf, then other
/// NaNs, so that a NaN distance never breaks the sort.
bool total_less(double a, double b) {
  auto key = [](double v) {
    auto const bits = std::bit_cast<std::int64_t>(v);
    return bits < 0 ? bits ^ std::numeric_limits<std::int64_t>::max() : bits;
  };
  return key(a) < key(b);
}

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

} // namespace

void apply_edit_from_preset(MapsApp& app) {
  app.model.panel = Panel::Directions;
  app.model.origin_query = "hauptbahnhof";
  edit_endpoint(app.endpoints, ORIGIN_FIELD);
  sync_endpoint_texts(app.endpoints, app.model.origin_query, app.model.dest_query);
  set_endpoint_suggestions(app.endpoints, ORIGIN_FIELD, app.local_suggestions("hauptbahnhof"));
}

void apply_transit_arrive_preset(MapsApp& app) {
  app.model.panel = Panel::Directions;
  app.model.mode = TravelMode::Transit;
  app.model.route.reset();
  app.model.transit_time = TransitTime{TransitTimeMode::Arrive, 60};
}

void apply_search_preset(MapsApp& app) {
  app.model.panel = Panel::Explore;
  app.search_box.editing = true;
  app.model.query = "Marienplatz";
  std::vector<Place> const& places = app.model.places;
  LatLon const ref = app.origin_or_center();
  std::vector<std::pair<double, std::size_t>> order;
  order.reserve(places.size());
  for (std::size_t i = 0; i < places.size(); ++i) {
    order.emplace_back(haversine_m(places[i].pos.lat, places[i].pos.lon, ref.lat, ref.lon), i);
  }
  std::stable_sort(order.begin(), order.end(),
                   [](auto const& a, auto const& b) { return total_less(a.first, b.first); });
  std::vector<Place> sorted;
  sorted.reserve(order.size());
  for (auto const& entry : order) {
    sorted.push_back(places[entry.second]);
  }
  set_search_suggestions(app.search_box, std::move(sorted));
}

void apply_pois_preset(MapsApp& app) {
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

void apply_traffic_preset(MapsApp& app) {
  app.set_traffic(true);
}

void apply_offline_preset(MapsApp& app) {
  app.model.panel = Panel::Explore;
  app.model.selected.reset();
  app.model.route.reset();
  app.model.regions = sample_regions();
  OfflinePanel& panel = app.offline_panel;
  panel.open = true;
  panel.detail = 2;
  panel.cache_bytes = 47'542'000;
  panel.search.set_text("M\xC3\xBCn");
  panel.search.begin_edit();
  panel.query = "M\xC3\xBCn";
  panel.hits = sample_suggestions();
  panel.search.set_suggestions_open(place_suggestions(panel.hits));
}

void apply_menu_preset(MapsApp& app) {
  // Laid out for the default window; a screenshot of another size keeps this place.
  app.window_rect_ = zarn_ui::Rect{0.0, 0.0, 1280.0, 800.0};
  open_overflow_menu(app);
}

void apply_attribution_preset(MapsApp& app) {
  open_attribution_sheet(app.attribution_sheet, false);
}

void apply_error_preset(MapsApp& app) {
  set_status(app.model, "Map imagery unavailable offline \xE2\x80\x94 reconnect and try again",
             StatusKind::Error);
}

MapsApp app_from_switches(std::vector<std::string> const& switches) {
  zarn_ui::launch::LaunchArgs args;
  for (auto const& s : switches) {
    auto const eq = s.find('=');
    if (eq == std::string::npos) {
      args.switches.insert(s);
    } else {
      args.options.emplace(s.substr(0, eq), s.substr(eq + 1));
    }
  }
  return app_from_launch_args(args);
}

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
  // Always in this order, whatever the order on the command line.
  static constexpr std::pair<char const*, void (*)(MapsApp&)> presets[] = {
      {"--edit-from", apply_edit_from_preset}, {"--transit-arrive", apply_transit_arrive_preset},
      {"--search", apply_search_preset},       {"--pois", apply_pois_preset},
      {"--traffic", apply_traffic_preset},     {"--offline", apply_offline_preset},
      {"--menu", apply_menu_preset},           {"--attribution", apply_attribution_preset},
      {"--error", apply_error_preset},
  };
  for (auto const& [name, apply] : presets) {
    if (args.has(name)) {
      apply(app);
    }
  }
  return app;
}

} // namespace maps
