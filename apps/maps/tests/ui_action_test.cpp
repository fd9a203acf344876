#include <gtest/gtest.h>

#include <limits>

#include "app/maps_app.h"
#include "input/control_specs.h"
#include "model/types.h"
#include "tiles/tile_cache.h"
#include "ui/ui_action.h"

namespace maps {
namespace {

using A = UiAction;

Place place(std::string id, std::string name, bool saved = false) {
  Place p;
  p.id = std::move(id);
  p.name = std::move(name);
  p.saved = saved;
  return p;
}

class UiActionSpec : public ::testing::Test {
protected:
  UiActionSpec()
      : app(build_maps_app(default_map_model(), StreetNetwork{}, offline_tile_cache(), false,
                           false)) {
    app.model.places = {place("p1", "Marienplatz"), place("p2", "Viktualienmarkt", true)};
    app.search_box.suggestions = {place("s1", "Odeonsplatz")};
    Poi poi;
    poi.id = "osm-node-7";
    poi.name = "Café Frischhut";
    app.nearby_pois = {poi};
  }
  MapsApp app;
};

TEST_F(UiActionSpec, EveryVariantHasItsLabelIdRoleAndState) {
  app.model.mode = TravelMode::Bike;
  app.model.transit_choice = 1;
  app.model.transit_time.mode = TransitTimeMode::Arrive;
  app.model.selected = "p2";

  struct Case {
    UiAction action;
    char const* label; // nullptr: no spec
    char const* id;
    std::uint8_t role;
    std::uint8_t state;
  } const cases[] = {
      {A::None{}, nullptr, nullptr, 0, 0},
      {A::Search{SearchItem::field()}, "Search places", "maps.search", 25, 2},
      {A::Search{SearchItem::clear()}, "Clear search", "maps.search.clear", 17, 2},
      {A::Search{SearchItem::result(0)}, "Open Odeonsplatz", "maps.search-result:s1", 17, 2},
      {A::Search{SearchItem::result(1)}, "Search result 2", "maps.search-result:1", 17, 2},
      {A::Search{SearchItem::inert()}, nullptr, nullptr, 0, 0},
      {A::TogglePanelCollapse{}, "Collapse panel", "maps.panel-collapse", 18, 0},
      {A::BackToPlaces{}, "Back to places", "maps.panel.back", 17, 2},
      {A::TravelMode{TravelMode::Car}, "Travel by Drive", "maps.mode:drive", 20, 0},
      {A::TravelMode{TravelMode::Transit}, "Travel by Transit", "maps.mode:transit", 20, 0},
      {A::TravelMode{TravelMode::Bike}, "Travel by Cycle", "maps.mode:cycle", 20, 1},
      {A::TravelMode{TravelMode::Foot}, "Travel by Walk", "maps.mode:walk", 20, 0},
      {A::OpenSavedPlace{"p1"}, "Open Marienplatz", "maps.place:p1", 17, 2},
      {A::OpenSavedPlace{"gone"}, "Open place", "maps.place:gone", 17, 2},
      {A::OpenPoi{"osm-node-7"}, "Open Café Frischhut", "maps.poi:osm-node-7", 17, 2},
      {A::OpenPoi{"osm-node-8"}, "Open nearby place", "maps.poi:osm-node-8", 17, 2},
      {A::ClosePoi{}, "Close place details", "maps.poi.close", 17, 2},
      {A::PoiDirections{}, "Directions to this place", "maps.poi.directions", 17, 2},
      {A::SearchAgain{"coffee"}, "Search again for coffee", "maps.recent:coffee", 17, 2},
      {A::ClearRecents{}, "Clear search history", "maps.recent.clear", 17, 2},
      {A::ToggleNavigation{}, "Map navigation", "maps.navigation", 18, 0},
      {A::CloseNavigation{}, nullptr, nullptr, 0, 0},
      {A::Directions{}, "Directions", "maps.directions", 17, 2},
      {A::Transit{}, "Transit", "maps.transit", 17, 2},
      {A::ToggleSaved{}, "Save or unsave place", "maps.save", 18, 1},
      {A::ClearRoute{}, "Clear route", "maps.route.clear", 17, 2},
      {A::UseMyLocation{}, "Use my location", "maps.location", 17, 2},
      {A::TransitTimeMode{true}, "Arrive by", "maps.transit-time:arrive", 20, 1},
      {A::TransitTimeMode{false}, "Leave at", "maps.transit-time:depart", 20, 0},
      {A::TransitTimeDelta{-15}, "Earlier", "maps.transit-time:delta:-15", 17, 2},
      {A::TransitTimeDelta{15}, "Later", "maps.transit-time:delta:15", 17, 2},
      {A::TransitTimeDelta{0}, "Later", "maps.transit-time:delta:0", 17, 2},
      {A::LeaveNow{}, "Leave now", "maps.transit-time:now", 17, 2},
      {A::SelectJourney{1}, "Journey option 2", "maps.journey:1", 20, 1},
      {A::SelectJourney{3}, "Journey option 4", "maps.journey:3", 20, 0},
      {A::Overflow{}, "More map options", "maps.overflow", 18, 0},
  };
  bool seen[23] = {};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.id ? c.id : "no spec");
    seen[c.action.tag()] = true;
    auto const spec = ui_action_spec(app, c.action);
    if (c.label == nullptr) {
      EXPECT_FALSE(spec.has_value());
      continue;
    }
    ASSERT_TRUE(spec.has_value());
    EXPECT_EQ(spec->label, c.label);
    EXPECT_EQ(spec->id, c.id);
    EXPECT_EQ(spec->role, c.role);
    EXPECT_EQ(spec->state, c.state);
    EXPECT_EQ(spec->rect, zarn_ui::Rect{});
    EXPECT_EQ(spec->attributes, SemanticAttributes{});
  }
  for (std::size_t tag = 0; tag < 23; ++tag) {
    EXPECT_TRUE(seen[tag]) << "variant " << tag << " has no row";
  }
}

