#pragma once
// Painting of the offline areas panel: a modal card centred over a scrim, with the area
// search, the download detail stepper, the status line and progress bar, the disk usage, the
// downloaded areas with delete buttons and the download and clear buttons. Rebuilds the
// panel's targets and stores the search field's rectangle.

#include "app/maps_app.h"
#include "platform/theme/theme.h"
#include "ui/paint.h"

namespace maps {

/// Tiles are estimated at this many bytes each before a download.
inline constexpr std::uint64_t ESTIMATED_TILE_BYTES = 18000;

/// The status line for the download counters: the estimate before any download, the progress
/// during one, the outcome after.
std::string offline_status_text(std::uint32_t total, std::uint32_t done, std::uint32_t failed,
                                std::uint32_t estimate_tiles);

void draw_offline_panel(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                        zarn_ui::Theme const& theme);

} // namespace maps
