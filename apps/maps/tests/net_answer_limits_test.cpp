// Every service parser keeps a bounded number of records, the first ones of the answer, and
// still reads the rest as strictly as before; texts beyond the longest kept read as missing.

#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/maps_app.h"
#include "net/geocode.h"
#include "net/http.h"
#include "net/json_read.h"
#include "net/poi.h"
#include "net/routing.h"
#include "net/transit.h"
#include "polyline_text.h"

namespace maps {
namespace {

// `head`, the `n` texts of `unit` joined by commas, `tail`.
std::string answer(std::string_view head, std::size_t n,
                   std::function<std::string(std::size_t)> const& unit, std::string_view tail) {
  std::string out(head);
  for (std::size_t i = 0; i < n; ++i) {
    out += i == 0 ? "" : ",";
    out += unit(i);
  }
  out += tail;
  return out;
}

std::string poi(std::size_t id) {
  return fmt::format(R"({{"id":{},"lat":1,"lon":2,"tags":{{"name":"P{}","shop":"b"}}}})", id, id);
}

std::string hit(std::size_t i) {
  return fmt::format(R"({{"lat":"1","lon":"2","name":"H{}"}})", i);
}

// An itinerary whose start reads as "07:mm".
std::string itinerary(std::size_t minute) {
  return fmt::format(R"({{"startTime":"2024-05-01T07:{:02}:00","legs":[{{}}]}})", minute);
}

// What a result holds: its size and its first and last records, or its error.
template <class T, class F>
std::string digest(base::Result<std::vector<T>> const& result, F&& key) {
  if (!result.has_value()) {
    return result.error();
  }
  if (result->empty()) {
    return "0";
  }
  return fmt::format("{}: {} … {}", result->size(), key(result->front()), key(result->back()));
}

std::string pois_of(std::string const& text) {
  return digest(parse_pois(text), [](Poi const& p) { return p.name; });
}
std::string places_of(std::string const& text) {
  return digest(parse_search_answer(text), [](Place const& p) { return p.name; });
}
std::string areas_of(std::string const& text) {
  return digest(parse_area_search_answer(text), [](AreaHit const& a) { return a.name; });
}
std::string journeys_of(std::string const& text) {
  return digest(parse_transit_plan(text), [](TransitJourney const& j) { return j.dep; });
}
std::string legs_of(std::string const& text) {
  auto const plan = parse_transit_plan(text);
  if (!plan.has_value() || plan->size() != 1) {
    return plan.has_value() ? "not one journey" : plan.error();
  }
  return digest(base::Result<std::vector<TransitLeg>>((*plan)[0].legs),
                [](TransitLeg const& l) { return l.line; });
}
std::string steps_of(std::string const& text) {
  auto const route = parse_route_answer(text, {1, 2}, {3, 4}, TravelMode::Car);
  if (!route.has_value()) {
    return route.error();
  }
  return digest(base::Result<std::vector<RouteStep>>(route->steps),
                [](RouteStep const& s) { return s.instruction; });
}

// The interface lists the first points of interest of an answer; the parser's limit must leave
// them as the answer has them.
static_assert(POI_RESULT_LIMIT >= MAX_NEARBY_POIS);

TEST(AnswerLimits, FirstRecordsKeptTheRestReadStrictly) {
  std::size_t const P = POI_RESULT_LIMIT;
  std::size_t const G = GEOCODER_RESULT_LIMIT;
  std::size_t const I = MAX_ITINERARIES;
  std::size_t const D = MAX_DIRECT_JOURNEYS;
  std::size_t const L = MAX_JOURNEY_LEGS;
  std::size_t const S = MAX_ROUTE_STEPS;
  auto const nameless = [](std::size_t i) {
    return fmt::format(R"({{"id":{},"lat":1,"lon":2}})", i);
  };
  auto const leg = [](std::size_t i) { return fmt::format(R"({{"routeShortName":"L{}"}})", i); };
  auto const step = [](std::size_t i) { return fmt::format(R"({{"name":"S{}"}})", i); };
  struct Case {
    char const* what;
    std::function<std::string(std::string const&)> parse;
    std::string answer;
    std::string kept;
  } const cases[] = {
      {"points of interest beyond the limit", pois_of,
       answer(R"({"elements":[)", P + 10, poi, "]}"), fmt::format("{}: P0 … P{}", P, P - 1)},
      {"points of interest: skipped and repeated elements take no place", pois_of,
       answer(R"({"elements":[)", 5, nameless, ",") +
           answer(
               "", 3, [](std::size_t) { return poi(0); }, ",") +
           answer("", P + 1, poi, "]}"),
       fmt::format("{}: P0 … P{}", P, P - 1)},
      {"points of interest: broken element after the limit", pois_of,
       answer(R"({"elements":[)", P, poi, ",{]}"), ANSWER_UNREADABLE},
      {"points of interest: runtime error after the limit", pois_of,
       answer(R"({"elements":[)", P + 1, poi, R"(],"remark":"runtime error: timeout"})"),
       "the places service could not finish the query"},
      {"search hits beyond the limit", places_of, answer("[", G + 2, hit, "]"),
       fmt::format("{}: H0 … H{}", G, G - 1)},
      {"search: hits without coordinates take no place", places_of,
       "[{},{}," + answer("", G + 1, hit, "]"), fmt::format("{}: H0 … H{}", G, G - 1)},
      {"area search hits beyond the limit", areas_of, answer("[", G + 2, hit, "]"),
       fmt::format("{}: H0 … H{}", G, G - 1)},
      {"search: broken hit after the limit", places_of, answer("[", G, hit, ",{]"),
       ANSWER_UNREADABLE},
      {"itineraries beyond the limit, then the direct walk", journeys_of,
       answer(R"({"itineraries":[)", I + 2, itinerary, R"(],"direct":[)") + itinerary(59) + "]}",
       fmt::format("{}: 07:00 … 07:59", I + 1)},
      {"direct journeys beyond the limit", journeys_of,
       answer(R"({"direct":[)", D + 1, itinerary, "]}"),
       fmt::format("{}: 07:00 … 07:{:02}", D, D - 1)},
      {"transit: broken itinerary after the limit", journeys_of,
       answer(R"({"itineraries":[)", I, itinerary, ",{]}"), ANSWER_UNREADABLE},
      {"legs beyond the limit", legs_of, answer(R"({"itineraries":[{"legs":[)", L + 3, leg, "]}]}"),
       fmt::format("{}: L0 … L{}", L, L - 1)},
      {"route steps beyond the limit, over two legs", steps_of,
       answer(R"({"code":"Ok","routes":[{"legs":[{"steps":[)", S - 1, step, R"(]},{"steps":[)") +
           answer(
               "", 3,
               [](std::size_t i) {
                 return fmt::format(R"({{"name":"S{}"}})", MAX_ROUTE_STEPS - 1 + i);
               },
               "]}]}]}"),
       fmt::format("{}: Continue on S0 … Continue on S{}", S, S - 1)},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.parse(c.answer), c.kept);
  }
}

TEST(AnswerLimits, TextsBeyondTheLongestReadAsMissing) {
  std::size_t const T = detail::MAX_TEXT_BYTES;
  auto const name_of = [](std::string const& name) {
    auto const places = parse_search_answer(R"([{"lat":"1","lon":"2","name":")" + name + "\"}]");
    return places.has_value() && places->size() == 1 ? (*places)[0].name : std::string("?");
  };
  std::string const replacement = "\xEF\xBF\xBD";
  struct Case {
    char const* what;
    std::string sent;
    bool kept;
  } const cases[] = {
      {"longest plain text", std::string(T, 'a'), true},
      {"one byte more", std::string(T + 1, 'a'), false},
      {"escapes count as sent", std::string(T / 2, '\\') + std::string(T / 2, '\\') + "a", false},
      // Each invalid byte reads as three bytes of U+FFFD.
      {"invalid bytes reading to the longest", std::string(T / 3, '\xFF'), true},
      {"invalid bytes reading to more", std::string(T / 3 + 1, '\xFF'), false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    std::string const name = name_of(c.sent);
    EXPECT_EQ(name != "Place", c.kept) << name.size();
  }
  std::string expected;
  for (std::size_t i = 0; i < T / 3; ++i) {
    expected += replacement;
  }
  EXPECT_EQ(name_of(std::string(T / 3, '\xFF')), expected);
}

// `n` points around a circle of 1,000 km: each lies some 5 m off the chord of its neighbours,
// so simplification keeps every one, and splits each range in the middle.
std::vector<LatLon> circle(std::size_t n) {
  std::vector<LatLon> out;
  for (std::size_t i = 0; i < n; ++i) {
    double const a = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n);
    out.push_back({9.0 * std::sin(a), 9.0 * std::cos(a)});
  }
  return out;
}

