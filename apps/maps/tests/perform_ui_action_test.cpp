#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>

#include "app/maps_app.h"
#include "doc/save.h"
#include "input/perform_ui_action.h"
#include "model/ops.h"
#include "platform/launch/state.h"
#include "sample/sample_data.h"

namespace maps {
namespace {

class PerformUiAction : public ::testing::Test {
protected:
  PerformUiAction()
      : app(build_maps_app(demo_scenario(), sample_road_network(), offline_tile_cache(), false,
                           false)),
        state(zarn_ui::State::in_memory()) {
    app.window_rect_ = zarn_ui::Rect{0, 0, 1280, 800};
    app.map_rect = app.window_rect_;
    save_model_to_doc(state->document(), app.model);
  }

  void perform(UiAction action) { perform_ui_action(app, *state, std::move(action)); }
  std::vector<zarn_ui::doc::ChangeHash> heads() { return state->document().heads(); }

  MapsApp app;
  std::unique_ptr<zarn_ui::State> state;
};

TEST_F(PerformUiAction, FieldEffectsOfEachVariant) {
  Poi const poi = sample_pois().front();
  struct Case {
    char const* name;
    UiAction action;
    std::function<void(MapsApp&)> setup;
    std::function<void(MapsApp const&)> check;
  } const cases[] = {
      {"none", UiAction::None{}, [](MapsApp&) {},
       [](MapsApp const& a) { EXPECT_EQ(a.model, demo_scenario()); }},
      {"field", UiAction::Search{SearchItem::field()},
       [](MapsApp& a) { a.search_box.editing = false; },
       [](MapsApp const& a) { EXPECT_TRUE(a.search_box.editing); }},
      {"inert", UiAction::Search{SearchItem::inert()},
       [](MapsApp& a) { a.search_box.editing = false; },
       [](MapsApp const& a) { EXPECT_FALSE(a.search_box.editing); }},
      {"collapse", UiAction::TogglePanelCollapse{}, [](MapsApp& a) { a.panel_collapsed = false; },
       [](MapsApp const& a) { EXPECT_TRUE(a.panel_collapsed); }},
      {"back", UiAction::BackToPlaces{},
       [](MapsApp& a) {
         a.model.panel = Panel::Directions;
         a.panel_scroll[0] = 120.0;
         edit_endpoint(a.endpoints, ORIGIN_FIELD);
       },
       [](MapsApp const& a) {
         EXPECT_EQ(a.model.panel, Panel::Explore);
         EXPECT_EQ(a.panel_scroll[0], 0.0);
         EXPECT_EQ(a.endpoints.active, NO_FIELD);
       }},
      {"toggle navigation", UiAction::ToggleNavigation{}, [](MapsApp& a) { a.nav_open = true; },
       [](MapsApp const& a) { EXPECT_FALSE(a.nav_open); }},
      {"close navigation", UiAction::CloseNavigation{}, [](MapsApp& a) { a.nav_open = true; },
       [](MapsApp const& a) { EXPECT_FALSE(a.nav_open); }},
      {"close poi", UiAction::ClosePoi{}, [](MapsApp& a) { a.selected_poi = "osm-node-203"; },
       [](MapsApp const& a) { EXPECT_FALSE(a.selected_poi); }},
      {"open nearby poi", UiAction::OpenPoi{poi.id},
       [](MapsApp& a) {
         a.nearby_pois = sample_pois();
         a.nav_open = false;
       },
       [poi](MapsApp const& a) {
         EXPECT_EQ(a.selected_poi, poi.id);
         EXPECT_EQ(a.model.center, poi.pos);
         EXPECT_TRUE(a.nav_open);
       }},
      {"open poi no longer nearby", UiAction::OpenPoi{poi.id},
       [](MapsApp& a) {
         a.nearby_pois.clear();
         a.nav_open = false;
       },
       [](MapsApp const& a) {
         EXPECT_FALSE(a.selected_poi);
         EXPECT_EQ(a.model.center, demo_scenario().center);
         EXPECT_FALSE(a.nav_open);
       }},
      {"journey past the end", UiAction::SelectJourney{7}, [](MapsApp&) {},
       [](MapsApp const& a) { EXPECT_EQ(a.model.transit_choice, 7u); }},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    MapsApp fresh =
        build_maps_app(demo_scenario(), sample_road_network(), offline_tile_cache(), false, false);
    fresh.window_rect_ = app.window_rect_;
    c.setup(fresh);
    perform_ui_action(fresh, *state, c.action);
    c.check(fresh);
  }
}

TEST_F(PerformUiAction, TransitTimeStepsClampAndKeepTheOtherHalf) {
  struct Case {
    TransitTime before;
    UiAction action;
    TransitTime after;
  } const cases[] = {
      {{TransitTimeMode::Depart, 0}, UiAction::TransitTimeDelta{-15}, {TransitTimeMode::Depart, 0}},
      {{TransitTimeMode::Depart, 1440},
       UiAction::TransitTimeDelta{15},
       {TransitTimeMode::Depart, 1440}},
      {{TransitTimeMode::Arrive, 1430},
       UiAction::TransitTimeDelta{15},
       {TransitTimeMode::Arrive, 1440}},
      {{TransitTimeMode::Depart, 30},
       UiAction::TransitTimeDelta{-15},
       {TransitTimeMode::Depart, 15}},
      // Deltas that would overflow a 32-bit sum still clamp.
      {{TransitTimeMode::Depart, 1440},
       UiAction::TransitTimeDelta{INT32_MAX},
       {TransitTimeMode::Depart, 1440}},
      {{TransitTimeMode::Depart, 15},
       UiAction::TransitTimeDelta{INT32_MIN},
       {TransitTimeMode::Depart, 0}},
      {{TransitTimeMode::Depart, 60},
       UiAction::TransitTimeMode{true},
       {TransitTimeMode::Arrive, 60}},
      {{TransitTimeMode::Arrive, 60},
       UiAction::TransitTimeMode{false},
       {TransitTimeMode::Depart, 60}},
      {{TransitTimeMode::Arrive, 90}, UiAction::LeaveNow{}, {TransitTimeMode::Depart, 0}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "tag " << int{c.action.tag()} << " from " << c.before.offset_min);
    app.dispatch_maps_action(state->document(), MapsAction{MapsAction::SetTransitTime{c.before}});
    ASSERT_EQ(app.model.transit_time, c.before);
    perform(c.action);
    EXPECT_EQ(app.model.transit_time, c.after);
  }
}

TEST_F(PerformUiAction, CurrentModeTabPostsNothingAndStartsNoRequest) {
  app.model.panel = Panel::Explore;
  auto const before_heads = heads();
  auto const before_model = app.model;
  perform(UiAction::TravelMode{app.model.mode});
  EXPECT_EQ(heads(), before_heads);
  EXPECT_EQ(app.model, before_model);
  EXPECT_EQ(app.jobs_in_flight, 0u);
}

TEST_F(PerformUiAction, OtherModeTabIsStoredAndOpensDirections) {
  TravelMode const other = app.model.mode == TravelMode::Foot ? TravelMode::Car : TravelMode::Foot;
  app.model.panel = Panel::Explore;
  auto const before_heads = heads();
  perform(UiAction::TravelMode{other});
  EXPECT_NE(heads(), before_heads);
  EXPECT_EQ(app.model.mode, other);
  EXPECT_EQ(app.model.panel, Panel::Directions);
}

TEST_F(PerformUiAction, OverflowOpensAboveLeftOfTheButtonAndClosesOnTheSecondPress) {
  perform(UiAction::Overflow{});
  ASSERT_TRUE(app.overflow_menu.is_open());
  auto const r = app.overflow_menu.rect();
  EXPECT_GT(r.width(), 0.0);
  EXPECT_GT(r.height(), 0.0);
  EXPECT_NEAR(r.x1, 1280.0 - 16.0, 1e-3);
  EXPECT_NEAR(r.y1, 800.0 - 46.0 - 6.0, 1e-3);
  perform(UiAction::Overflow{});
  EXPECT_FALSE(app.overflow_menu.is_open());
}

TEST_F(PerformUiAction, ClearingTheSearchLeavesTheDocumentAlone) {
  auto const places = app.local_matches("caf");
  ASSERT_FALSE(places.empty());
  app.model.query = "caf";
  app.model.results = places;
  set_search_suggestions(app.search_box, places);
  app.search_box.highlighted = 0;
  auto const before_heads = heads();
  auto const recents = app.model.recents;
  auto const saved = app.model.places;
  perform(UiAction::Search{SearchItem::clear()});
  EXPECT_TRUE(app.model.query.empty());
  EXPECT_TRUE(app.model.results.empty());
  EXPECT_TRUE(app.search_box.suggestions.empty());
  EXPECT_FALSE(app.search_box.highlighted);
  EXPECT_EQ(heads(), before_heads);
  EXPECT_EQ(app.model.recents, recents);
  EXPECT_EQ(app.model.places, saved);
}

TEST_F(PerformUiAction, ChoosingASuggestionStoresSearchesAndOpensIt) {
  Place const found =
      new_place("osm-node-77", "Kiosk am Turm", PlaceCategory::Cafe, 48.14, 11.58, "");
  ASSERT_FALSE(find_place(app.model, found.id));
  set_search_suggestions(app.search_box, {found});
  app.search_box.editing = true;

  perform(UiAction::Search{SearchItem::result(3)}); // stale row: nothing
  EXPECT_TRUE(app.search_box.editing);
  EXPECT_FALSE(find_place(app.model, found.id));

  perform(UiAction::Search{SearchItem::result(0)});
  EXPECT_FALSE(app.search_box.editing);
  EXPECT_TRUE(app.search_box.suggestions.empty());
  EXPECT_TRUE(find_place(app.model, found.id));
  EXPECT_EQ(app.model.query, found.name);
  ASSERT_FALSE(app.model.recents.empty());
  EXPECT_EQ(app.model.recents.front(), found.name);
  EXPECT_EQ(app.model.selected, found.id);
}

TEST_F(PerformUiAction, HistoryAndRouteActionsReachTheDocument) {
  perform(UiAction::SearchAgain{"hofg"});
  EXPECT_EQ(app.model.query, "hofg");
  ASSERT_FALSE(app.model.recents.empty());
  EXPECT_EQ(app.model.recents.front(), "hofg");
  Place const* hofgarten = find_place(app.model, "hofgarten");
  ASSERT_TRUE(hofgarten);
  EXPECT_EQ(app.model.selected, hofgarten->id);

  perform(UiAction::ClearRecents{});
  EXPECT_TRUE(app.model.recents.empty());

  app.model.dest = LatLon{48.15, 11.59};
  app.request_route();
  ASSERT_TRUE(app.model.route);
  perform(UiAction::ClearRoute{});
  EXPECT_FALSE(app.model.route);
}

} // namespace
} // namespace maps
