#pragma once
// Offscreen rendering: a Scene replayed into a fresh image of a fixed size, read back as
// straight RGBA8, and PNG encoding of such pixels with deterministic bytes.

#include <cstdint>
#include <span>
#include <vector>

#include <cairo.h>

#include "base/result.h"
#include "platform/render/tile_surface_cache.h"
#include "platform/scene/color.h"
#include "platform/scene/scene.h"

namespace zarn_ui {

class OffscreenRenderer {
public:
  OffscreenRenderer(std::uint32_t width, std::uint32_t height) : width_(width), height_(height) {}

  std::uint32_t width() const { return width_; }
  std::uint32_t height() const { return height_; }

  /// The scene painted over `base`, as width × height straight RGBA8 pixels, row-major. A
  /// rendering failure is logged and yields the image filled with `base` alone; an image too
  /// large to allocate yields an empty vector. The scene is in logical pixels, replayed at
  /// `scale` device pixels per logical pixel.
  std::vector<std::uint8_t> render_resilient(Scene const& scene, Color base,
                                             double scale = 1.0) const;

  /// PNG bytes (RGBA, 8 bits per channel) of `rgba`, which must hold width × height × 4 bytes.
  /// Same pixels, same bytes: fixed compression settings and no time chunk.
  static base::Result<std::vector<std::uint8_t>>
  encode_png(std::uint32_t width, std::uint32_t height, std::span<std::uint8_t const> rgba);

private:
  std::uint32_t width_;
  std::uint32_t height_;
};

/// Fills `surface` (an ARGB32 or RGB24 image surface, e.g. a window's frame) with `base` and
/// replays `scene` into it, scaled by `scale` (device pixels per logical pixel). Errors of
/// cairo come back as text. Cached tiles come from `cache` when one is given (see replay).
base::Result<void> render_into(Scene const& scene, cairo_surface_t* surface, Color base,
                               double scale = 1.0, render::TileSurfaceCache* cache = nullptr);

/// Premultiplied native-endian ARGB32 rows (`stride` bytes apart) to straight RGBA8.
void argb32_to_rgba8(std::uint8_t const* data, int stride, std::uint32_t width,
                     std::uint32_t height, std::uint8_t* out);

} // namespace zarn_ui
