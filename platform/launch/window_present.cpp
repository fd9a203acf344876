#include "platform/launch/window_present.h"

#include <cairo.h>

#include <spdlog/spdlog.h>

#include "platform/render/offscreen.h"

namespace zarn_ui::launch {

namespace {

/// Replays `scene` into 32-bit pixels as cairo's RGB24 lays them out (SDL's ARGB8888).
bool paint(void* pixels, int width, int height, int pitch, Scene const& scene, double scale,
           Color base, render::TileSurfaceCache& tiles) {
  cairo_surface_t* target = cairo_image_surface_create_for_data(
      static_cast<unsigned char*>(pixels), CAIRO_FORMAT_RGB24, width, height, pitch);
  auto const drawn = render_into(scene, target, base, scale, &tiles);
  cairo_surface_destroy(target);
  return drawn.has_value();
}

}  // namespace

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
    if (!texture_) {
      return false;
    }
  }
  void* pixels = nullptr;
  int pitch = 0;
  if (SDL_LockTexture(texture_, nullptr, &pixels, &pitch) != 0) {
    return false;
  }
  bool const drawn = paint(pixels, texture_w_, texture_h_, pitch, scene, scale, base, tiles_);
  SDL_UnlockTexture(texture_);
  SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
  SDL_RenderPresent(renderer_);
  return drawn;
}

bool WindowPresenter::present_on_surface(Scene const& scene, double scale, Color base) {
  SDL_Surface* surface = SDL_GetWindowSurface(window_);
  if (!surface || surface->format->BytesPerPixel != 4) {
    return false;
  }
  if (SDL_MUSTLOCK(surface)) {
    SDL_LockSurface(surface);
  }
  bool const drawn = paint(surface->pixels, surface->w, surface->h, surface->pitch, scene, scale, base,
                           tiles_);
  if (SDL_MUSTLOCK(surface)) {
    SDL_UnlockSurface(surface);
  }
  return drawn && SDL_UpdateWindowSurface(window_) == 0;
}

}  // namespace zarn_ui::launch
