#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/ops.h"
#include "platform/a11y/tree_export.h"
#include "scenario.h"

namespace maps {
namespace {

using test::Session;
using zarn_ui::access::AccessNode;

std::vector<AccessNode> with_role(Session& s, std::uint8_t role) {
  std::vector<AccessNode> out;
  auto const tree = s.app().accessibility_tree();
  for (auto const& n : tree ? tree->children : std::vector<AccessNode>{}) {
    if (n.role == role) {
      out.push_back(n);
    }
  }
  return out;
}

std::vector<std::string> names(std::vector<AccessNode> const& nodes) {
  std::vector<std::string> out;
  for (auto const& n : nodes) {
    out.push_back(n.name.value_or(""));
  }
  return out;
}

TEST(AccessTexts, ThePanelsHeadingsAndHelpAreRead) {
  Session s({"--empty"}, 1280, 800);
  auto const headings = names(with_role(s, zarn_ui::access::ROLE_HEADING));
  EXPECT_EQ(headings, (std::vector<std::string>{"Places", "Find your way"}));
  auto const labels = with_role(s, zarn_ui::access::ROLE_LABEL);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0].name, "Search for a place or address to route and plan transit.");
  ASSERT_TRUE(labels[0].bounds);
  EXPECT_GT(labels[0].bounds->width(), 0.0);
  EXPECT_TRUE(labels[1].name->starts_with("Scale: ")) << *labels[1].name;
}

TEST(AccessTexts, TheStatusLineIsALiveStatusWhileItIsShown) {
  Session s({"--error"}, 1280, 800);
  auto const status = with_role(s, zarn_ui::access::ROLE_STATUS);
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].name, s.app().model.status);
  EXPECT_TRUE(status[0].live);
  ASSERT_TRUE(status[0].bounds);
  EXPECT_EQ(*status[0].bounds, s.app().status_rect);

  // A status that is not shown (a plain report with nothing pending) is not read either.
  set_status(s.app().model, "Route updated"); // a note, not a warning or an error
  s.frame();
  EXPECT_TRUE(with_role(s, zarn_ui::access::ROLE_STATUS).empty());
}

TEST(AccessTexts, RouteStepsReadAsAListOfTheirInstructions) {
  Session s({"--panel=directions"}, 1280, 800);
  ASSERT_TRUE(s.app().model.route);
  auto const& steps = s.app().model.route->steps;
  ASSERT_FALSE(steps.empty());
  auto const tree =
      zarn_ui::a11y::present_for_bus(s.app().accessibility_tree(), s.app().access_presentation());
  ASSERT_TRUE(tree);
  AccessNode const* list = nullptr;
  for (auto const& n : tree->children) {
    if (n.role == zarn_ui::access::ROLE_LIST && n.name == "Route steps") {
      list = &n;
    }
  }
  ASSERT_NE(list, nullptr) << "no list of route steps";
  EXPECT_EQ(list->children.size(), steps.size());
  EXPECT_TRUE(list->children.front().name->starts_with(steps.front().instruction));
}

} // namespace
} // namespace maps
