#include "net/transit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <limits>
#include <utility>

#include <fmt/format.h>

#include "base/saturate.h"
#include "base/utf8.h"
#include "geo/geo.h"
#include "geo/simplify.h"
#include "net/encoded_line.h"
#include "net/http.h"
#include "net/json_read.h"
#include "net/routing.h"

namespace maps {

namespace {

using detail::read_array;
using detail::read_boolean;
using detail::read_f64;
using detail::read_object;
using detail::read_text;
using detail::read_u64;

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

// The members of an itinerary or leg that give its times.
struct Times {
  std::optional<std::string> start;
  std::optional<std::string> end;
  std::optional<double> duration;

  // Reads the member `key` when it is one of the times.
  bool read(JsonReader& r, std::string_view key) {
    if (key == "startTime") {
      start = read_text(r);
    } else if (key == "endTime") {
      end = read_text(r);
    } else if (key == "duration") {
      duration = read_f64(r);
    } else {
      return false;
    }
    return true;
  }
};

// The span from "startTime" to "endTime" when both parse on the same kind of clock. Services
// disagree on the unit of "duration" (seconds or minutes), while the times are unambiguous.
std::optional<double> span_of(Times const& t) {
  auto const start = date_time(t.start.value_or(""));
  auto const end = date_time(t.end.value_or(""));
  if (!start || !end || start->zoned != end->zoned || end->seconds < start->seconds) {
    return std::nullopt;
  }
  return static_cast<double>(end->seconds - start->seconds);
}

std::uint32_t minutes_of(Times const& t) {
  if (auto const span = span_of(t)) {
    return whole_minutes(*span);
  }
  if (!t.duration || !std::isfinite(*t.duration) || *t.duration < 0.0) {
    return 0;
  }
  return whole_minutes(*t.duration);
}

std::uint32_t clamp_u32(std::uint64_t v) {
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(v, std::numeric_limits<std::uint32_t>::max()));
}

// Planners pad some of their texts (route short names carry trailing spaces); each shown text is
// trimmed where it is read.
std::string read_trimmed(JsonReader& r) {
  return std::string(base::utf8::trim(read_text(r).value_or("")));
}

// A leg's "from" or "to" place.
struct Stop {
  std::string name;
  std::optional<double> lat;
  std::optional<double> lon;

