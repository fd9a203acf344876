#pragma once
// Theme: the colour roles painters take colours from, a few shared metrics, the text scale
// and the reduced-motion preference. Three built-in themes: light, dark and high contrast.
// Themes are small values, copied freely.

#include <cstdint>
#include <string_view>

#include "platform/scene/color.h"

namespace zarn_ui {

enum class ThemeKind : std::uint8_t { Light, Dark, HighContrast };

struct Theme {
  ThemeKind kind = ThemeKind::Dark;

  // Colour roles.
  Color surface;            // inner fills; its luminance decides dark mode
  Color surface_raised;     // floating cards
  Color surface_hover;      // a control under the pointer
  Color border;             // one-pixel outlines
  Color focus_border;       // outline of a focused or active element
  Color border_focus;       // the same role under its other name; always equal to focus_border
  Color text;               // primary text and glyphs
  Color text_secondary;     // secondary text, headings
  Color overlay_text;       // text over the map (legends)
  Color overlay_text_muted; // muted text over the map
  Color accent;
  Color success;
  Color warning;
  Color danger;
  Color on_accent; // labels on an accent fill (primary buttons, the active tab)
  Color on_danger; // labels on a danger fill
  Color info;
  Color neutral;
  Color tint_1;
  Color tint_2;
  Color tint_3;
  Color card_shadow;  // shadows under floating cards (multiplied by the painter's alpha)
  Color control_idle; // fill of an idle control
  Color selection;    // behind selected text in a field
  Color on_selection; // selected text

  // Metrics, logical pixels.
  float inner_margin = 16.0f;  // padding inside dialogs and cards
  float corner_radius = 12.0f; // corners of dialogs and cards
  float title_size = 16.0f;    // font size of dialog titles
  float body_size = 13.0f;     // font size of body text

  float text_scale = 1.0f;    // factor on every font size
  bool reduce_motion = false; // animations are shortened or skipped

  static Theme light();
  static Theme dark();
  static Theme high_contrast();

  /// This theme with the text scale set; NaN, infinite or non-positive factors count as 1.
  Theme with_text_scale(float scale) const;
  /// This theme with the reduced-motion flag set.
  Theme with_reduce_motion(bool on) const;
  /// The fill of a hovered accent or danger control: `base` moved 15% towards `text`, which
  /// moves it away from its label colour in every theme.
  Color filled_hover(Color base) const;
};

/// The theme a name chooses: "light", "high-contrast", anything else dark (compared exactly).
Theme theme_named(std::string_view name);

} // namespace zarn_ui
