#pragma once
// A window's frame kept as pixels from one frame to the next. Each new scene is compared with
// the last one drawn, command by command; only where they differ is the picture painted again:
// the commands that reach those rectangles are replayed, unclipped (a clip would change cairo's
// antialiased pixels), into a scratch frame and only the rectangles are copied over. A frame whose
// scene did not change costs no drawing, a hover repaints one button, and the pixels equal a full
// replay's. It does not present anything: the window copies the repainted rectangles to the screen.

#include <cstdint>
#include <optional>
#include <vector>

#include <cairo.h>

#include "base/result.h"
#include "platform/render/tile_surface_cache.h"
#include "platform/scene/color.h"
#include "platform/scene/scene.h"

namespace zarn_ui::render {

/// Whole device pixels: columns [x, x + width), rows [y, y + height).
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  friend bool operator==(PixelRect const&, PixelRect const&) = default;
};

/// At most this many rectangles describe a damage; beyond, the closest ones are merged.
inline constexpr std::size_t MAX_DAMAGE_RECTS = 8;

/// Where, within a `width` × `height` device-pixel frame, the pictures of `before` and `after`
/// replayed at `scale` may differ: no rectangles when they are the same, the whole frame when
/// the difference cannot be bounded (a layer opened in one and not the other, geometry that is
/// not finite). A command's reach is taken from its geometry, stroke width, text ink and an
/// antialiasing margin, so the rectangles hold every pixel that changes.
std::vector<PixelRect> scene_damage(Scene const& before, Scene const& after, double scale,
                                    int width, int height);

class RetainedFrame {
public:
  RetainedFrame() = default;
  ~RetainedFrame();
  RetainedFrame(RetainedFrame const&) = delete;
  RetainedFrame& operator=(RetainedFrame const&) = delete;

  /// Brings the frame to `scene` painted over `base` at `scale` (device pixels per logical
  /// pixel) in a `width` × `height` device-pixel RGB24 surface, and answers the rectangles
  /// painted again: all of it when the size, scale or base changed, or after `invalidate`.
  /// Cached tiles come from `tiles` as in `replay`.
  base::Result<std::vector<PixelRect>> render(Scene const& scene, int width, int height,
                                              double scale, Color base, TileSurfaceCache* tiles);

  /// The pixels of the last frame rendered; null before the first.
  cairo_surface_t* surface() const { return surface_; }

  /// Forgets what the pixels show: the next frame is painted in full.
  void invalidate() { last_.reset(); }

private:
  cairo_status_t repaint(Scene const& scene, std::vector<PixelRect> const& damage, double scale,
                         Color base, TileSurfaceCache* tiles);

  cairo_surface_t* surface_ = nullptr;
  cairo_surface_t* scratch_ = nullptr; // where damaged parts are painted, as large as the frame
  double scale_ = 1.0;
  Color base_;
  /// The commands the pixels show. Kept as copies: they also keep the images and text layouts
  /// they refer to alive, so a pointer compared equal still names the same pixels.
  std::optional<Scene> last_;
};

} // namespace zarn_ui::render
