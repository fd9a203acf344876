// The service answer parsers, each behind the JSON parsing the HTTP client applies to a body.
// The sanitizers are the oracle here: the parsers may refuse anything but must not misbehave.

#include <nlohmann/json.hpp>

#include "net/geocode.h"
#include "net/http.h"
#include "net/poi.h"
#include "net/routing.h"
#include "net/transit.h"
#include "targets.h"

namespace maps::fuzz {

bool geocode_search(Bytes data) {
  auto const answer = parse_json(as_text(data));
  if (!answer) {
    return false;
  }
  bool const places = parse_search_answer(*answer).has_value();
  bool const areas = parse_area_search_answer(*answer).has_value();
  return places || areas;
}

bool geocode_reverse(Bytes data) {
  auto const answer = parse_json(as_text(data));
  return answer && parse_reverse_answer(*answer).has_value();
}

bool poi(Bytes data) {
  auto const answer = parse_json(as_text(data));
  return answer && parse_pois(*answer).has_value();
}

bool route(Bytes data) {
  auto const answer = parse_json(as_text(data));
  if (!answer) {
    return false;
  }
  LatLon const from{48.1371, 11.5754};
  LatLon const to{48.1500, 11.5800};
  auto const parsed = parse_route_answer(*answer, from, to, TravelMode::Car);
  if (parsed) {
    check(parsed->from == from && parsed->to == to, "a route lost its requested endpoints");
  }
  return parsed.has_value();
}

bool transit(Bytes data) {
  auto const answer = parse_json(as_text(data));
  return answer && parse_transit_plan(*answer).has_value();
}

} // namespace maps::fuzz
