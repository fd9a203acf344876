#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include <fmt/format.h>

#include "draw/map_layers.h"
#include "draw/side_panel_draw.h"
#include "model/ops.h"
#include "panel_test_support.h"
#include "sample/sample_data.h"
#include "shell/presets.h"

namespace maps {
namespace {

using test::Frame;
using test::set_window;
using test::targets_of;

MapsApp demo_app(double w = 1280, double h = 800) {
  MapsApp app = app_from_launch_args({});
  set_window(app, w, h);
  return app;
}

/// The demo model with nothing in the Places lists.
[[maybe_unused]] MapsApp blank_explore_app(double w = 1280, double h = 800) {
  MapsApp app = demo_app(w, h);
  app.model.panel = Panel::Explore;
  app.model.selected.reset();
  app.model.results.clear();
  app.model.recents.clear();
  for (auto& place : app.model.places) {
    place.saved = false;
  }
  app.nearby_pois.clear();
  return app;
}

/// The targets the frame registered before the map chrome's first one: the side panel's.
std::vector<HitTarget> panel_targets(MapsApp const& app) {
  std::vector<HitTarget> out;
  for (auto const& target : app.hit_targets) {
    if (target.action.is<UiAction::ToggleNavigation>() || target.action.is<UiAction::Search>() ||
        target.action.is<UiAction::Overflow>()) {
      break;
    }
    out.push_back(target);
  }
  return out;
}

TEST(SidePanel, TargetsStartWithTheCardOrTheScrimAndRowsFollowTheCard) {
  struct Case {
    char const* name;
    double width;
    bool collapsed;
    Rect first;
    bool first_is_scrim;
    bool collapse_button;
  } const cases[] = {
      {"wide", 1280, false, Rect{16, 74, 400, 784}, false, true},
      {"compact", 600, false, Rect{0, 0, 600, 800}, true, false},
      // A collapsed panel is shown expanded in the compact layout, without the collapse button.
      {"compact collapsed", 600, true, Rect{0, 0, 600, 800}, true, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    MapsApp app = demo_app(c.width, 800);
    app.model.panel = Panel::Explore;
    app.panel_collapsed = c.collapsed;
    Frame frame;
    frame.draw(app);
    auto const targets = panel_targets(app);
    ASSERT_GE(targets.size(), 3u);
    EXPECT_EQ(targets[0].rect, c.first);
    EXPECT_EQ(targets[0].action.is<UiAction::CloseNavigation>(), c.first_is_scrim);
    std::size_t const card = c.first_is_scrim ? 1 : 0;
    EXPECT_TRUE(targets[card].action.is<UiAction::None>());
    EXPECT_EQ(targets[card].rect, app.side_panel_rect());
    EXPECT_EQ(targets_of<UiAction::TogglePanelCollapse>(app).size(), c.collapse_button ? 1u : 0u);
    EXPECT_TRUE(frame.has_text("RESULTS"));
    // Every content target lies after the card that swallows presses around it.
    for (std::size_t i = card + 1; i < targets.size(); ++i) {
      EXPECT_FALSE(targets[i].action.is<UiAction::None>());
    }
  }
}

TEST(SidePanel, CompactWithNavigationClosedDrawsNoPanelAndTheMapTakesTheWindow) {
  MapsApp app = demo_app(600, 800);
  app.nav_open = false;
  EXPECT_EQ(map_area(app), (Rect{0, 0, 600, 800}));
  Frame frame;
  frame.draw(app);
  EXPECT_TRUE(panel_targets(app).empty());
  EXPECT_FALSE(frame.has_text("Directions"));

  app.nav_open = true;
  EXPECT_EQ(map_area(app), (Rect{app.side_panel_rect().x1 + 10, 0, 600, 800}));
}

TEST(SidePanel, SuggestionListHidesThePanelButNotTheCompactScrim) {
  for (double const width : {1280.0, 600.0}) {
    SCOPED_TRACE(width);
    MapsApp app = demo_app(width, 800);
    app.model.panel = Panel::Explore;
    app.search_box.editing = true;
    set_search_suggestions(app.search_box, app.model.places);
    Frame frame;
    frame.draw(app);
    auto const targets = panel_targets(app);
    if (width < 720) {
      ASSERT_EQ(targets.size(), 1u);
      EXPECT_TRUE(targets[0].action.is<UiAction::CloseNavigation>());
    } else {
      EXPECT_TRUE(targets.empty());
    }
    EXPECT_FALSE(frame.has_text("Places"));
    EXPECT_FALSE(frame.has_text("RESULTS"));
  }
}

TEST(SidePanel, APanelShorterThan80DrawsNothing) {
  for (double const height : {169.0, 170.0}) { // panel height = height - 90
    SCOPED_TRACE(height);
    MapsApp app = demo_app(1280, height);
    Frame frame;
    frame.draw(app);
    EXPECT_EQ(panel_targets(app).empty(), height < 170.0);
  }
}

TEST(SidePanel, CollapsedPanelIsAStubWithTheExpandButton) {
  MapsApp app = demo_app();
  app.panel_collapsed = true;
  app.panel_scroll = {12, 500, 300};
  Frame frame;
  frame.draw(app);
  auto const targets = panel_targets(app);
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0].rect, (Rect{16, 74, 400, 134}));
  EXPECT_TRUE(targets[0].action.is<UiAction::None>());
  EXPECT_EQ(targets[1].rect, (Rect{350, 84, 390, 124}));
  EXPECT_TRUE(targets[1].action.is<UiAction::TogglePanelCollapse>());
  ASSERT_TRUE(frame.has_text("Places"));
  EXPECT_EQ(frame.find_text("Places")->transform.f, 74 + 10 + 10.625);
  EXPECT_TRUE(frame.has_text("\xC2\xBB"));
  EXPECT_EQ(app.panel_scroll, (std::array<double, 3>{12, 0, 0}));
}

TEST(SidePanel, EmptyStateOnlyWhenEveryListIsEmpty) {
  MapsApp app = blank_explore_app();
  Frame frame;
  frame.draw(app);
  EXPECT_TRUE(frame.has_text("Find your way"));
  EXPECT_TRUE(frame.has_text("to route and plan transit."));
  EXPECT_EQ(app.panel_scroll[1], 78.0);
  EXPECT_EQ(app.panel_scroll[2], 784.0 - 10 - (74 + 60));

  app.model.recents = {"Hauptbahnhof", "coffee"};
  frame.draw(app);
  EXPECT_FALSE(frame.has_text("Find your way"));
  EXPECT_TRUE(frame.has_text("RECENT SEARCHES"));
  EXPECT_FALSE(frame.has_text("RESULTS"));
  double const top = 74 + 60;
  auto const clear = targets_of<UiAction::ClearRecents>(app);
  ASSERT_EQ(clear.size(), 1u);
  double const clear_w = frame.text.measure("Clear", 11);
  // Registered from top - 5; the part above the content area is cut off.
  EXPECT_EQ(clear[0].rect, (Rect{390 - (clear_w + 12), top, 390, top + 15}));
  auto const again = targets_of<UiAction::SearchAgain>(app);
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[0].rect, (Rect{26, top + 20, 390, top + 50}));
  EXPECT_EQ(again[1].rect, (Rect{26, top + 52, 390, top + 82}));
  EXPECT_EQ(again[1].action.get_if<UiAction::SearchAgain>()->text, "coffee");
  EXPECT_EQ(app.panel_scroll[1], 20 + 2 * 32.0);
}

