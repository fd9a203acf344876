#pragma once
// The desktop surface of an application's detachable card: a second, borderless SDL window with
// a presenter of its own. It opens when the application asks for a surface, follows the card
// while it is dragged, is kept inside the screen's usable area, and closes when the card goes
// back into the main window (or the main window closes, with this object).
//
// The card lives in the main window's logical coordinates, also when it lies outside the window:
// the surface shows that part of the plane at the same place on the screen, so the application
// draws, hit-tests and drags the card in one frame whichever window the pointer is over. Events
// of the surface are delivered to the application translated into that frame.
//
// Where the video driver cannot place a second window (the dummy driver, or any driver without
// global window positions), no surface opens: the card stays in the main window, where the
// application keeps it inside the window.

#include <SDL.h>

#include <memory>
#include <optional>

#include "platform/scene/color.h"
#include "platform/scene/geometry.h"
#include "platform/widget/widget.h"

namespace zarn_ui::launch {

class WindowPresenter;

/// Whether the video driver named `driver` gives windows of their own at chosen desktop places.
bool driver_places_windows(char const* driver);

/// `surface` (screen coordinates) moved the least so that it lies inside `usable`; top-left
/// wins when it is larger.
Rect clamp_to_usable(Rect const& surface, Rect const& usable);

class FloatingWindow {
public:
  /// `main` is the application's window; `ui_scale` the window coordinates per logical pixel.
  FloatingWindow(SDL_Window* main, double ui_scale);
  ~FloatingWindow();
  FloatingWindow(FloatingWindow const&) = delete;
  FloatingWindow& operator=(FloatingWindow const&) = delete;

  /// Sees every event before the main window does. Events of the surface are handled here (the
  /// card gets them in its frame; `main_scale` is the main frame's device pixels per logical
  /// pixel) and true is answered: the main window must not see them.
  bool route_event(SDL_Event const& event, widget::Widget& widget, State* state, double main_scale);

  /// After the main window's frame: takes the application's surface request, opens, moves or
  /// closes the surface, reports its geometry, hands a card dropped over the window back, and
  /// paints the card through the application's floating-surface side. Answers whether the
  /// surface's window was sent anything (the card changed, or the window lost its pixels).
  bool after_frame(widget::Widget& widget, widget::DrawCtx const& ctx, Color base);
  /// The card window's renderer lost its textures: its next frame fills them again.
  void forget_texture();

  /// Something about the surface changed since the last frame (opened, moved, exposed).
  bool wants_frame() const { return wants_frame_; }
  bool is_shown() const { return shown_; }
  /// The surface's SDL window id, 0 while none exists.
  Uint32 window_id() const;

private:
  Point main_origin() const;
  Point to_main_frame(int x, int y) const;
  void open_or_move(Rect const& screen, Rect const& frame_rect);
  void hide();
  void track_pointer(bool on);
  void report_geometry(floating_surface::FloatingSurfaceDelegate& surface, Rect const& frame_rect,
                       bool moved);

  SDL_Window* main_;
  double k_; // window coordinates per logical pixel
  bool capable_ = false;
  SDL_Window* window_ = nullptr;
  std::unique_ptr<WindowPresenter> presenter_;
  bool active_ = false; // a surface was asked for and the card is still off the window
  bool shown_ = false;
  bool wants_frame_ = false;
  bool was_dragging_ = false;
  bool tracking_ = false;             // capturing the pointer, with the X server's events on
  Rect frame_rect_;                   // the surface's rectangle in the main frame, as last shown
  Rect drawn_rect_;                   // the part of the frame the surface shows (unclamped)
  std::optional<Point> last_pointer_; // in the main frame
  std::optional<Point> pointer_on_screen_; // of the last raw motion, while dragged here
  Point last_main_origin_;
};

} // namespace zarn_ui::launch
