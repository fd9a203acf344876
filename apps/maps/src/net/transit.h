#pragma once
// Public-transport planning against a MOTIS journey planner (plan interface v1): the request
// URL with its time options, and the parsing of itineraries into TransitJourney values with
// their legs, times, modes, colours and decoded geometry.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "model/types.h"

namespace maps {

/// Scheme and host of the public transit-planning service.
inline constexpr char const TRANSIT_BASE_URL[] = "https://api.transitous.org";

/// Farthest a decoded leg line may start from the leg's from place before the reading of
/// its precision counts as wrong.
inline constexpr double MAX_LEG_START_OFFSET_M = 2000.0;

/// Largest polyline precision read from an answer (digits a double still carries).
inline constexpr unsigned MAX_POLYLINE_PRECISION = 15;

/// The most journeys an answer keeps of its "itineraries", the first ones. The request's
/// "numItineraries=4" is the least the planner computes, not the most it sends: it sends every
/// itinerary departing in its search window (a quarter of an hour, widened until it holds
/// four), a handful to about a dozen, all of which the transit panel lists. Bounded so that an
/// answer of countless minimal itineraries cannot multiply its size in memory; the rest is
/// read, not kept.
inline constexpr std::size_t MAX_ITINERARIES = 16;

/// The most journeys kept of "direct": the planner sends one per direct mode (walking, unless
/// the request names others).
inline constexpr std::size_t MAX_DIRECT_JOURNEYS = 4;

/// The most legs a journey keeps, its first ones: a journey has a handful (the planner allows
/// a few transfers, with a walk between rides).
inline constexpr std::size_t MAX_JOURNEY_LEGS = 32;

/// Longest encoded leg line read, in bytes as sent: a day's train ride is some hundred
/// thousand. A longer one is no line, and the leg is drawn from stop to stop.
inline constexpr std::size_t MAX_LEG_LINE_BYTES = std::size_t{1} << 20;

/// The most points kept over all leg lines of an answer, after simplification; once they are
/// spent, further legs are drawn from stop to stop.
inline constexpr std::size_t MAX_PLAN_POINTS = 500000;

/// The time options of one request.
struct TransitQuery {
  std::optional<std::string> time; // RFC 3339; absent: now
  bool arrive_by = false;          // true: `time` is the latest arrival
  bool operator==(TransitQuery const&) const = default;
};

std::string transit_plan_url(std::string_view base_url, double from_lat, double from_lon,
                             double to_lat, double to_lon, TransitQuery const& query);
std::string transit_plan_url(double from_lat, double from_lon, double to_lat, double to_lon,
                             TransitQuery const& query);

base::Result<std::vector<TransitJourney>> plan_transit(std::string_view base_url, double from_lat,
                                                       double from_lon, double to_lat,
                                                       double to_lon, TransitQuery const& query);
base::Result<std::vector<TransitJourney>> plan_transit(double from_lat, double from_lon,
                                                       double to_lat, double to_lon,
                                                       TransitQuery const& query);

/// Journeys of an answer (JSON text): its "itineraries", then its "direct" journeys, each list
/// bounded as above; "no itineraries" when it holds neither array, ANSWER_UNREADABLE for text
/// that is no JSON.
base::Result<std::vector<TransitJourney>> parse_transit_plan(std::string_view answer);

/// "HH:MM" of an ISO 8601 date-time. A time with a zone ("Z", "+02:00") is shown in the
/// local time zone; one without a zone as written. Text that is no date-time stays as it is.
std::string display_time(std::string_view text);

LegMode leg_mode_from_text(std::string_view text);

/// The colour of a leg's colour member (its text): six hexadecimal digits without "#", or
/// nothing.
std::optional<std::string> route_color(std::string_view text);

} // namespace maps
