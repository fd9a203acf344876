#include "draw/markers.h"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "scene_probe.h"

namespace maps {
namespace {

using probe::fills_of;
using probe::strokes_of;
using probe::texts_of;
using zarn_ui::BezPath;
using zarn_ui::Circle;
using zarn_ui::Theme;

constexpr double CX = 400.0;
constexpr double CY = 300.0;

MapProjection projection_at(double zoom) {
  return MapProjection::make(48.1371, 11.5754, zoom, CX, CY);
}

Poi poi_at(MapProjection const& p, std::string id, double x, double y, PlaceCategory category) {
  Poi poi;
  poi.id = id;
  poi.name = "Name " + id;
  poi.pos = unproject_point(p, x, y);
  poi.category = category;
  return poi;
}

Place place_at(MapProjection const& p, std::string id, double x, double y) {
  LatLon const pos = unproject_point(p, x, y);
  return new_place(id, "Place " + id, PlaceCategory::Museum, pos.lat, pos.lon, "");
}

TEST(MarkerChoice, SpacingPriorityAndSelection) {
  using C = PlaceCategory;
  struct Case {
    char const* what;
    double zoom;
    double apart; // pixels between the two points
    C a, b;
    char const* selected;
    std::vector<std::size_t> expected;
  } const cases[] = {
      {"far zoom keeps both, priority first", 15.0, 20.0, C::Cafe, C::Museum, nullptr, {1, 0}},
      {"just below 16 still uses 15 px", 15.99, 20.0, C::Cafe, C::Museum, nullptr, {1, 0}},
      {"zoom 16 keeps the higher priority", 16.0, 20.0, C::Cafe, C::Museum, nullptr, {1}},
      {"equal priority keeps the earlier", 16.0, 20.0, C::Cafe, C::Bar, nullptr, {0}},
      {"selected beats priority", 16.0, 20.0, C::Museum, C::Shop, "b", {1}},
      {"selected comes first even when both fit", 16.0, 40.0, C::Museum, C::Shop, "b", {1, 0}},
      {"a little over the spacing is kept", 16.0, 26.01, C::Cafe, C::Bar, nullptr, {0, 1}},
      {"a little under the spacing is not", 16.0, 25.99, C::Cafe, C::Bar, nullptr, {0}},
      {"far zoom spacing edge", 15.0, 14.99, C::Cafe, C::Bar, nullptr, {0}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    auto const p = projection_at(c.zoom);
    std::vector<Poi> const pois = {poi_at(p, "a", CX, CY, c.a),
                                   poi_at(p, "b", CX + c.apart, CY, c.b)};
    std::optional<std::string> const selected =
        c.selected ? std::optional<std::string>(c.selected) : std::nullopt;
    EXPECT_EQ(choose_visible_pois(pois, selected, p, c.zoom), c.expected);
  }
}

TEST(MarkerChoice, OrdersByPriorityThenIndexAndIgnoresTheMapArea) {
  auto const p = projection_at(17.0);
  std::vector<Poi> const pois = {
      poi_at(p, "shop", CX, CY, PlaceCategory::Shop),
      poi_at(p, "park", CX + 100, CY, PlaceCategory::Park),
      poi_at(p, "stop", CX + 200, CY, PlaceCategory::Transit),
      poi_at(p, "land", CX + 300, CY, PlaceCategory::Landmark),
      poi_at(p, "far", CX - 100000, CY, PlaceCategory::Other), // far off any screen
  };
  EXPECT_EQ(choose_visible_pois(pois, "park", p, 17.0), (std::vector<std::size_t>{1, 2, 3, 0, 4}));
  EXPECT_TRUE(choose_visible_pois({}, std::nullopt, p, 17.0).empty());
}

TEST(MarkerChoice, PointWithoutScreenPositionDoesNotHideTheOthers) {
  auto const p = projection_at(16.0);
  double const nan = std::numeric_limits<double>::quiet_NaN();
  Poi broken = poi_at(p, "broken", CX, CY, PlaceCategory::Landmark);
  broken.pos = LatLon{nan, nan};
  std::vector<Poi> const pois = {broken, poi_at(p, "a", CX, CY, PlaceCategory::Cafe),
                                 poi_at(p, "b", CX + 100, CY, PlaceCategory::Cafe)};
  EXPECT_EQ(choose_visible_pois(pois, std::nullopt, p, 16.0), (std::vector<std::size_t>{1, 2}));
}

class MarkerDrawing : public ::testing::Test {
protected:
  Theme theme = Theme::light();
  MapPalette palette = map_palette(theme);
  TextRenderer text;
  Rect area{0, 0, 800, 600};
  Scene scene;

  /// Radii of discs filled in the category's colour (the marker bodies).
  std::vector<double> body_radii(PlaceCategory category) const {
    std::vector<double> out;
    for (auto const& f : fills_of<Circle>(scene)) {
      if (f.color == category_color(theme, category)) {
        out.push_back(f.shape.radius);
      }
    }
    return out;
  }
};

TEST_F(MarkerDrawing, PictogramsFromZoom16LabelsFrom16Point5SelectedAlwaysLabelled) {
  struct Case {
    double zoom;
    double unselected_r, selected_r;
    bool glyphs;
    std::vector<std::string> texts;
  } const cases[] = {
      {15.5, 4.5, 8.5, false, {"Name sel"}},
      {16.2, 9.0, 13.0, true, {"Name sel"}},
      {16.7, 9.0, 13.0, true, {"Name plain", "Name sel"}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.zoom);
    scene.reset();
    auto const p = projection_at(c.zoom);
    // The selected one is listed first: it must still be painted last, over the others.
    std::vector<Poi> const pois = {poi_at(p, "sel", CX + 200, CY, PlaceCategory::Hotel),
                                   poi_at(p, "plain", CX, CY, PlaceCategory::Museum)};
    auto const chosen = choose_visible_pois(pois, "sel", p, c.zoom);
    draw_pois(scene, Affine::identity(), text, p, pois, chosen, "sel", theme, palette, area);

    EXPECT_TRUE(probe::layers_balanced(scene));
    ASSERT_TRUE(std::holds_alternative<zarn_ui::PushLayerCmd>(scene.commands.front()));
    EXPECT_EQ(body_radii(PlaceCategory::Museum), std::vector<double>{c.unselected_r});
    auto const hotel = body_radii(PlaceCategory::Hotel);
    ASSERT_FALSE(hotel.empty());
    EXPECT_EQ(hotel.front(), c.selected_r);
    EXPECT_EQ(texts_of(scene), c.texts);

    // The museum pictogram's temple roof is a polygon in the halo colour.
    bool roof = false;
    for (auto const& f : fills_of<BezPath>(scene)) {
      roof = roof || f.color == palette.marker_halo;
    }
    EXPECT_EQ(roof, c.glyphs);

    // Only the selected marker has the outer ring, 4 px out, width 2, half transparent.
    auto const rings = strokes_of<Circle>(scene);
    int outer = 0;
    for (auto const& r : rings) {
      if (r.shape.radius == c.selected_r + 4.0) {
        ++outer;
        EXPECT_EQ(r.width, 2.0);
        EXPECT_FLOAT_EQ(r.color.a, category_color(theme, PlaceCategory::Hotel).a * 0.5f);
      }
    }
    EXPECT_EQ(outer, 1);
  }
}

TEST_F(MarkerDrawing, LabelsThatWouldLeaveTheMapAreaAreDroppedButMarkersStay) {
  struct Case {
    char const* what;
    double x, y;
    bool label;
  } const cases[] = {
      {"well inside", 400, 300, true},
      {"right edge", 795, 300, false},
      {"top edge", 400, 3, false},
      {"bottom edge: drawn and clipped", 400, 598, true},
  };
  auto const p = projection_at(17.0);
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    scene.reset();
    std::vector<Poi> const pois = {poi_at(p, "x", c.x, c.y, PlaceCategory::Cafe)};
    std::vector<std::size_t> const chosen = {0};
    draw_pois(scene, Affine::identity(), text, p, pois, chosen, std::nullopt, theme, palette, area);
    EXPECT_EQ(body_radii(PlaceCategory::Cafe).size(), 1u);
    EXPECT_EQ(texts_of(scene).size(), c.label ? 1u : 0u);
  }
}

TEST_F(MarkerDrawing, OutsideTheAreaAndBadIndicesDrawNothing) {
  auto const p = projection_at(17.0);
  std::vector<Poi> const pois = {poi_at(p, "out", 900, 300, PlaceCategory::Cafe),
                                 poi_at(p, "sel", -5, 300, PlaceCategory::Cafe)};
  std::vector<std::size_t> const chosen = {0, 1, 7};
  draw_pois(scene, Affine::identity(), text, p, pois, chosen, "sel", theme, palette, area);
  // Only the clip layer itself.
  ASSERT_EQ(scene.commands.size(), 2u);
  EXPECT_TRUE(probe::layers_balanced(scene));
}

TEST_F(MarkerDrawing, PlacesOriginPinsAndCallout) {
  auto const p = projection_at(15.0);
  MapModel model;
  model.places = {place_at(p, "a", 300, 300), place_at(p, "sel", 400, 300),
                  place_at(p, "b", 500, 300), place_at(p, "out", 1000, 300)};
  model.selected = "sel";
  model.origin = unproject_point(p, 200, 200);
  draw_places(scene, Affine::identity(), text, p, model, theme, palette, area);
  EXPECT_TRUE(probe::layers_balanced(scene));

  auto const discs = fills_of<Circle>(scene);
  // Origin marker first: shadow one pixel lower, surface disc, accent ring and centre.
  ASSERT_GE(discs.size(), 3u);
  struct Disc {
    double dy, radius;
  } const origin[] = {{1.0, 6.5}, {0.0, 6.0}, {0.0, 2.2}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(discs[i].shape.center.x, 200, 1e-6);
    EXPECT_NEAR(discs[i].shape.center.y, 200 + origin[i].dy, 1e-6);
    EXPECT_EQ(discs[i].shape.radius, origin[i].radius);
  }
  EXPECT_FLOAT_EQ(discs[0].color.a, 60.0f / 255.0f);
  EXPECT_EQ(discs[1].color, theme.surface);
  EXPECT_EQ(discs[2].color, theme.accent);

  // Pin heads: halo discs of 0.4 R; the two unselected pins (R 8) before the selected (R 11).
  std::vector<double> heads;
  for (auto const& d : discs) {
    if (d.color == palette.marker_halo) {
      heads.push_back(d.shape.radius);
    }
  }
  EXPECT_EQ(heads, (std::vector<double>{0.4 * 8, 0.4 * 8, 0.4 * 11}));

  // The selected pin's halo and head centre stand 30 px above its tip.
  bool halo = false;
  for (auto const& d : discs) {
    halo = halo || (d.shape.radius == 17.0 && std::abs(d.shape.center.x - 400) < 1e-6 &&
                    std::abs(d.shape.center.y - 270) < 1e-6);
  }
  EXPECT_TRUE(halo);

  auto const texts = probe::commands_of<zarn_ui::TextCmd>(scene);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, "Place sel");
  EXPECT_EQ(texts[0].weight, 2);
  double const tw = measure_text(text, "Place sel", 12.0f);
  EXPECT_NEAR(texts[0].transform.e, 400 - (tw + 14) / 2 + 7, 1e-9);
  EXPECT_NEAR(texts[0].transform.f, 300 - 56 + 4, 1e-9);
}

TEST_F(MarkerDrawing, PinOutlineLeavesTheTipAlongTangents) {
  auto const p = projection_at(15.0);
  MapModel model;
  model.places = {place_at(p, "a", 300, 300)};
  draw_places(scene, Affine::identity(), text, p, model, theme, palette, area);
  auto const outlines = strokes_of<BezPath>(scene);
  ASSERT_EQ(outlines.size(), 1u);
  EXPECT_EQ(outlines[0].width, 2.4);
  auto const& els = outlines[0].shape.elements();
  ASSERT_EQ(els.size(), 36u); // tip, 33 circle points, tip, close
  Point const tip{300, 300};
  Point const head{300, 278};
  EXPECT_EQ(els.front().p[0], tip);
  EXPECT_EQ(els[els.size() - 2].p[0], tip);
  for (std::size_t i : {std::size_t{1}, std::size_t{33}}) {
    Point const q = els[i].p[0];
    EXPECT_NEAR(std::hypot(q.x - head.x, q.y - head.y), 8.0, 1e-9);
    // Tangent: the radius meets the line from the tip at a right angle.
    double const dot = (q.x - head.x) * (q.x - tip.x) + (q.y - head.y) * (q.y - tip.y);
    EXPECT_NEAR(dot, 0.0, 1e-9);
  }
  // The fill follows its stroke.
  auto const fills = fills_of<BezPath>(scene);
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_GT(fills[0].index, outlines[0].index);
}

TEST_F(MarkerDrawing, CalloutThatWouldLeaveTheAreaIsDroppedButThePinStays) {
  auto const p = projection_at(15.0);
  MapModel model;
  model.places = {place_at(p, "sel", 5, 300)};
  model.selected = "sel";
  draw_places(scene, Affine::identity(), text, p, model, theme, palette, area);
  EXPECT_TRUE(texts_of(scene).empty());
  EXPECT_EQ(strokes_of<BezPath>(scene).size(), 1u);
  EXPECT_EQ(strokes_of<BezPath>(scene)[0].width, 3.0);
}

TEST_F(MarkerDrawing, CrowdedPinsMergeIntoOneWithACountBadge) {
  auto const p = projection_at(15.0);
  struct Case {
    char const* what;
    std::vector<Point> tips;
    char const* selected;
    std::vector<std::string> badges; // texts besides the selected callout
    std::size_t pins;
  } const cases[] = {
      {"apart", {{300, 300}, {340, 300}}, nullptr, {}, 2},
      {"three in a crowd, one apart",
       {{300, 300}, {305, 302}, {310, 300}, {500, 300}},
       nullptr,
       {"3"},
       2},
      {"the selected pin stays out of the crowd",
       {{300, 300}, {305, 300}, {310, 300}},
       "p1",
       {"2"},
       2},
      {"a large crowd", std::vector<Point>(150, Point{300, 300}), nullptr, {"99+"}, 1},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    MapModel model;
    for (std::size_t i = 0; i < c.tips.size(); ++i) {
      model.places.push_back(place_at(p, "p" + std::to_string(i), c.tips[i].x, c.tips[i].y));
    }
    if (c.selected != nullptr) {
      model.selected = c.selected;
    }
    scene.reset();
    draw_places(scene, Affine::identity(), text, p, model, theme, palette, area);
    EXPECT_EQ(strokes_of<BezPath>(scene).size(), c.pins);
    std::vector<std::string> badges;
    for (auto const& t : probe::commands_of<zarn_ui::TextCmd>(scene)) {
      if (t.text.rfind("Place ", 0) != 0) {
        badges.push_back(t.text);
      }
    }
    EXPECT_EQ(badges, c.badges);
  }
}

TEST(CategoryGlyph, EveryPictogramStaysInsideItsSize) {
  Color const fg = zarn_ui::colors::WHITE;
  Color const bg{0.2f, 0.3f, 0.4f, 1.0f};
  for (std::size_t k = 0; k < PLACE_CATEGORY_NAMES.size(); ++k) {
    auto const category = static_cast<PlaceCategory>(k);
    SCOPED_TRACE(PLACE_CATEGORY_NAMES[k]);
    for (double size : {9.0, 13.0}) {
      Scene scene;
      draw_category_glyph(scene, Affine::identity(), 50, 50, size, fg, bg, category);
      ASSERT_FALSE(scene.empty());
      double const s = 0.58 * size;
      double const lw = std::max(0.16 * size, 1.4);
      double const reach = s + lw; // the widest pictogram is the cross, s each way
      Rect bounds{50, 50, 50, 50};
      auto grow = [&](Rect r) { bounds = bounds.union_with(r); };
      int background_parts = 0;
      for (auto const& cmd : scene.commands) {
        std::visit(
            [&](auto const& c) {
              using T = std::decay_t<decltype(c)>;
              if constexpr (std::is_same_v<T, zarn_ui::FillCmd> ||
                            std::is_same_v<T, zarn_ui::StrokeCmd>) {
                double pad = 0.0;
                if constexpr (std::is_same_v<T, zarn_ui::StrokeCmd>) {
                  pad = c.style.width / 2;
                }
                background_parts += c.color == bg ? 1 : 0;
                if (auto const* ci = std::get_if<Circle>(&c.shape)) {
                  grow(Rect{ci->center.x, ci->center.y, ci->center.x, ci->center.y}.inflate(
                      ci->radius + pad, ci->radius + pad));
                } else if (auto const* l = std::get_if<zarn_ui::Line>(&c.shape)) {
                  grow(Rect::from_points(l->p0, l->p1).inflate(pad, pad));
                } else if (auto const* rr = std::get_if<zarn_ui::RoundedRect>(&c.shape)) {
                  grow(rr->rect);
                } else if (auto const* path = std::get_if<BezPath>(&c.shape)) {
                  for (auto const& el : path->elements()) {
                    if (el.verb != zarn_ui::PathVerb::ClosePath) {
                      grow(Rect{el.p[0].x, el.p[0].y, el.p[0].x, el.p[0].y});
                    }
                  }
                }
              }
            },
            cmd);
      }
      EXPECT_GE(bounds.x0, 50 - reach - 1e-9);
      EXPECT_LE(bounds.x1, 50 + reach + 1e-9);
      EXPECT_GE(bounds.y0, 50 - reach - 1e-9);
      EXPECT_LE(bounds.y1, 50 + reach + 1e-9);
      // Only the transit vehicle cuts out details (its two windows).
      EXPECT_EQ(background_parts, category == PlaceCategory::Transit ? 2 : 0);
    }
  }
}

TEST(CategoryGlyph, StarAlternatesOuterAndInnerPoints) {
  Scene scene;
  draw_category_glyph(scene, Affine::identity(), 0, 0, 10, zarn_ui::colors::WHITE,
                      zarn_ui::colors::BLACK, PlaceCategory::Landmark);
  auto const star = fills_of<BezPath>(scene);
  ASSERT_EQ(star.size(), 1u);
  std::vector<Point> vertices;
  for (auto const& el : star[0].shape.elements()) {
    if (el.verb != zarn_ui::PathVerb::ClosePath) {
      vertices.push_back(el.p[0]);
    }
  }
  ASSERT_EQ(vertices.size(), 10u);
  EXPECT_NEAR(vertices[0].x, 0.0, 1e-12); // the first point straight up
  EXPECT_NEAR(vertices[0].y, -5.8, 1e-12);
  for (std::size_t i = 0; i < vertices.size(); ++i) {
    EXPECT_NEAR(std::hypot(vertices[i].x, vertices[i].y), i % 2 == 0 ? 5.8 : 0.45 * 5.8, 1e-12);
  }
}

} // namespace
} // namespace maps
