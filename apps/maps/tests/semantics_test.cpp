#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "app/map_controls.h"
#include "app/maps_app.h"
#include "app/overflow_menu.h"
#include "doc/save.h"
#include "input/semantics.h"
#include "platform/launch/state.h"
#include "sample/sample_data.h"

namespace maps {
namespace {

using zarn_ui::Rect;
using zarn_ui::widget::SemanticArgument;

std::vector<std::string> ids_of(std::vector<SemanticControl> const& controls) {
  std::vector<std::string> out;
  for (auto const& c : controls) {
    out.push_back(c.id);
  }
  return out;
}

bool has_id(std::vector<SemanticControl> const& controls, std::string_view id) {
  return std::any_of(controls.begin(), controls.end(),
                     [&](SemanticControl const& c) { return c.id == id; });
}

class Semantics : public ::testing::Test {
protected:
  Semantics()
      : app(build_maps_app(demo_scenario(), sample_road_network(), offline_tile_cache(), false,
                           false)),
        state(zarn_ui::State::in_memory()) {
    app.window_rect_ = Rect{0, 0, 1280, 800};
    app.map_rect = app.window_rect_;
    save_model_to_doc(state->document(), app.model);
  }

  bool perform(std::string_view id, SemanticArgument const& arg = SemanticArgument::empty()) {
    return app.perform_semantic_action(*state, id, arg);
  }

  MapsApp app;
  std::unique_ptr<zarn_ui::State> state;
};

TEST(MapControls, HitTestFollowsTheColumnWithItsGaps) {
  Rect const map{100, 50, 900, 650}; // x1 − 56 = 844, x1 − 16 = 884
  struct Case {
    double x, y;
    std::uint8_t hit;
  } const cases[] = {
      {860, 50 + 16, 0},    {844, 50 + 55.9, 0},  {860, 50 + 56, 1}, // shared edge: zoom out
      {860, 50 + 100, 255},                                          // gap before Locate
      {860, 50 + 106, 2},   {860, 50 + 150, 255}, {860, 50 + 156, 3},    {860, 50 + 195.9, 3},
      {860, 50 + 196, 255}, {884, 50 + 30, 255},  {843.9, 50 + 30, 255}, {860, 50 + 15.9, 255},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    EXPECT_EQ(hit_map_control(map, c.x, c.y), c.hit);
  }
  EXPECT_EQ(map_control_rect(map, 2), (Rect{844, 156, 884, 196}));
  EXPECT_TRUE(map_control_rect(map, 4).is_empty());
}

TEST_F(Semantics, MapControlsLabelsIdsRolesAndTrafficState) {
  app.hit_targets.clear();
  app.model.route.reset();
  for (bool const traffic : {false, true}) {
    SCOPED_TRACE(traffic);
    app.traffic_on = traffic;
    auto const controls = map_control_specs(app);
    struct Want {
      char const* label;
      char const* id;
      std::uint8_t role, state;
    } const want[] = {
        {"Zoom in", "maps.control:zoom-in", 17, 2},
        {"Zoom out", "maps.control:zoom-out", 17, 2},
        {"Use my location", "maps.control:locate", 17, 2},
        {"Traffic", "maps.control:traffic", 21, std::uint8_t(traffic ? 1 : 0)},
    };
    ASSERT_EQ(controls.size(), 4u);
    for (std::uint8_t i = 0; i < 4; ++i) {
      EXPECT_EQ(controls[i].label, want[i].label);
      EXPECT_EQ(controls[i].id, want[i].id);
      EXPECT_EQ(controls[i].role, want[i].role);
      EXPECT_EQ(controls[i].state, want[i].state);
      EXPECT_EQ(controls[i].rect, map_control_rect(app.map_rect, i));
    }
  }
}

TEST_F(Semantics, EndNavigationIsListedAndBoundOnlyWithARouteAndAButton) {
  app.hit_targets.clear();
  ASSERT_TRUE(app.model.route);
  Rect const end_button{900, 700, 950, 724};
  struct Case {
    bool route;
    Rect button;
    bool listed;
  } const cases[] = {
      {true, end_button, true},
      {false, end_button, false},
      {true, Rect{900, 700, 900, 724}, false}, // no area
      {true, Rect{}, false},
  };
  auto const route = app.model.route;
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.route << " " << c.button.width());
    app.model.route = c.route ? route : std::nullopt;
    app.nav_card_rects[0] = c.button;
    auto const controls = map_control_specs(app);
    EXPECT_EQ(has_id(controls, "maps.navigation.end"), c.listed);
    if (c.listed) {
      ASSERT_EQ(controls.size(), 5u);
      EXPECT_EQ(controls[4].label, "End navigation");
      EXPECT_EQ(controls[4].rect, end_button);
    }
    auto const bindings = app.collect_semantic_action_bindings();
    bool const bound = std::any_of(bindings.begin(), bindings.end(),
                                   [](auto const& b) { return b.id == "maps.navigation.end"; });
    EXPECT_EQ(bound, c.listed);
  }
}

