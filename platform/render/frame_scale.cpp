#include "platform/render/frame_scale.h"

#include <cmath>

namespace zarn_ui {

namespace {

double usable(double factor) {
  return std::isfinite(factor) && factor > 0.0 ? factor : 1.0;
}

} // namespace

FrameScale frame_scale(double pixel_width, double pixel_height, double pixel_ratio,
                       double ui_scale) {
  double const scale = usable(pixel_ratio) * usable(ui_scale);
  auto side = [scale](double pixels) {
    return std::isfinite(pixels) && pixels > 0.0 ? pixels / scale : 0.0;
  };
  return {scale, Size{side(pixel_width), side(pixel_height)}};
}

} // namespace zarn_ui
