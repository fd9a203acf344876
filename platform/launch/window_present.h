#pragma once
// The window's frame. The scene is replayed with cairo into a retained frame that repaints only
// where the scene changed; only those rectangles are copied to the window's surface and sent to
// the display (on X11 one XShmPutImage each), and a frame that changed nothing sends nothing.
// Where the window surface would not be as large as the drawable (a high-density display, whose
// surface SDL makes in window coordinates) or the driver has none, a renderer's streaming texture
// as large as its output instead: the changed rectangles are uploaded, the whole texture shown.
// A window uses one or the other, never both: SDL's software renderer draws on that same surface.

#include <SDL.h>

#include <vector>

#include "base/result.h"
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

/// Whether a window event means the window's pixels on the display were lost or may not match
/// the frame any more (exposed, shown again, resized): the whole frame is shown again.
bool loses_window_pixels(SDL_WindowEvent const& event);

class WindowPresenter {
public:
  explicit WindowPresenter(SDL_Window* window);
  ~WindowPresenter();
  WindowPresenter(WindowPresenter const&) = delete;
  WindowPresenter& operator=(WindowPresenter const&) = delete;

  WindowPixels pixels() const;
  /// Paints `base` and `scene` (logical pixels, `scale` device pixels each) and sends what
  /// changed to the display: answers the device-pixel rectangles sent, none when the frame
  /// shows what the window already does.
  base::Result<std::vector<render::PixelRect>> present(Scene const& scene, double scale,
                                                       Color base);
  /// The window's pixels were lost (see loses_window_pixels): the next frame sends all of the
  /// retained frame, even when the scene did not change.
  void show_all_next();
  /// The renderer lost its textures (a device or targets reset): the next frame makes the
  /// texture anew and sends all of the retained frame.
  void forget_texture();
  /// Whether frames go through a renderer (else the window surface, rectangle by rectangle).
  bool uses_renderer() const { return renderer_ != nullptr; }

private:
  base::Result<std::vector<render::PixelRect>> present_on_surface(Scene const& scene, double scale,
                                                                  Color base);
  base::Result<std::vector<render::PixelRect>> present_on_renderer(Scene const& scene, double scale,
                                                                   Color base);

  SDL_Window* window_;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  int texture_w_ = 0;
  int texture_h_ = 0;
  /// The window (surface or texture) may not hold the retained frame: send all of it.
  bool copy_all_ = true;
  /// The picture as last painted, and the scene's cached tiles as rendered for this window.
  render::RetainedFrame frame_;
  render::TileSurfaceCache tiles_;
};

} // namespace zarn_ui::launch