// A street zigzagging 20, 30 or 40 m to either side every 20 m, the swings drawn at random so
// that simplification keeps almost every corner and splits ranges anywhere, not always at one
// end. Positions are whole multiples of 0.0001 degrees, which four decimals and an encoded
// line at precision 5 carry exactly.
std::vector<LatLon> zigzag_street(std::size_t n) {
  std::mt19937 rng(7);
  std::vector<LatLon> out;
  for (std::size_t i = 0; i < n; ++i) {
    auto const swing = static_cast<double>(2 + rng() % 3);
    out.push_back({(i % 2 == 0 ? swing : -swing) / 1e4, static_cast<double>(2 * i) / 1e4});
  }
  return out;
}

TEST(AnswerLimits, LegLinesBeyondTheAnswersPointsAreDrawnStopToStop) {
  // Every itinerary of the most legs, each leg's line of points that all stay: the answer's
  // points run out after the first MAX_PLAN_POINTS / LINE_POINTS_ALWAYS_KEPT legs.
  std::string const stops = R"("from":{"lat":0,"lon":0},"to":{"lat":0.001,"lon":0.001})";
  auto const leg = [&](std::string const& line) {
    return R"({"legGeometry":{"precision":5,"points":")" + line + "\"}," + stops + "}";
  };
  std::string const kept_whole = leg(test::encode_points(circle(LINE_POINTS_ALWAYS_KEPT), 5));
  std::string const itinerary =
      answer(R"({"legs":[)", MAX_JOURNEY_LEGS, [&](std::size_t) { return kept_whole; }, "]}");
  auto const plan = parse_transit_plan(
      answer(R"({"itineraries":[)", MAX_ITINERARIES, [&](std::size_t) { return itinerary; }, "]}"));
  ASSERT_TRUE(plan.has_value()) << plan.error();
  std::size_t const whole_legs = MAX_PLAN_POINTS / LINE_POINTS_ALWAYS_KEPT;
  static_assert(MAX_ITINERARIES * MAX_JOURNEY_LEGS > MAX_PLAN_POINTS / LINE_POINTS_ALWAYS_KEPT);
  std::size_t index = 0;
  for (auto const& journey : *plan) {
    for (auto const& l : journey.legs) {
      SCOPED_TRACE(index);
      if (index++ < whole_legs) {
        ASSERT_EQ(l.geometry.size(), LINE_POINTS_ALWAYS_KEPT);
      } else {
        ASSERT_EQ(l.geometry, (std::vector<LatLon>{{0, 0}, {0.001, 0.001}}));
      }
    }
  }
  EXPECT_EQ(index, MAX_ITINERARIES * MAX_JOURNEY_LEGS);
  // A line longer than any read is no line either.
  auto const long_line = parse_transit_plan(R"({"itineraries":[{"legs":[)" +
                                            leg(std::string(MAX_LEG_LINE_BYTES + 1, '?')) + "]}]}");
  ASSERT_TRUE(long_line.has_value()) << long_line.error();
  EXPECT_EQ((*long_line)[0].legs[0].geometry, (std::vector<LatLon>{{0, 0}, {0.001, 0.001}}));
}

