// TextInput's layout and drawing: the shown text (the text with any composition at the caret)
// is laid out once per change and the layout kept; positions, hits and frames read it.

#include <algorithm>

#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widgets/text_input.h"

namespace zarn_ui::widget {

namespace {

std::string with_composition(std::string const& text, std::size_t caret,
                             std::string const& composition) {
  std::string shown;
  shown.reserve(text.size() + composition.size());
  shown.append(text, 0, caret).append(composition).append(text, caret);
  return shown;
}

} // namespace

LineLayout const& TextInput::breaks() const {
  if (renderer_) {
    return layout_for(*renderer_, drawn_size_);
  }
  if (layout_revision_ != revision_) {
    layout_ = line_breaks(preedit_.empty() ? text_ : with_composition(text_, caret_, preedit_));
    layout_revision_ = revision_;
    layout_size_ = -1.0f;
  }
  return layout_;
}

LineLayout const& TextInput::layout_for(TextRenderer const& text, float size) const {
  float const pixels = size * text.text_scale();
  if (layout_revision_ != revision_ || layout_size_ != pixels) {
    layout_ = text.lay_out_line(
        preedit_.empty() ? text_ : with_composition(text_, caret_, preedit_), size);
    layout_revision_ = revision_;
    layout_size_ = pixels;
  }
  return layout_;
}

std::size_t TextInput::boundary_at(Point p) const {
  return breaks().nearest_stop(p.x - text_origin_x());
}

std::size_t TextInput::shown_offset(std::size_t byte) const {
  return byte <= caret_ ? byte : byte + preedit_.size();
}

double TextInput::text_origin_x() const {
  return rect_.x0 + PADDING - scroll_;
}

bool TextInput::caret_shown(bool reduce_motion) const {
  if (blink_clock_ == nullptr || reduce_motion) {
    return true;
  }
  auto const elapsed = std::max(blink_clock_->now() - blink_start_, base::Duration::zero());
  return elapsed % BLINK_CYCLE < BLINK_SHOWN;
}

std::optional<base::Instant> TextInput::caret_deadline(bool reduce_motion) const {
  if (!focused_ || blink_clock_ == nullptr || reduce_motion) {
    return std::nullopt;
  }
  base::Instant const now = blink_clock_->now();
  auto const phase = std::max(now - blink_start_, base::Duration::zero()) % BLINK_CYCLE;
  base::Duration const shown = BLINK_SHOWN;
  return now + (phase < shown ? shown - phase : base::Duration(BLINK_CYCLE) - phase);
}

void TextInput::draw(Scene& scene, Affine const& transform, TextRenderer const& text,
                     Theme const& theme, PresenceCtx const& /*presence*/) const {
  if (!(rect_.width() > 0.0 && rect_.height() > 0.0)) {
    return;
  }
  float const size = font_size(theme.body_size);
  renderer_ = text;
  drawn_size_ = size;
  LineLayout const& line = layout_for(text, size);
  std::size_t const caret_at = line.index_at(shown_offset(caret_) + preedit_cursor_);
  double const caret_x = line.x(caret_at);
  double const visible = std::max(rect_.width() - 2.0 * PADDING, 0.0);
  // Scroll only as far as needed to keep the caret inside, and never past the text's end.
  scroll_ = std::clamp(scroll_, 0.0, std::max(line.width() - visible, 0.0));
  if (caret_x - scroll_ > visible) {
    scroll_ = caret_x - visible;
  } else if (caret_x < scroll_) {
    scroll_ = caret_x;
  }
  if (!focused_) {
    scroll_ = 0.0;
  }

  double const line_height = text.line_height(size);
  double const top = rect_.y0 + (rect_.height() - line_height) * 0.5;
  double const origin = text_origin_x();
  scene.push_layer(rect_, transform);
  if (text_.empty() && preedit_.empty()) {
    if (!placeholder_.empty()) {
      text.draw_text_limited(scene, placeholder_, size, theme.text_secondary,
                             transform * Affine::translate(origin, top), 0,
                             static_cast<float>(visible));
    }
  } else {
    std::vector<Rect> selected;
    if (has_selection()) {
      auto const [from, to] = selection();
      for (auto const& [x0, x1] :
           line.spans(line.index_at(shown_offset(from)), line.index_at(shown_offset(to)))) {
        selected.push_back(
            Rect{origin + std::min(x0, x1), top, origin + std::max(x0, x1), top + line_height});
        scene.fill(FillRule::NonZero, transform, theme.selection, selected.back());
      }
    }
    // Only the part in view is shaped again for drawing, so a long text costs what a short
    // one does; its glyphs sit where the whole line's layout puts them.
    std::string const shown =
        preedit_.empty() ? std::string() : with_composition(text_, caret_, preedit_);
    std::string_view const all = preedit_.empty() ? std::string_view(text_) : shown;
    auto const [first, last] = line.covering(scroll_, scroll_ + visible);
    std::string_view const part =
        all.substr(line.offset(first), line.offset(last) - line.offset(first));
    Affine const at = transform * Affine::translate(origin + line.x(first), top);
    text.draw_text(scene, part, size, theme.text, at);
    if (theme.on_selection != theme.text) {
      for (Rect const& r : selected) {
        scene.push_layer(r, transform);
        text.draw_text(scene, part, size, theme.on_selection, at);
        scene.pop_layer();
      }
    }
    if (!preedit_.empty()) {
      double const x0 = origin + line.x(line.index_at(caret_));
      double const x1 = origin + line.x(line.index_at(caret_ + preedit_.size()));
      double const y = top + line_height * 0.9;
      scene.stroke(Stroke::with_width(1.0), transform, theme.text, Line{{x0, y}, {x1, y}});
    }
  }
  if (focused_ && caret_shown(theme.reduce_motion)) {
    double const x = origin + caret_x;
    double const inset = std::max((rect_.height() - line_height) * 0.5, 2.0);
    scene.stroke(Stroke::with_width(1.5), transform, theme.accent,
                 Line{{x, rect_.y0 + inset}, {x, rect_.y1 - inset}});
  }
  scene.pop_layer();
}

} // namespace zarn_ui::widget
