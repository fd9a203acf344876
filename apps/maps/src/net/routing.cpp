#include "net/routing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>

#include <fmt/format.h>

#include "geo/geo.h"
#include "geo/simplify.h"
#include "net/http.h"
#include "net/json_read.h"

namespace maps {

namespace {

using detail::read_array;
using detail::read_f64;
using detail::read_measure;
using detail::read_object;
using detail::read_text;

// A route's line as read: points in blocks of a fixed size, so that neither a growing list
// (which at times holds twice its points) nor a copy into one list is ever needed; the
// simplification walks the blocks. Every block but the last holds BLOCK points.
class RouteLine {
public:
  using Cursor = std::size_t;
  static constexpr std::size_t BLOCK = 1024;
  static constexpr std::size_t PLANE_COPY_TEXT_BYTES_PER_POINT = 20;

  std::size_t size() const { return count_; }
  Cursor begin() const { return 0; }
  LatLon next(Cursor& c) const { return at(c++); }
  LatLon back() const { return at(count_ - 1); }
  LatLon at(std::size_t i) const { return blocks_[i / BLOCK][i % BLOCK]; }

  /// Bytes of the line's text.
  std::size_t text_bytes() const { return text_bytes_; }
  /// A copy of the points on the simplification's plane doubles what they cost: affordable
  /// for text of ordinary coordinates, not for a line of short numbers.
  bool plane_copy() const { return text_bytes_ >= PLANE_COPY_TEXT_BYTES_PER_POINT * count_; }
  void set_text_bytes(std::size_t bytes) { text_bytes_ = bytes; }

  void clear() {
    blocks_.clear();
    count_ = 0;
    text_bytes_ = 0;
  }

  void push_back(LatLon p) {
    // The first block grows with a short line; later ones take their whole size at once.
    if (count_ % BLOCK == 0) {
      blocks_.emplace_back();
      if (count_ > 0) {
        blocks_.back().reserve(BLOCK);
      }
    }
    blocks_.back().push_back(p);
    ++count_;
  }

