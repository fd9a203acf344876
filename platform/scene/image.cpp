#include "platform/scene/image.h"

namespace zarn_ui {

SharedImage image_from_rgba(std::span<std::uint8_t const> rgba, std::uint32_t width,
                            std::uint32_t height) {
  std::size_t const count = static_cast<std::size_t>(width) * height;
  if (rgba.size() != count * 4) {
    return nullptr;
  }
  auto image = std::make_shared<Image>();
  image->width = width;
  image->height = height;
  image->argb.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t const r = rgba[i * 4], g = rgba[i * 4 + 1], b = rgba[i * 4 + 2],
                        a = rgba[i * 4 + 3];
    // Premultiply with rounding: (c * a + 127) / 255.
    auto pm = [a](std::uint32_t c) { return (c * a + 127) / 255; };
    image->argb[i] = (a << 24) | (pm(r) << 16) | (pm(g) << 8) | pm(b);
  }
  return image;
}

}  // namespace zarn_ui
