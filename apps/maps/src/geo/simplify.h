#pragma once
// The split-at-farthest-point (Douglas-Peucker) simplification over any line that can be
// walked point by point, so that a line still encoded in an answer is simplified without
// ever being decoded whole. Lines held in memory are searched through boxes of points: each
// split looks for the point farthest from the chord of its range, and on a long range almost
// every point is far from winning, so a box is opened only when its farthest corner could beat
// the best point found so far and lies beyond the tolerance. The distances and the choice
// among equal maxima are the plain scan's, so the result does not depend on the boxes.
//
// A line offers
//   using Cursor = ...;                 // a position on the line, copied freely
//   std::size_t size() const;
//   Cursor begin() const;               // at the first point
//   LatLon next(Cursor&) const;         // the point at the cursor, moving it on
//   LatLon back() const;                // the last point
// and a line held in memory also `LatLon at(std::size_t) const`, with the index as Cursor.

#include <algorithm>
#include <array>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <span>
#include <vector>

#include "geo/geo.h"

namespace maps {

namespace simplify_detail {

struct PlanePoint {
  double x;
  double y;
};

// Squared distances to the chord of one range, computed as the plain split computes them: every
// search below must see bit-identical values.
struct Chord {
  PlanePoint s;
  double dx;
  double dy;
  double len2;

  Chord(PlanePoint start, PlanePoint end)
      : s(start), dx(end.x - start.x), dy(end.y - start.y), len2(dx * dx + dy * dy) {}

  double dist2(PlanePoint p) const {
    double const px = p.x - s.x;
    double const py = p.y - s.y;
    if (len2 <= DEGENERATE_SEGMENT_EPSILON) {
      return px * px + py * py;
    }
    double const t = std::clamp((px * dx + py * dy) / len2, 0.0, 1.0);
    double const qx = px - t * dx;
    double const qy = py - t * dy;
    return qx * qx + qy * qy;
  }
};

// The largest distance so far and its index; among equal distances the first index wins,
// whatever order the candidates come in.
struct Farthest {
  double dist2;
  std::size_t index;

