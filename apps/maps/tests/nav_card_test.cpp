#include <gtest/gtest.h>

#include <memory>

#include <fmt/format.h>

#include "app/maps_app.h"
#include "app/nav_card.h"
#include "base/clock.h"
#include "draw/nav_card_draw.h"
#include "platform/doc/document.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "shell/presets.h"
#include "shell/screenshot.h"
#include "ui/format.h"

namespace maps {
namespace {

using zarn_ui::Rect;
using zarn_ui::floating_surface::PlacementEvent;
using zarn_ui::floating_surface::PlacementEventKind;
using zarn_ui::floating_surface::ProtocolRect;
using zarn_ui::surface::FloatingPlacement;
using zarn_ui::surface::PlacementState;

constexpr Rect WINDOW{0.0, 0.0, 1280.0, 800.0};
/// Where the card docks in that window: 16 from the right, 62 from the bottom.
constexpr Rect DOCKED{904.0, 582.0, 1264.0, 738.0};

/// The demo application (a route to Marienplatz) in a 1280 x 800 window, its card on a
/// manual clock.
class NavCardTest : public testing::Test {
protected:
  void SetUp() override {
    app_ = std::make_unique<MapsApp>(demo_state_app());
    app_->window_rect_ = WINDOW;
    app_->nav_placement = FloatingPlacement({360.0, 156.0}, clock_);
    ASSERT_TRUE(app_->model.route);
  }

  void paint() {
    scene_.reset();
    draw_nav_card(*app_, scene_, zarn_ui::Affine::identity(), text_, theme_);
  }
  zarn_ui::TextCmd const* text_cmd(std::string_view s) const {
    for (auto const& cmd : scene_.commands) {
      if (auto const* t = std::get_if<zarn_ui::TextCmd>(&cmd); t && t->text == s) {
        return t;
      }
    }
    return nullptr;
  }
  PlacementEvent event(PlacementEventKind kind, ProtocolRect rect = {}, bool flag = false,
                       std::string id = std::string(NAV_SURFACE_ID)) const {
    return PlacementEvent{kind, std::move(id), rect, flag};
  }

