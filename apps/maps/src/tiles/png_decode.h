#pragma once
// PNG decoding of tiles into straight-alpha RGBA8. Tiles come from the network and the disk, so
// the decoder runs with limits on image size and chunk sizes; a bad file is an error text, and
// so is a tile whose size is not the one its style serves.

#include <cstdint>
#include <span>

#include "base/result.h"
#include "tiles/tile_types.h"

namespace maps {

/// Largest width or height accepted: tiles are 256 or 512 pixels; this keeps one decode below
/// 16 MiB of pixels.
inline constexpr std::uint32_t MAX_TILE_DIMENSION = 2048;

/// Decodes any PNG colour type and bit depth (palette, grey, 16-bit, transparency chunks) to
/// RGBA8 of the first frame.
base::Result<DecodedTile> decode_png_rgba(std::span<std::uint8_t const> bytes);

/// decode_png_rgba for a tile of a style that serves `tile_px` square tiles: any other size
/// (a 1x1 placeholder of a misconfigured server, say) is refused from its header, before the
/// pixels are decoded.
base::Result<DecodedTile> decode_tile_png(std::span<std::uint8_t const> bytes,
                                          std::uint32_t tile_px);

} // namespace maps
