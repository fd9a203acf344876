#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/map_controls.h"
#include "app/maps_app.h"
#include "draw/chrome_draw.h"
#include "draw/search_box_draw.h"
#include "input/semantics.h"
#include "model/ops.h"
#include "platform/render/offscreen.h"
#include "platform/theme/theme.h"
#include "scene_probe.h"
#include "tiles/tile_cache.h"
#include "ui/palette.h"

namespace maps {
namespace {

using A = UiAction;
using zarn_ui::Theme;

Place place(std::string id, std::string name, double lat, double lon) {
  Place p;
  p.id = std::move(id);
  p.name = std::move(name);
  p.address = "Some street 1, München";
  p.pos = {lat, lon};
  return p;
}

Poi poi(std::string id) {
  Poi p;
  p.id = std::move(id);
  p.name = "Café Frischhut";
  p.pos = {48.135, 11.574};
  p.category = PlaceCategory::Cafe;
  return p;
}

/// Rectangles of the rounded-rectangle fills and strokes of one colour, in recording order.
std::vector<Rect> rounded_rects(Scene const& scene, Color color, bool strokes = false) {
  std::vector<Rect> out;
  for (auto const& cmd : scene.commands) {
    Color c;
    zarn_ui::Shape const* shape = nullptr;
    if (auto const* f = std::get_if<zarn_ui::FillCmd>(&cmd); f && !strokes) {
      c = f->color;
      shape = &f->shape;
    } else if (auto const* s = std::get_if<zarn_ui::StrokeCmd>(&cmd); s && strokes) {
      c = s->color;
      shape = &s->shape;
    }
    if (shape != nullptr && c == color) {
      if (auto const* rr = std::get_if<zarn_ui::RoundedRect>(shape)) {
        out.push_back(rr->rect);
      }
    }
  }
  return out;
}

zarn_ui::TextCmd const* find_text(Scene const& scene, std::string_view s) {
  for (auto const& cmd : scene.commands) {
    if (auto const* t = std::get_if<zarn_ui::TextCmd>(&cmd); t && t->text == s) {
      return t;
    }
  }
  return nullptr;
}

class Chrome : public ::testing::Test {
protected:
  Chrome()
      : app(build_maps_app(default_map_model(), StreetNetwork{}, offline_tile_cache(), false,
                           false)) {
    resize(1280.0, 800.0);
  }

  void resize(double w, double h) {
    app.window_rect_ = Rect{0.0, 0.0, w, h};
    app.map_rect = app.window_rect_;
  }

  /// One frame of chrome as the frame drawing does it: hit targets emptied first.
  Scene draw() {
    Scene scene;
    app.hit_targets.clear();
    app.endpoints.hits.clear();
    draw_map_chrome(app, scene, Affine::identity(), text, theme);
    return scene;
  }

  void type_query(std::string query, std::size_t suggestions) {
    app.model.query = std::move(query);
    app.search_box.editing = true;
    std::vector<Place> list;
    for (std::size_t i = 0; i < suggestions; ++i) {
      list.push_back(place("s" + std::to_string(i), "Place " + std::to_string(i), 48.14, 11.58));
    }
    set_search_suggestions(app.search_box, std::move(list));
  }

