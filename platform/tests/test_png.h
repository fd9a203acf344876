#pragma once
// Test helper: decodes PNG bytes to straight RGBA8 with libspng.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include <spng.h>

namespace test_png {

struct Decoded {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;

  std::array<std::uint8_t, 4> at(std::uint32_t x, std::uint32_t y) const {
    std::size_t const i = (static_cast<std::size_t>(y) * width + x) * 4;
    return {rgba.at(i), rgba.at(i + 1), rgba.at(i + 2), rgba.at(i + 3)};
  }
};

inline std::optional<Decoded> decode(std::span<std::uint8_t const> png) {
  std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> ctx(spng_ctx_new(0), &spng_ctx_free);
  if (!ctx || spng_set_png_buffer(ctx.get(), png.data(), png.size()) != 0) {
    return std::nullopt;
  }
  spng_ihdr ihdr{};
  if (spng_get_ihdr(ctx.get(), &ihdr) != 0) {
    return std::nullopt;
  }
  std::size_t size = 0;
  if (spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size) != 0) {
    return std::nullopt;
  }
  Decoded out;
  out.width = ihdr.width;
  out.height = ihdr.height;
  out.rgba.resize(size);
  if (spng_decode_image(ctx.get(), out.rgba.data(), size, SPNG_FMT_RGBA8, 0) != 0) {
    return std::nullopt;
  }
  return out;
}

} // namespace test_png