TEST(SidePanel, SelectedCardButtonsAndTheSaveLabel) {
  for (bool const saved : {false, true}) {
    SCOPED_TRACE(saved);
    MapsApp app = blank_explore_app();
    app.model.selected = "marienplatz";
    find_place(app.model, "marienplatz")->saved = saved;
    Frame frame;
    frame.draw(app);
    EXPECT_EQ(frame.has_text("Saved \xE2\x9C\x93"), saved);
    EXPECT_EQ(frame.has_text("Save"), !saved);
    double const y = 74 + 60;
    // 16 px inside the card (26 to 390) on both sides, 4 px between the buttons.
    double const bw = ((390 - 26) - 40) / 3.0;
    auto const d = targets_of<UiAction::Directions>(app);
    auto const tr = targets_of<UiAction::Transit>(app);
    auto const sv = targets_of<UiAction::ToggleSaved>(app);
    ASSERT_EQ(d.size() + tr.size() + sv.size(), 3u);
    EXPECT_EQ(d[0].rect, (Rect{42, y + 86, 42 + bw, y + 120}));
    EXPECT_EQ(tr[0].rect.x0, 42 + bw + 4);
    EXPECT_EQ(sv[0].rect.x0, 42 + 2 * (bw + 4));
    EXPECT_DOUBLE_EQ(sv[0].rect.x1, 390 - 16);
    // The saved place is listed under SAVED too, after the card.
    EXPECT_EQ(frame.has_text("SAVED"), saved);
  }
}

