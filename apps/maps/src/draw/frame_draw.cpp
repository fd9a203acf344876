// The frame: the map layers, the side panel, the scale bar and imagery banner, and the map
// chrome on top, in that order, with the hit targets rebuilt in the same order. In the compact
// layout with the panel open, the map's own controls go under the panel's scrim.

#include "draw/chrome_draw.h"
#include "draw/map_layers.h"
#include "draw/side_panel_draw.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "ui/paint.h"
#include "ui/palette.h"

namespace maps {

namespace {

/// The focused control as this frame painted it: a painted target by its action, a route field
/// by its slot, anything else where the focus last saw it.
std::optional<zarn_ui::Rect> focus_ring_rect(MapsApp const& app) {
  if (app.offline_panel.open) {
    return app.focus_rect;
  }
  if (app.focus_action) {
    for (auto const& target : app.hit_targets) {
      if (target.action == *app.focus_action) {
        return target.rect;
      }
    }
  }
  if (app.focus_id == "maps.route.origin" && app.endpoints.origin_rect) {
    return app.endpoints.origin_rect;
  }
  if (app.focus_id == "maps.route.destination" && app.endpoints.dest_rect) {
    return app.endpoints.dest_rect;
  }
  return app.focus_rect;
}

/// A 2-pixel ring in the focus colour just outside the control, between two 1-pixel bands of
/// the surface colour so that it keeps its contrast over the map as over the panel.
void draw_focus_ring(MapsApp const& app, zarn_ui::Scene& scene, zarn_ui::Affine const& t,
                     zarn_ui::Theme const& theme) {
  if (!app.focus_visible || app.overflow_menu.is_open() ||
      attribution_sheet_open(app.attribution_sheet)) {
    return;
  }
  auto const rect = focus_ring_rect(app);
  if (!rect || !(rect->width() > 0.0 && rect->height() > 0.0)) {
    return;
  }
  auto const grown = [&](double by) {
    return zarn_ui::Rect{rect->x0 - by, rect->y0 - by, rect->x1 + by, rect->y1 + by};
  };
  constexpr double RADIUS = 8.0;
  stroke_rounded_rect(scene, t, grown(2.0), RADIUS, theme.surface, 4.0);
  stroke_rounded_rect(scene, t, grown(2.0), RADIUS, theme.focus_border, FOCUS_RING_WIDTH);
}

} // namespace

void MapsApp::draw(zarn_ui::Scene& scene, zarn_ui::Affine transform,
                   zarn_ui::widget::DrawCtx const& ctx) {
  zarn_ui::Theme const& theme = ctx.theme;
  TextRenderer const& text = ctx.text;
  hit_targets.clear();
  drawn_texts.clear();
  status_rect = {};
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
  draw_focus_ring(*this, scene, transform, theme);
}

} // namespace maps
