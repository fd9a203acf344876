#include "platform/render/retained_frame.h"

#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/render/offscreen.h"
#include "platform/tests/pixel_difference.h"
#include "platform/text/text_renderer.h"

namespace zarn_ui {
namespace {

using render::PixelRect;
using render::RetainedFrame;
using test::area;

constexpr int W = 240;
constexpr int H = 160;

/// The colour bytes of an RGB24 frame (the unused fourth byte left out).
std::vector<std::uint8_t> colours(cairo_surface_t* surface) {
  int const w = cairo_image_surface_get_width(surface);
  int const h = cairo_image_surface_get_height(surface);
  int const stride = cairo_image_surface_get_stride(surface);
  unsigned char const* data = cairo_image_surface_get_data(surface);
  std::vector<std::uint8_t> out;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint32_t px;
      std::memcpy(&px, data + y * stride + x * 4, 4);
      out.push_back(static_cast<std::uint8_t>(px >> 16));
      out.push_back(static_cast<std::uint8_t>(px >> 8));
      out.push_back(static_cast<std::uint8_t>(px));
    }
  }
  return out;
}

/// The scene replayed in full into a fresh frame.
std::vector<std::uint8_t> fresh(Scene const& scene, double scale, int w, int h) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  EXPECT_TRUE(render_into(scene, surface, colors::WHITE, scale).has_value());
  auto out = colours(surface);
  cairo_surface_destroy(surface);
  return out;
}

SharedImage checker(std::uint8_t shade) {
  std::vector<std::uint8_t> rgba;
  for (int i = 0; i < 16 * 16; ++i) {
    bool const dark = ((i % 16) / 4 + (i / 16) / 4) % 2 == 0;
    std::uint8_t const v = dark ? shade : 255;
    rgba.insert(rgba.end(), {v, v, 40, 255});
  }
  return image_from_rgba(rgba, 16, 16);
}

/// A little of everything a frame holds: a map-like background under a half-transparent layer,
/// strokes, an image, text, and a card on top.
Scene sample(TextRenderer const& text, SharedImage const& image) {
  Scene s;
  Affine const id = Affine::identity();
  s.fill(FillRule::NonZero, id, Color{0.9f, 0.9f, 0.85f, 1.0f}, Rect{0, 0, 240, 160});
  s.stroke(Stroke::with_width(6.0), id, Color{0.9f, 0.6f, 0.3f, 1.0f},
           Line{{-10, 40.3}, {250, 120.7}});
  s.push_layer(Rect{20.5, 20.5, 120.5, 100.5}, id, 0.6f);
  s.fill(FillRule::NonZero, id, Color{0.2f, 0.5f, 0.9f, 1.0f}, Circle{{70.2, 60.7}, 35.0});
  s.stroke(Stroke::with_width(2.5), id, Color{0.1f, 0.1f, 0.1f, 1.0f},
           RoundedRect(Rect{30.3, 30.6, 110.2, 90.1}, 8.0));
  s.pop_layer();
  s.draw_image_rect(image, Rect{150.25, 10.5, 182.25, 42.5}, id);
  s.fill(FillRule::NonZero, id, Color{1.0f, 1.0f, 1.0f, 1.0f},
         RoundedRect(Rect{130, 100, 230, 150}, 10.0));
  text.draw_text(s, "Marienplatz", 13.0f, Color{0.1f, 0.1f, 0.1f, 1.0f},
                 Affine::translate(138.4, 108.2));
  s.stroke(Stroke::with_width(1.5), id, Color{0.2f, 0.7f, 0.3f, 1.0f},
           Line{{5.5, 150.5}, {60.5, 150.5}});
  return s;
}

std::size_t index_of_text(Scene const& s) {
  for (std::size_t i = 0; i < s.commands.size(); ++i) {
    if (std::holds_alternative<TextCmd>(s.commands[i])) {
      return i;
    }
  }
  return s.commands.size();
}