  std::optional<LatLon> position() const {
    if (!lat || !lon || !is_valid_position({*lat, *lon})) {
      return std::nullopt;
    }
    return LatLon{*lat, *lon};
  }
};

Stop read_stop(JsonReader& r) {
  Stop s;
  read_object(r, [&](std::string_view key) {
    if (key == "name") {
      s.name = read_trimmed(r);
    } else if (key == "lat") {
      s.lat = read_f64(r);
    } else if (key == "lon") {
      s.lon = read_f64(r);
    } else {
      r.skip_value();
    }
  });
  return s;
}

// Planners encode leg lines at precision 5, 6 or 7 and do not always say which. A wrong
// guess scales the line by powers of ten, so the right reading is the one that starts at
// the leg's from place; without that place, the coarsest reading that stays on the globe.
std::optional<EncodedLine> read_leg_line_at_precision(std::string_view sent,
                                                      std::optional<unsigned> precision,
                                                      std::optional<LatLon> from) {
  if (precision) {
    EncodedLine line(sent, *precision);
    return line.on_globe() ? std::optional(line) : std::nullopt;
  }
  static constexpr std::array<unsigned, 3> FINEST_FIRST = {7, 6, 5};
  static constexpr std::array<unsigned, 3> COARSEST_FIRST = {5, 6, 7};
  for (unsigned const p : from ? FINEST_FIRST : COARSEST_FIRST) {
    EncodedLine line(sent, p);
    if (line.size() == 0 || !line.on_globe()) {
      continue;
    }
    if (!from || haversine_m(line.front().lat, line.front().lon, from->lat, from->lon) <=
                     MAX_LEG_START_OFFSET_M) {
      return line;
    }
  }
  return std::nullopt;
}

// A leg's encoded line as sent and its stated precision; read once the whole leg is read,
// since the reading depends on the leg's from place.
struct LegLine {
  std::optional<std::string_view> sent;
  bool too_long = false; // longer than MAX_LEG_LINE_BYTES
  std::optional<unsigned> precision;
};

LegLine read_leg_line(JsonReader& r) {
  LegLine line;
  read_object(r, [&](std::string_view key) {
    if (key == "points") {
      if (r.peek() != JsonReader::Kind::String) {
        r.skip_value();
        return;
      }
      std::string_view const sent = r.read_string_as_sent();
      line.too_long = sent.size() > MAX_LEG_LINE_BYTES;
      line.sent = line.too_long ? std::nullopt : std::optional(sent);
    } else if (key == "precision") {
      // More than 15 digits are beyond a double; such a precision is no precision.
      auto const v = read_u64(r);
      line.precision =
          v && *v <= MAX_POLYLINE_PRECISION ? std::optional<unsigned>(*v) : std::nullopt;
    } else {
      r.skip_value();
    }
  });
  return line;
}

// What the leg lines of one answer may still spend: points kept (of MAX_PLAN_POINTS) and
// simplification work.
struct PlanBudget {
  std::size_t points_left = MAX_PLAN_POINTS;
  std::uint64_t work_left = SIMPLIFY_WORK_BUDGET;
};

std::vector<LatLon> leg_geometry(LegLine const& leg_line, Stop const& from_stop,
                                 Stop const& to_stop, PlanBudget& budget) {
  if (!leg_line.too_long && (!leg_line.sent || leg_line.sent->empty())) {
    return {};
  }
  auto const from = from_stop.position();
  // With fewer than two of the answer's points left, no line fits: none is read.
  if (leg_line.sent && budget.points_left >= 2) {
    auto const line = read_leg_line_at_precision(*leg_line.sent, leg_line.precision, from);
    if (line && line->size() > 0) {
      auto simple = simplify_line(
          *line, ROUTE_SIMPLIFY_TOLERANCE_M, budget.work_left,
          std::max(LINE_POINTS_ALWAYS_KEPT, leg_line.sent->size() / LEG_LINE_BYTES_PER_KEPT_POINT));
      if (simple.size() <= budget.points_left) {
        budget.points_left -= simple.size();
        return simple;
      }
    }
  }
  // A line too long to read, one that fits no reading, or one that finds the answer's points
  // spent is dropped; the leg is drawn from stop to stop.
  auto const to = to_stop.position();
  if (from && to) {
    return {*from, *to};
  }
  return {};
}

TransitLeg read_leg(JsonReader& r, PlanBudget& budget) {
  TransitLeg out;
  std::optional<std::string> mode;
  std::optional<std::string> short_name;
  std::string route;
  std::optional<std::string> color;
  std::optional<std::string> text_color;
  Times times;
  Stop from;
  Stop to;
  LegLine line;
  read_object(r, [&](std::string_view key) {
    if (times.read(r, key)) {
      return;
    }
    if (key == "mode") {
      mode = read_text(r);
    } else if (key == "routeShortName") {
      short_name = read_trimmed(r);
    } else if (key == "route") {
      route = read_trimmed(r);
    } else if (key == "headsign") {
      out.headsign = read_trimmed(r);
    } else if (key == "from") {
      from = read_stop(r);
    } else if (key == "to") {
      to = read_stop(r);
    } else if (key == "intermediateStops") {
      out.num_stops = 0;
      std::uint64_t count = 0;
      if (read_array(r, [&](std::size_t) {
            r.skip_value();
            ++count;
          })) {
        out.num_stops = clamp_u32(count);
      }
    } else if (key == "legGeometry") {
      line = read_leg_line(r);
    } else if (key == "routeColor") {
      color = read_text(r);
    } else if (key == "routeTextColor") {
      text_color = read_text(r);
    } else if (key == "agencyName") {
      out.agency = read_trimmed(r);
    } else if (key == "realTime") {
      out.realtime = read_boolean(r).value_or(false);
    } else {
      r.skip_value();
    }
  });
  out.mode = leg_mode_from_text(mode.value_or("WALK"));
  out.line = short_name ? std::move(*short_name) : std::move(route);
  out.from_name = std::move(from.name);
  out.to_name = std::move(to.name);
  out.dep = display_time(times.start.value_or(""));
  out.arr = display_time(times.end.value_or(""));
  out.duration_min = minutes_of(times);
  out.geometry = leg_geometry(line, from, to, budget);
  out.color = color ? route_color(*color) : std::nullopt;
  out.text_color = text_color ? route_color(*text_color) : std::nullopt;
  return out;
}

TransitJourney read_itinerary(JsonReader& r, PlanBudget& budget) {
  TransitJourney j;
  Times times;
  read_object(r, [&](std::string_view key) {
    if (times.read(r, key)) {
      return;
    }
    if (key == "transfers") {
      j.transfers = clamp_u32(read_u64(r).value_or(0));
    } else if (key == "legs") {
      j.legs.clear();
      read_array(r, [&](std::size_t) {
        if (j.legs.size() == MAX_JOURNEY_LEGS) {
          r.skip_value();
        } else {
          j.legs.push_back(read_leg(r, budget));
        }
      });
    } else {
      r.skip_value();
    }
  });
  j.dep = display_time(times.start.value_or(""));
  j.arr = display_time(times.end.value_or(""));
  j.duration_min = minutes_of(times);
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

std::optional<std::string> route_color(std::string_view text) {
  std::string_view c = text;
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

base::Result<std::vector<TransitJourney>> parse_transit_plan(std::string_view answer) {
  using Journeys = std::vector<TransitJourney>;
  return detail::read_answer("transit", answer, [](JsonReader& r) -> base::Result<Journeys> {
    std::optional<Journeys> itineraries;
    std::optional<Journeys> direct;
    PlanBudget budget;
    read_object(r, [&](std::string_view key) {
      std::optional<Journeys>* list = key == "itineraries" ? &itineraries
                                      : key == "direct"    ? &direct
                                                           : nullptr;
      if (list == nullptr) {
        r.skip_value();
        return;
      }
      std::size_t const limit = list == &direct ? MAX_DIRECT_JOURNEYS : MAX_ITINERARIES;
      Journeys journeys;
      bool const is_array = read_array(r, [&](std::size_t) {
        if (journeys.size() == limit) {
          r.skip_value();
        } else {
          journeys.push_back(read_itinerary(r, budget));
        }
      });
      *list = is_array ? std::optional<Journeys>(std::move(journeys)) : std::nullopt;
    });
    if (!itineraries && !direct) {
      return base::fail("no itineraries");
    }
    // Direct journeys (a walk all the way) come after the transit ones.
    Journeys out = std::move(itineraries).value_or(Journeys{});
    if (direct) {
      out.insert(out.end(), std::make_move_iterator(direct->begin()),
                 std::make_move_iterator(direct->end()));
    }
    return out;
  });
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
