#include "platform/render/offscreen.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <spng.h>

#include "platform/render/cairo_replay.h"

namespace zarn_ui {

namespace {

constexpr std::uint32_t MAX_SIDE = 32767; // cairo's image surface limit

std::vector<std::uint8_t> base_filled(std::size_t pixels, Color base) {
  Rgba8 const c = base.to_rgba8();
  std::vector<std::uint8_t> out(pixels * 4);
  for (std::size_t i = 0; i < pixels; ++i) {
    out[i * 4] = c.r;
    out[i * 4 + 1] = c.g;
    out[i * 4 + 2] = c.b;
    out[i * 4 + 3] = c.a;
  }
  return out;
}

} // namespace

void argb32_to_rgba8(std::uint8_t const* data, int stride, std::uint32_t width,
                     std::uint32_t height, std::uint8_t* out) {
  for (std::uint32_t y = 0; y < height; ++y) {
    auto const* row = data + static_cast<std::ptrdiff_t>(y) * stride;
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint32_t px;
      std::memcpy(&px, row + static_cast<std::size_t>(x) * 4, 4);
      std::uint32_t const a = px >> 24;
      std::uint32_t r = (px >> 16) & 0xff, g = (px >> 8) & 0xff, b = px & 0xff;
      if (a != 0 && a != 255) {
        // Undo premultiplication, rounding to nearest.
        r = (r * 255 + a / 2) / a;
        g = (g * 255 + a / 2) / a;
        b = (b * 255 + a / 2) / a;
      }
      std::uint8_t* o = out + (static_cast<std::size_t>(y) * width + x) * 4;
      o[0] = static_cast<std::uint8_t>(r > 255 ? 255 : r);
      o[1] = static_cast<std::uint8_t>(g > 255 ? 255 : g);
      o[2] = static_cast<std::uint8_t>(b > 255 ? 255 : b);
      o[3] = static_cast<std::uint8_t>(a);
    }
  }
}

std::vector<std::uint8_t> OffscreenRenderer::render_resilient(Scene const& scene, Color base,
                                                              double scale) const {
  std::size_t const pixels = static_cast<std::size_t>(width_) * height_;
  if (pixels == 0) {
    return {};
  }
  try {
    if (width_ > MAX_SIDE || height_ > MAX_SIDE) {
      spdlog::error("offscreen render: {} x {} exceeds the renderer's limit; base colour only",
                    width_, height_);
      return base_filled(pixels, base);
    }
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(width_),
                                   static_cast<int>(height_)),
        &cairo_surface_destroy);
    auto result = render_into(scene, surface.get(), base, scale);
    if (!result) {
      spdlog::error("offscreen render failed: {}; base colour only", result.error());
      return base_filled(pixels, base);
    }
    std::vector<std::uint8_t> out(pixels * 4);
    argb32_to_rgba8(cairo_image_surface_get_data(surface.get()),
                    cairo_image_surface_get_stride(surface.get()), width_, height_, out.data());
    return out;
  } catch (std::bad_alloc const&) {
    spdlog::error("offscreen render: out of memory for {} x {}", width_, height_);
    return {};
  }
}

base::Result<void> render_into(Scene const& scene, cairo_surface_t* surface, Color base,
                               double scale, render::TileSurfaceCache* cache) {
  if (surface == nullptr) {
    return base::fail("render: no surface");
  }
  if (auto status = cairo_surface_status(surface); status != CAIRO_STATUS_SUCCESS) {
    return base::fail(fmt::format("render: surface: {}", cairo_status_to_string(status)));
  }
  cairo_t* cr = cairo_create(surface);
  render::paint_base(cr, base);
  if (scale != 1.0 && std::isfinite(scale) && scale > 0.0) {
    cairo_scale(cr, scale, scale);
  }
  render::replay(scene, cr, cache);
  cairo_status_t const status = cairo_status(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    return base::fail(fmt::format("render: {}", cairo_status_to_string(status)));
  }
  return {};
}

base::Result<std::vector<std::uint8_t>>
OffscreenRenderer::encode_png(std::uint32_t width, std::uint32_t height,
                              std::span<std::uint8_t const> rgba) {
  if (width == 0 || height == 0) {
    return base::fail(fmt::format("encode png: empty image {} x {}", width, height));
  }
  // PNG dimensions are limited to 2^31 - 1.
  if (width > std::numeric_limits<std::int32_t>::max() ||
      height > std::numeric_limits<std::int32_t>::max()) {
    return base::fail(fmt::format("encode png: image too large ({} x {})", width, height));
  }
  std::size_t const expected = static_cast<std::size_t>(width) * height * 4;
  if (expected / 4 / height != width || rgba.size() != expected) {
    return base::fail(fmt::format("encode png: {} bytes of pixels for {} x {} (expected {})",
                                  rgba.size(), width, height, expected));
  }
  std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> ctx(spng_ctx_new(SPNG_CTX_ENCODER),
                                                          &spng_ctx_free);
  if (!ctx) {
    return base::fail("encode png: out of memory");
  }
  auto check = [](int rc) -> base::Result<void> {
    if (rc != 0) {
      return base::fail(fmt::format("encode png: {}", spng_strerror(rc)));
    }
    return {};
  };
  spng_ctx* c = ctx.get();
  // Fixed settings: the same pixels always give the same file. The "up" filter alone and a low
  // compression level: trying every filter on every row and zlib's default level took over half
  // of a screenshot's run, for files only about a fifth smaller on these flat-coloured frames.
  if (auto r = check(spng_set_option(c, SPNG_ENCODE_TO_BUFFER, 1)); !r) {
    return tl::unexpected(r.error());
  }
  if (auto r = check(spng_set_option(c, SPNG_IMG_COMPRESSION_LEVEL, 2)); !r) {
    return tl::unexpected(r.error());
  }
  if (auto r = check(spng_set_option(c, SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_UP)); !r) {
    return tl::unexpected(r.error());
  }
  spng_ihdr ihdr{};
  ihdr.width = width;
  ihdr.height = height;
  ihdr.bit_depth = 8;
  ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
  ihdr.compression_method = 0;
  ihdr.filter_method = 0;
  ihdr.interlace_method = SPNG_INTERLACE_NONE;
  if (auto r = check(spng_set_ihdr(c, &ihdr)); !r) {
    return tl::unexpected(r.error());
  }
  if (auto r =
          check(spng_encode_image(c, rgba.data(), rgba.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE));
      !r) {
    return tl::unexpected(r.error());
  }
  std::size_t len = 0;
  int rc = 0;
  void* buf = spng_get_png_buffer(c, &len, &rc);
  if (buf == nullptr || rc != 0) {
    std::free(buf);
    return base::fail(fmt::format("encode png: {}", spng_strerror(rc)));
  }
  std::vector<std::uint8_t> out(static_cast<std::uint8_t*>(buf),
                                static_cast<std::uint8_t*>(buf) + len);
  std::free(buf);
  return out;
}

} // namespace zarn_ui
