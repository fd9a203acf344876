#include "net/routing.h"

#include <cmath>
#include <limits>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "geo/geo.h"
#include "local_server.h"

namespace maps {
namespace {

TEST(RoutingUrl, ProfilesAndCoordinateOrder) {
  struct Case {
    TravelMode mode;
    char const* url;
  } const cases[] = {
      {TravelMode::Car, "https://osrm.test/route/v1/driving/11.575400,48.137100;-0.127500,"
                        "51.507200?overview=full&geometries=geojson&steps=true"},
      {TravelMode::Transit, "https://osrm.test/route/v1/driving/11.575400,48.137100;-0.127500,"
                            "51.507200?overview=full&geometries=geojson&steps=true"},
      {TravelMode::Bike, "https://osrm.test/route/v1/cycling/11.575400,48.137100;-0.127500,"
                         "51.507200?overview=full&geometries=geojson&steps=true"},
      {TravelMode::Foot, "https://osrm.test/route/v1/foot/11.575400,48.137100;-0.127500,"
                         "51.507200?overview=full&geometries=geojson&steps=true"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(variant_name(c.mode));
    EXPECT_EQ(route_url("https://osrm.test", 48.1371, 11.5754, 51.5072, -0.1275, c.mode), c.url);
  }
}

TEST(RoutingSteps, ManeuversAndInstructions) {
  struct Case {
    char const* type;
    char const* modifier;
    char const* name;
    Maneuver maneuver;
    char const* text;
  } const cases[] = {
      {"depart", "", "", Maneuver::Depart, "Start"},
      {"depart", "left", "Tal", Maneuver::Depart, "Head out on Tal"},
      {"arrive", "", "Odeonsplatz", Maneuver::Arrive, "Arrive at your destination"},
      {"turn", "slight right", "Leopoldstraße", Maneuver::SlightRight,
       "Slight right onto Leopoldstraße"},
      {"turn", "slight right", "", Maneuver::SlightRight, "Slight right"},
      {"turn", "left", "Tal", Maneuver::Left, "Turn left onto Tal"},
      {"new name", "sharp left", "", Maneuver::SharpLeft, "Sharp left"},
      {"continue", "right", "Ring", Maneuver::Right, "Turn right onto Ring"},
      {"turn", "sharp right", "Ring", Maneuver::SharpRight, "Sharp right onto Ring"},
      {"fork", "slight left", "", Maneuver::SlightLeft, "Slight left"},
      {"end of road", "uturn", "Ring", Maneuver::Uturn, "Make a U-turn"},
      {"uturn", "", "", Maneuver::Uturn, "Make a U-turn"},
      {"fork", "", "", Maneuver::Continue, "Continue"},
      {"continue", "straight", "Ring", Maneuver::Continue, "Continue on Ring"},
      {"merge", "left", "A9", Maneuver::Merge, "Continue on A9"},
      {"rotary", "right", "Stachus", Maneuver::Roundabout,
       "At the roundabout, take the exit onto Stachus"},
      {"roundabout turn", "", "", Maneuver::Roundabout, "At the roundabout, take the exit"},
      {"Depart", "", "", Maneuver::Continue, "Continue"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << "/" << c.modifier);
    Maneuver const m = maneuver_for_step(c.type, c.modifier);
    EXPECT_EQ(m, c.maneuver);
    EXPECT_EQ(step_instruction(m, c.name), c.text);
  }
}

TEST(RoutingParse, FixtureRoute) {
  LatLon const from{48.1371, 11.5754};
  LatLon const to{48.1425, 11.577};
  auto const route = parse_route_answer(std::string(test::read_fixture("osrm_route.json")), from,
                                        to, TravelMode::Bike);
  ASSERT_TRUE(route.has_value()) << route.error();
  EXPECT_EQ(route->mode, TravelMode::Bike);
  EXPECT_EQ(route->distance_m, 812.4);
  EXPECT_EQ(route->duration_s, 187.3);
  EXPECT_EQ(route->from, from);
  EXPECT_EQ(route->to, to);
  // Malformed coordinates are skipped; points within 3 m of the simplified line go.
  std::vector<LatLon> const want_geometry = {
      {48.1371, 11.5754}, {48.1389, 11.5756}, {48.1425, 11.5770}};
  EXPECT_EQ(route->geometry, want_geometry);
  std::vector<RouteStep> const want_steps = {
      {"Head out on Marienplatz", 120.5, Maneuver::Depart},
      {"Slight right onto Leopoldstraße", 500.0, Maneuver::SlightRight},
      {"Make a U-turn", 191.9, Maneuver::Uturn},
      {"Arrive at your destination", 0.0, Maneuver::Arrive},
  };
  EXPECT_EQ(route->steps, want_steps);
}

TEST(RoutingParse, CodesAndMissingMembers) {
  struct Case {
    char const* answer;
    char const* error; // nullptr: an empty route
  } const cases[] = {
      {R"({"code":"NoSegment","message":"Could not find a matching segment"})", "NoSegment"},
      {R"({"code":"ok"})", "ok"},
      {R"({"message":"no code"})", "routing failed"},
      {R"({"code":7})", "routing failed"},
      {R"([1,2])", "routing failed"},
      {R"({"code":"Ok"})", nullptr},
      {R"({"code":"Ok","routes":[]})", nullptr},
      {R"({"code":"Ok","routes":[{"distance":"far","geometry":{"coordinates":{}},"legs":{}}]})",
       nullptr},
      {R"({"code":"Ok","routes":[{"legs":[{"steps":[{"maneuver":"x","name":7}]}]}]})", nullptr},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.answer);
    auto const r = parse_route_answer(std::string(c.answer), {1, 2}, {3, 4}, TravelMode::Car);
    if (c.error != nullptr) {
      ASSERT_FALSE(r.has_value());
      EXPECT_EQ(r.error(), c.error);
    } else {
      ASSERT_TRUE(r.has_value()) << r.error();
      EXPECT_EQ(r->distance_m, 0.0);
      EXPECT_TRUE(r->geometry.empty());
      EXPECT_EQ(r->from, (LatLon{1, 2}));
    }
  }
  auto const odd_step = parse_route_answer(
      std::string(R"({"code":"Ok","routes":[{"legs":[{"steps":[{"maneuver":"x","name":7}]}]}]})"),
      {1, 2}, {3, 4}, TravelMode::Car);
  ASSERT_TRUE(odd_step.has_value());
  EXPECT_EQ(odd_step->steps, (std::vector<RouteStep>{{"Continue", 0.0, Maneuver::Continue}}));
}

TEST(RoutingServed, RouteAndErrors) {
  test::ScriptedServer srv;
  srv.answer_fixture("osrm_route.json");
  auto const route =
      route_by_road(srv.base_url(), 48.1371, 11.5754, 48.1425, 11.577, TravelMode::Foot);
  ASSERT_TRUE(route.has_value()) << route.error();
  EXPECT_EQ(route->steps.size(), 4u);
  EXPECT_EQ(srv.target(), "/route/v1/foot/11.575400,48.137100;11.577000,48.142500"
                          "?overview=full&geometries=geojson&steps=true");

  struct Case {
    int status;
    std::string body;
    char const* error;
  } const cases[] = {
      {200, test::read_fixture("osrm_noroute.json"), "NoRoute"},
      {400, R"({"code":"InvalidQuery"})", "InvalidQuery"},
      {500, "{}", "HTTP 500 Internal Server Error"},
      {200, "\"Ok\"", "routing failed"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.status);
    srv.answer(c.status, c.body);
    auto const r = route_by_road(srv.base_url(), 1, 2, 3, 4, TravelMode::Car);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error(), c.error);
  }
}

// Shapes of real routing answers, served: the route's measures and point count, or the error.
TEST(RoutingServed, RealAnswerShapes) {
  test::ScriptedServer srv;
  struct Case {
    char const* what;
    int status;
    std::string body;
    double distance_m = 0.0;
    double duration_s = 0.0;
    std::size_t points = 0;
    char const* error = nullptr;
  } const cases[] = {
      {"negative and huge measures are missing; points off the globe are skipped", 200,
       R"({"code":"Ok","routes":[{"distance":-1,"duration":-5,"geometry":{"coordinates":)"
       R"([[11.5,48.1],[540,48.1],[11.5,95],[11.6,48.2]]}}]})",
       0.0, 0.0, 2},
      {"a finite route", 200,
       R"({"code":"Ok","routes":[{"distance":1200.5,"duration":300,"geometry":{"coordinates":)"
       R"([[11.5,48.1],[11.6,48.2]]}}]})",
       1200.5, 300.0, 2},
      {"NoRoute with status 400 reads like a 200 with that code", 400,
       R"({"code":"NoRoute","message":"Impossible route between points"})", 0, 0, 0, "NoRoute"},
      {"NoSegment with status 400", 400,
       R"({"code":"NoSegment","message":"Could not find a matching segment"})", 0, 0, 0,
       "NoSegment"},
      {"a 400 without a JSON explanation keeps the status text", 400, "<html>bad</html>", 0, 0, 0,
       "HTTP 400 Bad Request"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    srv.answer(c.status, c.body);
    auto const r = route_by_road(srv.base_url(), 48.1, 11.5, 48.2, 11.6, TravelMode::Car);
    if (c.error != nullptr) {
      ASSERT_FALSE(r.has_value());
      EXPECT_EQ(r.error(), c.error);
      continue;
    }
    ASSERT_TRUE(r.has_value()) << r.error();
    EXPECT_EQ(r->distance_m, c.distance_m);
    EXPECT_EQ(r->duration_s, c.duration_s);
    EXPECT_EQ(r->geometry.size(), c.points);
  }
}

TEST(RoutingEstimate, HeadingsAndTurnSides) {
  struct Case {
    double to_lat, to_lon;
    char const* head;
    char const* turn;
    Maneuver maneuver;
  } const cases[] = {
      {48.1, 11.1, "Head east to start", "Turn left toward destination", Maneuver::Left},
      {47.9, 11.1, "Head east to start", "Turn right toward destination", Maneuver::Right},
      {48.1, 10.9, "Head west to start", "Turn right toward destination", Maneuver::Right},
      {47.9, 10.9, "Head west to start", "Turn left toward destination", Maneuver::Left},
      {48.0, 11.1, "Head east to start", "Turn left toward destination", Maneuver::Left},
      {48.0, 10.9, "Head west to start", "Turn left toward destination", Maneuver::Left},
      {48.0, 11.0, "Head east to start", "Turn left toward destination", Maneuver::Left},
      // A NaN longitude is not below the start's: east.
      {48.1, std::numeric_limits<double>::quiet_NaN(), "Head east to start",
       "Turn left toward destination", Maneuver::Left},
      // A NaN latitude is neither north nor south of the start: left on either heading.
      {std::numeric_limits<double>::quiet_NaN(), 11.1, "Head east to start",
       "Turn left toward destination", Maneuver::Left},
      {std::numeric_limits<double>::quiet_NaN(), 10.9, "Head west to start",
       "Turn left toward destination", Maneuver::Left},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.to_lat << "," << c.to_lon);
    Route const r = estimate_route(48.0, 11.0, c.to_lat, c.to_lon, TravelMode::Car);
    ASSERT_EQ(r.steps.size(), 3u);
    EXPECT_EQ(r.steps[0].instruction, c.head);
    EXPECT_EQ(r.steps[0].maneuver, Maneuver::Depart);
    EXPECT_EQ(r.steps[1].instruction, c.turn);
    EXPECT_EQ(r.steps[1].maneuver, c.maneuver);
    EXPECT_EQ(r.steps[2], (RouteStep{"Arrive at destination", 0.0, Maneuver::Arrive}));
  }
}

TEST(RoutingEstimate, LShapedDistancesAndDurations) {
  Route const r = estimate_route(48.0, 11.0, 48.1, 11.1, TravelMode::Foot);
  std::vector<LatLon> const want = {{48.0, 11.0}, {48.0, 11.1}, {48.1, 11.1}};
  EXPECT_EQ(r.geometry, want);
  EXPECT_EQ(r.steps[0].distance_m, haversine_m(48.0, 11.0, 48.0, 11.1));
  EXPECT_EQ(r.steps[1].distance_m, haversine_m(48.0, 11.1, 48.1, 11.1));
  EXPECT_DOUBLE_EQ(r.distance_m, r.steps[0].distance_m + r.steps[1].distance_m);
  EXPECT_DOUBLE_EQ(r.duration_s, r.distance_m / (4800.0 / 3600.0));
  EXPECT_EQ(r.from, (LatLon{48.0, 11.0}));
  EXPECT_EQ(r.to, (LatLon{48.1, 11.1}));
  EXPECT_EQ(r.mode, TravelMode::Foot);

  // 3200 m of path by car is six minutes: one degree of latitude is 111319.49 m.
  double const lat_for_3200 = 3200.0 / 111319.49079327358;
  EXPECT_NEAR(estimate_route(0.0, 0.0, lat_for_3200, 0.0, TravelMode::Car).duration_s, 360.0, 1e-6);
  double const lat_for_4800 = 4800.0 / 111319.49079327358;
  EXPECT_NEAR(estimate_route(0.0, 0.0, lat_for_4800, 0.0, TravelMode::Foot).duration_s, 3600.0,
              1e-6);

  Route const still = estimate_route(48.0, 11.0, 48.0, 11.0, TravelMode::Bike);
  EXPECT_EQ(still.distance_m, 0.0);
  EXPECT_EQ(still.duration_s, 0.0);
}

} // namespace
} // namespace maps
