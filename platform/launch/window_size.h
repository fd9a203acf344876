#pragma once
// The main window's opening size and minimum size: the minimum in logical pixels times the
// --scale factor, both fitted to the usable area of the display the window opens on, so that no
// part of the window starts or is held out of reach.

#include <cstdint>
#include <optional>
#include <utility>

namespace zarn_ui::launch {

using PixelSize = std::pair<std::int32_t, std::int32_t>; // width, height

struct WindowSizes {
  PixelSize size;
  std::optional<PixelSize> minimum;
  bool operator==(WindowSizes const&) const = default;
};

/// `size` (the application's default or an explicit --size, in window pixels) and the minimum,
/// `minimum_logical` times `scale`: both capped at `usable` when the display tells it, the size
/// never below the minimum. A `scale` that is not a positive number counts as 1.
WindowSizes fit_window_sizes(PixelSize size, std::optional<PixelSize> minimum_logical, double scale,
                             std::optional<PixelSize> usable);

} // namespace zarn_ui::launch
