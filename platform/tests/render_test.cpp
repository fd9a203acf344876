#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/render/cairo_replay.h"
#include "platform/render/offscreen.h"
#include "platform/scene/scene.h"
#include "test_png.h"

using namespace zarn_ui;

namespace {

using Px = std::array<std::uint8_t, 4>;

constexpr Color RED{1, 0, 0, 1};
constexpr Color GREEN{0, 1, 0, 1};
constexpr Color BLUE{0, 0, 1, 1};
constexpr Px WHITE_PX{255, 255, 255, 255};

// Renders through the full screenshot path: replay, PNG encoding and decoding again.
test_png::Decoded shoot(Scene const& scene, std::uint32_t w, std::uint32_t h,
                        Color base = colors::WHITE) {
  OffscreenRenderer renderer(w, h);
  auto rgba = renderer.render_resilient(scene, base);
  EXPECT_EQ(rgba.size(), static_cast<std::size_t>(w) * h * 4);
  auto png = OffscreenRenderer::encode_png(renderer.width(), renderer.height(), rgba);
  EXPECT_TRUE(png.has_value()) << png.error();
  auto decoded = test_png::decode(*png);
  EXPECT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->rgba, rgba);
  return *decoded;
}

bool near(Px a, Px b, int tolerance = 2) {
  for (int i = 0; i < 4; ++i) {
    if (std::abs(int{a[i]} - int{b[i]}) > tolerance) {
      return false;
    }
  }
  return true;
}

std::string show(Px p) {
  return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]) + "," +
         std::to_string(p[3]);
}

SharedImage quad_image() {
  // 2 × 2: red, green / blue, white.
  std::vector<std::uint8_t> rgba = {255, 0, 0,   255, 0,   255, 0,   255,
                                    0,   0, 255, 255, 255, 255, 255, 255};
  return image_from_rgba(rgba, 2, 2);
}

struct PixelCase {
  std::uint32_t x, y;
  Px expected;
};

void expect_pixels(test_png::Decoded const& img, std::span<PixelCase const> cases) {
  for (auto const& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    EXPECT_TRUE(near(img.at(c.x, c.y), c.expected))
        << "got " << show(img.at(c.x, c.y)) << " want " << show(c.expected);
  }
}

} // namespace

TEST(OffscreenRender, FillsStrokesImagesAndClipsLandWhereRecorded) {
  Scene scene;
  scene.fill(FillRule::NonZero, Affine::identity(), RED, Rect{10, 10, 40, 30});
  scene.stroke(Stroke::with_width(6), Affine::identity(), BLUE, Line{{50, 10}, {90, 10}});
  scene.draw_image_rect(quad_image(), Rect{10, 40, 30, 60}, Affine::identity());
  scene.push_layer(Rect{60, 40, 80, 60}, Affine::identity());
  scene.fill(FillRule::NonZero, Affine::identity(), GREEN, Rect{50, 30, 95, 75});
  scene.pop_layer();
  // After the pop nothing is clipped any more.
  scene.fill(FillRule::NonZero, Affine::translate(0, 70), colors::BLACK, Rect{0, 0, 10, 10});

  auto img = shoot(scene, 100, 80);
  ASSERT_EQ(img.width, 100u);
  ASSERT_EQ(img.height, 80u);
  PixelCase const cases[] = {
      {20, 20, {255, 0, 0, 255}}, // inside the fill
      {5, 5, WHITE_PX},           // base
      {70, 10, {0, 0, 255, 255}}, // on the stroke
      {70, 14, WHITE_PX},         // beyond half the stroke width
      {91, 10, {0, 0, 255, 255}}, // inside the round cap past the end point
      {11, 41, {255, 0, 0, 255}}, // image corners, scaled 10×
      {28, 41, {0, 255, 0, 255}}, //
      {11, 58, {0, 0, 255, 255}}, //
      {28, 58, {255, 255, 255, 255}},
      {70, 50, {0, 255, 0, 255}}, // inside the clip
      {55, 35, WHITE_PX},         // the green fill outside the clip
      {90, 70, WHITE_PX},         //
      {5, 75, {0, 0, 0, 255}},    // drawn after the layer closed
  };
  expect_pixels(img, cases);
}

