#include "net/transit.h"

#include <algorithm>
#include <cmath>
#include <array>
#include <span>
#include <ctime>
#include <limits>
#include <utility>

#include <fmt/format.h>

#include "base/saturate.h"
#include "geo/geo.h"
#include "net/http.h"
#include "net/json_read.h"
#include "net/net_log.h"
#include "net/routing.h"

namespace maps {

namespace {

using detail::member;
using detail::number_member;
using detail::string_member;

// Reads exactly `n` ASCII digits at `pos`.
std::optional<int> digits(std::string_view s, std::size_t pos, std::size_t n) {
  if (pos + n > s.size()) {
    return std::nullopt;
  }
  int v = 0;
  for (std::size_t i = pos; i < pos + n; ++i) {
    if (s[i] < '0' || s[i] > '9') {
      return std::nullopt;
    }
    v = v * 10 + (s[i] - '0');
  }
  return v;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  std::int64_t const era = (y >= 0 ? y : y - 399) / 400;
  auto const yoe = static_cast<unsigned>(y - era * 400);
  unsigned const doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  unsigned const doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Seconds of an ISO 8601 date-time since 1970-01-01 on its own clock, and whether it names a
// zone ("Z" or "+hh:mm", already taken off, so zoned times are instants).
struct DateTime {
  std::int64_t seconds = 0;
  bool zoned = false;
};

std::optional<DateTime> date_time(std::string_view s) {
  auto const year = digits(s, 0, 4);
  auto const month = digits(s, 5, 2);
  auto const day = digits(s, 8, 2);
  if (!year || !month || !day || s.size() < 11 || s[4] != '-' || s[7] != '-' ||
      (s[10] != 'T' && s[10] != 't') || *month < 1 || *month > 12 || *day < 1 || *day > 31) {
    return std::nullopt;
  }
  auto const hour = digits(s, 11, 2);
  auto const minute = digits(s, 14, 2);
  if (!hour || !minute || s.size() < 16 || s[13] != ':' || *hour > 23 || *minute > 59) {
    return std::nullopt;
  }
  std::size_t pos = 16;
  int second = 0;
  if (pos < s.size() && s[pos] == ':') {
    auto const sec = digits(s, pos + 1, 2);
    if (!sec || *sec > 60) {
      return std::nullopt;
    }
    second = *sec;
    pos += 3;
    if (pos < s.size() && s[pos] == '.') {
      ++pos;
      std::size_t const start = pos;
      while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        ++pos;
      }
      if (pos == start) {
        return std::nullopt;
      }
    }
  }
  std::int64_t const local =
      days_from_civil(*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day)) * 86400 +
      *hour * 3600 + *minute * 60 + second;
  if (pos >= s.size()) {
    return DateTime{local, false};
  }
  int offset_s = 0;
  if (s[pos] == 'Z' || s[pos] == 'z') {
    ++pos;
  } else if (s[pos] == '+' || s[pos] == '-') {
    auto const oh = digits(s, pos + 1, 2);
    auto const om = digits(s, pos + 4, 2);
    if (!oh || !om || s[pos + 3] != ':' || *oh > 23 || *om > 59) {
      return std::nullopt;
    }
    offset_s = (*oh * 3600 + *om * 60) * (s[pos] == '-' ? -1 : 1);
    pos += 6;
  } else {
    return std::nullopt;
  }
  if (pos != s.size()) {
    return std::nullopt;
  }
  return DateTime{local - offset_s, true};
}

// Seconds since the epoch of an RFC 3339 date-time with a zone; nothing for text without one.
std::optional<std::int64_t> zoned_instant(std::string_view s) {
  auto const t = date_time(s);
  if (!t || !t->zoned) {
    return std::nullopt;
  }
  return t->seconds;
}

std::uint32_t whole_minutes(double seconds) {
  return base::saturating_cast<std::uint32_t>(std::round(seconds / 60.0));
}

// The span from "startTime" to "endTime" when both parse on the same kind of clock. Services
// disagree on the unit of "duration" (seconds or minutes), while the times are unambiguous.
std::optional<double> span_of(nlohmann::json const& obj) {
  auto const start = date_time(string_member(obj, "startTime").value_or(""));
  auto const end = date_time(string_member(obj, "endTime").value_or(""));
  if (!start || !end || start->zoned != end->zoned || end->seconds < start->seconds) {
    return std::nullopt;
  }
  return static_cast<double>(end->seconds - start->seconds);
}

std::uint32_t minutes_of(nlohmann::json const& obj) {
  if (auto const span = span_of(obj)) {
    return whole_minutes(*span);
  }
  auto const seconds = number_member(obj, "duration");
  if (!seconds || !std::isfinite(*seconds) || *seconds < 0.0) {
    return 0;
  }
  return whole_minutes(*seconds);
}

std::uint32_t clamp_u32(std::uint64_t v) {
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(v, std::numeric_limits<std::uint32_t>::max()));
}

