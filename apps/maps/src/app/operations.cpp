// Search, directions and location operations that the gestures, the semantic controls and the
// tick end in: they change the live model where the change is a view of the moment and start
// background requests when live services are on.

#include <algorithm>
#include <ctime>

#include <fmt/format.h>

#include "app/maps_app.h"
#include "app/suggestions.h"
#include "base/utf8.h"
#include "model/ops.h"
#include "net/routing.h"
#include "sample/sample_data.h"
#include "ui/labels.h"

namespace maps {

namespace {

bool contains(std::string_view haystack, std::string_view needle) {
  return haystack.find(needle) != std::string_view::npos;
}

} // namespace

std::vector<Place> MapsApp::local_suggestions(std::string_view text) const {
  std::string const needle = base::utf8::to_lower(base::utf8::trim(text));
  if (needle.empty()) {
    return {};
  }
  auto lower = [](std::string_view s) { return base::utf8::to_lower(s); };
  std::vector<Place> out;
  for (auto const& place : model.places) {
    if (contains(lower(place.name), needle) || contains(lower(place.address), needle) ||
        contains(lower(category_label(place.category)), needle)) {
      out.push_back(place);
    }
  }
  if (out.empty()) {
    for (auto const& place : model.places) {
      if (category_keyword_match(needle, place.category)) {
        out.push_back(place);
      }
    }
  }
  for (auto const& poi : nearby_pois) {
    bool const listed =
        std::any_of(out.begin(), out.end(), [&](Place const& p) { return p.id == poi.id; });
    if (listed) {
      continue;
    }
    bool const matches = contains(lower(poi.name), needle) ||
                         contains(lower(poi.address), needle) ||
                         contains(lower(category_label(poi.category)), needle) ||
                         (poi.detail && contains(lower(*poi.detail), needle)) ||
                         category_keyword_match(needle, poi.category);
    if (matches) {
      out.push_back(
          new_place(poi.id, poi.name, poi.category, poi.pos.lat, poi.pos.lon, poi.address));
    }
  }
  return out;
}

std::vector<Place> MapsApp::local_matches(std::string_view text) const {
  std::vector<Place> places = local_suggestions(text);
  rank_places(places, text);
  return places;
}

LatLon MapsApp::route_origin() {
  if (model.origin) {
    return *model.origin;
  }
  model.origin_name = "Map centre";
  // Opening a target moved the camera onto it; the user meant where they were looking.
  return centre_before_jump.value_or(model.center);
}

void MapsApp::destination_from_selection() {
  if (Place const* place = selected_place(model)) {
    model.dest = place->pos;
    model.dest_name = place->name;
  }
}

std::optional<std::pair<LatLon, LatLon>> MapsApp::plan_endpoints() {
  if (!model.dest) {
    destination_from_selection();
  }
  if (!model.dest) {
    return std::nullopt;
  }
  LatLon const from = route_origin();
  model.origin = from;
  return std::pair{from, *model.dest};
}

void MapsApp::request_route() {
  auto const ends = plan_endpoints();
  if (!ends) {
    return;
  }
  auto const [from, to] = *ends;
  nav_open = true;
  model.route = estimate_route(from.lat, from.lon, to.lat, to.lon, model.mode);
  fit_to_route();
  if (live) {
    ++jobs_in_flight;
    set_status(model, "Routing\xE2\x80\xA6");
    spawn_route(results_tx, services, from, to, model.mode);
  }
}

OffsetDateTime MapsApp::transit_now() const {
  if (!live) {
    return demo_now();
  }
  std::time_t const t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return OffsetDateTime{std::chrono::sys_seconds{std::chrono::seconds{t}},
                        std::chrono::seconds{local.tm_gmtoff}};
}

void MapsApp::request_transit() {
  auto const ends = plan_endpoints();
  if (!ends) {
    return;
  }
  auto const [from, to] = *ends;
  model.panel = Panel::Directions;
  model.mode = TravelMode::Transit;
  model.transit_choice = 0;
  model.route.reset();
  nav_open = true;
  model.transit.clear();
  std::array<LatLon, 2> const points{from, to};
  fit_camera(points);
  if (!live) {
    return;
  }
  ++jobs_in_flight;
  set_status(model, "Finding departures\xE2\x80\xA6");
  spawn_transit(results_tx, services, transit_query(), from, to);
}

TransitQuery MapsApp::transit_query() const {
  TransitQuery query;
  if (model.transit_time.offset_min != 0 || model.transit_time.mode != TransitTimeMode::Depart) {
    OffsetDateTime when = transit_now();
    when.utc += std::chrono::minutes{model.transit_time.offset_min};
    query.time = rfc3339(when);
    query.arrive_by = model.transit_time.mode == TransitTimeMode::Arrive;
  }
  return query;
}

void MapsApp::start_locating() {
  if (locating || !live) {
    return;
  }
  locating = true;
  set_status(model, "Locating\xE2\x80\xA6");
  location_rx = start_location_request(location_config);
}

void MapsApp::set_traffic(bool on) {
  traffic_on = on;
  if (on) {
    std::uint64_t const next = traffic.version + 1;
    traffic = road_network.empty() ? TrafficOverlay{} : sample_traffic(road_network);
    traffic.version = next;
  }
}

std::string rfc3339(OffsetDateTime const& when) {
  auto const local = when.local();
  auto const day = std::chrono::floor<std::chrono::days>(local);
  std::chrono::year_month_day const ymd{day};
  std::chrono::hh_mm_ss const hms{local - day};
  auto const offset_min = std::chrono::duration_cast<std::chrono::minutes>(when.offset).count();
  long long const abs_min = offset_min < 0 ? -offset_min : offset_min;
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}{}{:02}:{:02}",
                     static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                     static_cast<unsigned>(ymd.day()), hms.hours().count(), hms.minutes().count(),
                     hms.seconds().count(), offset_min < 0 ? '-' : '+', abs_min / 60, abs_min % 60);
}

} // namespace maps

