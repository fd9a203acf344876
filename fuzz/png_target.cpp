// Tile PNG decoding: a decoded tile is within the size limit and holds exactly its pixels.
// libspng refuses chunks whose CRC does not match, which would stop nearly every mutation at the
// first chunk, so each input is also decoded with its chunk CRCs recomputed. (libspng itself is
// not instrumented, so the fuzzer cannot steer by its coverage; the sanitizers still watch the
// memory it is handed.)

#include <vector>

#include <zlib.h>

#include "targets.h"
#include "tiles/png_decode.h"

namespace maps::fuzz {
namespace {

constexpr std::size_t SIGNATURE_BYTES = 8;

std::uint32_t read_be32(std::uint8_t const* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The input with every complete chunk's CRC made to match its type and data.
std::vector<std::uint8_t> with_chunk_crcs(Bytes data) {
  std::vector<std::uint8_t> out(data.begin(), data.end());
  std::size_t pos = SIGNATURE_BYTES;
  while (pos + 12 <= out.size()) {
    std::size_t const length = read_be32(&out[pos]);
    if (length > out.size() - pos - 12) {
      break;
    }
    auto const crc = crc32(0, &out[pos + 4], static_cast<uInt>(length + 4));
    std::uint8_t* at = &out[pos + 8 + length];
    at[0] = static_cast<std::uint8_t>(crc >> 24);
    at[1] = static_cast<std::uint8_t>(crc >> 16);
    at[2] = static_cast<std::uint8_t>(crc >> 8);
    at[3] = static_cast<std::uint8_t>(crc);
    pos += 12 + length;
  }
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
