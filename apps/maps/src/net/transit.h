#pragma once
// Public-transport planning against a MOTIS journey planner (plan interface v1): the request
// URL with its time options, and the parsing of itineraries into TransitJourney values with
// their legs, times, modes, colours and decoded geometry.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/result.h"
#include "model/types.h"

namespace maps {

/// Scheme and host of the public transit-planning service.
inline constexpr char const TRANSIT_BASE_URL[] = "https://api.transitous.org";

/// The time options of one request.
struct TransitQuery {
  std::optional<std::string> time;  // RFC 3339; absent: now
  bool arrive_by = false;           // true: `time` is the latest arrival
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

/// Journeys of an answer; "no itineraries" when it holds no "itineraries" array.
base::Result<std::vector<TransitJourney>> parse_transit_plan(nlohmann::json const& answer);

/// "HH:MM" of an ISO 8601 date-time. A time with a zone ("Z", "+02:00") is shown in the
/// local time zone; one without a zone as written. Text that is no date-time stays as it is.
std::string display_time(std::string_view text);

LegMode leg_mode_from_text(std::string_view text);

/// Six hexadecimal digits without "#", or nothing.
std::optional<std::string> route_color(nlohmann::json const& leg, std::string_view key);

}  // namespace maps
