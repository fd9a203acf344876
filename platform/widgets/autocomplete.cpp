#include "platform/widgets/autocomplete.h"

#include <algorithm>
#include <limits>

#include "base/saturate.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widgets/paint_detail.h"

namespace zarn_ui::widget {

namespace {

constexpr double FIELD_RADIUS = 8.0;
constexpr double FIELD_INSET = 8.0;

} // namespace

void Autocomplete::set_rect(Rect rect) {
  rect_ = rect;
  input_.set_rect(input_rect());
}

void Autocomplete::begin_edit() {
  input_.set_focused(true);
  input_.set_caret_index(std::numeric_limits<std::size_t>::max());
}

void Autocomplete::set_suggestions(std::vector<Suggestion> suggestions) {
  suggestions_ = std::move(suggestions);
  highlighted_.reset();
}

void Autocomplete::set_suggestions_open(std::vector<Suggestion> suggestions) {
  set_suggestions(std::move(suggestions));
  open_ = true;
}

void Autocomplete::close() {
  open_ = false;
  highlighted_.reset();
  input_.set_focused(false);
}

Rect Autocomplete::input_rect() const {
  return {rect_.x0 + FIELD_INSET, rect_.y0,
          std::max(rect_.x1 - FIELD_INSET, rect_.x0 + FIELD_INSET), rect_.y1};
}

double Autocomplete::row_height() const {
  return ROW_HEIGHT * std::max(static_cast<double>(text_scale_), 1.0);
}

std::optional<Rect> Autocomplete::overlay_rect() const {
  if (!open_ || suggestions_.empty()) {
    return std::nullopt;
  }
  std::size_t const n = std::min(suggestions_.size(), MAX_VISIBLE);
  double const top = rect_.y1 + LIST_GAP;
  return Rect{rect_.x0, top, rect_.x1,
              top + 2.0 * LIST_PADDING + static_cast<double>(n) * row_height()};
}

std::optional<std::size_t> Autocomplete::row_at(Point p) const {
  auto const list = overlay_rect();
  if (!list || !list->contains(p)) {
    return std::nullopt;
  }
  double const offset = p.y - (list->y0 + LIST_PADDING);
  if (offset < 0.0) {
    return std::nullopt;
  }
  auto const row = base::saturating_cast<std::size_t>(offset / row_height());
  if (row >= std::min(suggestions_.size(), MAX_VISIBLE)) {
    return std::nullopt;
  }
  return row;
}

void Autocomplete::choose(std::size_t index) {
  if (index >= suggestions_.size()) {
    return;
  }
  chosen_ = suggestions_[index];
  input_.set_text(chosen_->value);
  open_ = false;
  highlighted_.reset();
}

AutocompleteOutcome Autocomplete::handle_event(Event const& event, double scale) {
  double const s = sanitize_scale(scale);
  if (auto const* moved = std::get_if<PointerMoved>(&event)) {
    Point const p{moved->x / s, moved->y / s};
    (void)input_.handle_event(event, scale); // hover state
    if (auto const row = row_at(p)) {
      highlighted_ = row;
      return AutocompleteOutcome::Consumed;
    }
    return AutocompleteOutcome::Ignored;
  }
  if (auto const* button = std::get_if<PointerButton>(&event)) {
    if (button->button != 0 || button->state != ButtonState::Pressed) {
      return AutocompleteOutcome::Ignored;
    }
    Point const p{button->x / s, button->y / s};
    if (auto const row = row_at(p)) {
      choose(*row);
      return AutocompleteOutcome::Chosen;
    }
    if (overlay_rect() && overlay_rect()->contains(p)) {
      return AutocompleteOutcome::Consumed; // the list's padding
    }
    if (rect_.contains(p)) {
      // The frame around the text counts as the field too.
      Point const inside{
          std::clamp(p.x, input_rect().x0, std::max(input_rect().x1 - 0.5, input_rect().x0)), p.y};
      (void)input_.handle_event(PointerButton{inside.x * s, inside.y * s, 0, ButtonState::Pressed},
                                scale);
      input_.set_focused(true);
      return AutocompleteOutcome::Consumed;
    }
    open_ = false;
    highlighted_.reset();
    return AutocompleteOutcome::Ignored;
  }
  auto const* key = std::get_if<Key>(&event);
  if (key == nullptr || !key->pressed || !editing()) {
    return AutocompleteOutcome::Ignored;
  }
  if (auto const* named = std::get_if<NamedKey>(&key->key)) {
    std::size_t const shown = std::min(suggestions_.size(), MAX_VISIBLE);
    switch (*named) {
    case NamedKey::ArrowDown:
      if (shown > 0) {
        open_ = true;
        highlighted_ = highlighted_ ? std::min(*highlighted_ + 1, shown - 1) : 0;
      }
      return AutocompleteOutcome::Consumed;
    case NamedKey::ArrowUp:
      if (highlighted_) {
        highlighted_ = *highlighted_ == 0 ? std::nullopt : std::optional(*highlighted_ - 1);
      }
      return AutocompleteOutcome::Consumed;
    case NamedKey::Enter:
      if (open_ && highlighted_ && *highlighted_ < shown) {
        choose(*highlighted_);
        return AutocompleteOutcome::Chosen;
      }
      return AutocompleteOutcome::Submitted;
    case NamedKey::Escape:
      if (open_) {
        open_ = false;
        highlighted_.reset();
        return AutocompleteOutcome::Dismissed;
      }
      return AutocompleteOutcome::Ignored;
    default:
      break;
    }
  }
  InputOutcome const outcome = input_.handle_event(event, scale);
  if (input_.take_dirty()) {
    edited_ = true;
    highlighted_.reset();
    return AutocompleteOutcome::Edited;
  }
  switch (outcome) {
  case InputOutcome::Ignored:
    return AutocompleteOutcome::Ignored;
  case InputOutcome::Submitted:
    return AutocompleteOutcome::Submitted;
  case InputOutcome::Consumed:
    break;
  }
  return AutocompleteOutcome::Consumed;
}

void Autocomplete::draw(Scene& scene, Affine const& transform, TextRenderer const& text,
                        Theme const& theme, PresenceCtx const& presence) const {
  text_scale_ = text.text_scale();
  if (!(rect_.width() > 0.0 && rect_.height() > 0.0)) {
    return;
  }
  detail::card(scene, transform, rect_, FIELD_RADIUS, theme.surface,
               editing() ? theme.focus_border : theme.border);
  input_.draw(scene, transform, text, theme, presence);
}

void Autocomplete::draw_overlay(Scene& scene, Affine const& transform, TextRenderer const& text,
                                Theme const& theme, PresenceCtx const& /*presence*/) const {
  text_scale_ = text.text_scale();
  auto const list = overlay_rect();
  if (!list) {
    return;
  }
  double const row_h = row_height();
  detail::fill_rounded(scene, transform, list->translate({0.0, 2.0}), 10.0,
                       theme.card_shadow.multiply_alpha(0.25f));
  detail::card(scene, transform, *list, 10.0, theme.surface_raised, theme.border);
  std::size_t const n = std::min(suggestions_.size(), MAX_VISIBLE);
  float const label_size = size_;
  float const detail_size = std::max(size_ - 3.0f, 9.0f);
  auto const width = static_cast<float>(std::max(list->width() - 24.0, 0.0));
  for (std::size_t i = 0; i < n; ++i) {
    Suggestion const& s = suggestions_[i];
    double const y = list->y0 + LIST_PADDING + static_cast<double>(i) * row_h;
    Rect const row{list->x0 + 4.0, y, list->x1 - 4.0, y + row_h};
    if (highlighted_ == i) {
      detail::fill_rounded(scene, transform, row, 6.0, theme.accent.multiply_alpha(0.16f));
    }
    double const label_h = text.line_height(label_size);
    if (s.detail && !s.detail->empty()) {
      double const detail_h = text.line_height(detail_size);
      double const top = y + (row_h - label_h - detail_h) * 0.5;
      text.draw_text_limited(scene, s.label, label_size, theme.text,
                             transform * Affine::translate(list->x0 + 12.0, top), 0, width);
      text.draw_text_limited(scene, *s.detail, detail_size, theme.text_secondary,
                             transform * Affine::translate(list->x0 + 12.0, top + label_h), 0,
                             width);
    } else {
      text.draw_text_limited(
          scene, s.label, label_size, theme.text,
          transform * Affine::translate(list->x0 + 12.0, y + (row_h - label_h) * 0.5), 0, width);
    }
  }
}

} // namespace zarn_ui::widget
