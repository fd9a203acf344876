#include "net/routing.h"

#include <cmath>
#include <optional>
#include <utility>

#include <fmt/format.h>

#include "geo/geo.h"
#include "net/http.h"
#include "net/json_read.h"
#include "net/net_log.h"

namespace maps {

namespace {

using detail::member;
using detail::number_member;
using detail::string_member;

// A distance or duration: negative and non-finite values are no measure at all.
std::optional<double> measure_member(nlohmann::json const& obj, std::string_view key) {
  auto const v = number_member(obj, key);
  if (!v || !std::isfinite(*v) || *v < 0.0) {
    return std::nullopt;
  }
  return v;
}

std::vector<LatLon> geometry_of(nlohmann::json const& route) {
  std::vector<LatLon> points;
  auto const* geometry = member(route, "geometry");
  auto const* coords = geometry != nullptr ? member(*geometry, "coordinates") : nullptr;
  if (coords == nullptr || !coords->is_array()) {
    return points;
  }
  points.reserve(coords->size());
  for (auto const& c : *coords) {
    // GeoJSON order: longitude first.
    if (c.is_array() && c.size() >= 2 && c[0].is_number() && c[1].is_number()) {
      LatLon const p{c[1].get<double>(), c[0].get<double>()};
      if (is_valid_position(p)) {
        points.push_back(p);
      }
    }
  }
  return simplify_polyline(points, ROUTE_SIMPLIFY_TOLERANCE_M);
}

std::vector<RouteStep> steps_of(nlohmann::json const& route) {
  std::vector<RouteStep> steps;
  auto const* legs = member(route, "legs");
  if (legs == nullptr || !legs->is_array()) {
    return steps;
  }
  for (auto const& leg : *legs) {
    auto const* leg_steps = member(leg, "steps");
    if (leg_steps == nullptr || !leg_steps->is_array()) {
      continue;
    }
    for (auto const& step : *leg_steps) {
      std::string_view type;
      std::string_view modifier;
      if (auto const* m = member(step, "maneuver")) {
        type = string_member(*m, "type").value_or("");
        modifier = string_member(*m, "modifier").value_or("");
      }
      std::string_view const name = string_member(step, "name").value_or("");
      Maneuver const maneuver = maneuver_for_step(type, modifier);
      steps.push_back(RouteStep{step_instruction(maneuver, name),
                                measure_member(step, "distance").value_or(0.0), maneuver});
    }
  }
  return steps;
}

} // namespace

std::string_view route_profile(TravelMode mode) {
  auto const i = static_cast<std::size_t>(mode);
  return i < ROUTE_PROFILES.size() ? ROUTE_PROFILES[i] : ROUTE_PROFILES[0];
}

std::string route_url(std::string_view base_url, double from_lat, double from_lon, double to_lat,
                      double to_lon, TravelMode mode) {
  return fmt::format(
      "{}/route/v1/{}/{:.6f},{:.6f};{:.6f},{:.6f}?overview=full&geometries=geojson&steps=true",
      base_url, route_profile(mode), from_lon, from_lat, to_lon, to_lat);
}

Maneuver maneuver_for_step(std::string_view type, std::string_view modifier) {
  if (type == "depart") {
    return Maneuver::Depart;
  }
  if (type == "arrive") {
    return Maneuver::Arrive;
  }
  if (type == "roundabout" || type == "rotary" || type == "roundabout turn") {
    return Maneuver::Roundabout;
  }
  if (type == "merge") {
    return Maneuver::Merge;
  }
  if (type == "uturn" || modifier == "uturn") {
    return Maneuver::Uturn;
  }
  if (modifier == "sharp left") {
    return Maneuver::SharpLeft;
  }
  if (modifier == "left") {
    return Maneuver::Left;
  }
  if (modifier == "slight left") {
    return Maneuver::SlightLeft;
  }
  if (modifier == "sharp right") {
    return Maneuver::SharpRight;
  }
  if (modifier == "right") {
    return Maneuver::Right;
  }
  if (modifier == "slight right") {
    return Maneuver::SlightRight;
  }
  return Maneuver::Continue;
}

std::string step_instruction(Maneuver maneuver, std::string_view name) {
  auto const turn = [name](std::string_view text) {
    return name.empty() ? std::string(text) : fmt::format("{} onto {}", text, name);
  };
  switch (maneuver) {
  case Maneuver::Depart:
    return name.empty() ? std::string("Start") : fmt::format("Head out on {}", name);
  case Maneuver::Continue:
  case Maneuver::Merge:
    return name.empty() ? std::string("Continue") : fmt::format("Continue on {}", name);
  case Maneuver::SlightLeft:
    return turn("Slight left");
  case Maneuver::Left:
    return turn("Turn left");
  case Maneuver::SharpLeft:
    return turn("Sharp left");
  case Maneuver::SlightRight:
    return turn("Slight right");
  case Maneuver::Right:
    return turn("Turn right");
  case Maneuver::SharpRight:
    return turn("Sharp right");
  case Maneuver::Uturn:
    return "Make a U-turn";
  case Maneuver::Roundabout:
    return turn("At the roundabout, take the exit");
  case Maneuver::Arrive:
    return "Arrive at your destination";
  }
  return name.empty() ? std::string("Continue") : fmt::format("Continue on {}", name);
}

base::Result<Route> parse_route_answer(nlohmann::json const& answer, LatLon from, LatLon to,
                                       TravelMode mode) {
  try {
    auto const code = string_member(answer, "code");
    if (!code) {
      return base::fail("routing failed");
    }
    if (*code != "Ok") {
      return base::fail(std::string(*code));
    }
    static nlohmann::json const none;
    nlohmann::json const* route = &none;
    if (auto const* routes = member(answer, "routes");
        routes != nullptr && routes->is_array() && !routes->empty()) {
      route = &routes->front();
    }
    Route out;
    out.mode = mode;
    out.distance_m = measure_member(*route, "distance").value_or(0.0);
    out.duration_s = measure_member(*route, "duration").value_or(0.0);
    out.geometry = geometry_of(*route);
    out.steps = steps_of(*route);
    // The requested endpoints, not the service's snapped ones.
    out.from = from;
    out.to = to;
    return out;
  } catch (nlohmann::json::exception const& e) {
    net_logger()->warn("{} answer could not be read: {}", "routing", e.what());
    return base::fail(ANSWER_UNREADABLE);
  }
}

base::Result<Route> route_by_road(std::string_view base_url, double from_lat, double from_lon,
                                  double to_lat, double to_lon, TravelMode mode) {
  // NoRoute and NoSegment come with status 400; their body reads like a 200 with that code.
  auto const answer =
      fetch_json_or_refusal(route_url(base_url, from_lat, from_lon, to_lat, to_lon, mode));
  if (!answer) {
    return base::fail(answer.error());
  }
  return parse_route_answer(*answer, {from_lat, from_lon}, {to_lat, to_lon}, mode);
}

base::Result<Route> route_by_road(double from_lat, double from_lon, double to_lat, double to_lon,
                                  TravelMode mode) {
  return route_by_road(ROUTING_BASE_URL, from_lat, from_lon, to_lat, to_lon, mode);
}

Route estimate_route(double from_lat, double from_lon, double to_lat, double to_lon,
                     TravelMode mode) {
  LatLon const start{from_lat, from_lon};
  LatLon const corner{from_lat, to_lon};
  LatLon const dest{to_lat, to_lon};
  Route route;
  route.mode = mode;
  route.geometry = {start, corner, dest};
  route.distance_m = polyline_length_m(route.geometry);
  auto const i = static_cast<std::size_t>(mode);
  double const speed = i < ESTIMATE_SPEEDS.size() ? ESTIMATE_SPEEDS[i] : ESTIMATE_SPEEDS[0];
  route.duration_s = route.distance_m / (speed / 3600.0);

  // East unless the destination lies strictly west; a NaN longitude therefore heads east.
  bool const west = to_lon < from_lon;
  // Written as negated comparisons so that a NaN latitude turns left on either heading.
  bool const left = west ? !(to_lat > from_lat) : !(to_lat < from_lat);
  route.steps = {
      RouteStep{fmt::format("Head {} to start", west ? "west" : "east"),
                haversine_m(start.lat, start.lon, corner.lat, corner.lon), Maneuver::Depart},
      RouteStep{fmt::format("Turn {} toward destination", left ? "left" : "right"),
                haversine_m(corner.lat, corner.lon, dest.lat, dest.lon),
                left ? Maneuver::Left : Maneuver::Right},
      RouteStep{"Arrive at destination", 0.0, Maneuver::Arrive},
  };
  route.from = start;
  route.to = dest;
  return route;
}

} // namespace maps
