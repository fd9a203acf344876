#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/maps_app.h"
#include "geo/geo.h"
#include "platform/launch/launch_args.h"
#include "shell/launch_record.h"
#include "shell/presets.h"

namespace maps {
namespace {

zarn_ui::launch::LaunchArgs switches(std::vector<char const*> argv) {
  auto const spec = maps_launch_spec();
  auto parsed = zarn_ui::launch::parse_launch_args(argv, spec.switches, spec.options);
  EXPECT_TRUE(parsed) << parsed.error();
  return parsed.value_or(zarn_ui::launch::LaunchArgs{});
}

std::vector<std::string> ids(std::vector<Place> const& places) {
  std::vector<std::string> out;
  for (auto const& p : places) {
    out.push_back(p.id);
  }
  return out;
}

TEST(EditFromPreset, TypesTheOriginWithItsLocalSuggestions) {
  MapsApp const app = app_from_launch_args(switches({"--edit-from"}));
  EXPECT_EQ(app.model.panel, Panel::Directions);
  EXPECT_EQ(app.model.origin_query, "hauptbahnhof");
  EXPECT_EQ(app.endpoints.active, ORIGIN_FIELD);
  EXPECT_EQ(app.endpoints.origin_text, "hauptbahnhof");
  EXPECT_EQ(app.endpoints.origin_input.text(), "hauptbahnhof");
  EXPECT_TRUE(app.endpoints.origin_input.focused());
  EXPECT_FALSE(app.endpoints.origin_suggestions.empty());
  EXPECT_EQ(ids(app.endpoints.origin_suggestions), ids(app.local_suggestions("hauptbahnhof")));
  EXPECT_TRUE(app.endpoints.dest_suggestions.empty());
}

TEST(EditFromPreset, LaterPresetsWinTheSharedFieldsWhateverTheCommandLineOrder) {
  struct Case {
    std::vector<char const*> argv;
  } const cases[] = {{{"--edit-from", "--search"}}, {{"--search", "--edit-from"}}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.argv.front());
    MapsApp const app = app_from_launch_args(switches(c.argv));
    EXPECT_EQ(app.model.panel, Panel::Explore);
    EXPECT_EQ(app.endpoints.origin_input.text(), "hauptbahnhof");
    EXPECT_EQ(app.endpoints.active, ORIGIN_FIELD);
    EXPECT_EQ(app.model.query, "Marienplatz");
  }
}

TEST(SearchPreset, SuggestsEveryPlaceNearestFirst) {
  MapsApp const app = app_from_launch_args(switches({"--search"}));
  EXPECT_TRUE(app.search_box.editing);
  EXPECT_EQ(app.model.panel, Panel::Explore);
  auto const& list = app.search_box.suggestions;
  ASSERT_EQ(list.size(), app.model.places.size());
  LatLon const ref = app.origin_or_center();
  for (std::size_t i = 1; i < list.size(); ++i) {
    EXPECT_LE(haversine_m(list[i - 1].pos.lat, list[i - 1].pos.lon, ref.lat, ref.lon),
              haversine_m(list[i].pos.lat, list[i].pos.lon, ref.lat, ref.lon));
  }

  // With --pois afterwards the list stays, but the query and the panel are the later preset's.
  MapsApp const both = app_from_launch_args(switches({"--pois", "--search"}));
  EXPECT_EQ(ids(both.search_box.suggestions), ids(list));
  EXPECT_TRUE(both.model.query.empty());
  EXPECT_EQ(both.model.panel, Panel::Explore);

  MapsApp const empty = app_from_launch_args(switches({"--empty", "--search"}));
  EXPECT_TRUE(empty.search_box.suggestions.empty());
}

TEST(SearchPreset, EqualDistancesKeepTheirOrderAndNoDistanceGoesLast) {
  MapsApp app = demo_state_app();
  LatLon const ref = app.origin_or_center();
  double const nan = std::numeric_limits<double>::quiet_NaN();
  app.model.places = {
      new_place("nowhere", "Nowhere", PlaceCategory::Landmark, nan, ref.lon, ""),
      new_place("far", "Far", PlaceCategory::Landmark, ref.lat + 0.05, ref.lon, ""),
      new_place("twin-a", "Twin A", PlaceCategory::Landmark, ref.lat + 0.01, ref.lon, ""),
      new_place("here", "Here", PlaceCategory::Landmark, ref.lat, ref.lon, ""),
      new_place("twin-b", "Twin B", PlaceCategory::Landmark, ref.lat + 0.01, ref.lon, ""),
  };
  apply_search_preset(app);
  EXPECT_EQ(ids(app.search_box.suggestions),
            (std::vector<std::string>{"here", "twin-a", "twin-b", "far", "nowhere"}));
}

TEST(MenuPreset, OpensTheMenuAboveTheOverflowButtonOfTheDefaultWindow) {
  MapsApp const app = app_from_launch_args(switches({"--menu"}));
  EXPECT_EQ(app.window_rect(), (zarn_ui::Rect{0, 0, 1280, 800}));
  ASSERT_TRUE(app.overflow_menu.is_open());
  zarn_ui::Rect const r = app.overflow_menu.rect();
  EXPECT_FLOAT_EQ(static_cast<float>(r.x1), 1264.0f);
  EXPECT_FLOAT_EQ(static_cast<float>(r.y1), 748.0f);
  EXPECT_GT(r.width(), 0.0);
  EXPECT_GT(r.height(), 0.0);
}

TEST(AttributionPreset, OpensTheAttributionPage) {
  MapsApp const app = app_from_launch_args(switches({"--attribution"}));
  EXPECT_EQ(app.attribution_sheet.state, SHEET_ATTRIBUTION);
  EXPECT_TRUE(app.attribution_sheet.dialog.open);
  EXPECT_EQ(app.attribution_sheet.dialog.title, "Attribution");
  MapsApp const plain = app_from_launch_args(switches({}));
  EXPECT_EQ(plain.attribution_sheet.state, SHEET_CLOSED);
  EXPECT_FALSE(plain.overflow_menu.is_open());
}

TEST(OfflinePreset, ShowsATypedAreaSearch) {
  MapsApp const app = app_from_launch_args(switches({"--offline"}));
  OfflinePanel const& panel = app.offline_panel;
  EXPECT_TRUE(panel.open);
  EXPECT_EQ(panel.detail, 2);
  EXPECT_EQ(panel.cache_bytes, 47'542'000u);
  EXPECT_EQ(panel.search.text(), "M\xC3\xBCn");
  EXPECT_EQ(panel.query, "M\xC3\xBCn");
  EXPECT_TRUE(panel.search.editing());
  EXPECT_TRUE(panel.search.is_open());
  EXPECT_EQ(panel.search.suggestions(), place_suggestions(sample_suggestions()));
  EXPECT_EQ(app.model.regions, sample_regions());
  EXPECT_FALSE(app.model.route);
  EXPECT_EQ(app.model.panel, Panel::Explore);
}

} // namespace
} // namespace maps
