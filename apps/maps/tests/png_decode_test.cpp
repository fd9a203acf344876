// Tile PNG decoding into straight-alpha RGBA8.

#include "tiles/png_decode.h"

#include <cstring>
#include <span>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "png_test_support.h"

namespace maps {
namespace {

using test::encode_png;
using test::PngImage;

std::span<std::uint8_t const> bytes_of(std::string const& s) {
  return {reinterpret_cast<std::uint8_t const*>(s.data()), s.size()};
}

std::vector<std::uint8_t> host_u16(std::initializer_list<std::uint16_t> values) {
  std::vector<std::uint8_t> out(values.size() * 2);
  std::size_t i = 0;
  for (std::uint16_t v : values) {
    std::memcpy(out.data() + i, &v, 2);
    i += 2;
  }
  return out;
}

TEST(PngDecode, EveryColourTypeBecomesRgba8) {
  struct Case {
    char const* name;
    PngImage img;
    std::vector<std::uint8_t> rgba;
  };
  Case const cases[] = {
      {"rgb 8-bit",
       {2, 1, 8, SPNG_COLOR_TYPE_TRUECOLOR, {10, 20, 30, 40, 50, 60}, {}, {}},
       {10, 20, 30, 255, 40, 50, 60, 255}},
      {"rgba 8-bit kept straight",
       {1, 1, 8, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, {200, 100, 50, 7}, {}, {}},
       {200, 100, 50, 7}},
      {"grey 16-bit reduced to its high byte",
       {2, 1, 16, SPNG_COLOR_TYPE_GRAYSCALE, host_u16({0xABCD, 0x1234}), {}, {}},
       {0xAB, 0xAB, 0xAB, 255, 0x12, 0x12, 0x12, 255}},
      {"grey with alpha",
       {1, 1, 8, SPNG_COLOR_TYPE_GRAYSCALE_ALPHA, {90, 30}, {}, {}},
       {90, 90, 90, 30}},
      {"grey 1-bit widened",
       {8, 1, 1, SPNG_COLOR_TYPE_GRAYSCALE, {0b10000001}, {}, {}},
       {255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0,   0,   0,   255,
        0,   0,   0,   255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 255}},
      {"palette with transparency",
       {3, 1, 8, SPNG_COLOR_TYPE_INDEXED, {0, 1, 2}, {255, 0, 0, 0, 255, 0, 0, 0, 255}, {0, 128}},
       {255, 0, 0, 0, 0, 255, 0, 128, 0, 0, 255, 255}},
      {"palette 4-bit",
       {2, 1, 4, SPNG_COLOR_TYPE_INDEXED, {0x10}, {1, 2, 3, 4, 5, 6}, {}},
       {4, 5, 6, 255, 1, 2, 3, 255}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    std::string const png = encode_png(c.img);
    auto decoded = decode_png_rgba(bytes_of(png));
    ASSERT_TRUE(decoded.has_value()) << decoded.error();
    EXPECT_EQ(decoded->width, c.img.width);
    EXPECT_EQ(decoded->height, c.img.height);
    EXPECT_EQ(decoded->rgba, c.rgba);
  }
}

TEST(PngDecode, BadInputIsAnErrorText) {
  std::string const good = test::solid_tile_png(16, 1, 2, 3);
  PngImage wide;
  wide.width = MAX_TILE_DIMENSION + 1;
  wide.pixels.assign(std::size_t{wide.width} * 4, 0);
  std::string corrupted = good;
  corrupted[corrupted.size() / 2] ^= 0x5A; // inside the image data: CRC no longer matches

  struct Case {
    char const* name;
    std::string bytes;
  };
  Case const cases[] = {
      {"empty", ""},
      {"not a png", "<html>Not Found</html>"},
      {"truncated", good.substr(0, good.size() / 2)},
      {"corrupted data", corrupted},
      {"wider than the limit", encode_png(wide)},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto decoded = decode_png_rgba(bytes_of(c.bytes));
    ASSERT_FALSE(decoded.has_value());
    EXPECT_FALSE(decoded.error().empty());
  }
}

TEST(PngDecode, TileSizeMustMatchTheStyle) {
  struct Case {
    char const* name;
    std::uint32_t side;
    std::uint32_t style_px;
    bool accepted;
  } const cases[] = {
      {"256 on 256", 256, 256, true},     {"512 on 512", 512, 512, true},
      {"1x1 placeholder", 1, 256, false}, {"512 on 256", 512, 256, false},
      {"256 on 512", 256, 512, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto const decoded =
        decode_tile_png(bytes_of(test::solid_tile_png(c.side, 1, 2, 3)), c.style_px);
    ASSERT_EQ(decoded.has_value(), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(decoded->width, c.side);
    } else {
      EXPECT_EQ(decoded.error(),
                fmt::format("tile is {0}x{0} pixels, not {1}x{1}", c.side, c.style_px));
    }
  }
  PngImage tall;
  tall.width = 256;
  tall.height = 257;
  tall.pixels.assign(std::size_t{256} * 257 * 4, 0);
  EXPECT_FALSE(decode_tile_png(bytes_of(encode_png(tall)), 256).has_value());
}

} // namespace
} // namespace maps
