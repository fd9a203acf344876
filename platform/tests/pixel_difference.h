#pragma once
// Test helper: how far two pixel buffers of four 8-bit channels a pixel differ, for checks
// that two ways of drawing show the same within the rounding of antialiased edges, and how
// many pixels a repaint covers.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/render/retained_frame.h"

namespace zarn_ui::test {

struct Difference {
  int max_channel = 0;    // the largest difference in any channel
  std::size_t pixels = 0; // pixels differing in any channel
};

/// Compares the pixels both buffers hold.
inline Difference difference(std::vector<std::uint8_t> const& a,
                             std::vector<std::uint8_t> const& b) {
  Difference d;
  for (std::size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
    int m = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      m = std::max(m, std::abs(int{a[i + k]} - int{b[i + k]}));
    }
    d.max_channel = std::max(d.max_channel, m);
    d.pixels += m > 0 ? 1 : 0;
  }
  return d;
}

/// Pixels covered by the rectangles of a repaint (which do not overlap).
inline long area(std::vector<render::PixelRect> const& rects) {
  long a = 0;
  for (auto const& r : rects) {
    a += long{r.width} * r.height;
  }
  return a;
}

} // namespace zarn_ui::test
