// The frame tick: answers of the request threads, the location answer, the debounces, the
// offline download's completion and the document copy, driven by a manual clock. Answers are
// pushed straight into the results channel; services that are started for real point at a
// listener that never answers, so a started request stays in flight for the whole test.

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/maps_app.h"
#include "disk_usage_support.h"
#include "doc/load.h"
#include "doc/save.h"
#include "doc/updaters.h"
#include "local_server.h"
#include "model/ops.h"
#include "net/routing.h"
#include "platform/doc/document.h"
#include "platform/doc/persist.h"
#include "platform/launch/state.h"
#include "sdk/sdk_integration.h"

namespace maps {
namespace {

using namespace std::chrono_literals;
using zarn_ui::doc::Document;

constexpr char const ELLIPSIS[] = "\xE2\x80\xA6";

std::string curly(std::string_view text) {
  return "\xE2\x80\x9C" + std::string(text) + "\xE2\x80\x9D";
}

Place place(std::string id, std::string name, double lat, double lon) {
  return new_place(id, name, PlaceCategory::Cafe, lat, lon, "");
}

Poi poi(std::string id, double lat = 48.137, double lon = 11.575) {
  Poi p;
  p.id = id;
  p.name = "Point " + id;
  p.pos = {lat, lon};
  return p;
}

std::vector<Poi> pois(std::size_t n) {
  std::vector<Poi> out;
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(poi("poi-" + std::to_string(i), 48.13 + i * 1e-5, 11.57));
  }
  return out;
}

std::vector<std::string> ids(std::vector<Place> const& places) {
  std::vector<std::string> out;
  for (auto const& p : places) {
    out.push_back(p.id);
  }
  return out;
}

class TickTest : public testing::Test {
protected:
  test::SilentListener silent; // every service: requests go out and stay unanswered
  base::ManualClock clock;
  base::Instant const t0 = clock.now();
  Document doc{zarn_ui::doc::Bytes(16, 1)};
  std::unique_ptr<MapsApp> app = make_app();

  std::unique_ptr<MapsApp> make_app(TileCache tiles = offline_tile_cache()) {
    auto a = std::make_unique<MapsApp>(build_maps_app(default_map_model(), StreetNetwork{},
                                                      std::move(tiles), false, /*live*/ false));
    a->clock = &clock;
    a->services =
        ServiceUrls{silent.base_url(), silent.base_url(), silent.base_url(), silent.base_url()};
    a->window_rect_ = zarn_ui::Rect{0, 0, 1280, 800};
    a->model.zoom = 15.0;
    return a;
  }

  /// An answer as a request thread would send it, counted as its starter would have.
  void deliver(ServiceResult result) {
    ++app->jobs_in_flight;
    ASSERT_TRUE(app->results_tx.send(std::move(result)));
  }

  void tick_at(base::Duration since_start) {
    clock.set(t0 + since_start);
    app->tick_doc(doc);
  }

