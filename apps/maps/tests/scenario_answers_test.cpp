// User sessions in which what the user or the platform is told must agree with what happened:
// answers of searches, the marks on lists, the published actions and the resource verbs, with
// frames drawn in between as the window loop runs them.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scenario.h"

namespace maps::test {
namespace {

std::vector<std::uint8_t> json(std::string_view text) { return {text.begin(), text.end()}; }

Scenario const SCENARIOS[] = {
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
