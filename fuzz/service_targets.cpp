// The service answer parsers over raw answer bodies, as the HTTP client hands them over.
// The sanitizers are the oracle here: the parsers may refuse anything but must not misbehave.

#include "net/geocode.h"
#include "net/http.h"
#include "net/poi.h"
#include "net/routing.h"
#include "net/transit.h"
#include "targets.h"

namespace maps::fuzz {

bool geocode_search(Bytes data) {
  auto const answer = as_text(data);
  bool const places = parse_search_answer(answer).has_value();
  bool const areas = parse_area_search_answer(answer).has_value();
  // Every hit that makes a place makes an area hit too.
  if (parse_geocoder_place(answer)) {
    check(parse_search_hit(answer).has_value(), "a place hit gave no area hit");
  }
  return places || areas;
}

bool geocode_reverse(Bytes data) {
  return parse_reverse_answer(as_text(data)).has_value();
}

bool poi(Bytes data) {
  return parse_pois(as_text(data)).has_value();
}

bool route(Bytes data) {
  LatLon const from{48.1371, 11.5754};
  LatLon const to{48.1500, 11.5800};
  auto const parsed = parse_route_answer(as_text(data), from, to, TravelMode::Car);
  if (parsed) {
    check(parsed->from == from && parsed->to == to, "a route lost its requested endpoints");
  }
  return parsed.has_value();
}

bool transit(Bytes data) {
  return parse_transit_plan(as_text(data)).has_value();
}

} // namespace maps::fuzz