  MapsApp app;
  TextRenderer text;
  Theme theme = Theme::light();
};

TEST_F(Chrome, TargetsFollowThePaintingOrderWithTheSearchBoxInOneRun) {
  resize(700.0, 800.0); // compact: the navigation toggle is shown
  type_query("caf", 8);
  app.nearby_pois = {poi("osm-node-1"), poi("osm-node-2")};
  app.selected_poi = "osm-node-2";
  draw();

  Rect const bar = app.search_bar_rect();
  Rect const card = poi_card_rect(app, 0);
  double const list_top = bar.y1 + 6.0;
  // The search box's targets stand together after the map view's other floating elements,
  // before the overflow button painted over everything.
  std::vector<HitTarget> expected = {
      {Rect{16, 16, 56, 64}, A::ToggleNavigation{}},
      {card, A::None{}},
      {Rect{card.x1 - 36, card.y0 + 12, card.x1 - 10, card.y0 + 38}, A::ClosePoi{}},
      {Rect{card.x0 + 16, card.y0 + 70, card.x1 - 16, card.y0 + 106}, A::PoiDirections{}},
      {bar, A::Search{SearchItem::field()}},
      {Rect{bar.x1 - 32, bar.y0 + 10, bar.x1 - 10, bar.y1 - 10}, A::Search{SearchItem::clear()}},
      // Never more than six rows, whatever the number of suggestions.
      {Rect{bar.x0, list_top, bar.x1, list_top + 12 + 6 * 46}, A::Search{SearchItem::inert()}},
  };
  for (std::size_t i = 0; i < 6; ++i) {
    double const y = list_top + 6 + 46.0 * static_cast<double>(i);
    expected.push_back({Rect{bar.x0 + 6, y, bar.x1 - 6, y + 44}, A::Search{SearchItem::result(i)}});
  }
  expected.push_back({Rect{700 - 56, 800 - 46, 700 - 16, 800 - 16}, A::Overflow{}});

  ASSERT_EQ(app.hit_targets.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(app.hit_targets[i].action, expected[i].action);
    EXPECT_EQ(app.hit_targets[i].rect, expected[i].rect);
  }
  EXPECT_TRUE(app.search_box.targets.empty()) << "drained between frames";
}

TEST_F(Chrome, EmptyQueryRegistersOnlyTheField) {
  draw();
  ASSERT_EQ(app.hit_targets.size(), 2u);
  EXPECT_EQ(app.hit_targets[0].action, UiAction{A::Search{SearchItem::field()}});
  EXPECT_EQ(app.hit_targets[1].action, UiAction{A::Overflow{}});
  // The placeholder shows in place of the empty query.
  EXPECT_NE(find_text(draw(), "Search places, addresses\xE2\x80\xA6"), nullptr);
}

TEST_F(Chrome, TwoSuggestionsGiveACard104Tall) {
  type_query("odeon", 2);
  draw();
  auto const inert = std::find_if(app.hit_targets.begin(), app.hit_targets.end(), [](auto& h) {
    return h.action == UiAction{A::Search{SearchItem::inert()}};
  });
  ASSERT_NE(inert, app.hit_targets.end());
  EXPECT_DOUBLE_EQ(inert->rect.height(), 104.0);
  // The rows follow the card so that a press on a row wins over it.
  EXPECT_EQ((inert + 1)->action, UiAction{A::Search{SearchItem::result(0)}});
  EXPECT_EQ((inert + 2)->action, UiAction{A::Search{SearchItem::result(1)}});
}

TEST_F(Chrome, SuggestionsHideTheStatusPill) {
  app.model.status = "Locating\xE2\x80\xA6";
  EXPECT_NE(find_text(draw(), app.model.status), nullptr);
  type_query("caf", 1);
  EXPECT_EQ(find_text(draw(), app.model.status), nullptr);
  // A blank query shows no list, so the pill is back.
  app.model.query = "   ";
  EXPECT_NE(find_text(draw(), app.model.status), nullptr);
}

TEST_F(Chrome, TheStatusPillStaysOverTheMapCutToItsRoom) {
  std::string const long_status =
      "Location unavailable \xE2\x80\x94 location portal unavailable: Failed to execute child "
      "process \xE2\x80\x9C"
      "dbus-launch\xE2\x80\x9D (No such file or directory)";
  struct Case {
    char const* name;
    double width;
    bool collapsed;
    bool nav_open;
    std::string status;
    bool shown;
    bool cut;
  } const cases[] = {
      {"wide, long status", 1280, false, false, long_status, true, true},
      {"wide, short status", 1280, false, false, "Locating\xE2\x80\xA6", true, false},
      {"collapsed panel: its stub stays uncovered", 1280, true, false, long_status, true, true},
      {"compact, panel closed", 700, false, false, long_status, true, true},
      {"compact, panel open beside a strip of map", 700, false, true, long_status, true, true},
      {"compact, panel open over the whole width", 400, false, true, long_status, false, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    resize(c.width, 800.0);
    app.panel_collapsed = c.collapsed;
    app.nav_open = c.nav_open;
    set_status(app.model, c.status, StatusKind::Error);
    Scene const scene = draw();
    std::vector<Rect> pills;
    for (Rect const& r : rounded_rects(scene, theme.surface_raised)) {
      if (r.y0 == 74.0 && r.height() == 30.0) {
        pills.push_back(r);
      }
    }
    auto const* painted = probe::find_text_cmd(scene, c.status.substr(0, 8), true);
    if (!c.shown) {
      EXPECT_TRUE(pills.empty());
      continue;
    }
    ASSERT_EQ(pills.size(), 1u);
    Rect const pill = pills[0];
    EXPECT_LE(pill.width(), STATUS_PILL_MAX_WIDTH);
    if (!app.compact() || app.nav_open) {
      EXPECT_GE(pill.x0, app.side_panel_rect().x1 + 10.0) << "covers the side panel";
    } else {
      EXPECT_GE(pill.x0, 16.0);
    }
    EXPECT_LE(pill.x1, map_control_rect(app.map_rect, 0).x0 - 10.0) << "covers the map controls";
    zarn_ui::TextCmd const* run = painted;
    ASSERT_NE(run, nullptr);
    EXPECT_LE(measure_text(text, run->text, 12.0f), pill.width() - 36.0 + 1e-6);
    EXPECT_EQ(run->text != c.status, c.cut);
    if (c.cut) {
      EXPECT_TRUE(run->text.ends_with("\xE2\x80\xA6")) << run->text;
    } else {
      EXPECT_NEAR(pill.width(), measure_text(text, c.status, 12.0f) + 36.0, 1e-4);
    }
  }
}

TEST(StatusPill, ShownForWorkInProgressAndByTheKindItsWriterSet) {
  using K = StatusKind;
  zarn_ui::Theme const theme = zarn_ui::Theme::light();
  struct Case {
    char const* status;
    StatusKind kind;
    std::uint32_t jobs;
    bool shown;
    Color dot;
  } const cases[] = {
      {"Route updated", K::Note, 0, false, theme.accent},
      {"Locating\xE2\x80\xA6", K::Note, 0, true, theme.accent},
      {"Loading places", K::Note, 0, false, theme.accent},
      {"Loading places", K::Note, 1, true, theme.accent},
      {"", K::Error, 3, false, theme.danger},
      // The kind decides, whatever the words.
      {"Offline area incomplete: 33 of 35 tiles missing", K::Warning, 0, true, theme.warning},
      {"Map imagery paused: the service is busy until 14:05", K::Warning, 0, true, theme.warning},
      {"Location unavailable \xE2\x80\x94 Permission denied", K::Error, 0, true, theme.danger},
      {"Error codes listed", K::Note, 0, false, theme.accent},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.status);
    EXPECT_EQ(status_pill_shown(c.status, c.kind, c.jobs), c.shown);
    EXPECT_EQ(status_dot_color(c.kind, theme), c.dot);
  }
}

TEST_F(Chrome, PoiCardWidthAndPlacement) {
  struct Case {
    double window_width;
    bool collapsed;
    double left;
    double width;
  } const cases[] = {
      // Side panel 384 wide: left limit 410, room 854, so 360 wide, centred on the room.
      {1280, false, 410 + (854 - 360) / 2.0, 360},
      {1280, true, 16 + (1248 - 360) / 2.0, 360},
      // Compact: from the window's margin.
      {700, false, 16 + (668 - 360) / 2.0, 360},
      // A room narrower than 200: still 200 wide, and never left of the limit.
      {200, false, 16, 200},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.window_width);
    resize(c.window_width, 800);
    app.panel_collapsed = c.collapsed;
    Rect const r = poi_card_rect(app, 2);
    EXPECT_NEAR(r.x0, c.left, 1e-9);
    EXPECT_NEAR(r.width(), c.width, 1e-9);
    EXPECT_DOUBLE_EQ(r.y1, 800 - 54);
    EXPECT_DOUBLE_EQ(r.height(), 2 * 24 + 118);
  }
}

TEST_F(Chrome, PoiCardRowsAppearOnlyForFieldsWithValues) {
  Poi p = poi("osm-node-1");
  app.nearby_pois = {p};
  app.selected_poi = p.id;
  draw();
  // No address, hours, phone or website: 118 tall, the button at top + 70.
  // The card's targets come first; the search box's follow them.
  ASSERT_EQ(app.hit_targets[0].action, UiAction{A::None{}});
  Rect const card = app.hit_targets[0].rect;
  EXPECT_DOUBLE_EQ(card.height(), 118.0);
  EXPECT_DOUBLE_EQ(app.hit_targets[2].rect.y0, card.y0 + 70.0);

  p.address = "Schäfflerstraße 7";
  p.website = "https://example.org";
  app.nearby_pois = {p};
  Scene const scene = draw();
  Rect const tall = app.hit_targets[0].rect;
  EXPECT_DOUBLE_EQ(tall.height(), 118.0 + 2 * 24);
  EXPECT_DOUBLE_EQ(app.hit_targets[2].rect.y0, tall.y0 + 64 + 24 + 30);
  auto const* link = find_text(scene, "https://example.org");
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->color, theme.accent);
  EXPECT_NE(find_text(scene, "\xE2\x9A\x93"), nullptr);
  EXPECT_EQ(find_text(scene, "\xE2\x97\xB7"), nullptr) << "no opening hours row";