  std::optional<MapModel> stored() const { return load_model_from_doc(doc); }
};

// ---- Search answers -------------------------------------------------------------------------

TEST_F(TickTest, SearchAnswerIsStoredRankedAndShownByFocus) {
  // Around the map centre (48.1371, 11.5754), for the query "glück": two exact matches 100 m
  // apart (the farther one goes), a third exact one 2 km out, a prefix and a contains match.
  std::vector<Place> const answer{
      place("b-contains",
            "Caf\xC3\xA9 Gl\xC3\xBC"
            "ck",
            48.1371, 11.5754),
      place("a-prefix",
            "Gl\xC3\xBC"
            "ckspilz",
            48.1381, 11.5754),
      place("d-twin",
            "gl\xC3\xBC"
            "ck",
            48.1470, 11.5754),
      place("c-exact",
            "Gl\xC3\xBC"
            "ck",
            48.1461, 11.5754),
      place("e-far",
            "GL\xC3\x9C"
            "CK",
            48.1571, 11.5754),
  };
  std::vector<std::string> const ranked{"c-exact", "e-far", "a-prefix", "b-contains"};
  std::string const query = "gl\xC3\xBC"
                            "ck";

  for (bool const editing : {false, true}) {
    SCOPED_TRACE(editing ? "search box focused" : "search box not focused");
    app = make_app();
    doc = Document{zarn_ui::doc::Bytes(16, 1)};
    tick_at(0ms);
    app->search_box.editing = editing;
    app->model.status = std::string("Searching") + ELLIPSIS;
    LatLon const centre = app->model.center;
    deliver(result::Search{answer, query});
    tick_at(16ms);

    // Every answered place reaches the document and the live model, unranked and unthinned.
    ASSERT_TRUE(stored());
    EXPECT_EQ(stored()->places.size(), answer.size());
    EXPECT_EQ(app->model.places.size(), answer.size());
    EXPECT_EQ(app->model.status, "4 results for " + curly(query));
    EXPECT_EQ(app->jobs_in_flight, 0u);
    if (editing) {
      EXPECT_EQ(ids(app->search_box.suggestions), ranked);
      EXPECT_TRUE(app->model.results.empty());
      EXPECT_FALSE(app->model.selected);
      EXPECT_EQ(app->model.center, centre);
    } else {
      EXPECT_EQ(ids(app->model.results), ranked);
      EXPECT_EQ(app->model.selected, "c-exact");
      EXPECT_EQ(app->model.center, (LatLon{48.1461, 11.5754}));
      EXPECT_TRUE(app->search_box.suggestions.empty());
    }
  }
}

TEST_F(TickTest, FailedAndEmptyAnswersBecomeStatusTextsAndWriteNothing) {
  struct Case {
    char const* name;
    ServiceResult answer;
    std::string status;
  } const cases[] = {
      {"search error", result::Search{base::fail("HTTP 503"), "cafe"}, "Search failed: HTTP 503"},
      {"search empty", result::Search{std::vector<Place>{}, "xyzzy"},
       "No results for " + curly("xyzzy")},
      {"endpoint error", result::EndpointSearch{base::fail("timed out"), "hbf", true},
       "Search failed: timed out"},
      {"endpoint empty", result::EndpointSearch{std::vector<Place>{}, "hbf", false},
       "No matching places"},
      {"route error", result::Route{base::fail("no route")},
       "Routing failed (offline estimate shown): no route"},
      {"transit error", result::Transit{base::fail("HTTP 502")}, "Transit lookup failed: HTTP 502"},
      {"transit empty", result::Transit{std::vector<TransitJourney>{}}, "No transit options found"},
      {"places error", result::NearbyPlaces{base::fail("overloaded"), 0},
       "Places unavailable: overloaded"},
  };
  tick_at(0ms);
  auto const heads = doc.heads();
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    app->model.status = std::string("Working") + ELLIPSIS;
    deliver(c.answer);
    tick_at(16ms);
    EXPECT_EQ(app->model.status, c.status);
    EXPECT_EQ(app->jobs_in_flight, 0u);
    EXPECT_EQ(doc.heads(), heads);
  }
}

TEST_F(TickTest, EndpointAnswerGoesToTheFieldItWasFor) {
  std::vector<Place> const answer{place("far", "Hauptbahnhof", 48.30, 11.57),
                                  place("near", "Hauptbahnhof", 48.14, 11.56)};
  for (bool const for_origin : {true, false}) {
    SCOPED_TRACE(for_origin ? "origin" : "destination");
    app = make_app();
    doc = Document{zarn_ui::doc::Bytes(16, 1)};
    tick_at(0ms);
    // The field still holds the text the answer is for.
    (for_origin ? app->model.origin_query : app->model.dest_query) = "hauptbahnhof ";
    (for_origin ? app->endpoints.origin_text : app->endpoints.dest_text) = "hauptbahnhof ";
    app->model.status = std::string("Searching") + ELLIPSIS;
    deliver(result::EndpointSearch{answer, "hauptbahnhof", for_origin});
    tick_at(16ms);
    auto const& asked =
        for_origin ? app->endpoints.origin_suggestions : app->endpoints.dest_suggestions;
    auto const& other =
        for_origin ? app->endpoints.dest_suggestions : app->endpoints.origin_suggestions;
    EXPECT_EQ(ids(asked), (std::vector<std::string>{"near", "far"}));
    EXPECT_TRUE(other.empty());
    EXPECT_EQ(app->model.status, "");
    ASSERT_TRUE(stored());
    EXPECT_EQ(stored()->places.size(), 2u);

    // An answer for a text the field held before leaves the list alone.
    deliver(result::EndpointSearch{std::vector<Place>{place("old", "Haupt", 48.1, 11.5)}, "haupt",
                                   for_origin});
    tick_at(32ms);
    EXPECT_EQ(ids(asked), (std::vector<std::string>{"near", "far"}));
  }
}

// ---- Nearby places ----------------------------------------------------------------------------

