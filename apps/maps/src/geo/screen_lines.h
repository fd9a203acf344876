#pragma once
// Lines on screen for one frame: whether a stroked line can show inside the visible rectangle,
// and long lines (a route of many thousand points) projected and simplified once per zoom
// level, then only shifted and scaled to the screen each frame and cut to the runs that show.

#include <cstdint>
#include <optional>
#include <vector>

#include "geo/projection.h"
#include "model/types.h"
#include "platform/scene/geometry.h"

namespace maps {

/// False only when the line, stroked `width` wide, lies wholly outside `visible`; a line with
/// a non-finite point counts as reaching it (the replay skips what it cannot draw).
bool line_reaches(std::vector<zarn_ui::Point> const& points, double width,
                  zarn_ui::Rect const& visible);

/// The points kept when `points` is simplified with a distance tolerance of `tolerance`
/// (Douglas–Peucker): the first and last point always, and every point that lies farther than
/// the tolerance from the line through the kept points around it.
std::vector<zarn_ui::Point> simplify_polyline(std::vector<zarn_ui::Point> const& points,
                                              double tolerance);

/// A polyline's screen points through a cache kept between frames: the geometry projected at
/// the next whole zoom level above the frame's and simplified there to a fraction of a pixel.
/// The cache is made again when the geometry or that zoom level changes; the runs are cut again
/// when the view moves.
class ScreenLine {
public:
  /// The parts of the line whose segments, stroked `width` wide, can show inside `visible`,
  /// each a run of consecutive simplified points, in order along the line.
  std::vector<std::vector<zarn_ui::Point>> const& visible_runs(std::vector<LatLon> const& geometry,
                                                               MapProjection const& projection,
                                                               double width,
                                                               zarn_ui::Rect const& visible);

  /// How many times the projection and simplification were made (for tests).
  std::uint64_t builds() const { return builds_; }

private:
  /// What the runs were cut for; the same view and geometry give the same runs.
  struct View {
    double zoom = 0.0;
    double dx = 0.0; // screen minus world position
    double dy = 0.0;
    double width = 0.0;
    zarn_ui::Rect visible;
    friend bool operator==(View const&, View const&) = default;
  };

  std::vector<LatLon> source_;
  std::optional<View> view_;
  std::optional<int> level_;
  std::vector<zarn_ui::Point> world_; // world pixels at `level_`
  std::vector<std::vector<zarn_ui::Point>> runs_;
  std::uint64_t builds_ = 0;
};

} // namespace maps
