#include "platform/surface/floating_placement.h"

#include <algorithm>
#include <cmath>

#include "base/saturate.h"

namespace zarn_ui::surface {

namespace {

/// A card of `size` with its origin moved so it lies inside `bounds` (top-left wins when it
/// is larger than the bounds).
Rect clamp_into(Rect card, Rect const& bounds) {
  double const w = card.width();
  double const h = card.height();
  double const x0 = std::max(std::min(card.x0, bounds.x1 - w), bounds.x0);
  double const y0 = std::max(std::min(card.y0, bounds.y1 - h), bounds.y0);
  return {x0, y0, x0 + w, y0 + h};
}

double ease_out(double t) {
  double const u = 1.0 - std::clamp(t, 0.0, 1.0);
  return 1.0 - u * u * u;
}

Affine scale_about(Point c, double s) {
  return Affine::translate(c.x, c.y) * Affine::scale(s) * Affine::translate(-c.x, -c.y);
}

bool positive(Rect const& r) {
  return r.width() > 0.0 && r.height() > 0.0;
}

} // namespace

FloatingPlacement::FloatingPlacement(Size card_size, base::Clock const& clock)
    : clock_(&clock), size_(card_size) {}

void FloatingPlacement::set_card_size(Size size) {
  if (std::isfinite(size.width) && std::isfinite(size.height) && size.width >= 0.0 &&
      size.height >= 0.0) {
    size_ = size;
  }
}

bool FloatingPlacement::is_initial() const {
  return state_ == PlacementState::InWindow && !offset_in_window_ && !dragging_ &&
         (handoff_ == HandoffKind::None || handoff_progress() >= 1000);
}

Rect FloatingPlacement::docked_rect(Rect const& window) const {
  Rect const card{window.x1 - DOCK_RIGHT - size_.width, window.y1 - DOCK_BOTTOM - size_.height,
                  window.x1 - DOCK_RIGHT, window.y1 - DOCK_BOTTOM};
  return clamp_into(card, window);
}

Rect FloatingPlacement::rect(Rect const& window, Rect const& preferred_bounds) const {
  switch (state_) {
  case PlacementState::InWindow:
    if (offset_in_window_) {
      return clamp_into(Rect::from_origin_size(window.origin() + *offset_in_window_, size_),
                        window);
    }
    return docked_rect(window);
  case PlacementState::Detached:
    if (!dragging_ && positive(preferred_bounds) && preferred_bounds != window) {
      return Rect::from_origin_size(
          preferred_bounds.origin() + Vec2{SURFACE_MARGIN, SURFACE_MARGIN}, size_);
    }
    return desktop_rect_;
  case PlacementState::Returning:
    return drag_rect_;
  }
  return desktop_rect_;
}

Rect FloatingPlacement::drag_rect_at(Point pointer) const {
  return Rect::from_origin_size(pointer - grab_, size_);
}

void FloatingPlacement::begin_drag(Point pointer, Rect const& /*window*/, Rect const& card) {
  grab_ = pointer - card.origin();
  drag_rect_ = Rect::from_origin_size(card.origin(), size_);
  dragging_ = true;
}

bool FloatingPlacement::returns_to_window(Point pointer, Rect const& card, Rect const& window) {
  double const area = card.width() * card.height();
  if (!window.contains(pointer) || !(area > 0.0)) {
    return false;
  }
  Rect const o = card.intersect(window);
  return std::max(o.width(), 0.0) * std::max(o.height(), 0.0) / area >= RETURN_OVERLAP;
}

std::optional<PlacementRequest> FloatingPlacement::update_drag(Point pointer, Rect const& window,
                                                               Rect const& /*card*/) {
  if (!dragging_) {
    return std::nullopt;
  }
  Rect const moved = drag_rect_at(pointer);
  drag_rect_ = moved;
  bool const over_window = returns_to_window(pointer, moved, window);
  switch (state_) {
  case PlacementState::InWindow:
    if (!window.contains(pointer)) {
      offset_in_window_.reset();
      desktop_rect_ = moved;
      state_ = PlacementState::Detached;
      start_handoff(HandoffKind::Lift);
      return PlacementRequest{PlacementAction::DetachToDesktop, moved};
    }
    offset_in_window_ = clamp_into(moved, window).origin() - window.origin();
    return std::nullopt;
  case PlacementState::Detached:
    desktop_rect_ = moved;
    if (over_window) {
      state_ = PlacementState::Returning;
      start_handoff(HandoffKind::Enter);
    }
    return std::nullopt;
  case PlacementState::Returning:
    if (!over_window) {
      desktop_rect_ = moved;
      state_ = PlacementState::Detached;
      start_handoff(HandoffKind::Lift);
    }
    return std::nullopt;
  }
  return std::nullopt;
}

std::optional<PlacementRequest> FloatingPlacement::end_drag() {
  if (!dragging_) {
    return std::nullopt;
  }
  dragging_ = false;
  if (state_ == PlacementState::Returning) {
    return PlacementRequest{PlacementAction::ReturnToApp, drag_rect_};
  }
  return std::nullopt;
}

void FloatingPlacement::detach_to_desktop(Rect const& desktop_rect) {
  desktop_rect_ = Rect::from_origin_size(desktop_rect.origin(), size_);
  offset_in_window_.reset();
  state_ = PlacementState::Detached;
  start_handoff(HandoffKind::Lift);
}

void FloatingPlacement::move_to_desktop(Rect const& desktop_rect) {
  desktop_rect_ = Rect::from_origin_size(desktop_rect.origin(), size_);
  if (state_ == PlacementState::InWindow) {
    offset_in_window_.reset();
    state_ = PlacementState::Detached;
  }
  if (dragging_) {
    drag_rect_ = desktop_rect_;
  }
}

void FloatingPlacement::reattach_to_app(Rect const& window, Rect const& /*preferred_bounds*/) {
  state_ = PlacementState::InWindow;
  offset_in_window_.reset();
  dragging_ = false;
  handoff_to_ = docked_rect(window);
  handoff_from_ = handoff_to_;
  start_handoff(HandoffKind::Release);
}

void FloatingPlacement::confirm_app_adoption(Rect const& window) {
  if (state_ == PlacementState::InWindow) {
    return;
  }
  Rect const from = state_ == PlacementState::Returning ? drag_rect_ : desktop_rect_;
  state_ = PlacementState::InWindow;
  offset_in_window_.reset();
  dragging_ = false;
  handoff_from_ = from;
  handoff_to_ = docked_rect(window);
  start_handoff(HandoffKind::Settle);
}

void FloatingPlacement::reset() {
  state_ = PlacementState::InWindow;
  offset_in_window_.reset();
  desktop_rect_ = {};
  drag_rect_ = {};
  grab_ = {};
  dragging_ = false;
  handoff_ = HandoffKind::None;
  handoff_from_ = {};
  handoff_to_ = {};
  pinned_.reset();
}

void FloatingPlacement::start_handoff(HandoffKind kind) {
  handoff_ = kind;
  handoff_start_ = clock_->now();
}

void FloatingPlacement::pin_handoff_for_visual_review(std::uint16_t permille) {
  pinned_ = std::min<std::uint16_t>(permille, 1000);
}

std::uint16_t FloatingPlacement::handoff_progress() const {
  if (pinned_) {
    return *pinned_;
  }
  if (handoff_ == HandoffKind::None || reduce_motion_) {
    return 1000;
  }
  double const elapsed =
      std::chrono::duration<double, std::milli>(clock_->now() - handoff_start_).count();
  double const total = std::chrono::duration<double, std::milli>(HANDOFF_DURATION).count();
  return base::saturating_cast<std::uint16_t>(std::clamp(elapsed / total, 0.0, 1.0) * 1000.0);
}

bool FloatingPlacement::is_handoff_animating() const {
  return handoff_ != HandoffKind::None && !pinned_ && !reduce_motion_ && handoff_progress() < 1000;
}

Affine FloatingPlacement::presentation_transform() const {
  double const e = ease_out(handoff_progress() / 1000.0);
  switch (handoff_) {
  case HandoffKind::None:
    return Affine::identity();
  case HandoffKind::Lift:
    if (state_ != PlacementState::Detached) {
      return Affine::identity();
    }
    return scale_about(desktop_rect_.center(), 1.0 + 0.08 * (1.0 - e));
  case HandoffKind::Enter:
    if (state_ != PlacementState::Returning) {
      return Affine::identity();
    }
    return scale_about(drag_rect_.origin() + grab_, 1.0 - 0.12 * e);
  case HandoffKind::Settle: {
    Vec2 const back = (handoff_from_.center() - handoff_to_.center()) * (1.0 - e);
    return Affine::translate(back) * scale_about(handoff_to_.center(), 0.88 + 0.12 * e);
  }
  case HandoffKind::Release:
    return scale_about(handoff_to_.center(), 0.9 + 0.1 * e);
  }
  return Affine::identity();
}

} // namespace zarn_ui::surface
