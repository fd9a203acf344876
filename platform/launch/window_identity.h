#pragma once
// How the desktop recognises the window: the class (X11) or application id (Wayland) that
// matches the application's desktop file, and the window icon drawn from the application's SVG.

#include <SDL.h>

#include "platform/launch/launch.h"

namespace zarn_ui::launch {

/// Before SDL starts its video: names the window class after the application id, unless the
/// user chose one (SDL_VIDEO_X11_WMCLASS, SDL_VIDEO_WAYLAND_WMCLASS).
void prepare_window_identity(LaunchSpec const& application);

/// Sets the window's icon from `application.icon_svg`; a missing or unreadable icon leaves the
/// window system's default (logged).
void apply_window_icon(SDL_Window* window, LaunchSpec const& application);

} // namespace zarn_ui::launch