TEST_F(TickTest, NearbyAnswersFollowTheGenerationTheCapAndTheStatus) {
  tick_at(0ms);
  std::string const loading = std::string("Loading places") + ELLIPSIS;
  app->places_generation = 5;
  app->nearby_pois = {poi("old")};
  app->selected_poi = "old";
  app->model.status = loading;
  app->jobs_in_flight = 1; // the generation-5 request

  // An answer for the view before: nothing of it is used, and its count still goes.
  auto outdated = pois(150);
  outdated[3].id = "old";
  deliver(result::NearbyPlaces{outdated, 4});
  tick_at(16ms);
  EXPECT_EQ(app->nearby_pois, std::vector<Poi>{poi("old")});
  EXPECT_EQ(app->selected_poi, "old");
  EXPECT_EQ(app->model.status, loading);
  EXPECT_EQ(app->jobs_in_flight, 1u);

  // The current answer: the first 140 are kept; the selected point is past them and goes.
  auto current = pois(150);
  current[145].id = "old";
  deliver(result::NearbyPlaces{current, 5});
  --app->jobs_in_flight; // answers the request counted above
  tick_at(32ms);
  ASSERT_EQ(app->nearby_pois.size(), MAX_NEARBY_POIS);
  EXPECT_EQ(app->nearby_pois.back().id, "poi-139");
  EXPECT_FALSE(app->selected_poi);
  EXPECT_EQ(app->model.status, "140 places nearby");

  // A later answer leaves an outcome text alone and keeps a selection it still holds.
  app->model.status = "Route updated";
  app->selected_poi = "poi-2";
  deliver(result::NearbyPlaces{pois(3), 5});
  tick_at(48ms);
  EXPECT_EQ(app->nearby_pois.size(), 3u);
  EXPECT_EQ(app->selected_poi, "poi-2");
  EXPECT_EQ(app->model.status, "Route updated");
}

// ---- Counting ---------------------------------------------------------------------------------

TEST_F(TickTest, TwoAnswersInOneTickCountDownAndClearProgressAfterTheLast) {
  std::string const loading = std::string("Loading places") + ELLIPSIS;
  enum class Pair { NameThenPlaces, PlacesThenName, TwoNames };
  struct Case {
    char const* name;
    std::uint32_t in_flight; // before the two answers
    Pair pair;
    std::string status;
    std::uint32_t left;
  } const cases[] = {
      // The progress text survives the first answer, so the places answer still replaces it.
      {"last two, name first", 2, Pair::NameThenPlaces, "3 places nearby", 0},
      {"last two, places first", 2, Pair::PlacesThenName, "3 places nearby", 0},
      {"last two, no outcome text", 2, Pair::TwoNames, "", 0},
      {"one left", 3, Pair::TwoNames, loading, 1},
  };
  tick_at(0ms);
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    app->model.status = loading;
    app->jobs_in_flight = c.in_flight - 2;
    ServiceResult const name = result::ReverseGeocode{base::fail("offline")};
    ServiceResult const places = result::NearbyPlaces{pois(3), app->places_generation};
    deliver(c.pair == Pair::PlacesThenName ? places : name);
    deliver(c.pair == Pair::NameThenPlaces ? places : name);
    tick_at(16ms);
    EXPECT_EQ(app->model.status, c.status);
    EXPECT_EQ(app->jobs_in_flight, c.left);
  }

  // Progress is cleared once nothing is left, and the count never goes below zero.
  app->jobs_in_flight = 0;
  app->model.status = std::string("Searching") + ELLIPSIS;
  ASSERT_TRUE(app->results_tx.send(result::ReverseGeocode{base::fail("late")}));
  ASSERT_TRUE(app->results_tx.send(result::ReverseGeocode{base::fail("later")}));
  tick_at(32ms);
  EXPECT_EQ(app->jobs_in_flight, 0u);
  EXPECT_EQ(app->model.status, "");
}

// ---- Debounces --------------------------------------------------------------------------------

TEST_F(TickTest, DebouncesFireOnceAtTheirDeadlineAndCountOnlyWhenLive) {
  std::string const searching = std::string("Searching") + ELLIPSIS;
  struct Case {
    char const* name;
    std::function<void(MapsApp&, base::Instant)> arm;
    std::function<bool(MapsApp const&)> armed;
    std::string live_status;
  } const cases[] = {
      {"search",
       [](MapsApp& a, base::Instant at) {
         a.model.query = "  cafe  ";
         a.search_box.debounce = at;
       },
       [](MapsApp const& a) { return a.search_box.debounce.has_value(); }, searching},
      {"map idle", [](MapsApp& a, base::Instant at) { a.map_idle_deadline = at; },
       [](MapsApp const& a) { return a.map_idle_deadline.has_value(); },
       std::string("Loading places") + ELLIPSIS},
      {"area search",
       [](MapsApp& a, base::Instant at) {
         a.offline_panel.open = true;
         a.offline_panel.query = " Innsbruck ";
         a.offline_panel.debounce = at;
       },
       [](MapsApp const& a) { return a.offline_panel.debounce.has_value(); }, "ready"},
      {"endpoint",
       [](MapsApp& a, base::Instant at) {
         a.endpoints.active = DEST_FIELD;
         a.model.dest_query = "Hauptbahnhof ";
         a.endpoints.debounce = at;
       },
       [](MapsApp const& a) { return a.endpoints.debounce.has_value(); }, searching},
  };
  for (bool const live : {true, false}) {
    for (auto const& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (live ? ", live" : ", offline"));
      app = make_app();
      app->live = live;
      tick_at(0ms);
      app->model.status = "ready";
      bool const busy = app->is_busy();
      c.arm(*app, t0 + 280ms);

      tick_at(279ms);
      EXPECT_TRUE(c.armed(*app));
      EXPECT_EQ(app->jobs_in_flight, 0u);
      EXPECT_EQ(app->model.status, "ready");

      tick_at(280ms);
      EXPECT_FALSE(c.armed(*app));
      EXPECT_EQ(app->jobs_in_flight, live ? 1u : 0u);
      EXPECT_EQ(app->model.status, live ? c.live_status : "ready");
      if (!live) {
        EXPECT_EQ(app->is_busy(), busy);
      }

      tick_at(10s);
      EXPECT_FALSE(c.armed(*app));
      EXPECT_EQ(app->jobs_in_flight, live ? 1u : 0u);
    }
  }
}

