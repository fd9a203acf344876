// Background requests against local servers: each starter's thread asks its own service and
// sends exactly one message; a typed search goes from the debounce through the real request
// thread into the model; dropping the application under a running request is harmless.
// The only waiting here is for a request thread's network answer (bounded polling).

#include <dirent.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "app/maps_app.h"
#include "doc/load.h"
#include "local_server.h"
#include "platform/doc/document.h"

namespace maps {
namespace {

using namespace std::chrono_literals;

constexpr auto ANSWER_WAIT = 5s;
constexpr auto POLL_STEP = 10ms;

/// Polls `done` until it holds or ANSWER_WAIT has passed; true when it held.
bool wait_for(std::function<bool()> const& done) {
  auto const until = std::chrono::steady_clock::now() + ANSWER_WAIT;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) {
      return false;
    }
    std::this_thread::sleep_for(POLL_STEP);
  }
  return true;
}

std::size_t thread_count() {
  std::size_t n = 0;
  if (DIR* d = ::opendir("/proc/self/task")) {
    while (dirent const* e = ::readdir(d)) {
      n += e->d_name[0] != '.';
    }
    ::closedir(d);
  }
  return n;
}

TEST(Requests, EachStarterAsksItsServiceAndSendsOneMessage) {
  // Four services, every one failing, so each answer is the error of its own query.
  test::ScriptedServer geocoder, poi, routing, transit;
  for (auto* s : {&geocoder, &poi, &routing, &transit}) {
    s->answer(500, "{}");
  }
  ServiceUrls const urls{geocoder.base_url(), poi.base_url(), routing.base_url(),
                         transit.base_url()};
  using Check = std::function<void(ServiceResult const&)>;
  struct Case {
    char const* name;
    std::function<void(ResultSender)> start;
    test::ScriptedServer* asked;
    Check check;
  } const cases[] = {
      {"search", [&](ResultSender tx) { spawn_search(tx, urls, "Odeonsplatz"); }, &geocoder,
       [](ServiceResult const& m) {
         auto const& r = std::get<result::Search>(m);
         EXPECT_EQ(r.query, "Odeonsplatz");
         EXPECT_FALSE(r.result);
       }},
      {"endpoint search",
       [&](ResultSender tx) { spawn_endpoint_search(tx, urls, "Sendlinger Tor", true); }, &geocoder,
       [](ServiceResult const& m) {
         auto const& r = std::get<result::EndpointSearch>(m);
         EXPECT_EQ(r.query, "Sendlinger Tor");
         EXPECT_TRUE(r.for_origin);
         EXPECT_FALSE(r.result);
       }},
      {"reverse geocode", [&](ResultSender tx) { spawn_reverse_geocode(tx, urls, 48.1, 11.5); },
       &geocoder,
       [](ServiceResult const& m) { EXPECT_FALSE(std::get<result::ReverseGeocode>(m).result); }},
      {"route",
       [&](ResultSender tx) {
         spawn_route(tx, urls, {48.13, 11.55}, {48.16, 11.60}, TravelMode::Bike);
       },
       &routing, [](ServiceResult const& m) { EXPECT_FALSE(std::get<result::Route>(m).result); }},
      {"transit",
       [&](ResultSender tx) {
         spawn_transit(tx, urls, TransitQuery{}, {48.13, 11.55}, {48.16, 11.60});
       },
       &transit, [](ServiceResult const& m) { EXPECT_FALSE(std::get<result::Transit>(m).result); }},
      {"nearby places",
       [&](ResultSender tx) {
         spawn_nearby_places(tx, urls, {48.13, 11.56, 48.14, 11.58}, 42);
       },
       &poi,
       [](ServiceResult const& m) {
         auto const& r = std::get<result::NearbyPlaces>(m);
         EXPECT_EQ(r.generation, 42u);
         EXPECT_FALSE(r.result);
       }},
      {"area search", [&](ResultSender tx) { spawn_area_search(tx, urls, "Innsbruck"); }, &geocoder,
       [](ServiceResult const& m) {
         auto const& r = std::get<result::AreaSearch>(m);
         EXPECT_EQ(r.query, "Innsbruck");
         EXPECT_FALSE(r.result);
       }},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    std::array<std::string, 4> before;
    std::array<test::ScriptedServer*, 4> const servers{&geocoder, &poi, &routing, &transit};
    for (std::size_t i = 0; i < servers.size(); ++i) {
      before[i] = servers[i]->target();
    }
    auto [tx, rx] = base::channel<ServiceResult>();
    c.start(std::move(tx));
    auto message = rx.recv_timeout(ANSWER_WAIT);
    ASSERT_TRUE(std::holds_alternative<ServiceResult>(message)) << "no answer";
    c.check(std::get<ServiceResult>(message));
    // One message, then the thread's sender is gone and the channel closes.
    auto after = rx.recv_timeout(ANSWER_WAIT);
    ASSERT_TRUE(std::holds_alternative<base::RecvError>(after));
    EXPECT_EQ(std::get<base::RecvError>(after), base::RecvError::Closed);
    for (std::size_t i = 0; i < servers.size(); ++i) {
      EXPECT_EQ(servers[i]->target() != before[i], servers[i] == c.asked) << "server " << i;
    }
  }
}