std::string text_or_empty(nlohmann::json const& obj, std::string_view key) {
  return std::string(string_member(obj, key).value_or(""));
}

std::string name_of(nlohmann::json const& leg, std::string_view key) {
  auto const* place = member(leg, key);
  return place != nullptr ? text_or_empty(*place, "name") : std::string();
}

std::optional<LatLon> place_position(nlohmann::json const& leg, std::string_view key) {
  auto const* place = member(leg, key);
  if (place == nullptr) {
    return std::nullopt;
  }
  auto const lat = number_member(*place, "lat");
  auto const lon = number_member(*place, "lon");
  if (!lat || !lon || !is_valid_position({*lat, *lon})) {
    return std::nullopt;
  }
  return LatLon{*lat, *lon};
}

bool all_valid(std::span<LatLon const> points) {
  return std::all_of(points.begin(), points.end(), is_valid_position);
}

// Planners encode leg lines at precision 5, 6 or 7 and do not always say which. A wrong
// guess scales the line by powers of ten, so the right reading is the one that starts at
// the leg's from place; without that place, the coarsest reading that stays on the globe.
std::vector<LatLon> decode_leg_line(std::string_view points, std::optional<unsigned> precision,
                                    std::optional<LatLon> from) {
  if (precision) {
    auto line = decode_polyline(points, *precision);
    return all_valid(line) ? line : std::vector<LatLon>{};
  }
  static constexpr std::array<unsigned, 3> FINEST_FIRST = {7, 6, 5};
  static constexpr std::array<unsigned, 3> COARSEST_FIRST = {5, 6, 7};
  for (unsigned const p : from ? FINEST_FIRST : COARSEST_FIRST) {
    auto line = decode_polyline(points, p);
    if (line.empty() || !all_valid(line)) {
      continue;
    }
    if (!from || haversine_m(line.front().lat, line.front().lon, from->lat, from->lon) <=
                     MAX_LEG_START_OFFSET_M) {
      return line;
    }
  }
  return {};
}

std::vector<LatLon> leg_geometry(nlohmann::json const& leg) {
  auto const* geometry = member(leg, "legGeometry");
  if (geometry == nullptr) {
    return {};
  }
  auto const points = string_member(*geometry, "points");
  if (!points || points->empty()) {
    return {};
  }
  std::optional<unsigned> precision;
  if (auto const* p = member(*geometry, "precision")) {
    // More than 15 digits are beyond a double; such a precision is no precision.
    if (auto const v = detail::as_u64(*p); v && *v <= MAX_POLYLINE_PRECISION) {
      precision = static_cast<unsigned>(*v);
    }
  }
  auto const from = place_position(leg, "from");
  auto line = decode_leg_line(*points, precision, from);
  if (line.empty()) {
    // A line that fits no reading is dropped; the leg is drawn from stop to stop.
    auto const to = place_position(leg, "to");
    if (from && to) {
      return {*from, *to};
    }
    return {};
  }
  return simplify_polyline(line, ROUTE_SIMPLIFY_TOLERANCE_M);
}

TransitLeg parse_leg(nlohmann::json const& leg) {
  TransitLeg out;
  out.mode = leg_mode_from_text(string_member(leg, "mode").value_or("WALK"));
  if (auto const short_name = string_member(leg, "routeShortName")) {
    out.line = *short_name;
  } else {
    out.line = text_or_empty(leg, "route");
  }
  out.headsign = text_or_empty(leg, "headsign");
  out.from_name = name_of(leg, "from");
  out.to_name = name_of(leg, "to");
  out.dep = display_time(string_member(leg, "startTime").value_or(""));
  out.arr = display_time(string_member(leg, "endTime").value_or(""));
  out.duration_min = minutes_of(leg);
  if (auto const* stops = member(leg, "intermediateStops"); stops != nullptr && stops->is_array()) {
    out.num_stops = clamp_u32(stops->size());
  }
  out.geometry = leg_geometry(leg);
  out.color = route_color(leg, "routeColor");
  out.text_color = route_color(leg, "routeTextColor");
  out.agency = text_or_empty(leg, "agencyName");
  if (auto const* rt = member(leg, "realTime"); rt != nullptr && rt->is_boolean()) {
    out.realtime = rt->get<bool>();
  }
  return out;
}

TransitJourney parse_itinerary(nlohmann::json const& it) {
  TransitJourney j;
  j.dep = display_time(string_member(it, "startTime").value_or(""));
  j.arr = display_time(string_member(it, "endTime").value_or(""));
  j.duration_min = minutes_of(it);
  if (auto const* transfers = member(it, "transfers")) {
    j.transfers = clamp_u32(detail::as_u64(*transfers).value_or(0));
  }
  if (auto const* legs = member(it, "legs"); legs != nullptr && legs->is_array()) {
    j.legs.reserve(legs->size());
    for (auto const& leg : *legs) {
      j.legs.push_back(parse_leg(leg));
    }
  }
  return j;
}

} // namespace