TEST_F(TickTest, BlankTextsStartNothingWhenTheirDebounceFires) {
  app->live = true;
  tick_at(0ms);
  app->model.query = " \t ";
  app->search_box.debounce = t0 + 280ms;
  app->offline_panel.query = "  ";
  app->offline_panel.debounce = t0 + 280ms;
  app->endpoints.active = ORIGIN_FIELD;
  app->model.origin_query = "   ";
  app->endpoints.debounce = t0 + 280ms;
  tick_at(280ms);
  EXPECT_EQ(app->jobs_in_flight, 0u);
  EXPECT_FALSE(app->search_box.debounce || app->offline_panel.debounce || app->endpoints.debounce);
}

// ---- Map idle ---------------------------------------------------------------------------------

TEST_F(TickTest, MapIdleWaitsForAUsableWindow) {
  tick_at(0ms);
  app->window_rect_ = zarn_ui::Rect{0, 0, 1, 800};
  app->map_idle_deadline = t0 + 450ms;
  tick_at(450ms);
  EXPECT_EQ(app->map_idle_deadline, t0 + 900ms);
  tick_at(899ms);
  EXPECT_EQ(app->map_idle_deadline, t0 + 900ms);
  tick_at(900ms);
  EXPECT_EQ(app->map_idle_deadline, t0 + 1350ms);
  EXPECT_FALSE(app->places_box);
  EXPECT_EQ(app->places_generation, 0u);
}

TEST_F(TickTest, MapIdleLoadsAGrownBoxOnlyWhenTheViewLeavesIt) {
  tick_at(0ms);
  app->map_idle_deadline = t0 + 450ms;
  auto const [s, w, n, e] = app->viewport_bounds();
  tick_at(450ms);
  ASSERT_TRUE(app->places_box);
  double const dlat = (n - s) * 0.25;
  double const dlon = (e - w) * 0.25;
  EXPECT_EQ(*app->places_box, (LatLonBox{s - dlat, w - dlon, n + dlat, e + dlon}));
  EXPECT_EQ(app->places_generation, 1u);

  // A small pan stays inside the box: no new request.
  auto const box = *app->places_box;
  app->pan(40, -30);
  tick_at(900ms);
  EXPECT_EQ(app->places_box, box);
  EXPECT_EQ(app->places_generation, 1u);

  // A pan of a whole window leaves it.
  app->pan(1280, 0);
  tick_at(1350ms);
  EXPECT_NE(app->places_box, box);
  EXPECT_EQ(app->places_generation, 2u);

  // Below street level the list and the box go, whatever the box held.
  app->nearby_pois = pois(4);
  app->model.zoom = 13.9;
  app->map_idle_deadline = t0 + 1400ms;
  tick_at(1400ms);
  EXPECT_TRUE(app->nearby_pois.empty());
  EXPECT_FALSE(app->places_box);
  EXPECT_FALSE(app->map_idle_deadline);
  EXPECT_EQ(app->places_generation, 2u);
}

// ---- Location ---------------------------------------------------------------------------------