  // Keeps the points at even places.
  void drop_every_second() {
    for (std::size_t i = 0; 2 * i < count_; ++i) {
      blocks_[i / BLOCK][i % BLOCK] = at(2 * i);
    }
    count_ = (count_ + 1) / 2;
    blocks_.resize((count_ + BLOCK - 1) / BLOCK);
    blocks_.back().resize(count_ - (blocks_.size() - 1) * BLOCK);
  }

private:
  std::vector<std::vector<LatLon>> blocks_;
  std::size_t count_ = 0;
  std::size_t text_bytes_ = 0;
};

static_assert(simplify_detail::MayCopyPlane<RouteLine>);

// GeoJSON order: longitude first. Elements that are no pair of numbers, and positions off the
// globe, are skipped. At the most points the line may hold (MAX_ROUTE_POINTS, or fewer while
// little of its text is read) every second point held is dropped and from then on only every
// second point read is taken, and so on; the last point is always kept.
void read_coordinates(JsonReader& r, RouteLine& line) {
  // Halving waits for an even count, so the line holds at most one point more than its text
  // allows, and never more than an even MAX_ROUTE_POINTS.
  static_assert(MAX_ROUTE_POINTS >= 2 && MAX_ROUTE_POINTS % 2 == 0);
  line.clear();
  std::size_t const start = r.position();
  std::size_t read = 0;   // usable points read
  std::size_t stride = 1; // of those, the multiples of `stride` (a power of two) are kept
  std::optional<LatLon> last_unkept;
  // The most the line may hold grows with the text read, so it is looked at again only once
  // the line reaches what it was.
  std::size_t held_max = LINE_POINTS_ALWAYS_KEPT;
  auto const keep = [&](LatLon p) {
    if (line.size() >= held_max) {
      held_max = std::clamp((r.position() - start) / LINE_BYTES_PER_HELD_POINT,
                            LINE_POINTS_ALWAYS_KEPT, MAX_ROUTE_POINTS);
      // Halving an even count keeps the multiples of the doubled stride, `p` among them.
      if (line.size() >= held_max && line.size() % 2 == 0) {
        line.drop_every_second();
        stride *= 2;
      }
    }
    line.push_back(p);
  };
  auto const take = [&](LatLon p) {
    // A mask, not a division: this runs for every point of the line.
    if ((read++ & (stride - 1)) == 0) {
      keep(p);
      last_unkept.reset();
    } else {
      last_unkept = p;
    }
  };
  read_array(r, [&](std::size_t) {
    double x = 0.0;
    double y = 0.0;
    if (r.read_number_pair(x, y)) {
      if (is_valid_position({y, x})) {
        take({y, x});
      }
      return;
    }
    std::optional<double> lon;
    std::optional<double> lat;
    read_array(r, [&](std::size_t i) {
      if (i == 0) {
        lon = read_f64(r);
      } else if (i == 1) {
        lat = read_f64(r);
      } else {
        r.skip_value();
      }
    });
    if (lat && lon && is_valid_position({*lat, *lon})) {
      take({*lat, *lon});
    }
  });
  if (last_unkept) {
    keep(*last_unkept);
  }
  line.set_text_bytes(r.position() - start);
}

RouteStep read_step(JsonReader& r) {
  std::string type;
  std::string modifier;
  std::string name;
  double distance = 0.0;
  read_object(r, [&](std::string_view key) {
    if (key == "maneuver") {
      type.clear();
      modifier.clear();
      read_object(r, [&](std::string_view m) {
        if (m == "type") {
          type = read_text(r).value_or("");
        } else if (m == "modifier") {
          modifier = read_text(r).value_or("");
        } else {
          r.skip_value();
        }
      });
    } else if (key == "name") {
      name = read_text(r).value_or("");
    } else if (key == "distance") {
      distance = read_measure(r).value_or(0.0);
    } else {
      r.skip_value();
    }
  });
  Maneuver const maneuver = maneuver_for_step(type, modifier);
  return RouteStep{step_instruction(maneuver, name), distance, maneuver};
}

void read_legs(JsonReader& r, std::vector<RouteStep>& steps) {
  steps.clear();
  std::vector<RouteStep> leg_steps;
  read_array(r, [&](std::size_t) {
    leg_steps.clear();
    read_object(r, [&](std::string_view key) {
      if (key != "steps") {
        r.skip_value();
        return;
      }
      leg_steps.clear();
      read_array(r, [&](std::size_t) {
        if (steps.size() + leg_steps.size() == MAX_ROUTE_STEPS) {
          r.skip_value();
        } else {
          leg_steps.push_back(read_step(r));
        }
      });
    });
    steps.insert(steps.end(), std::make_move_iterator(leg_steps.begin()),
                 std::make_move_iterator(leg_steps.end()));
  });
}

// The first route of an answer, its line not yet simplified.
void read_route(JsonReader& r, Route& route, RouteLine& line) {
  read_object(r, [&](std::string_view key) {
    if (key == "distance") {
      route.distance_m = read_measure(r).value_or(0.0);
    } else if (key == "duration") {
      route.duration_s = read_measure(r).value_or(0.0);
    } else if (key == "geometry") {
      line.clear();
      read_object(r, [&](std::string_view g) {
        if (g == "coordinates") {
          read_coordinates(r, line);
        } else {
          r.skip_value();
        }
      });
    } else if (key == "legs") {
      read_legs(r, route.steps);
    } else {
      r.skip_value();
    }
  });
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

base::Result<Route> parse_route_answer(std::string_view answer, LatLon from, LatLon to,
                                       TravelMode mode) {
  return detail::read_answer("routing", answer, [&](JsonReader& r) -> base::Result<Route> {
    std::optional<std::string> code;
    Route out;
    RouteLine line;
    read_object(r, [&](std::string_view key) {
      if (key == "code") {
        code = read_text(r);
      } else if (key == "routes") {
        out = Route{};
        line.clear();
        read_array(r, [&](std::size_t i) {
          if (i == 0) {
            read_route(r, out, line);
          } else {
            r.skip_value();
          }
        });
      } else {
        r.skip_value();
      }
    });
    if (!code) {
      return base::fail("routing failed");
    }
    if (*code != "Ok") {
      return base::fail(std::move(*code));
    }
    out.mode = mode;
    std::uint64_t work_left = SIMPLIFY_WORK_BUDGET;
    out.geometry = simplify_line(
        line, ROUTE_SIMPLIFY_TOLERANCE_M, work_left,
        std::max(LINE_POINTS_ALWAYS_KEPT, line.text_bytes() / ROUTE_LINE_BYTES_PER_KEPT_POINT));
    // The requested endpoints, not the service's snapped ones.
    out.from = from;
    out.to = to;
    return out;
  });
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