  void offer(double d2, std::size_t i) {
    if (d2 > dist2 || (d2 == dist2 && i < index)) {
      dist2 = d2;
      index = i;
    }
  }
};

template <class Plane>
void scan(Plane const& plane, Chord const& chord, std::size_t from, std::size_t to, Farthest& far) {
  if (from >= to) {
    return;
  }
  double best = -1.0;
  std::size_t best_i = from;
  for (std::size_t i = from; i < to; ++i) {
    double const d2 = chord.dist2(plane[i]);
    if (d2 > best) {
      best = d2;
      best_i = i;
    }
  }
  // No distance at all (NaN only) leaves the range's start as the plain scan does.
  if (best >= 0.0) {
    far.offer(best, best_i);
  }
}

// A box around some points, turned along the line from their first to their last point so
// that a box around a stretch of road stays thin: its centre, its axis u (a unit vector; the
// other axis is u turned left) and its half extents along both axes.
struct Box {
  double cx = 0.0;
  double cy = 0.0;
  double ux = 1.0;
  double uy = 0.0;
  double hu = 0.0;
  double hv = 0.0;
};

// Points per box, and boxes per group of boxes.
inline constexpr std::size_t BOX_POINTS = 16;
inline constexpr std::size_t GROUP_BOXES = 8;
inline constexpr std::size_t GROUP_POINTS = BOX_POINTS * GROUP_BOXES;
// Ranges shorter than this are scanned plainly: their boxes would cost about as much.
inline constexpr std::size_t BOXED_RANGE_MIN = 4 * BOX_POINTS;
// Rounding moves a computed squared distance by a few units in the last place of the squared
// extent of the range; a box's bound is raised by far more than that, and by the smallest
// normal double for values that underflow.
inline constexpr double ROUNDING_MARGIN = 1e-10;
// A box's centre is kept on the plane, rounded to the last place of its distance from the
// line's first point: far from it, that error can outgrow the range's extent. Its bound is
// raised for an error of this much more.
inline constexpr double POSITION_ROUNDING = 1e-13;
// Coordinates up to this keep every square inside the doubles.
inline constexpr double BOXED_COORDINATE_MAX = 1e100;

// No point of the box lies farther from the chord: the distance to a segment splits into the
// distance to its line and the overshoot past its ends along it, and each of them is largest
// at a corner. The margin covers the rounding of both this bound and the distances.
inline double bound(Chord const& chord, Box const& b) {
  double const px = b.cx - chord.s.x;
  double const py = b.cy - chord.s.y;
  double const m = std::max(std::max(std::fabs(px), std::fabs(py)) + b.hu + b.hv,
                            std::max(std::fabs(chord.dx), std::fabs(chord.dy)));
  double const off = POSITION_ROUNDING * std::max({std::fabs(b.cx), std::fabs(b.cy),
                                                   std::fabs(chord.s.x), std::fabs(chord.s.y)});
  double const margin =
      ROUNDING_MARGIN * m * m + (2.0 * m + off) * off + std::numeric_limits<double>::min();
  if (chord.len2 <= DEGENERATE_SEGMENT_EPSILON) {
    double const fx = std::fabs(px) + b.hu * std::fabs(b.ux) + b.hv * std::fabs(b.uy);
    double const fy = std::fabs(py) + b.hu * std::fabs(b.uy) + b.hv * std::fabs(b.ux);
    return fx * fx + fy * fy + margin;
  }
  // The box's axes against the chord: u x d and u . d (the other axis gives them swapped).
  double const cu = std::fabs(b.ux * chord.dy - b.uy * chord.dx);
  double const du = std::fabs(b.ux * chord.dx + b.uy * chord.dy);
  double const cross = std::fabs(px * chord.dy - py * chord.dx) + (b.hu * cu + b.hv * du);
  double const dot = px * chord.dx + py * chord.dy;
  double const spread = b.hu * du + b.hv * cu;
  double const past = std::max({0.0, spread - dot, dot + spread - chord.len2});
  return (cross * cross + past * past) / chord.len2 + margin;
}

template <class Plane> class BoxedSearch {
public:
  explicit BoxedSearch(Plane const& plane) : plane_(plane) {
    boxes_.resize(plane.size() / BOX_POINTS);
    for (std::size_t k = 0; k < boxes_.size(); ++k) {
      boxes_[k] = enclose_points(k * BOX_POINTS);
    }
    groups_.resize(plane.size() / GROUP_POINTS);
    for (std::size_t g = 0; g < groups_.size(); ++g) {
      groups_[g] = enclose_boxes(g * GROUP_POINTS);
    }
  }

  // The farthest of the points from..to-1 (to at most the last point) when it lies farther than
  // `floor`, the squared tolerance: a box no farther than that cannot hold the point a split
  // needs and stays shut. far comes in empty.
  void run(Chord const& chord, std::size_t from, std::size_t to, double floor, Farthest& far) {
    floor_ = floor;
    // Loose points at both ends, whole boxes up to the first whole group, the groups, and whole
    // boxes after the last group.
    std::size_t const box_from = std::min(to, round_up(from, BOX_POINTS));
    std::size_t const box_to = std::max(box_from, to / BOX_POINTS * BOX_POINTS);
    std::size_t const group_from = std::min(box_to, round_up(box_from, GROUP_POINTS));
    std::size_t const group_to = std::max(group_from, box_to / GROUP_POINTS * GROUP_POINTS);
    scan(plane_, chord, from, box_from, far);
    scan(plane_, chord, box_to, to, far);
    candidates_.clear();
    for (std::size_t i = box_from; i < group_from; i += BOX_POINTS) {
      candidates_.push_back({bound(chord, boxes_[i / BOX_POINTS]), i, BOX_POINTS});
    }
    for (std::size_t i = group_from; i < group_to; i += GROUP_POINTS) {
      candidates_.push_back({bound(chord, groups_[i / GROUP_POINTS]), i, GROUP_POINTS});
    }
    for (std::size_t i = group_to; i < box_to; i += BOX_POINTS) {
      candidates_.push_back({bound(chord, boxes_[i / BOX_POINTS]), i, BOX_POINTS});
    }
    settle(chord, candidates_, far);
  }

private:
  struct Candidate {
    double bound;
    std::size_t first;
    std::size_t points;
  };

  static std::size_t round_up(std::size_t v, std::size_t step) {
    return (v + step - 1) / step * step;
  }

  // The box along the line from `o` to `last` around the points `visit` hands out.
  template <class Visit> static Box enclose(PlanePoint o, PlanePoint last, Visit visit) {
    Box box;
    double const ex = last.x - o.x;
    double const ey = last.y - o.y;
    // Coordinates are below BOXED_COORDINATE_MAX: the square cannot overflow.
    double const len = std::sqrt(ex * ex + ey * ey);
    if (len > 0.0) {
      box.ux = ex / len;
      box.uy = ey / len;
    }
    double min_a = 0.0;
    double max_a = 0.0;
    double min_b = 0.0;
    double max_b = 0.0;
    visit([&](PlanePoint p) {
      double const qx = p.x - o.x;
      double const qy = p.y - o.y;
      double const a = qx * box.ux + qy * box.uy;
      double const b = qy * box.ux - qx * box.uy;
      min_a = std::min(min_a, a);
      max_a = std::max(max_a, a);
      min_b = std::min(min_b, b);
      max_b = std::max(max_b, b);
    });
    double const ca = min_a / 2.0 + max_a / 2.0;
    double const cb = min_b / 2.0 + max_b / 2.0;
    box.cx = o.x + ca * box.ux - cb * box.uy;
    box.cy = o.y + ca * box.uy + cb * box.ux;
    box.hu = max_a / 2.0 - min_a / 2.0;
    box.hv = max_b / 2.0 - min_b / 2.0;
    return box;
  }

  Box enclose_points(std::size_t first) const {
    return enclose(plane_[first], plane_[first + BOX_POINTS - 1], [&](auto&& add) {
      for (std::size_t i = first + 1; i < first + BOX_POINTS; ++i) {
        add(plane_[i]);
      }
    });
  }

  // A group's box holds the corners of its boxes, which is cheaper than its points.
  Box enclose_boxes(std::size_t first) const {
    return enclose(plane_[first], plane_[first + GROUP_POINTS - 1], [&](auto&& add) {
      for (std::size_t k = first / BOX_POINTS; k < (first + GROUP_POINTS) / BOX_POINTS; ++k) {
        Box const& b = boxes_[k];
        double const ux = b.hu * b.ux;
        double const uy = b.hu * b.uy;
        double const vx = -b.hv * b.uy;
        double const vy = b.hv * b.ux;
        add({b.cx - ux - vx, b.cy - uy - vy});
        add({b.cx - ux + vx, b.cy - uy + vy});
        add({b.cx + ux - vx, b.cy + uy - vy});
        add({b.cx + ux + vx, b.cy + uy + vy});
      }
    });
  }

  // Opens the candidate with the highest bound first, so that most of the others fall below
  // the best distance found and are never opened. A candidate whose bound equals the best is
  // still opened: it may hide an equal distance at a smaller index.
  void settle(Chord const& chord, std::span<Candidate> candidates, Farthest& far) {
    if (candidates.empty()) {
      return;
    }
    auto const top =
        std::max_element(candidates.begin(), candidates.end(),
                         [](Candidate const& a, Candidate const& b) { return a.bound < b.bound; });
    if (top->bound <= floor_) {
      return;
    }
    open(chord, *top, far);
    top->bound = -std::numeric_limits<double>::infinity();
    for (auto const& c : candidates) {
      if (c.bound > floor_ && c.bound >= far.dist2) {
        open(chord, c, far);
      }
    }
  }

  void open(Chord const& chord, Candidate const& c, Farthest& far) {
    if (c.points == BOX_POINTS) {
      scan(plane_, chord, c.first, c.first + BOX_POINTS, far);
      return;
    }
    std::array<Candidate, GROUP_BOXES> inner;
    for (std::size_t k = 0; k < GROUP_BOXES; ++k) {
      std::size_t const first = c.first + k * BOX_POINTS;
      inner[k] = {bound(chord, boxes_[first / BOX_POINTS]), first, BOX_POINTS};
    }
    settle(chord, inner, far);
  }

  Plane const& plane_;
  std::vector<Box> boxes_;
  std::vector<Box> groups_;
  std::vector<Candidate> candidates_;
  double floor_ = 0.0;
};

// Positions on a plane in metres around the line's first point, east and north.
struct Projection {
  LatLon origin;
  double c;

