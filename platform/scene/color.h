#pragma once
// Color: four float components (red, green, blue, alpha) in 0..1, straight (not premultiplied)
// alpha, and its packed 8-bit form. Colour arithmetic that must quantise (mixing) goes through
// the 8-bit form so results are the same on every machine.

#include <array>
#include <cstdint>

namespace zarn_ui {

struct Rgba8 {
  std::uint8_t r = 0, g = 0, b = 0, a = 0;

  /// Red in the lowest byte, alpha in the highest.
  std::uint32_t packed() const {
    return std::uint32_t{r} | (std::uint32_t{g} << 8) | (std::uint32_t{b} << 16) |
           (std::uint32_t{a} << 24);
  }
  friend bool operator==(Rgba8, Rgba8) = default;
};

struct Color {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
  float a = 1.0f;

  /// Each byte becomes byte × (1/255).
  static Color from_rgba8(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255);
  static Color from_rgba8(Rgba8 c) { return from_rgba8(c.r, c.g, c.b, c.a); }
  /// Each channel becomes the truncation of clamp(255 × v + 0.5, 0, 255); NaN gives 0.
  Rgba8 to_rgba8() const;

  /// This colour with its alpha multiplied by k.
  Color multiply_alpha(float k) const { return {r, g, b, a * k}; }
  Color with_alpha(float alpha) const { return {r, g, b, alpha}; }

  friend bool operator==(Color, Color) = default;
};

namespace colors {
inline constexpr Color WHITE{1.0f, 1.0f, 1.0f, 1.0f};
inline constexpr Color BLACK{0.0f, 0.0f, 0.0f, 1.0f};
inline constexpr Color TRANSPARENT{0.0f, 0.0f, 0.0f, 0.0f};
} // namespace colors

} // namespace zarn_ui