  // A selection that names no nearby point draws no card.
  app.selected_poi = "osm-node-9";
  draw();
  EXPECT_EQ(app.hit_targets.size(), 2u);
}

TEST_F(Chrome, TrafficLegendCardOrNoDataPill) {
  app.traffic_on = true;
  Scene scene = draw();
  auto const* no_data = find_text(scene, "No traffic data");
  ASSERT_NE(no_data, nullptr);
  Color const fill = theme.surface_raised.multiply_alpha(0.96f);
  auto const pills = rounded_rects(scene, fill);
  ASSERT_EQ(pills.size(), 1u);
  double const text_width = text.measure("No traffic data", 12.0f);
  EXPECT_NEAR(pills[0].width(), text_width + 40.0, 1e-4);
  EXPECT_DOUBLE_EQ(pills[0].x0, app.side_panel_rect().x1 + 10.0);
  EXPECT_DOUBLE_EQ(pills[0].y1, 800 - 16);

  app.traffic.segments = {{{}, 0}, {{}, 2}, {{}, 2}, {{}, 3}};
  app.traffic.source = "demo synthesis";
  scene = draw();
  EXPECT_EQ(find_text(scene, "No traffic data"), nullptr);
  auto const cards = rounded_rects(scene, fill);
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(cards[0], (Rect{410, 800 - 16 - 118, 590, 800 - 16}));
  EXPECT_NE(find_text(scene, "Standstill"), nullptr);
  EXPECT_NE(find_text(scene, "\xC2\xB7 demo synthesis"), nullptr);
  EXPECT_EQ(app.hit_targets.size(), 2u) << "the legend registers nothing";

  // Compact: at the window's margin; hidden while the navigation is open.
  resize(700, 800);
  EXPECT_DOUBLE_EQ(rounded_rects(draw(), fill).at(0).x0, 16.0);
  app.nav_open = true;
  EXPECT_TRUE(rounded_rects(draw(), fill).empty());
}

