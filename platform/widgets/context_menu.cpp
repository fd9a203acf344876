#include "platform/widgets/context_menu.h"

#include <algorithm>
#include <cmath>

#include "base/utf8.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widgets/paint_detail.h"
#include "platform/widgets/text_input.h"

namespace zarn_ui::widget {

namespace {

// Average advance of DejaVu Sans at the label size is about 0.6 em; a little more keeps most
// labels clear of the ellipsis.
constexpr double ESTIMATED_ADVANCE = 0.62 * ContextMenu::LABEL_SIZE;
constexpr double LABEL_INSET = 14.0;

} // namespace

ContextMenuItem context_menu_item(std::string_view label) {
  return ContextMenuItem{std::string(label), [] {}, true};
}

void ContextMenu::open_at(float x, float y) {
  double const x0 = std::isfinite(x) ? x : 0.0;
  double const y0 = std::isfinite(y) ? y : 0.0;
  std::size_t longest = 0;
  for (auto const& item : items_) {
    longest = std::max(longest, base::utf8::length(item.label));
  }
  double const scale = std::max(static_cast<double>(text_scale_), 1.0);
  double const width = std::clamp(
      std::ceil(static_cast<double>(longest) * ESTIMATED_ADVANCE * scale) + 2.0 * LABEL_INSET,
      MIN_WIDTH * scale, MAX_WIDTH * scale);
  item_height_ = ITEM_HEIGHT * scale;
  double const height = 2.0 * PADDING + static_cast<double>(items_.size()) * item_height_;
  rect_ = {x0, y0, x0 + width, y0 + height};
  open_ = true;
  hovered_.reset();
}

void ContextMenu::close() {
  open_ = false;
  hovered_.reset();
}

Rect ContextMenu::item_rect(std::size_t index) const {
  double const top = rect_.y0 + PADDING + static_cast<double>(index) * item_height_;
  return {rect_.x0 + 4.0, top, rect_.x1 - 4.0, top + item_height_};
}

std::optional<std::size_t> ContextMenu::item_at(Point p) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (item_rect(i).contains(p)) {
      return i;
    }
  }
  return std::nullopt;
}

std::optional<std::size_t> ContextMenu::choose(std::size_t index) {
  if (index >= items_.size() || !items_[index].enabled) {
    return std::nullopt;
  }
  close();
  chosen_ = index;
  // The callback runs after the menu closed, so it may reopen the menu; it runs from a copy,
  // so it may also change the items (and so the storage it came from).
  if (auto callback = items_[index].callback) {
    callback();
  }
  return index;
}

std::optional<std::size_t> ContextMenu::handle_event(Event const& event, double scale) {
  chosen_.reset();
  if (!open_) {
    return std::nullopt;
  }
  double const s = sanitize_scale(scale);
  if (auto const* moved = std::get_if<PointerMoved>(&event)) {
    hovered_ = item_at(Point{moved->x / s, moved->y / s});
    return std::nullopt;
  }
  if (auto const* button = std::get_if<PointerButton>(&event)) {
    if (button->state != ButtonState::Pressed) {
      return std::nullopt;
    }
    Point const p{button->x / s, button->y / s};
    if (!rect_.contains(p)) {
      close();
      return std::nullopt;
    }
    if (button->button != 0) {
      return std::nullopt;
    }
    if (auto const index = item_at(p)) {
      return choose(*index);
    }
    return std::nullopt;
  }
  auto const* key = std::get_if<Key>(&event);
  if (key == nullptr || !key->pressed) {
    return std::nullopt;
  }
  auto const* named = std::get_if<NamedKey>(&key->key);
  if (named == nullptr || items_.empty()) {
    if (named != nullptr && *named == NamedKey::Escape) {
      close();
    }
    return std::nullopt;
  }
  std::size_t const last = items_.size() - 1;
  switch (*named) {
  case NamedKey::ArrowDown:
    hovered_ = hovered_ ? std::min(*hovered_ + 1, last) : 0;
    return std::nullopt;
  case NamedKey::ArrowUp:
    hovered_ = hovered_ ? (*hovered_ == 0 ? 0 : *hovered_ - 1) : last;
    return std::nullopt;
  case NamedKey::Home:
    hovered_ = 0;
    return std::nullopt;
  case NamedKey::End:
    hovered_ = last;
    return std::nullopt;
  case NamedKey::Enter:
  case NamedKey::Space:
    return hovered_ ? choose(*hovered_) : std::nullopt;
  case NamedKey::Escape:
    close();
    return std::nullopt;
  default:
    return std::nullopt;
  }
}

void ContextMenu::draw(Scene& scene, Affine const& transform, TextRenderer const& text,
                       Theme const& theme, Rect const& bounds,
                       PresenceCtx const& /*presence*/) const {
  text_scale_ = text.text_scale();
  if (!open_) {
    return;
  }
  bool const clip = bounds.width() > 0.0 && bounds.height() > 0.0;
  if (clip) {
    scene.push_layer(bounds, transform);
  }
  detail::fill_rounded(scene, transform, rect_.translate({0.0, 3.0}).inflate(1.0, 1.0), 11.0,
                       theme.card_shadow.multiply_alpha(0.3f));
  detail::card(scene, transform, rect_, 10.0, theme.surface_raised, theme.border);
  auto const max_width = static_cast<float>(std::max(rect_.width() - 2.0 * LABEL_INSET, 0.0));
  double const line = text.line_height(LABEL_SIZE);
  for (std::size_t i = 0; i < items_.size(); ++i) {
    Rect const r = item_rect(i);
    if (hovered_ == i && items_[i].enabled) {
      detail::fill_rounded(scene, transform, r, 6.0, theme.accent.multiply_alpha(0.16f));
    }
    Color const color = items_[i].enabled ? theme.text : theme.text_secondary.multiply_alpha(0.6f);
    text.draw_text_limited(
        scene, items_[i].label, LABEL_SIZE, color,
        transform * Affine::translate(rect_.x0 + LABEL_INSET, r.y0 + (r.height() - line) * 0.5), 0,
        max_width);
  }
  if (clip) {
    scene.pop_layer();
  }
}

} // namespace zarn_ui::widget
