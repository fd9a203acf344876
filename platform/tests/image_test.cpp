#include "platform/scene/image.h"

#include <gtest/gtest.h>

#include <array>

namespace zarn_ui {
namespace {

TEST(ImageFromRgba, PremultipliesEveryChannelValueWithRounding) {
  // Every (channel, alpha) pair once: the fast path must equal round(c * a / 255).
  std::vector<std::uint8_t> rgba;
  rgba.reserve(256 * 256 * 4);
  for (unsigned a = 0; a < 256; ++a) {
    for (unsigned c = 0; c < 256; ++c) {
      rgba.insert(rgba.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(255 - c),
                               static_cast<std::uint8_t>(c / 2), static_cast<std::uint8_t>(a)});
    }
  }
  auto const image = image_from_rgba(rgba, 256, 256);
  ASSERT_TRUE(image);
  auto expect = [](unsigned c, unsigned a) { return (c * a + 127) / 255; };
  for (unsigned a = 0; a < 256; ++a) {
    for (unsigned c = 0; c < 256; ++c) {
      std::uint32_t const px = image->argb[a * 256 + c];
      ASSERT_EQ(px >> 24, a);
      ASSERT_EQ((px >> 16) & 0xFF, expect(c, a)) << c << " " << a;
      ASSERT_EQ((px >> 8) & 0xFF, expect(255 - c, a));
      ASSERT_EQ(px & 0xFF, expect(c / 2, a));
    }
  }
}

TEST(ImageFromRgba, SizeMismatchGivesNoImage) {
  std::array<std::uint8_t, 12> const three_pixels{};
  EXPECT_FALSE(image_from_rgba(three_pixels, 2, 2));
  EXPECT_TRUE(image_from_rgba(three_pixels, 3, 1));
}

} // namespace
} // namespace zarn_ui