TEST_F(TickTest, LocationAnswersEndTheRequestAndCompleteThePublishedAction) {
  std::string const NO_PORTAL = std::string(PORTAL_UNAVAILABLE) +
                                ": Failed to execute child process \"dbus-launch\" (No such file)";
  std::string const REFUSED_STATUS =
      "Location unavailable \xE2\x80\x94 turned off in this desktop's privacy settings";
  enum class Send { Fix, Error, NoPortal, Close, Nothing };
  struct Case {
    char const* name;
    Send send;
    bool pending;
    std::string status;
    std::optional<zarn_actions::ActionFailure> failure; // of the finished action
  } const cases[] = {
      {"fix", Send::Fix, true, "Located", std::nullopt},
      {"fix without a published request", Send::Fix, false, "Located", std::nullopt},
      // The pill and the action's outcome say what happened; the bus's words go to the log.
      {"refused", Send::Error, true, REFUSED_STATUS,
       zarn_actions::ActionFailure{"location_unavailable", REFUSED_STATUS}},
      {"no portal", Send::NoPortal, true,
       "Location unavailable \xE2\x80\x94 no location service on this desktop",
       zarn_actions::ActionFailure{
           "location_unavailable",
           "Location unavailable \xE2\x80\x94 no location service on this desktop"}},
      {"closed", Send::Close, true,
       "Location unavailable \xE2\x80\x94 the location service stopped answering",
       zarn_actions::ActionFailure{"location_channel_closed",
                                   "The location service disconnected before returning a fix"}},
      {"nothing yet", Send::Nothing, true, std::string("Locating") + ELLIPSIS, std::nullopt},
  };
  zarn_actions::RequestId const request{7, 7, 7};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    app = make_app();
    tick_at(0ms);
    auto [tx, rx] = base::channel<LocationResult>();
    app->location_rx = std::move(rx);
    app->locating = true;
    app->model.status = std::string("Locating") + ELLIPSIS;
    if (c.pending) {
      app->pending_request = request;
    }
    switch (c.send) {
    case Send::Fix:
      ASSERT_TRUE(tx.send(LocationFix{48.2, 11.6}));
      break;
    case Send::Error:
      ASSERT_TRUE(tx.send(
          base::fail("org.freedesktop.portal.Error.NotAllowed: Location services disabled")));
      break;
    case Send::NoPortal:
      ASSERT_TRUE(tx.send(base::fail(NO_PORTAL)));
      break;
    case Send::Close: {
      auto gone = std::move(tx);
    } break;
    case Send::Nothing:
      break;
    }
    tick_at(16ms);
    EXPECT_EQ(app->model.status, c.status);
    if (c.send == Send::Nothing) {
      EXPECT_TRUE(app->locating);
      EXPECT_TRUE(app->location_rx);
      EXPECT_FALSE(app->finished_action);
      continue;
    }
    EXPECT_FALSE(app->locating);
    EXPECT_FALSE(app->location_rx);
    // The request stays pending until the platform takes its outcome.
    EXPECT_EQ(app->pending_request.has_value(), c.pending);
    if (!c.pending) {
      EXPECT_FALSE(app->finished_action);
    } else {
      ASSERT_TRUE(app->finished_action);
      EXPECT_EQ(app->finished_action->request, request);
      if (c.failure) {
        ASSERT_FALSE(app->finished_action->result);
        EXPECT_EQ(app->finished_action->result.error(), *c.failure);
      } else {
        EXPECT_TRUE(app->finished_action->result);
      }
    }
    if (c.send == Send::Fix) {
      EXPECT_EQ(app->model.origin, (LatLon{48.2, 11.6}));
      EXPECT_EQ(app->model.origin_name, "Current location");
      EXPECT_EQ(app->model.center, (LatLon{48.2, 11.6}));
      EXPECT_EQ(app->jobs_in_flight, 0u); // no reverse lookup when offline
    }
  }
}

TEST_F(TickTest, LiveFixIsNamedByTheReverseLookupAndRoutesToTheDestination) {
  app->live = true;
  tick_at(0ms);
  app->model.dest = LatLon{48.15, 11.58};
  auto [tx, rx] = base::channel<LocationResult>();
  app->location_rx = std::move(rx);
  app->locating = true;
  ASSERT_TRUE(tx.send(LocationFix{48.13, 11.55}));
  tick_at(16ms);
  EXPECT_EQ(app->jobs_in_flight, 2u); // the reverse lookup and the road route
  EXPECT_EQ(app->model.status, std::string("Routing") + ELLIPSIS);
  ASSERT_TRUE(app->model.route);
  EXPECT_EQ(app->model.route->from, (LatLon{48.13, 11.55}));

  // The lookup's answer names the origin; an empty name or an error leaves it.
  ASSERT_TRUE(app->results_tx.send(result::ReverseGeocode{std::string("Sendlinger Tor")}));
  ASSERT_TRUE(app->results_tx.send(result::ReverseGeocode{std::string()}));
  ++app->jobs_in_flight;
  ASSERT_TRUE(app->results_tx.send(result::ReverseGeocode{base::fail("offline")}));
  ++app->jobs_in_flight;
  tick_at(32ms);
  EXPECT_EQ(app->model.origin_name, "Sendlinger Tor");
  // What the UI wrote lives on across ticks while the document's fields stay unchanged.
  tick_at(48ms);
  EXPECT_EQ(app->model.origin, (LatLon{48.13, 11.55}));
  EXPECT_EQ(app->model.origin_name, "Sendlinger Tor");
}

// ---- Route failure ------------------------------------------------------------------------------

