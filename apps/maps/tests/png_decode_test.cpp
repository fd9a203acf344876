// Tile PNG decoding into straight-alpha RGBA8.

#include "tiles/png_decode.h"

#include <cstring>
#include <span>
#include <string>
#include <vector>

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

} // namespace
} // namespace maps
