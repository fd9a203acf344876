#include "platform/launch/window_size.h"

#include <algorithm>
#include <cmath>

#include "base/saturate.h"

namespace zarn_ui::launch {

namespace {

PixelSize scaled(PixelSize logical, double scale) {
  return {base::saturating_cast<std::int32_t>(std::ceil(logical.first * scale)),
          base::saturating_cast<std::int32_t>(std::ceil(logical.second * scale))};
}

PixelSize capped(PixelSize size, std::optional<PixelSize> const& usable) {
  if (!usable) {
    return size;
  }
  return {std::min(size.first, usable->first), std::min(size.second, usable->second)};
}

} // namespace

WindowSizes fit_window_sizes(PixelSize size, std::optional<PixelSize> minimum_logical, double scale,
                             std::optional<PixelSize> usable) {
  if (!(scale > 0.0) || !std::isfinite(scale)) {
    scale = 1.0;
  }
  if (usable && (usable->first <= 0 || usable->second <= 0)) {
    usable.reset();
  }
  WindowSizes out;
  out.size = capped(size, usable);
  if (minimum_logical) {
    PixelSize const minimum = capped(scaled(*minimum_logical, scale), usable);
    out.minimum = minimum;
    out.size = {std::max(out.size.first, minimum.first), std::max(out.size.second, minimum.second)};
  }
  return out;
}

} // namespace zarn_ui::launch