TEST_F(TickTest, RouteFailureKeepsTheEstimateAcrossLaterTicks) {
  tick_at(0ms);
  app->model.dest = LatLon{48.16, 11.60};
  app->request_route(); // offline: the estimate only
  ASSERT_TRUE(app->model.route);
  Route const estimate = *app->model.route;
  deliver(result::Route{base::fail("HTTP 500")});
  tick_at(16ms);
  EXPECT_EQ(app->model.status, "Routing failed (offline estimate shown): HTTP 500");
  for (auto const at : {32ms, 48ms, 64ms}) {
    tick_at(at);
    ASSERT_TRUE(app->model.route);
    EXPECT_EQ(*app->model.route, estimate);
  }
  // A change from outside to another field leaves it too.
  ASSERT_TRUE(apply_action_to_doc(MapsAction{MapsAction::CommitSearch{"Odeonsplatz"}}, doc));
  tick_at(80ms);
  EXPECT_EQ(app->model.recents, std::vector<std::string>{"Odeonsplatz"});
  ASSERT_TRUE(app->model.route);
  EXPECT_EQ(*app->model.route, estimate);
  EXPECT_FALSE(stored()->route);
}

TEST_F(TickTest, RouteAnswerIsStoredAndAnnounced) {
  tick_at(0ms);
  app->model.origin = LatLon{48.13, 11.55};
  app->model.origin_name = "Start";
  app->model.dest = LatLon{48.16, 11.60};
  app->model.dest_name = "Ziel";
  Route road = estimate_route(48.13, 11.55, 48.16, 11.60, TravelMode::Car);
  road.distance_m = 4321.0;
  deliver(result::Route{road});
  tick_at(16ms);
  EXPECT_EQ(app->model.status, "Route updated");
  ASSERT_TRUE(stored() && stored()->route);
  EXPECT_EQ(stored()->route->distance_m, 4321.0);
  EXPECT_EQ(stored()->dest_name, "Ziel");
  ASSERT_TRUE(app->model.route);
  EXPECT_EQ(app->model.route->distance_m, 4321.0);
}

// ---- Document ---------------------------------------------------------------------------------

TEST_F(TickTest, FirstTickSeedsAnEmptyDocumentOrLoadsAFilledOne) {
  MapModel saved = default_map_model();
  saved.places = {place("stored", "Stored place", 48.14, 11.57)};
  saved.recents = {"Stachus"};
  saved.mode = TravelMode::Foot;
  struct Case {
    char const* name;
    bool filled;
  } const cases[] = {{"empty document", false}, {"filled document", true}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    doc = Document{zarn_ui::doc::Bytes(16, 1)};
    if (c.filled) {
      save_model_to_doc(doc, saved);
    }
    auto const heads = doc.heads();
    app = make_app();
    app->model.places = {place("live", "Live place", 48.12, 11.56)};
    app->model.query = "typed";
    EXPECT_TRUE(app->is_busy());
    tick_at(0ms);
    EXPECT_TRUE(app->doc_loaded);
    ASSERT_TRUE(stored());
    if (c.filled) {
      EXPECT_EQ(doc.heads(), heads) << "loading writes nothing";
      EXPECT_EQ(app->model.places, saved.places);
      EXPECT_EQ(app->model.recents, saved.recents);
      EXPECT_EQ(app->model.mode, TravelMode::Foot);
    } else {
      EXPECT_EQ(stored()->places, app->model.places);
      EXPECT_EQ(ids(app->model.places), std::vector<std::string>{"live"});
    }
    EXPECT_EQ(app->model.query, "typed");
    EXPECT_FALSE(app->is_busy());
  }
}

TEST_F(TickTest, ActionFromOutsideIsTakenOverAtTheNextTickAndOnlyItsFields) {
  tick_at(0ms);
  // The UI picks an origin in the editor: live only.
  app->endpoint_query_changed(
      EndpointEvent{EndpointEvent::Picked{place("pick", "Isartor", 48.1352, 11.5820), false}});
  ASSERT_EQ(app->model.origin, (LatLon{48.1352, 11.5820}));

  std::string const payload = R"({"SetTravelMode":{"mode":"Bike"}})";
  auto decoded =
      decode_maps_action({reinterpret_cast<std::uint8_t const*>(payload.data()), payload.size()});
  ASSERT_TRUE(decoded);
  ASSERT_TRUE((*decoded)->apply_action_to_doc(doc));
  EXPECT_EQ(app->model.mode, TravelMode::Car) << "nothing changes before the tick";
  tick_at(16ms);
  EXPECT_EQ(app->model.mode, TravelMode::Bike);
  EXPECT_EQ(app->model.origin, (LatLon{48.1352, 11.5820}));
  EXPECT_EQ(app->model.origin_name, "Isartor");
}