TEST_F(Semantics, HitTargetsFollowTheMapControlsInOrderWithTheirRects) {
  app.model.route.reset();
  app.hit_targets = {
      {Rect{10, 10, 50, 50}, UiAction::None{}},
      {Rect{20, 100, 300, 140}, UiAction::Directions{}},
      {Rect{0, 0, 5, 5}, UiAction::CloseNavigation{}},
      {Rect{20, 150, 300, 190}, UiAction::ClearRecents{}},
  };
  auto const controls = map_control_specs(app);
  ASSERT_EQ(controls.size(), 6u);
  EXPECT_EQ(controls[4].id, "maps.directions");
  EXPECT_EQ(controls[4].rect, (Rect{20, 100, 300, 140}));
  EXPECT_EQ(controls[5].id, "maps.recent.clear");
}

TEST_F(Semantics, CompactLayoutWithThePanelOpenListsWhatIsAboveTheScrim) {
  app.window_rect_ = Rect{0, 0, 700, 800};
  app.map_rect = app.window_rect_;
  app.model.route.reset();
  Rect const panel = app.side_panel_rect();
  // The targets are registered over the scrim (the toggle outside the panel too); the map
  // controls lie under it.
  app.hit_targets = {
      {Rect{16, 16, 56, 64}, UiAction::ToggleNavigation{}},
      {Rect{panel.x0 + 10, panel.y0 + 10, panel.x0 + 110, panel.y0 + 40}, UiAction::Directions{}},
      {Rect{600, 700, 680, 740}, UiAction::ClearRecents{}},
  };
  app.nav_open = true;
  EXPECT_EQ(ids_of(map_control_specs(app)),
            (std::vector<std::string>{"maps.navigation", "maps.directions", "maps.recent.clear"}));
  app.nav_open = false;
  EXPECT_EQ(map_control_specs(app).size(), 7u);
  app.nav_open = true;
  app.window_rect_ = Rect{0, 0, 720, 800}; // not compact
  EXPECT_EQ(map_control_specs(app).size(), 7u);
}

