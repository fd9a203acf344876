#include "tiles/png_decode.h"

#include <memory>
#include <optional>
#include <string>

#include <fmt/format.h>
#include <spng.h>

namespace maps {

namespace {

// Ancillary chunks (text, ICC profiles) larger than this are refused; a tile needs none.
constexpr std::size_t MAX_CHUNK_BYTES = 1 << 20;
constexpr std::size_t MAX_CHUNK_CACHE_BYTES = 4 << 20;

struct SpngFree {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

base::Result<DecodedTile> spng_error(int code) {
  return base::fail(spng_strerror(code));
}

base::Result<DecodedTile> decode(std::span<std::uint8_t const> bytes,
                                 std::optional<std::uint32_t> side) {
  std::unique_ptr<spng_ctx, SpngFree> ctx(spng_ctx_new(0));
  if (!ctx) {
    return base::fail("png decoder unavailable");
  }
  if (int rc = spng_set_image_limits(ctx.get(), MAX_TILE_DIMENSION, MAX_TILE_DIMENSION)) {
    return spng_error(rc);
  }
  if (int rc = spng_set_chunk_limits(ctx.get(), MAX_CHUNK_BYTES, MAX_CHUNK_CACHE_BYTES)) {
    return spng_error(rc);
  }
  if (int rc = spng_set_png_buffer(ctx.get(), bytes.data(), bytes.size())) {
    return spng_error(rc);
  }
  spng_ihdr ihdr{};
  if (int rc = spng_get_ihdr(ctx.get(), &ihdr)) {
    return spng_error(rc);
  }
  if (side && (ihdr.width != *side || ihdr.height != *side)) {
    return base::fail(
        fmt::format("tile is {}x{} pixels, not {}x{}", ihdr.width, ihdr.height, *side, *side));
  }
  // libspng's RGBA8 output does the whole normalisation: palettes expanded, low bit depths
  // widened, 16-bit samples reduced, grey replicated, tRNS applied as alpha.
  int const out_format = SPNG_FMT_RGBA8;
  std::size_t size = 0;
  if (spng_decoded_image_size(ctx.get(), out_format, &size) != 0) {
    return base::fail("png output buffer size unavailable");
  }
  if (size != static_cast<std::size_t>(ihdr.width) * ihdr.height * 4) {
    return base::fail("png output buffer size unavailable");
  }
  DecodedTile tile;
  tile.rgba.resize(size);
  if (int rc = spng_decode_image(ctx.get(), tile.rgba.data(), tile.rgba.size(), out_format,
                                 SPNG_DECODE_TRNS)) {
    return spng_error(rc);
  }
  tile.width = ihdr.width;
  tile.height = ihdr.height;
  return tile;
}

} // namespace

base::Result<DecodedTile> decode_png_rgba(std::span<std::uint8_t const> bytes) {
  return decode(bytes, std::nullopt);
}

base::Result<DecodedTile> decode_tile_png(std::span<std::uint8_t const> bytes,
                                          std::uint32_t tile_px) {
  return decode(bytes, tile_px);
}

} // namespace maps
