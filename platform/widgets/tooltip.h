#pragma once
// Hover tooltips: TooltipHost decides when a tooltip shows (the pointer rests on the same
// candidate for SHOW_DELAY), and draw_hover_tooltip paints one. The host reads no clock of
// its own: the caller passes the current instant, so tests move time by hand.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "platform/scene/geometry.h"

namespace zarn_ui {
class Scene;
class TextRenderer;
struct Theme;
} // namespace zarn_ui

namespace zarn_ui::widget {

/// What the pointer rests on: the tooltip text and the rectangle it explains.
struct TooltipCandidate {
  std::string text;
  Rect anchor;
  friend bool operator==(TooltipCandidate const&, TooltipCandidate const&) = default;
};

class TooltipHost {
public:
  static constexpr std::chrono::milliseconds SHOW_DELAY{500};

  /// The candidate under the pointer (none when it rests on nothing). A new candidate starts
  /// the delay again and hides a shown tooltip; the same one keeps its state. After dismiss
  /// the same candidate stays quiet until the pointer leaves it. Returns whether anything
  /// visible or pending changed.
  bool on_pointer(std::optional<TooltipCandidate> candidate, base::Instant now, Point pointer);
  /// Shows the pending tooltip once its delay has passed; returns whether it appeared.
  bool tick(base::Instant now);
  /// Hides the tooltip (a press, a wheel turn or a key).
  void dismiss();

  /// The tooltip to draw, while shown.
  std::optional<TooltipCandidate> shown() const;
  bool is_shown() const { return candidate_ && shown_; }
  /// Holds a tooltip that is not shown yet: the caller keeps frames coming until it shows.
  bool has_pending() const { return candidate_ && !shown_ && !suppressed_; }
  /// When the pending tooltip will show.
  std::optional<base::Instant> deadline() const;
  Point pointer() const { return pointer_; }

private:
  std::optional<TooltipCandidate> candidate_;
  base::Instant since_{};
  Point pointer_;
  bool shown_ = false;
  bool suppressed_ = false;
};

namespace tooltip {

/// Paints a tooltip for `anchor`: a small card in inverted colours with the text, centred below
/// the anchor (above it when there is no room below; left of it for anchors in the right
/// quarter of `bounds`), kept inside `bounds` when given.
void draw_hover_tooltip(Scene& scene, Affine const& transform, TextRenderer const& text,
                        Theme const& theme, std::string_view label, Rect const& anchor,
                        std::optional<Rect> bounds = std::nullopt);

/// The rectangle draw_hover_tooltip uses for a text of width `text_width`.
Rect tooltip_rect(double text_width, double line_height, Rect const& anchor,
                  std::optional<Rect> bounds);

} // namespace tooltip

} // namespace zarn_ui::widget
