#include "platform/widgets/button.h"

#include <algorithm>

#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widgets/paint_detail.h"

namespace zarn_ui::widget {

void Button::paint(Scene& scene, Affine const& transform, TextRenderer const& text,
                   Theme const& theme, Rect const& rect, std::string_view glyph,
                   std::string_view label, double radius, float glyph_size, bool hot,
                   std::uint8_t tone, std::uint8_t outline) {
  if (!(rect.width() > 0.0 && rect.height() > 0.0)) {
    return;
  }
  Color fill = hot ? theme.surface_hover : theme.surface_raised;
  Color ink = theme.text;
  if (tone == BUTTON_TONE_ACCENT || tone == BUTTON_TONE_DANGER) {
    Color const base = tone == BUTTON_TONE_ACCENT ? theme.accent : theme.danger;
    fill = hot ? theme.filled_hover(base) : base;
    ink = tone == BUTTON_TONE_ACCENT ? theme.on_accent : theme.on_danger;
  }
  detail::fill_rounded(scene, transform, rect, radius, fill);
  if (outline > 0) {
    detail::stroke_rounded(scene, transform, rect, radius, static_cast<double>(outline),
                           hot ? theme.focus_border : theme.border);
  }
  std::string_view const shown = glyph.empty() ? label : glyph;
  if (shown.empty()) {
    return;
  }
  float const size = glyph.empty() ? std::min(glyph_size, 13.0f) : glyph_size;
  double const w = text.measure(shown, size);
  double const h = text.line_height(size);
  auto const max_width = static_cast<float>(std::max(rect.width() - 4.0, 0.0));
  Point const c = rect.center();
  text.draw_text_limited(
      scene, shown, size, ink,
      transform *
          Affine::translate(c.x - std::min(w, static_cast<double>(max_width)) * 0.5, c.y - h * 0.5),
      0, max_width);
}

} // namespace zarn_ui::widget
