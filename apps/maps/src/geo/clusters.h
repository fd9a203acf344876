#pragma once
// Thinning points that would crowd on screen: each point joins the nearest group already
// started within a spacing, or starts one. The result depends only on the points and their
// order, so groups made in world pixels stay put while the map pans.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/scene/geometry.h"

namespace maps {

/// A group of points: where it is drawn (its first point), that point's index and how many
/// points it stands for.
struct PointCluster {
  zarn_ui::Point at;
  std::size_t first = 0;
  std::uint32_t count = 0;
};

/// Groups `points` in order: a point within `spacing` of a group's first point joins the nearest
/// such group, else it starts a new one. Group firsts are therefore at least `spacing` apart.
/// Points that are not finite belong to no group. Runs in about linear time (a grid of cells of
/// `spacing`), so it serves tens of thousands of points. `spacing` must be positive.
std::vector<PointCluster> cluster_points(std::span<zarn_ui::Point const> points, double spacing);

} // namespace maps
