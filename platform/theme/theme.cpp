#include "platform/theme/theme.h"

#include <cmath>

namespace zarn_ui {

namespace {

Color hex(std::uint32_t rgb, std::uint8_t alpha = 255) {
  return Color::from_rgba8(static_cast<std::uint8_t>(rgb >> 16),
                           static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb),
                           alpha);
}

} // namespace

Theme Theme::light() {
  Theme t;
  t.kind = ThemeKind::Light;
  t.surface = hex(0xF2F4F7);
  t.surface_raised = hex(0xFFFFFF);
  t.surface_hover = hex(0xE6E9EF);
  t.border = hex(0xD3D8E0);
  t.focus_border = hex(0x2563EB);
  t.text = hex(0x1A1D23);
  t.text_secondary = hex(0x5B6372);
  t.overlay_text = hex(0x1A1D23);
  t.overlay_text_muted = hex(0x6B7280);
  t.accent = hex(0x2563EB);
  t.success = hex(0x15803D);
  t.warning = hex(0xD97706);
  t.danger = hex(0xDC2626);
  t.on_accent = hex(0xFFFFFF);
  t.on_danger = hex(0xFFFFFF);
  t.info = hex(0x0284C7);
  t.neutral = hex(0x6B7280);
  t.tint_1 = hex(0x7C3AED);
  t.tint_2 = hex(0xDB2777);
  t.tint_3 = hex(0x0D9488);
  t.card_shadow = hex(0x000000, 46);
  t.control_idle = hex(0xF2F4F7);
  t.selection = hex(0xBFD3FA);
  t.on_selection = t.text;
  t.border_focus = t.focus_border;
  return t;
}

Theme Theme::dark() {
  Theme t;
  t.kind = ThemeKind::Dark;
  t.surface = hex(0x1F232A);
  t.surface_raised = hex(0x272C35);
  t.surface_hover = hex(0x333945);
  t.border = hex(0x3B424F);
  t.focus_border = hex(0x60A5FA);
  t.text = hex(0xE8EAED);
  t.text_secondary = hex(0xA0A7B4);
  t.overlay_text = hex(0xE8EAED);
  t.overlay_text_muted = hex(0x9AA1AE);
  t.accent = hex(0x6EA1FF);
  t.success = hex(0x34C26A);
  t.warning = hex(0xF0A23B);
  t.danger = hex(0xF87171);
  t.on_accent = hex(0x0B1220);
  t.on_danger = hex(0x0B1220);
  t.info = hex(0x38B2F0);
  t.neutral = hex(0x9CA3AF);
  t.tint_1 = hex(0xA78BFA);
  t.tint_2 = hex(0xF472B6);
  t.tint_3 = hex(0x2DD4BF);
  t.card_shadow = hex(0x000000, 90);
  t.control_idle = hex(0x2E343E);
  t.selection = hex(0x2C4A7C);
  t.on_selection = t.text;
  t.border_focus = t.focus_border;
  return t;
}

Theme Theme::high_contrast() {
  // Black surfaces, white text and outlines, saturated signal colours: every role keeps at
  // least a 7:1 contrast against black, and labels on the bright fills are black.
  Theme t;
  t.kind = ThemeKind::HighContrast;
  t.surface = hex(0x000000);
  t.surface_raised = hex(0x000000);
  t.surface_hover = hex(0x303030);
  t.border = hex(0xFFFFFF);
  t.focus_border = hex(0xFFD400);
  t.text = hex(0xFFFFFF);
  t.text_secondary = hex(0xE6E6E6);
  t.overlay_text = hex(0xFFFFFF);
  t.overlay_text_muted = hex(0xCCCCCC);
  t.accent = hex(0xFFD400);
  t.success = hex(0x00E676);
  t.warning = hex(0xFFAB00);
  t.danger = hex(0xFF6E6E);
  t.on_accent = hex(0x000000);
  t.on_danger = hex(0x000000);
  t.info = hex(0x40C4FF);
  t.neutral = hex(0xE0E0E0);
  t.tint_1 = hex(0xEA80FC);
  t.tint_2 = hex(0xFF80AB);
  t.tint_3 = hex(0x64FFDA);
  t.card_shadow = hex(0x000000, 0);
  t.control_idle = hex(0x000000);
  // Inverted, as high-contrast desktop themes select; not the accent, so the caret shows.
  t.selection = hex(0x40C4FF);
  t.on_selection = hex(0x000000);
  t.border_focus = t.focus_border;
  return t;
}

Theme Theme::with_text_scale(float scale) const {
  Theme t = *this;
  t.text_scale = (std::isfinite(scale) && scale > 0.0f) ? scale : 1.0f;
  return t;
}

Theme Theme::with_reduce_motion(bool on) const {
  Theme t = *this;
  t.reduce_motion = on;
  return t;
}

Color Theme::filled_hover(Color base) const {
  constexpr float K = 0.15f;
  return {base.r + (text.r - base.r) * K, base.g + (text.g - base.g) * K,
          base.b + (text.b - base.b) * K, base.a};
}

Theme theme_named(std::string_view name) {
  if (name == "light") {
    return Theme::light();
  }
  if (name == "high-contrast") {
    return Theme::high_contrast();
  }
  return Theme::dark();
}

} // namespace zarn_ui