// ---- Endpoint editor events -------------------------------------------------------------------

TEST_F(TickTest, PickedAndSwappedEndpointsPlanARoute) {
  tick_at(0ms);
  app->model.origin = LatLon{48.1351, 11.5661};
  app->model.origin_name = "Stachus";
  app->model.dest_query = "isar";
  Place const isartor = place("isartor", "Isartor", 48.1352, 11.5820);
  app->endpoint_query_changed(EndpointEvent{EndpointEvent::Picked{isartor, true}});
  EXPECT_EQ(app->model.dest, isartor.pos);
  EXPECT_EQ(app->model.dest_name, "Isartor");
  EXPECT_EQ(app->model.selected, "isartor");
  EXPECT_EQ(app->model.dest_query, "");
  ASSERT_NE(find_place(app->model, "isartor"), nullptr);
  ASSERT_TRUE(app->model.route);
  EXPECT_EQ(app->model.route->to, isartor.pos);
  EXPECT_EQ(app->model.route->from, (LatLon{48.1351, 11.5661}));

  LatLon const start = *app->model.origin;
  app->endpoint_query_changed(EndpointEvent{EndpointEvent::Swap{}});
  EXPECT_EQ(app->model.origin, isartor.pos);
  EXPECT_EQ(app->model.dest, start);
  EXPECT_EQ(app->model.origin_name, "Isartor");
  EXPECT_EQ(app->model.dest_name, "Stachus");
  EXPECT_EQ(app->model.route->from, isartor.pos);

  // Without both ends a swap does nothing.
  app->model.dest.reset();
  app->endpoint_query_changed(EndpointEvent{EndpointEvent::Swap{}});
  EXPECT_EQ(app->model.origin, isartor.pos);
}

TEST_F(TickTest, PickedDestinationWithoutOriginStartsWhereTheMapWas) {
  tick_at(0ms);
  LatLon const centre = app->model.center;
  Place const isartor = place("isartor", "Isartor", 48.1352, 11.5820);
  for (TravelMode const mode : {TravelMode::Car, TravelMode::Transit}) {
    SCOPED_TRACE(static_cast<int>(mode));
    app->model.origin.reset();
    app->model.center = centre;
    app->model.mode = mode;
    app->endpoint_query_changed(EndpointEvent{EndpointEvent::Picked{isartor, true}});
    EXPECT_EQ(app->model.origin, centre);
    EXPECT_EQ(app->model.origin_name, "Map centre");
    if (mode == TravelMode::Car) {
      ASSERT_TRUE(app->model.route);
      EXPECT_EQ(app->model.route->from, centre);
      EXPECT_EQ(app->model.route->to, isartor.pos);
    }
  }
}

TEST_F(TickTest, EditedEndpointTextSuggestsKnownPlacesAtOnce) {
  tick_at(0ms);
  app->model.places = {place("a", "Viktualienmarkt", 48.135, 11.576),
                       place("b", "Odeonsplatz", 48.142, 11.577)};
  app->endpoint_query_changed(EndpointEvent{EndpointEvent::Edited{"viktu", false}});
  EXPECT_EQ(app->model.origin_query, "viktu");
  EXPECT_EQ(ids(app->endpoints.origin_suggestions), std::vector<std::string>{"a"});
  EXPECT_TRUE(app->endpoints.dest_suggestions.empty());
  EXPECT_EQ(app->jobs_in_flight, 0u);
}

// ---- Offline areas ------------------------------------------------------------------------------

TEST_F(TickTest, AreaAnswersAreDroppedUnlessThePanelStillAsksForThem) {
  std::vector<AreaHit> const hits{
      {"Innsbruck", "Innsbruck", {47.26, 11.39}, {47.2, 11.3}, {47.3, 11.5}},
      {"Innsbruck-Land", "Innsbruck-Land", {47.2, 11.3}, {47.0, 11.0}, {47.4, 11.6}}};
  AreaHit const old{"Old", "Old", {}, {}, {}};
  struct Case {
    char const* name;
    bool open;
    std::string panel_query;
    base::Result<std::vector<AreaHit>> answer;
    std::size_t hits; // afterwards
    bool applied;
  } const cases[] = {
      {"panel closed", false, "Innsbruck", hits, 1, false},
      {"query changed", true, "Salzburg", hits, 1, false},
      {"same text, other blanks", true, "  Innsbruck ", hits, 2, true},
      {"error", true, "Innsbruck", base::fail("HTTP 500"), 0, true},
  };
  tick_at(0ms);
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    app->offline_panel.open = c.open;
    app->offline_panel.query = c.panel_query;
    app->offline_panel.hits = {old};
    app->offline_panel.search.set_suggestions({{"Old", "Old", std::nullopt, std::nullopt}});
    deliver(result::AreaSearch{c.answer, "Innsbruck  "});
    tick_at(16ms);
    EXPECT_EQ(app->jobs_in_flight, 0u);
    EXPECT_EQ(app->offline_panel.hits.size(), c.hits);
    if (c.applied) {
      EXPECT_EQ(app->offline_panel.search.suggestions().size(), c.hits);
      EXPECT_TRUE(app->offline_panel.search.is_open());
    } else {
      EXPECT_EQ(app->offline_panel.hits.front(), old);
      EXPECT_EQ(app->offline_panel.search.suggestions().size(), 1u);
    }
  }
}

