#pragma once
// Painting routines: the shapes, cards and one-line texts everything the application draws
// itself goes through. Coordinates are logical pixels; every routine applies the frame's base
// transform. Strokes have round joins and caps.

#include <string>
#include <string_view>
#include <vector>

#include "platform/scene/color.h"
#include "platform/scene/geometry.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"

namespace maps {

using zarn_ui::Affine;
using zarn_ui::Color;
using zarn_ui::Point;
using zarn_ui::Rect;
using zarn_ui::Scene;
using zarn_ui::TextRenderer;

namespace palette_colors {
/// Under floating cards: black at 46/255.
inline constexpr Color SHADOW{0.0f, 0.0f, 0.0f, 46.0f / 255.0f};
} // namespace palette_colors

void fill_rect(Scene& scene, Affine const& t, Rect const& rect, Color color);
void fill_rounded_rect(Scene& scene, Affine const& t, Rect const& rect, double radius, Color color);
void stroke_rounded_rect(Scene& scene, Affine const& t, Rect const& rect, double radius,
                         Color color, double width);
void fill_circle(Scene& scene, Affine const& t, double x, double y, double radius, Color color);
void stroke_circle(Scene& scene, Affine const& t, double x, double y, double radius, Color color,
                   double width);
void stroke_line(Scene& scene, Affine const& t, double x0, double y0, double x1, double y1,
                 Color color, double width);
/// Nothing for fewer than 3 points.
void fill_polygon(Scene& scene, Affine const& t, std::vector<Point> const& points, Color color);
/// Nothing for fewer than 2 points.
void stroke_polyline(Scene& scene, Affine const& t, std::vector<Point> const& points, Color color,
                     double width);
void fill_path(Scene& scene, Affine const& t, zarn_ui::BezPath path, Color color);
void stroke_path(Scene& scene, Affine const& t, zarn_ui::BezPath path, Color color, double width);
/// A floating card: its shadow, the fill, a one-pixel outline.
void draw_card(Scene& scene, Affine const& t, Rect const& rect, double radius, Color fill,
               Color border);

double measure_text(TextRenderer const& text, std::string_view s, float size);
/// (x, y) is the top-left corner of the line box.
void paint_text(TextRenderer const& text, Scene& scene, Affine const& t, std::string_view s,
                float size, Color color, double x, double y);
/// Weight selector 1..3, 3 the boldest.
void paint_text_weighted(TextRenderer const& text, Scene& scene, Affine const& t,
                         std::string_view s, float size, Color color, double x, double y,
                         int weight);
/// The width `paint_text_weighted` gives the text (bold runs wider than `measure_text` says).
double measure_text_weighted(TextRenderer const& text, std::string_view s, float size, int weight);
/// `paint_text_weighted` with a width limit: a wider text is cut with "…".
void paint_text_weighted_fitted(TextRenderer const& text, Scene& scene, Affine const& t,
                                std::string_view s, float size, Color color, double x, double y,
                                int weight, double max_width);
void draw_text_centered(TextRenderer const& text, Scene& scene, Affine const& t, std::string_view s,
                        float size, Color color, double left, double right, double y);
void draw_text_right(TextRenderer const& text, Scene& scene, Affine const& t, std::string_view s,
                     float size, Color color, double right, double y);
/// The text shortened to `max_width` with "…".
void paint_text_fitted(TextRenderer const& text, Scene& scene, Affine const& t, std::string_view s,
                       float size, Color color, double x, double y, double max_width);
/// The text when it fits, else its longest prefix that fits with "…" appended ("…" alone when
/// not even the first character fits).
std::string ellipsize_text(TextRenderer const& text, std::string_view s, float size,
                           double max_width);

} // namespace maps
