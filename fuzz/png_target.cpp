// Tile PNG decoding: a decoded tile is within the size limit and holds exactly its pixels.

#include "targets.h"
#include "tiles/png_decode.h"

namespace maps::fuzz {

bool png(Bytes data) {
  auto const tile = decode_png_rgba(data);
  if (!tile) {
    return false;
  }
  check(tile->width >= 1 && tile->width <= MAX_TILE_DIMENSION && tile->height >= 1 &&
            tile->height <= MAX_TILE_DIMENSION,
        "a decoded tile is outside the size limit");
  check(tile->rgba.size() == std::size_t{tile->width} * tile->height * 4,
        "a decoded tile's pixels do not match its size");
  return true;
}

} // namespace maps::fuzz
