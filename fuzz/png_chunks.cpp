#include "png_chunks.h"

#include <zlib.h>

namespace maps::fuzz {

namespace {

constexpr std::size_t SIGNATURE_BYTES = 8;

std::uint32_t read_be32(std::uint8_t const* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

} // namespace

void fix_chunk_crcs(std::span<std::uint8_t> png) {
  std::size_t pos = SIGNATURE_BYTES;
  while (pos + 12 <= png.size()) {
    std::size_t const length = read_be32(&png[pos]);
    if (length > png.size() - pos - 12) {
      break;
    }
    auto const crc = crc32(0, &png[pos + 4], static_cast<uInt>(length + 4));
    std::uint8_t* at = &png[pos + 8 + length];
    at[0] = static_cast<std::uint8_t>(crc >> 24);
    at[1] = static_cast<std::uint8_t>(crc >> 16);
    at[2] = static_cast<std::uint8_t>(crc >> 8);
    at[3] = static_cast<std::uint8_t>(crc);
    pos += 12 + length;
  }
}

} // namespace maps::fuzz
