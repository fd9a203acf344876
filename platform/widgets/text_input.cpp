#include "platform/widgets/text_input.h"

#include <cmath>

#include "base/utf8.h"
#include "platform/access/access_node.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"

namespace zarn_ui::widget {

namespace {

/// Start of the code point that ends at `pos` (pos > 0, text valid UTF-8).
std::size_t previous_boundary(std::string_view text, std::size_t pos) {
  std::size_t p = pos - 1;
  while (p > 0 && (static_cast<unsigned char>(text[p]) & 0xC0) == 0x80) {
    --p;
  }
  return p;
}

/// End of the code point that starts at `pos` (pos < size, text valid UTF-8).
std::size_t next_boundary(std::string_view text, std::size_t pos) {
  std::size_t p = pos + 1;
  while (p < text.size() && (static_cast<unsigned char>(text[p]) & 0xC0) == 0x80) {
    ++p;
  }
  return p;
}

/// The typed text without control characters (line breaks, tabs, DEL, C1 controls), which a
/// one-line field cannot show.
std::string printable_part(std::string_view typed) {
  std::string out;
  base::utf8::for_each_code_point(typed, [&](char32_t cp) {
    if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) {
      return;
    }
    base::utf8::append(out, cp);
  });
  return out;
}

} // namespace

double sanitize_scale(double scale) {
  return std::isfinite(scale) && scale > 0.0 ? scale : 1.0;
}

void TextInput::set_text(std::string_view text) {
  text_ = base::utf8::is_valid(text) ? std::string(text) : base::utf8::lossy(text);
  text_.resize(base::utf8::offset_of(text_, access::MAX_TEXT_FIELD_CHARS));
  caret_ = text_.size();
}

std::size_t TextInput::caret_index() const {
  return base::utf8::length(std::string_view(text_).substr(0, caret_));
}

void TextInput::set_caret_index(std::size_t index) {
  caret_ = base::utf8::offset_of(text_, index);
}

void TextInput::insert(std::string_view typed) {
  std::string clean = printable_part(typed);
  // What does not fit is dropped, as other toolkits' length-limited fields do.
  std::size_t const held = base::utf8::length(text_);
  std::size_t const room =
      held < access::MAX_TEXT_FIELD_CHARS ? access::MAX_TEXT_FIELD_CHARS - held : 0;
  clean.resize(base::utf8::offset_of(clean, room));
  if (clean.empty()) {
    return;
  }
  text_.insert(caret_, clean);
  caret_ += clean.size();
  mark_dirty();
}

bool TextInput::erase_before() {
  if (caret_ == 0) {
    return false;
  }
  std::size_t const start = previous_boundary(text_, caret_);
  text_.erase(start, caret_ - start);
  caret_ = start;
  mark_dirty();
  return true;
}

bool TextInput::erase_after() {
  if (caret_ >= text_.size()) {
    return false;
  }
  std::size_t const end = next_boundary(text_, caret_);
  text_.erase(caret_, end - caret_);
  mark_dirty();
  return true;
}

double TextInput::text_origin_x() const {
  return rect_.x0 + PADDING - scroll_;
}

