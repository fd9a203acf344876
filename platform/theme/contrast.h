#pragma once
// Contrast of colours as legibility guidelines define it (relative luminance of sRGB, ratio
// from 1:1 to 21:1), and the text/background pairs a theme's painters actually use, so a
// theme can be checked as a whole.

#include <string_view>
#include <vector>

#include "platform/scene/color.h"
#include "platform/theme/theme.h"

namespace zarn_ui {

/// Relative luminance of an opaque sRGB colour, 0 (black) to 1 (white); alpha is ignored.
double relative_luminance(Color c);
/// (L_light + 0.05) / (L_dark + 0.05); symmetric, 1 for equal colours, 21 for black on white.
double contrast_ratio(Color a, Color b);

/// Body text needs this much contrast against its background.
inline constexpr double MIN_TEXT_CONTRAST = 4.5;

struct TextPair {
  std::string_view text_role;
  std::string_view background_role;
  Color text;
  Color background;
};

/// Every text colour role on every background role it is painted on.
std::vector<TextPair> text_pairs(Theme const& theme);

} // namespace zarn_ui
