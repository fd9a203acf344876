// The navigation card in the real window loop: floated onto the desktop as a second window under
// a private X server, dragged, handed back and ended there; and under the dummy video driver,
// which gives no second window, kept in the window.

#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/maps_app.h"
#include "app/nav_card.h"
#include "app/overflow_menu.h"
#include "draw/chrome_draw.h"
#include "platform/launch/launch.h"
#include "platform/surface/floating_placement.h"
#include "shell/launch_record.h"
#include "shell/presets.h"
#include "xvfb.h"

namespace maps {
namespace {

using zarn_ui::Point;
using zarn_ui::Rect;
using zarn_ui::surface::PlacementState;

/// One step of a scripted session: run every frame until it answers true.
using Step = std::function<bool(MapsApp&)>;

/// The demo application (a route is active) driven by a script from its tick: each frame the
/// current step runs after the application's own tick, and pushes SDL events for the next.
class Scripted final : public zarn_ui::widget::Widget {
public:
  Scripted(std::vector<Step> steps, std::size_t& done)
      : app_(demo_state_app()), steps_(std::move(steps)), next_(done) {}

  std::string_view type_name() const override { return "Scripted"; }
  zarn_ui::floating_surface::FloatingSurfaceDelegate* as_floating_surface_mut() override {
    return &app_;
  }
  zarn_ui::floating_surface::FloatingSurfaceDelegate const* as_floating_surface() const override {
    return &app_;
  }
  void tick(zarn_ui::State& state) override {
    app_.tick(state);
    if (next_ < steps_.size() && steps_[next_](app_)) {
      ++next_;
    }
  }
  zarn_ui::layout::NodeId build_layout(zarn_ui::layout::LayoutTree& tree,
                                       zarn_ui::Theme const& theme,
                                       zarn_ui::widget::NodeWidgetMap& map) override {
    return app_.build_layout(tree, theme, map);
  }
  void apply_layout(zarn_ui::layout::LayoutTree const& tree, Point origin,
                    zarn_ui::layout::NodeId node) override {
    app_.apply_layout(tree, origin, node);
  }
  void draw(zarn_ui::Scene& scene, zarn_ui::Affine t,
            zarn_ui::widget::DrawCtx const& ctx) override {
    app_.draw(scene, t, ctx);
  }
  void draw_root(zarn_ui::Scene& scene, zarn_ui::Affine t,
                 zarn_ui::widget::DrawCtx const& ctx) override {
    app_.draw_root(scene, t, ctx);
  }
  void handle_event(zarn_ui::Event const& e, zarn_ui::Modifiers m, zarn_ui::State* s, double scale,
                    bool& handled) override {
    app_.handle_event(e, m, s, scale, handled);
  }
  Rect window_rect() const override { return app_.window_rect(); }
  void set_reduce_motion(bool on) override { app_.set_reduce_motion(on); }
  bool needs_frame() const override { return true; } // the script runs on frames
  bool is_dragging_surface() const override { return app_.is_dragging_surface(); }

private:
  MapsApp app_;
  std::vector<Step> steps_;
  std::size_t& next_; // outlives the window loop, which drops the application
};

/// Runs the script in the real window loop (1280 x 800, no bus); the steps that ran.
std::size_t run_script(std::vector<Step> steps, std::uint64_t max_frames) {
  std::size_t done = 0;
  zarn_ui::launch::LaunchSpec application = maps_launch_spec();
  application.persist_open = nullptr;
  application.create_app = [&] { return std::make_unique<Scripted>(std::move(steps), done); };
  auto const result =
      zarn_ui::launch::run_window(application, {}, zarn_ui::launch::WindowOptions{max_frames});
  EXPECT_TRUE(result) << result.error().display();
  return done;
}

SDL_Window* find_window(bool card) {
  for (Uint32 id = 1; id < 32; ++id) {
    if (SDL_Window* w = SDL_GetWindowFromID(id)) {
      if ((std::string_view(SDL_GetWindowTitle(w)) == "Active navigation") == card) {
        return w;
      }
    }
  }
  return nullptr;
}

SDL_Window* shown_card_window() {
  SDL_Window* w = find_window(true);
  return w && (SDL_GetWindowFlags(w) & SDL_WINDOW_SHOWN) ? w : nullptr;
}

void push_mouse(SDL_Window* window, Uint32 type, Point at) {
  SDL_Event e{};
  e.type = type;
  int const x = static_cast<int>(at.x);
  int const y = static_cast<int>(at.y);
  if (type == SDL_MOUSEMOTION) {
    e.motion.windowID = SDL_GetWindowID(window);
    e.motion.x = x;
    e.motion.y = y;
  } else {
    e.button.windowID = SDL_GetWindowID(window);
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = x;
    e.button.y = y;
  }
  SDL_PushEvent(&e);
}

void click(SDL_Window* window, Point at) {
  push_mouse(window, SDL_MOUSEMOTION, at);
  push_mouse(window, SDL_MOUSEBUTTONDOWN, at);
  push_mouse(window, SDL_MOUSEBUTTONUP, at);
}

/// Ends the window loop as the desktop's close button does.
void close_main_window() {
  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  close.window.windowID = SDL_GetWindowID(find_window(false));
  SDL_PushEvent(&close);
}

Point centre(Rect const& r) {
  return {(r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2};
}

Rect window_bounds(SDL_Window* w) {
  int x = 0, y = 0, width = 0, height = 0;
  SDL_GetWindowPosition(w, &x, &y);
  SDL_GetWindowSize(w, &width, &height);
  return {double(x), double(y), double(x + width), double(y + height)};
}

/// Frames to wait: a step that counts down first.
Step wait(int frames) {
  auto left = std::make_shared<int>(frames);
  return [left](MapsApp&) { return --*left <= 0; };
}

/// "More map options", then "Float navigation", by pointer in the main window.
std::vector<Step> float_navigation() {
  return {
      [](MapsApp& app) {
        click(find_window(false), centre(overflow_button_rect(app.window_rect())));
        return true;
      },
      [](MapsApp& app) {
        if (!app.overflow_menu.is_open()) {
          return false;
        }
        // "Float navigation" is the last item: just above the menu's bottom padding.
        EXPECT_EQ(app.overflow_menu.items().size(), MENU_FLOAT_NAVIGATION + 1);
        Rect const menu = app.overflow_menu.rect();
        click(find_window(false),
              {(menu.x0 + menu.x1) / 2, menu.y1 - zarn_ui::widget::ContextMenu::PADDING - 10});
        return true;
      },
  };
}

/// The card's point `in_card` (main-window frame) where its surface shows it, local to it.
Point on_surface(MapsApp const& app, Point in_card) {
  Rect const surface = navigation_card_rect(app);
  return {in_card.x - surface.x0 + zarn_ui::surface::FloatingPlacement::SURFACE_MARGIN,
          in_card.y - surface.y0 + zarn_ui::surface::FloatingPlacement::SURFACE_MARGIN};
}

/// A drag of the card's header on its surface to `to` (screen), the pointer moved for real.
std::vector<Step> drag_surface_to(Point to) {
  auto from = std::make_shared<Point>();
  auto step = std::make_shared<int>(0);
  constexpr int STEPS = 12;
  return {
      [from](MapsApp& app) {
        SDL_Window* card = shown_card_window();
        if (!card || app.nav_placement.is_handoff_animating()) {
          return false;
        }
        Point const local = on_surface(app, centre(app.nav_card_rects[NAV_DRAG_HEADER]));
        Rect const at = window_bounds(card);
        *from = {at.x0 + local.x, at.y0 + local.y};
        SDL_WarpMouseGlobal(int(from->x), int(from->y));
        push_mouse(card, SDL_MOUSEBUTTONDOWN, local);
        return true;
      },
      [from, step, to](MapsApp& app) {
        if (!app.nav_drag) {
          ADD_FAILURE() << "the press on the header started no drag";
          return true;
        }
        ++*step;
        double const t = double(*step) / STEPS;
        SDL_WarpMouseGlobal(int(from->x + (to.x - from->x) * t),
                            int(from->y + (to.y - from->y) * t));
        return *step >= STEPS;
      },
      wait(3),
      [](MapsApp&) {
        if (SDL_Window* card = find_window(true)) {
          push_mouse(card, SDL_MOUSEBUTTONUP, {0, 0});
        }
        return true;
      },
      wait(3),
  };
}

/// A drag of the card's header in the main window to `to` (screen), the pointer moved for real.
std::vector<Step> drag_in_window_to(Point to) {
  auto from = std::make_shared<Point>();
  auto step = std::make_shared<int>(0);
  constexpr int STEPS = 12;
  return {
      [from](MapsApp& app) {
        SDL_Window* main = find_window(false);
        Point const grip = centre(app.nav_card_rects[NAV_DRAG_HEADER]);
        Rect const at = window_bounds(main);
        *from = {at.x0 + grip.x, at.y0 + grip.y};
        SDL_WarpMouseGlobal(int(from->x), int(from->y));
        push_mouse(main, SDL_MOUSEBUTTONDOWN, grip);
        return true;
      },
      wait(2),
      [from, step, to](MapsApp&) {
        ++*step;
        double const t = double(*step) / STEPS;
        SDL_WarpMouseGlobal(int(from->x + (to.x - from->x) * t),
                            int(from->y + (to.y - from->y) * t));
        return *step >= STEPS;
      },
      wait(3),
      [](MapsApp&) {
        push_mouse(find_window(false), SDL_MOUSEBUTTONUP, {0, 0});
        return true;
      },
      wait(3),
  };
}

std::vector<Step> operator+(std::vector<Step> a, std::vector<Step> const& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(FloatingWindow, TheCardFloatsAsASecondWindowIsDraggedHandedBackAndEndedThere) {
  if (!test::Xvfb::binary()) {
    GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps installs it)";
  }
  test::Xvfb xvfb("1600x1000x24");
  ASSERT_FALSE(xvfb.display().empty()) << "Xvfb did not start";
  setenv("DISPLAY", xvfb.display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);

  Rect const screen{0, 0, 1600, 1000};
  std::vector<Step> script =
      std::vector<Step>{wait(5)} +
      // Dragged out of the window by its header, below the window: it goes onto the desktop.
      drag_in_window_to({1000, 960}) +
      std::vector<Step>{
          [](MapsApp& app) {
            EXPECT_TRUE(shown_card_window()) << "a drag out of the window opens the surface";
            EXPECT_EQ(app.nav_placement.state(), PlacementState::Detached);
            EXPECT_FALSE(nav_card_painted_in_window(app));
            return true;
          },
      } +
      drag_surface_to({800, 500}) +
      std::vector<Step>{
          [](MapsApp& app) {
            EXPECT_EQ(shown_card_window(), nullptr);
            EXPECT_TRUE(app.nav_placement.is_in_window());
            return !app.nav_placement.is_handoff_animating();
          },
      } +
      float_navigation() +
      std::vector<Step>{
          [](MapsApp& app) {
            SDL_Window* card = shown_card_window();
            if (!card) {
              return false;
            }
            EXPECT_TRUE(SDL_GetWindowFlags(card) & SDL_WINDOW_BORDERLESS);
            EXPECT_NE(card, find_window(false)) << "a window of its own";
            EXPECT_TRUE(app.nav_flags[1]) << "the surface reported the card on the desktop";
            EXPECT_FALSE(nav_card_painted_in_window(app)) << "painted once, on its surface";
            // Shown where it was in the window: the main window's place plus the card's.
            Rect const main = window_bounds(find_window(false));
            Rect const at = window_bounds(card);
            Rect const card_rect = navigation_card_rect(app);
            EXPECT_NEAR(at.x0, main.x0 + card_rect.x0 - 8, 1.0);
            EXPECT_NEAR(at.y0, main.y0 + card_rect.y0 - 8, 1.0);
            EXPECT_NEAR(at.width(), card_rect.width() + 16, 1.0);
            return true;
          },
      } +
      // Off the window and past the screen's right edge: the surface stops at the edge.
      drag_surface_to({1700, 300}) +
      std::vector<Step>{
          [&screen](MapsApp& app) {
            SDL_Window* card = shown_card_window();
            EXPECT_TRUE(card) << "dropped beside the window, the card stays on the desktop";
            EXPECT_EQ(app.nav_placement.state(), PlacementState::Detached);
            if (card) {
              Rect const at = window_bounds(card);
              EXPECT_EQ(at.x1, screen.x1) << "kept on the screen";
              EXPECT_GT(at.y0, 0.0);
              EXPECT_LT(at.y0, 350.0) << "it followed the pointer up";
              // The card itself sits where its surface is.
              Rect const main = window_bounds(find_window(false));
              EXPECT_NEAR(navigation_card_rect(app).x0 + main.x0 - 8, at.x0, 1.0);
            }
            return true;
          },
      } +
      // Back over the middle of the main window: it is handed back and docks.
      drag_surface_to({800, 500}) +
      std::vector<Step>{
          [](MapsApp& app) {
            EXPECT_EQ(shown_card_window(), nullptr) << "the surface closes";
            EXPECT_TRUE(app.nav_placement.is_in_window());
            EXPECT_TRUE(nav_card_painted_in_window(app));
            return true;
          },
      } +
      float_navigation() +
      std::vector<Step>{
          [](MapsApp& app) {
            SDL_Window* card = shown_card_window();
            if (!card || app.nav_placement.is_handoff_animating()) {
              return false;
            }
            push_mouse(card, SDL_MOUSEMOTION,
                       on_surface(app, centre(app.nav_card_rects[NAV_END_BUTTON])));
            return true;
          },
          wait(2),
          [](MapsApp& app) {
            EXPECT_TRUE(app.nav_card_hover) << "the End button under the pointer is hovered";
            click(shown_card_window(), on_surface(app, centre(app.nav_card_rects[NAV_END_BUTTON])));
            return true;
          },
          wait(3),
          [](MapsApp& app) {
            EXPECT_FALSE(app.model.route) << "End on the surface ends the navigation";
            EXPECT_EQ(shown_card_window(), nullptr);
            close_main_window();
            return true;
          },
      };
  std::size_t const steps = script.size();
  EXPECT_EQ(run_script(std::move(script), 3000), steps) << "the script stalled";
  unsetenv("SDL_VIDEODRIVER");
  unsetenv("DISPLAY");
}

TEST(FloatingWindow, WithoutASecondWindowTheCardStaysInTheWindowAndKeepsWorking) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  auto const send = [](Uint32 type, Point at) { push_mouse(find_window(false), type, at); };
  std::vector<Step> script =
      std::vector<Step>{wait(3)} + float_navigation() +
      std::vector<Step>{
          wait(5),
          [](MapsApp& app) {
            EXPECT_EQ(find_window(true), nullptr) << "the dummy driver gives no second window";
            EXPECT_TRUE(nav_card_painted_in_window(app)) << "the card is not lost";
            return true;
          },
          // Dragged far past the window's right edge by its header.
          [send](MapsApp& app) {
            Point const grip = centre(app.nav_card_rects[NAV_DRAG_HEADER]);
            send(SDL_MOUSEMOTION, grip);
            send(SDL_MOUSEBUTTONDOWN, grip);
            send(SDL_MOUSEMOTION, {grip.x + 300, grip.y});
            send(SDL_MOUSEMOTION, {grip.x + 900, grip.y + 50});
            send(SDL_MOUSEBUTTONUP, {grip.x + 900, grip.y + 50});
            return true;
          },
          wait(3),
          [](MapsApp& app) {
            EXPECT_TRUE(nav_card_painted_in_window(app));
            Rect const window = app.window_rect();
            Rect const end = app.nav_card_rects[NAV_END_BUTTON];
            EXPECT_TRUE(window.contains({end.x0, end.y0}) && window.contains({end.x1, end.y1}))
                << "kept inside the window";
            return true;
          },
          [send](MapsApp& app) {
            Point const end = centre(app.nav_card_rects[NAV_END_BUTTON]);
            send(SDL_MOUSEMOTION, end);
            send(SDL_MOUSEBUTTONDOWN, end);
            send(SDL_MOUSEBUTTONUP, end);
            return true;
          },
          wait(2),
          [](MapsApp& app) {
            EXPECT_FALSE(app.model.route) << "its End button still works";
            close_main_window();
            return true;
          },
      };
  std::size_t const steps = script.size();
  EXPECT_EQ(run_script(std::move(script), 200), steps);
}

} // namespace
} // namespace maps
