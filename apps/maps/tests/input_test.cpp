#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "app/map_controls.h"
#include "app/maps_app.h"
#include "app/nav_card.h"
#include "app/overflow_menu.h"
#include "base/clock.h"
#include "geo/projection.h"
#include "input/input.h"
#include "input/semantics.h"
#include "model/ops.h"
#include "platform/launch/state.h"
#include "sample/sample_data.h"

namespace maps {
namespace {

using zarn_ui::Event;
using zarn_ui::Key;
using zarn_ui::Modifiers;
using zarn_ui::NamedKey;
using zarn_ui::Point;
using zarn_ui::Rect;

/// The demo scene on a wide window without live services, driven event by event.
struct InputTest : ::testing::Test {
  base::ManualClock clock;
  std::unique_ptr<zarn_ui::State> state = zarn_ui::State::in_memory();
  MapsApp app =
      build_maps_app(demo_scenario(), sample_road_network(), offline_tile_cache(), false, false);

  InputTest() { resize(1280, 800); }

  void resize(double w, double h) {
    app.window_rect_ = zarn_ui::Rect{0, 0, w, h};
    app.map_rect = app.window_rect_;
    app.clock = &clock;
  }

  /// Only the map under the pointer: no markers, no painted targets.
  void bare_map() {
    app.model.places.clear();
    app.model.selected.reset();
    app.nearby_pois.clear();
    app.hit_targets.clear();
  }

  bool send(Event const& event, double scale = 1.0, Modifiers mods = {}) {
    bool handled = false;
    app.handle_event(event, mods, state.get(), scale, handled);
    return handled;
  }
  bool move(double x, double y, double scale = 1.0) {
    return send(zarn_ui::PointerMoved{x, y}, scale);
  }
  bool press(double x, double y, double scale = 1.0) {
    return send(zarn_ui::PointerButton{x, y, 0, zarn_ui::ButtonState::Pressed}, scale);
  }
  bool release(double x, double y) {
    return send(zarn_ui::PointerButton{x, y, 0, zarn_ui::ButtonState::Released});
  }
  bool type(std::string text, Modifiers mods = {}) {
    return send(Key{true, std::move(text), mods}, 1.0, mods);
  }
  bool key(NamedKey k) { return send(Key{true, k, {}}); }
  bool wheel_lines(float lines) { return send(zarn_ui::Wheel{zarn_ui::LineDelta{lines}}); }
  bool wheel_pixels(double px) { return send(zarn_ui::Wheel{zarn_ui::PixelDelta{px}}); }

