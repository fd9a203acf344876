// The frame: the map layers, the side panel, the scale bar and imagery banner, and the map
// chrome on top, in that order, with the hit targets rebuilt in the same order. In the compact
// layout with the panel open, the map's own controls go under the panel's scrim.

#include "draw/chrome_draw.h"
#include "draw/map_layers.h"
#include "draw/side_panel_draw.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "ui/palette.h"

namespace maps {

void MapsApp::draw(zarn_ui::Scene& scene, zarn_ui::Affine transform,
                   zarn_ui::widget::DrawCtx const& ctx) {
  zarn_ui::Theme const& theme = ctx.theme;
  TextRenderer const& text = ctx.text;
  hit_targets.clear();
  // The endpoint editor's rectangles describe this frame only, whichever panel is shown.
  endpoints.hits.clear();
  endpoints.origin_rect.reset();
  endpoints.dest_rect.reset();
  map_rect = window_rect_;

  // The basemap style follows the theme before any tile is looked up this frame.
  tiles.set_dark_basemap(is_dark_theme(theme).dark);
  MapPalette const palette = map_palette(theme);
  MapProjection const projection = viewport_projection();

  bool const imagery = draw_map_layers(*this, scene, transform, text, theme, palette, projection);
  bool const under_scrim = map_under_scrim(*this);
  if (under_scrim) {
    draw_map_overlays(*this, scene, transform, text, theme, imagery);
    draw_map_controls_under_scrim(*this, scene, transform, text, theme);
  }
  draw_side_panel(*this, scene, transform, text, theme);
  if (!under_scrim) {
    draw_map_overlays(*this, scene, transform, text, theme, imagery);
  }
  draw_map_chrome(*this, scene, transform, text, theme);
}

} // namespace maps
