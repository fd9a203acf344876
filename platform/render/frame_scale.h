#pragma once
// How a frame maps onto the pixels it is drawn into. Layout and hit testing work in logical
// pixels; one scale factor (device pixels per logical pixel) is applied where the scene is
// replayed, and pointer positions are divided by it on the way in. The factor is the display's
// pixel ratio times the user's UI scale, so a larger UI scale enlarges geometry, hit targets and
// text together.

#include "platform/scene/geometry.h"

namespace zarn_ui {

struct FrameScale {
  double scale = 1.0; // device pixels per logical pixel
  Size logical;       // the layout's size
};

/// The frame of a `pixel_width` × `pixel_height` target drawn at `pixel_ratio` × `ui_scale`
/// device pixels per logical pixel; a factor that is not finite and positive counts as 1.
FrameScale frame_scale(double pixel_width, double pixel_height, double pixel_ratio = 1.0,
                       double ui_scale = 1.0);

} // namespace zarn_ui