TEST(SidePanel, SectionsInOrderWithRowsFiftySixApart) {
  MapsApp app = blank_explore_app();
  app.model.results = {app.model.places[0], app.model.places[1]};
  app.nearby_pois = sample_pois();
  app.model.places[2].saved = true;
  app.model.recents = {"Hauptbahnhof"};
  Frame frame;
  frame.draw(app);
  std::vector<std::string> headings;
  for (auto const* t : frame.texts()) {
    if (t->text == "RESULTS" || t->text == "NEARBY" || t->text == "SAVED" ||
        t->text == "RECENT SEARCHES") {
      headings.push_back(t->text);
    }
  }
  EXPECT_EQ(headings, (std::vector<std::string>{"RESULTS", "NEARBY", "SAVED", "RECENT SEARCHES"}));
  auto const places = targets_of<UiAction::OpenSavedPlace>(app);
  ASSERT_EQ(places.size(), 3u);
  double const top = 74 + 60;
  EXPECT_EQ(places[0].rect, (Rect{26, top + 20, 390, top + 68}));
  EXPECT_EQ(places[1].rect.y0, top + 20 + 56);
  EXPECT_EQ(places[2].action.get_if<UiAction::OpenSavedPlace>()->id, app.model.places[2].id);
  auto const pois = targets_of<UiAction::OpenPoi>(app);
  EXPECT_EQ(pois.size(), std::min<std::size_t>(sample_pois().size(), 10));
  EXPECT_EQ(pois[0].rect.y0, top + 20 + 2 * 56 + 8 + 20);
}

TEST(SidePanel, ScrolledRowsMoveUpAndTheirTargetsStayInsideTheContentArea) {
  MapsApp app = blank_explore_app();
  app.model.results = app.model.places;
  Frame frame;
  frame.draw(app);
  double const content_h = app.panel_scroll[1];
  double const first_row = targets_of<UiAction::OpenSavedPlace>(app)[0].rect.y0;

  app.panel_scroll[0] = 100;
  frame.draw(app);
  EXPECT_EQ(app.panel_scroll[1], content_h); // the extent does not depend on the offset
  auto const rows = targets_of<UiAction::OpenSavedPlace>(app);
  ASSERT_EQ(rows.size(), app.model.places.size());
  Rect const content{26, 134, 390, 774};
  // The first row (134 + 20 - 100 = 54) is wholly above the content area: still listed, but
  // with no area left that a press could hit, so the header buttons keep their presses.
  EXPECT_EQ(first_row, 154.0);
  EXPECT_TRUE(rows[0].rect.is_empty());
  EXPECT_EQ(rows[1].rect, (Rect{26, 134, 390, 154 - 100 + 56 + 48}));
  for (auto const& row : rows) {
    EXPECT_GE(row.rect.y0, content.y0);
    EXPECT_LE(row.rect.y1, content.y1);
  }
  // The content is drawn inside a clip layer of the content area.
  bool clipped = false;
  for (auto const& cmd : frame.scene.commands) {
    if (auto const* layer = std::get_if<zarn_ui::PushLayerCmd>(&cmd)) {
      clipped = clipped || std::get<Rect>(layer->clip) == content;
    }
  }
  EXPECT_TRUE(clipped);
}

TEST(SidePanel, ALongListPaintsOnlyTheRowsInViewAndKeepsEveryTarget) {
  MapsApp app = blank_explore_app();
  std::vector<Place> places;
  for (int i = 0; i < 500; ++i) {
    Place place = new_place(fmt::format("s{}", i), fmt::format("Saved {}", i), PlaceCategory::Cafe,
                            48.1 + i * 1e-4, 11.5, "");
    place.saved = true;
    places.push_back(std::move(place));
  }
  app.model.places = places;
  Frame frame;
  struct Case {
    double scroll;
    int first, last; // the rows painted
  } const cases[] = {{0, 0, 11}, {56 * 200, 199, 211}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.scroll);
    app.panel_scroll[0] = c.scroll;
    frame.draw(app);
    EXPECT_EQ(targets_of<UiAction::OpenSavedPlace>(app).size(), places.size());
    std::vector<int> painted;
    for (auto const* text : frame.texts()) {
      int n = 0;
      if (std::sscanf(text->text.c_str(), "Saved %d", &n) == 1) {
        painted.push_back(n);
      }
    }
    ASSERT_FALSE(painted.empty());
    EXPECT_EQ(painted.front(), c.first);
    EXPECT_EQ(painted.back(), c.last);
  }
}