  explicit Projection(LatLon o) : origin(o), c(std::cos(o.lat * (std::numbers::pi / 180.0))) {}

  PlanePoint operator()(LatLon p) const {
    return {(p.lon - origin.lon) * METRES_PER_DEGREE * c, (p.lat - origin.lat) * METRES_PER_DEGREE};
  }
};

// A line with `at`, whose cursor is the index of the next point.
template <class Line>
concept HeldInMemory = requires(Line const& line, std::size_t i) {
  { line.at(i) } -> std::convertible_to<LatLon>;
  requires std::same_as<typename Line::Cursor, std::size_t>;
};

// A line held in memory that can afford a copy of its points on the plane (`plane_copy()`):
// the search then reads each point's projection once instead of at every look.
template <class Line>
concept MayCopyPlane = HeldInMemory<Line> && requires(Line const& line) {
  { line.plane_copy() } -> std::convertible_to<bool>;
};

// A line held in memory seen on the plane, its points projected as the search reads them (the
// values a copy of the projected points holds).
template <class Line> struct LinePlane {
  Line const& line;
  Projection proj;

  std::size_t size() const { return line.size(); }
  PlanePoint operator[](std::size_t i) const { return proj(line.at(i)); }
};

// The kept points in their order. Beyond `max_points`, only every step-th of them stays
// (always the last), the step as small as fits.
template <class Line>
std::vector<LatLon> gather(Line const& line, std::vector<bool> const& keep, std::size_t kept,
                           std::size_t max_points) {
  if (kept == 0) {
    return {};
  }
  max_points = std::max<std::size_t>(max_points, 2);
  std::size_t const step = kept <= max_points ? 1 : (kept - 1 + max_points - 2) / (max_points - 1);
  std::vector<LatLon> out;
  out.reserve((kept - 1 + step - 1) / step + 1);
  auto c = line.begin();
  std::size_t j = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    LatLon const p = line.next(c);
    if (keep[i]) {
      if (j % step == 0 || j == kept - 1) {
        out.push_back(p);
      }
      ++j;
    }
  }
  return out;
}

} // namespace simplify_detail