  Point screen_of(LatLon pos) const {
    return project_point(app.viewport_projection(), pos.lat, pos.lon);
  }
};

TEST_F(InputTest, SmallMovesNeverPanAndLargerOnesDo) {
  struct Case {
    double scale;
    double step; // physical pixels per move
    bool pans;
  } const cases[] = {
      {1.0, 0.4, false}, {1.0, 0.5, false}, {2.0, 0.8, false}, // 0.4 logical
      {1.0, 0.6, true},  {2.0, 3.0, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << "scale " << c.scale << " step " << c.step);
    bare_map();
    app.model.center = LatLon{48.137, 11.575};
    LatLon const before = app.model.center;
    double x = 600.0 * c.scale;
    double const y = 400.0 * c.scale;
    move(x, y, c.scale);
    EXPECT_TRUE(press(x, y, c.scale));
    EXPECT_TRUE(app.map_press);
    for (int i = 0; i < 10; ++i) {
      x += c.step;
      move(x, y, c.scale);
    }
    EXPECT_EQ(app.map_dragged, c.pans);
    EXPECT_EQ(app.model.center != before, c.pans);
    EXPECT_FALSE(release(x, y));
    EXPECT_FALSE(app.map_press);
    EXPECT_FALSE(app.pointer_down);
  }
}

TEST_F(InputTest, DraggingTheMapKeepsThePressedPositionUnderThePointer) {
  bare_map();
  Point const start{600, 400};
  LatLon const grabbed = unproject_point(app.viewport_projection(), start.x, start.y);
  move(start.x, start.y);
  press(start.x, start.y);
  EXPECT_TRUE(move(650, 430));
  Point const now = screen_of(grabbed);
  EXPECT_NEAR(now.x, 650, 1e-6);
  EXPECT_NEAR(now.y, 430, 1e-6);
  ASSERT_TRUE(app.map_idle_deadline);
  EXPECT_EQ(*app.map_idle_deadline, clock.now() + MAP_IDLE_DELAY);
}

TEST_F(InputTest, WheelScrollsThePanelBelowItsHeaderAndZoomsElsewhere) {
  // Wide window: the side panel spans x 16..400, y 74..784.
  struct Case {
    const char* what;
    double x, y;
    double width;
    bool nav_open;
    bool collapsed;
    double pixels; // 0: one line
    bool scrolls;
  } const cases[] = {
      {"panel body", 200, 300, 1280, true, false, 0, true},
      {"panel body, pixel delta of two lines", 200, 300, 1280, true, false, 80, true},
      {"panel header band", 200, 74 + 30, 1280, true, false, 0, false},
      {"panel header edge", 200, 74 + 50, 1280, true, false, 0, false},
      {"map beside the panel", 700, 300, 1280, true, false, 0, false},
      {"collapsed panel", 200, 300, 1280, true, true, 0, false},
      {"compact, navigation closed", 200, 300, 600, false, false, 0, false},
      {"compact, navigation open", 200, 300, 600, true, false, 0, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    resize(c.width, 800);
    app.nav_open = c.nav_open;
    app.panel_collapsed = c.collapsed;
    app.model.zoom = 14.0;
    app.panel_scroll = {200.0, 1000.0, 500.0};
    move(c.x, c.y);
    EXPECT_TRUE(c.pixels != 0 ? wheel_pixels(c.pixels) : wheel_lines(1.0f));
    double const lines = c.pixels != 0 ? c.pixels / 40.0 : 1.0;
    if (c.scrolls) {
      EXPECT_DOUBLE_EQ(app.panel_scroll[0], 200.0 - 36.0 * lines);
      EXPECT_DOUBLE_EQ(app.model.zoom, 14.0);
    } else {
      EXPECT_DOUBLE_EQ(app.panel_scroll[0], 200.0);
      EXPECT_NEAR(app.model.zoom, 14.0 + 0.35 * lines, 1e-9);
    }
  }
}

TEST_F(InputTest, PanelScrollStaysInsideItsContent) {
  move(200, 300);
  app.panel_scroll = {10.0, 1000.0, 500.0};
  wheel_lines(1.0f);
  EXPECT_DOUBLE_EQ(app.panel_scroll[0], 0.0);
  wheel_lines(-100.0f);
  EXPECT_DOUBLE_EQ(app.panel_scroll[0], 500.0);
  app.panel_scroll = {0.0, 300.0, 500.0}; // content shorter than the panel
  wheel_lines(-3.0f);
  EXPECT_DOUBLE_EQ(app.panel_scroll[0], 0.0);
  double const zoom = app.model.zoom;
  move(700, 300);
  EXPECT_TRUE(wheel_pixels(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_DOUBLE_EQ(app.model.zoom, zoom);

  // A broken pointer position is dropped, so the wheel still zooms about the last good one.
  double const nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(move(nan, 300));
  EXPECT_FALSE(press(nan, nan));
  wheel_lines(1.0f);
  EXPECT_TRUE(std::isfinite(app.model.center.lat) && std::isfinite(app.model.center.lon));
  EXPECT_NEAR(app.model.zoom, zoom + 0.35, 1e-9);
}

TEST_F(InputTest, LettersGoToTheFocusedSearchBoxElseRunShortcuts) {
  app.model.panel = Panel::Explore;
  app.model.query.clear();
  app.search_box.input.set_text("");
  EXPECT_TRUE(type("/"));
  EXPECT_TRUE(app.search_box.editing);
  EXPECT_TRUE(type("d"));
  EXPECT_EQ(app.search_box.input.text(), "d");
  EXPECT_EQ(app.model.query, "d");
  EXPECT_EQ(app.model.panel, Panel::Explore);

  EXPECT_TRUE(key(NamedKey::Escape));
  EXPECT_FALSE(app.search_box.editing);
  EXPECT_FALSE(app.search_box.debounce);
  EXPECT_TRUE(type("d"));
  EXPECT_EQ(app.model.panel, Panel::Directions);
  EXPECT_EQ(app.search_box.input.text(), "d");
}

TEST_F(InputTest, SavedShortcutIgnoresControlAndSuper) {
  ASSERT_TRUE(find_place(app.model, "hofgarten"));
  app.model.selected = "hofgarten";
  bool const saved = find_place(app.model, "hofgarten")->saved;
  Modifiers control;
  control.control = true;
  Modifiers super;
  super.super = true;
  EXPECT_FALSE(type("s", control));
  EXPECT_FALSE(type("S", super));
  EXPECT_EQ(find_place(app.model, "hofgarten")->saved, saved);
  EXPECT_FALSE(app.actions.last_action);
  // Control known only from the window's modifier state counts too.
  EXPECT_FALSE(send(Key{true, std::string("s"), {}}, 1.0, control));
  EXPECT_FALSE(app.actions.last_action);
  EXPECT_TRUE(type("S"));
  EXPECT_EQ(find_place(app.model, "hofgarten")->saved, !saved);
  EXPECT_TRUE(app.actions.last_action);

  // With the search box focused the shortcut types nothing either.
  app.search_box.input.set_text("");
  type("/");
  EXPECT_TRUE(send(Key{true, std::string("s"), {}}, 1.0, control));
  EXPECT_EQ(app.search_box.input.text(), "");
}

TEST_F(InputTest, EscapeClearsOneSelectionAtATime) {
  app.model.selected = "hofgarten";
  app.selected_poi = "osm-node-1";
  EXPECT_TRUE(key(NamedKey::Escape));
  EXPECT_FALSE(app.selected_poi);
  EXPECT_EQ(app.model.selected, "hofgarten");
  EXPECT_TRUE(key(NamedKey::Escape));
  EXPECT_FALSE(app.model.selected);

  // The compact layout closes the open navigation panel before touching the selection.
  resize(600, 800);
  app.model.selected = "hofgarten";
  app.nav_open = true;
  key(NamedKey::Escape);
  EXPECT_FALSE(app.nav_open);
  EXPECT_EQ(app.model.selected, "hofgarten");
  key(NamedKey::Escape);
  EXPECT_FALSE(app.model.selected);
}

TEST_F(InputTest, TypingArmsTheDebounceAndBlankTextCancelsIt) {
  app.model.query.clear();
  type("/");
  type("h");
  type("o");
  type("f");
  EXPECT_EQ(app.model.query, "hof");
  ASSERT_TRUE(app.search_box.debounce);
  EXPECT_EQ(*app.search_box.debounce, clock.now() + INPUT_DEBOUNCE);
  EXPECT_EQ(app.search_box.suggestions, app.local_matches("hof"));
  EXPECT_FALSE(app.search_box.suggestions.empty());

  for (int i = 0; i < 3; ++i) {
    key(NamedKey::Backspace);
  }
  type(" ");
  EXPECT_EQ(app.model.query, " ");
  EXPECT_FALSE(app.search_box.debounce);
  EXPECT_TRUE(app.search_box.suggestions.empty());
}

TEST_F(InputTest, EnterInTheSearchBoxSubmits) {
  app.model.query.clear();
  type("/");
  for (char c : std::string("hofg")) {
    type(std::string(1, c));
  }
  EXPECT_TRUE(key(NamedKey::Enter));
  EXPECT_FALSE(app.search_box.editing);
  EXPECT_FALSE(app.search_box.debounce);
  EXPECT_EQ(app.model.selected, "hofgarten");
  EXPECT_EQ(app.model.recents.front(), "hofg");
}

TEST_F(InputTest, PlaceMarkerReachIsWiderForTheSelectedPlace) {
  struct Case {
    bool selected;
    double head; // pin head above the position
    double dx;   // press this far right of the head
    bool opens;
  } const cases[] = {
      {false, 22, 13, true},
      {false, 22, 17, false},
      {true, 30, 17, true},
      {true, 30, 19, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << "selected " << c.selected << " dx " << c.dx);
    bare_map();
    Place place = new_place("pin", "Pin", PlaceCategory::Cafe, 48.14, 11.58, "");
    app.model.center = place.pos;
    app.model.places.push_back(place);
    if (c.selected) {
      app.model.selected = "pin";
    }
    app.nav_open = false;
    Point const tip = screen_of(place.pos);
    press(tip.x + c.dx, tip.y - c.head);
    EXPECT_EQ(app.map_press, !c.opens); // a miss lands on the bare map
    release(tip.x + c.dx, tip.y - c.head);
    EXPECT_EQ(app.nav_open, c.opens);
    EXPECT_EQ(app.model.selected == std::optional<std::string>("pin"), c.opens || c.selected);
  }
}

TEST_F(InputTest, PoiReachFollowsZoomAndSelection) {
  struct Case {
    double zoom;
    bool selected;
    double dx;
    bool hits;
  } const cases[] = {
      {15.0, false, 10.0, true},                             // 4.5 + 6
      {15.0, false, 11.0, false}, {16.0, false, 14.5, true}, // 9 + 6
      {16.0, true, 18.5, true},                              // 9 + 4 + 6
      {16.0, true, 19.5, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << "zoom " << c.zoom << " dx " << c.dx);
    bare_map();
    Poi poi;
    poi.id = "osm-node-7";
    poi.name = "Kiosk";
    poi.pos = LatLon{48.14, 11.58};
    app.nearby_pois = {poi};
    app.selected_poi.reset();
    if (c.selected) {
      app.selected_poi = poi.id;
    }
    app.model.center = poi.pos;
    app.model.zoom = c.zoom;
    Point const at = screen_of(poi.pos);
    press(at.x + c.dx, at.y);
    EXPECT_EQ(app.selected_poi == std::optional<std::string>(poi.id), c.hits);
    EXPECT_EQ(app.map_press, !c.hits);
    release(at.x + c.dx, at.y);
  }
}

TEST_F(InputTest, EndpointFieldEditsAndQueries) {
  app.model.panel = Panel::Directions;
  app.model.dest_query = "old";
  app.endpoints.hits = {
      {zarn_ui::Rect{20, 100, 380, 140}, EndpointHitKind::Field, DEST_FIELD, 0},
      {zarn_ui::Rect{20, 150, 380, 190}, EndpointHitKind::Suggestion, DEST_FIELD, 5},
  };
  app.search_box.editing = true;
  EXPECT_TRUE(press(100, 120));
  EXPECT_FALSE(app.search_box.editing);
  EXPECT_EQ(app.endpoints.active, DEST_FIELD);
  EXPECT_TRUE(app.endpoints.dest_input.focused());
  EXPECT_EQ(app.model.dest_query, "");

  // "d" types into the field rather than opening directions.
  type("d");
  type("o");
  EXPECT_EQ(app.model.dest_query, "do");
  ASSERT_TRUE(app.endpoints.debounce);
  EXPECT_EQ(*app.endpoints.debounce, clock.now() + INPUT_DEBOUNCE);
  EXPECT_TRUE(key(NamedKey::Enter));
  EXPECT_FALSE(app.endpoints.debounce);

  // A suggestion row past the end of the list is inert.
  auto const dest = app.model.dest;
  EXPECT_TRUE(press(100, 170));
  EXPECT_EQ(app.model.dest, dest);

  EXPECT_TRUE(key(NamedKey::Escape));
  EXPECT_EQ(app.endpoints.active, NO_FIELD);
  EXPECT_FALSE(app.endpoints.dest_input.focused());
}

TEST_F(InputTest, HoverOverAControlMakesItHotAndQueuesItsTooltip) {
  app.hit_targets.clear();
  // Zoom in: 40 × 40 at x 1224..1264, y 16..56.
  EXPECT_TRUE(move(1240, 30));
  EXPECT_EQ(app.hot_control, 0);
  ASSERT_TRUE(app.tooltips.has_pending());
  clock.advance(zarn_ui::widget::TooltipHost::SHOW_DELAY);
  app.tooltips.tick(clock.now());
  ASSERT_TRUE(app.tooltips.shown());
  EXPECT_EQ(app.tooltips.shown()->text, "Zoom in");
  EXPECT_FALSE(move(1241, 31)); // same control, nothing changes

  // The overflow button explains itself too; a press hides any tooltip.
  EXPECT_TRUE(move(1240, 770));
  EXPECT_EQ(app.hot_control, 255);
  clock.advance(zarn_ui::widget::TooltipHost::SHOW_DELAY);
  app.tooltips.tick(clock.now());
  ASSERT_TRUE(app.tooltips.shown());
  EXPECT_EQ(app.tooltips.shown()->text, "More");
  wheel_lines(0.0f);
  EXPECT_FALSE(app.tooltips.is_shown());

  // While a map drag runs nothing is hot and no tooltip waits.
  bare_map();
  move(600, 400);
  press(600, 400);
  move(1240, 30);
  EXPECT_EQ(app.hot_control, NO_MAP_CONTROL);
  EXPECT_FALSE(app.tooltips.has_pending());
  release(1240, 30);
}

TEST_F(InputTest, PressOnAControlRunsIt) {
  app.hit_targets.clear();
  double const zoom = app.model.zoom;
  EXPECT_TRUE(press(1240, 70)); // zoom out
  EXPECT_NEAR(app.model.zoom, zoom - 1.0, 1e-9);
  EXPECT_FALSE(app.map_press);
}

TEST_F(InputTest, GlobalKeys) {
  struct Case {
    const char* what;
    Key key;
    bool consumed;
  } const cases[] = {
      {"arrow", Key{true, NamedKey::ArrowLeft, {}}, true},
      {"plus", Key{true, std::string("+"), {}}, true},
      {"underscore", Key{true, std::string("_"), {}}, true},
      {"panel 2", Key{true, std::string("2"), {}}, true},
      {"unbound letter", Key{true, std::string("q"), {}}, false},
      {"unbound named key", Key{true, NamedKey::PageUp, {}}, false},
      {"release", Key{false, std::string("d"), {}}, false},
      {"offline maps", Key{true, std::string("M"), {}}, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(send(c.key), c.consumed);
  }
  EXPECT_TRUE(app.offline_panel.open);
  EXPECT_EQ(app.model.panel, Panel::Directions);
}

TEST_F(InputTest, ArrowsMoveTheContentTheirWay) {
  struct Case {
    NamedKey key;
    double dx, dy; // where a fixed map position moves on screen
  } const cases[] = {
      {NamedKey::ArrowDown, 0, 80},
      {NamedKey::ArrowUp, 0, -80},
      {NamedKey::ArrowLeft, -80, 0},
      {NamedKey::ArrowRight, 80, 0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.key));
    LatLon const spot = unproject_point(app.viewport_projection(), 600, 400);
    key(c.key);
    Point const at = screen_of(spot);
    EXPECT_NEAR(at.x, 600 + c.dx, 1e-6);
    EXPECT_NEAR(at.y, 400 + c.dy, 1e-6);
  }
}

TEST_F(InputTest, OpenOfflinePanelTakesKeysAndEscapeClosesIt) {
  app.model.panel = Panel::Explore;
  open_offline_panel(app.offline_panel, 0);
  EXPECT_TRUE(type("d"));
  EXPECT_NE(app.model.panel, Panel::Directions);
  EXPECT_EQ(app.offline_panel.search.text(), "d");
  EXPECT_TRUE(key(NamedKey::Escape));
  EXPECT_FALSE(app.offline_panel.open);
}

TEST_F(InputTest, TheLastPaintedTargetTakesThePress) {
  app.model.panel = Panel::Explore;
  app.hit_targets = {
      HitTarget{zarn_ui::Rect{0, 0, 1280, 800}, UiAction::None{}},
      HitTarget{zarn_ui::Rect{100, 100, 300, 140}, UiAction::Search{SearchItem::field()}},
      HitTarget{zarn_ui::Rect{250, 100, 300, 140}, UiAction::Directions{}},
  };
  app.search_box.suggestions = app.local_matches("hof");
  EXPECT_TRUE(press(150, 120));
  release(150, 120);
  EXPECT_TRUE(app.search_box.editing);
  EXPECT_TRUE(app.search_box.input.focused());
  EXPECT_FALSE(app.search_box.suggestions.empty());

  EXPECT_TRUE(press(260, 120)); // the directions button painted over the field
  release(260, 120);
  EXPECT_FALSE(app.search_box.editing);
  EXPECT_TRUE(app.search_box.suggestions.empty());
  EXPECT_EQ(app.model.panel, Panel::Directions);

  EXPECT_TRUE(press(700, 500)); // the inert backdrop swallows the press
  EXPECT_FALSE(app.map_press);
}

TEST_F(InputTest, TheOpenAttributionSheetSwallowsEverything) {
  struct Case {
    const char* what;
    Event event;
  } const cases[] = {
      {"escape", Key{true, NamedKey::Escape, {}}},
      {"letter", Key{true, std::string("d"), {}}},
      {"press on the map", zarn_ui::PointerButton{600, 700, 0, zarn_ui::ButtonState::Pressed}},
      {"wheel", zarn_ui::Wheel{zarn_ui::LineDelta{2.0f}}},
      {"move", zarn_ui::PointerMoved{1240, 30}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    bare_map();
    app.model.panel = Panel::Explore;
    app.selected_poi = "osm-node-1";
    app.model.zoom = 14.0;
    open_attribution_sheet(app.attribution_sheet, false);
    EXPECT_TRUE(send(c.event));
    EXPECT_EQ(app.selected_poi, std::optional<std::string>("osm-node-1"));
    EXPECT_DOUBLE_EQ(app.model.zoom, 14.0);
    EXPECT_FALSE(app.map_press);
    EXPECT_EQ(app.hot_control, NO_MAP_CONTROL);
    EXPECT_EQ(app.model.panel, Panel::Explore);
  }
  close_attribution_sheet(app.attribution_sheet);
  EXPECT_TRUE(key(NamedKey::Escape));
  EXPECT_FALSE(app.selected_poi);
}

TEST_F(InputTest, OverflowMenuTakesPressesAndKeys) {
  app.hit_targets = {HitTarget{Rect{1224, 754, 1264, 784}, UiAction::Overflow{}}};
  EXPECT_TRUE(press(1240, 770));
  release(1240, 770);
  ASSERT_TRUE(app.overflow_menu.is_open());
  // The menu opens with its first item highlighted; its keys do not reach the map.
  EXPECT_TRUE(key(NamedKey::ArrowDown));
  EXPECT_TRUE(key(NamedKey::ArrowUp));
  EXPECT_TRUE(key(NamedKey::Enter));
  EXPECT_FALSE(app.overflow_menu.is_open());
  EXPECT_TRUE(attribution_sheet_open(app.attribution_sheet));
  EXPECT_EQ(app.attribution_sheet.state, SHEET_ATTRIBUTION);
}

TEST_F(InputTest, OfflinePanelTargetsArePerformedFromTheTop) {
  app.model.panel = Panel::Explore;
  open_offline_panel(app.offline_panel, 0);
  app.offline_panel.targets = {
      OfflineTarget{app.window_rect_, OfflinePanelAction::close()},
      OfflineTarget{Rect{400, 200, 880, 600}, OfflinePanelAction::search_field()},
      OfflineTarget{Rect{500, 500, 540, 540}, OfflinePanelAction::zoom(1)},
  };
  std::uint8_t const detail = app.offline_panel.detail;
  EXPECT_TRUE(press(520, 520));
  release(520, 520);
  EXPECT_TRUE(app.offline_panel.open);
  EXPECT_EQ(app.offline_panel.detail, detail + 1);
  EXPECT_TRUE(press(100, 100)); // the scrim closes the panel
  EXPECT_FALSE(app.offline_panel.open);
  EXPECT_FALSE(app.map_press);
}

TEST_F(InputTest, NavigationCardEndsAndDrags) {
  bare_map();
  app.model.route = Route{};
  Rect const card = navigation_card_rect(app);
  app.nav_card_rects[NAV_END_BUTTON] = Rect{card.x1 - 58, card.y0 + 6, card.x1 - 8, card.y0 + 30};
  app.nav_card_rects[NAV_DRAG_HEADER] = Rect{card.x0, card.y0, card.x1 - 62, card.y0 + 34};

  Point const end = app.nav_card_rects[NAV_END_BUTTON].center();
  EXPECT_TRUE(move(end.x, end.y));
  EXPECT_TRUE(app.nav_card_hover);

  Point const grip{card.x0 + 20, card.y0 + 10};
  LatLon const center = app.model.center;
  move(grip.x, grip.y);
  EXPECT_TRUE(press(grip.x, grip.y));
  EXPECT_TRUE(app.nav_drag);
  EXPECT_FALSE(app.map_press);
  EXPECT_TRUE(move(grip.x - 100, grip.y - 50));
  EXPECT_EQ(app.model.center, center);
  Rect const moved = navigation_card_rect(app);
  EXPECT_DOUBLE_EQ(moved.x0, card.x0 - 100);
  EXPECT_DOUBLE_EQ(moved.y0, card.y0 - 50);
  EXPECT_FALSE(app.surface_request);
  // Leaving the window asks for a surface of its own.
  EXPECT_TRUE(move(1400, grip.y));
  ASSERT_TRUE(app.surface_request);
  EXPECT_EQ(app.surface_request->surface_id, "maps.active-navigation");
  EXPECT_TRUE(release(1400, grip.y));
  EXPECT_FALSE(app.nav_drag);
  EXPECT_FALSE(release(1400, grip.y));

  app.nav_placement.reset();
  app.surface_request.reset();
  EXPECT_TRUE(press(end.x, end.y));
  EXPECT_FALSE(app.nav_card_hover);
  EXPECT_TRUE(app.actions.last_action);
}

} // namespace
TEST_F(InputTest, TheOpenMenuCoversTheNavigationCardUnderIt) {
  bare_map();
  app.model.route = Route{};
  Rect const card = navigation_card_rect(app);
  app.nav_card_rects[NAV_END_BUTTON] = Rect{card.x1 - 58, card.y0 + 6, card.x1 - 8, card.y0 + 30};
  app.nav_card_rects[NAV_DRAG_HEADER] = Rect{card.x0, card.y0, card.x1 - 62, card.y0 + 34};
  app.hit_targets = {HitTarget{Rect{1224, 754, 1264, 784}, UiAction::Overflow{}}};
  press(1240, 770);
  release(1240, 770);
  ASSERT_TRUE(app.overflow_menu.is_open());

  // The menu opens over the card's header: a press there belongs to the menu, not to a drag.
  Rect const menu = app.overflow_menu.rect();
  Rect const header = app.nav_card_rects[NAV_DRAG_HEADER];
  Rect const both{std::max(menu.x0, header.x0), std::max(menu.y0, header.y0),
                  std::min(menu.x1, header.x1), std::min(menu.y1, header.y1)};
  ASSERT_GT(both.width(), 0.0);
  ASSERT_GT(both.height(), 0.0);
  Point const p = both.center();
  EXPECT_TRUE(press(p.x, p.y));
  EXPECT_FALSE(app.nav_drag);
  release(p.x, p.y);

  // Beside the menu the header still drags the card.
  app.overflow_menu.close();
  EXPECT_TRUE(press(header.x0 + 10, header.y0 + 10));
  EXPECT_TRUE(app.nav_drag);
}

} // namespace maps
