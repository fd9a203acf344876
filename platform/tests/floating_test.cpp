#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/clock.h"
#include "platform/access/access_node.h"
#include "platform/surface/floating_placement.h"
#include "platform/surface/floating_surface.h"

using namespace zarn_ui;
using namespace zarn_ui::surface;
using std::chrono::milliseconds;

namespace {

constexpr Rect WINDOW{0, 0, 1280, 800};
constexpr Rect DESKTOP_CARD{820, 120, 1180, 276};

class FloatingPlacementTest : public ::testing::Test {
protected:
  base::ManualClock clock;
  FloatingPlacement placement{Size{360, 156}, clock};

  Rect card() const { return placement.rect(WINDOW, WINDOW); }

  // The screenshot phases, driven the way the shot path drives them.
  void drive(std::string const& phase) {
    if (phase == "attached") {
      placement.pin_handoff_for_visual_review(1000);
      return;
    }
    placement.detach_to_desktop(DESKTOP_CARD);
    if (phase == "returning" || phase == "returned") {
      placement.begin_drag({1000, 136}, WINDOW, card());
      placement.update_drag({720, 360}, WINDOW, card());
    }
    if (phase == "returned") {
      placement.confirm_app_adoption(WINDOW);
    }
    placement.pin_handoff_for_visual_review(phase == "returning" || phase == "returned" ? 500
                                                                                        : 1000);
  }
};

TEST_F(FloatingPlacementTest, StartsDockedInTheWindow) {
  EXPECT_TRUE(placement.is_initial());
  EXPECT_EQ(placement.state(), PlacementState::InWindow);
  EXPECT_EQ(card(), (Rect{904, 582, 1264, 738}));
  EXPECT_TRUE(placement.presentation_transform().is_identity());
  EXPECT_FALSE(placement.is_handoff_animating());
  EXPECT_EQ(placement.rect({0, 0, 200, 100}, {0, 0, 200, 100}), (Rect{0, 0, 360, 156}))
      << "a window smaller than the card keeps the card's top-left inside";
}

TEST_F(FloatingPlacementTest, PhasesGiveDistinctPlacesAndPresentations) {
  struct Case {
    char const* phase;
    PlacementState state;
    Rect rect;
  } const cases[] = {
      {"attached", PlacementState::InWindow, {904, 582, 1264, 738}},
      {"detached", PlacementState::Detached, DESKTOP_CARD},
      {"returning", PlacementState::Returning, {540, 344, 900, 500}},
      {"returned", PlacementState::InWindow, {904, 582, 1264, 738}},
  };
  std::vector<std::pair<Rect, Affine>> seen;
  for (auto const& c : cases) {
    SCOPED_TRACE(c.phase);
    placement.reset();
    drive(c.phase);
    EXPECT_EQ(placement.state(), c.state);
    EXPECT_EQ(card(), c.rect);
    EXPECT_FALSE(placement.is_handoff_animating()) << "a pinned hand-off holds still";
    clock.advance(milliseconds(10'000));
    auto const shown = std::make_pair(card(), placement.presentation_transform());
    EXPECT_EQ(shown.second, placement.presentation_transform());
    for (auto const& other : seen) {
      EXPECT_FALSE(other == shown) << "two phases would look the same";
    }
    seen.push_back(shown);
  }
  // "returned" at 500 is on its way from the drop point to the dock: its centre lies between.
  placement.reset();
  drive("returned");
  Point const c = placement.presentation_transform().apply(card().center());
  EXPECT_GT(c.x, 720.0);
  EXPECT_LT(c.x, 1084.0);
  EXPECT_FALSE(placement.is_initial()) << "the hand-off is still showing";
}

TEST_F(FloatingPlacementTest, HandoffAnimatesOnTheInjectedClockThenSettles) {
  placement.begin_drag({1000, 600}, WINDOW, card());
  placement.update_drag({900, 500}, WINDOW, card());
  EXPECT_EQ(placement.state(), PlacementState::InWindow);
  auto const request = placement.update_drag({1300, 500}, WINDOW, card());
  ASSERT_TRUE(request) << "leaving the window asks to detach";
  EXPECT_EQ(request->action, PlacementAction::DetachToDesktop);
  EXPECT_EQ(placement.state(), PlacementState::Detached);
  EXPECT_TRUE(placement.is_handoff_animating());
  EXPECT_EQ(placement.handoff_progress(), 0);
  clock.advance(FloatingPlacement::HANDOFF_DURATION / 2);
  EXPECT_EQ(placement.handoff_progress(), 500);
  EXPECT_FALSE(placement.presentation_transform().is_identity());
  clock.advance(FloatingPlacement::HANDOFF_DURATION);
  EXPECT_FALSE(placement.is_handoff_animating());
  EXPECT_TRUE(placement.presentation_transform().is_identity());
  EXPECT_FALSE(placement.end_drag()) << "a detached card's drag just ends";

  placement.confirm_app_adoption(WINDOW);
  EXPECT_TRUE(placement.is_handoff_animating());
  EXPECT_FALSE(placement.is_initial());
  clock.advance(FloatingPlacement::HANDOFF_DURATION);
  EXPECT_TRUE(placement.is_initial()) << "docked and still again";

  placement.set_reduce_motion(true);
  placement.detach_to_desktop(DESKTOP_CARD);
  EXPECT_FALSE(placement.is_handoff_animating());
  EXPECT_TRUE(placement.presentation_transform().is_identity());
}

TEST_F(FloatingPlacementTest, InWindowDragStaysInsideAndIsKept) {
  placement.begin_drag({1000, 600}, WINDOW, card()); // grabbed 96 px right of the card's left
  placement.update_drag({1279, 10}, WINDOW, card());
  EXPECT_EQ(card(), (Rect{920, 0, 1280, 156})) << "clamped into the window";
  EXPECT_FALSE(placement.end_drag());
  EXPECT_EQ(card(), (Rect{920, 0, 1280, 156}));
  EXPECT_FALSE(placement.is_initial());
  EXPECT_FALSE(placement.update_drag({10, 10}, WINDOW, card())) << "no drag, no move";
  EXPECT_EQ(card(), (Rect{920, 0, 1280, 156}));
}

TEST_F(FloatingPlacementTest, DetachedCardReturnsOnlyWhenMostlyOverTheWindow) {
  placement.detach_to_desktop({1400, 100, 1760, 256});
  placement.begin_drag({1500, 120}, WINDOW, card());
  placement.update_drag({1290, 120}, WINDOW, card());
  EXPECT_EQ(placement.state(), PlacementState::Detached) << "pointer outside";
  placement.update_drag({1270, 120}, WINDOW, card());
  EXPECT_EQ(placement.state(), PlacementState::Detached) << "card mostly outside";
  placement.update_drag({1100, 120}, WINDOW, card());
  EXPECT_EQ(placement.state(), PlacementState::Returning);
  placement.update_drag({1500, 120}, WINDOW, card());
  EXPECT_EQ(placement.state(), PlacementState::Detached) << "dragged off again";
  placement.update_drag({600, 300}, WINDOW, card());
  auto const request = placement.end_drag();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->action, PlacementAction::ReturnToApp);
  EXPECT_EQ(request->rect, (Rect{500, 280, 860, 436}));
}

TEST_F(FloatingPlacementTest, PlatformEventsMoveReattachAndUseSurfaceBounds) {
  placement.move_to_desktop({100, 100, 460, 256});
  EXPECT_EQ(placement.state(), PlacementState::Detached) << "a geometry event marks it detached";
  EXPECT_EQ(card(), (Rect{100, 100, 460, 256}));
  EXPECT_EQ(placement.rect(WINDOW, {2000, 50, 2376, 222}), (Rect{2008, 58, 2368, 214}))
      << "inside the surface the platform gave";
  placement.reattach_to_app(WINDOW, WINDOW);
  EXPECT_EQ(placement.state(), PlacementState::InWindow);
  EXPECT_EQ(card(), (Rect{904, 582, 1264, 738}));
  placement.confirm_app_adoption(WINDOW); // already in the window: nothing
  clock.advance(milliseconds(1000));
  EXPECT_TRUE(placement.is_initial());
}

TEST(FloatingSurface, ProtocolRectAndOutlines) {
  using floating_surface::protocol_rect;
  EXPECT_EQ(protocol_rect({812, 112, 376, 172}), (Rect{812, 112, 1188, 284}));
  EXPECT_EQ(protocol_rect({-20, 5, -3, 10}), (Rect{-20, 5, -20, 15}));

  BezPath const outline = soft_outline({0, 0, 360, 156});
  ASSERT_FALSE(outline.empty());
  EXPECT_EQ(outline.elements().front().verb, PathVerb::MoveTo);
  EXPECT_EQ(outline.elements().back().verb, PathVerb::ClosePath);
  for (auto const& el : outline.elements()) {
    for (auto const& p : el.p) {
      EXPECT_GE(p.x, 0.0);
      EXPECT_LE(p.x, 360.0);
    }
  }
  EXPECT_TRUE(soft_outline({0, 0, 0, 10}).empty());
}

TEST(AccessNode, NumericIdsAreFnv1aWithTerminator) {
  EXPECT_EQ(access::node_id_for(""), 0xaf64724c8602eb6eULL);
  EXPECT_EQ(access::node_id_for("abc"), 0xfc182483ee0806dcULL);
  auto const node = access::AccessNode{}.with_id("maps.control:zoom-in");
  EXPECT_EQ(node.id_text, "maps.control:zoom-in");
  EXPECT_EQ(node.automation_id, "maps.control:zoom-in");
  EXPECT_EQ(node.id, access::node_id_for("maps.control:zoom-in"));
}

TEST(AccessNode, BindingsFollowTheDeclaredTree) {
  auto button = [](std::string_view id, std::string_view name) {
    access::AccessNode n;
    n.role = access::ROLE_BUTTON;
    n.state = 2;
    return std::move(n).with_id(id).with_name(name);
  };
  access::AccessNode search;
  search.role = access::ROLE_SEARCH_FIELD;
  search = std::move(search).with_id("maps.offline.search");
  access::AccessNode hidden_group;
  hidden_group.hidden = true;
  hidden_group.children.push_back(button("maps.hidden", "Hidden"));
  access::AccessNode unnamed_label; // no id: nothing to bind
  unnamed_label.role = access::ROLE_BUTTON;

  auto root = access::AccessNode{}.with_optional_name("Maps").with_children(
      {button("maps.control:zoom-in", "Zoom in"), search, hidden_group, unnamed_label,
       button("maps.navigation.end", "End navigation")});
  root.role = access::ROLE_WINDOW;
  auto const bindings = widget::semantic_action_bindings(root);
  ASSERT_EQ(bindings.size(), 4u);
  EXPECT_EQ(bindings[0].id, "maps.control:zoom-in");
  EXPECT_EQ(bindings[0].action, access::AccessAction::Press);
  EXPECT_EQ(bindings[0].path, std::vector<std::size_t>{0});
  EXPECT_EQ(bindings[1].action, access::AccessAction::Focus);
  EXPECT_EQ(bindings[2].action, access::AccessAction::SetValue);
  EXPECT_EQ(bindings[3].id, "maps.navigation.end");
  EXPECT_EQ(bindings[3].label, "End navigation");
  EXPECT_EQ(bindings[3].path, std::vector<std::size_t>{4});

  root.children.pop_back(); // "End navigation" no longer declared
  for (auto const& b : widget::semantic_action_bindings(root)) {
    EXPECT_NE(b.id, "maps.navigation.end");
  }
}

} // namespace
