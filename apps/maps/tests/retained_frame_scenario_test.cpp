// The window's retained frame through a session: after each step (a hover, typing into the
// search box, a theme switch, a pan) the frame repainted where the scene changed must show
// exactly what a full replay of the same scene shows; once the window settled, a hover repaints
// only its button.

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "app/map_controls.h"
#include "draw/map_layers.h"
#include "input/semantics.h"
#include "platform/render/offscreen.h"
#include "platform/render/retained_frame.h"
#include "platform/render/tile_surface_cache.h"
#include "platform/tests/pixel_difference.h"
#include "scenario.h"

namespace maps {
namespace {

using zarn_ui::Theme;
using zarn_ui::render::RetainedFrame;
using zarn_ui::render::TileSurfaceCache;
using zarn_ui::test::area;

constexpr int W = 1280;
constexpr int H = 800;

/// The colour bytes of an RGB24 surface (the unused fourth byte masked).
std::vector<std::uint32_t> colours(cairo_surface_t* surface) {
  int const stride = cairo_image_surface_get_stride(surface);
  unsigned char const* data = cairo_image_surface_get_data(surface);
  std::vector<std::uint32_t> out(static_cast<std::size_t>(W) * H);
  for (int y = 0; y < H; ++y) {
    std::memcpy(&out[static_cast<std::size_t>(y) * W], data + y * stride, W * 4);
  }
  for (auto& px : out) {
    px &= 0xffffff;
  }
  return out;
}

std::vector<std::uint32_t> full_replay(zarn_ui::Scene const& scene, Color base) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, W, H);
  TileSurfaceCache tiles;
  EXPECT_TRUE(zarn_ui::render_into(scene, surface, base, 1.0, &tiles).has_value());
  auto out = colours(surface);
  cairo_surface_destroy(surface);
  return out;
}

TEST(RetainedFrame, EveryStepOfASessionShowsWhatAFullReplayShows) {
  test::Session s({}, W, H);
  RetainedFrame frame;
  TileSurfaceCache tiles;
  Color base = Theme::light().surface;
  // Brings the frame to the session's last scene; answers the area repainted.
  auto show = [&](char const* what) {
    SCOPED_TRACE(what);
    auto const painted = frame.render(s.scene, W, H, 1.0, base, &tiles);
    EXPECT_TRUE(painted.has_value());
    EXPECT_TRUE(colours(frame.surface()) == full_replay(s.scene, base));
    return painted ? area(*painted) : -1;
  };
  show("the demo");
  s.frame();
  show("the map layers as tiles, from the second frame at one zoom");
  s.frame();
  EXPECT_EQ(show("a steady frame"), 0);

  Point const zoom_in = map_control_rect(s.app().map_rect, 0).center();
  s.move(zoom_in);
  long const hover = show("the pointer on the zoom button");
  EXPECT_GT(hover, 0);
  EXPECT_LT(hover, W * H / 20);
  s.move(Point{900, 450});
  EXPECT_GT(show("the pointer back on the map"), 0);

  auto const field = s.search_item(SearchItem::field());
  ASSERT_TRUE(field.has_value());
  s.click(*field);
  show("the search box focused");
  s.type("er");
  long const typed = show("two letters typed");
  EXPECT_GT(typed, 0);
  EXPECT_LT(typed, W * H / 2);

  s.set_theme(Theme::dark());
  base = Theme::dark().surface;
  s.frame();
  EXPECT_EQ(show("the dark theme"), long{W} * H);

  s.drag(Point{900, 450}, Point{860, 420});
  show("the map dragged");
}

TEST(RetainedFrame, TheMapIsRedrawnFromItsTilesUnaskedSoAHoverRepaintsOnlyTheButton) {
  // A frame at a new zoom draws the map's layers directly and the next one from cached tiles.
  // Left to the next input, that switch repaints the whole window for a hover.
  struct Case {
    char const* what;
    std::function<void(test::Session&)> step;
  } const cases[] = {
      {"after the start", [](test::Session&) {}},
      {"after a zoom by the wheel",
       [](test::Session& s) {
         s.wheel(Point{900, 450}, 1.0f);
       }},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    test::Session s({}, W, H);
    // As the window loop: frames while the application asks for them, then it sleeps.
    auto settle = [&s] {
      for (int i = 0; i < 100 && s.app().needs_frame(); ++i) {
        s.frame();
      }
      EXPECT_FALSE(s.app().needs_frame());
    };
    settle();
    c.step(s);
    settle();
    RetainedFrame frame;
    TileSurfaceCache tiles;
    Color const base = Theme::light().surface;
    ASSERT_TRUE(frame.render(s.scene, W, H, 1.0, base, &tiles).has_value());
    s.move(map_control_rect(s.app().map_rect, 0).center());
    auto const hover = frame.render(s.scene, W, H, 1.0, base, &tiles);
    ASSERT_TRUE(hover.has_value());
    EXPECT_GT(area(*hover), 0);
    EXPECT_LT(area(*hover), W * H / 100);
  }
}

} // namespace
} // namespace maps
