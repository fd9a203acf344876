#pragma once
// Public-transport planning against a MOTIS journey planner (plan interface v1): the request
// URL with its time options, and the parsing of itineraries into TransitJourney values with
// their legs, times, modes, colours and decoded geometry.

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

/// Journeys of an answer (JSON text): its "itineraries", then its "direct" journeys; "no
/// itineraries" when it holds neither array, ANSWER_UNREADABLE for text that is no JSON.
base::Result<std::vector<TransitJourney>> parse_transit_plan(std::string_view answer);

/// "HH:MM" of an ISO 8601 date-time. A time with a zone ("Z", "+02:00") is shown in the
/// local time zone; one without a zone as written. Text that is no date-time stays as it is.
std::string display_time(std::string_view text);

LegMode leg_mode_from_text(std::string_view text);

/// The colour of a leg's colour member (its text): six hexadecimal digits without "#", or
/// nothing.
std::optional<std::string> route_color(std::string_view text);

} // namespace maps