  base::ManualClock clock_;
  std::unique_ptr<MapsApp> app_;
  zarn_ui::Scene scene_;
  zarn_ui::TextRenderer text_;
  zarn_ui::Theme theme_ = zarn_ui::Theme::dark();
};

TEST_F(NavCardTest, PaintsTheNextStepAndStoresItsRectangles) {
  Route const& route = *app_->model.route;
  ASSERT_FALSE(route.steps.empty());
  EXPECT_EQ(navigation_card_rect(*app_), DOCKED);
  paint();
  EXPECT_EQ(app_->nav_card_rects[NAV_END_BUTTON], (Rect{1206, 588, 1256, 612}));
  EXPECT_EQ(app_->nav_card_rects[NAV_DRAG_HEADER], (Rect{904, 582, 1202, 616}));
  for (std::string const& s :
       {std::string("Navigation"), std::string("End"), route.steps[0].instruction,
        format_distance(route.steps[0].distance_m), format_duration(route.duration_s),
        fmt::format("{} remaining", format_distance(route.distance_m))}) {
    EXPECT_NE(text_cmd(s), nullptr) << s;
  }
  auto const* end = text_cmd("End");
  ASSERT_NE(end, nullptr);
  EXPECT_EQ(end->color, theme_.text_secondary);

  app_->nav_card_hover = true;
  paint();
  EXPECT_EQ(text_cmd("End")->color, theme_.danger);
}

TEST_F(NavCardTest, ARouteWithoutStepsShowsItsTotalDistance) {
  app_->model.route->steps.clear();
  paint();
  EXPECT_NE(text_cmd("\xE2\x86\x91"), nullptr);
  EXPECT_NE(text_cmd("Continue on the route"), nullptr);
  EXPECT_NE(text_cmd(format_distance(app_->model.route->distance_m)), nullptr);
}

TEST_F(NavCardTest, WithoutARouteThereIsNoCardAndNoSurface) {
  paint();
  app_->nav_card_hover = true;
  app_->model.route.reset();
  paint();
  EXPECT_TRUE(scene_.commands.empty());
  EXPECT_EQ(app_->nav_card_rects[0], Rect{});
  EXPECT_EQ(app_->nav_card_rects[1], Rect{});
  EXPECT_FALSE(app_->nav_card_hover);
  EXPECT_FALSE(app_->surface_spec());
  EXPECT_TRUE(app_->detached_surface().empty());
  app_->nav_placement.detach_to_desktop(DOCKED);
  EXPECT_TRUE(app_->detached_surface().empty());
  // Events are ignored without a route.
  app_->apply_placement_event(event(PlacementEventKind::AdoptedByApp));
  EXPECT_EQ(app_->nav_placement.state(), PlacementState::Detached);
}

TEST_F(NavCardTest, SurfaceSpecAndDetachedSurface) {
  auto const surface = app_->surface_spec();
  ASSERT_TRUE(surface);
  EXPECT_EQ(surface->surface_id, "maps.active-navigation");
  EXPECT_EQ(surface->title, "Active navigation");
  EXPECT_EQ(surface->app_id, "test.zarn.maps");
  EXPECT_EQ(surface->kind, "active-navigation");
  EXPECT_EQ(surface->rect, (Rect{896, 574, 1272, 746}));
  EXPECT_TRUE(surface->flag);
  EXPECT_TRUE(app_->detached_surface().empty()) << "in the window";

  app_->nav_flags[2] = true;
  auto surfaces = app_->detached_surface();
  ASSERT_EQ(surfaces.size(), 1u);
  EXPECT_TRUE(surfaces[0].flag);
  app_->nav_flags[2] = false;

  app_->nav_placement.detach_to_desktop(Rect{100, 100, 460, 256});
  surfaces = app_->detached_surface();
  ASSERT_EQ(surfaces.size(), 1u);
  EXPECT_EQ(surfaces[0].surface_id, "maps.active-navigation");
  EXPECT_EQ(surfaces[0].rect, (Rect{92, 92, 468, 264}));
  EXPECT_FALSE(surfaces[0].flag);
}

TEST_F(NavCardTest, BoundsAreTheDetachedRectOnlyWithAnArea) {
  app_->nav_placement.detach_to_desktop(Rect{100, 100, 460, 256});
  app_->set_detached_rect(Rect{500, 40, 500, 212}); // zero width
  EXPECT_EQ(nav_card_bounds(*app_), WINDOW);
  EXPECT_EQ(navigation_card_rect(*app_), (Rect{100, 100, 460, 256}));
  app_->set_detached_rect(Rect{500, 40, 876, 212});
  EXPECT_EQ(nav_card_bounds(*app_), (Rect{500, 40, 876, 212}));
  EXPECT_EQ(navigation_card_rect(*app_), (Rect{508, 48, 868, 204}));
}

TEST_F(NavCardTest, PlacementEventsMoveTheCardBetweenWindowAndDesktop) {
  app_->apply_placement_event(
      event(PlacementEventKind::Moved, ProtocolRect{300, 200, 360, 156}, true, "other.surface"));
  EXPECT_EQ(app_->nav_placement.state(), PlacementState::InWindow) << "another surface";
  EXPECT_EQ(app_->nav_flags, (std::array<bool, 3>{false, false, false}));

  // Configured counts only once the card is detached.
  app_->apply_placement_event(event(PlacementEventKind::Configured));
  EXPECT_EQ(app_->nav_flags, (std::array<bool, 3>{false, false, false}));

  app_->apply_placement_event(
      event(PlacementEventKind::Moved, ProtocolRect{300, 200, 360, 156}, true));
  EXPECT_EQ(app_->nav_placement.state(), PlacementState::Detached);
  EXPECT_EQ(navigation_card_rect(*app_), (Rect{300, 200, 660, 356}));
  EXPECT_EQ(app_->nav_flags, (std::array<bool, 3>{false, true, false}));
  app_->apply_placement_event(event(PlacementEventKind::Moved, ProtocolRect{310, 200, 360, 156}));
  EXPECT_FALSE(app_->nav_flags[1]) << "the event's flag is copied";
  app_->apply_placement_event(event(PlacementEventKind::Configured));
  EXPECT_EQ(app_->nav_flags, (std::array<bool, 3>{true, true, false}));

  app_->apply_placement_event(event(PlacementEventKind::ReturnToApp));
  EXPECT_EQ(app_->nav_placement.state(), PlacementState::InWindow);
  EXPECT_EQ(navigation_card_rect(*app_), DOCKED);

  app_->nav_placement.detach_to_desktop(Rect{100, 100, 460, 256});
  app_->apply_placement_event(event(PlacementEventKind::AdoptedByApp));
  EXPECT_EQ(app_->nav_placement.state(), PlacementState::InWindow);
}

TEST_F(NavCardTest, TheMapViewPaintsTheCardOnlyWhileItBelongsToTheWindow) {
  EXPECT_TRUE(nav_card_visible_in_window(*app_));
  EXPECT_TRUE(nav_card_painted_in_window(*app_));

  // Compact with the navigation panel open: the panel shows the route instead.
  app_->window_rect_ = Rect{0, 0, 700, 800};
  app_->nav_open = true;
  EXPECT_FALSE(nav_card_visible_in_window(*app_));
  app_->nav_open = false;
  EXPECT_TRUE(nav_card_visible_in_window(*app_));
  app_->window_rect_ = WINDOW;

  app_->nav_flags[2] = true;
  EXPECT_FALSE(nav_card_visible_in_window(*app_));
  app_->nav_flags[2] = false;

  // Detached to the desktop: the surface paints it, not the window.
  app_->nav_placement.detach_to_desktop(Rect{100, 100, 460, 256});
  EXPECT_FALSE(nav_card_visible_in_window(*app_));
  EXPECT_TRUE(nav_card_painted_in_window(*app_)) << "detach requested, not confirmed";
  app_->nav_flags[1] = true;
  EXPECT_FALSE(nav_card_painted_in_window(*app_));

  app_->model.route.reset();
  EXPECT_FALSE(nav_card_painted_in_window(*app_));
}

TEST_F(NavCardTest, TheDelegatePaintsOnlyACardOutsideTheWindow) {
  auto const presence = zarn_ui::PresenceCtx::empty();
  auto const permissions = zarn_ui::PermissionContext::permissive();
  zarn_ui::widget::DrawCtx const ctx{text_, theme_, presence, permissions};
  auto* delegate = static_cast<zarn_ui::widget::Widget&>(*app_).as_floating_surface_mut();
  ASSERT_EQ(delegate, app_.get());
  delegate->draw_nav_card(scene_, zarn_ui::Affine::identity(), ctx);
  EXPECT_TRUE(scene_.commands.empty());
  app_->nav_placement.set_reduce_motion(true); // the lift played out: the card at its place
  app_->nav_placement.detach_to_desktop(Rect{100, 100, 460, 256});
  delegate->draw_nav_card(scene_, zarn_ui::Affine::identity(), ctx);
  EXPECT_NE(text_cmd("Navigation"), nullptr);
  EXPECT_EQ(app_->nav_card_rects[NAV_END_BUTTON], (Rect{402, 106, 452, 130}));
}

TEST_F(NavCardTest, AHandOffKeepsFramesComingUnlessMotionIsReduced) {
  app_->jobs_in_flight = 0;
  ASSERT_FALSE(app_->nav_placement.is_handoff_animating());
  bool const before = app_->needs_frame();
  app_->nav_placement.detach_to_desktop(Rect{100, 100, 460, 256});
  EXPECT_TRUE(app_->needs_frame());
  app_->reduce_motion = true;
  EXPECT_EQ(app_->needs_frame(), before);
  app_->reduce_motion = false;
  clock_.advance(FloatingPlacement::HANDOFF_DURATION);
  EXPECT_EQ(app_->needs_frame(), before);
}

TEST_F(NavCardTest, EndingTheNavigationPutsTheCardBack) {
  zarn_ui::doc::Document doc;
  app_->nav_placement.detach_to_desktop(Rect{100, 100, 460, 256});
  app_->nav_flags = {true, true, false};
  app_->nav_card_hover = true;
  app_->nav_drag = 1;
  app_->end_navigation(doc);
  EXPECT_FALSE(app_->model.route);
  EXPECT_TRUE(app_->nav_placement.is_initial());
  EXPECT_EQ(app_->nav_flags, (std::array<bool, 3>{false, false, false}));
  EXPECT_FALSE(app_->nav_card_hover);
  EXPECT_FALSE(app_->nav_drag);
}

TEST_F(NavCardTest, ScreenshotPhasesDriveThePlacement) {
  struct Case {
    char const* phase;
    PlacementState state;
    std::array<bool, 3> flags;
    bool hover;
    std::uint16_t progress;
    bool dragging;
    bool painted_in_window; // by the map view; otherwise by the surface delegate
  } const cases[] = {
      {"attached", PlacementState::InWindow, {false, false, false}, false, 1000, false, true},
      {"detached", PlacementState::Detached, {true, true, false}, false, 1000, false, false},
      {"hover", PlacementState::Detached, {true, true, false}, true, 1000, false, false},
      {"returning", PlacementState::Returning, {true, true, false}, false, 500, true, false},
      {"returned", PlacementState::InWindow, {true, true, false}, false, 500, false, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.phase);
    SetUp();
    apply_floating_navigation_phase(*app_, c.phase);
    EXPECT_EQ(app_->nav_placement.state(), c.state);
    EXPECT_EQ(app_->nav_flags, c.flags);
    EXPECT_EQ(app_->nav_card_hover, c.hover);
    EXPECT_EQ(app_->nav_placement.handoff_progress(), c.progress);
    EXPECT_EQ(app_->nav_placement.is_dragging(), c.dragging);
    EXPECT_EQ(nav_card_painted_in_window(*app_), c.painted_in_window);
    EXPECT_EQ(app_->nav_placement.is_in_window(), c.state == PlacementState::InWindow);
  }
  // Detached at the desktop place of the pictures.
  SetUp();
  apply_floating_navigation_phase(*app_, "detached");
  EXPECT_EQ(navigation_card_rect(*app_), (Rect{820, 120, 1180, 276}));
  // Dragged from (1000, 136) to (720, 360): the grab point stays under the pointer.
  SetUp();
  apply_floating_navigation_phase(*app_, "returning");
  EXPECT_EQ(navigation_card_rect(*app_), (Rect{540, 344, 900, 500}));
}

TEST_F(NavCardTest, ACardOnItsSurfaceIsGrabbedWhereItIsSeen) {
  // On the desktop below and right of the window, painted by the surface delegate.
  app_->nav_placement.detach_to_desktop(Rect{1400, 900, 1760, 1056});
  app_->nav_flags = {true, true, false};
  app_->set_detached_rect(Rect{1392, 892, 1768, 1064});
  ASSERT_FALSE(nav_card_painted_in_window(*app_));
  paint();
  Rect const before = navigation_card_rect(*app_);
  ASSERT_EQ(before, (Rect{1400, 900, 1760, 1056}));
  zarn_ui::Rect const header = app_->nav_card_rects[NAV_DRAG_HEADER];
  zarn_ui::Point const grip{(header.x0 + header.x1) / 2, (header.y0 + header.y1) / 2};
  bool handled = false;
  app_->handle_event(zarn_ui::PointerMoved{grip.x, grip.y}, {}, nullptr, 1.0, handled);
  app_->handle_event(zarn_ui::PointerButton{grip.x, grip.y, 0, zarn_ui::ButtonState::Pressed}, {},
                     nullptr, 1.0, handled);
  ASSERT_TRUE(app_->nav_drag);
  app_->handle_event(zarn_ui::PointerMoved{grip.x + 10, grip.y + 20}, {}, nullptr, 1.0, handled);
  EXPECT_EQ(navigation_card_rect(*app_), before.translate({10, 20}))
      << "moved with the pointer, not first pulled into the window";
}

TEST_F(NavCardTest, WithReducedMotionAHandOffEndsAtOnce) {
  app_->set_reduce_motion(true);
  app_->nav_placement.detach_to_desktop(Rect{820, 120, 1180, 276});
  EXPECT_FALSE(app_->needs_frame() && app_->nav_placement.is_handoff_animating());
  EXPECT_EQ(app_->nav_placement.handoff_progress(), 1000) << "not frozen half-way without frames";
  EXPECT_EQ(app_->nav_placement.presentation_transform(), zarn_ui::Affine::identity());
}

} // namespace
} // namespace maps
