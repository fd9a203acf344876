#include "platform/render/svg_raster.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <fmt/format.h>

#include "platform/render/offscreen.h"

namespace zarn_ui {

namespace {

constexpr std::uint32_t MAX_SIZE = 1024;

std::string take_message(GError* error) {
  std::string text = error && error->message ? error->message : "unknown error";
  if (error) {
    g_error_free(error);
  }
  return text;
}

} // namespace

base::Result<std::vector<std::uint8_t>> rasterise_svg(std::string_view svg, std::uint32_t size) {
  if (size < 1 || size > MAX_SIZE) {
    return base::fail(fmt::format("icon size {} is outside 1..{}", size, MAX_SIZE));
  }
  GError* error = nullptr;
  RsvgHandle* handle =
      rsvg_handle_new_from_data(reinterpret_cast<guint8 const*>(svg.data()), svg.size(), &error);
  if (handle == nullptr) {
    return base::fail(fmt::format("unreadable SVG: {}", take_message(error)));
  }
  auto const side = static_cast<int>(size);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, side, side);
  cairo_t* cr = cairo_create(surface);
  RsvgRectangle const viewport{0.0, 0.0, static_cast<double>(size), static_cast<double>(size)};
  bool const drawn = rsvg_handle_render_document(handle, cr, &viewport, &error) != FALSE;
  cairo_destroy(cr);
  g_object_unref(handle);
  base::Result<std::vector<std::uint8_t>> out;
  if (!drawn) {
    out = base::fail(fmt::format("SVG not drawn: {}", take_message(error)));
  } else if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    out = base::fail(
        fmt::format("SVG not drawn: {}", cairo_status_to_string(cairo_surface_status(surface))));
  } else {
    cairo_surface_flush(surface);
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(size) * size * 4);
    argb32_to_rgba8(cairo_image_surface_get_data(surface), cairo_image_surface_get_stride(surface),
                    size, size, rgba.data());
    out = std::move(rgba);
  }
  cairo_surface_destroy(surface);
  return out;
}

} // namespace zarn_ui
