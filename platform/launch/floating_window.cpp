#include "platform/launch/floating_window.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include <spdlog/spdlog.h>

#include "platform/launch/sdl_events.h"
#include "platform/launch/window_present.h"
#include "platform/launch/x11_pointer.h"
#include "platform/scene/scene.h"
#include "platform/surface/floating_placement.h"
#include "platform/surface/floating_surface.h"

namespace zarn_ui::launch {

namespace {

using floating_surface::FloatingSurfaceDelegate;
using floating_surface::PlacementEvent;
using floating_surface::PlacementEventKind;
using surface::FloatingPlacement;

constexpr double MARGIN = FloatingPlacement::SURFACE_MARGIN;

Rect inset(Rect const& r, double by) {
  return {r.x0 + by, r.y0 + by, r.x1 - by, r.y1 - by};
}

floating_surface::ProtocolRect protocol_form(Rect const& r) {
  auto const whole = [](double v) { return static_cast<std::int32_t>(std::lround(v)); };
  return {whole(r.x0), whole(r.y0), whole(r.width()), whole(r.height())};
}

/// The window an event is about; 0 for events of no window.
Uint32 event_window(SDL_Event const& e) {
  switch (e.type) {
  case SDL_WINDOWEVENT:
    return e.window.windowID;
  case SDL_MOUSEMOTION:
    return e.motion.windowID;
  case SDL_MOUSEBUTTONDOWN:
  case SDL_MOUSEBUTTONUP:
    return e.button.windowID;
  case SDL_MOUSEWHEEL:
    return e.wheel.windowID;
  case SDL_KEYDOWN:
  case SDL_KEYUP:
    return e.key.windowID;
  case SDL_TEXTINPUT:
    return e.text.windowID;
  default:
    return 0;
  }
}

std::uint32_t button_of(Uint8 sdl_button) {
  switch (sdl_button) {
  case SDL_BUTTON_LEFT:
    return 0;
  case SDL_BUTTON_RIGHT:
    return 1;
  case SDL_BUTTON_MIDDLE:
    return 2;
  default:
    return sdl_button;
  }
}

/// The usable area of the display the surface's centre lies on (else the main window's).
std::optional<Rect> usable_area(Rect const& screen, SDL_Window* main) {
  SDL_Point const centre{static_cast<int>(std::lround((screen.x0 + screen.x1) / 2)),
                         static_cast<int>(std::lround((screen.y0 + screen.y1) / 2))};
  int display = SDL_GetPointDisplayIndex(&centre);
  if (display < 0) {
    display = SDL_GetWindowDisplayIndex(main);
  }
  SDL_Rect r;
  if (display < 0 || SDL_GetDisplayUsableBounds(display, &r) != 0 || r.w <= 0 || r.h <= 0) {
    return std::nullopt;
  }
  return Rect{static_cast<double>(r.x), static_cast<double>(r.y), static_cast<double>(r.x + r.w),
              static_cast<double>(r.y + r.h)};
}

} // namespace

bool driver_places_windows(char const* driver) {
  if (driver == nullptr) {
    return false;
  }
  // Wayland gives no global positions, the dummy, offscreen and console drivers one screen.
  std::string_view const name = driver;
  return name == "x11" || name == "windows" || name == "cocoa";
}

Rect clamp_to_usable(Rect const& surface, Rect const& usable) {
  double const w = surface.width();
  double const h = surface.height();
  double const x0 = std::max(std::min(surface.x0, usable.x1 - w), usable.x0);
  double const y0 = std::max(std::min(surface.y0, usable.y1 - h), usable.y0);
  return {x0, y0, x0 + w, y0 + h};
}

FloatingWindow::FloatingWindow(SDL_Window* main, double ui_scale)
    : main_(main), k_(std::isfinite(ui_scale) && ui_scale > 0.0 ? ui_scale : 1.0),
      capable_(driver_places_windows(SDL_GetCurrentVideoDriver())) {
  last_main_origin_ = main_origin();
}

FloatingWindow::~FloatingWindow() {
  presenter_.reset();
  if (window_) {
    SDL_DestroyWindow(window_);
  }
}

Uint32 FloatingWindow::window_id() const {
  return window_ ? SDL_GetWindowID(window_) : 0;
}

Point FloatingWindow::main_origin() const {
  int x = 0;
  int y = 0;
  SDL_GetWindowPosition(main_, &x, &y);
  return {static_cast<double>(x), static_cast<double>(y)};
}

Point FloatingWindow::to_main_frame(int x, int y) const {
  return {drawn_rect_.x0 + x / k_, drawn_rect_.y0 + y / k_};
}

void FloatingWindow::track_pointer(bool on) {
  if (on == tracking_) {
    return;
  }
  tracking_ = on;
  // The dragging window keeps the pointer wherever it goes, and the X server's events tell
  // where it is on the screen.
  SDL_CaptureMouse(on ? SDL_TRUE : SDL_FALSE);
  SDL_EventState(SDL_SYSWMEVENT, on ? SDL_ENABLE : SDL_DISABLE);
  pointer_on_screen_.reset();
}

bool FloatingWindow::route_event(SDL_Event const& event, widget::Widget& widget, State* state,
                                 double main_scale) {
  if (event.type == SDL_SYSWMEVENT) {
    if (auto const at = x11_pointer_on_screen(event)) {
      pointer_on_screen_ = *at;
    }
    return true;
  }
  auto* surface = widget.as_floating_surface_mut();
  Uint32 const id = event_window(event);
  bool const ours = window_ != nullptr && id == SDL_GetWindowID(window_);
  bool const main_event = id == SDL_GetWindowID(main_);
  bool const dragging = surface != nullptr && widget.is_dragging_surface();
  bool const pointer = event.type == SDL_MOUSEMOTION || event.type == SDL_MOUSEBUTTONUP;
  Modifiers const mods = modifiers_from_sdl(static_cast<Uint16>(SDL_GetModState()));
  auto deliver = [&](Event const& e) {
    bool handled = false;
    widget.handle_event(e, mods, state, main_scale, handled);
    wants_frame_ = true;
  };

  // While the card is dragged its place follows the pointer's place on the screen: SDL keeps
  // positions inside the window they are for, and the surface moves under the pointer.
  std::optional<Point> dragged_to;
  if (dragging && pointer && (ours || main_event) && pointer_on_screen_) {
    Point const origin = main_origin();
    dragged_to =
        Point{(pointer_on_screen_->x - origin.x) / k_, (pointer_on_screen_->y - origin.y) / k_};
    pointer_on_screen_.reset();
  }
  if (main_event && pointer && !dragged_to) {
    last_pointer_ = event.type == SDL_MOUSEMOTION ? Point{event.motion.x / k_, event.motion.y / k_}
                                                  : Point{event.button.x / k_, event.button.y / k_};
  } else if (dragged_to) {
    last_pointer_ = dragged_to;
  }
  if (dragging && event.type == SDL_MOUSEMOTION && dragged_to) {
    deliver(PointerMoved{dragged_to->x * main_scale, dragged_to->y * main_scale});
    return true;
  }
  if (dragging && event.type == SDL_MOUSEBUTTONUP) {
    // The card keeps the place it is dropped at, also with motion since the last frame.
    auto const surfaces = surface->detached_surface();
    if (!surfaces.empty()) {
      surface->set_detached_rect(surfaces.front().rect);
    }
    track_pointer(false);
  }
  if (!ours) {
    return false;
  }
  if (event.type == SDL_WINDOWEVENT && loses_window_pixels(event.window) && presenter_) {
    presenter_->show_all_next();
  }
  if (!surface || !shown_) {
    return true;
  }
  switch (event.type) {
  case SDL_WINDOWEVENT:
    if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
      // Closed from the desktop: the card goes back into the window.
      if (auto const request = surface->surface_spec()) {
        surface->apply_placement_event(
            PlacementEvent{PlacementEventKind::ReturnToApp, request->surface_id, {}, false});
      }
      hide();
      active_ = false;
    } else if (event.window.event == SDL_WINDOWEVENT_LEAVE && !dragging) {
      // Nothing of the card stays hovered once the pointer has left it.
      deliver(
          PointerMoved{(drawn_rect_.x0 - 1.0) * main_scale, (drawn_rect_.y0 - 1.0) * main_scale});
    }
    wants_frame_ = true;
    break;
  case SDL_MOUSEMOTION: {
    Point p = to_main_frame(event.motion.x, event.motion.y);
    if (dragging) {
      // Without the screen place: relative to where the surface is now.
      int wx = 0;
      int wy = 0;
      SDL_GetWindowPosition(window_, &wx, &wy);
      Point const origin = main_origin();
      p = {(wx + event.motion.x - origin.x) / k_, (wy + event.motion.y - origin.y) / k_};
    }
    last_pointer_ = p;
    deliver(PointerMoved{p.x * main_scale, p.y * main_scale});
    break;
  }
  case SDL_MOUSEBUTTONDOWN:
  case SDL_MOUSEBUTTONUP: {
    Point const p = to_main_frame(event.button.x, event.button.y);
    bool const pressed = event.type == SDL_MOUSEBUTTONDOWN;
    // The margin around the card is no part of it: a press there reaches nothing beneath.
    if (pressed && !inset(drawn_rect_, MARGIN).contains(p)) {
      break;
    }
    if (pressed) {
      deliver(PointerMoved{p.x * main_scale, p.y * main_scale});
    }
    deliver(PointerButton{p.x * main_scale, p.y * main_scale, button_of(event.button.button),
                          pressed ? ButtonState::Pressed : ButtonState::Released});
    if (pressed && widget.is_dragging_surface()) {
      track_pointer(true);
    }
    break;
  }
  case SDL_KEYDOWN:
  case SDL_KEYUP:
  case SDL_TEXTINPUT:
    // A desktop that focuses the card's window: typing still reaches the application.
    if (auto translated = translate_sdl_event(event, 1.0)) {
      bool handled = false;
      widget.handle_event(translated->event, translated->modifiers, state, main_scale, handled);
      wants_frame_ = true;
    }
    break;
  default:
    break; // the wheel scrolls nothing on the card
  }
  return true;
}