InputOutcome TextInput::handle_event(Event const& event, double scale) {
  double const s = sanitize_scale(scale);
  if (auto const* moved = std::get_if<PointerMoved>(&event)) {
    hovered_ = rect_.contains(Point{moved->x / s, moved->y / s});
    return InputOutcome::Ignored;
  }
  if (auto const* button = std::get_if<PointerButton>(&event)) {
    if (button->button != 0 || button->state != ButtonState::Pressed) {
      return InputOutcome::Ignored;
    }
    Point const p{button->x / s, button->y / s};
    if (!rect_.contains(p)) {
      focused_ = false;
      return InputOutcome::Ignored;
    }
    focused_ = true;
    if (stops_text_ == text_ && !stops_.empty()) {
      // The nearest stop of the last drawing; text changed since then puts the caret at the end.
      double const x = p.x - text_origin_x();
      std::size_t best = 0;
      for (std::size_t i = 1; i < stops_.size(); ++i) {
        if (std::abs(stops_[i] - x) < std::abs(stops_[best] - x)) {
          best = i;
        }
      }
      set_caret_index(best);
    } else {
      caret_ = text_.size();
    }
    return InputOutcome::Consumed;
  }
  auto const* key = std::get_if<Key>(&event);
  if (key == nullptr || !focused_ || !key->pressed) {
    return InputOutcome::Ignored;
  }
  if (auto const* typed = std::get_if<std::string>(&key->key)) {
    if (key->modifiers.control || key->modifiers.super) {
      return InputOutcome::Ignored;
    }
    insert(*typed);
    return InputOutcome::Consumed;
  }
  switch (std::get<NamedKey>(key->key)) {
  case NamedKey::Enter:
    return InputOutcome::Submitted;
  case NamedKey::Space:
    if (key->modifiers.control || key->modifiers.super) {
      return InputOutcome::Ignored;
    }
    insert(" ");
    return InputOutcome::Consumed;
  case NamedKey::Backspace:
    erase_before();
    return InputOutcome::Consumed;
  case NamedKey::Delete:
    erase_after();
    return InputOutcome::Consumed;
  case NamedKey::ArrowLeft:
    if (caret_ > 0) {
      caret_ = previous_boundary(text_, caret_);
    }
    return InputOutcome::Consumed;
  case NamedKey::ArrowRight:
    if (caret_ < text_.size()) {
      caret_ = next_boundary(text_, caret_);
    }
    return InputOutcome::Consumed;
  case NamedKey::Home:
    caret_ = 0;
    return InputOutcome::Consumed;
  case NamedKey::End:
    caret_ = text_.size();
    return InputOutcome::Consumed;
  default:
    return InputOutcome::Ignored;
  }
}

void TextInput::draw(Scene& scene, Affine const& transform, TextRenderer const& text,
                     Theme const& theme, PresenceCtx const& /*presence*/) const {
  if (!(rect_.width() > 0.0 && rect_.height() > 0.0)) {
    return;
  }
  float const size = font_size(theme.body_size);
  if (stops_text_ != text_ || stops_size_ != size * text.text_scale()) {
    stops_.clear();
    stops_.push_back(0.0);
    std::size_t pos = 0;
    while (pos < text_.size()) {
      pos = next_boundary(text_, pos);
      stops_.push_back(text.measure(std::string_view(text_).substr(0, pos), size));
    }
    stops_text_ = text_;
    stops_size_ = size * text.text_scale();
  }
  double const visible = std::max(rect_.width() - 2.0 * PADDING, 0.0);
  std::size_t const caret_at = std::min(caret_index(), stops_.size() - 1);
  double const caret_x = stops_[caret_at];
  // Scroll only as far as needed to keep the caret inside, and never past the text's end.
  scroll_ = std::clamp(scroll_, 0.0, std::max(stops_.back() - visible, 0.0));
  if (caret_x - scroll_ > visible) {
    scroll_ = caret_x - visible;
  } else if (caret_x < scroll_) {
    scroll_ = caret_x;
  }
  if (!focused_) {
    scroll_ = 0.0;
  }

  double const line = text.line_height(size);
  double const top = rect_.y0 + (rect_.height() - line) * 0.5;
  scene.push_layer(rect_, transform);
  Affine const at = transform * Affine::translate(text_origin_x(), top);
  if (text_.empty()) {
    if (!placeholder_.empty()) {
      text.draw_text_limited(scene, placeholder_, size, theme.text_secondary, at, 0,
                             static_cast<float>(visible));
    }
  } else {
    text.draw_text(scene, text_, size, theme.text, at);
  }
  if (focused_) {
    double const x = text_origin_x() + caret_x;
    double const inset = std::max((rect_.height() - line) * 0.5, 2.0);
    scene.stroke(Stroke::with_width(1.5), transform, theme.accent,
                 Line{{x, rect_.y0 + inset}, {x, rect_.y1 - inset}});
  }
  scene.pop_layer();
}

} // namespace zarn_ui::widget
