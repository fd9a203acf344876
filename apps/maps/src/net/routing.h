#pragma once
// Road routes: the query to an OSRM route service (v1) and its answer, turned into a Route
// with simplified geometry and spoken-style step texts, and the L-shaped straight-line
// estimate shown at once while the real query runs or when it fails.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "base/result.h"
#include "model/types.h"

namespace maps {

/// Scheme and host of the public road-routing service.
inline constexpr char const ROUTING_BASE_URL[] = "https://router.project-osrm.org";

/// Tolerance, in metres, for simplifying service geometry (road routes and transit legs).
inline constexpr double ROUTE_SIMPLIFY_TOLERANCE_M = 3.0;

/// The most steps a route keeps, its first ones: a route across a continent has a few thousand
/// at most. Bounded so that an answer of countless tiny steps (each kept step costs some fifty
/// bytes and more than a minimal step's text) cannot multiply its size in memory.
inline constexpr std::size_t MAX_ROUTE_STEPS = 10000;

/// The most points of a route's line kept while it is read, before simplification: a longer
/// line (no road route comes near it) is thinned evenly, its first and last points kept, so
/// that a line of short numbers, six bytes a point in the answer and sixteen read, stays
/// bounded in memory.
inline constexpr std::size_t MAX_ROUTE_POINTS = 500000;

/// A point read and held costs sixteen bytes: a route's line holds at most one point per this
/// many bytes of its text read so far, thinned as at MAX_ROUTE_POINTS. Ordinary answers spend
/// twenty bytes and more on a point.
inline constexpr std::size_t LINE_BYTES_PER_HELD_POINT = 16;
/// A simplified line keeps at most one point per so many bytes of its text (every k-th of the
/// points it would keep): a route's, whose held points live until its result is built, and a
/// transit leg's, which holds none. Ordinary lines keep a fraction of that.
inline constexpr std::size_t ROUTE_LINE_BYTES_PER_KEPT_POINT = 32;
inline constexpr std::size_t LEG_LINE_BYTES_PER_KEPT_POINT = 16;
/// Lines of up to this many points are never thinned for the size of their text.
inline constexpr std::size_t LINE_POINTS_ALWAYS_KEPT = 1024;

/// Routing profile by TravelMode (Car, Transit, Bike, Foot).
inline constexpr std::array<std::string_view, 4> ROUTE_PROFILES = {"driving", "driving", "cycling",
                                                                   "foot"};

/// Assumed speed of the estimate in metres per hour by TravelMode (Car, Transit, Bike, Foot).
inline constexpr std::array<double, 4> ESTIMATE_SPEEDS = {32000.0, 20000.0, 15000.0, 4800.0};

std::string_view route_profile(TravelMode mode);

std::string route_url(std::string_view base_url, double from_lat, double from_lon, double to_lat,
                      double to_lon, TravelMode mode);

base::Result<Route> route_by_road(std::string_view base_url, double from_lat, double from_lon,
                                  double to_lat, double to_lon, TravelMode mode);
base::Result<Route> route_by_road(double from_lat, double from_lon, double to_lat, double to_lon,
                                  TravelMode mode);

/// The route of an answer (JSON text); the endpoints are the requested ones. Errors: the
/// answer's "code" when it is not "Ok", "routing failed" without a code, ANSWER_UNREADABLE for
/// text that is no JSON.
base::Result<Route> parse_route_answer(std::string_view answer, LatLon from, LatLon to,
                                       TravelMode mode);

Maneuver maneuver_for_step(std::string_view type, std::string_view modifier);

/// The instruction text of a step with the street name (may be empty).
std::string step_instruction(Maneuver maneuver, std::string_view name);

/// The L-shaped estimate: along the start's latitude to the destination's longitude, then
/// along that longitude. Never fails.
Route estimate_route(double from_lat, double from_lon, double to_lat, double to_lon,
                     TravelMode mode);

} // namespace maps