/// A list of points as a line to simplify.
struct PointList {
  using Cursor = std::size_t;
  std::span<LatLon const> points;

  std::size_t size() const { return points.size(); }
  Cursor begin() const { return 0; }
  LatLon next(Cursor& c) const { return points[c++]; }
  LatLon back() const { return points.back(); }
  LatLon at(std::size_t i) const { return points[i]; }
  bool plane_copy() const { return true; }
};
static_assert(simplify_detail::MayCopyPlane<PointList>);

/// Simplifies `line` with a tolerance in metres, on a local plane around its first point; the
/// first and last points always stay. Fewer than three points, or a tolerance not above 0,
/// keep every point.
/// `work_left` counts the point-to-segment distances still to spend, as a plain scan of each
/// range computes them, and is shared by the lines of one answer. A range costlier than what
/// is left is thinned in one pass instead: a point stays when it lies farther than the
/// tolerance from the point kept before it, so every dropped point still lies within the
/// tolerance of the result. The shorter side of a split is split first, which decides where
/// the work runs out.
/// At most `max_points` points come out (at least two): a line that keeps more keeps every
/// k-th of them, k as small as fits, and may then leave the tolerance.
template <class Line>
std::vector<LatLon>
simplify_line(Line const& line, double tolerance_m, std::uint64_t& work_left,
              std::size_t max_points = std::numeric_limits<std::size_t>::max()) {
  using namespace simplify_detail;
  using Cursor = typename Line::Cursor;
  std::size_t const n = line.size();
  if (n < 3 || !(tolerance_m > 0.0)) {
    return gather(line, std::vector<bool>(n, true), n, max_points);
  }
  // A flag is only ever set once, so counting the sets gives the result's size.
  std::vector<bool> keep(n, false);
  Cursor after_first = line.begin();
  LatLon const first = line.next(after_first);
  Projection const proj(first);
  // A line held in memory is searched through boxes, over a copy of its projected points where
  // it affords one.
  std::optional<LinePlane<Line>> plane;
  std::optional<BoxedSearch<LinePlane<Line>>> search;
  std::vector<PlanePoint> copy;
  std::optional<BoxedSearch<std::vector<PlanePoint>>> copy_search;
  if constexpr (HeldInMemory<Line>) {
    bool copying = false;
    if constexpr (MayCopyPlane<Line>) {
      copying = n >= BOXED_RANGE_MIN && line.plane_copy();
    }
    if (copying) {
      copy.reserve(n);
    }
    // The boxes' bounds hold for finite coordinates whose squares stay finite.
    bool boxed = n >= BOXED_RANGE_MIN;
    for (std::size_t i = 0; boxed && i < n; ++i) {
      PlanePoint const q = proj(line.at(i));
      boxed = std::fabs(q.x) <= BOXED_COORDINATE_MAX && std::fabs(q.y) <= BOXED_COORDINATE_MAX;
      if (copying) {
        copy.push_back(q);
      }
    }
    if (boxed && copying) {
      copy_search.emplace(copy);
    } else if (boxed) {
      plane.emplace(LinePlane<Line>{line, proj});
      search.emplace(*plane);
    }
  }
  keep.front() = true;
  keep.back() = true;
  std::size_t kept = 2;
  double const tol2 = tolerance_m * tolerance_m;
  // A range to split, with its end points and a cursor at the point after its start.
  struct Range {
    std::size_t s;
    std::size_t e;
    Cursor after_s;
    LatLon ps;
    LatLon pe;
  };
  std::vector<Range> stack;
  stack.push_back({0, n - 1, after_first, first, line.back()});
  while (!stack.empty()) {
    Range const r = stack.back();
    stack.pop_back();
    // The budget counts the distances the plain split would compute, so where it runs out does
    // not depend on how many of them the boxes save.
    std::uint64_t const cost = r.e - r.s - 1;
    if (cost > work_left) {
      // Radial thinning: the result passes through the kept point each dropped one is near.
      PlanePoint last = proj(r.ps);
      Cursor c = r.after_s;
      for (std::size_t i = r.s + 1; i < r.e; ++i) {
        PlanePoint const q = proj(line.next(c));
        double const qx = q.x - last.x;
        double const qy = q.y - last.y;
        if (qx * qx + qy * qy > tol2) {
          keep[i] = true;
          ++kept;
          last = q;
        }
      }
      continue;
    }
    work_left -= cost;
    Chord const chord(proj(r.ps), proj(r.pe));
    Farthest far{-1.0, r.s};
    LatLon p_far{};
    Cursor after_far = r.after_s;
    if constexpr (HeldInMemory<Line>) {
      bool const boxed = cost >= BOXED_RANGE_MIN;
      if (copy_search && boxed) {
        copy_search->run(chord, r.s + 1, r.e, tol2, far);
      } else if (search && boxed) {
        search->run(chord, r.s + 1, r.e, tol2, far);
      } else if (!copy.empty()) {
        scan(copy, chord, r.s + 1, r.e, far);
      } else {
        scan(LinePlane<Line>{line, proj}, chord, r.s + 1, r.e, far);
      }
      p_far = line.at(far.index);
      after_far = far.index + 1;
    } else {
      // The plain scan (as `scan`, walking the cursor and keeping the farthest point's place);
      // no distance at all (NaN only) leaves the range's start.
      double best = -1.0;
      Cursor c = r.after_s;
      for (std::size_t i = r.s + 1; i < r.e; ++i) {
        LatLon const p = line.next(c);
        double const d2 = chord.dist2(proj(p));
        if (d2 > best) {
          best = d2;
          far.index = i;
          p_far = p;
          after_far = c;
        }
      }
      far.dist2 = best;
    }
    if (far.dist2 > tol2) {
      keep[far.index] = true;
      ++kept;
      // The shorter side is split first, so the stack holds at most one range per halving.
      Range const left{r.s, far.index, r.after_s, r.ps, p_far};
      Range const right{far.index, r.e, after_far, p_far, r.pe};
      bool const left_shorter = far.index - r.s <= r.e - far.index;
      for (Range const& side : {left_shorter ? right : left, left_shorter ? left : right}) {
        if (side.e > side.s + 1) {
          stack.push_back(side);
        }
      }
    }
  }
  // The boxes and the copy go before the result is built.
  search.reset();
  copy_search.reset();
  std::vector<PlanePoint>().swap(copy);
  return gather(line, keep, kept, max_points);
}

} // namespace maps
