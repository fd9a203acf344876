#include "ui/palette.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace maps {

using zarn_ui::Color;
namespace colors = zarn_ui::colors;

Color mix_colors(Color a, Color b, float t) {
  auto const pa = a.to_rgba8();
  auto const pb = b.to_rgba8();
  auto channel = [t](std::uint8_t x, std::uint8_t y) {
    float const c = t * static_cast<float>(y) + (1.0f - t) * static_cast<float>(x);
    float const r = std::clamp(std::round(c), 0.0f, 255.0f);
    return std::isnan(r) ? std::uint8_t{0} : static_cast<std::uint8_t>(r);
  };
  return Color::from_rgba8(channel(pa.r, pb.r), channel(pa.g, pb.g), channel(pa.b, pb.b),
                           channel(pa.a, pb.a));
}

std::optional<Color> parse_hex_color(std::string_view text) {
  while (!text.empty() && text.front() == '#') {
    text.remove_prefix(1);
  }
  if (text.size() != 6) {
    return std::nullopt;
  }
  std::uint8_t bytes[3] = {};
  for (int i = 0; i < 3; ++i) {
    std::string_view pair = text.substr(static_cast<std::size_t>(i) * 2, 2);
    // The integer parser takes a leading "+" as the sign of a positive number.
    if (pair.front() == '+') {
      pair.remove_prefix(1);
    }
    unsigned value = 0;
    auto const [end, ec] = std::from_chars(pair.data(), pair.data() + pair.size(), value, 16);
    if (pair.empty() || ec != std::errc{} || end != pair.data() + pair.size() || value > 255) {
      return std::nullopt;
    }
    bytes[i] = static_cast<std::uint8_t>(value);
  }
  return Color::from_rgba8(bytes[0], bytes[1], bytes[2], 255);
}

DarkTest is_dark_theme(zarn_ui::Theme const& theme) {
  auto const s = theme.surface.to_rgba8();
  double const l = 0.2126 * s.r + 0.7152 * s.g + 0.0722 * s.b;
  return {l < 128.0, l};
}

MapPalette map_palette(zarn_ui::Theme const& theme) {
  Color const S = theme.surface;
  Color const W = colors::WHITE;
  Color const K = colors::BLACK;
  Color const G = theme.success;
  Color const A = theme.warning;
  Color const R = theme.danger;
  Color const B = theme.info;
  Color const C = theme.accent;
  MapPalette p{};
  if (is_dark_theme(theme).dark) {
    p.land = mix_colors(S, K, 0.28f);
    p.building = mix_colors(p.land, W, 0.07f);
    p.building_edge = mix_colors(p.land, W, 0.14f);
    p.park = mix_colors(p.land, G, 0.22f);
    p.park_edge = mix_colors(p.land, G, 0.36f);
    p.water = mix_colors(p.land, B, 0.30f);
    p.minor_road = mix_colors(p.land, W, 0.22f);
    p.road_casing = mix_colors(p.land, K, 0.50f);
    p.major_road = mix_colors(p.land, A, 0.34f);
    p.highway = mix_colors(p.land, A, 0.52f);
    p.route_casing = mix_colors(C, K, 0.45f);
    p.marker_halo = mix_colors(p.land, W, 0.90f);
    p.placeholder = mix_colors(p.land, K, 0.18f);
    p.traffic_casing = mix_colors(p.land, W, 0.22f);
  } else {
    p.land = mix_colors(S, W, 0.94f);
    p.building = mix_colors(p.land, K, 0.10f);
    p.building_edge = mix_colors(p.land, K, 0.20f);
    p.park = mix_colors(W, G, 0.30f);
    p.park_edge = mix_colors(W, G, 0.45f);
    p.water = mix_colors(W, B, 0.34f);
    p.minor_road = W;
    p.road_casing = mix_colors(p.land, K, 0.16f);
    p.major_road = mix_colors(W, A, 0.28f);
    p.highway = mix_colors(W, A, 0.48f);
    p.route_casing = mix_colors(C, W, 0.50f);
    p.marker_halo = W;
    p.placeholder = mix_colors(p.land, K, 0.05f);
    p.traffic_casing = mix_colors(p.land, K, 0.42f);
  }
  p.route = C;
  p.traffic = {G, A, mix_colors(A, R, 0.55f), R};
  return p;
}

Color category_color(zarn_ui::Theme const& theme, PlaceCategory category) {
  switch (category) {
  case PlaceCategory::Landmark:
    return theme.danger;
  case PlaceCategory::Cafe:
    return theme.warning;
  case PlaceCategory::Restaurant:
    return mix_colors(theme.danger, theme.warning, 0.5f);
  case PlaceCategory::Bar:
    return theme.tint_2;
  case PlaceCategory::Museum:
    return theme.info;
  case PlaceCategory::Park:
    return theme.success;
  case PlaceCategory::Transit:
    return theme.tint_1;
  case PlaceCategory::Hotel:
    return theme.tint_3;
  case PlaceCategory::Shop:
    return theme.warning;
  case PlaceCategory::Hospital:
    return theme.danger;
  case PlaceCategory::Other:
    break;
  }
  return theme.neutral;
}

Color leg_mode_color(zarn_ui::Theme const& theme, LegMode mode) {
  switch (mode) {
  case LegMode::Walk:
    return theme.overlay_text_muted;
  case LegMode::Bus:
    return theme.info;
  case LegMode::Tram:
    return theme.danger;
  case LegMode::Subway:
    return theme.accent;
  case LegMode::Rail:
    return theme.success;
  case LegMode::Ferry:
    break;
  }
  return theme.tint_2;
}

Color leg_color(zarn_ui::Theme const& theme, TransitLeg const& leg) {
  if (leg.color) {
    if (auto parsed = parse_hex_color(*leg.color)) {
      return *parsed;
    }
  }
  return leg_mode_color(theme, leg.mode);
}

} // namespace maps