void FloatingWindow::report_geometry(FloatingSurfaceDelegate& surface, Rect const& frame_rect,
                                     bool moved) {
  surface.set_detached_rect(frame_rect);
  auto const request = surface.surface_spec();
  if (!moved || !request) {
    return;
  }
  surface.apply_placement_event(PlacementEvent{PlacementEventKind::Moved, request->surface_id,
                                               protocol_form(inset(frame_rect, MARGIN)), true});
}

void FloatingWindow::open_or_move(Rect const& screen, Rect const& frame_rect) {
  int const x = static_cast<int>(std::lround(screen.x0));
  int const y = static_cast<int>(std::lround(screen.y0));
  int const w = std::max(1, static_cast<int>(std::lround(screen.width())));
  int const h = std::max(1, static_cast<int>(std::lround(screen.height())));
  if (!window_) {
    window_ = SDL_CreateWindow("Active navigation", x, y, w, h,
                               SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP |
                                   SDL_WINDOW_SKIP_TASKBAR | SDL_WINDOW_UTILITY |
                                   SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN);
    if (!window_) {
      spdlog::info("no desktop surface for the card ({}); it stays in the window", SDL_GetError());
      capable_ = false;
      return;
    }
    presenter_ = std::make_unique<WindowPresenter>(window_);
  }
  int cur_x = 0;
  int cur_y = 0;
  int cur_w = 0;
  int cur_h = 0;
  SDL_GetWindowPosition(window_, &cur_x, &cur_y);
  SDL_GetWindowSize(window_, &cur_w, &cur_h);
  if (cur_w != w || cur_h != h) {
    SDL_SetWindowSize(window_, w, h);
    wants_frame_ = true;
  }
  if (cur_x != x || cur_y != y) {
    SDL_SetWindowPosition(window_, x, y);
    wants_frame_ = true;
  }
  if (!shown_) {
    SDL_ShowWindow(window_);
    presenter_->show_all_next(); // a window shown again lost what it showed
    shown_ = true;
    wants_frame_ = true;
  }
  drawn_rect_ = frame_rect;
}

