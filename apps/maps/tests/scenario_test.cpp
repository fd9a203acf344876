// User sessions through the event path: presses, keys and wheel turns sent through handle_event
// with frames drawn in between, as the window loop runs them.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "input/semantics.h"
#include "scenario.h"

namespace maps::test {
namespace {

using zarn_ui::NamedKey;
using zarn_ui::Point;

Scenario const SCENARIOS[] = {
    {"pressing a search suggestion opens the row that was seen", {"--search"}, 1280, 800,
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
    {"arrow keys walk the search suggestions and Enter opens the highlighted one", {"--search"},
     1280, 800,
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
    {"pressing an endpoint suggestion picks the row that was seen", {"--edit-from"}, 1280, 800,
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
     {"--edit-from"}, 1280, 800,
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
    {"the swap button exchanges origin and destination", {"--panel=directions"}, 1280, 800,
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
    {"directions after a search start where the user was looking", {}, 1280, 800,
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
       auto const directions = s.target([](UiAction const& a) { return a.is<UiAction::Directions>(); });
       ASSERT_TRUE(directions);
       s.click(*directions);
       ASSERT_TRUE(m.route);
       EXPECT_EQ(m.route->from, looked_at);
       EXPECT_GT(m.route->distance_m, 100.0);
     }},
    {"directions from a nearby row start where the user was looking", {"--pois"}, 1280, 800,
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
     {"--panel=explore"}, 1280, 800,
     [](Session& s) {
       auto& m = s.app().model;
       m.origin.reset();
       s.frame();
       auto const saved = s.target([](UiAction const& a) { return a.is<UiAction::OpenSavedPlace>(); });
       ASSERT_TRUE(saved);
       s.click(*saved);
       s.drag({800, 400}, {900, 450});
       EXPECT_FALSE(m.origin);
       EXPECT_EQ(s.app().origin_or_center(), m.center);
     }},
    {"after the clear button the next letters go on into the field", {"--search"}, 1280, 800,
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
    {"a press on the sheet's body keeps it open, its button closes it", {"--attribution"}, 1280, 800,
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
     {"--panel=explore"}, 1280, 560,
     [](Session& s) {
       zarn_ui::Rect const panel = s.app().side_panel_rect();
       Point const low_in_panel{(panel.x0 + panel.x1) / 2, panel.y1 - 20};
       s.wheel(low_in_panel, -1.0f);
       ASSERT_GT(s.app().panel_scroll[0], 0.0) << "the panel must scroll for the case to mean something";
       auto const field = s.search_item(SearchItem::field());
       ASSERT_TRUE(field);
       s.click(*field);
       if (auto const clear = s.search_item(SearchItem::clear())) {
         s.click(*clear);
       }
       s.type("mar");
       ASSERT_TRUE(search_suggestions_shown(s.app().search_box, s.app().model.query));
       ASSERT_FALSE(s.target([](UiAction const& a) { return a.is<UiAction::TogglePanelCollapse>(); }))
           << "the list hides the panel";

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
    {"behind the open sheet nothing runs, and the sheet's own control performs", {"--attribution"},
     1280, 800,
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
     1280, 800,
     [](Session& s) {
       auto const focused = [&s] {
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
       };
       EXPECT_EQ(focused(), std::vector<std::string>{"maps.search"});
       ASSERT_FALSE(s.app().search_box.suggestions.empty());
       std::string const first = "maps.search-result:" + s.app().search_box.suggestions[0].id;
       s.key(NamedKey::ArrowDown);
       EXPECT_EQ(focused(), std::vector<std::string>{first});
       s.key(NamedKey::Escape);
       EXPECT_TRUE(focused().empty());
       s.type("/");
       EXPECT_EQ(focused(), std::vector<std::string>{"maps.search"});

       // The open menu takes the keys and the focus; its item performs as if chosen.
       ASSERT_TRUE(s.app().perform_semantic_action(*s.state, "maps.overflow", {}));
       s.frame();
       EXPECT_TRUE(focused().empty());
       s.key(NamedKey::ArrowDown);
       EXPECT_EQ(focused(), std::vector<std::string>{"maps.menu:0"});
       EXPECT_FALSE(s.app().perform_semantic_action(*s.state, "maps.menu:9", {}));
       EXPECT_TRUE(s.app().perform_semantic_action(*s.state, "maps.menu:0", {}));
       s.frame();
       EXPECT_FALSE(s.app().overflow_menu.is_open());
       EXPECT_TRUE(attribution_sheet_open(s.app().attribution_sheet));
     }},
    {"locating on a desktop without a location service leaves the side panel uncovered", {"--empty"},
     1280, 800,
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
       std::string const status = "Location unavailable: no location service on this desktop";
       EXPECT_EQ(s.app().model.status, status);
       auto const* painted = probe::find_text_cmd(s.scene, status);
       ASSERT_NE(painted, nullptr) << "the pill's text is cut or missing";
       double const pill_left = painted->transform.e - 28.0;
       EXPECT_GE(pill_left, s.app().side_panel_rect().x1);
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
    bool const alnum = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9');
    if (alnum) {
      out += out.empty() || out.back() == '_' ? static_cast<char>(*c >= 'a' && *c <= 'z' ? *c - 32 : *c) : *c;
    } else if (!out.empty() && out.back() != '_') {
      out += '_';
    }
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(UserSessions, ScenarioTest, ::testing::ValuesIn(SCENARIOS), scenario_name);

} // namespace
} // namespace maps::test
