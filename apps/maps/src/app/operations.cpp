// Search, directions and location operations that the gestures, the semantic controls and the
// tick end in: they change the live model where the change is a view of the moment and start
// background requests when live services are on.

#include <algorithm>
#include <ctime>

#include <fmt/format.h>

#include "app/labels.h"
#include "app/maps_app.h"
#include "app/suggestions.h"
#include "base/utf8.h"
#include "model/ops.h"
#include "net/routing.h"
#include "shell/sample_data.h"

namespace maps {

namespace {

bool contains(std::string_view haystack, std::string_view needle) {
  return haystack.find(needle) != std::string_view::npos;
}

}  // namespace

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
    bool const matches = contains(lower(poi.name), needle) || contains(lower(poi.address), needle) ||
                         contains(lower(category_label(poi.category)), needle) ||
                         (poi.detail && contains(lower(*poi.detail), needle)) ||
                         category_keyword_match(needle, poi.category);
    if (matches) {
      out.push_back(new_place(poi.id, poi.name, poi.category, poi.pos.lat, poi.pos.lon, poi.address));
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
  return model.center;
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
    model.status = "Routing\xE2\x80\xA6";
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
  model.status = "Finding departures\xE2\x80\xA6";
  TransitQuery query;
  if (model.transit_time.offset_min != 0 || model.transit_time.mode != TransitTimeMode::Depart) {
    OffsetDateTime when = transit_now();
    when.utc += std::chrono::minutes{model.transit_time.offset_min};
    query.time = rfc3339(when);
    query.arrive_by = model.transit_time.mode == TransitTimeMode::Arrive;
  }
  spawn_transit(results_tx, services, std::move(query), from, to);
}

void MapsApp::start_locating() {
  if (locating || !live) {
    return;
  }
  locating = true;
  model.status = "Locating\xE2\x80\xA6";
  location_rx = start_location_request(location_config);
}

void MapsApp::set_traffic(bool on) {
  traffic_on = on;
  if (on) {
    traffic = road_network.empty() ? TrafficOverlay{} : sample_traffic(road_network);
  }
}

std::string rfc3339(OffsetDateTime const& when) {
  auto const local = when.local();
  auto const day = std::chrono::floor<std::chrono::days>(local);
  std::chrono::year_month_day const ymd{day};
  std::chrono::hh_mm_ss const hms{local - day};
  auto const offset_min = std::chrono::duration_cast<std::chrono::minutes>(when.offset).count();
  long long const abs_min = offset_min < 0 ? -offset_min : offset_min;
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}{}{:02}:{:02}", static_cast<int>(ymd.year()),
                     static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                     hms.hours().count(), hms.minutes().count(), hms.seconds().count(),
                     offset_min < 0 ? '-' : '+', abs_min / 60, abs_min % 60);
}

}  // namespace maps
