#include "draw/place_pins.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "base/saturate.h"
#include "geo/clusters.h"
#include "geo/geo.h"

namespace maps {

namespace {

using zarn_ui::Theme;

constexpr Color PIN_SHADOW{0.0f, 0.0f, 0.0f, 0.28f};
constexpr int PIN_ARC_STEPS = 32;
constexpr double PIN_TILE = 256.0;
constexpr float BADGE_TEXT = 9.5f;
constexpr double BADGE_HEIGHT = 14.0;
/// What an unselected pin with its badge may cover, relative to its tip.
constexpr Rect PIN_FOOTPRINT{-11.0, -42.0, 28.0, 4.0};
/// What an unselected pin without its badge covers (outline, halo and shadow), relative to its tip.
constexpr Rect PIN_SPRITE{-11.0, -33.0, 11.0, 4.0};

/// Colours the pins are painted in: one per category, then halo, badge fill, badge text.
using PinColors = std::array<Color, PLACE_CATEGORY_NAMES.size() + 3>;

PinColors pin_colors(Theme const& theme, MapPalette const& palette) {
  PinColors colors{};
  for (std::size_t k = 0; k < PLACE_CATEGORY_NAMES.size(); ++k) {
    colors[k] = category_color(theme, static_cast<PlaceCategory>(k));
  }
  colors[PLACE_CATEGORY_NAMES.size()] = palette.marker_halo;
  colors[PLACE_CATEGORY_NAMES.size() + 1] = theme.accent;
  colors[PLACE_CATEGORY_NAMES.size() + 2] = theme.on_accent;
  return colors;
}

std::uint64_t colors_hash(PinColors const& colors) {
  static_assert(std::is_trivially_copyable_v<PinColors>);
  return detail::fnv1a(colors.data(), sizeof colors);
}

std::int64_t tile_of(double v) {
  return base::saturating_cast<std::int64_t>(std::floor(v / PIN_TILE));
}

std::uint64_t tile_key(std::int64_t c, std::int64_t r) {
  return (static_cast<std::uint64_t>(c) << 32) ^ (static_cast<std::uint64_t>(r) & 0xffffffffu);
}

std::string badge_text(std::uint32_t count) {
  return count > PIN_BADGE_MAX ? fmt::format("{}+", PIN_BADGE_MAX) : fmt::format("{}", count);
}

/// The count badge at the pin head's upper right.
Rect badge_rect(Point tip, double label_width) {
  double const w = std::max(BADGE_HEIGHT, label_width + 8.0);
  double const cx = tip.x + 6.0 + w / 2.0;
  double const cy = tip.y - 30.0;
  return Rect{cx - w / 2.0, cy - BADGE_HEIGHT / 2.0, cx + w / 2.0, cy + BADGE_HEIGHT / 2.0};
}

/// The sprite keys of the unselected pins, one per category: everything a sprite's pixels
/// depend on besides the device scale, which the renderer adds.
using SpriteKeys = std::remove_cvref_t<decltype(*PinLayer::sprite_keys)>;

SpriteKeys sprite_keys(PinColors const& colors) {
  auto const hex = [](Color k) {
    auto const v = k.to_rgba8();
    return fmt::format("{:02x}{:02x}{:02x}{:02x}", v.r, v.g, v.b, v.a);
  };
  SpriteKeys keys;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    keys[k] = fmt::format("pin|{}|{}", hex(colors[k]), hex(colors[PLACE_CATEGORY_NAMES.size()]));
  }
  return keys;
}

/// An unselected pin as a sprite: drawn once per colour and device scale and copied after that,
/// which costs a small fraction of stroking and filling its outline again. With its tip on a
/// whole pixel every pin of a colour finds the same pixels.
void pin_sprite(Scene& scene, Affine const& t, std::string const& key, MapPalette const& palette,
                Point tip, Color c) {
  scene.cached_tile(
      key, PIN_SPRITE, t * Affine::translate(tip.x, tip.y),
      [palette, c](Scene& out) { // the sprite's own coordinates start at its corner
        draw_pin(out, Affine::identity(), palette, Point{-PIN_SPRITE.x0, -PIN_SPRITE.y0}, c, false);
      });
}

/// One unselected pin of the set, with its badge when it stands for several places; the pin
/// itself as a sprite when `sprites` are given. The tip moves to the nearest whole pixel, so
/// that pins look the same drawn either way.
void paint_set_pin(Scene& scene, Affine const& t, PinSet const& set, PlacePin const& pin,
                   Point exact_tip, PinColors const& colors, MapPalette const& palette,
                   SpriteKeys const* sprites) {
  Point const tip{std::round(exact_tip.x), std::round(exact_tip.y)};
  auto const k = static_cast<std::size_t>(pin.category);
  if (sprites != nullptr) {
    pin_sprite(scene, t, (*sprites)[k], palette, tip, colors[k]);
  } else {
    draw_pin(scene, t, palette, tip, colors[k], false);
  }
  if (pin.count < 2) {
    return;
  }
  auto const badge = set.badges.find(pin.count);
  if (badge == set.badges.end()) {
    return;
  }
  Rect const r = badge_rect(tip, badge->second.width);
  fill_rounded_rect(scene, t, r, BADGE_HEIGHT / 2.0, colors[PLACE_CATEGORY_NAMES.size() + 1]);
  stroke_rounded_rect(scene, t, r, BADGE_HEIGHT / 2.0, colors[PLACE_CATEGORY_NAMES.size()], 1.2);
  zarn_ui::TextCmd label = badge->second.label;
  label.color = colors[PLACE_CATEGORY_NAMES.size() + 2];
  double const line = 1.25 * static_cast<double>(BADGE_TEXT);
  label.transform =
      t * Affine::translate((r.x0 + r.x1 - badge->second.width) / 2.0, (r.y0 + r.y1 - line) / 2.0);
  scene.push_text(std::move(label));
}

std::shared_ptr<PinSet const> make_pin_set(TextRenderer const& text, MapModel const& model,
                                           std::vector<std::size_t> const& index, double zoom,
                                           std::uint64_t version) {
  auto set = std::make_shared<PinSet>();
  set->zoom = zoom;
  set->version = version;
  std::vector<Point> world;
  world.reserve(index.size());
  for (std::size_t const i : index) {
    WorldPx const w = project_mercator(model.places[i].pos.lat, model.places[i].pos.lon, zoom);
    world.push_back(Point{w.x, w.y});
  }
  for (PointCluster const& c : cluster_points(world, PIN_SPACING)) {
    std::size_t const place = index[c.first];
    auto const n = static_cast<std::uint32_t>(set->pins.size());
    set->pins.push_back(PlacePin{c.at.x, c.at.y, place, model.places[place].category, c.count});
    for (std::int64_t r = tile_of(c.at.y + PIN_FOOTPRINT.y0);
         r <= tile_of(c.at.y + PIN_FOOTPRINT.y1); ++r) {
      for (std::int64_t col = tile_of(c.at.x + PIN_FOOTPRINT.x0);
           col <= tile_of(c.at.x + PIN_FOOTPRINT.x1); ++col) {
        set->tiles[tile_key(col, r)].push_back(n);
      }
    }
    if (c.count >= 2 && !set->badges.contains(c.count)) {
      std::string const label = badge_text(c.count);
      Scene scratch;
      text.draw_text_weighted(scratch, label, BADGE_TEXT, zarn_ui::colors::WHITE,
                              Affine::identity(), 2);
      if (!scratch.commands.empty()) {
        set->badges.emplace(
            c.count, PinBadge{std::get<zarn_ui::TextCmd>(scratch.commands.front()),
                              static_cast<double>(text.measure_weighted(label, BADGE_TEXT, 2))});
      }
    }
  }
  return set;
}

} // namespace