TEST(OffscreenRender, StrokeCapsAndDashesFollowTheStyle) {
  auto butt = [](Stroke s) {
    s.start_cap = s.end_cap = Cap::Butt;
    return s;
  };
  struct Case {
    char const* name;
    Stroke style;
    std::uint32_t x;
    bool painted;
  } const cases[] = {
      {"round cap reaches past the end", Stroke::with_width(8), 53, true},
      {"butt cap stops at the end", butt(Stroke::with_width(8)), 53, false},
      // Dashes of 10 on, 10 off from x = 10: x = 15 is on, x = 25 is off.
      {"dash on", butt(Stroke::with_width(4).with_dashes(0, {10, 10})), 15, true},
      {"dash off", butt(Stroke::with_width(4).with_dashes(0, {10, 10})), 25, false},
      {"dash offset shifts the pattern", butt(Stroke::with_width(4).with_dashes(10, {10, 10})), 25,
       true},
      // A pattern cairo would refuse is drawn solid instead of breaking the frame.
      {"negative dash draws solid", butt(Stroke::with_width(4).with_dashes(0, {-1, 5})), 25, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Scene scene;
    scene.stroke(c.style, Affine::identity(), colors::BLACK, Line{{10, 10}, {50, 10}});
    auto img = shoot(scene, 64, 20);
    Px const px = img.at(c.x, 10);
    EXPECT_EQ(px[0] < 64, c.painted) << show(px);
  }
}

TEST(OffscreenRender, LayerAlphaAndPremultipliedReadBack) {
  Scene scene;
  scene.push_layer(Rect{0, 0, 10, 10}, Affine::identity(), 0.5f);
  scene.fill(FillRule::NonZero, Affine::identity(), colors::BLACK, Rect{0, 0, 10, 10});
  scene.pop_layer();
  // Half-transparent red on a transparent base reads back as straight red with alpha 128.
  scene.fill(FillRule::NonZero, Affine::identity(), Color{1, 0, 0, 0.5f}, Rect{10, 0, 20, 10});
  // An image at half opacity.
  std::vector<std::uint8_t> const red_px = {255, 0, 0, 255};
  scene.draw_image_rect(image_from_rgba(red_px, 1, 1), Rect{20, 0, 30, 10}, Affine::identity(),
                        std::nullopt, 0.5f);
  auto img = shoot(scene, 30, 10, colors::TRANSPARENT);
  EXPECT_TRUE(near(img.at(5, 5), {0, 0, 0, 128})) << show(img.at(5, 5));
  EXPECT_TRUE(near(img.at(15, 5), {255, 0, 0, 128})) << show(img.at(15, 5));
  EXPECT_TRUE(near(img.at(25, 5), {255, 0, 0, 128})) << show(img.at(25, 5));
}

TEST(OffscreenRender, UndrawableCommandsAreSkippedAndLaterOnesStillDraw) {
  double const nan = std::numeric_limits<double>::quiet_NaN();
  double const inf = std::numeric_limits<double>::infinity();
  Scene scene;
  scene.pop_layer(); // unmatched
  scene.fill(FillRule::NonZero, Affine::identity(), RED, Rect{nan, 0, 10, 10});
  scene.fill(FillRule::NonZero, Affine::scale(0), RED, Rect{0, 0, 10, 10});
  scene.fill(FillRule::NonZero, Affine{inf, 0, 0, 1, 0, 0}, RED, Rect{0, 0, 10, 10});
  scene.fill(FillRule::NonZero, Affine::identity(), RED, Circle{{5, 5}, -3});
  scene.fill(FillRule::NonZero, Affine::identity(), RED, Ellipse{{5, 5}, 0, 3});
  scene.stroke(Stroke::with_width(nan), Affine::identity(), RED, Line{{0, 0}, {10, 10}});
  BezPath bad;
  bad.move_to({0, 0});
  bad.line_to({inf, 5});
  bad.line_to({10, 10});
  scene.fill(FillRule::NonZero, Affine::identity(), RED, bad);
  auto broken = std::make_shared<Image>();
  broken->width = 4;
  broken->height = 4; // no pixels
  scene.draw_image(broken, Affine::identity());
  scene.fill(FillRule::NonZero, Affine::identity(), BLUE, Rect{20, 0, 30, 10});
  scene.push_layer(Rect{0, 0, 5, 5}, Affine::identity()); // never popped

  auto img = shoot(scene, 40, 10);
  EXPECT_TRUE(near(img.at(5, 5), WHITE_PX)) << show(img.at(5, 5));
  EXPECT_TRUE(near(img.at(25, 5), {0, 0, 255, 255})) << show(img.at(25, 5));
}

TEST(OffscreenRender, HostileSizesNeitherHangNorBreakTheFrame) {
  Scene scene;
  // Sizes from bad input that would make cairo loop, allocate without bound or fail.
  scene.fill(FillRule::NonZero, Affine::identity(), GREEN, Circle{{1e300, 5}, 1e300});
  scene.stroke(Stroke::with_width(1e300), Affine::identity(), GREEN, Line{{0, 0}, {1, 1}});
  scene.stroke(Stroke::with_width(1e12), Affine::translate(-1e6, 0), GREEN, Circle{{0, 0}, 1});
  scene.fill(FillRule::NonZero, Affine::scale(1e300), GREEN, Rect{0, 0, 1e10, 1e10});
  scene.fill(FillRule::NonZero, Affine::scale(1e-300), GREEN, Rect{0, 0, 1, 1});
  scene.fill(FillRule::NonZero, Affine::scale(1e200) * Affine::scale(1e200), GREEN,
             Rect{0, 0, 1, 1});
  scene.draw_image(quad_image(), Affine::scale(1e9));
  scene.push_text(TextCmd{"huge", 1e9f, 0, GREEN, Affine::identity(), {}, nullptr});
  scene.push_text(TextCmd{"tiny", 10.0f, 0, GREEN, Affine::scale(1e-200), {}, nullptr});
  scene.fill(FillRule::NonZero, Affine::identity(), BLUE, Rect{20, 0, 30, 10});
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 10);
  auto r = render_into(scene, surface, colors::WHITE);
  EXPECT_TRUE(r) << r.error();
  std::vector<std::uint8_t> rgba(40 * 10 * 4);
  argb32_to_rgba8(cairo_image_surface_get_data(surface), cairo_image_surface_get_stride(surface),
                  40, 10, rgba.data());
  cairo_surface_destroy(surface);
  std::size_t const i = (5 * 40 + 25) * 4;
  EXPECT_TRUE(near({rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]}, {0, 0, 255, 255}));
}

