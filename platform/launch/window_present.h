#pragma once
// The window's frame: a streaming texture as large as the renderer's output in device pixels,
// which the renderer shows one to one, so lines and text stay sharp on a high-density display.
// The scene is replayed with cairo into a retained frame that repaints only where the scene
// changed, and only those rectangles are copied to the texture. Where no renderer can be made,
// the window surface.

#include <SDL.h>

#include "platform/render/retained_frame.h"
#include "platform/render/tile_surface_cache.h"
#include "platform/scene/color.h"
#include "platform/scene/scene.h"

namespace zarn_ui::launch {

/// The drawable size in device pixels and the ratio of device pixels to window coordinates
/// (which pointer events are in).
struct WindowPixels {
  int width = 0;
  int height = 0;
  double ratio = 1.0;
};

/// The ratio of a drawable `pixel_width` wide to a window `window_width` wide; 1 when either is
/// not positive.
double pixel_ratio(int pixel_width, int window_width);

/// Whether `event` says the renderer's textures were lost and must be filled again.
bool is_render_reset(SDL_Event const& event);

class WindowPresenter {
public:
  explicit WindowPresenter(SDL_Window* window);
  ~WindowPresenter();
  WindowPresenter(WindowPresenter const&) = delete;
  WindowPresenter& operator=(WindowPresenter const&) = delete;

  WindowPixels pixels() const;
  /// Paints `base` and `scene` (logical pixels, `scale` device pixels each) and shows the frame.
  bool present(Scene const& scene, double scale, Color base);
  /// After the renderer lost its textures (a device or targets reset): the next frame makes the
  /// texture anew and copies all of the retained frame into it.
  void forget_texture();

private:
  bool present_on_surface(Scene const& scene, double scale, Color base);

  SDL_Window* window_;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  int texture_w_ = 0;
  int texture_h_ = 0;
  /// The texture (or window surface) does not hold the retained frame yet: copy all of it.
  bool copy_all_ = true;
  SDL_Surface* last_surface_ = nullptr;
  /// The picture as last painted, and the scene's cached tiles as rendered for this window.
  render::RetainedFrame frame_;
  render::TileSurfaceCache tiles_;
};

} // namespace zarn_ui::launch
