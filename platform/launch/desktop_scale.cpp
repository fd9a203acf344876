#include "platform/launch/desktop_scale.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <charconv>
#include <cmath>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xlib.h>
#endif

namespace zarn_ui::launch {

namespace {

// Beyond this no desktop scales; a larger value is a typo, not a wish.
constexpr double MAX_SCALE = 8.0;
// The resolution at which X11 desktops draw at scale 1.
constexpr double BASE_DPI = 96.0;

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

std::optional<double> in_range(double scale) {
  if (!std::isfinite(scale) || scale < 1.0 || scale > MAX_SCALE) {
    return std::nullopt;
  }
  return scale;
}

} // namespace

std::optional<double> scale_from_gdk_scale(char const* value) {
  if (value == nullptr) {
    return std::nullopt;
  }
  std::string_view const text = trimmed(value);
  int whole = 0;
  auto const [end, ec] = std::from_chars(text.data(), text.data() + text.size(), whole);
  if (ec != std::errc{} || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return in_range(whole);
}

std::optional<double> scale_from_xft_dpi(std::string_view resources) {
  constexpr std::string_view KEY = "Xft.dpi:";
  while (!resources.empty()) {
    std::size_t const eol = resources.find('\n');
    std::string_view const line = resources.substr(0, eol);
    resources = eol == std::string_view::npos ? std::string_view{} : resources.substr(eol + 1);
    if (!line.starts_with(KEY)) {
      continue;
    }
    std::string_view const value = trimmed(line.substr(KEY.size()));
    double dpi = 0.0;
    auto const [end, ec] = std::from_chars(value.data(), value.data() + value.size(), dpi);
    if (ec != std::errc{} || end != value.data() + value.size()) {
      return std::nullopt;
    }
    return in_range(dpi / BASE_DPI);
  }
  return std::nullopt;
}

double desktop_ui_scale(std::optional<float> user, double pixel_ratio,
                        std::optional<double> gdk_scale, std::optional<double> xft_scale) {
  if (user) {
    return *user;
  }
  if (std::isfinite(pixel_ratio) && pixel_ratio > 1.0) {
    return 1.0;
  }
  return gdk_scale.value_or(xft_scale.value_or(1.0));
}

std::string x_resources(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window == nullptr || SDL_GetWindowWMInfo(window, &info) != SDL_TRUE ||
      info.subsystem != SDL_SYSWM_X11 || info.info.x11.display == nullptr) {
    return {};
  }
  char const* resources = XResourceManagerString(info.info.x11.display);
  return resources != nullptr ? std::string(resources) : std::string();
#else
  (void)window;
  return {};
#endif
}

} // namespace zarn_ui::launch