TEST(OffscreenRender, ImagePartIsScaledOntoTheRectangle) {
  // The top-right quarter (green) of the 2 × 2 image stretched over a 20 × 20 rectangle, as a
  // missing tile shows its parent's quarter.
  Scene scene;
  scene.draw_image_rect(quad_image(), Rect{0, 0, 20, 20}, Affine::identity(), Rect{1, 0, 2, 1});
  auto img = shoot(scene, 20, 20);
  // Bilinear sampling blends a little of the neighbouring pixels in.
  EXPECT_TRUE(near(img.at(10, 10), {0, 255, 0, 255}, 8)) << show(img.at(10, 10));
  // Nothing for an empty destination or source.
  Scene empty;
  empty.draw_image_rect(quad_image(), Rect{5, 5, 5, 20}, Affine::identity());
  empty.draw_image_rect(quad_image(), Rect{0, 0, 20, 20}, Affine::identity(), Rect{1, 1, 1, 2});
  EXPECT_TRUE(empty.commands.empty());
}

TEST(OffscreenRender, OversizedTargetGivesTheBaseColour) {
  OffscreenRenderer renderer(40000, 2);
  Scene scene;
  scene.fill(FillRule::NonZero, Affine::identity(), RED, Rect{0, 0, 10, 2});
  auto rgba = renderer.render_resilient(scene, Color{0, 0, 1, 1});
  ASSERT_EQ(rgba.size(), 40000u * 2 * 4);
  EXPECT_EQ(rgba[0], 0);
  EXPECT_EQ(rgba[2], 255);
  EXPECT_EQ(rgba[3], 255);
}

TEST(EncodePng, SamePixelsGiveTheSameBytesWithoutTimeChunk) {
  std::vector<std::uint8_t> rgba(16 * 8 * 4);
  for (std::size_t i = 0; i < rgba.size(); ++i) {
    rgba[i] = static_cast<std::uint8_t>(i * 7);
  }
  auto a = OffscreenRenderer::encode_png(16, 8, rgba);
  auto b = OffscreenRenderer::encode_png(16, 8, rgba);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(*a, *b);
  std::string const bytes(a->begin(), a->end());
  EXPECT_EQ(bytes.find("tIME"), std::string::npos);
  auto decoded = test_png::decode(*a);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->width, 16u);
  EXPECT_EQ(decoded->height, 8u);
  EXPECT_EQ(decoded->rgba, rgba);
}

TEST(EncodePng, RejectsMismatchedOrEmptyInput) {
  std::vector<std::uint8_t> rgba(10 * 10 * 4);
  struct Case {
    std::uint32_t w, h;
    std::size_t bytes;
  } const cases[] = {{10, 10, 10 * 10 * 4 - 1}, {0, 10, 0}, {10, 0, 0}, {11, 10, 10 * 10 * 4}};
  for (auto const& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    auto png = OffscreenRenderer::encode_png(c.w, c.h, std::span(rgba.data(), c.bytes));
    ASSERT_FALSE(png.has_value());
    EXPECT_NE(png.error().find("encode png"), std::string::npos);
  }
}

TEST(CairoReplay, HonoursTheContextTransformAndLeavesItsStateAlone) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 20, 20);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, 2, 2); // a window's device scale
  Scene scene;
  scene.fill(FillRule::NonZero, Affine::identity(), RED, Rect{0, 0, 5, 5});
  scene.push_layer(Rect{0, 0, 1, 1}, Affine::identity()); // left open on purpose
  render::replay(scene, cr);
  cairo_matrix_t m;
  cairo_get_matrix(cr, &m);
  EXPECT_EQ(m.xx, 2.0);
  double x0, y0, x1, y1;
  cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
  EXPECT_EQ(x1, 10.0); // the whole surface in user space: no clip left behind
  EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  std::vector<std::uint8_t> rgba(20 * 20 * 4);
  argb32_to_rgba8(cairo_image_surface_get_data(surface), cairo_image_surface_get_stride(surface),
                  20, 20, rgba.data());
  cairo_surface_destroy(surface);
  // Logical 5 × 5 covers device pixel (9, 9) but not (11, 11).
  EXPECT_EQ(rgba[(9 * 20 + 9) * 4], 255);
  EXPECT_EQ(rgba[(11 * 20 + 11) * 4 + 3], 0);
}
