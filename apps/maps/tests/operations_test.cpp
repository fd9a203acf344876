#include <gtest/gtest.h>

#include "app/maps_app.h"
#include "doc/load.h"
#include "model/ops.h"
#include "platform/doc/document.h"
#include "sample/sample_data.h"

namespace maps {
namespace {

MapsApp demo(bool live = false) {
  MapsApp app =
      build_maps_app(demo_scenario(), sample_road_network(), offline_tile_cache(), false, live);
  app.window_rect_ = zarn_ui::Rect{0, 0, 1280, 800};
  return app;
}

TEST(Operations, BlankSearchDoesNothingNotEvenHistory) {
  MapsApp app = demo();
  app.model.query = "   ";
  auto const before = app.model.recents;
  zarn_ui::doc::Document doc;
  app.submit_search(&doc);
  EXPECT_EQ(app.model.recents, before);
  EXPECT_FALSE(load_model_from_doc(doc));
}

TEST(Operations, SubmittingPartOfASavedNameSelectsItAtOnce) {
  MapsApp app = demo();
  Place const* hofgarten = find_place(app.model, "hofgarten");
  ASSERT_TRUE(hofgarten && hofgarten->saved);
  Place const target = *hofgarten;
  app.model.query = " hofg ";
  app.search_box.editing = true;
  app.submit_search(nullptr);
  EXPECT_EQ(app.model.selected, target.id);
  EXPECT_EQ(app.model.center, target.pos);
  EXPECT_EQ(app.model.recents.front(), "hofg");
  EXPECT_EQ(app.model.panel, Panel::Explore);
  EXPECT_EQ(app.jobs_in_flight, 0u);
  EXPECT_TRUE(app.model.status.empty());
}

TEST(Operations, OfflineRouteShowsTheEstimateWithoutAJob) {
  MapsApp app = demo();
  app.model.route.reset();
  app.model.status = "kept";
  app.model.dest = LatLon{48.15, 11.59};
  app.request_route();
  ASSERT_TRUE(app.model.route);
  EXPECT_EQ(app.model.route->to, (LatLon{48.15, 11.59}));
  EXPECT_EQ(app.model.status, "kept");
  EXPECT_EQ(app.jobs_in_flight, 0u);
  EXPECT_TRUE(app.nav_open);
}

TEST(Operations, TransitQueryTimes) {
  MapsApp app = demo();
  struct Case {
    TransitTime time;
    std::optional<std::string> sent;
    bool arrive_by;
  } const cases[] = {
      {{TransitTimeMode::Depart, 0}, std::nullopt, false},
      {{TransitTimeMode::Depart, 15}, "2026-06-15T09:15:00+02:00", false},
      {{TransitTimeMode::Arrive, 0}, "2026-06-15T09:00:00+02:00", true},
      {{TransitTimeMode::Arrive, 1440}, "2026-06-16T09:00:00+02:00", true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.time.offset_min);
    app.model.transit_time = c.time;
    auto const q = app.transit_query();
    EXPECT_EQ(q.time, c.sent);
    EXPECT_EQ(q.arrive_by, c.arrive_by);
  }
}

TEST(Operations, OpeningTheSelectedPlaceAgainKeepsTheJourneys) {
  MapsApp app = demo();
  ASSERT_FALSE(app.model.transit.empty());
  std::string const id = app.model.places.front().id;
  app.model.selected = id;
  app.open_place(id);
  EXPECT_FALSE(app.model.transit.empty());
  app.open_place(app.model.places.back().id);
  EXPECT_TRUE(app.model.transit.empty());
  EXPECT_EQ(app.model.dest, app.model.places.back().pos);
}

TEST(Operations, DirectionsToAnOpenedPlaceStartWhereTheMapWas) {
  MapsApp app = demo();
  app.model.origin.reset();
  app.model.route.reset();
  LatLon const before = app.model.center;
  Place const* target = find_place(app.model, "hauptbahnhof");
  ASSERT_TRUE(target);
  app.open_place(target->id);
  app.open_directions();
  ASSERT_TRUE(app.model.route);
  EXPECT_EQ(app.model.origin, before);
  EXPECT_EQ(app.model.origin_name, "Map centre");
  EXPECT_GT(app.model.route->distance_m, 100.0);
}

TEST(Operations, ToggleSavedWithoutSelectionDoesNothing) {
  MapsApp app = demo();
  app.model.selected.reset();
  zarn_ui::doc::Document doc;
  app.toggle_saved_place(doc);
  EXPECT_FALSE(app.actions.last_action);
}

TEST(Operations, TrafficOnAnEmptyNetworkShowsNoSegments) {
  MapsApp app =
      build_maps_app(default_map_model(), StreetNetwork{}, offline_tile_cache(), false, false);
  app.set_traffic(true);
  EXPECT_TRUE(app.traffic_on);
  EXPECT_TRUE(app.traffic.segments.empty());
  MapsApp demo_app = demo();
  demo_app.set_traffic(true);
  EXPECT_FALSE(demo_app.traffic.segments.empty());
}

TEST(Operations, LocatingTwiceStartsOneRequest) {
  MapsApp app = demo(true);
  app.location_config.bus_address = "unix:path=/nonexistent/bus";
  app.start_locating();
  ASSERT_TRUE(app.locating);
  ASSERT_TRUE(app.location_rx);
  auto* first = &*app.location_rx;
  app.start_locating();
  EXPECT_EQ(&*app.location_rx, first);
  EXPECT_EQ(app.model.status, "Locating\xE2\x80\xA6");
  MapsApp offline = demo(false);
  offline.start_locating();
  EXPECT_FALSE(offline.locating);
}

TEST(Operations, LocalSuggestionsMatchNamesCategoriesAndNearbyPoints) {
  MapsApp app = demo();
  app.nearby_pois = sample_pois();
  auto const coffee = app.local_suggestions("coffee");
  ASSERT_FALSE(coffee.empty());
  for (auto const& p : coffee) {
    EXPECT_EQ(p.category, PlaceCategory::Cafe) << p.name;
    EXPECT_FALSE(p.saved && p.id.starts_with("osm-"));
  }
  EXPECT_TRUE(app.local_suggestions("  ").empty());
}

} // namespace
} // namespace maps