// The lines of a dense text keep at most a point per so many bytes of it, evenly spread over
// the line's kept points, with its first and last.
TEST(AnswerLimits, DenseLinesKeepAPointPerSoManyBytes) {
  auto const street = zigzag_street(8000);
  std::string const route_text = answer(
      R"({"code":"Ok","routes":[{"geometry":{"coordinates":[)", street.size(),
      [&](std::size_t i) { return fmt::format("[{:.4f},{:.4f}]", street[i].lon, street[i].lat); },
      "]}}]}");
  auto const route = parse_route_answer(route_text, {0, 0}, street.back(), TravelMode::Car);
  ASSERT_TRUE(route.has_value()) << route.error();
  std::string const leg_text = test::encode_points(street, 5);
  auto const plan = parse_transit_plan(R"({"itineraries":[{"legs":[{"legGeometry":)"
                                       R"({"precision":5,"points":")" +
                                       leg_text + "\"}}]}]}");
  ASSERT_TRUE(plan.has_value()) << plan.error();
  struct Case {
    char const* what;
    std::vector<LatLon> const& line;
    std::size_t most;
  } const cases[] = {
      {"road route", route->geometry, route_text.size() / ROUTE_LINE_BYTES_PER_KEPT_POINT},
      {"transit leg", (*plan)[0].legs[0].geometry, leg_text.size() / LEG_LINE_BYTES_PER_KEPT_POINT},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_GT(c.most, LINE_POINTS_ALWAYS_KEPT);
    EXPECT_LE(c.line.size(), c.most);
    EXPECT_GE(c.line.size(), c.most / 2);
    ASSERT_FALSE(c.line.empty());
    EXPECT_EQ(c.line.front(), street.front());
    EXPECT_EQ(c.line.back(), street.back());
  }
}