namespace maps {

void MapsApp::submit_search(zarn_ui::doc::Document* doc) {
  std::string const query(base::utf8::trim(model.query));
  if (query.empty()) {
    return;
  }
  std::vector<Place> matches = local_matches(query);
  if (!matches.empty()) {
    model.selected = matches.front().id;
    jump_to(matches.front().pos);
  }
  model.results = std::move(matches);
  if (doc) {
    dispatch_maps_action(*doc, MapsAction{MapsAction::CommitSearch{query}});
  } else {
    commit_search(model, query);
    unrecorded_searches.push_back(query);
  }
  model.panel = Panel::Explore;
  panel_scroll[0] = 0.0;
  clear_search_suggestions(search_box);
  search_box.debounce.reset();
  nav_open = true;
  if (live) {
    ++jobs_in_flight;
    set_status(model, "Searching\xE2\x80\xA6");
    spawn_search(results_tx, services, query);
  }
}

void MapsApp::refresh_transit_if_active() {
  if (model.mode == TravelMode::Transit) {
    request_transit();
  }
}

void MapsApp::open_transit(zarn_ui::doc::Document& doc) {
  destination_from_selection();
  dispatch_maps_action(doc, MapsAction{MapsAction::SetTravelMode{TravelMode::Transit}});
  request_transit();
}

void MapsApp::open_directions() {
  destination_from_selection();
  model.panel = Panel::Directions;
  if (model.mode == TravelMode::Transit) {
    request_transit();
  } else {
    request_route();
  }
}

void MapsApp::directions_to_poi() {
  if (!selected_poi) {
    return;
  }
  auto const it = std::find_if(nearby_pois.begin(), nearby_pois.end(),
                               [&](Poi const& p) { return p.id == *selected_poi; });
  if (it == nearby_pois.end()) {
    return;
  }
  Poi const poi = *it;
  upsert_place(model,
               new_place(poi.id, poi.name, poi.category, poi.pos.lat, poi.pos.lon, poi.address));
  model.selected = poi.id;
  model.dest = poi.pos;
  model.dest_name = poi.name;
  model.panel = Panel::Directions;
  selected_poi.reset();
  if (model.mode == TravelMode::Transit) {
    request_transit();
  } else {
    request_route();
  }
}

void MapsApp::open_place(std::string_view id) {
  bool const changed = model.selected != id;
  model.selected = std::string(id);
  if (Place const* place = find_place(model, id)) {
    jump_to(place->pos);
    model.dest = place->pos;
    model.dest_name = place->name;
  }
  if (changed) {
    model.transit.clear();
    model.transit_choice = 0;
  }
  nav_open = true;
}

void MapsApp::select_poi(std::string_view id) {
  selected_poi = std::string(id);
}

void MapsApp::toggle_saved_place(zarn_ui::doc::Document& doc) {
  if (!model.selected) {
    return;
  }
  std::string const id = *model.selected;
  Place* place = find_place(model, id);
  bool const saved = place ? !place->saved : true;
  dispatch_maps_action(doc, MapsAction{MapsAction::SetPlaceSaved{id, saved}});
  if (Place* live_place = find_place(model, id)) {
    live_place->saved = saved;
  }
}

void MapsApp::end_navigation(zarn_ui::doc::Document& doc) {
  dispatch_maps_action(doc, MapsAction{MapsAction::ClearRoute{}});
  nav_flags = {false, false, false};
  nav_placement.reset();
  nav_drag.reset();
  nav_card_hover = false;
}

void MapsApp::run_map_control(std::uint8_t index) {
  auto const c = window_center();
  switch (index) {
  case 0:
    zoom_by(1.0, c.x, c.y);
    break;
  case 1:
    zoom_by(-1.0, c.x, c.y);
    break;
  case 2:
    start_locating();
    break;
  case 3:
    set_traffic(!traffic_on);
    break;
  default:
    break;
  }
}

void MapsApp::show_panel(Panel panel) {
  model.panel = panel;
  panel_scroll[0] = 0.0;
  nav_open = true;
  reset_endpoint_editor(endpoints);
  if (panel != Panel::Directions) {
    return;
  }
  if (model.mode == TravelMode::Transit) {
    if (model.transit.empty() && jobs_in_flight == 0 && (model.dest || model.selected)) {
      request_transit();
    }
  } else if (!model.route) {
    request_route();
  }
}

} // namespace maps
