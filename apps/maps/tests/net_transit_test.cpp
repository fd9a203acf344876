#include "net/transit.h"

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "local_server.h"

namespace maps {
namespace {

// Sets TZ for the life of the object; POSIX zone texts need no zone database.
class ScopedTimeZone {
public:
  explicit ScopedTimeZone(char const* tz) {
    if (char const* old = std::getenv("TZ")) {
      saved_ = old;
    }
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

private:
  std::optional<std::string> saved_;
};

TEST(TransitUrl, TimeOptions) {
  std::string const base =
      "https://motis.test/api/v1/plan?fromPlace=48.137100,11.575400&toPlace=48.354000,"
      "11.786000&numItineraries=4";
  struct Case {
    char const* time; // nullptr: now
    bool arrive_by;
    std::string url;
  } const cases[] = {
      {nullptr, false, base},
      {"2024-05-01T09:30:00+02:00", true,
       base + "&time=2024-05-01T09%3A30%3A00%2B02%3A00&arriveBy=true"},
      {"2024-05-01T09:30:00+02:00", false, base + "&time=2024-05-01T09%3A30%3A00%2B02%3A00"},
      {nullptr, true, base + "&arriveBy=true"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.url);
    TransitQuery query;
    if (c.time != nullptr) {
      query.time = c.time;
    }
    query.arrive_by = c.arrive_by;
    EXPECT_EQ(transit_plan_url("https://motis.test", 48.1371, 11.5754, 48.354, 11.786, query),
              c.url);
  }
}

TEST(TransitTime, ZonedTimesShowOnTheLocalClock) {
  ScopedTimeZone const tz("<+02>-2");
  struct Case {
    char const* in;
    char const* out;
  } const cases[] = {
      {"2024-05-01T07:41:00Z", "09:41"},
      {"2024-05-01T07:41:00.123Z", "09:41"},
      {"2024-05-01T23:30:00Z", "01:30"},
      {"2024-05-01T09:30:00+02:00", "09:30"},
      {"2024-05-01T09:30:00-05:30", "17:00"},
      {"2024-05-01T09:30Z", "11:30"},
      // Without a zone the text is shown as written.
      {"2024-05-01T07:41:00", "07:41"},
      {"07:41", "07:41"},
      {"2024-05-01T07:4", "2024-05-01T07:4"},
      {"", ""},
      {"xT12:34abc", "12:34"},
      // The fifth byte must end a character.
      {"T123\xC3\xBC", "123\xC3\xBC"},
      {"T1234\xC3\xBC", "T1234\xC3\xBC"},
      {"2024-13-01T07:41:00Z", "07:41"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(display_time(c.in), c.out);
  }
}

TEST(TransitTime, UtcZoneLeavesTheClockAsWritten) {
  ScopedTimeZone const tz("UTC0");
  EXPECT_EQ(display_time("2024-05-01T07:41:00Z"), "07:41");
  EXPECT_EQ(display_time("2024-05-01T07:41:00+02:00"), "05:41");
}

TEST(TransitLegs, ModesAndColours) {
  struct ModeCase {
    char const* text;
    LegMode mode;
  } const modes[] = {
      {"subway", LegMode::Subway},
      {"METRO", LegMode::Subway},
      {"BUS", LegMode::Bus},
      {"COACH", LegMode::Bus},
      {"", LegMode::Bus},
      {"walk", LegMode::Walk},
      {"Light_Rail", LegMode::Tram},
      {"streetcar", LegMode::Tram},
      {"NIGHT_RAIL", LegMode::Rail},
      {"highspeed_rail", LegMode::Rail},
      {"ferry", LegMode::Ferry},
      {"AIRPLANE", LegMode::Bus},
  };
  for (auto const& c : modes) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(leg_mode_from_text(c.text), c.mode);
  }
  struct ColourCase {
    char const* text;
    std::optional<std::string> colour;
  } const colours[] = {
      {"#E30613", "E30613"},   {"E30613", "E30613"},     {"##e30613", "e30613"},
      {"e3061", std::nullopt}, {"e3061g", std::nullopt}, {"#e306130", std::nullopt},
  };
  for (auto const& c : colours) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(route_color(c.text), c.colour);
  }
  // A colour member that is no string, or none, gives no colour.
  auto const plan = parse_transit_plan(
      R"({"itineraries":[{"legs":[{"routeColor":14878227},{"routeTextColor":"#FFFFFF"}]}]})");
  ASSERT_TRUE(plan.has_value()) << plan.error();
  ASSERT_EQ(plan->at(0).legs.size(), 2u);
  EXPECT_EQ(plan->at(0).legs[0].color, std::nullopt);
  EXPECT_EQ(plan->at(0).legs[1].color, std::nullopt);
  EXPECT_EQ(plan->at(0).legs[1].text_color, "FFFFFF");
}

TEST(TransitParse, FixtureJourneys) {
  ScopedTimeZone const tz("UTC0");
  auto const plan = parse_transit_plan(std::string(test::read_fixture("motis_plan.json")));
  ASSERT_TRUE(plan.has_value()) << plan.error();
  ASSERT_EQ(plan->size(), 2u);
  TransitJourney const& j = (*plan)[0];
  EXPECT_EQ(j.dep, "07:41");
  EXPECT_EQ(j.arr, "08:22");
  EXPECT_EQ(j.duration_min, 41u); // 2489 s
  EXPECT_EQ(j.transfers, 1u);
  ASSERT_EQ(j.legs.size(), 3u);

  TransitLeg const& walk = j.legs[0];
  EXPECT_EQ(walk.mode, LegMode::Walk);
  EXPECT_EQ(walk.duration_min, 1u); // 89 s
  EXPECT_EQ(walk.from_name, "Start");
  EXPECT_EQ(walk.to_name, "Marienplatz");
  ASSERT_EQ(walk.geometry.size(), 3u);
  EXPECT_NEAR(walk.geometry[2].lat, 43.252, 1e-9);
  EXPECT_FALSE(walk.realtime);

  TransitLeg const& subway = j.legs[1];
  EXPECT_EQ(subway.mode, LegMode::Subway);
  EXPECT_EQ(subway.line, ""); // an empty short name still wins over "route"
  EXPECT_EQ(subway.headsign, "Flughafen");
  EXPECT_EQ(subway.duration_min, 2u); // 90 s
  EXPECT_EQ(subway.num_stops, 2u);
  EXPECT_EQ(subway.color, "E30613");
  EXPECT_EQ(subway.text_color, "ffffff");
  EXPECT_EQ(subway.agency, "MVV");
  EXPECT_TRUE(subway.realtime);
  std::vector<LatLon> const six = {{1.0, 2.0}, {1.0, 2.5}};
  EXPECT_EQ(subway.geometry, six);

  TransitLeg const& bus = j.legs[2];
  EXPECT_EQ(bus.mode, LegMode::Bus);
  EXPECT_EQ(bus.line, "100");
  EXPECT_EQ(bus.duration_min, 0u); // 29 s
  EXPECT_EQ(bus.num_stops, 0u);
  EXPECT_EQ(bus.color, std::nullopt);
  EXPECT_EQ(bus.dep, "");
  ASSERT_EQ(bus.geometry.size(), 1u); // precision 6.0 falls back to 5
  EXPECT_NEAR(bus.geometry[0].lat, 38.5, 1e-9);

  TransitJourney const& odd = (*plan)[1];
  EXPECT_EQ(odd.dep, "07:50");
  EXPECT_EQ(odd.arr, "");
  EXPECT_EQ(odd.duration_min, 0u);
  EXPECT_EQ(odd.transfers, 0u);
  EXPECT_TRUE(odd.legs.empty());
}

TEST(TransitParse, DurationsAndPrecision) {
  struct Case {
    char const* itinerary;
    std::uint32_t minutes;
  } const cases[] = {
      {R"({"duration":89})", 1},
      {R"({"duration":90})", 2},
      {R"({"duration":29})", 0},
      {R"({"duration":-600})", 0},
      {R"({"duration":1e300})", 4294967295u},
      {R"({"duration":"600"})", 0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.itinerary);
    auto const plan =
        parse_transit_plan(std::string(std::string(R"({"itineraries":[)") + c.itinerary + "]}"));
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ((*plan)[0].duration_min, c.minutes);
  }
  for (char const* precision : {"-1", "6.0", "\"6\""}) {
    SCOPED_TRACE(precision);
    auto const plan = parse_transit_plan(std::string(
        std::string(R"({"itineraries":[{"legs":[{"legGeometry":{"points":"_p~iF~ps|U",)") +
        R"("precision":)" + precision + "}}]}]}"));
    ASSERT_TRUE(plan.has_value());
    ASSERT_EQ((*plan)[0].legs[0].geometry.size(), 1u);
    EXPECT_NEAR((*plan)[0].legs[0].geometry[0].lat, 38.5, 1e-9);
  }
}

// A planner's real answer: lines at precision 7 without a "precision" member, durations in
// minutes on rail legs, and a direct walk after the transit journey.
TEST(TransitParse, RealAnswerShapes) {
  ScopedTimeZone const tz("UTC0");
  test::ScriptedServer srv;
  srv.answer_fixture("motis_real.json");
  auto const plan = plan_transit(srv.base_url(), 48.1371, 11.5754, 48.354, 11.786, TransitQuery{});
  ASSERT_TRUE(plan.has_value()) << plan.error();
  ASSERT_EQ(plan->size(), 2u);
  EXPECT_EQ((*plan)[0].duration_min, 48u);
  EXPECT_EQ((*plan)[1].duration_min, 25u);
  struct Case {
    char const* what;
    std::size_t journey;
    std::size_t leg;
    LegMode mode;
    std::uint32_t minutes;
    LatLon first;
    LatLon last;
  } const cases[] = {
      {"walk at precision 7", 0, 0, LegMode::Walk, 4, {48.1371, 11.5754}, {48.14, 11.58}},
      {"rail with minutes", 0, 1, LegMode::Rail, 44, {48.14, 11.58}, {48.354, 11.786}},
      {"line fitting no precision: stop to stop",
       0,
       2,
       LegMode::Rail,
       3,
       {48.354, 11.786},
       {48.352, 11.776}},
      {"direct walk at precision 6", 1, 0, LegMode::Walk, 25, {48.1371, 11.5754}, {48.138, 11.576}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_LT(c.leg, (*plan)[c.journey].legs.size());
    TransitLeg const& leg = (*plan)[c.journey].legs[c.leg];
    EXPECT_EQ(leg.mode, c.mode);
    EXPECT_EQ(leg.duration_min, c.minutes);
    ASSERT_EQ(leg.geometry.size(), 2u);
    EXPECT_NEAR(leg.geometry.front().lat, c.first.lat, 1e-7);
    EXPECT_NEAR(leg.geometry.front().lon, c.first.lon, 1e-7);
    EXPECT_NEAR(leg.geometry.back().lat, c.last.lat, 1e-7);
    EXPECT_NEAR(leg.geometry.back().lon, c.last.lon, 1e-7);
  }
}

TEST(TransitParse, DirectOnly) {
  auto const plan = parse_transit_plan(std::string(
      R"({"itineraries":[],"direct":[{"duration":600,"legs":[{"mode":"WALK","duration":600}]}]})"));
  ASSERT_TRUE(plan.has_value()) << plan.error();
  ASSERT_EQ(plan->size(), 1u);
  ASSERT_EQ((*plan)[0].legs.size(), 1u);
  EXPECT_EQ((*plan)[0].legs[0].mode, LegMode::Walk);
  EXPECT_EQ((*plan)[0].duration_min, 10u);
}

TEST(TransitParse, ItinerariesMissing) {
  auto const empty = parse_transit_plan(std::string(R"({"itineraries": []})"));
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
  for (char const* answer : {R"({})", R"({"itineraries":{}})", R"([])", R"(null)"}) {
    SCOPED_TRACE(answer);
    auto const r = parse_transit_plan(std::string(answer));
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), "no itineraries");
  }
}

TEST(TransitServed, PlanAndErrors) {
  ScopedTimeZone const tz("UTC0");
  test::ScriptedServer srv;
  srv.answer_fixture("motis_plan.json");
  auto const plan = plan_transit(srv.base_url(), 48.1371, 11.5754, 48.354, 11.786,
                                 TransitQuery{"2024-05-01T09:30:00+02:00", true});
  ASSERT_TRUE(plan.has_value()) << plan.error();
  EXPECT_EQ(plan->size(), 2u);
  EXPECT_EQ(srv.target(), "/api/v1/plan?fromPlace=48.137100,11.575400&toPlace=48.354000,11.786000"
                          "&numItineraries=4&time=2024-05-01T09%3A30%3A00%2B02%3A00&arriveBy=true");

  struct Case {
    int status;
    char const* body;
    char const* error;
  } const cases[] = {
      {200, R"({"error":"no route"})", "no itineraries"},
      {404, "{}", "HTTP 404 Not Found"},
      {500, "{}", "HTTP 500 Internal Server Error"},
      {400, R"({"code":"BadRequest","message":"toPlace not found"})", "toPlace not found"},
      {400, R"({"code":"BadRequest"})", "BadRequest"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.status);
    srv.answer(c.status, c.body);
    auto const r = plan_transit(srv.base_url(), 1, 2, 3, 4, TransitQuery{});
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), c.error);
  }
}

} // namespace
} // namespace maps
