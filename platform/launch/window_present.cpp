#include "platform/launch/window_present.h"

#include <cstring>
#include <vector>

#include <cairo.h>

#include <spdlog/spdlog.h>

namespace zarn_ui::launch {

namespace {

/// The rectangles to copy from the frame: those repainted, or the whole frame.
std::vector<render::PixelRect> to_copy(std::vector<render::PixelRect> const& painted, bool all,
                                       int width, int height) {
  if (all) {
    return {render::PixelRect{0, 0, width, height}};
  }
  return painted;
}

/// Copies `rects` of the frame into 32-bit pixels laid out as cairo's RGB24 (SDL's ARGB8888).
void copy_rects(cairo_surface_t* frame, std::vector<render::PixelRect> const& rects, void* pixels,
                int pitch) {
  unsigned char const* src = cairo_image_surface_get_data(frame);
  int const stride = cairo_image_surface_get_stride(frame);
  for (render::PixelRect const& r : rects) {
    for (int y = r.y; y < r.y + r.height; ++y) {
      std::memcpy(static_cast<unsigned char*>(pixels) + static_cast<std::ptrdiff_t>(y) * pitch +
                      static_cast<std::ptrdiff_t>(r.x) * 4,
                  src + static_cast<std::ptrdiff_t>(y) * stride +
                      static_cast<std::ptrdiff_t>(r.x) * 4,
                  static_cast<std::size_t>(r.width) * 4);
    }
  }
}

} // namespace

double pixel_ratio(int pixel_width, int window_width) {
  return pixel_width > 0 && window_width > 0
             ? static_cast<double>(pixel_width) / static_cast<double>(window_width)
             : 1.0;
}

WindowPresenter::WindowPresenter(SDL_Window* window) : window_(window) {
  renderer_ = SDL_CreateRenderer(window, -1, 0);
  if (!renderer_) {
    spdlog::info("no renderer for the window ({}); drawing on its surface", SDL_GetError());
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

bool WindowPresenter::present(Scene const& scene, double scale, Color base) {
  if (!renderer_) {
    return present_on_surface(scene, scale, base);
  }
  WindowPixels const px = pixels();
  if (px.width <= 0 || px.height <= 0) {
    return false;
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
      return false;
    }
  }
  auto const painted = frame_.render(scene, texture_w_, texture_h_, scale, base, &tiles_);
  if (!painted) {
    spdlog::error("frame: {}", painted.error());
    return false;
  }
  cairo_surface_t* frame = frame_.surface();
  for (render::PixelRect const& r : to_copy(*painted, copy_all_, texture_w_, texture_h_)) {
    SDL_Rect const rect{r.x, r.y, r.width, r.height};
    unsigned char const* src =
        cairo_image_surface_get_data(frame) +
        static_cast<std::ptrdiff_t>(r.y) * cairo_image_surface_get_stride(frame) +
        static_cast<std::ptrdiff_t>(r.x) * 4;
    if (SDL_UpdateTexture(texture_, &rect, src, cairo_image_surface_get_stride(frame)) != 0) {
      copy_all_ = true;
      return false;
    }
  }
  copy_all_ = false;
  SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
  SDL_RenderPresent(renderer_);
  return true;
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

bool is_render_reset(SDL_Event const& event) {
  return event.type == SDL_RENDER_TARGETS_RESET || event.type == SDL_RENDER_DEVICE_RESET;
}

bool WindowPresenter::present_on_surface(Scene const& scene, double scale, Color base) {
  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (!surface || surface->format->BytesPerPixel != 4) {
    return false;
  }
  auto const painted = frame_.render(scene, surface->w, surface->h, scale, base, &tiles_);
  if (!painted) {
    spdlog::error("frame: {}", painted.error());
    return false;
  }
  // A window surface is made anew when the window changes size; it then holds nothing.
  bool const all = copy_all_ || surface != last_surface_;
  last_surface_ = surface;
  if (SDL_MUSTLOCK(surface)) {
    SDL_LockSurface(surface);
  }
  copy_rects(frame_.surface(), to_copy(*painted, all, surface->w, surface->h), surface->pixels,
             surface->pitch);
  if (SDL_MUSTLOCK(surface)) {
    SDL_UnlockSurface(surface);
  }
  copy_all_ = false;
  return SDL_UpdateWindowSurface(window_) == 0;
}

} // namespace zarn_ui::launch