TEST_F(Semantics, TreeChildrenAndNodeRectsFollowTheControlList) {
  app.model.route.reset();
  app.hit_targets = {{Rect{20, 100, 300, 140}, UiAction::Search{SearchItem::field()}}};
  auto const controls = map_control_specs(app);
  auto const tree = app.accessibility_tree();
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->name, "Maps");
  // The controls come first, so a child's index is its control's; after them only texts that
  // are read (the scale bar here), with nothing to perform.
  ASSERT_GE(tree->children.size(), controls.size());
  for (std::size_t i = controls.size(); i < tree->children.size(); ++i) {
    auto const role = tree->children[i].role;
    EXPECT_TRUE(role == zarn_ui::access::ROLE_LABEL || role == zarn_ui::access::ROLE_HEADING ||
                role == zarn_ui::access::ROLE_STATUS);
    EXPECT_TRUE(zarn_ui::access::node_actions(tree->children[i]).empty());
  }
  for (std::size_t i = 0; i < controls.size(); ++i) {
    SCOPED_TRACE(controls[i].id);
    auto const& node = tree->children[i];
    EXPECT_EQ(node.id_text, controls[i].id);
    EXPECT_EQ(node.id, zarn_ui::access::node_id_for(controls[i].id));
    EXPECT_EQ(node.name, controls[i].label);
    EXPECT_EQ(node.role, controls[i].role);
    EXPECT_EQ(node.state, controls[i].state);
    EXPECT_EQ(node.bounds, controls[i].rect);
    std::size_t const path[] = {i};
    EXPECT_EQ(app.semantic_node_rect(path), controls[i].rect);
  }
  std::size_t const past[] = {controls.size()};
  std::size_t const two[] = {0, 0};
  EXPECT_FALSE(app.semantic_node_rect(past));
  EXPECT_FALSE(app.semantic_node_rect(two));
  EXPECT_FALSE(app.semantic_node_rect({}));
}

TEST_F(Semantics, PerformingByIdRunsTheControlOrTheTargetsAction) {
  app.hit_targets = {{Rect{20, 100, 300, 140}, UiAction::TogglePanelCollapse{}},
                     {Rect{20, 150, 300, 190}, UiAction::Search{SearchItem::field()}}};
  app.model.zoom = 10.0;
  app.traffic_on = false;
  app.panel_collapsed = false;
  app.search_box.editing = false;

  EXPECT_TRUE(perform("maps.control:zoom-in"));
  EXPECT_DOUBLE_EQ(app.model.zoom, 11.0);
  EXPECT_TRUE(perform("maps.control:zoom-out", SemanticArgument::activate()));
  EXPECT_DOUBLE_EQ(app.model.zoom, 10.0);
  EXPECT_TRUE(perform("maps.control:traffic"));
  EXPECT_TRUE(app.traffic_on);
  EXPECT_TRUE(perform("maps.panel-collapse"));
  EXPECT_TRUE(app.panel_collapsed);

  struct Case {
    char const* id;
    SemanticArgument arg;
  } const declined[] = {
      {"maps.search", SemanticArgument::empty()}, // the field takes it
      {"maps.no-such-control", SemanticArgument::empty()},
      {"maps.control:zoom-in", SemanticArgument::with_text("5")},
      {"maps.panel-collapse", SemanticArgument::with_number(1.0)},
  };
  for (auto const& c : declined) {
    SCOPED_TRACE(c.id);
    EXPECT_FALSE(perform(c.id, c.arg));
  }
  EXPECT_DOUBLE_EQ(app.model.zoom, 10.0);
  EXPECT_TRUE(app.panel_collapsed);
  EXPECT_FALSE(app.search_box.editing);
}

TEST_F(Semantics, EndNavigationRunsEvenWithoutARoute) {
  app.model.route.reset();
  app.nav_card_rects[0] = Rect{900, 700, 950, 724};
  ASSERT_FALSE(has_id(map_control_specs(app), "maps.navigation.end"));
  app.nav_flags = {true, true, true};
  EXPECT_TRUE(perform("maps.navigation.end"));
  EXPECT_EQ(app.nav_flags, (std::array<bool, 3>{false, false, false}));
}

