// cluster_points against the rule written out over every pair: the grid that makes it fast
// must never change which group a point joins.

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "geo/clusters.h"

namespace maps {
namespace {

using zarn_ui::Point;

std::vector<PointCluster> plain_clusters(std::vector<Point> const& points, double spacing) {
  std::vector<PointCluster> out;
  for (std::size_t i = 0; i < points.size(); ++i) {
    Point const p = points[i];
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
      continue;
    }
    PointCluster* best = nullptr;
    double best_d = spacing;
    for (auto& c : out) {
      double const d = std::hypot(p.x - c.at.x, p.y - c.at.y);
      if (d < best_d) {
        best_d = d;
        best = &c;
      }
    }
    if (best != nullptr) {
      ++best->count;
    } else {
      out.push_back(PointCluster{p, i, 1});
    }
  }
  return out;
}

struct Group {
  std::size_t first;
  std::uint32_t count;
  bool operator==(Group const&) const = default;
};

std::vector<Group> groups(std::vector<PointCluster> const& clusters) {
  std::vector<Group> out;
  for (auto const& c : clusters) {
    out.push_back(Group{c.first, c.count});
  }
  return out;
}

TEST(Clusters, PointsJoinTheNearestGroupWithinTheSpacing) {
  double const nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    char const* what;
    std::vector<Point> points;
    std::vector<Group> expected;
  } const cases[] = {
      {"nothing", {}, {}},
      {"just inside the spacing", {{0, 0}, {21.9, 0}}, {{0, 2}}},
      {"at the spacing stays apart", {{0, 0}, {22, 0}}, {{0, 1}, {1, 1}}},
      {"across a cell edge", {{21.9, 21.9}, {22.1, 22.1}}, {{0, 2}}},
      {"a chain is not one group", {{0, 0}, {15, 0}, {30, 0}}, {{0, 2}, {2, 1}}},
      {"the nearer group wins", {{0, 0}, {30, 0}, {18, 0}}, {{0, 1}, {1, 2}}},
      {"negative coordinates", {{-5, -5}, {-15, -5}, {-40, -5}}, {{0, 2}, {2, 1}}},
      {"a point with no place joins nothing", {{nan, 0}, {0, 0}, {1, 1}}, {{1, 2}}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(groups(cluster_points(c.points, 22.0)), c.expected);
  }
}

TEST(Clusters, TheGridAnswersAsEveryPairDoes) {
  std::mt19937_64 rng(28);
  for (double const side : {200.0, 2000.0, 1e7}) {
    SCOPED_TRACE(side);
    std::uniform_real_distribution<double> coord(-side, side);
    std::vector<Point> points(3000);
    for (auto& p : points) {
      p = Point{coord(rng), coord(rng)};
    }
    auto const fast = cluster_points(points, 22.0);
    EXPECT_EQ(groups(fast), groups(plain_clusters(points, 22.0)));
    std::uint32_t total = 0;
    for (auto const& c : fast) {
      total += c.count;
    }
    EXPECT_EQ(total, points.size());
  }
}

} // namespace
} // namespace maps