TEST(TrafficLevels, CountsPerLevelAndIgnoresUnknownLevels) {
  std::vector<TrafficSegment> const segments = {{{}, 0}, {{}, 3}, {{}, 3}, {{}, 7}, {{}, 1}};
  EXPECT_EQ(count_traffic_levels(segments), (std::array<std::uint64_t, 4>{1, 1, 0, 2}));
}

TEST_F(Chrome, OverflowBorderShowsARunningDownload) {
  Rect const button{1280 - 56, 800 - 46, 1280 - 16, 800 - 16};
  auto border_is_accent = [&] {
    auto const accents = rounded_rects(draw(), theme.accent, true);
    return std::find(accents.begin(), accents.end(), button) != accents.end();
  };
  EXPECT_FALSE(border_is_accent());
  app.tiles.offline_total = 10;
  app.tiles.offline_done = 4;
  EXPECT_TRUE(border_is_accent()) << "menu closed, download running";
  app.tiles.offline_done = 10;
  EXPECT_FALSE(border_is_accent());
  app.overflow_menu.open_at(1200.0f, 600.0f);
  EXPECT_TRUE(border_is_accent());
}

TEST_F(Chrome, HotControlTakesTheHoverFill) {
  Rect const locate{1280 - 56, 106, 1280 - 16, 146};
  auto hovered = [&] {
    auto const fills = rounded_rects(draw(), theme.surface_hover);
    return std::find(fills.begin(), fills.end(), locate) != fills.end();
  };
  EXPECT_FALSE(hovered());
  app.hot_control = 2;
  EXPECT_TRUE(hovered());
}

