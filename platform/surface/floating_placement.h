#pragma once
// FloatingPlacement: where a detachable card lives (docked in the window, on the desktop in a
// surface of its own, or being dragged back over the window) and the short hand-off animation
// played at each change. The owner paints the card at rect() through presentation_transform().
// The placement talks to no compositor: it reports requests (detach, return) to its owner, and
// the owner tells it what the platform did (detach_to_desktop, move_to_desktop,
// reattach_to_app, confirm_app_adoption).

#include <chrono>
#include <cstdint>
#include <optional>

#include "base/clock.h"
#include "platform/scene/geometry.h"

namespace zarn_ui::surface {

enum class PlacementState : std::uint8_t {
  InWindow = 0,  // inside the window: docked, or where the user dropped it (the initial state)
  Detached = 1,  // on the desktop in its own surface
  Returning = 2, // a detached card dragged over the window, waiting to be adopted back
};

/// The animation of the last change of place.
enum class HandoffKind : std::uint8_t {
  None,
  Lift,    // leaving the window: the card pops out and settles at its desktop place
  Enter,   // a detached card over the window shrinks under the pointer
  Settle,  // adopted back: the card flies from where it was dropped to its dock
  Release, // returned by the platform: the card grows back in at its dock
};

enum class PlacementAction : std::uint8_t { DetachToDesktop, ReturnToApp };

/// What the placement asks its owner to do, with the card's rectangle at that moment.
struct PlacementRequest {
  PlacementAction action = PlacementAction::DetachToDesktop;
  Rect rect;
  friend bool operator==(PlacementRequest const&, PlacementRequest const&) = default;
};

class FloatingPlacement {
public:
  static constexpr std::chrono::milliseconds HANDOFF_DURATION{240};
  /// Distance of the docked card from the window's right edge and from its bottom edge.
  static constexpr double DOCK_RIGHT = 16.0;
  static constexpr double DOCK_BOTTOM = 62.0;
  /// Margin between a desktop surface's edge and the card inside it.
  static constexpr double SURFACE_MARGIN = 8.0;
  /// Fraction of the card that must lie over the window for a dragged card to return.
  static constexpr double RETURN_OVERLAP = 0.5;
  /// Whether a card dragged to `card`, the pointer at `pointer`, goes back into `window`: the
  /// pointer lies in the window and at least RETURN_OVERLAP of the card over it.
  static bool returns_to_window(Point pointer, Rect const& card, Rect const& window);

  explicit FloatingPlacement(Size card_size = {360.0, 156.0},
                             base::Clock const& clock = base::system_clock());

  PlacementState state() const { return state_; }
  bool is_in_window() const { return state_ == PlacementState::InWindow; }
  /// Docked in the window with nothing moving: the state after construction and reset(), and
  /// again once a hand-off back into the window has played.
  bool is_initial() const;
  bool is_dragging() const { return dragging_; }
  Size card_size() const { return size_; }
  void set_card_size(Size size);

  /// The card's rectangle. In the window: docked at the bottom-right (or where it was dropped),
  /// kept inside `window`. Detached: inside the surface the platform gave (`preferred_bounds`
  /// when it has a positive area and is not the window), else where it was detached to.
  /// Returning: under the pointer.
  Rect rect(Rect const& window, Rect const& preferred_bounds) const;
  Rect docked_rect(Rect const& window) const;

  /// Starts a drag of the card at `card` grabbed at `pointer`.
  void begin_drag(Point pointer, Rect const& window, Rect const& card);
  /// Moves the dragged card. A card in the window follows inside it and asks to be detached
  /// once the pointer leaves the window; a detached card over the window (pointer inside, at
  /// least half of the card over it) starts returning, and stops returning when dragged off.
  /// `card` is not needed beyond begin_drag's (its size is kept); without a drag, nothing.
  std::optional<PlacementRequest> update_drag(Point pointer, Rect const& window, Rect const& card);
  /// Ends the drag; a returning card asks to be returned to the window.
  std::optional<PlacementRequest> end_drag();

  /// The card now lives on the desktop at `desktop_rect`.
  void detach_to_desktop(Rect const& desktop_rect);
  /// The platform moved the detached card's surface (a drag in progress keeps its grab point).
  void move_to_desktop(Rect const& desktop_rect);
  /// The platform gave the card back: docked in the window.
  void reattach_to_app(Rect const& window, Rect const& preferred_bounds);
  /// The application took a returning (or detached) card back: it settles at its dock.
  void confirm_app_adoption(Rect const& window);
  /// Back to the initial state (the clock and card size stay).
  void reset();

  /// Holds the hand-off animation at `permille` (0 start .. 1000 end; larger counts as 1000)
  /// so that a screenshot shows it.
  void pin_handoff_for_visual_review(std::uint16_t permille);
  void unpin_handoff() { pinned_.reset(); }
  /// With reduced motion every hand-off ends at once (a pinned value still wins).
  void set_reduce_motion(bool on) { reduce_motion_ = on; }

  HandoffKind handoff_kind() const { return handoff_; }
  std::uint16_t handoff_progress() const;
  bool is_handoff_animating() const;
  /// The transform to paint the card with (identity when nothing animates).
  Affine presentation_transform() const;

private:
  void start_handoff(HandoffKind kind);
  Rect drag_rect_at(Point pointer) const;

  base::Clock const* clock_;
  Size size_;
  PlacementState state_ = PlacementState::InWindow;
  std::optional<Vec2> offset_in_window_; // card origin relative to the window, when dropped
  Rect desktop_rect_;
  Rect drag_rect_;
  Vec2 grab_; // pointer minus card origin
  bool dragging_ = false;
  HandoffKind handoff_ = HandoffKind::None;
  base::Instant handoff_start_{};
  Rect handoff_from_;
  Rect handoff_to_;
  std::optional<std::uint16_t> pinned_;
  bool reduce_motion_ = false;
};

} // namespace zarn_ui::surface