void FloatingWindow::hide() {
  if (window_ && shown_) {
    SDL_HideWindow(window_);
  }
  shown_ = false;
}

void FloatingWindow::forget_texture() {
  if (presenter_) {
    presenter_->forget_texture();
  }
}

bool FloatingWindow::after_frame(widget::Widget& widget, widget::DrawCtx const& ctx, Color base) {
  wants_frame_ = false;
  auto* surface = widget.as_floating_surface_mut();
  if (!surface) {
    return false;
  }
  bool const dragging = widget.is_dragging_surface();
  bool const dropped = was_dragging_ && !dragging;
  if (capable_) {
    track_pointer(dragging); // a drag that started in the main window may leave it
  }
  was_dragging_ = dragging;
  if (surface->take_surface_request()) {
    active_ = true;
    wants_frame_ = true;
  }
  auto const surfaces = surface->detached_surface();
  if (surfaces.empty()) {
    active_ = false;
    hide();
    return false;
  }
  Rect frame_rect = surfaces.front().rect;
  Rect const window = widget.window_rect();
  // Dropped mostly over the window, the pointer in it: the window takes the card back (it
  // settles at its dock).
  if (dropped && last_pointer_ &&
      FloatingPlacement::returns_to_window(*last_pointer_, inset(frame_rect, MARGIN), window)) {
    if (auto const request = surface->surface_spec()) {
      surface->apply_placement_event(
          PlacementEvent{PlacementEventKind::AdoptedByApp, request->surface_id, {}, false});
    }
    active_ = false;
    hide();
    wants_frame_ = true;
    return false;
  }
  if (!capable_ || !active_) {
    return false; // the main window keeps painting the card, inside the window
  }
  Point const origin = main_origin();
  if (shown_ && !dragging && origin != last_main_origin_) {
    // The main window moved; the card stays where it is on the screen.
    frame_rect = frame_rect.translate((last_main_origin_ - origin) * (1.0 / k_));
  }
  last_main_origin_ = origin;
  Rect const screen{origin.x + frame_rect.x0 * k_, origin.y + frame_rect.y0 * k_,
                    origin.x + frame_rect.x1 * k_, origin.y + frame_rect.y1 * k_};
  Rect const usable = usable_area(screen, main_).value_or(screen);
  Rect const placed = clamp_to_usable(screen, usable);
  Rect const placed_frame{(placed.x0 - origin.x) / k_, (placed.y0 - origin.y) / k_,
                          (placed.x1 - origin.x) / k_, (placed.y1 - origin.y) / k_};
  bool const first = !shown_;
  // While dragged the card is held under the pointer (the window stops at the screen's edge);
  // the drop settles it inside.
  Rect const shown_frame = dragging ? frame_rect : placed_frame;
  open_or_move(placed, shown_frame);
  if (!shown_) {
    return false;
  }
  report_geometry(*surface, shown_frame,
                  first || (!dragging && placed_frame != surfaces.front().rect));
  if (first) {
    if (auto const request = surface->surface_spec()) {
      surface->apply_placement_event(
          PlacementEvent{PlacementEventKind::Configured, request->surface_id, {}, true});
    }
  }

  WindowPixels const px = presenter_->pixels();
  Scene scene;
  surface->draw_nav_card(scene, Affine::translate(-drawn_rect_.x0, -drawn_rect_.y0), ctx);
  auto const shown = presenter_->present(scene, px.ratio * k_, base);
  if (!shown) {
    spdlog::error("card frame: {}", shown.error());
    return false;
  }
  return !shown->empty();
}

} // namespace zarn_ui::launch
