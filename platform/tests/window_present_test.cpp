// The window's frame buffer: the scene reaches the window's pixels at the frame's scale, over
// the whole drawable, also after the window was resized; only what changed is sent to the
// window, and all of it again once the window lost its pixels.

#include "platform/launch/window_present.h"

#include <stdlib.h>

#include <SDL.h>

#include <array>
#include <functional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace zarn_ui::launch {
namespace {

TEST(WindowPresent, PixelRatioIsDrawablePerWindowWidth) {
  struct Case {
    int pixels, window;
    double ratio;
  } const cases[] = {
      {1280, 1280, 1.0}, {2560, 1280, 2.0}, {1920, 1280, 1.5}, {0, 1280, 1.0}, {1280, 0, 1.0}};
  for (auto const& c : cases) {
    EXPECT_EQ(pixel_ratio(c.pixels, c.window), c.ratio) << c.pixels << " / " << c.window;
  }
}

TEST(WindowPresent, OnlyRendererResetsCountAsLostTextures) {
  struct Case {
    Uint32 type;
    bool reset;
  } const cases[] = {{SDL_RENDER_TARGETS_RESET, true},
                     {SDL_RENDER_DEVICE_RESET, true},
                     {SDL_WINDOWEVENT, false},
                     {SDL_MOUSEMOTION, false}};
  for (auto const& c : cases) {
    SDL_Event e{};
    e.type = c.type;
    EXPECT_EQ(is_render_reset(e), c.reset) << c.type;
  }
}

TEST(WindowPresent, TheSceneIsPaintedAtTheFramesScaleOverTheWholeDrawable) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
  SDL_Window* window =
      SDL_CreateWindow("t", 0, 0, 64, 48, SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_RESIZABLE);
  ASSERT_NE(window, nullptr) << SDL_GetError();
  {
    WindowPresenter presenter(window);
    Color const red = Color::from_rgba8(255, 0, 0);
    Color const base = Color::from_rgba8(0, 0, 255);
    Scene scene;
    scene.fill(FillRule::NonZero, Affine::identity(), red, Rect{8, 8, 16, 16});
    for (auto const& [w, h] : {std::pair{64, 48}, std::pair{100, 80}}) {
      SCOPED_TRACE(w);
      SDL_SetWindowSize(window, w, h);
      WindowPixels const px = presenter.pixels();
      EXPECT_EQ(px.width, w);
      EXPECT_EQ(px.height, h);
      EXPECT_EQ(px.ratio, 1.0);
      ASSERT_TRUE(presenter.present(scene, 2.0, base));
      // The dummy display has no renderer of its own: the software one shows on the surface.
      SDL_Surface* shown = SDL_GetWindowSurface(window);
      ASSERT_NE(shown, nullptr);
      ASSERT_EQ(shown->w, w);
      auto at = [&](int x, int y) {
        Uint32 const p = static_cast<Uint32 const*>(shown->pixels)[y * shown->pitch / 4 + x];
        Uint8 r = 0, g = 0, b = 0;
        SDL_GetRGB(p, shown->format, &r, &g, &b);
        return std::array<int, 3>{r, g, b};
      };
      EXPECT_EQ(at(20, 20), (std::array<int, 3>{255, 0, 0})) << "inside the rectangle, doubled";
      EXPECT_EQ(at(12, 12), (std::array<int, 3>{0, 0, 255})) << "left of it at scale 2";
      EXPECT_EQ(at(w - 1, h - 1), (std::array<int, 3>{0, 0, 255})) << "the far corner is painted";
      // After a renderer reset the same scene (nothing damaged) must still fill a new texture.
      presenter.forget_texture();
      SDL_FillRect(shown, nullptr, SDL_MapRGB(shown->format, 0, 0, 0));
      ASSERT_TRUE(presenter.present(scene, 2.0, base));
      shown = SDL_GetWindowSurface(window);
      EXPECT_EQ(at(20, 20), (std::array<int, 3>{255, 0, 0})) << "after a reset";
      EXPECT_EQ(at(w - 1, h - 1), (std::array<int, 3>{0, 0, 255})) << "after a reset";
    }
  }
  SDL_DestroyWindow(window);
  SDL_Quit();
}

using Rgb = std::array<int, 3>;

Rgb pixel_at(SDL_Surface const* s, int x, int y) {
  Uint32 const p = static_cast<Uint32 const*>(s->pixels)[y * s->pitch / 4 + x];
  Uint8 r = 0, g = 0, b = 0;
  SDL_GetRGB(p, s->format, &r, &g, &b);
  return {r, g, b};
}

TEST(WindowPresent, OnlyWhatChangedIsSentToTheWindow) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
  SDL_Window* window = SDL_CreateWindow("t", 0, 0, 64, 48, SDL_WINDOW_ALLOW_HIGHDPI);
  ASSERT_NE(window, nullptr) << SDL_GetError();
  Color const red = Color::from_rgba8(255, 0, 0);
  Color const base = Color::from_rgba8(0, 0, 255);
  auto square_at = [&](double x) {
    Scene scene;
    scene.fill(FillRule::NonZero, Affine::identity(), red, Rect{x, 8, x + 8, 16});
    return scene;
  };
  Rgb const green{0, 255, 0};
  struct Case {
    char const* name;
    std::function<void(WindowPresenter&)> before; // what happens to the window first
    double square_x;                              // the next frame's square (it was at 8)
    int max_area;                                 // of the rectangles sent
    Rgb far_corner;                               // (63, 47), far from either square
  } const cases[] = {
      {"the same scene again", nullptr, 8, 0, green},
      {"the square moved", nullptr, 40, 2 * 12 * 12, green},
      {"the window lost its pixels", [](WindowPresenter& p) { p.show_all_next(); }, 8, 64 * 48,
       Rgb{0, 0, 255}},
      // Resized and back between two frames: SDL makes a new surface of the old size, which may
      // lie at the old address, and holds nothing of the frame.
      {"the window was resized and back",
       [window](WindowPresenter&) {
         SDL_SetWindowSize(window, 80, 60);
         SDL_SetWindowSize(window, 64, 48);
       },
       8, 64 * 48, Rgb{0, 0, 255}},
  };
  {
    WindowPresenter presenter(window);
    ASSERT_FALSE(presenter.uses_renderer()) << "the dummy driver has a window surface";
    for (auto const& c : cases) {
      SCOPED_TRACE(c.name);
      auto const first = presenter.present(square_at(8), 1.0, base);
      ASSERT_TRUE(first) << first.error();
      // What the window showed is painted over: whatever the next frame does not send stays.
      SDL_Surface* shown = SDL_GetWindowSurface(window);
      SDL_FillRect(shown, nullptr, SDL_MapRGB(shown->format, 0, 255, 0));
      if (c.before) {
        c.before(presenter);
      }
      auto const sent = presenter.present(square_at(c.square_x), 1.0, base);
      ASSERT_TRUE(sent) << sent.error();
      int area = 0;
      for (render::PixelRect const& r : *sent) {
        area += r.width * r.height;
      }
      EXPECT_LE(area, c.max_area);
      shown = SDL_GetWindowSurface(window);
      EXPECT_EQ(pixel_at(shown, 63, 47), c.far_corner);
      if (c.square_x != 8) {
        EXPECT_EQ(pixel_at(shown, 44, 12), (Rgb{255, 0, 0})) << "the square where it went";
        EXPECT_EQ(pixel_at(shown, 12, 12), (Rgb{0, 0, 255})) << "and not where it was";
      }
    }
  }
  SDL_DestroyWindow(window);
  SDL_Quit();
}

} // namespace
} // namespace zarn_ui::launch
