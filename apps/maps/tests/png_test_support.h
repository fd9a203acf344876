#pragma once
// Small PNGs made in the tests (and benchmarks) with libspng's encoder.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <spng.h>

namespace maps::test {

struct PngImage {
  std::uint32_t width = 1;
  std::uint32_t height = 1;
  std::uint8_t bit_depth = 8;
  std::uint8_t color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
  std::vector<std::uint8_t> pixels;        // rows as the PNG holds them (16-bit: host order)
  std::vector<std::uint8_t> palette;       // r, g, b per entry (indexed colour)
  std::vector<std::uint8_t> palette_alpha; // tRNS alpha per entry (indexed colour)
};

inline std::string encode_png(PngImage const& img) {
  std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> ctx(spng_ctx_new(SPNG_CTX_ENCODER), spng_ctx_free);
  spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
  spng_ihdr ihdr{};
  ihdr.width = img.width;
  ihdr.height = img.height;
  ihdr.bit_depth = img.bit_depth;
  ihdr.color_type = img.color_type;
  if (spng_set_ihdr(ctx.get(), &ihdr) != 0) {
    throw std::runtime_error("ihdr");
  }
  if (!img.palette.empty()) {
    spng_plte plte{};
    plte.n_entries = static_cast<std::uint32_t>(img.palette.size() / 3);
    for (std::uint32_t i = 0; i < plte.n_entries; ++i) {
      plte.entries[i] = {img.palette[i * 3], img.palette[i * 3 + 1], img.palette[i * 3 + 2], 255};
    }
    spng_set_plte(ctx.get(), &plte);
  }
  if (!img.palette_alpha.empty()) {
    spng_trns trns{};
    trns.n_type3_entries = static_cast<std::uint32_t>(img.palette_alpha.size());
    for (std::size_t i = 0; i < img.palette_alpha.size(); ++i) {
      trns.type3_alpha[i] = img.palette_alpha[i];
    }
    spng_set_trns(ctx.get(), &trns);
  }
  std::vector<std::uint8_t> pixels = img.pixels;
  if (int rc = spng_encode_image(ctx.get(), pixels.data(), pixels.size(), SPNG_FMT_PNG,
                                 SPNG_ENCODE_FINALIZE)) {
    throw std::runtime_error(spng_strerror(rc));
  }
  std::size_t size = 0;
  int error = 0;
  void* buffer = spng_get_png_buffer(ctx.get(), &size, &error);
  if (buffer == nullptr) {
    throw std::runtime_error(spng_strerror(error));
  }
  std::string png(static_cast<char const*>(buffer), size);
  std::free(buffer);
  return png;
}

/// A square RGBA tile filled with one colour.
inline std::string solid_tile_png(std::uint32_t size, std::uint8_t r, std::uint8_t g,
                                  std::uint8_t b) {
  PngImage img;
  img.width = size;
  img.height = size;
  img.pixels.reserve(std::size_t{size} * size * 4);
  for (std::uint32_t i = 0; i < size * size; ++i) {
    img.pixels.insert(img.pixels.end(), {r, g, b, 255});
  }
  return encode_png(img);
}

} // namespace maps::test
