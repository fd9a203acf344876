#pragma once
// The map's layers, bottom to top: basemap imagery from the tile cache (or, without imagery,
// the street network drawn as vectors, or a blank grid), traffic, the road route, the chosen
// transit journey; and, above the side panel, the scale bar and the imagery status banner.
// Layers record only what can show inside the visible rectangle (the window); the route keeps
// its projected, simplified line between frames of the same zoom level.

#include <cstdint>
#include <string_view>

#include "geo/projection.h"
#include "geo/screen_lines.h"
#include "model/types.h"
#include "platform/theme/theme.h"
#include "sample/street_network.h"
#include "tiles/tile_cache.h"
#include "ui/paint.h"
#include "ui/palette.h"

namespace maps {

class MapsApp;

/// 4.2 for class 0 (the largest), 3, 1.6, and 1 for class 3 and anything smaller.
double road_class_factor(std::uint8_t road_class);
/// (max(zoom − 12, 0) × 0.35 + 1) × road_class_factor.
double road_width(double zoom, std::uint8_t road_class);
/// The same zoom factor × 2.2, 2.7, 3.1 or 3.4 for traffic levels 0 to 3 (higher levels count
/// as 3).
double traffic_width(double zoom, std::uint8_t level);

/// The cached tiles covering the map area (the centre drawn at `anchor`, the projection's screen
/// centre), each over a placeholder fill; a missing tile shows the matching part of a cached
/// ancestor and any cached children or grandchildren over it, and is requested once the clip is
/// closed. With `keep_pixels` (the zoom is the previous frame's) a tile in memory that reaches
/// the map area is recorded with its placeholder as a cached tile, so the renderer scales it
/// once and copies the pixels while the map pans. True when any imagery was drawn.
bool draw_tiles(Scene& scene, Affine const& t, Rect const& map_area, TileCache& tiles,
                LatLon centre, double zoom, Point anchor, Color placeholder,
                bool keep_pixels = false);

/// The street network as vectors over a land fill: water, parks, the river, built-up areas,
/// road casings, roads; lines and areas wholly outside `visible` are left out.
void draw_street_network(Scene& scene, Affine const& t, Rect const& map_area,
                         MapProjection const& projection, StreetNetwork const& network,
                         MapPalette const& palette, Rect const& visible);

/// The map without imagery or streets: a placeholder fill with the edges and quarters of the
/// tiles that would cover it.
void draw_blank_grid(Scene& scene, Affine const& t, Rect const& map_area, LatLon centre,
                     double zoom, Point anchor, MapPalette const& palette);

/// Every segment with two or more points that reaches `visible`: all casings first, then the
/// coloured lines. Two-point segments have butt caps.
void draw_traffic(Scene& scene, Affine const& t, MapProjection const& projection,
                  TrafficOverlay const& traffic, MapPalette const& palette, Rect const& visible);

/// The route line over its casing (the runs of `line` that reach `visible`), a start disc and
/// an end disc.
void draw_route(Scene& scene, Affine const& t, MapProjection const& projection, Route const& route,
                MapPalette const& palette, Rect const& visible, ScreenLine& line);

/// The journey's legs in their colours (walking legs dotted), clipped to the map area, with
/// stop discs at both ends of each vehicle leg.
void draw_journey(Scene& scene, Affine const& t, MapProjection const& projection,
                  TransitJourney const& journey, zarn_ui::Theme const& theme,
                  MapPalette const& palette, Rect const& map_area);

/// The scale bar ending at `right`, 26 px above the window bottom.
void draw_scale_bar(Scene& scene, Affine const& t, TextRenderer const& text, Rect const& window,
                    LatLon centre, double zoom, zarn_ui::Theme const& theme, double right);

/// A pill centred at (cx, cy) with a coloured dot and the message.
void draw_imagery_banner(Scene& scene, Affine const& t, TextRenderer const& text,
                         zarn_ui::Theme const& theme, std::string_view message, Color dot,
                         double cx, double cy);

inline constexpr std::string_view LOADING_MAP_TEXT = "Loading map\xE2\x80\xA6";
inline constexpr std::string_view IMAGERY_OFFLINE_TEXT = "Map imagery unavailable offline";

struct ImageryStatus {
  std::string_view message;
  Color dot;
};
/// "Loading map…" with the accent dot; "Map imagery unavailable offline" with the warning dot
/// once tiles have failed and none is in memory.
ImageryStatus imagery_status(TileCache const& tiles, zarn_ui::Theme const& theme);

// --- The map part of a frame, for the frame drawing. ---

/// The rectangle the map occupies: the window, except in the compact layout with the navigation
/// panel open, where it starts right of the panel.
Rect map_area(MapsApp const& app);

/// The layers under the side panel, in order: imagery (else streets, else the blank grid),
/// traffic when switched on, the route, the chosen transit journey, the point-of-interest
/// markers and the place pins. Returns whether imagery was drawn.
bool draw_map_layers(MapsApp& app, Scene& scene, Affine const& t, TextRenderer const& text,
                     zarn_ui::Theme const& theme, MapPalette const& palette,
                     MapProjection const& projection);

/// Right end of the scale bar: left of the map-control column.
double scale_bar_right(MapsApp const& app);
/// The scale bar is at most this long.
inline constexpr double SCALE_BAR_MAX_PX = 110.0;
/// Centre of the imagery banner: the middle of the map part of the window.
Point imagery_banner_center(MapsApp const& app);

/// The layers over the side panel: the scale bar, and the imagery banner when no imagery was
/// drawn, the street network is empty and the compact navigation panel is not open.
void draw_map_overlays(MapsApp const& app, Scene& scene, Affine const& t, TextRenderer const& text,
                       zarn_ui::Theme const& theme, bool imagery_drawn);

} // namespace maps
