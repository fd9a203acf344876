// User sessions in which what the window shows must follow what happened: every change of the
// view asks for the places near it once the map rests, and service answers reach the user in
// the user's words, with frames drawn in between as the window loop runs them.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "local_server.h"
#include "location/location.h"
#include "net/poi.h"
#include "net/transit.h"
#include "scenario.h"

namespace maps::test {
namespace {

using namespace std::chrono_literals;

/// One way the user starts a wait, the wait it arms and how long that wait is. The lengths are
/// written as numbers, so a wrong constant fails here.
struct Wait {
  char const* what;
  std::vector<std::string> switches;
  std::function<void(Session&)> act;
  std::function<std::optional<base::Instant>(MapsApp const&)> deadline;
  std::chrono::milliseconds length;
};

void PrintTo(Wait const& w, std::ostream* os) {
  *os << w.what;
}

std::optional<base::Instant> search_wait(MapsApp const& app) {
  return app.search_box.debounce;
}
std::optional<base::Instant> endpoint_wait(MapsApp const& app) {
  return app.endpoints.debounce;
}
std::optional<base::Instant> map_idle(MapsApp const& app) {
  return app.map_idle_deadline;
}

Wait const WAITS[] = {
    {"typing a search",
     {"--empty"},
     [](Session& s) {
       s.click(*s.search_item(SearchItem::field()));
       s.type("mar");
     },
     search_wait,
     280ms},
    {"typing an endpoint",
     {"--edit-from"},
     [](Session& s) { s.type("sen"); },
     endpoint_wait,
     280ms},
    {"dragging the map",
     {"--empty"},
     [](Session& s) {
       s.drag({900, 400}, {920, 400});
     },
     map_idle,
     450ms},
    {"picking a search result",
     {"--search"},
     [](Session& s) { s.click(*s.search_item(SearchItem::result(0))); },
     map_idle,
     450ms},
    {"fitting the plan with f",
     {"--panel=directions"},
     [](Session& s) { s.type("f"); },
     map_idle,
     450ms},
    {"a road route arriving",
     {"--panel=directions"},
     [](Session& s) {
       ASSERT_TRUE(s.app().model.route);
       ASSERT_TRUE(s.app().results_tx.send(result::Route{*s.app().model.route}));
       s.frame();
     },
     map_idle,
     450ms},
    {"a location fix",
     {"--empty"},
     [](Session& s) {
       auto [tx, rx] = base::channel<LocationResult>();
       s.app().location_rx = std::move(rx);
       s.app().locating = true;
       ASSERT_TRUE(tx.send(LocationFix{48.2, 11.6}));
       s.frame();
       EXPECT_EQ(s.app().model.center, (LatLon{48.2, 11.6}));
     },
     map_idle,
     450ms},
};

class WaitTest : public ::testing::TestWithParam<Wait> {};

TEST_P(WaitTest, IsArmedForItsLengthAndEndsThen) {
  Wait const& w = GetParam();
  Session s(w.switches, 1280, 800);
  s.app().map_idle_deadline.reset();
  w.act(s);
  ASSERT_TRUE(w.deadline(s.app())) << "nothing armed";
  EXPECT_EQ(*w.deadline(s.app()), s.clock.now() + w.length);
  s.wait(w.length - 1ms);
  EXPECT_TRUE(w.deadline(s.app()));
  s.wait(1ms);
  EXPECT_FALSE(w.deadline(s.app()));
}

INSTANTIATE_TEST_SUITE_P(UserSessions, WaitTest, ::testing::ValuesIn(WAITS), [](auto const& info) {
  std::string name;
  for (char const c : std::string(info.param.what)) {
    name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  }
  return name;
});

// After a jump the places near the new view are asked for once the map rests.
TEST(ViewScenario, PickingAResultAsksForThePlacesAroundIt) {
  Session s({"--search"}, 1280, 800);
  std::uint64_t const asked = s.app().places_generation;
  s.click(*s.search_item(SearchItem::result(0)));
  ASSERT_GE(s.app().model.zoom, 14.0);
  s.wait(450ms);
  EXPECT_EQ(s.app().places_generation, asked + 1);
  ASSERT_TRUE(s.app().places_box);
  auto const view = s.app().viewport_bounds();
  EXPECT_LE((*s.app().places_box)[0], view[0]);
  EXPECT_GE((*s.app().places_box)[2], view[2]);
}

// A planner answer as it comes: a short name padded with spaces, a headsign with a space in
// front, and the query's own endpoints under the planner's placeholder names.
constexpr char const* LIVE_PLAN = R"({"itineraries":[{
  "duration":1800,"startTime":"2024-05-01T07:41:00Z","endTime":"2024-05-01T08:11:00Z",
  "transfers":0,"legs":[
   {"mode":"WALK","from":{"name":"START"},"to":{"name":"Yorckstr."},"duration":120,
    "startTime":"2024-05-01T07:41:00Z","endTime":"2024-05-01T07:43:00Z"},
   {"mode":"RAIL","routeShortName":"B  ","headsign":" Robinson","from":{"name":"Yorckstr. "},
    "to":{"name":"END"},"duration":1680,"intermediateStops":[{"name":"a"},{"name":"b"}],
    "startTime":"2024-05-01T07:43:00Z","endTime":"2024-05-01T08:11:00Z"}]}]})";

