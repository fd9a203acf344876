#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "platform/scene/color.h"
#include "platform/scene/geometry.h"
#include "platform/scene/scene.h"
#include "platform/theme/theme.h"

using namespace zarn_ui;

TEST(RoundedRect, RadiusIsClampedToHalfTheShorterSide) {
  struct Case {
    Rect rect;
    double radius;
    double expected;
  } const cases[] = {
      {{0, 0, 100, 40}, 8, 8},  {{0, 0, 100, 40}, 30, 20},          {{0, 0, 10, 100}, 30, 5},
      {{0, 0, 100, 40}, -3, 0}, {{0, 0, 100, 40}, std::nan(""), 0}, {{0, 0, 0, 40}, 8, 0},
      {{10, 10, 0, 0}, 8, 5}, // inverted rectangle: its extent still bounds the radius
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.radius);
    EXPECT_EQ(RoundedRect(c.rect, c.radius).radius, c.expected);
  }
}

TEST(Affine, ComposesAppliesAndInverts) {
  Affine const t = Affine::translate(10, 20) * Affine::scale(2, 3); // scale first
  EXPECT_EQ(t.apply({1, 1}), (Point{12, 23}));
  auto inv = t.inverse();
  ASSERT_TRUE(inv);
  Point const back = inv->apply({12, 23});
  EXPECT_DOUBLE_EQ(back.x, 1);
  EXPECT_DOUBLE_EQ(back.y, 1);
  EXPECT_FALSE(Affine::scale(0).inverse());
  EXPECT_EQ(t.transform_rect_bbox({0, 0, 1, 1}), (Rect{10, 20, 12, 23}));
}

TEST(Rect, IntersectionIsEmptyWhenApart) {
  Rect const a{0, 0, 10, 10};
  EXPECT_EQ(a.intersect({5, 5, 20, 20}), (Rect{5, 5, 10, 10}));
  EXPECT_TRUE(a.intersect({20, 20, 30, 30}).is_empty());
  EXPECT_TRUE(a.contains({0, 0}));
  EXPECT_FALSE(a.contains({10, 5})); // right edge is outside
  EXPECT_EQ(a.inflate(1, 2), (Rect{-1, -2, 11, 12}));
}

TEST(Color, PacksAndUnpacksThroughEightBits) {
  struct Case {
    float v;
    std::uint8_t byte;
  } const cases[] = {{0.0f, 0},  {1.0f, 255}, {0.5f, 128},       {0.498f, 127},
                     {-1.0f, 0}, {2.0f, 255}, {std::nanf(""), 0}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.v);
    EXPECT_EQ((Color{c.v, 0, 0, 1}.to_rgba8().r), c.byte);
  }
  EXPECT_EQ(Color::from_rgba8(46, 0, 0, 46).a, 46.0f * (1.0f / 255.0f));
  EXPECT_EQ((Rgba8{1, 2, 3, 4}.packed()), 0x04030201u);
  for (int b = 0; b < 256; ++b) {
    auto const u = static_cast<std::uint8_t>(b);
    ASSERT_EQ(Color::from_rgba8(u, u, u, u).to_rgba8(), (Rgba8{u, u, u, u}));
  }
}

TEST(Scene, AppendAppliesTheTransformAfterEachCommandsOwn) {
  Scene inner;
  inner.fill(FillRule::NonZero, Affine::scale(2), colors::BLACK, Rect{0, 0, 1, 1});
  inner.push_layer(Rect{0, 0, 5, 5}, Affine::identity());
  inner.pop_layer();
  Scene outer;
  outer.append(inner, Affine::translate(10, 0));
  ASSERT_EQ(outer.commands.size(), 3u);
  auto const& fill = std::get<FillCmd>(outer.commands[0]);
  EXPECT_EQ(fill.transform.apply({1, 1}), (Point{12, 2}));
  EXPECT_EQ(std::get<PushLayerCmd>(outer.commands[1]).transform, Affine::translate(10, 0));
}

TEST(Theme, DarkTestAndScaleAndFocusAliases) {
  auto luminance = [](Theme const& t) {
    Rgba8 const s = t.surface.to_rgba8();
    return 0.2126 * s.r + 0.7152 * s.g + 0.0722 * s.b;
  };
  struct Case {
    char const* name;
    Theme theme;
    bool dark;
  } const cases[] = {{"light", Theme::light(), false},
                     {"dark", Theme::dark(), true},
                     {"high contrast", Theme::high_contrast(), true}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(luminance(c.theme) < 128, c.dark);
    EXPECT_EQ(c.theme.focus_border, c.theme.border_focus);
    EXPECT_EQ(c.theme.text_scale, 1.0f);
    EXPECT_FALSE(c.theme.reduce_motion);
    // Primary text stands out from the card it sits on.
    Rgba8 const text = c.theme.text.to_rgba8(), card = c.theme.surface_raised.to_rgba8();
    EXPECT_GT(std::abs(int{text.g} - int{card.g}), 150);
  }
  EXPECT_EQ(Theme::dark().with_text_scale(2.0f).text_scale, 2.0f);
  EXPECT_EQ(Theme::dark().with_text_scale(std::nanf("")).text_scale, 1.0f);
  EXPECT_EQ(Theme::dark().with_text_scale(-1.0f).text_scale, 1.0f);
  EXPECT_TRUE(Theme::light().with_reduce_motion(true).reduce_motion);
}

TEST(Image, FromRgbaPremultipliesAndChecksTheSize) {
  std::vector<std::uint8_t> const rgba = {255, 0, 0, 128, 10, 20, 30, 255};
  auto image = image_from_rgba(rgba, 2, 1);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->argb[0], 0x80800000u); // red 255 × 128/255 rounds to 128
  EXPECT_EQ(image->argb[1], 0xFF0A141Eu);
  EXPECT_EQ(image->stride_bytes(), 8u);
  EXPECT_FALSE(image_from_rgba(rgba, 3, 1));
  EXPECT_FALSE(image_from_rgba(rgba, 1, 1));
}
