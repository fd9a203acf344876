#include "ui/paint.h"

#include <algorithm>

#include "base/utf8.h"

namespace maps {

namespace {

constexpr std::string_view ELLIPSIS = "\xE2\x80\xA6";

zarn_ui::Stroke stroke_of(double width) {
  return zarn_ui::Stroke::with_width(width);
}

Affine at(Affine const& t, double x, double y) {
  return t * Affine::translate(x, y);
}

} // namespace

void fill_rect(Scene& scene, Affine const& t, Rect const& rect, Color color) {
  scene.fill(zarn_ui::FillRule::NonZero, t, color, rect);
}

void fill_rounded_rect(Scene& scene, Affine const& t, Rect const& rect, double radius,
                       Color color) {
  scene.fill(zarn_ui::FillRule::NonZero, t, color, zarn_ui::RoundedRect(rect, radius));
}

void stroke_rounded_rect(Scene& scene, Affine const& t, Rect const& rect, double radius,
                         Color color, double width) {
  scene.stroke(stroke_of(width), t, color, zarn_ui::RoundedRect(rect, radius));
}

void fill_circle(Scene& scene, Affine const& t, double x, double y, double radius, Color color) {
  scene.fill(zarn_ui::FillRule::NonZero, t, color, zarn_ui::Circle{{x, y}, radius});
}

void stroke_circle(Scene& scene, Affine const& t, double x, double y, double radius, Color color,
                   double width) {
  scene.stroke(stroke_of(width), t, color, zarn_ui::Circle{{x, y}, radius});
}

void stroke_line(Scene& scene, Affine const& t, double x0, double y0, double x1, double y1,
                 Color color, double width) {
  scene.stroke(stroke_of(width), t, color, zarn_ui::Line{{x0, y0}, {x1, y1}});
}

void fill_polygon(Scene& scene, Affine const& t, std::vector<Point> const& points, Color color) {
  if (points.size() < 3) {
    return;
  }
  scene.fill(zarn_ui::FillRule::NonZero, t, color, zarn_ui::BezPath::polygon(points));
}

void stroke_polyline(Scene& scene, Affine const& t, std::vector<Point> const& points, Color color,
                     double width) {
  if (points.size() < 2) {
    return;
  }
  scene.stroke(stroke_of(width), t, color, zarn_ui::BezPath::polyline(points));
}

void fill_path(Scene& scene, Affine const& t, zarn_ui::BezPath path, Color color) {
  scene.fill(zarn_ui::FillRule::NonZero, t, color, std::move(path));
}

void stroke_path(Scene& scene, Affine const& t, zarn_ui::BezPath path, Color color, double width) {
  scene.stroke(stroke_of(width), t, color, std::move(path));
}

void draw_card(Scene& scene, Affine const& t, Rect const& rect, double radius, Color fill,
               Color border) {
  Rect const shadow{rect.x0 - 1.0, rect.y0 + 3.0, rect.x1 + 1.0, rect.y1 + 5.0};
  fill_rounded_rect(scene, t, shadow, radius + 1.0, palette_colors::SHADOW);
  fill_rounded_rect(scene, t, rect, radius, fill);
  stroke_rounded_rect(scene, t, rect, radius, border, 1.0);
}

double measure_text(TextRenderer const& text, std::string_view s, float size) {
  return static_cast<double>(text.measure(s, size));
}

void paint_text(TextRenderer const& text, Scene& scene, Affine const& t, std::string_view s,
                float size, Color color, double x, double y) {
  text.draw_text(scene, s, size, color, at(t, x, y));
}

void paint_text_weighted(TextRenderer const& text, Scene& scene, Affine const& t,
                         std::string_view s, float size, Color color, double x, double y,
                         int weight) {
  text.draw_text_weighted(scene, s, size, color, at(t, x, y), weight);
}

double measure_text_weighted(TextRenderer const& text, std::string_view s, float size, int weight) {
  return static_cast<double>(text.measure_weighted(s, size, weight));
}

void paint_text_weighted_fitted(TextRenderer const& text, Scene& scene, Affine const& t,
                                std::string_view s, float size, Color color, double x, double y,
                                int weight, double max_width) {
  text.draw_text_limited(scene, s, size, color, at(t, x, y), weight,
                         static_cast<float>(std::max(max_width, 0.0)));
}

void draw_text_centered(TextRenderer const& text, Scene& scene, Affine const& t, std::string_view s,
                        float size, Color color, double left, double right, double y) {
  double const width = measure_text(text, s, size);
  paint_text(text, scene, t, s, size, color, left + ((right - left) - width) / 2.0, y);
}

void draw_text_right(TextRenderer const& text, Scene& scene, Affine const& t, std::string_view s,
                     float size, Color color, double right, double y) {
  paint_text(text, scene, t, s, size, color, right - measure_text(text, s, size), y);
}

std::string ellipsize_text(TextRenderer const& text, std::string_view s, float size,
                           double max_width) {
  if (measure_text(text, s, size) <= max_width) {
    return std::string(s);
  }
  std::string out;
  std::string candidate;
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::size_t const start = pos;
    if (!base::utf8::decode(s, pos)) {
      pos = start + 1;
    }
    candidate.assign(out);
    candidate.append(s.substr(start, pos - start));
    candidate.append(ELLIPSIS);
    if (measure_text(text, candidate, size) > max_width) {
      break;
    }
    out.append(s.substr(start, pos - start));
  }
  out.append(ELLIPSIS);
  return out;
}

void paint_text_fitted(TextRenderer const& text, Scene& scene, Affine const& t, std::string_view s,
                       float size, Color color, double x, double y, double max_width) {
  std::string const fitted = ellipsize_text(text, s, size, max_width);
  text.draw_text_limited(scene, fitted, size, color, at(t, x, y), 0,
                         static_cast<float>(max_width + 1.0));
}

} // namespace maps