void draw_pin(Scene& scene, Affine const& t, MapPalette const& palette, Point tip, Color c,
              bool selected) {
  double const big_r = selected ? 11.0 : 8.0;
  double const h = selected ? 30.0 : 22.0;
  Point const head{tip.x, tip.y - h};

  scene.fill(zarn_ui::FillRule::NonZero, t, PIN_SHADOW,
             zarn_ui::Ellipse{tip, 0.62 * big_r, 0.24 * big_r});
  if (selected) {
    fill_circle(scene, t, head.x, head.y, 17.0, c.multiply_alpha(0.2f));
  }

  double const theta = std::acos(std::clamp(big_r / h, -1.0, 1.0));
  double const start = std::numbers::pi / 2.0 - theta;
  double const sweep = 2.0 * std::numbers::pi - 2.0 * theta;
  auto circle_point = [&](double angle) {
    return Point{head.x + big_r * std::cos(angle), head.y + big_r * std::sin(angle)};
  };
  zarn_ui::BezPath outline;
  outline.reserve(PIN_ARC_STEPS + 4);
  outline.move_to(tip);
  outline.line_to(circle_point(start));
  for (int k = 1; k <= PIN_ARC_STEPS; ++k) {
    outline.line_to(circle_point(start - k * sweep / PIN_ARC_STEPS));
  }
  outline.line_to(tip);
  outline.close_path();

  stroke_path(scene, t, outline, palette.marker_halo, selected ? 3.0 : 2.4);
  fill_path(scene, t, std::move(outline), c);
  fill_circle(scene, t, head.x, head.y, 0.4 * big_r, palette.marker_halo);
  fill_circle(scene, t, head.x, head.y, 0.2 * big_r, c.multiply_alpha(0.9f));
}

