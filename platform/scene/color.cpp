#include "platform/scene/color.h"

#include <algorithm>

#include "base/saturate.h"

namespace zarn_ui {

namespace {

std::uint8_t channel_to_u8(float v) {
  // In single precision, as the components are stored.
  float const scaled = 255.0f * v + 0.5f;
  // std::clamp keeps NaN; saturating_cast turns it into 0.
  return base::saturating_cast<std::uint8_t>(static_cast<double>(std::clamp(scaled, 0.0f, 255.0f)));
}

} // namespace

Color Color::from_rgba8(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
  constexpr float k = 1.0f / 255.0f;
  return {static_cast<float>(r) * k, static_cast<float>(g) * k, static_cast<float>(b) * k,
          static_cast<float>(a) * k};
}

Rgba8 Color::to_rgba8() const {
  return {channel_to_u8(r), channel_to_u8(g), channel_to_u8(b), channel_to_u8(a)};
}

} // namespace zarn_ui
