#pragma once
// Text: TextRenderer measures and records one-line plain texts (never markup) in DejaVu Sans;
// I18nManager maps display texts (no catalogues: every text is its own translation).
// A text is placed by the top-left corner of its line box, 1.25 × the font size high.
// Sizes are nominal: the renderer multiplies them by its text scale.

#include <memory>
#include <string>
#include <string_view>

#include "platform/scene/color.h"
#include "platform/scene/geometry.h"
#include "platform/scene/scene.h"
#include "platform/text/line_layout.h"

namespace zarn_ui {

namespace text_detail {
class TextEngine;
}

class TextRenderer {
public:
  /// Uses the calling thread's font map and context; create and use it on one thread.
  TextRenderer();

  /// Advance width of `text` at nominal size `size` (regular weight), in logical pixels.
  float measure(std::string_view text, float size) const;
  /// The same for a weight selector (0 regular, 1 medium, 2 semibold, 3 bold).
  float measure_weighted(std::string_view text, float size, int weight) const;

  /// Records the text at the origin of `transform` (top-left of the line box).
  void draw_text(Scene& scene, std::string_view text, float size, Color color,
                 Affine const& transform) const;
  void draw_text_weighted(Scene& scene, std::string_view text, float size, Color color,
                          Affine const& transform, int weight) const;
  /// The same with a width limit: a text wider than `max_width` is cut with "…".
  void draw_text_limited(Scene& scene, std::string_view text, float size, Color color,
                         Affine const& transform, int weight, float max_width) const;

  /// `text` (valid UTF-8 without NUL) laid out once at nominal size `size`, regular weight,
  /// for caret, selection and hit positions.
  LineLayout lay_out_line(std::string_view text, float size) const;

  /// Height of the line box at nominal size `size`.
  float line_height(float size) const;

  /// The factor applied to every nominal size (the theme's text scale); NaN or non-positive
  /// values count as 1.
  void set_text_scale(float scale);
  float text_scale() const { return text_scale_; }

private:
  float pixel_size(float size) const { return size * text_scale_; }

  std::shared_ptr<text_detail::TextEngine> engine_;
  float text_scale_ = 1.0f;
};

class I18nManager {
public:
  /// The display text for `text`: the text itself.
  std::string lookup(std::string_view text) const { return std::string(text); }
};

} // namespace zarn_ui