std::shared_ptr<PinSet const> const& place_pin_set(PinLayer& layer, TextRenderer const& text,
                                                   MapModel const& model, double zoom) {
  // Copying positions and categories and comparing them costs far less than one pin drawn, so
  // every frame checks whether the places changed.
  std::vector<PinSource> sources;
  std::vector<std::size_t> index;
  sources.reserve(model.places.size());
  index.reserve(model.places.size());
  for (std::size_t i = 0; i < model.places.size(); ++i) {
    Place const& place = model.places[i];
    if (model.selected && place.id == *model.selected) {
      continue;
    }
    sources.push_back(PinSource{place.pos.lat, place.pos.lon, place.category});
    index.push_back(i);
  }
  if (sources != layer.sources) {
    layer.sources = std::move(sources);
    ++layer.version;
  }
  float const text_size = text.line_height(BADGE_TEXT);
  if (!layer.set || layer.set->version != layer.version || layer.set->zoom != zoom ||
      layer.badge_text_size != text_size) {
    layer.set = make_pin_set(text, model, index, zoom, layer.version);
    layer.badge_text_size = text_size;
  }
  return layer.set;
}

void draw_place_pins(Scene& scene, Affine const& t, TextRenderer const& text,
                     MapProjection const& projection, MapModel const& model, Theme const& theme,
                     MapPalette const& palette, Rect const& map_area, MapRaster* raster) {
  double const zoom = projection.zoom;
  if (!std::isfinite(zoom)) {
    return;
  }
  PinLayer scratch;
  PinLayer& layer = raster != nullptr ? raster->pins : scratch;
  std::shared_ptr<PinSet const> const set = place_pin_set(layer, text, model, zoom);
  if (set->pins.empty()) {
    return;
  }
  PinColors const colors = pin_colors(theme, palette);

  if (raster == nullptr || !raster->enabled) {
    for (PlacePin const& pin : set->pins) {
      if (pin.place >= model.places.size()) {
        continue;
      }
      LatLon const pos = model.places[pin.place].pos;
      Point const tip = project_point(projection, pos.lat, pos.lon);
      if (map_area.contains(tip)) {
        paint_set_pin(scene, t, *set, pin, tip, colors, palette, nullptr);
      }
    }
    return;
  }

  // The view's corner on whole pixels: a pin may sit up to half a pixel off the map, but a view
  // moved by a fraction of a pixel reuses the tiles instead of painting them again at a new
  // offset.
  double const left = std::round(projection.world_x - projection.screen_x);
  double const top = std::round(projection.world_y - projection.screen_y);
  std::uint64_t const colors_key = colors_hash(colors);
  if (!layer.sprite_keys || layer.sprite_colors != colors_key) {
    layer.sprite_keys = std::make_shared<SpriteKeys const>(sprite_keys(colors));
    layer.sprite_colors = colors_key;
  }
  std::shared_ptr<SpriteKeys const> const sprites = layer.sprite_keys;
  // While the zoom changes, and in the first frame at a zoom, each pin's sprite is copied: a
  // fraction of the pixels of the tiles, and no memory for them. At a steady zoom the pins come
  // in tiles, so that panning paints only the tiles it uncovers and a frame at rest repeats a
  // few dozen commands however many pins show.
  if (!raster->zoom_steady) {
    for (PlacePin const& pin : set->pins) {
      Point const tip{pin.world_x - left, pin.world_y - top};
      if (tip.x + PIN_FOOTPRINT.x1 >= map_area.x0 && tip.x + PIN_FOOTPRINT.x0 <= map_area.x1 &&
          tip.y + PIN_FOOTPRINT.y1 >= map_area.y0 && tip.y + PIN_FOOTPRINT.y0 <= map_area.y1) {
        paint_set_pin(scene, t, *set, pin, tip, colors, palette, sprites.get());
      }
    }
    return;
  }

  std::string const base_key =
      fmt::format("place-pins|{}|{}|{:x}|{}", zoom, set->version, colors_key,
                  layer.badge_text_size); // the badges follow the text scale
  for (std::int64_t r = tile_of(top + map_area.y0); r <= tile_of(top + map_area.y1); ++r) {
    for (std::int64_t c = tile_of(left + map_area.x0); c <= tile_of(left + map_area.x1); ++c) {
      auto const it = set->tiles.find(tile_key(c, r));
      if (it == set->tiles.end()) {
        continue;
      }
      double const wx = static_cast<double>(c) * PIN_TILE;
      double const wy = static_cast<double>(r) * PIN_TILE;
      Rect const rect{wx - left, wy - top, wx - left + PIN_TILE, wy - top + PIN_TILE};
      std::vector<std::uint32_t> const* members = &it->second;
      scene.cached_tile(fmt::format("{}|{}/{}", base_key, c, r), rect, t,
                        [set, members, colors, palette, sprites, wx, wy](Scene& out) {
                          for (std::uint32_t const n : *members) {
                            PlacePin const& pin = set->pins[n];
                            paint_set_pin(out, Affine::identity(), *set, pin,
                                          Point{pin.world_x - wx, pin.world_y - wy}, colors,
                                          palette, sprites.get());
                          }
                        });
    }
  }
}

} // namespace maps
