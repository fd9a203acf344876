#pragma once
// The one replay of a Scene into cairo, used by the window and by screenshots alike.
// Commands whose geometry cannot be drawn (non-finite coordinates, singular transforms,
// non-positive widths or radii) are skipped rather than put the cairo context in error.

#include <vector>

#include <cairo.h>

#include "platform/render/tile_surface_cache.h"
#include "platform/scene/scene.h"

namespace zarn_ui::render {

/// Paints `scene` onto `cr` on top of what it holds, under `cr`'s current transform (a window
/// passes its device scale that way). Leaves `cr`'s state as it found it. Cached tiles are taken
/// from `cache` (and rendered into it when missing); without a cache each is drawn in place,
/// cut at the same whole device pixels, so both give the same picture.
void replay(Scene const& scene, cairo_t* cr, render::TileSurfaceCache* cache = nullptr);

/// The same, drawing only the commands whose `drawn` entry is true; layers are always opened
/// and closed, so every drawn command is clipped and composited as in a full replay. A command
/// beyond the end of `drawn` is drawn.
void replay_some(Scene const& scene, cairo_t* cr, render::TileSurfaceCache* cache,
                 std::vector<bool> const& drawn);

} // namespace zarn_ui::render