TEST(AnswerLimits, RouteLineBeyondTheMostPointsIsThinnedEvenly) {
  // Corners of a triangle of sides about 100 m, which simplification keeps, then a last point;
  // written at length, so that the line's text holds as many points as it may hold.
  static constexpr std::string_view CORNERS[] = {
      "[0.0000000000,0.0000000000]", "[0.0010000000,0.0000000000]", "[0.0000000000,0.0010000000]"};
  std::string const text =
      answer(R"({"code":"Ok","routes":[{"geometry":{"coordinates":[)", MAX_ROUTE_POINTS + 1,
             [](std::size_t i) { return std::string(CORNERS[i % 3]); }, ",[0.002,0.002]]}}]}");
  ASSERT_GE(text.size() / LINE_BYTES_PER_HELD_POINT, MAX_ROUTE_POINTS);
  ASSERT_GE(text.size() / ROUTE_LINE_BYTES_PER_KEPT_POINT, MAX_ROUTE_POINTS / 2 + 1);
  auto const route = parse_route_answer(text, {0, 0}, {0.002, 0.002}, TravelMode::Car);
  ASSERT_TRUE(route.has_value()) << route.error();
  auto const& line = route->geometry;
  EXPECT_LE(line.size(), MAX_ROUTE_POINTS);
  EXPECT_GE(line.size(), MAX_ROUTE_POINTS / 2);
  EXPECT_EQ(line.front(), (LatLon{0, 0}));
  EXPECT_EQ(line.back(), (LatLon{0.002, 0.002}));
  // Every second point read: the corners follow each other in the other sense.
  ASSERT_GE(line.size(), 3u);
  EXPECT_EQ(line[1], (LatLon{0.001, 0}));
  EXPECT_EQ(line[2], (LatLon{0, 0.001}));
}

} // namespace
} // namespace maps
