#pragma once
// Button painting: a stateless painter for square glyph buttons (map controls) and the
// dialog's action buttons. Hit testing and activation belong to the owner.

#include <cstdint>
#include <string_view>

#include "platform/scene/geometry.h"

namespace zarn_ui {
class Scene;
class TextRenderer;
struct Theme;
} // namespace zarn_ui

namespace zarn_ui::widget {

/// Fill tones of Button::paint.
inline constexpr std::uint8_t BUTTON_TONE_NEUTRAL = 255; // raised surface, hover colour when hot
inline constexpr std::uint8_t BUTTON_TONE_ACCENT = 0;    // accent fill, on_accent glyph
inline constexpr std::uint8_t BUTTON_TONE_DANGER = 1;    // danger fill, on_danger glyph

struct Button {
  /// Paints a button over `rect`: a rounded card of `radius` in the tone's fill (the hover fill
  /// when `hot`), an outline `outline` pixels wide (0: none) in the border colour, and `glyph`
  /// centred at `glyph_size`. `label` is the accessible name; it is drawn only when there is
  /// no glyph. Unknown tones paint as neutral.
  static void paint(Scene& scene, Affine const& transform, TextRenderer const& text,
                    Theme const& theme, Rect const& rect, std::string_view glyph,
                    std::string_view label, double radius, float glyph_size, bool hot,
                    std::uint8_t tone = BUTTON_TONE_NEUTRAL, std::uint8_t outline = 1);
};

} // namespace zarn_ui::widget
