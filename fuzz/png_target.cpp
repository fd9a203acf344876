// Tile PNG decoding: a decoded tile is within the size limit and holds exactly its pixels.
// The fuzzer's mutator fixes chunk CRCs (png_mutator.cpp); each input is also decoded with its
// CRCs recomputed, so that seeds and inputs from elsewhere reach the decoder as well. (libspng
// itself is not instrumented, so the fuzzer cannot steer by its coverage; the sanitizers still
// watch the memory it is handed.)

#include <vector>

#include "png_chunks.h"
#include "targets.h"
#include "tiles/png_decode.h"

namespace maps::fuzz {
namespace {

// The input with every complete chunk's CRC made to match its type and data.
std::vector<std::uint8_t> with_chunk_crcs(Bytes data) {
  std::vector<std::uint8_t> out(data.begin(), data.end());
  fix_chunk_crcs(out);
  return out;
}

bool decode(Bytes data) {
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

} // namespace

bool png(Bytes data) {
  bool const as_given = decode(data);
  auto const repaired = with_chunk_crcs(data);
  bool const with_crcs = decode(repaired);
  check(!as_given || with_crcs, "a PNG that decodes stops decoding with its own CRCs");
  return as_given;
}

} // namespace maps::fuzz