TEST(Requests, TypedSearchIsDebouncedFetchedAndApplied) {
  test::ScriptedServer geocoder;
  geocoder.answer_fixture("nominatim_search.json");
  test::SilentListener silent;
  base::ManualClock clock;
  zarn_ui::doc::Document doc{zarn_ui::doc::Bytes(16, 2)};
  auto app = std::make_unique<MapsApp>(
      build_maps_app(default_map_model(), StreetNetwork{}, offline_tile_cache(), false, true));
  app->clock = &clock;
  app->services =
      ServiceUrls{geocoder.base_url(), silent.base_url(), silent.base_url(), silent.base_url()};
  app->tick_doc(doc);

  app->model.query = "Marienplatz M\xC3\xBCnchen";
  app->search_box.debounce = clock.now() + INPUT_DEBOUNCE;
  clock.advance(INPUT_DEBOUNCE - 1ms);
  app->tick_doc(doc);
  EXPECT_EQ(app->jobs_in_flight, 0u);
  clock.advance(1ms);
  app->tick_doc(doc);
  EXPECT_EQ(app->jobs_in_flight, 1u);
  EXPECT_EQ(app->model.status, "Searching\xE2\x80\xA6");

  ASSERT_TRUE(wait_for([&] {
    app->tick_doc(doc);
    return app->jobs_in_flight == 0;
  })) << "the search thread did not answer";
  EXPECT_EQ(geocoder.target(),
            "/search?q=Marienplatz%20M%C3%BCnchen&format=jsonv2&limit=8&addressdetails=1");
  EXPECT_EQ(app->model.status, "3 results for \xE2\x80\x9CMarienplatz M\xC3\xBCnchen\xE2\x80\x9D");
  // No name matches the whole query, so the nearest to the map centre comes first.
  ASSERT_EQ(app->model.results.size(), 3u);
  EXPECT_EQ(app->model.results[0].id, "osm-relation-62428");
  EXPECT_EQ(app->model.results[1].id, "osm-node-42");
  EXPECT_EQ(app->model.results[2].id, "osm-way-1001");
  EXPECT_EQ(app->model.selected, "osm-relation-62428");
  auto const stored = load_model_from_doc(doc);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->places.size(), 3u);
}

TEST(Requests, DroppingTheAppUnderARunningRequestIsHarmless) {
  std::mutex mutex;
  std::condition_variable cv;
  bool arrived = false;
  bool released = false;
  bool answered = false;
  test::LocalServer server;
  server.server().Get("/search", [&](httplib::Request const&, httplib::Response& res) {
    std::unique_lock lock(mutex);
    arrived = true;
    cv.notify_all();
    cv.wait(lock, [&] { return released; });
    res.set_content("[]", "application/json");
    answered = true;
  });
  server.start();

  auto app = std::make_unique<MapsApp>(
      build_maps_app(default_map_model(), StreetNetwork{}, offline_tile_cache(), false, true));
  app->services.geocoder = server.base_url();
  app->model.query = "Karlsplatz";
  app->submit_search(nullptr);
  ASSERT_EQ(app->jobs_in_flight, 1u);
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(cv.wait_for(lock, ANSWER_WAIT, [&] { return arrived; })) << "no request came";
  }
  std::size_t const with_request = thread_count();
  app.reset(); // the results receiver goes while the thread waits for its answer
  {
    std::lock_guard lock(mutex);
    released = true;
  }
  cv.notify_all();
  // The thread gets its answer, fails to send it, and ends.
  EXPECT_TRUE(wait_for([&] { return thread_count() < with_request; }));
  std::lock_guard lock(mutex);
  EXPECT_TRUE(answered);
}

} // namespace
} // namespace maps
