#include "platform/scene/image.h"

#include <atomic>

namespace zarn_ui {

namespace {
// Tiles are decoded on worker threads.
std::atomic<std::uint64_t> next_image_id{1};
} // namespace

SharedImage image_from_rgba(std::span<std::uint8_t const> rgba, std::uint32_t width,
                            std::uint32_t height) {
  std::size_t const count = static_cast<std::size_t>(width) * height;
  if (rgba.size() != count * 4) {
    return nullptr;
  }
  auto image = std::make_shared<Image>();
  image->width = width;
  image->height = height;
  image->id = next_image_id.fetch_add(1, std::memory_order_relaxed);
  image->argb.resize(count);
  std::uint8_t const* src = rgba.data();
  std::uint32_t* dst = image->argb.data();
  for (std::size_t i = 0; i < count; ++i, src += 4) {
    std::uint32_t const r = src[0], g = src[1], b = src[2], a = src[3];
    if (a == 255) { // most tile pixels are opaque
      dst[i] = 0xFF000000u | (r << 16) | (g << 8) | b;
      continue;
    }
    // c * a / 255 rounded to nearest, without a division.
    auto pm = [a](std::uint32_t c) {
      std::uint32_t const t = c * a + 128;
      return (t + (t >> 8)) >> 8;
    };
    dst[i] = (a << 24) | (pm(r) << 16) | (pm(g) << 8) | pm(b);
  }
  return image;
}

} // namespace zarn_ui