TEST_F(Semantics, OfflinePanelOwnsTheTreeAndEveryActionWhileOpen) {
  open_offline_panel(app.offline_panel, 0);
  app.offline_panel.detail = 2;
  Rect const field{300, 200, 700, 240};
  Rect const scrim{0, 0, 1280, 800};
  app.offline_panel.search_rect = field;
  app.offline_panel.targets = {
      {scrim, OfflinePanelAction::close()},
      {Rect{900, 150, 930, 180}, OfflinePanelAction::close()},
      {Rect{300, 300, 340, 340}, OfflinePanelAction::zoom(1)},
      {Rect{350, 300, 390, 340}, OfflinePanelAction::zoom(-1)},
      {Rect{400, 300, 440, 340}, OfflinePanelAction::zoom(2)}, // no control
      {Rect{300, 400, 500, 440}, OfflinePanelAction::download()},
      {Rect{300, 450, 300, 490}, OfflinePanelAction::clear_cache()}, // no area
      {Rect{300, 500, 340, 540}, OfflinePanelAction::delete_region("r1")},
      {Rect{300, 550, 500, 590}, OfflinePanelAction::clear_cache()},
      {Rect{600, 300, 640, 340}, OfflinePanelAction::zoom(1)}, // same id again
  };
  auto const tree = app.accessibility_tree();
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->name, "Offline maps");
  std::vector<std::string> ids;
  for (auto const& n : tree->children) {
    ids.push_back(n.id_text);
    EXPECT_EQ(n.editable_text, n.id_text == "maps.offline.search") << n.id_text;
  }
  EXPECT_EQ(ids, (std::vector<std::string>{"maps.offline.search", "maps.offline.close",
                                           "maps.offline.zoom-in", "maps.offline.zoom-out",
                                           "maps.offline.download", "maps.offline.region:r1:delete",
                                           "maps.offline.clear"}));
  EXPECT_EQ(tree->children[1].bounds, scrim); // the largest close target
  std::size_t const first[] = {0};
  EXPECT_EQ(app.semantic_node_rect(first), field);

  EXPECT_FALSE(perform("maps.control:zoom-in"));
  EXPECT_FALSE(perform("maps.offline.search"));
  EXPECT_FALSE(perform("maps.offline.zoom-in", SemanticArgument::with_text("x")));
  EXPECT_FALSE(perform("maps.offline.zoom-in", SemanticArgument::activate()));
  EXPECT_EQ(app.offline_panel.detail, 2);
  EXPECT_TRUE(perform("maps.offline.zoom-in"));
  EXPECT_EQ(app.offline_panel.detail, 3);

  EXPECT_TRUE(perform("maps.offline.close"));
  EXPECT_FALSE(app.offline_panel.open);
  ASSERT_TRUE(app.accessibility_tree());
  EXPECT_EQ(app.accessibility_tree()->name, "Maps");
}

TEST_F(Semantics, AttributionSheetReplacesEveryOtherTreeWhileOpen) {
  open_offline_panel(app.offline_panel, 0);
  open_attribution_sheet(app.attribution_sheet, true);
  auto tree = app.accessibility_tree();
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->name, "Licenses");
  close_attribution_sheet(app.attribution_sheet);
  tree = app.accessibility_tree();
  ASSERT_TRUE(tree);
  EXPECT_EQ(tree->name, "Offline maps");
}

TEST_F(Semantics, WidgetDefaultsCarryTheApplicationsAnswers) {
  EXPECT_EQ(app.all_action_ids().size(), 7u);
  app.traffic_on = true;
  open_offline_panel(app.offline_panel, 0);
  EXPECT_EQ(app.all_action_ids().size(), 7u);
  EXPECT_TRUE(app.all_action_ids().contains("maps.directions-poi"));

  std::vector<Rect> rects{Rect{1, 2, 3, 4}, Rect{5, 6, 7, 8}};
  app.push_window_rect_if(rects);
  ASSERT_EQ(rects.size(), 3u);
  EXPECT_EQ(rects.back(), app.window_rect());

  std::uint8_t const null_json[] = {'n', 'u', 'l', 'l'};
  EXPECT_EQ(app.invoke_action_wrapped(2, "maps.unknown", null_json),
            zarn_ui::widget::StartOutcome::not_handled());
}

} // namespace
} // namespace maps
