// User sessions through the event path: presses, keys and wheel turns sent through handle_event
// with frames drawn in between, as the window loop runs them.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>

#include "app/map_controls.h"
#include "app/nav_card.h"
#include "draw/chrome_draw.h"
#include "draw/side_panel_draw.h"
#include "draw/suggestion_rows.h"
#include "input/semantics.h"
#include "platform/a11y/atspi_codes.h"
#include "platform/a11y/tree_export.h"
#include "sample/sample_data.h"
#include "scenario.h"
#include "shell/launch_record.h"

namespace maps::test {
namespace {

using zarn_ui::NamedKey;
using zarn_ui::Point;
using zarn_ui::Rect;

/// Where the last window-wide scrim was painted in the scene; none without one.
std::optional<std::size_t> scrim_index(Session const& s, Rect const& window) {
  std::optional<std::size_t> last;
  for (auto const& f : probe::fills_of<Rect>(s.scene)) {
    if (f.shape == window && f.color.a > 0.0f && f.color.a < 1.0f) {
      last = f.index;
    }
  }
  return last;
}

/// The ids of the tree's nodes (to the second level) that hold the keyboard focus.
std::vector<std::string> focused_ids(Session& s) {
  std::vector<std::string> ids;
  auto const tree = s.app().accessibility_tree();
  for (auto const& n : tree ? tree->children : std::vector<zarn_ui::access::AccessNode>{}) {
    if (n.focused) {
      ids.push_back(n.id_text);
    }
    for (auto const& item : n.children) {
      if (item.focused) {
        ids.push_back(item.id_text);
      }
    }
  }
  return ids;
}

/// The tree as the bus presents it.
zarn_ui::a11y::ExportedTree bus_tree(Session& s) {
  return zarn_ui::a11y::export_tree(
      zarn_ui::a11y::present_for_bus(s.app().accessibility_tree(), s.app().access_presentation()),
      {0, 0}, {0, 0, 1280, 800});
}

/// Where a disc centred at `c` was first painted.
std::optional<std::size_t> disc_index(Session const& s, Point c) {
  for (auto const& f : probe::fills_of<zarn_ui::Circle>(s.scene)) {
    if (std::abs(f.shape.center.x - c.x) < 0.5 && std::abs(f.shape.center.y - c.y) < 0.5) {
      return f.index;
    }
  }
  return std::nullopt;
}

bool tree_has(MapsApp const& app, std::string_view id) {
  auto const tree = app.accessibility_tree();
  return tree && std::any_of(tree->children.begin(), tree->children.end(),
                             [&](auto const& n) { return n.id_text == id; });
}

Scenario const SCENARIOS[] = {
    {"pressing a search suggestion opens the row that was seen",
     {"--search"},
     1280,
     800,
     [](Session& s) {
       ASSERT_GE(s.app().search_box.suggestions.size(), 2u);
       Place const seen = s.app().search_box.suggestions[1];
       auto const row = s.search_item(SearchItem::result(1));
       ASSERT_TRUE(row);
       s.click(*row);
       EXPECT_EQ(s.app().model.selected, seen.id);
       EXPECT_EQ(s.app().model.query, seen.name);
       EXPECT_FALSE(s.app().search_box.editing);
     }},
    {"arrow keys walk the search suggestions and Enter opens the highlighted one",
     {"--search"},
     1280,
     800,
     [](Session& s) {
       ASSERT_GE(s.app().search_box.suggestions.size(), 3u);
       Place const third = s.app().search_box.suggestions[2];
       s.key(NamedKey::ArrowDown);
       s.key(NamedKey::ArrowDown);
       s.key(NamedKey::ArrowDown);
       s.key(NamedKey::ArrowUp);
       s.key(NamedKey::ArrowDown);
       EXPECT_EQ(s.app().search_box.highlighted, 2u);
       s.key(NamedKey::Enter);
       EXPECT_EQ(s.app().model.selected, third.id);
     }},
    {"pressing an endpoint suggestion picks the row that was seen",
     {"--edit-from"},
     1280,
     800,
     [](Session& s) {
       ASSERT_FALSE(s.app().endpoints.origin_suggestions.empty());
       Place const seen = s.app().endpoints.origin_suggestions[0];
       auto const row = s.endpoint_hit(EndpointHitKind::Suggestion, 0);
       ASSERT_TRUE(row);
       s.click(*row);
       EXPECT_EQ(s.app().model.origin_name, seen.name);
       EXPECT_EQ(s.app().endpoints.active, NO_FIELD);
     }},
    {"arrow keys walk the endpoint suggestions and Enter picks the highlighted one",
     {"--edit-from"},
     1280,
     800,
     [](Session& s) {
       ASSERT_FALSE(s.app().endpoints.origin_suggestions.empty());
       Place const first = s.app().endpoints.origin_suggestions[0];
       s.key(NamedKey::ArrowUp);
       s.key(NamedKey::ArrowDown);
       EXPECT_EQ(s.app().endpoints.highlighted, 0u);
       s.key(NamedKey::Enter);
       EXPECT_EQ(s.app().model.origin_name, first.name);
       EXPECT_EQ(s.app().endpoints.active, NO_FIELD);
     }},
    {"the swap button exchanges origin and destination",
     {"--panel=directions"},
     1280,
     800,
     [](Session& s) {
       auto& m = s.app().model;
       ASSERT_TRUE(m.dest);
       if (!m.origin) {
         m.origin = LatLon{48.14, 11.56};
         m.origin_name = "Start";
       }
       auto const origin = m.origin;
       auto const dest = m.dest;
       std::string const origin_name = m.origin_name;
       std::string const dest_name = m.dest_name;
       s.frame();
       auto const swap = s.endpoint_hit(EndpointHitKind::Swap);
       ASSERT_TRUE(swap);
       s.click(*swap);
       EXPECT_EQ(m.origin, dest);
       EXPECT_EQ(m.dest, origin);
       EXPECT_EQ(m.origin_name, dest_name);
       EXPECT_EQ(m.dest_name, origin_name);
     }},
    {"directions after a search start where the user was looking",
     {},
     1280,
     800,
     [](Session& s) {
       auto& m = s.app().model;
       m.origin.reset();
       m.route.reset();
       m.dest.reset();
       m.query.clear();
       m.panel = Panel::Explore;
       s.frame();
       LatLon const looked_at = m.center;
       auto const field = s.search_item(SearchItem::field());
       ASSERT_TRUE(field);
       s.click(*field);
       s.type("viktualien");
       s.key(NamedKey::Enter);
       ASSERT_EQ(m.selected, "viktualienmarkt");
       EXPECT_FALSE(m.origin) << "opening a place leaves the origin alone";
       auto const directions =
           s.target([](UiAction const& a) { return a.is<UiAction::Directions>(); });
       ASSERT_TRUE(directions);
       s.click(*directions);
       ASSERT_TRUE(m.route);
       EXPECT_EQ(m.route->from, looked_at);
       EXPECT_GT(m.route->distance_m, 100.0);
     }},
    {"directions from a nearby row start where the user was looking",
     {"--pois"},
     1280,
     800,
     [](Session& s) {
       auto& m = s.app().model;
       m.origin.reset();
       s.app().selected_poi.reset();
       s.frame();
       LatLon const looked_at = m.center;
       auto const row = s.target([](UiAction const& a) {
         auto const* open = std::get_if<UiAction::OpenPoi>(&a.value);
         return open != nullptr && open->id == "osm-node-201";
       });
       ASSERT_TRUE(row);
       s.click(*row);
       ASSERT_EQ(s.app().selected_poi, "osm-node-201");
       EXPECT_FALSE(m.origin);
       auto const directions =
           s.target([](UiAction const& a) { return a.is<UiAction::PoiDirections>(); });
       ASSERT_TRUE(directions);
       s.click(*directions);
       ASSERT_TRUE(m.route);
       EXPECT_EQ(m.route->from, looked_at);
       EXPECT_GT(m.route->distance_m, 50.0);
     }},
    {"after opening a place and panning, the lists measure from the new centre",
     {"--panel=explore"},
     1280,
     800,
     [](Session& s) {
       auto& m = s.app().model;
       m.origin.reset();
       s.frame();
       auto const saved =
           s.target([](UiAction const& a) { return a.is<UiAction::OpenSavedPlace>(); });
       ASSERT_TRUE(saved);
       s.click(*saved);
       s.drag({800, 400}, {900, 450});
       EXPECT_FALSE(m.origin);
       EXPECT_EQ(s.app().origin_or_center(), m.center);
     }},
    {"after the clear button the next letters go on into the field",
     {"--search"},
     1280,
     800,
     [](Session& s) {
       auto const clear = s.search_item(SearchItem::clear());
       ASSERT_TRUE(clear);
       s.click(*clear);
       LatLon const centre = s.app().model.center;
       s.type("fo");
       EXPECT_TRUE(s.app().search_box.editing);
       EXPECT_EQ(s.app().model.query, "fo");
       EXPECT_EQ(s.app().model.center, centre) << "'f' ran as a shortcut";
     }},
    {"a press on the sheet's body keeps it open, its button closes it",
     {"--attribution"},
     1280,
     800,
     [](Session& s) {
       ASSERT_TRUE(attribution_sheet_open(s.app().attribution_sheet));
       zarn_ui::Rect const box = s.app().attribution_sheet.dialog.box_rect;
       s.press_still({(box.x0 + box.x1) / 2, box.y0 + 60});
       EXPECT_TRUE(attribution_sheet_open(s.app().attribution_sheet));
       zarn_ui::Rect const close = s.app().attribution_sheet.dialog.primary_rect;
       s.press_still({(close.x0 + close.x1) / 2, (close.y0 + close.y1) / 2});
       EXPECT_FALSE(attribution_sheet_open(s.app().attribution_sheet));
     }},
    {"with the suggestion list open the wheel zooms the map where the panel is hidden",
     {"--panel=explore"},
     1280,
     560,
     [](Session& s) {
       zarn_ui::Rect const panel = s.app().side_panel_rect();
       Point const low_in_panel{(panel.x0 + panel.x1) / 2, panel.y1 - 20};
       s.wheel(low_in_panel, -1.0f);
       ASSERT_GT(s.app().panel_scroll[0], 0.0)
           << "the panel must scroll for the case to mean something";
       auto const field = s.search_item(SearchItem::field());
       ASSERT_TRUE(field);
       s.click(*field);
       if (auto const clear = s.search_item(SearchItem::clear())) {
         s.click(*clear);
       }
       s.type("mar");
       ASSERT_TRUE(search_suggestions_shown(s.app().search_box, s.app().model.query));
       ASSERT_FALSE(s.target([](UiAction const& a) {
         return a.is<UiAction::TogglePanelCollapse>();
       })) << "the list hides the panel";

       double const scrolled = s.app().panel_scroll[0];
       double const zoom = s.app().model.zoom;
       s.wheel(low_in_panel, -1.0f);
       EXPECT_EQ(s.app().panel_scroll[0], scrolled) << "the hidden panel scrolled";
       EXPECT_LT(s.app().model.zoom, zoom) << "the map under the pointer did not zoom";

       auto const row = s.search_item(SearchItem::result(0));
       ASSERT_TRUE(row);
       double const zoom_before_list = s.app().model.zoom;
       s.wheel(*row, -1.0f);
       EXPECT_EQ(s.app().model.zoom, zoom_before_list) << "the map zoomed under the list";
       EXPECT_EQ(s.app().panel_scroll[0], scrolled);
       EXPECT_TRUE(search_suggestions_shown(s.app().search_box, s.app().model.query));
     }},
    {"behind the open sheet nothing runs, and the sheet's own control performs",
     {"--attribution"},
     1280,
     800,
     [](Session& s) {
       auto const tree = s.app().accessibility_tree();
       ASSERT_TRUE(tree);
       ASSERT_FALSE(tree->children.empty());
       EXPECT_EQ(tree->children[0].id_text, "modal.primary");
       std::size_t const first[] = {0};
       EXPECT_EQ(s.app().semantic_node_rect(first), s.app().attribution_sheet.dialog.primary_rect);

       auto const none = zarn_ui::widget::SemanticArgument::empty();
       double const zoom = s.app().model.zoom;
       for (char const* id : {"maps.control:zoom-in", "maps.control:traffic", "maps.overflow"}) {
         SCOPED_TRACE(id);
         EXPECT_FALSE(s.app().perform_semantic_action(*s.state, id, none));
       }
       EXPECT_EQ(s.app().model.zoom, zoom);
       EXPECT_FALSE(s.app().traffic_on);
       EXPECT_FALSE(s.app().overflow_menu.is_open());

       EXPECT_TRUE(s.app().perform_semantic_action(*s.state, "modal.primary", none));
       s.frame();
       EXPECT_FALSE(attribution_sheet_open(s.app().attribution_sheet));
     }},
    {"the accessibility tree's focus follows the keyboard: field, highlighted row, menu item",
     {"--search"},
     1280,
     800,
     [](Session& s) {
       auto const focused = [&s] { return focused_ids(s); };
       EXPECT_EQ(focused(), std::vector<std::string>{"maps.search"});
       ASSERT_FALSE(s.app().search_box.suggestions.empty());
       std::string const first = "maps.search-result:" + s.app().search_box.suggestions[0].id;
       s.key(NamedKey::ArrowDown);
       EXPECT_EQ(focused(), std::vector<std::string>{first});
       // On the bus the rows are the items of one list, the highlighted one focused.
       {
         namespace a11y = zarn_ui::a11y;
         auto const bus = bus_tree(s);
         ASSERT_GE(bus.focused, 0);
         auto const& row = bus.nodes[static_cast<std::size_t>(bus.focused)];
         EXPECT_EQ(row.id_text, first);
         EXPECT_EQ(row.role, a11y::atspi_role::LIST_ITEM);
         EXPECT_EQ(row.actions, std::vector{zarn_ui::access::AccessAction::Press});
         ASSERT_GE(row.parent, 0);
         auto const& list = bus.nodes[static_cast<std::size_t>(row.parent)];
         EXPECT_EQ(list.role, a11y::atspi_role::LIST);
         auto const tree = s.app().accessibility_tree();
         ASSERT_TRUE(tree);
         EXPECT_EQ(list.children.size(),
                   static_cast<std::size_t>(std::count_if(
                       tree->children.begin(), tree->children.end(),
                       [](auto const& n) { return n.id_text.starts_with("maps.search-result:"); })))
             << "every shown row is in the list";
         EXPECT_GE(list.children.size(), 2u);
         EXPECT_TRUE(std::none_of(bus.nodes.begin(), bus.nodes.end(), [&](auto const& n) {
           return n.role == a11y::atspi_role::PUSH_BUTTON &&
                  n.id_text.starts_with("maps.search-result:");
         })) << "a suggestion row stayed a button";
       }
       // Escape ends the editing; the field keeps the focus.
       s.key(NamedKey::Escape);
       EXPECT_FALSE(s.app().search_box.editing);
       EXPECT_EQ(focused(), std::vector<std::string>{"maps.search"});
       s.type("/");
       EXPECT_EQ(focused(), std::vector<std::string>{"maps.search"});

       // The open menu takes the keys and the focus on its first item; its item performs as if
       // chosen.
       ASSERT_TRUE(s.app().perform_semantic_action(*s.state, "maps.overflow", {}));
       s.frame();
       EXPECT_EQ(focused(), std::vector<std::string>{"maps.menu:0"});
       s.key(NamedKey::ArrowDown);
       EXPECT_EQ(focused(), std::vector<std::string>{"maps.menu:1"});
       s.key(NamedKey::ArrowUp);
       EXPECT_EQ(focused(), std::vector<std::string>{"maps.menu:0"});
       EXPECT_FALSE(s.app().perform_semantic_action(*s.state, "maps.menu:9", {}));
       EXPECT_TRUE(s.app().perform_semantic_action(*s.state, "maps.menu:0", {}));
       s.frame();
       EXPECT_FALSE(s.app().overflow_menu.is_open());
       EXPECT_TRUE(attribution_sheet_open(s.app().attribution_sheet));
     }},
    {"the route endpoint fields read as text entries whose focus follows clicks between them",
     {"--panel=directions"},
     1280,
     800,
     [](Session& s) {
       namespace a11y = zarn_ui::a11y;
       EXPECT_TRUE(focused_ids(s).empty());
       ASSERT_TRUE(s.app().endpoints.origin_rect && s.app().endpoints.dest_rect);
       s.click(s.app().endpoints.origin_rect->center());
       EXPECT_EQ(focused_ids(s), std::vector<std::string>{"maps.route.origin"});
       s.click(s.app().endpoints.dest_rect->center());
       EXPECT_EQ(focused_ids(s), std::vector<std::string>{"maps.route.destination"});
       auto const before = bus_tree(s);
       s.click(s.app().endpoints.origin_rect->center());
       auto const after = bus_tree(s);
       std::vector<std::string> focus_events;
       for (auto const& e : a11y::tree_changes(before, after)) {
         if (e.detail == "focused" || e.member == "Focus") {
           focus_events.push_back(
               fmt::format("{} {} {}", after.find(e.path)->name, e.member, e.detail1));
         }
       }
       EXPECT_EQ(focus_events, (std::vector<std::string>{"Choose destination StateChanged 0",
                                                         "Choose starting point StateChanged 1",
                                                         "Choose starting point Focus 0"}));
       s.type("Haupt");
       {
         auto const bus = bus_tree(s);
         ASSERT_GE(bus.focused, 0);
         auto const& field = bus.nodes[static_cast<std::size_t>(bus.focused)];
         EXPECT_EQ(field.role, a11y::atspi_role::ENTRY);
         EXPECT_EQ(field.name, "Choose starting point");
         for (auto const state : {a11y::atspi_state::EDITABLE, a11y::atspi_state::SINGLE_LINE,
                                  a11y::atspi_state::FOCUSABLE, a11y::atspi_state::FOCUSED}) {
           EXPECT_TRUE(field.has_state(state)) << "state " << state;
         }
         EXPECT_EQ(field.text, "Haupt");
         EXPECT_EQ(field.caret, 5);
         EXPECT_EQ(field.character_count, 5);
       }
       s.key(NamedKey::Escape);
       EXPECT_EQ(focused_ids(s), std::vector<std::string>{"maps.route.origin"});
       // A screen reader's focus action starts editing as a click does.
       EXPECT_TRUE(s.app().perform_semantic_action(*s.state, "maps.route.destination", {}));
       s.frame();
       EXPECT_EQ(focused_ids(s), std::vector<std::string>{"maps.route.destination"});
     }},
    {"the highlighted endpoint suggestion holds the focus as an item of its field's list",
     {"--edit-from"},
     1280,
     800,
     [](Session& s) {
       namespace a11y = zarn_ui::a11y;
       EXPECT_EQ(focused_ids(s), std::vector<std::string>{"maps.route.origin"});
       ASSERT_FALSE(s.app().endpoints.origin_suggestions.empty());
       Place const row_place = s.app().endpoints.origin_suggestions.back();
       for (std::size_t i = 0; i < s.app().endpoints.origin_suggestions.size(); ++i) {
         s.key(NamedKey::ArrowDown);
       }
       EXPECT_EQ(focused_ids(s), std::vector<std::string>{"maps.endpoint-result:" + row_place.id});
       auto const bus = bus_tree(s);
       ASSERT_GE(bus.focused, 0);
       auto const& row = bus.nodes[static_cast<std::size_t>(bus.focused)];
       EXPECT_EQ(row.role, a11y::atspi_role::LIST_ITEM);
       EXPECT_EQ(row.name, row_place.name);
       ASSERT_GE(row.parent, 0);
       auto const& list = bus.nodes[static_cast<std::size_t>(row.parent)];
       EXPECT_EQ(list.role, a11y::atspi_role::LIST);
       EXPECT_EQ(list.name, "Starting point suggestions");
       EXPECT_EQ(list.children.size(),
                 std::min(s.app().endpoints.origin_suggestions.size(), MAX_SUGGESTION_ROWS));
       // The row's action picks it as a press does.
       EXPECT_TRUE(s.app().perform_semantic_action(*s.state, row.id_text, {}));
       s.frame();
       EXPECT_EQ(s.app().model.origin_name, row_place.name);
       EXPECT_EQ(focused_ids(s), std::vector<std::string>{"maps.route.origin"});
     }},
    {"an assistive tool sets the search and endpoint fields' text as if it were typed",
     {"--panel=directions"},
     1280,
     800,
     [](Session& s) {
       using zarn_ui::widget::SemanticArgument;
       EXPECT_TRUE(s.app().perform_semantic_action(*s.state, "maps.route.destination",
                                                   SemanticArgument::with_text("Marien")));
       s.frame();
       EXPECT_EQ(s.app().endpoints.active, DEST_FIELD);
       EXPECT_EQ(s.app().endpoints.dest_input.text(), "Marien");
       EXPECT_EQ(s.app().model.dest_query, "Marien");
       EXPECT_EQ(focused_ids(s), std::vector<std::string>{"maps.route.destination"});

       EXPECT_TRUE(s.app().perform_semantic_action(*s.state, "maps.search",
                                                   SemanticArgument::with_text("Marienplatz")));
       s.frame();
       EXPECT_EQ(s.app().endpoints.active, NO_FIELD) << "the endpoint field kept the keyboard";
       EXPECT_EQ(s.app().model.query, "Marienplatz");
       EXPECT_TRUE(s.app().search_box.editing);
       EXPECT_FALSE(s.app().search_box.suggestions.empty())
           << "the typed text found no local match";
       EXPECT_FALSE(s.app().perform_semantic_action(*s.state, "maps.control:zoom-in",
                                                    SemanticArgument::with_text("3")));
     }},
    {"locating on a desktop without a location service leaves the side panel uncovered",
     {"--empty"},
     1280,
     800,
     [](Session& s) {
       // A live request over a bus that is not there fails at once, as on a desktop without one.
       s.app().live = true;
       s.app().location_config.bus_address = "unix:path=/nonexistent/maps-scenario-bus";
       s.click(map_control_rect(s.app().map_rect, 2).center());
       for (int i = 0; i < 1000 && s.app().locating; ++i) {
         std::this_thread::sleep_for(std::chrono::milliseconds(5));
         s.frame();
       }
       ASSERT_FALSE(s.app().locating);
       std::string const status =
           "Location unavailable \xE2\x80\x94 no location service on this desktop";
       EXPECT_EQ(s.app().model.status, status);
       auto const* painted = probe::find_text_cmd(s.scene, status);
       ASSERT_NE(painted, nullptr) << "the pill's text is cut or missing";
       double const pill_left = painted->transform.e - 28.0;
       EXPECT_GE(pill_left, s.app().side_panel_rect().x1);
     }},
    {"the navigation card dragged out of the window stays within reach, also after a resize",
     {},
     1280,
     800,
     [](Session& s) {
       ASSERT_TRUE(s.app().model.route);
       s.app().nav_placement.set_reduce_motion(true); // its hand-off plays on the wall clock
       Rect const window = s.app().window_rect();
       Rect const header = s.app().nav_card_rects[NAV_DRAG_HEADER];
       ASSERT_FALSE(header.is_empty());
       s.drag(header.center(), {window.x1 + 300, window.y1 + 200});
       auto const grip_reachable = [&s](char const* when) {
         SCOPED_TRACE(when);
         Rect const w = s.app().window_rect();
         Rect const grip = s.app().nav_card_rects[NAV_DRAG_HEADER];
         ASSERT_FALSE(grip.is_empty());
         EXPECT_TRUE(w.contains(grip.origin()) && w.contains({grip.x1 - 1, grip.y1 - 1}));
         Rect const end = s.app().nav_card_rects[NAV_END_BUTTON];
         EXPECT_TRUE(w.contains(end.origin()) && w.contains({end.x1 - 1, end.y1 - 1}));
       };
       grip_reachable("after the drag");
       s.resize(420, 600);
       grip_reachable("after the resize");

       Point const grab = s.app().nav_card_rects[NAV_DRAG_HEADER].center();
       s.drag(grab, {grab.x - 30, grab.y - 200});
       EXPECT_NEAR(s.app().nav_card_rects[NAV_DRAG_HEADER].center().y, grab.y - 200, 1.0)
           << "the card does not follow its grip";
       grip_reachable("after dragging it back");
     }},
    {"the navigation card handed to the desktop leaves nothing pressable in the window",
     {},
     1280,
     800,
     [](Session& s) {
       ASSERT_TRUE(s.app().model.route);
       Point const end = s.app().nav_card_rects[NAV_END_BUTTON].center();
       zarn_ui::floating_surface::PlacementEvent moved;
       moved.kind = zarn_ui::floating_surface::PlacementEventKind::Moved;
       moved.surface_id = std::string(NAV_SURFACE_ID);
       moved.rect = {1400, 100, 376, 172};
       moved.flag = true;
       s.app().apply_placement_event(moved);
       s.frame();
       EXPECT_EQ(s.app().nav_card_rects[NAV_END_BUTTON], Rect{});
       s.move(end);
       EXPECT_FALSE(s.app().nav_card_hover);
       s.click(end);
       EXPECT_TRUE(s.app().model.route) << "a press where the card is not painted ended navigation";
     }},
    {"compact panel open: the map controls lie dimmed under the scrim and only the scrim takes "
     "their presses",
     {},
     420,
     800,
     [](Session& s) {
       ASSERT_TRUE(s.app().nav_open);
       Rect const window = s.app().window_rect();
       auto const scrim = scrim_index(s, window);
       ASSERT_TRUE(scrim);
       for (std::uint8_t i = 0; i < MAP_CONTROL_COUNT; ++i) {
         SCOPED_TRACE(i);
         bool painted_over = false;
         for (std::size_t k = *scrim; k < s.scene.commands.size(); ++k) {
           if (auto const* f = std::get_if<zarn_ui::FillCmd>(&s.scene.commands[k])) {
             auto const* r = std::get_if<zarn_ui::RoundedRect>(&f->shape);
             painted_over |= r != nullptr && r->rect == map_control_rect(s.app().map_rect, i);
           }
         }
         EXPECT_FALSE(painted_over) << "a control is painted over the scrim";
       }
       EXPECT_FALSE(tree_has(s.app(), "maps.control:traffic"));
       Point const more = overflow_button_rect(window).center();
       EXPECT_LT(disc_index(s, more).value_or(~std::size_t{0}), *scrim);
       EXPECT_TRUE(tree_has(s.app(), "maps.navigation")) << "the toggle is above the scrim";

       Point const traffic = map_control_rect(s.app().map_rect, 3).center();
       s.move(traffic);
       s.wait(std::chrono::milliseconds(2000));
       EXPECT_EQ(s.app().hot_control, NO_MAP_CONTROL);
       EXPECT_FALSE(s.app().tooltips.shown()) << "a tooltip for a control under the scrim";

       double const zoom = s.app().model.zoom;
       s.click(map_control_rect(s.app().map_rect, 0).center());
       EXPECT_FALSE(s.app().nav_open);
       EXPECT_EQ(s.app().model.zoom, zoom);
       s.click(map_control_rect(s.app().map_rect, 0).center());
       EXPECT_GT(s.app().model.zoom, zoom) << "with the panel closed the control is live";
       EXPECT_TRUE(tree_has(s.app(), "maps.control:traffic"));
     }},
    {"with the offline panel open the card and the overflow button lie under its scrim",
     {},
     1280,
     800,
     [](Session& s) {
       ASSERT_TRUE(s.app().model.route);
       Point const end = s.app().nav_card_rects[NAV_END_BUTTON].center();
       s.type("m");
       ASSERT_TRUE(s.app().offline_panel.open);
       Rect const window = s.app().window_rect();
       auto const scrim = scrim_index(s, window);
       ASSERT_TRUE(scrim);
       Point const more = overflow_button_rect(window).center();
       EXPECT_LT(disc_index(s, more).value_or(~std::size_t{0}), *scrim);
       auto const* card_title = probe::find_text_cmd(s.scene, "Navigation");
       ASSERT_NE(card_title, nullptr);
       std::size_t title_index = 0;
       for (std::size_t k = 0; k < s.scene.commands.size(); ++k) {
         if (std::get_if<zarn_ui::TextCmd>(&s.scene.commands[k]) == card_title) {
           title_index = k;
         }
       }
       EXPECT_LT(title_index, *scrim) << "the card is painted over the panel's scrim";

       s.move(more);
       s.wait(std::chrono::milliseconds(2000));
       EXPECT_FALSE(s.app().tooltips.shown()) << "a tooltip for a button under the scrim";
       s.move(end);
       EXPECT_FALSE(s.app().nav_card_hover);
       s.click(end);
       EXPECT_TRUE(s.app().model.route) << "a press under the scrim ended navigation";
     }},
    {"the navigation card's body takes the press, the overflow button over it keeps its own",
     {},
     1280,
     800,
     [](Session& s) {
       s.app().nav_placement.set_reduce_motion(true);
       Rect const card = nav_card_window_rect(s.app());
       LatLon const centre = s.app().model.center;
       s.drag({card.x0 + 120, card.y0 + 80}, {card.x0 + 20, card.y0 + 20});
       EXPECT_EQ(s.app().model.center, centre) << "the map under the card was dragged";
       EXPECT_TRUE(s.app().model.route);

       // Down to the window's bottom, where the overflow button is painted over the card.
       Point const grip = s.app().nav_card_rects[NAV_DRAG_HEADER].center();
       s.drag(grip, {grip.x, grip.y + 150});
       Rect const more = overflow_button_rect(s.app().window_rect());
       ASSERT_FALSE(nav_card_window_rect(s.app()).intersect(more).is_empty());
       s.click(more.center());
       EXPECT_TRUE(s.app().overflow_menu.is_open());
     }},
};

class ScenarioTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(ScenarioTest, Runs) {
  Scenario const& sc = GetParam();
  Session session(sc.switches, sc.width, sc.height);
  sc.script(session);
}

std::string scenario_name(::testing::TestParamInfo<Scenario> const& info) {
  std::string out;
  for (char const* c = info.param.name; *c != '\0'; ++c) {
    bool const alnum =
        (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9');
    if (alnum) {
      out += out.empty() || out.back() == '_'
                 ? static_cast<char>(*c >= 'a' && *c <= 'z' ? *c - 32 : *c)
                 : *c;
    } else if (!out.empty() && out.back() != '_') {
      out += '_';
    }
  }
  return out;
}

/// What takes presses side by side in the window, as the last frame laid it out: the live map
/// controls, the overflow button, the compact toggle, the search bar, the side panel, the
/// navigation card and the point-of-interest card. Lists and modal panels are left out: they
/// are painted over the rest on purpose.
std::vector<std::pair<std::string, Rect>> pressable_surfaces(MapsApp const& app) {
  std::vector<std::pair<std::string, Rect>> out;
  if (!map_under_scrim(app)) {
    for (std::uint8_t i = 0; i < MAP_CONTROL_COUNT; ++i) {
      out.emplace_back("map control " + std::to_string(i), map_control_rect(app.map_rect, i));
    }
  }
  for (std::size_t k = 0; k < app.hit_targets.size(); ++k) {
    auto const& t = app.hit_targets[k];
    if (t.action.is<UiAction::Overflow>()) {
      out.emplace_back("overflow button", t.rect);
    } else if (t.action.is<UiAction::ToggleNavigation>()) {
      out.emplace_back("navigation toggle", t.rect);
    } else if (t.action.is<UiAction::ClosePoi>() && k > 0) {
      out.emplace_back("point-of-interest card", app.hit_targets[k - 1].rect);
    }
  }
  out.emplace_back("search bar", app.search_bar_rect());
  switch (side_panel_shown(app)) {
  case SidePanelShown::Full:
    out.emplace_back("side panel", app.side_panel_rect());
    break;
  case SidePanelShown::Stub: {
    Rect const p = app.side_panel_rect();
    out.emplace_back("side panel stub", Rect{p.x0, p.y0, p.x1, p.y0 + 60});
    break;
  }
  case SidePanelShown::Nothing:
    break;
  }
  if (!app.nav_card_rects[NAV_DRAG_HEADER].is_empty()) {
    out.emplace_back("navigation card", nav_card_window_rect(app));
  }
  return out;
}

TEST(Layout, NoControlCoversAnotherAtAnyWidthDownToTheMinimumWindow) {
  auto const [min_w, min_h] = minimum_window_size();
  struct Case {
    char const* name;
    std::vector<std::string> switches;
    bool select_poi; // a point of interest selected while a route is active
  } const cases[] = {
      {"route, panel open", {}, false},
      {"route, panel closed", {"--nav-closed"}, false},
      {"points of interest", {"--pois"}, false},
      {"points of interest, panel closed", {"--pois", "--nav-closed"}, false},
      {"point of interest beside the route", {"--nav-closed"}, true},
      {"point of interest beside the route, panel open", {}, true},
      {"traffic", {"--traffic", "--nav-closed"}, false},
  };
  std::pair<double, double> const sizes[] = {
      {1280, 800}, {900, 700}, {720, 800}, {719, 800}, {420, 800}, {double(min_w), double(min_h)}};
  for (auto const& c : cases) {
    for (auto const& [w, h] : sizes) {
      SCOPED_TRACE(fmt::format("{} at {}x{}", c.name, w, h));
      Session s(c.switches, w, h);
      if (c.select_poi) {
        s.app().nearby_pois = sample_pois();
        s.app().selected_poi = "osm-node-203";
        s.frame();
      }
      auto const surfaces = pressable_surfaces(s.app());
      for (std::size_t i = 0; i < surfaces.size(); ++i) {
        for (std::size_t j = i + 1; j < surfaces.size(); ++j) {
          Rect const o = surfaces[i].second.intersect(surfaces[j].second);
          EXPECT_TRUE(o.is_empty())
              << surfaces[i].first << " and " << surfaces[j].first << " overlap";
        }
        Rect const window = s.app().window_rect();
        Rect const inside = surfaces[i].second.intersect(window);
        EXPECT_EQ(inside, surfaces[i].second) << surfaces[i].first << " leaves the window";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(UserSessions, ScenarioTest, ::testing::ValuesIn(SCENARIOS), scenario_name);

} // namespace
} // namespace maps::test
