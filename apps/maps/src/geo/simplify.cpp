// The split-at-farthest-point simplification. Each split looks for the point farthest from
// the chord of its range; on a long range almost every point is far from winning, so the
// points are grouped in boxes and a box is opened only when its farthest corner could beat
// the best point found so far and lies beyond the tolerance. The distances and the choice
// among equal maxima are the plain scan's, so the result does not depend on the boxes.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "geo/geo.h"

namespace maps {

namespace {

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

void scan(std::vector<PlanePoint> const& plane, Chord const& chord, std::size_t from,
          std::size_t to, Farthest& far) {
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
constexpr std::size_t BOX_POINTS = 16;
constexpr std::size_t GROUP_BOXES = 8;
constexpr std::size_t GROUP_POINTS = BOX_POINTS * GROUP_BOXES;
// Ranges shorter than this are scanned plainly: their boxes would cost about as much.
constexpr std::size_t BOXED_RANGE_MIN = 4 * BOX_POINTS;
// Rounding moves a computed squared distance by a few units in the last place of the squared
// extent of the range; a box's bound is raised by far more than that, and by the smallest
// normal double for values that underflow.
constexpr double ROUNDING_MARGIN = 1e-10;
// Coordinates up to this keep every square inside the doubles.
constexpr double BOXED_COORDINATE_MAX = 1e100;

// No point of the box lies farther from the chord: the distance to a segment splits into the
// distance to its line and the overshoot past its ends along it, and each of them is largest
// at a corner. The margin covers the rounding of both this bound and the distances.
double bound(Chord const& chord, Box const& b) {
  double const px = b.cx - chord.s.x;
  double const py = b.cy - chord.s.y;
  double const m = std::max(std::max(std::fabs(px), std::fabs(py)) + b.hu + b.hv,
                            std::max(std::fabs(chord.dx), std::fabs(chord.dy)));
  double const margin = ROUNDING_MARGIN * m * m + std::numeric_limits<double>::min();
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

class BoxedSearch {
 public:
  explicit BoxedSearch(std::vector<PlanePoint> const& plane) : plane_(plane) {
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

  static std::size_t round_up(std::size_t v, std::size_t step) { return (v + step - 1) / step * step; }

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
    auto const top = std::max_element(candidates.begin(), candidates.end(),
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

  std::vector<PlanePoint> const& plane_;
  std::vector<Box> boxes_;
  std::vector<Box> groups_;
  std::vector<Candidate> candidates_;
  double floor_ = 0.0;
};

} // namespace

std::vector<LatLon> simplify_polyline(std::span<LatLon const> points, double tolerance_m,
                                      std::uint64_t work_budget) {
  std::size_t const n = points.size();
  if (n < 3 || !(tolerance_m > 0.0)) {
    return {points.begin(), points.end()};
  }
  LatLon const origin = points.front();
  double const c = std::cos(origin.lat * (std::numbers::pi / 180.0));
  std::vector<PlanePoint> plane;
  plane.reserve(n);
  // The boxes' bounds hold for finite coordinates whose squares stay finite.
  bool boxed = n >= BOXED_RANGE_MIN;
  for (auto const& p : points) {
    PlanePoint const q{(p.lon - origin.lon) * METRES_PER_DEGREE * c,
                       (p.lat - origin.lat) * METRES_PER_DEGREE};
    boxed &= std::fabs(q.x) <= BOXED_COORDINATE_MAX && std::fabs(q.y) <= BOXED_COORDINATE_MAX;
    plane.push_back(q);
  }
  std::optional<BoxedSearch> search;
  if (boxed) {
    search.emplace(plane);
  }
  // A flag is only ever set once, so counting the sets gives the result's size.
  std::vector<bool> keep(n, false);
  keep.front() = true;
  keep.back() = true;
  std::size_t kept = 2;
  double const tol2 = tolerance_m * tolerance_m;
  std::vector<std::pair<std::size_t, std::size_t>> stack;
  stack.reserve(64);
  stack.emplace_back(0, n - 1);
  while (!stack.empty()) {
    auto const [s, e] = stack.back();
    stack.pop_back();
    if (e <= s + 1) {
      continue;
    }
    // The budget counts the distances the plain split would compute, so where it runs out does
    // not depend on how many of them the boxes save.
    std::uint64_t const cost = e - s - 1;
    if (cost > work_budget) {
      // Radial thinning: the result passes through the kept point each dropped one is near.
      PlanePoint last = plane[s];
      for (std::size_t i = s + 1; i < e; ++i) {
        double const qx = plane[i].x - last.x;
        double const qy = plane[i].y - last.y;
        if (qx * qx + qy * qy > tol2) {
          keep[i] = true;
          ++kept;
          last = plane[i];
        }
      }
      continue;
    }
    work_budget -= cost;
    Chord const chord(plane[s], plane[e]);
    Farthest far{-1.0, s};
    if (search && cost >= BOXED_RANGE_MIN) {
      search->run(chord, s + 1, e, tol2, far);
    } else {
      scan(plane, chord, s + 1, e, far);
    }
    if (far.dist2 > tol2) {
      keep[far.index] = true;
      ++kept;
      stack.emplace_back(s, far.index);
      stack.emplace_back(far.index, e);
    }
  }
  // The plane and the boxes go before the result is built: a line that keeps most of its
  // points would otherwise hold them all three times.
  search.reset();
  std::vector<PlanePoint>().swap(plane);
  std::vector<LatLon> out;
  out.reserve(kept);
  for (std::size_t i = 0; i < n; ++i) {
    if (keep[i]) {
      out.push_back(points[i]);
    }
  }
  return out;
}

} // namespace maps
