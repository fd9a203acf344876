#pragma once
// Geometry of the 2-D scene: points, rectangles, rounded rectangles, circles, ellipses, lines,
// Bézier paths, affine transforms and stroke styles, in logical pixels (x right, y down).
// Only what the painters draw; no boolean operations, no hit testing on curves.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace zarn_ui {

struct Vec2 {
  double x = 0.0;
  double y = 0.0;

  friend Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
  friend Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
  friend Vec2 operator*(Vec2 a, double k) { return {a.x * k, a.y * k}; }
  friend bool operator==(Vec2, Vec2) = default;
};

struct Point {
  double x = 0.0;
  double y = 0.0;

  friend Point operator+(Point p, Vec2 v) { return {p.x + v.x, p.y + v.y}; }
  friend Point operator-(Point p, Vec2 v) { return {p.x - v.x, p.y - v.y}; }
  friend Vec2 operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
  friend bool operator==(Point, Point) = default;
};

struct Size {
  double width = 0.0;
  double height = 0.0;

  friend bool operator==(Size, Size) = default;
};

/// Axis-aligned rectangle; x0 <= x1 and y0 <= y1 for a well-formed one (not enforced: painters
/// compute rectangles from input and an inverted one simply has a negative width).
struct Rect {
  double x0 = 0.0;
  double y0 = 0.0;
  double x1 = 0.0;
  double y1 = 0.0;

  static Rect from_origin_size(Point origin, Size size) {
    return {origin.x, origin.y, origin.x + size.width, origin.y + size.height};
  }
  static Rect from_points(Point a, Point b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
  }

  double width() const { return x1 - x0; }
  double height() const { return y1 - y0; }
  Size size() const { return {width(), height()}; }
  Point origin() const { return {x0, y0}; }
  Point center() const { return {(x0 + x1) * 0.5, (y0 + y1) * 0.5}; }
  bool is_empty() const { return !(x1 > x0 && y1 > y0); }

  /// Half-open containment: x0 <= x < x1 and y0 <= y < y1.
  bool contains(Point p) const { return p.x >= x0 && p.x < x1 && p.y >= y0 && p.y < y1; }
  /// The overlap; an empty rectangle (zero size at the clamped corner) when they do not meet.
  Rect intersect(Rect const& o) const;
  /// The smallest rectangle holding both.
  Rect union_with(Rect const& o) const;
  /// Grown by dx on the left and right and dy at the top and bottom (negative shrinks).
  Rect inflate(double dx, double dy) const { return {x0 - dx, y0 - dy, x1 + dx, y1 + dy}; }
  Rect translate(Vec2 v) const { return {x0 + v.x, y0 + v.y, x1 + v.x, y1 + v.y}; }

  friend bool operator==(Rect const&, Rect const&) = default;
};

/// A rectangle with one corner radius for all four corners. The radius is clamped to
/// [0, half the shorter side] on construction, so corners never overlap.
struct RoundedRect {
  Rect rect;
  double radius = 0.0;

  RoundedRect() = default;
  RoundedRect(Rect r, double corner_radius);

  friend bool operator==(RoundedRect const&, RoundedRect const&) = default;
};

struct Circle {
  Point center;
  double radius = 0.0;

  friend bool operator==(Circle const&, Circle const&) = default;
};

/// Axis-aligned ellipse.
struct Ellipse {
  Point center;
  double radius_x = 0.0;
  double radius_y = 0.0;

  friend bool operator==(Ellipse const&, Ellipse const&) = default;
};

struct Line {
  Point p0;
  Point p1;

  friend bool operator==(Line const&, Line const&) = default;
};

enum class PathVerb : std::uint8_t { MoveTo, LineTo, QuadTo, CurveTo, ClosePath };

/// One path element; `p` holds up to three points (control points first, end point last).
struct PathEl {
  PathVerb verb = PathVerb::MoveTo;
  Point p[3] = {};

  friend bool operator==(PathEl const&, PathEl const&) = default;
};

class BezPath {
public:
  BezPath() = default;

  void move_to(Point p) { els_.push_back({PathVerb::MoveTo, {p, {}, {}}}); }
  void line_to(Point p) { els_.push_back({PathVerb::LineTo, {p, {}, {}}}); }
  void quad_to(Point c, Point p) { els_.push_back({PathVerb::QuadTo, {c, p, {}}}); }
  void curve_to(Point c1, Point c2, Point p) { els_.push_back({PathVerb::CurveTo, {c1, c2, p}}); }
  void close_path() { els_.push_back({PathVerb::ClosePath, {}}); }
  void reserve(std::size_t n) { els_.reserve(n); }
  void clear() { els_.clear(); }

  std::vector<PathEl> const& elements() const { return els_; }
  bool empty() const { return els_.empty(); }

  /// An open polyline through the points; empty for no points.
  static BezPath polyline(std::vector<Point> const& points);
  /// A closed polygon through the points; empty for no points.
  static BezPath polygon(std::vector<Point> const& points);

  friend bool operator==(BezPath const&, BezPath const&) = default;

private:
  std::vector<PathEl> els_;
};

/// 2-D affine transform as six coefficients (a b c d e f):
///   x' = a x + c y + e,  y' = b x + d y + f.
struct Affine {
  double a = 1.0, b = 0.0, c = 0.0, d = 1.0, e = 0.0, f = 0.0;

  static constexpr Affine identity() { return {}; }
  static constexpr Affine translate(double tx, double ty) { return {1, 0, 0, 1, tx, ty}; }
  static constexpr Affine translate(Vec2 v) { return {1, 0, 0, 1, v.x, v.y}; }
  static constexpr Affine scale(double s) { return {s, 0, 0, s, 0, 0}; }
  static constexpr Affine scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }

  /// Composition: (*this * o) applies o first, then *this.
  friend constexpr Affine operator*(Affine const& l, Affine const& r) {
    return {l.a * r.a + l.c * r.b, l.b * r.a + l.d * r.b,       l.a * r.c + l.c * r.d,
            l.b * r.c + l.d * r.d, l.a * r.e + l.c * r.f + l.e, l.b * r.e + l.d * r.f + l.f};
  }
  Affine then_translate(Vec2 v) const { return translate(v) * *this; }
  Affine pre_translate(Vec2 v) const { return *this * translate(v); }

  Point apply(Point p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
  Point operator*(Point p) const { return apply(p); }
  double determinant() const { return a * d - b * c; }
  /// The inverse; nullopt for a singular transform.
  std::optional<Affine> inverse() const;
  /// The rectangle covering the transformed corners of `r`.
  Rect transform_rect_bbox(Rect const& r) const;
  bool is_identity() const { return *this == Affine{}; }

  friend bool operator==(Affine const&, Affine const&) = default;
};

enum class Join : std::uint8_t { Miter, Round, Bevel };
enum class Cap : std::uint8_t { Butt, Round, Square };

/// Stroke style. The painters' style is round joins and caps, miter limit 4, no dashes.
struct Stroke {
  double width = 1.0;
  Join join = Join::Round;
  Cap start_cap = Cap::Round;
  Cap end_cap = Cap::Round;
  double miter_limit = 4.0;
  std::vector<double> dash_pattern; // empty: solid
  double dash_offset = 0.0;

  static Stroke with_width(double w) {
    Stroke s;
    s.width = w;
    return s;
  }
  Stroke with_dashes(double offset, std::vector<double> pattern) const {
    Stroke s = *this;
    s.dash_offset = offset;
    s.dash_pattern = std::move(pattern);
    return s;
  }

  friend bool operator==(Stroke const&, Stroke const&) = default;
};

} // namespace zarn_ui
