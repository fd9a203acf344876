#include "platform/launch/window_identity.h"

#include <stdlib.h>

#include <spdlog/spdlog.h>

#include "platform/render/svg_raster.h"

namespace zarn_ui::launch {

namespace {

// Large enough for a sharp title bar and task switcher; the window system scales it down.
constexpr std::uint32_t ICON_SIZE = 128;

} // namespace

void prepare_window_identity(LaunchSpec const& application) {
  if (application.app_id.empty()) {
    return;
  }
  // SDL reads these from the environment when it creates the window; 0 keeps a user's choice.
  setenv("SDL_VIDEO_X11_WMCLASS", application.app_id.c_str(), 0);
  setenv("SDL_VIDEO_WAYLAND_WMCLASS", application.app_id.c_str(), 0);
}

void apply_window_icon(SDL_Window* window, LaunchSpec const& application) {
  if (window == nullptr || application.icon_svg.empty()) {
    return;
  }
  auto rgba = rasterise_svg(application.icon_svg, ICON_SIZE);
  if (!rgba) {
    spdlog::warn("the window icon could not be drawn: {}", rgba.error());
    return;
  }
  auto const side = static_cast<int>(ICON_SIZE);
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(rgba->data(), side, side, 32, side * 4,
                                                         SDL_PIXELFORMAT_RGBA32);
  if (icon == nullptr) {
    spdlog::warn("the window icon could not be set: {}", SDL_GetError());
    return;
  }
  SDL_SetWindowIcon(window, icon);
  SDL_FreeSurface(icon);
}

} // namespace zarn_ui::launch
