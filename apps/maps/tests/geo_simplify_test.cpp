// simplify_polyline against a plain split-at-farthest-point written out in full: the boxes that
// spare most distance computations must never change which point a split picks.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "geo/geo.h"

namespace maps {
namespace {

std::vector<LatLon> plain_split(std::vector<LatLon> const& points, double tolerance) {
  std::size_t const n = points.size();
  if (n < 3 || !(tolerance > 0.0)) {
    return points;
  }
  double const c = std::cos(points.front().lat * std::numbers::pi / 180.0);
  std::vector<double> x;
  std::vector<double> y;
  for (auto const& p : points) {
    x.push_back((p.lon - points.front().lon) * METRES_PER_DEGREE * c);
    y.push_back((p.lat - points.front().lat) * METRES_PER_DEGREE);
  }
  std::vector<bool> keep(n, false);
  keep.front() = true;
  keep.back() = true;
  std::vector<std::pair<std::size_t, std::size_t>> stack = {{0, n - 1}};
  while (!stack.empty()) {
    auto const [s, e] = stack.back();
    stack.pop_back();
    if (e <= s + 1) {
      continue;
    }
    double const dx = x[e] - x[s];
    double const dy = y[e] - y[s];
    double const len2 = dx * dx + dy * dy;
    double best = -1.0;
    std::size_t best_i = s;
    for (std::size_t i = s + 1; i < e; ++i) {
      double const px = x[i] - x[s];
      double const py = y[i] - y[s];
      double dist2 = px * px + py * py;
      if (len2 > DEGENERATE_SEGMENT_EPSILON) {
        double const t = std::clamp((px * dx + py * dy) / len2, 0.0, 1.0);
        dist2 = (px - t * dx) * (px - t * dx) + (py - t * dy) * (py - t * dy);
      }
      if (dist2 > best) {
        best = dist2;
        best_i = i;
      }
    }
    if (best > tolerance * tolerance) {
      keep[best_i] = true;
      stack.emplace_back(s, best_i);
      stack.emplace_back(best_i, e);
    }
  }
  std::vector<LatLon> out;
  for (std::size_t i = 0; i < n; ++i) {
    if (keep[i]) {
      out.push_back(points[i]);
    }
  }
  return out;
}

// Shapes of ordinary lines, many with points at exactly equal distances from a chord.
std::vector<LatLon> line_of(int shape, std::size_t n, std::mt19937_64& rng) {
  std::normal_distribution<double> noise(0.0, 1.0);
  std::uniform_int_distribution<int> step(-1, 1);
  std::vector<LatLon> out;
  double lat = 48.1;
  double lon = 11.5;
  double heading = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    double const t = static_cast<double>(k);
    switch (shape) {
    case 0: // a wandering path with metre-sized jitter
      heading += 0.05 * noise(rng);
      lat += 0.00004 * std::cos(heading) + 0.00001 * noise(rng);
      lon += 0.00004 * std::sin(heading) + 0.00001 * noise(rng);
      out.push_back({lat, lon});
      break;
    case 1: // a street swinging some 30 m either side, as a long route answer does
      out.push_back({48.1 + 0.000021 * t + 0.0003 * std::cos(t * 0.031),
                     11.5 + 0.00003 * t + 0.0004 * std::sin(t * 0.05)});
      break;
    case 2: // steps on a coarse lattice: equal distances everywhere
      lat += 0.00002 * step(rng);
      lon += 0.00002 * (step(rng) + 1);
      out.push_back({lat, lon});
      break;
    case 3: // a closed ring: the first chord is a single point
      out.push_back(
          {48.1 + 0.001 * std::sin(t * 2.0 * std::numbers::pi / static_cast<double>(n - 1)),
           11.5 +
               0.001 * (1.0 - std::cos(t * 2.0 * std::numbers::pi / static_cast<double>(n - 1)))});
      break;
    case 4: // out and back along one street, with repeated points
      out.push_back({48.1, 11.5 + 0.00001 * std::fabs(t - static_cast<double>(n) / 2.0) +
                               (k % 7 == 0 ? 0.00002 : 0.0)});
      out.push_back(out.back());
      ++k;
      break;
    default: // a cloud of points in a 60 m square
      out.push_back({48.1 + 0.0005 * std::fabs(noise(rng)), 11.5 + 0.0008 * std::fabs(noise(rng))});
      break;
    }
  }
  out.resize(n, out.back());
  return out;
}

// Names the first point where two results part, instead of printing both.
testing::AssertionResult same_points(std::vector<LatLon> const& got,
                                     std::vector<LatLon> const& want) {
  auto const [g, w] = std::mismatch(got.begin(), got.end(), want.begin(), want.end());
  if (g == got.end() && w == want.end()) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure()
         << got.size() << " points kept, the plain split keeps " << want.size()
         << "; they part at kept point " << (g - got.begin());
}

TEST(GeoSimplify, MatchesThePlainSplitOnOrdinaryLines) {
  char const* const names[] = {"wandering", "swinging street", "lattice",
                               "ring",      "out and back",    "cloud"};
  std::mt19937_64 rng(17);
  constexpr auto unbounded = std::numeric_limits<std::uint64_t>::max();
  for (int shape = 0; shape < 6; ++shape) {
    for (std::size_t const n : {std::size_t{40}, std::size_t{700}, std::size_t{9000}}) {
      auto const line = line_of(shape, n, rng);
      for (double const tolerance : {0.5, 3.0, 40.0}) {
        SCOPED_TRACE(testing::Message()
                     << names[shape] << ", " << n << " points, " << tolerance << " m");
        auto const want = plain_split(line, tolerance);
        EXPECT_TRUE(same_points(simplify_polyline(line, tolerance, unbounded), want));
        EXPECT_TRUE(same_points(simplify_polyline(line, tolerance), want));
      }
    }
  }
}

} // namespace
} // namespace maps