TEST(AnswerScenario, LiveTransitLegsReadAsTheUserKnowsThem) {
  Session s({"--panel=transit"}, 1280, 800);
  std::string const origin = s.app().model.origin_name;
  std::string const dest = s.app().model.dest_name;
  ASSERT_FALSE(origin.empty());
  ASSERT_FALSE(dest.empty());
  auto plan = parse_transit_plan(LIVE_PLAN);
  ASSERT_TRUE(plan) << plan.error();
  ASSERT_TRUE(s.app().results_tx.send(result::Transit{std::move(*plan)}));
  s.frame();
  s.frame();
  ASSERT_EQ(s.app().model.transit.size(), 1u);
  EXPECT_TRUE(s.painted("Train B \xE2\x86\x92 Robinson"));
  EXPECT_TRUE(s.painted(fmt::format("to Yorckstr.")));
  EXPECT_TRUE(s.painted(fmt::format("Yorckstr. \xE2\x86\x92 alight {} \xC2\xB7 2 stops", dest)));
  EXPECT_EQ(s.app().model.transit[0].legs[0].from_name, origin);
  // The built-in journeys draw their arrow once.
  Session demo({"--panel=transit"}, 1280, 800);
  EXPECT_TRUE(probe::find_text_cmd(demo.scene, "\xE2\x86\x92 \xE2\x86\x92", true) == nullptr);
  bool arrow = false;
  for (auto const* t : probe::text_cmds(demo.scene)) {
    arrow = arrow || t->text.find(" \xE2\x86\x92 ") != std::string::npos;
    EXPECT_EQ(t->text.find("\xE2\x86\x92 \xE2\x86\x92"), std::string::npos) << t->text;
    EXPECT_EQ(t->text.find("\xE2\x86\x92  "), std::string::npos) << t->text;
  }
  EXPECT_TRUE(arrow);
}

TEST(AnswerScenario, APlacesQueryTheServiceGaveUpOnIsToldInTheUsersWords) {
  Session s({}, 1280, 800);
  auto answer = parse_pois(read_fixture("overpass_runtime_error.json"));
  ASSERT_TRUE(
      s.app().results_tx.send(result::NearbyPlaces{std::move(answer), s.app().places_generation}));
  s.frame();
  EXPECT_EQ(s.app().model.status, "Places unavailable: the places service timed out");
  EXPECT_TRUE(s.painted(s.app().model.status));
}

} // namespace
} // namespace maps::test