TEST_F(Chrome, OverflowMenuAndTooltipPaintLast) {
  auto const& items = app.overflow_menu.items();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].label, "Attribution");
  EXPECT_EQ(items[1].label, "Offline maps");
  EXPECT_EQ(items[2].label, "Licenses");
  EXPECT_EQ(items[3].label, "Float navigation");
  EXPECT_EQ(find_text(draw(), "Offline maps"), nullptr);

  app.overflow_menu.open_at(1000.0f, 600.0f);
  base::ManualClock clock;
  app.clock = &clock;
  Rect const zoom_in{1280 - 56, 16, 1280 - 16, 56};
  app.tooltips.on_pointer(zarn_ui::widget::TooltipCandidate{"Zoom in", zoom_in}, clock.now(),
                          zoom_in.center());
  Scene scene = draw();
  EXPECT_NE(find_text(scene, "Offline maps"), nullptr);
  EXPECT_FALSE(app.tooltips.is_shown()) << "still within the delay";
  EXPECT_FALSE(app.needs_frame()) << "the window sleeps until the tooltip is due";
  auto const due = clock.now() + zarn_ui::widget::TooltipHost::SHOW_DELAY;
  ASSERT_TRUE(app.next_deadline());
  EXPECT_LE(*app.next_deadline(), due);

  clock.advance(zarn_ui::widget::TooltipHost::SHOW_DELAY);
  scene = draw();
  EXPECT_TRUE(app.tooltips.is_shown()) << "the frame advances the host";
  EXPECT_TRUE(!app.next_deadline() || *app.next_deadline() > due) << "nothing left to wait for";
  // The tooltip is the last text of the frame, above the menu.
  zarn_ui::TextCmd const* last = nullptr;
  for (auto const& cmd : scene.commands) {
    if (auto const* t = std::get_if<zarn_ui::TextCmd>(&cmd)) {
      last = t;
    }
  }
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->text, "Zoom in");
  // The menu registers no target of its own; the overflow button stays last.
  EXPECT_EQ(app.hit_targets.back().action, UiAction{A::Overflow{}});
}

class EndpointList : public Chrome {
protected:
  EndpointList() {
    app.model.panel = Panel::Directions;
    edit_endpoint(app.endpoints, DEST_FIELD);
  }
  Rect const input{30, 200, 370, 236};
};

TEST_F(EndpointList, NeedsTheRecordedInputRectangle) {
  set_endpoint_suggestions(app.endpoints, DEST_FIELD, {place("a", "Aa", 48.1, 11.5)});
  draw();
  EXPECT_TRUE(app.endpoints.hits.empty());

  app.endpoints.dest_rect = input;
  draw();
  ASSERT_EQ(app.endpoints.hits.size(), 2u);
  EXPECT_EQ(app.endpoints.hits[0], (EndpointHit{Rect{30, 242, 370, 242 + 12 + 46},
                                                EndpointHitKind::Inert, DEST_FIELD, 0}));
  EXPECT_EQ(app.endpoints.hits[1],
            (EndpointHit{Rect{36, 248, 364, 292}, EndpointHitKind::Suggestion, DEST_FIELD, 0}));
}

TEST_F(EndpointList, SearchingOnlyForANonBlankText) {
  app.endpoints.dest_rect = input;
  app.endpoints.dest_input.set_text("  ");
  Scene scene = draw();
  EXPECT_TRUE(app.endpoints.hits.empty());
  EXPECT_EQ(find_text(scene, "Searching\xE2\x80\xA6"), nullptr);

  app.endpoints.dest_input.set_text("Sendl");
  scene = draw();
  ASSERT_EQ(app.endpoints.hits.size(), 1u);
  EXPECT_EQ(app.endpoints.hits[0].rect, (Rect{30, 242, 370, 276}));
  auto const* searching = find_text(scene, "Searching\xE2\x80\xA6");
  ASSERT_NE(searching, nullptr);
  EXPECT_DOUBLE_EQ(searching->transform.e, 42.0);
  EXPECT_DOUBLE_EQ(searching->transform.f, 253.0);

  // The Explore panel never shows the list.
  app.model.panel = Panel::Explore;
  draw();
  EXPECT_TRUE(app.endpoints.hits.empty());
}

TEST_F(EndpointList, AtMostSixRows) {
  app.endpoints.dest_rect = input;
  std::vector<Place> many;
  for (int i = 0; i < 9; ++i) {
    many.push_back(place("p" + std::to_string(i), "P", 48.1, 11.5));
  }
  set_endpoint_suggestions(app.endpoints, DEST_FIELD, std::move(many));
  draw();
  ASSERT_EQ(app.endpoints.hits.size(), 7u);
  EXPECT_DOUBLE_EQ(app.endpoints.hits[0].rect.height(), 12 + 6 * 46);
  EXPECT_EQ(app.endpoints.hits[6].index, 5u);
}