TEST(SidePanel, AnOffsetPastShrunkContentIsPulledBackToItsEnd) {
  MapsApp app = blank_explore_app(1280, 400);
  app.model.results = app.model.places;
  Frame frame;
  frame.draw(app);
  double const max_offset = std::max(app.panel_scroll[1] - app.panel_scroll[2], 0.0);
  ASSERT_GT(max_offset, 0.0); // the lists are taller than the panel
  struct Case {
    char const* name;
    double offset;
    double kept;
  } const cases[] = {
      {"inside the content", max_offset / 2, max_offset / 2},
      {"past the end", max_offset + 500, max_offset},
      {"negative", -40, 0.0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    app.panel_scroll[0] = c.offset;
    frame.draw(app);
    EXPECT_DOUBLE_EQ(app.panel_scroll[0], c.kept);
  }

  // Fewer rows than before: the offset follows the shorter content, so the next frame shows it.
  app.panel_scroll[0] = max_offset + 500;
  app.model.results.clear();
  frame.draw(app);
  EXPECT_DOUBLE_EQ(app.panel_scroll[0], std::max(app.panel_scroll[1] - app.panel_scroll[2], 0.0));
}

TEST(SidePanel, PoiRowSubtitleFallsBackToDetailThenCategory) {
  struct Case {
    char const* address;
    std::optional<std::string> detail;
    char const* expected;
  } const cases[] = {
      {"Marienplatz 8", "italian", "Restaurant \xC2\xB7 Marienplatz 8"},
      {"", "italian", "Restaurant \xC2\xB7 italian"},
      {"", std::nullopt, "Restaurant"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.expected);
    Poi poi;
    poi.category = PlaceCategory::Restaurant;
    poi.address = c.address;
    poi.detail = c.detail;
    EXPECT_EQ(poi_subtitle(poi), c.expected);
  }
}

TEST(SidePanel, DirectionsHeaderHasTheBackButton) {
  MapsApp app = demo_app();
  Frame frame;
  frame.draw(app);
  auto const back = targets_of<UiAction::BackToPlaces>(app);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].rect, (Rect{26, 84, 66, 124}));
  auto const* title = frame.find_text("Directions");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->transform.e, 66 + 8 + 2);
  EXPECT_EQ(title->transform.f, 84 + 10);
  EXPECT_EQ(title->weight, 3);
}

TEST(Frame, EveryDrawRebuildsTargetsMapRectAndBasemapStyle) {
  MapsApp app = demo_app();
  app.map_rect = Rect{1, 2, 3, 4};
  Frame frame;
  frame.theme = zarn_ui::Theme::dark();
  frame.draw(app);
  std::vector<HitTarget> const first = app.hit_targets;
  EXPECT_EQ(app.map_rect, app.window_rect());
  EXPECT_TRUE(app.tiles.dark);
  frame.draw(app);
  EXPECT_EQ(app.hit_targets, first); // emptied, then refilled the same way
  // The panel's card is the first target: a press on the panel never reaches the map.
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.front().rect, app.side_panel_rect());
  EXPECT_TRUE(first.front().action.is<UiAction::None>());
  EXPECT_TRUE(first.back().action.is<UiAction::Overflow>());

  frame.theme = zarn_ui::Theme::light();
  frame.draw(app);
  EXPECT_FALSE(app.tiles.dark);
}

TEST(SidePanel, EndpointRectanglesDescribeOnlyThisFramesDirectionsContent) {
  MapsApp app = demo_app();
  Frame frame;
  frame.draw(app);
  ASSERT_EQ(app.endpoints.hits.size(), 3u);
  EXPECT_EQ(app.endpoints.hits[0].rect, (Rect{26, 134, 390 - 42, 174}));

  // Scrolled by 60 the origin field lies under the header: it keeps no area to press.
  app.panel_scroll[0] = 60;
  frame.draw(app);
  EXPECT_TRUE(app.endpoints.hits[0].rect.is_empty());
  EXPECT_EQ(app.endpoints.hits[1].rect, (Rect{26, 134, 390 - 42, 134 + 88 - 60}));

  // Back on the Places panel no field of an earlier frame is left.
  app.model.panel = Panel::Explore;
  frame.draw(app);
  EXPECT_TRUE(app.endpoints.hits.empty());
  EXPECT_FALSE(app.endpoints.origin_rect.has_value());
}

TEST(SidePanelShots, DemoFrames) {
  struct Case {
    char const* name;
    Panel panel;
    TravelMode mode;
    double width;
  } const cases[] = {
      {"directions", Panel::Directions, TravelMode::Car, 1280},
      {"transit", Panel::Directions, TravelMode::Transit, 1280},
      {"explore", Panel::Explore, TravelMode::Car, 1280},
      {"compact", Panel::Explore, TravelMode::Car, 600},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    MapsApp app = demo_app(c.width, 800);
    app.model.panel = c.panel;
    app.model.mode = c.mode;
    if (c.panel == Panel::Explore) {
      app.nearby_pois = sample_pois();
    }
    Frame frame;
    frame.draw(app);
    EXPECT_FALSE(app.hit_targets.empty());
    frame.maybe_shoot(std::string("panels_") + c.name, static_cast<std::uint32_t>(c.width), 800);
  }
}

} // namespace
} // namespace maps
