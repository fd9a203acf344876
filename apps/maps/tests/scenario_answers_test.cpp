// User sessions in which what the user or the platform is told must agree with what happened:
// answers of searches, the marks on lists, the published actions and the resource verbs, with
// frames drawn in between as the window loop runs them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "doc/load.h"
#include "input/semantics.h"
#include "local_server.h"
#include "scenario.h"

namespace maps::test {
namespace {

std::vector<std::uint8_t> json(std::string_view text) {
  return {text.begin(), text.end()};
}

/// Runs a verb of a resource as the platform does: the encoded action applied to the document.
void run_resource_verb(Session& s, std::string_view resource, std::string_view verb) {
  auto const found = s.app().resolve_resource(*s.state, resource);
  ASSERT_TRUE(found) << resource;
  auto const* verb_action = found->find_action(verb);
  ASSERT_TRUE(verb_action != nullptr && verb_action->handler) << verb;
  auto const applied = s.state->apply_external(verb_action->invoke({}));
  ASSERT_TRUE(applied) << applied.error().display();
}

/// The first painted hit target whose action satisfies `pick` (a row of the first list showing it).
std::optional<zarn_ui::Rect> first_target(Session& s,
                                          std::function<bool(UiAction const&)> const& pick) {
  for (auto const& t : s.app().hit_targets) {
    if (pick(t.action)) {
      return t.rect;
    }
  }
  return std::nullopt;
}

bool painted_inside(Session const& s, std::string_view text, zarn_ui::Rect const& r) {
  for (auto const* cmd : probe::text_cmds(s.scene)) {
    if (cmd->text == text && r.contains({cmd->transform.e + 1.0, cmd->transform.f + 1.0})) {
      return true;
    }
  }
  return false;
}

constexpr std::int32_t MAX_OFFSET = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t MIN_OFFSET = std::numeric_limits<std::int32_t>::min();

Scenario const SCENARIOS[] = {
    {"the search field, its clear button and its suggestions stand together in the tree",
     {"--pois"},
     1280,
     800,
     [](Session& s) {
       ASSERT_TRUE(s.app().selected_poi) << "the place card must be painted for the case";
       auto const field = s.search_item(SearchItem::field());
       ASSERT_TRUE(field);
       s.click(*field);
       s.type("mar");
       ASSERT_TRUE(search_suggestions_shown(s.app().search_box, s.app().model.query));
       ASSERT_TRUE(s.painted("Directions")) << "the place card is painted under the list";

       auto const tree = s.app().accessibility_tree();
       ASSERT_TRUE(tree);
       std::vector<std::string> ids;
       for (auto const& node : tree->children) {
         ids.push_back(node.id_text);
       }
       auto const at = std::find(ids.begin(), ids.end(), "maps.search");
       ASSERT_NE(at, ids.end());
       std::size_t const rows = std::min<std::size_t>(s.app().search_box.suggestions.size(), 6);
       ASSERT_GE(rows, 1u);
       ASSERT_GE(static_cast<std::size_t>(ids.end() - at), 2 + rows);
       EXPECT_EQ(at[1], "maps.search.clear");
       for (std::size_t i = 0; i < rows; ++i) {
         EXPECT_TRUE(at[2 + i].starts_with("maps.search-result:")) << at[2 + i];
       }
       EXPECT_TRUE(std::find(at, ids.end(), "maps.poi.directions") == ids.end())
           << "the place card's controls stand inside the search box's run";

       Place const seen = s.app().search_box.suggestions[0];
       auto const row = s.search_item(SearchItem::result(0));
       ASSERT_TRUE(row);
       s.click(*row);
       EXPECT_EQ(s.app().model.selected, seen.id);
     }},
    {"the list under an endpoint field ends its search with the answer",
     {"--panel=directions"},
     1280,
     800,
     [](Session& s) {
       constexpr std::string_view SEARCHING = "Searching\xE2\x80\xA6";
       struct Case {
         char const* name;
         bool live;
         int status;
         char const* body;
         char const* shown;
       } const cases[] = {
           {"without a service", false, 0, "", "No matches"},
           {"nothing found", true, 200, "[]", "No matches"},
           {"the service failed", true, 500, "{}", "Search failed: HTTP 500 Internal Server Error"},
       };
       ScriptedServer server;
       for (auto const& c : cases) {
         SCOPED_TRACE(c.name);
         MapsApp& app = s.app();
         app.live = c.live;
         app.services = ServiceUrls{server.base_url(), server.base_url(), server.base_url(),
                                    server.base_url()};
         server.answer(c.status, c.body);
         s.frame();
         auto const field = s.endpoint_hit(EndpointHitKind::Field);
         ASSERT_TRUE(field);
         s.click(*field);
         ASSERT_EQ(app.endpoints.active, ORIGIN_FIELD);
         s.type("zzqx");
         EXPECT_TRUE(s.painted(SEARCHING));
         s.wait(std::chrono::milliseconds(300));
         for (int i = 0; i < 1000 && app.jobs_in_flight > 0; ++i) {
           std::this_thread::sleep_for(std::chrono::milliseconds(5));
           s.frame();
         }
         ASSERT_EQ(app.jobs_in_flight, 0u);
         auto const& hits = app.endpoints.hits;
         auto const card = std::find_if(hits.begin(), hits.end(), [](EndpointHit const& h) {
           return h.kind == EndpointHitKind::Inert;
         });
         ASSERT_NE(card, hits.end()) << "no card under the field";
         EXPECT_FALSE(painted_inside(s, SEARCHING, card->rect));
         EXPECT_TRUE(painted_inside(s, c.shown, card->rect));
         s.key(zarn_ui::NamedKey::Escape);
       }
     }},
    {"saving the selected place marks its row among the results, unsaving unmarks it",
     {"--panel=explore"},
     1280,
     800,
     [](Session& s) {
       std::string const id = "marienplatz";
       ASSERT_EQ(s.app().model.selected, id);
       auto const is_row = [&](UiAction const& a) {
         auto const* open = std::get_if<UiAction::OpenSavedPlace>(&a.value);
         return open != nullptr && open->id == id;
       };
       auto const save = s.target([](UiAction const& a) { return a.is<UiAction::ToggleSaved>(); });
       ASSERT_TRUE(save);
       for (bool const saved : {true, false}) {
         SCOPED_TRACE(saved ? "saved" : "unsaved");
         s.click(*save);
         auto const row = first_target(s, is_row);
         ASSERT_TRUE(row) << "no RESULTS row";
         EXPECT_EQ(painted_inside(s, "\xE2\x99\xA5", *row), saved);
       }
     }},
    {"after End the directions panel speaks of the endpoints still filled",
     {"--nav-closed"},
     420,
     800,
     [](Session& s) {
       auto& m = s.app().model;
       m.panel = Panel::Directions;
       s.frame();
       ASSERT_TRUE(m.route);
       zarn_ui::Rect const end = s.app().nav_card_rects[0];
       ASSERT_FALSE(end.is_empty()) << "the card's End button is not painted";
       s.click(end.center());
       ASSERT_FALSE(m.route);
       auto const menu =
           s.target([](UiAction const& a) { return a.is<UiAction::ToggleNavigation>(); });
       ASSERT_TRUE(menu);
       s.click(*menu);
       ASSERT_TRUE(s.app().nav_open);
       ASSERT_TRUE(m.origin && m.dest);
       EXPECT_TRUE(s.painted(m.dest_name));
       EXPECT_FALSE(s.painted("Select a place, then tap Directions."));
       EXPECT_TRUE(s.painted("Route cleared."));
     }},
    {"a published search stays in the history after the next search from the box",
     {},
     1280,
     800,
     [](Session& s) {
       auto const published = s.app().invoke_action(2, "maps.search", json("\"Hofgarten\""));
       ASSERT_TRUE(published && *published);
       s.frame();
       auto const field = s.search_item(SearchItem::field());
       ASSERT_TRUE(field);
       s.click(*field);
       if (auto const clear = s.search_item(SearchItem::clear())) {
         s.click(*clear);
       }
       s.type("viktualien");
       s.key(zarn_ui::NamedKey::Enter);
       std::vector<std::string> const both{"viktualien", "Hofgarten"};
       auto const& recents = s.app().model.recents;
       ASSERT_GE(recents.size(), 2u);
       EXPECT_EQ(std::vector<std::string>(recents.begin(), recents.begin() + 2), both);
       auto const stored = load_model_from_doc(s.doc());
       ASSERT_TRUE(stored);
       ASSERT_GE(stored->recents.size(), 2u);
       EXPECT_EQ(std::vector<std::string>(stored->recents.begin(), stored->recents.begin() + 2),
                 both);
     }},
    {"the planning verbs move a stored offset near the 32-bit limits to the near end of the day",
     {},
     1280,
     800,
     [](Session& s) {
       struct Case {
         std::int32_t stored;
         char const* verb;
         std::int32_t written;
       } const cases[] = {
           {MAX_OFFSET, "travel-time-later", 1440},
           {MAX_OFFSET - 3, "travel-time-later", 1440},
           {MIN_OFFSET, "travel-time-earlier", 0},
           {MIN_OFFSET + 3, "travel-time-earlier", 0},
           {MAX_OFFSET, "travel-time-earlier", 1440},
           {MIN_OFFSET, "travel-time-later", 0},
           {5, "travel-time-earlier", 0},
           {1440, "travel-time-later", 1440},
           {60, "travel-time-later", 75},
       };
       for (auto const& c : cases) {
         SCOPED_TRACE(std::to_string(c.stored) + " " + c.verb);
         TransitTime const stored{TransitTimeMode::Arrive, c.stored};
         s.app().dispatch_maps_action(s.doc(), MapsAction{MapsAction::SetTransitTime{stored}});
         s.frame();
         ASSERT_EQ(s.app().model.transit_time.offset_min, c.stored);
         run_resource_verb(s, "maps.plan-settings", c.verb);
         s.frame();
         EXPECT_EQ(s.app().model.transit_time.offset_min, c.written);
         EXPECT_EQ(s.app().model.transit_time.mode, TransitTimeMode::Arrive);
       }
     }},
    {"in the demonstration the published locate says that no location service runs",
     {},
     1280,
     800,
     [](Session& s) {
       std::string const status = s.app().model.status;
       auto const result = s.app().invoke_action(1, "maps.locate", json("null"));
       ASSERT_FALSE(result) << "reported as handled, though nothing locates";
       EXPECT_EQ(result.error(), "The location service is unavailable in this session");
       s.frame();
       EXPECT_FALSE(s.app().locating);
       EXPECT_EQ(s.app().model.status, status);
     }},
};

class AnswerScenarioTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(AnswerScenarioTest, Runs) {
  Scenario const& sc = GetParam();
  Session session(sc.switches, sc.width, sc.height);
  sc.script(session);
}

std::string scenario_name(::testing::TestParamInfo<Scenario> const& info) {
  std::string out;
  bool upper = true;
  for (char const* c = info.param.name; *c != '\0'; ++c) {
    bool const lower = *c >= 'a' && *c <= 'z';
    bool const alnum = lower || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9');
    if (!alnum) {
      upper = true;
      continue;
    }
    out += upper && lower ? static_cast<char>(*c - 'a' + 'A') : *c;
    upper = false;
  }
  return out;
}

INSTANTIATE_TEST_SUITE_P(UserSessions, AnswerScenarioTest, ::testing::ValuesIn(SCENARIOS),
                         scenario_name);

} // namespace
} // namespace maps::test
