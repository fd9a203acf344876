// User sessions in which what the user or the platform is told must agree with what happened:
// answers of searches, the marks on lists, the published actions and the resource verbs, with
// frames drawn in between as the window loop runs them.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "doc/load.h"
#include "scenario.h"

namespace maps::test {
namespace {

std::vector<std::uint8_t> json(std::string_view text) { return {text.begin(), text.end()}; }

/// Runs a verb of a resource as the platform does: the encoded action applied to the document.
void run_resource_verb(Session& s, std::string_view resource, std::string_view verb) {
  auto const found = s.app().resolve_resource(*s.state, resource);
  ASSERT_TRUE(found) << resource;
  auto const* spec = found->find_action(verb);
  ASSERT_TRUE(spec != nullptr && spec->handler) << verb;
  auto const applied = s.state->apply_external(spec->invoke({}));
  ASSERT_TRUE(applied) << applied.error().display();
}

constexpr std::int32_t MAX_OFFSET = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t MIN_OFFSET = std::numeric_limits<std::int32_t>::min();

Scenario const SCENARIOS[] = {
    {"a published search stays in the history after the next search from the box", {}, 1280, 800,
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
       EXPECT_EQ(std::vector<std::string>(stored->recents.begin(), stored->recents.begin() + 2), both);
     }},
    {"the planning verbs move a stored offset near the 32-bit limits to the near end of the day",
     {}, 1280, 800,
     [](Session& s) {
       struct Case {
         std::int32_t stored;
         char const* verb;
         std::int32_t written;
       } const cases[] = {
           {MAX_OFFSET, "travel-time-later", 1440},     {MAX_OFFSET - 3, "travel-time-later", 1440},
           {MIN_OFFSET, "travel-time-earlier", 0},      {MIN_OFFSET + 3, "travel-time-earlier", 0},
           {MAX_OFFSET, "travel-time-earlier", 1440},   {MIN_OFFSET, "travel-time-later", 0},
           {5, "travel-time-earlier", 0},               {1440, "travel-time-later", 1440},
           {60, "travel-time-later", 75},
       };
       for (auto const& c : cases) {
         SCOPED_TRACE(std::to_string(c.stored) + " " + c.verb);
         s.app().dispatch_maps_action(
             s.doc(), MapsAction{MapsAction::SetTransitTime{TransitTime{TransitTimeMode::Arrive, c.stored}}});
         s.frame();
         ASSERT_EQ(s.app().model.transit_time.offset_min, c.stored);
         run_resource_verb(s, "maps.plan-settings", c.verb);
         s.frame();
         EXPECT_EQ(s.app().model.transit_time.offset_min, c.written);
         EXPECT_EQ(s.app().model.transit_time.mode, TransitTimeMode::Arrive);
       }
     }},
    {"in the demonstration the published locate says that no location service runs", {}, 1280,
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