TEST_F(UiActionSpec, StatesFollowTheApplication) {
  app.panel_collapsed = true;
  app.nav_open = true;
  app.overflow_menu.open_at(1200.0f, 600.0f);
  app.model.transit_time.mode = TransitTimeMode::Depart;
  app.model.selected = "p1"; // stored, not saved

  struct Case {
    UiAction action;
    char const* label;
    std::uint8_t state;
  } const cases[] = {
      // A toggle's name stays as it turns; only its state follows.
      {A::TogglePanelCollapse{}, "Collapse panel", 1},
      {A::ToggleNavigation{}, "Map navigation", 1},
      {A::Overflow{}, "More map options", 1},
      {A::TransitTimeMode{true}, "Arrive by", 0},
      {A::TransitTimeMode{false}, "Leave at", 1},
      {A::ToggleSaved{}, "Save or unsave place", 0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.label);
    auto const spec = ui_action_spec(app, c.action);
    ASSERT_TRUE(spec.has_value());
    EXPECT_EQ(spec->label, c.label);
    EXPECT_EQ(spec->state, c.state);
  }

  // A selection that names no stored place counts as not saved.
  app.model.selected = "unknown";
  EXPECT_EQ(ui_action_spec(app, A::ToggleSaved{})->state, STATE_OFF);
  app.model.selected.reset();
  EXPECT_EQ(ui_action_spec(app, A::ToggleSaved{})->state, STATE_OFF);
}

TEST_F(UiActionSpec, StaleSuggestionIndexFallsBackWithoutFailing) {
  app.search_box.suggestions.clear();
  auto const spec = ui_action_spec(app, A::Search{SearchItem::result(0)});
  ASSERT_TRUE(spec.has_value());
  EXPECT_EQ(spec->label, "Search result 1");
  EXPECT_EQ(spec->id, "maps.search-result:0");
  auto const huge = std::numeric_limits<std::size_t>::max();
  auto const last = ui_action_spec(app, A::Search{SearchItem::result(huge)});
  EXPECT_EQ(last->id, "maps.search-result:" + std::to_string(huge));
  EXPECT_EQ(last->label, "Search result 18446744073709551616");
  EXPECT_EQ(ui_action_spec(app, A::SelectJourney{9})->label, "Journey option 10");
}

TEST_F(UiActionSpec, HitTargetSpecCarriesTheTargetRect) {
  zarn_ui::Rect const rect{10.0, 20.0, 50.5, 60.25};
  auto const spec = hit_target_spec(app, HitTarget{rect, A::Overflow{}});
  ASSERT_TRUE(spec.has_value());
  EXPECT_EQ(spec->rect, rect);
  EXPECT_FALSE(hit_target_spec(app, HitTarget{rect, A::None{}}).has_value());
}

TEST(UiActionValue, TagsFollowTheVocabularyOrder) {
  EXPECT_EQ(UiAction{}.tag(), 0);
  EXPECT_EQ(UiAction{A::Search{}}.tag(), 1);
  EXPECT_EQ(UiAction{A::TravelMode{}}.tag(), 4);
  EXPECT_EQ(UiAction{A::SearchAgain{}}.tag(), 9);
  EXPECT_EQ(UiAction{A::CloseNavigation{}}.tag(), 12);
  EXPECT_EQ(UiAction{A::TransitTimeMode{}}.tag(), 18);
  EXPECT_EQ(UiAction{A::Overflow{}}.tag(), 22);
  // Payloads take part in equality.
  EXPECT_NE(UiAction{A::OpenPoi{"a"}}, UiAction{A::OpenPoi{"b"}});
  EXPECT_NE(UiAction{A::Search{SearchItem::result(1)}}, UiAction{A::Search{SearchItem::result(2)}});
  EXPECT_EQ(UiAction{A::TransitTimeDelta{-15}}, UiAction{A::TransitTimeDelta{-15}});
}

} // namespace
} // namespace maps
