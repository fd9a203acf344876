#pragma once
// Colours: mixing through 8-bit channels, hex line colours, the dark-theme test (which also
// picks the dark basemap), the map palette derived from the theme each frame, and the colours
// of place categories and transit modes.

#include <array>
#include <optional>
#include <string_view>

#include "model/types.h"
#include "platform/scene/color.h"
#include "platform/theme/theme.h"

namespace maps {

/// The colour `t` of the way from `a` to `b`, every channel (alpha too) quantised to 8 bits.
zarn_ui::Color mix_colors(zarn_ui::Color a, zarn_ui::Color b, float t);

/// An opaque colour from six hexadecimal digits after any leading "#".
std::optional<zarn_ui::Color> parse_hex_color(std::string_view text);

struct DarkTest {
  bool dark = false;
  double luminance = 0.0; // of the surface colour, in byte values
};
DarkTest is_dark_theme(zarn_ui::Theme const& theme);

struct MapPalette {
  zarn_ui::Color land, building, building_edge, park, park_edge, water, minor_road, road_casing,
      major_road, highway, route, route_casing, marker_halo, placeholder;
  std::array<zarn_ui::Color, 4> traffic; // free flowing .. standstill
  zarn_ui::Color traffic_casing;
};
MapPalette map_palette(zarn_ui::Theme const& theme);

zarn_ui::Color category_color(zarn_ui::Theme const& theme, PlaceCategory category);
zarn_ui::Color leg_mode_color(zarn_ui::Theme const& theme, LegMode mode);
/// The leg's own colour when its text parses, else its mode's.
zarn_ui::Color leg_color(zarn_ui::Theme const& theme, TransitLeg const& leg);

} // namespace maps