TEST_F(TickTest, AnswersLeaveTheProgressOfARunningDownload) {
  std::string const downloading = std::string("Downloading 12 tiles for offline use") + ELLIPSIS;
  struct Case {
    char const* name;
    std::string status;
    std::uint32_t done; // of 12 tiles
    bool kept;
  } const cases[] = {
      {"download running", downloading, 3, true},
      // Complete but not yet announced: the tile step of the same tick replaces the text.
      {"download just complete", downloading, 12, true},
      {"other progress during a download", std::string("Searching") + ELLIPSIS, 3, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    app->tiles.offline_total = 12;
    app->tiles.offline_done = c.done;
    app->model.status = c.status;
    deliver(result::ReverseGeocode{base::fail("offline")});
    app->tick_doc(doc);
    EXPECT_EQ(app->jobs_in_flight, 0u);
    if (c.done == 12) {
      EXPECT_EQ(app->model.status, "Offline area ready (12 tiles)");
    } else {
      EXPECT_EQ(app->model.status, c.kept ? c.status : std::string());
    }
  }

  // Once announced, a later answer clears a stale download text like any other progress text.
  app->tiles.offline_done = 12;
  app->tick_doc(doc);
  app->model.status = downloading;
  deliver(result::ReverseGeocode{base::fail("offline")});
  app->tick_doc(doc);
  EXPECT_EQ(app->model.status, "");
}

TEST_F(TickTest, OfflineDownloadWithoutAWorkerIsAnnouncedOnce) {
  namespace fs = std::filesystem;
  fs::path const dir =
      fs::path(testing::TempDir()) / ("maps-tick-download-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  app = make_app(tile_cache_without_worker(dir));
  tick_at(0ms);
  EXPECT_EQ(app->offline_panel.cache_bytes, 0u);
  fs::create_directories(dir / "14");
  std::ofstream(dir / "14" / "tile.png", std::ios::binary) << std::string(1000, 'x');

  app->model.status = std::string("Downloading Altstadt") + ELLIPSIS;
  std::uint32_t const n = app->tiles.download_area({48.13, 11.56, 48.14, 11.58}, 13, 14);
  ASSERT_GT(n, 0u);
  tick_at(16ms);
  EXPECT_EQ(app->model.status, fmt::format("Offline area ready ({} tiles)", n));
  test::await_disk_usage(app->tiles); // measured off the UI thread, taken by the next tick
  tick_at(32ms);
  EXPECT_EQ(app->offline_panel.cache_bytes, 1000u);
  EXPECT_FALSE(app->is_busy());

  // Counters that did not move announce nothing again.
  app->model.status = std::string("Downloading") + ELLIPSIS;
  tick_at(32ms);
  EXPECT_EQ(app->model.status, std::string("Downloading") + ELLIPSIS);

  // The same area again is another download; an unrelated status text stays.
  app->model.status = "Route updated";
  EXPECT_EQ(app->tiles.download_area({48.13, 11.56, 48.14, 11.58}, 13, 14), n);
  tick_at(48ms);
  EXPECT_EQ(app->model.status, "Route updated");
  fs::remove_all(dir);
}

// ---- The saved document ---------------------------------------------------------------------

TEST_F(TickTest, SavedPlacesThatCouldNotBeOpenedAreAnnouncedOnTheStatusLine) {
  namespace fs = std::filesystem;
  fs::path const dir =
      fs::path(testing::TempDir()) / ("maps-tick-doc-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "document.bin", std::ios::binary) << "not a document";
  zarn_ui::persist::Options options{dir, [] { return std::int64_t{1700000000}; }, {}, {}};
  zarn_ui::State state(zarn_ui::persist::Persistence::open_at(options));
  app->tick(state);
  auto const kept = (dir / "document.bin.corrupt-1700000000").string();
  EXPECT_EQ(app->model.status, "Could not open your saved places: document is truncated "
                               "\xE2\x80\x94 a fresh start was made; the old file is kept as " +
                                   kept);
  // Said once: the user's next status is not overwritten.
  app->model.status = "Route updated";
  app->tick(state);
  EXPECT_EQ(app->model.status, "Route updated");
  fs::remove_all(dir);
}

} // namespace
} // namespace maps