/// One frame of chrome over a plain background, checked at a few pixels. With
/// MAPS_CHROME_PNG set, the picture is also written to that path for a look.
TEST_F(Chrome, RendersOverAPlainBackground) {
  resize(960, 640);
  app.traffic_on = true;
  app.traffic.segments = {{{}, 0}, {{}, 1}, {{}, 2}, {{}, 3}, {{}, 0}};
  app.traffic.source = "Sample traffic";
  app.hot_control = 0;
  app.model.status = "Locating\xE2\x80\xA6";
  Poi p = poi("osm-node-1");
  p.address = "Schäfflerstraße 7, München";
  p.opening_hours = "Mo-Sa 09:00-19:00";
  p.website = "https://example.org";
  p.detail = "coffee shop";
  app.nearby_pois = {p};
  app.selected_poi = p.id;
  app.panel_collapsed = true;
  app.overflow_menu.open_at(720.0f, 440.0f);
  Scene const scene = draw();

  zarn_ui::OffscreenRenderer const renderer(960, 640);
  Color const ground = Color::from_rgba8(200, 220, 200);
  auto const rgba = renderer.render_resilient(scene, ground);
  ASSERT_EQ(rgba.size(), 960u * 640u * 4u);
  auto pixel = [&](int x, int y) {
    std::size_t const i = (static_cast<std::size_t>(y) * 960 + x) * 4;
    return zarn_ui::Rgba8{rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
  };
  EXPECT_EQ(pixel(5, 5), ground.to_rgba8());
  // Inside the Directions button of the card, away from its label.
  auto const directions =
      std::find_if(app.hit_targets.begin(), app.hit_targets.end(),
                   [](HitTarget const& h) { return h.action == UiAction{A::PoiDirections{}}; });
  ASSERT_NE(directions, app.hit_targets.end());
  Rect const button = directions->rect;
  EXPECT_EQ(pixel(static_cast<int>(button.x0) + 4, static_cast<int>(button.y0) + 18),
            theme.accent.to_rgba8());
  // The hot zoom-in control takes the hover fill.
  EXPECT_EQ(pixel(960 - 56 + 5, 16 + 5), theme.surface_hover.to_rgba8());

  if (char const* path = std::getenv("MAPS_CHROME_PNG")) {
    auto const png = zarn_ui::OffscreenRenderer::encode_png(960, 640, rgba);
    ASSERT_TRUE(png.has_value());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<char const*>(png->data()),
               static_cast<std::streamsize>(png->size()));
  }
}

/// The compact layout while typing: navigation toggle, the box with its clear button and the
/// suggestion list with the selected place marked.
TEST_F(Chrome, RendersTheCompactSearchList) {
  resize(640, 560);
  type_query("Cafe", 3);
  app.search_box.suggestions[1].name =
      "Caf\xC3\xA9 Luitpold, a long name that does not fit the row";
  app.model.selected = "s1";
  Scene const scene = draw();

  zarn_ui::OffscreenRenderer const renderer(640, 560);
  Color const ground = Color::from_rgba8(200, 220, 200);
  auto const rgba = renderer.render_resilient(scene, ground);
  ASSERT_EQ(rgba.size(), 640u * 560u * 4u);
  auto pixel = [&](double x, double y) {
    std::size_t const i = (static_cast<std::size_t>(y) * 640 + static_cast<std::size_t>(x)) * 4;
    return zarn_ui::Rgba8{rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
  };
  Rect const bar = app.search_bar_rect();
  // The clear button's disc, off its cross.
  EXPECT_EQ(pixel(bar.x1 - 21 + 7, (bar.y0 + bar.y1) / 2), theme.surface.to_rgba8());
  // The selected row (second) is tinted, the first is not.
  double const row1 = bar.y1 + 6 + 6 + 46;
  Color const tint = mix_colors(theme.surface_raised, theme.accent.with_alpha(1.0f), 0.12f);
  auto const tinted = pixel(bar.x0 + 10, row1 + 40);
  EXPECT_NEAR(tinted.b, tint.to_rgba8().b, 2);
  EXPECT_NEAR(tinted.r, tint.to_rgba8().r, 2);
  EXPECT_EQ(pixel(bar.x0 + 10, row1 - 46 + 40), theme.surface_raised.to_rgba8());

  if (char const* path = std::getenv("MAPS_CHROME_PNG")) {
    auto const png = zarn_ui::OffscreenRenderer::encode_png(640, 560, rgba);
    ASSERT_TRUE(png.has_value());
    std::ofstream(std::string(path) + ".compact.png", std::ios::binary)
        .write(reinterpret_cast<char const*>(png->data()),
               static_cast<std::streamsize>(png->size()));
  }
}

} // namespace
} // namespace maps
