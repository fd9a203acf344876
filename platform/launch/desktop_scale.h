#pragma once
// The desktop's UI scale where SDL reports none: on X11 the window's pixels are the desktop's,
// so the scale comes from GDK_SCALE or from Xft.dpi in the X resources, as GTK reads them. The
// parsing is pure; reading the X resources needs the open window.

#include <optional>
#include <string>
#include <string_view>

struct SDL_Window;

namespace zarn_ui::launch {

/// GDK_SCALE's whole factor (1 to 8); none when unset or not such a number.
std::optional<double> scale_from_gdk_scale(char const* value);

/// Xft.dpi in an X resource database text divided by 96, from 1 to 8; none without a usable
/// value.
std::optional<double> scale_from_xft_dpi(std::string_view resources);

/// The UI scale to draw with: `user` (--scale) when given; else 1 when SDL reports its own pixel
/// ratio above 1 (the desktop scales the window already); else GDK_SCALE, else Xft.dpi, else 1.
double desktop_ui_scale(std::optional<float> user, double pixel_ratio,
                        std::optional<double> gdk_scale, std::optional<double> xft_scale);

/// The X resource database of the window's display (RESOURCE_MANAGER); empty off X11.
std::string x_resources(SDL_Window* window);

} // namespace zarn_ui::launch