std::string display_time(std::string_view text) {
  if (auto const instant = zoned_instant(text)) {
    // Times with a zone are instants; the traveller wants them on the local clock.
    std::time_t const t = static_cast<std::time_t>(*instant);
    std::tm local{};
    if (localtime_r(&t, &local) != nullptr) {
      return fmt::format("{:02}:{:02}", local.tm_hour, local.tm_min);
    }
  }
  std::size_t const t = text.find('T');
  if (t == std::string_view::npos || text.size() - t - 1 < 5) {
    return std::string(text);
  }
  std::size_t const end = t + 6;
  if (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
    return std::string(text); // the fifth byte does not end a character
  }
  return std::string(text.substr(t + 1, 5));
}

LegMode leg_mode_from_text(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  auto const is = [&upper](std::initializer_list<std::string_view> names) {
    for (auto const n : names) {
      if (upper == n) {
        return true;
      }
    }
    return false;
  };
  if (upper == "WALK") {
    return LegMode::Walk;
  }
  if (is({"TRAM", "STREETCAR", "LIGHT_RAIL"})) {
    return LegMode::Tram;
  }
  if (is({"SUBWAY", "METRO"})) {
    return LegMode::Subway;
  }
  if (is({"RAIL", "REGIONAL_RAIL", "REGIONAL_FAST_RAIL", "LONG_DISTANCE", "HIGHSPEED_RAIL",
          "NIGHT_RAIL"})) {
    return LegMode::Rail;
  }
  if (upper == "FERRY") {
    return LegMode::Ferry;
  }
  return LegMode::Bus;
}

std::optional<std::string> route_color(nlohmann::json const& leg, std::string_view key) {
  auto text = string_member(leg, key);
  if (!text) {
    return std::nullopt;
  }
  std::string_view c = *text;
  while (c.starts_with('#')) {
    c.remove_prefix(1);
  }
  if (c.size() != 6) {
    return std::nullopt;
  }
  for (char const ch : c) {
    bool const hex =
        (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
    if (!hex) {
      return std::nullopt;
    }
  }
  return std::string(c);
}

std::string transit_plan_url(std::string_view base_url, double from_lat, double from_lon,
                             double to_lat, double to_lon, TransitQuery const& query) {
  std::string url =
      fmt::format("{}/api/v1/plan?fromPlace={:.6f},{:.6f}&toPlace={:.6f},{:.6f}&numItineraries=4",
                  base_url, from_lat, from_lon, to_lat, to_lon);
  if (query.time) {
    url += "&time=";
    url += url_encode(*query.time);
  }
  if (query.arrive_by) {
    url += "&arriveBy=true";
  }
  return url;
}

std::string transit_plan_url(double from_lat, double from_lon, double to_lat, double to_lon,
                             TransitQuery const& query) {
  return transit_plan_url(TRANSIT_BASE_URL, from_lat, from_lon, to_lat, to_lon, query);
}

base::Result<std::vector<TransitJourney>> parse_transit_plan(nlohmann::json const& answer) {
  try {
    auto const* itineraries = member(answer, "itineraries");
    auto const* direct = member(answer, "direct");
    bool const has_itineraries = itineraries != nullptr && itineraries->is_array();
    bool const has_direct = direct != nullptr && direct->is_array();
    if (!has_itineraries && !has_direct) {
      return base::fail("no itineraries");
    }
    std::vector<TransitJourney> out;
    // Direct journeys (a walk all the way) come after the transit ones.
    for (auto const* list : {has_itineraries ? itineraries : nullptr, has_direct ? direct : nullptr}) {
      if (list == nullptr) {
        continue;
      }
      for (auto const& it : *list) {
        out.push_back(parse_itinerary(it));
      }
    }
    return out;
  } catch (nlohmann::json::exception const& e) {
    net_logger()->warn("{} answer could not be read: {}", "transit", e.what());
    return base::fail(ANSWER_UNREADABLE);
  }
}

base::Result<std::vector<TransitJourney>> plan_transit(std::string_view base_url, double from_lat,
                                                       double from_lon, double to_lat,
                                                       double to_lon, TransitQuery const& query) {
  auto const answer =
      fetch_json(transit_plan_url(base_url, from_lat, from_lon, to_lat, to_lon, query));
  if (!answer) {
    return base::fail(answer.error());
  }
  return parse_transit_plan(*answer);
}

base::Result<std::vector<TransitJourney>> plan_transit(double from_lat, double from_lon,
                                                       double to_lat, double to_lon,
                                                       TransitQuery const& query) {
  return plan_transit(TRANSIT_BASE_URL, from_lat, from_lon, to_lat, to_lon, query);
}

} // namespace maps
