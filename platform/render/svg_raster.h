#pragma once
// SVG documents rasterised with librsvg into square straight-RGBA8 images, for the window
// icon. The document is trusted (it ships with the application); no network or file is read.

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace zarn_ui {

/// `svg` scaled to fit a `size` x `size` image (1 <= size <= 1024) with its aspect kept,
/// centred on a transparent ground; straight RGBA8, row-major.
base::Result<std::vector<std::uint8_t>> rasterise_svg(std::string_view svg, std::uint32_t size);

} // namespace zarn_ui
