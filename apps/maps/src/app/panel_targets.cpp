#include "app/panel_targets.h"

#include <algorithm>

namespace maps {

namespace {

/// Rows of an open area-suggestion list.
constexpr std::size_t MAX_OVERLAY_ROWS = 6;
constexpr double OVERLAY_ROW = 40.0;

/// One line of field text at `x`, centred in the field's height, with a caret when focused.
void paint_field_line(TextRenderer const& text, Scene& scene, Affine const& t,
                      zarn_ui::Theme const& theme, std::string const& value,
                      std::string const& placeholder, float size, bool focused, double x,
                      Rect const& rect) {
  double const y = rect.y0 + (rect.height() - 1.25 * size) / 2;
  double const width = std::max(rect.x1 - x, 0.0);
  bool const empty = value.empty();
  paint_text_fitted(text, scene, t, empty ? placeholder : value, size,
                    empty ? theme.text_secondary : theme.text, x, y, width);
  if (focused) {
    double const caret_x =
        x + (empty ? 0.0 : std::min(measure_text(text, value, size), width)) + 1;
    stroke_line(scene, t, caret_x, y + 1, caret_x, y + 1.25 * size - 1, theme.accent, 1.5);
  }
}

}  // namespace

void paint_text_input(TextRenderer const& text, Scene& scene, Affine const& t,
                      zarn_ui::Theme const& theme, zarn_ui::widget::TextInput const& input,
                      Rect const& rect) {
  paint_field_line(text, scene, t, theme, input.text(), input.placeholder(),
                   input.size().value_or(theme.body_size), input.focused(), rect.x0, rect);
}

void paint_autocomplete_field(TextRenderer const& text, Scene& scene, Affine const& t,
                              zarn_ui::Theme const& theme, zarn_ui::widget::Autocomplete const& box,
                              Rect const& field) {
  fill_rounded_rect(scene, t, field, 8, theme.surface);
  stroke_rounded_rect(scene, t, field, 8, box.editing() ? theme.focus_border : theme.border, 1);
  paint_field_line(text, scene, t, theme, box.text(), box.placeholder(), box.size(), box.editing(),
                   field.x0 + 12, Rect{field.x0, field.y0, field.x1 - 12, field.y1});
}

void paint_autocomplete_overlay(TextRenderer const& text, Scene& scene, Affine const& t,
                                zarn_ui::Theme const& theme,
                                zarn_ui::widget::Autocomplete const& box, Rect const& field) {
  auto const& suggestions = box.suggestions();
  if (!box.is_open() || suggestions.empty()) {
    return;
  }
  std::size_t const n = std::min(suggestions.size(), MAX_OVERLAY_ROWS);
  Rect const card{field.x0, field.y1 + 4, field.x1,
                  field.y1 + 4 + 8 + OVERLAY_ROW * static_cast<double>(n)};
  draw_card(scene, t, card, 10, theme.surface_raised, theme.border);
  double const width = card.width() - 24;
  for (std::size_t i = 0; i < n; ++i) {
    auto const& s = suggestions[i];
    double const y = card.y0 + 4 + OVERLAY_ROW * static_cast<double>(i);
    paint_text_fitted(text, scene, t, s.label, 13, theme.text, card.x0 + 12, y + 4, width);
    if (s.detail) {
      paint_text_fitted(text, scene, t, *s.detail, 11, theme.text_secondary, card.x0 + 12, y + 22,
                        width);
    }
  }
}

}  // namespace maps
