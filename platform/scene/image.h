#pragma once
// Image: decoded pixels ready to paint. Pixels are premultiplied ARGB32 in native byte order
// (cairo's CAIRO_FORMAT_ARGB32), rows `width * 4` bytes apart, so the renderer paints them
// without a copy or a conversion per frame. Decoded images are shared read-only:
// std::shared_ptr<Image const>.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace zarn_ui {

struct Image {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint32_t> argb; // width * height premultiplied pixels, row-major
  /// Unique to each image that image_from_rgba made (0 for one built by hand), so a renderer
  /// may keep pixels derived from the image under it.
  std::uint64_t id = 0;

  std::size_t stride_bytes() const { return static_cast<std::size_t>(width) * 4; }
};

using SharedImage = std::shared_ptr<Image const>;

/// Builds an image from straight (non-premultiplied) RGBA8 bytes, row-major, width * height * 4
/// bytes; nullptr when the size does not match.
SharedImage image_from_rgba(std::span<std::uint8_t const> rgba, std::uint32_t width,
                            std::uint32_t height);

} // namespace zarn_ui