TEST(RetainedFrame, RepaintsWhereTheSceneChangedAndShowsWhatAFullReplayShows) {
  TextRenderer text;
  SharedImage const image = checker(30);
  SharedImage const other_image = checker(200);
  struct Case {
    char const* what;
    std::function<void(Scene&)> change;
    long max_area; // of the repainted rectangles, device pixels at scale 1
  } const cases[] = {
      {"nothing changed", [](Scene&) {}, 0},
      {"a text changed",
       [&](Scene& s) {
         std::size_t const i = index_of_text(s);
         Scene t;
         text.draw_text(t, "Sendlinger Tor", 13.0f, Color{0.1f, 0.1f, 0.1f, 1.0f},
                        Affine::translate(138.4, 108.2));
         s.commands[i] = t.commands.front();
       },
       4000},
      {"a text changed colour",
       [](Scene& s) { std::get<TextCmd>(s.commands[index_of_text(s)]).color = colors::BLACK; },
       3000},
      {"a line moved",
       [](Scene& s) {
         std::get<StrokeCmd>(s.commands.back()).shape = Line{{5.5, 140.5}, {60.5, 140.5}};
       },
       1500},
      {"a layer's clip and alpha changed, its content not",
       [](Scene& s) {
         auto& layer = std::get<PushLayerCmd>(s.commands[2]);
         layer.clip = Rect{25.5, 20.5, 110.5, 95.5};
         layer.alpha = 1.0f;
       },
       12000},
      {"an image replaced",
       [&](Scene& s) { std::get<ImageCmd>(s.commands[6]).image = other_image; }, 1500},
      {"a card removed", [](Scene& s) { s.commands.erase(s.commands.begin() + 7); }, 6000},
      {"a drawing added inside the layer",
       [](Scene& s) {
         s.commands.insert(s.commands.begin() + 4, FillCmd{FillRule::NonZero, Affine::identity(),
                                                           colors::BLACK, Rect{40, 40, 50, 50}});
       },
       300},
      {"the layer dropped, its content kept",
       [](Scene& s) {
         s.commands.erase(s.commands.begin() + 5);
         s.commands.erase(s.commands.begin() + 2);
       },
       12000},
      {"a pop moved past a drawing: everything",
       [](Scene& s) { std::swap(s.commands[5], s.commands[6]); }, long{W} * H},
      {"two changes far apart",
       [](Scene& s) {
         std::get<FillCmd>(s.commands[3]).color = colors::BLACK;
         std::get<StrokeCmd>(s.commands.back()).color = colors::BLACK;
       },
       6000},
      // A tooltip came while a button's hover changed: only the two, not all drawn between.
      {"a drawing came while another far apart changed",
       [](Scene& s) {
         s.commands.insert(s.commands.begin() + 2, FillCmd{FillRule::NonZero, Affine::identity(),
                                                           colors::BLACK, Rect{200, 10, 210, 20}});
         std::get<StrokeCmd>(s.commands.back()).color = colors::BLACK;
       },
       600},
  };
  for (double const scale : {1.0, 2.0}) {
    int const w = static_cast<int>(W * scale);
    int const h = static_cast<int>(H * scale);
    for (auto const& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << " at scale " << scale);
      Scene const before = sample(text, image);
      Scene after = sample(text, image);
      c.change(after);
      RetainedFrame frame;
      auto const first = frame.render(before, w, h, scale, colors::WHITE, nullptr);
      ASSERT_TRUE(first.has_value());
      EXPECT_EQ(*first, (std::vector<PixelRect>{{0, 0, w, h}}));
      auto const second = frame.render(after, w, h, scale, colors::WHITE, nullptr);
      ASSERT_TRUE(second.has_value());
      EXPECT_LE(area(*second), static_cast<long>(c.max_area * scale * scale));
      EXPECT_EQ(second->empty(), c.max_area == 0);
      EXPECT_TRUE(colours(frame.surface()) == fresh(after, scale, w, h));
    }
  }
}

TEST(RetainedFrame, ANewSizeScaleOrBaseOrInvalidatePaintsEverything) {
  TextRenderer text;
  Scene const scene = sample(text, checker(30));
  RetainedFrame frame;
  ASSERT_TRUE(frame.render(scene, W, H, 1.0, colors::WHITE, nullptr).has_value());
  struct Case {
    char const* what;
    int w;
    int h;
    double scale;
    Color base;
    bool invalidate;
  } const cases[] = {
      {"same again", W, H, 1.0, colors::WHITE, false},
      {"bigger", W + 10, H, 1.0, colors::WHITE, false},
      {"denser", W + 10, H, 1.5, colors::WHITE, false},
      {"another base", W + 10, H, 1.5, colors::BLACK, false},
      {"invalidated", W + 10, H, 1.5, colors::BLACK, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.invalidate) {
      frame.invalidate();
    }
    auto const painted = frame.render(scene, c.w, c.h, c.scale, c.base, nullptr);
    ASSERT_TRUE(painted.has_value());
    std::vector<PixelRect> const everything{{0, 0, c.w, c.h}};
    bool const same = std::string_view(c.what) == "same again";
    EXPECT_EQ(*painted, same ? std::vector<PixelRect>{} : everything);
  }
}

TEST(SceneDamage, UnboundedGeometryDamagesTheWholeFrame) {
  Scene before;
  before.fill(FillRule::NonZero, Affine::identity(), colors::BLACK, Rect{1, 1, 5, 5});
  Scene after;
  after.fill(FillRule::NonZero, Affine::identity(), colors::BLACK,
             Rect{1, 1, std::numeric_limits<double>::infinity(), 5});
  EXPECT_EQ(render::scene_damage(before, after, 1.0, W, H), (std::vector<PixelRect>{{0, 0, W, H}}));
  // Far-off drawing damages nothing inside the frame.
  Scene off;
  off.fill(FillRule::NonZero, Affine::identity(), colors::BLACK, Rect{1000, 1000, 1005, 1005});
  Scene off_moved;
  off_moved.fill(FillRule::NonZero, Affine::identity(), colors::BLACK,
                 Rect{2000, 1000, 2005, 1005});
  EXPECT_TRUE(render::scene_damage(off, off_moved, 1.0, W, H).empty());
}

} // namespace
} // namespace zarn_ui
