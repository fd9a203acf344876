#include "platform/launch/window_present.h"

#include <cairo.h>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

namespace zarn_ui::launch {

namespace {

/// The rectangles to send: those repainted, or the whole frame.
std::vector<render::PixelRect> to_send(std::vector<render::PixelRect> const& painted, bool all,
                                       int width, int height) {
  if (all) {
    return {render::PixelRect{0, 0, width, height}};
  }
  return painted;
}

SDL_Rect sdl_rect(render::PixelRect const& r) {
  return SDL_Rect{r.x, r.y, r.width, r.height};
}

} // namespace

double pixel_ratio(int pixel_width, int window_width) {
  return pixel_width > 0 && window_width > 0
             ? static_cast<double>(pixel_width) / static_cast<double>(window_width)
             : 1.0;
}

bool is_render_reset(SDL_Event const& event) {
  return event.type == SDL_RENDER_TARGETS_RESET || event.type == SDL_RENDER_DEVICE_RESET;
}

bool loses_window_pixels(SDL_WindowEvent const& event) {
  switch (event.event) {
  case SDL_WINDOWEVENT_EXPOSED:
  case SDL_WINDOWEVENT_SHOWN:
  case SDL_WINDOWEVENT_RESTORED:
  case SDL_WINDOWEVENT_SIZE_CHANGED:
    return true;
  default:
    return false;
  }
}

WindowPresenter::WindowPresenter(SDL_Window* window) : window_(window) {
  int win_w = 0;
  int win_h = 0;
  int px_w = 0;
  int px_h = 0;
  SDL_GetWindowSize(window, &win_w, &win_h);
  SDL_GetWindowSizeInPixels(window, &px_w, &px_h);
  // Asked for only where it would be as large as the drawable: once made, a window surface
  // must not share the window with a renderer.
  if (px_w == win_w && px_h == win_h && SDL_GetWindowSurface(window) != nullptr) {
    return;
  }
  renderer_ = SDL_CreateRenderer(window, -1, 0);
  if (!renderer_) {
    spdlog::warn("the window can show no frames: no window surface and no renderer ({})",
                 SDL_GetError());
  }
}

WindowPresenter::~WindowPresenter() {
  if (texture_) {
    SDL_DestroyTexture(texture_);
  }
  if (renderer_) {
    SDL_DestroyRenderer(renderer_);
  }
}

WindowPixels WindowPresenter::pixels() const {
  int win_w = 0;
  int win_h = 0;
  SDL_GetWindowSize(window_, &win_w, &win_h);
  WindowPixels out{win_w, win_h, 1.0};
  if (renderer_) {
    if (SDL_GetRendererOutputSize(renderer_, &out.width, &out.height) != 0) {
      out.width = win_w;
      out.height = win_h;
    }
  } else if (SDL_Surface* surface = SDL_GetWindowSurface(window_)) {
    out.width = surface->w;
    out.height = surface->h;
  }
  out.ratio = pixel_ratio(out.width, win_w);
  return out;
}

void WindowPresenter::show_all_next() {
  copy_all_ = true;
}

void WindowPresenter::forget_texture() {
  if (texture_) {
    SDL_DestroyTexture(texture_);
    texture_ = nullptr;
  }
  texture_w_ = 0;
  texture_h_ = 0;
  copy_all_ = true;
}

base::Result<std::vector<render::PixelRect>> WindowPresenter::present(Scene const& scene,
                                                                      double scale, Color base) {
  if (renderer_) {
    return present_on_renderer(scene, scale, base);
  }
  return present_on_surface(scene, scale, base);
}

base::Result<std::vector<render::PixelRect>>
WindowPresenter::present_on_surface(Scene const& scene, double scale, Color base) {
  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (!surface) {
    return base::fail(fmt::format("no window surface: {}", SDL_GetError()));
  }
  auto const painted = frame_.render(scene, surface->w, surface->h, scale, base, &tiles_);
  if (!painted) {
    return base::fail(painted.error());
  }
  // A surface this presenter filled carries it as user data. SDL makes the surface anew when the
  // window changes size and may hand out the same address again, so the pointer does not say
  // whether it still holds the frame; a new surface comes without.
  bool const all = copy_all_ || surface->userdata != this;
  std::vector<render::PixelRect> const rects = to_send(*painted, all, surface->w, surface->h);
  if (rects.empty()) {
    return rects;
  }
  // The frame's RGB24 pixels as SDL sees them; blitting converts where the window's format
  // differs and copies rows where it does not.
  cairo_surface_t* frame = frame_.surface();
  SDL_Surface* from = SDL_CreateRGBSurfaceWithFormatFrom(
      cairo_image_surface_get_data(frame), cairo_image_surface_get_width(frame),
      cairo_image_surface_get_height(frame), 32, cairo_image_surface_get_stride(frame),
      SDL_PIXELFORMAT_RGB888);
  if (!from) {
    return base::fail(fmt::format("frame: {}", SDL_GetError()));
  }
  std::vector<SDL_Rect> sent;
  bool copied = true;
  for (render::PixelRect const& r : rects) {
    SDL_Rect src = sdl_rect(r);
    SDL_Rect dst = src;
    copied = copied && SDL_BlitSurface(from, &src, surface, &dst) == 0;
    sent.push_back(sdl_rect(r));
  }
  SDL_FreeSurface(from);
  if (!copied) {
    surface->userdata = nullptr;
    return base::fail(fmt::format("frame: {}", SDL_GetError()));
  }
  surface->userdata = this;
  copy_all_ = false;
  if (SDL_UpdateWindowSurfaceRects(window_, sent.data(), static_cast<int>(sent.size())) != 0) {
    copy_all_ = true;
    return base::fail(fmt::format("present: {}", SDL_GetError()));
  }
  return rects;
}

base::Result<std::vector<render::PixelRect>>
WindowPresenter::present_on_renderer(Scene const& scene, double scale, Color base) {
  WindowPixels const px = pixels();
  if (px.width <= 0 || px.height <= 0) {
    return base::fail(fmt::format("empty drawable {} x {}", px.width, px.height));
  }
  if (!texture_ || texture_w_ != px.width || texture_h_ != px.height) {
    if (texture_) {
      SDL_DestroyTexture(texture_);
    }
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                 px.width, px.height);
    texture_w_ = texture_ ? px.width : 0;
    texture_h_ = texture_ ? px.height : 0;
    copy_all_ = true;
    if (!texture_) {
      return base::fail(fmt::format("texture: {}", SDL_GetError()));
    }
  }
  auto const painted = frame_.render(scene, texture_w_, texture_h_, scale, base, &tiles_);
  if (!painted) {
    return base::fail(painted.error());
  }
  std::vector<render::PixelRect> const rects = to_send(*painted, copy_all_, texture_w_, texture_h_);
  if (rects.empty()) {
    return rects;
  }
  cairo_surface_t* frame = frame_.surface();
  int const stride = cairo_image_surface_get_stride(frame);
  for (render::PixelRect const& r : rects) {
    SDL_Rect const rect = sdl_rect(r);
    unsigned char const* src = cairo_image_surface_get_data(frame) +
                               static_cast<std::ptrdiff_t>(r.y) * stride +
                               static_cast<std::ptrdiff_t>(r.x) * 4;
    if (SDL_UpdateTexture(texture_, &rect, src, stride) != 0) {
      copy_all_ = true;
      return base::fail(fmt::format("texture: {}", SDL_GetError()));
    }
  }
  copy_all_ = false;
  // A renderer shows whole frames: what it presents is the whole window.
  SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
  SDL_RenderPresent(renderer_);
  return std::vector<render::PixelRect>{render::PixelRect{0, 0, texture_w_, texture_h_}};
}

} // namespace zarn_ui::launch
