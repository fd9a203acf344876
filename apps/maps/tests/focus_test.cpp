#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "draw/chrome_draw.h"
#include "input/focus.h"
#include "platform/theme/contrast.h"
#include "scenario.h"

namespace maps {
namespace {

using test::Session;
using zarn_ui::Key;
using zarn_ui::NamedKey;

std::string focus(Session& s) {
  return current_focus_id(s.app());
}

void tab(Session& s, bool backwards = false) {
  zarn_ui::Modifiers mods;
  mods.shift = backwards;
  s.send(Key{true, NamedKey::Tab, mods}, mods);
  s.frame();
}

/// Tabs until the focus comes back to the first control it reached.
std::vector<std::string> tab_cycle(Session& s, bool backwards = false) {
  std::vector<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    tab(s, backwards);
    if (!seen.empty() && focus(s) == seen.front()) {
      break;
    }
    seen.push_back(focus(s));
  }
  return seen;
}

std::ptrdiff_t position(std::vector<std::string> const& order, std::string const& id) {
  auto const it = std::find(order.begin(), order.end(), id);
  return it == order.end() ? -1 : it - order.begin();
}

TEST(Focus, TabVisitsEveryControlOnceInReadingOrderAndShiftTabReturns) {
  Session s({"--panel=directions"}, 1280, 800);
  auto const order = tab_cycle(s);
  ASSERT_FALSE(order.empty());
  EXPECT_EQ(order.front(), "maps.search");
  EXPECT_EQ(std::set<std::string>(order.begin(), order.end()).size(), order.size())
      << "a control was visited twice";
  // The panel, then the map's controls from the top, then the menu button.
  auto const zoom_in = position(order, "maps.control:zoom-in");
  auto const traffic = position(order, "maps.control:traffic");
  auto const more = position(order, "maps.overflow");
  auto const origin = position(order, "maps.route.origin");
  auto const dest = position(order, "maps.route.destination");
  ASSERT_GE(zoom_in, 0);
  ASSERT_GE(origin, 0);
  EXPECT_LT(origin, dest);
  EXPECT_LT(dest, zoom_in);
  EXPECT_LT(zoom_in, traffic);
  EXPECT_LT(traffic, more);

  // Shift+Tab walks the same ring the other way.
  std::vector<std::string> back;
  for (std::size_t i = 0; i < order.size(); ++i) {
    tab(s, true);
    back.push_back(focus(s));
  }
  EXPECT_EQ(back, std::vector<std::string>(order.rbegin(), order.rend()));
}

TEST(Focus, TabLeavesATextFieldAndTheFieldStopsTakingLetters) {
  Session s({}, 1280, 800);
  s.type("/");
  ASSERT_TRUE(s.app().search_box.editing);
  tab(s);
  EXPECT_FALSE(s.app().search_box.editing);
  EXPECT_NE(focus(s), "maps.search");
  std::string const query = s.app().model.query;
  s.type("d"); // a shortcut again, no longer typed into the field
  EXPECT_EQ(s.app().model.query, query);
  EXPECT_EQ(s.app().model.panel, Panel::Directions);
}

TEST(Focus, EnterAndSpaceUseTheFocusedControl) {
  struct Case {
    char const* name;
    Key key;
  } const cases[] = {{"Enter", Key{true, NamedKey::Enter, {}}},
                     {"Space", Key{true, NamedKey::Space, {}}},
                     // The window delivers the space bar as typed text.
                     {"space bar typed", Key{true, std::string(" "), {}}}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Session s({}, 1280, 800);
    while (focus(s) != "maps.control:zoom-in") {
      tab(s);
      ASSERT_FALSE(focus(s).empty());
    }
    double const before = s.app().model.zoom;
    s.send(c.key);
    s.frame();
    EXPECT_GT(s.app().model.zoom, before);
    EXPECT_EQ(focus(s), "maps.control:zoom-in");
  }
}

TEST(Focus, ArrowsMoveWithinAGroupAndPanTheMapElsewhere) {
  Session s({"--panel=directions"}, 1280, 800);
  while (!focus(s).starts_with("maps.mode:")) {
    tab(s);
    ASSERT_FALSE(focus(s).empty());
  }
  std::string const first = focus(s);
  auto const centre = s.app().model.center;
  s.key(NamedKey::ArrowRight);
  EXPECT_TRUE(focus(s).starts_with("maps.mode:"));
  EXPECT_NE(focus(s), first);
  s.key(NamedKey::ArrowLeft);
  EXPECT_EQ(focus(s), first);
  s.key(NamedKey::ArrowLeft); // the group's first: the focus stays and the map stays
  EXPECT_EQ(focus(s), first);
  EXPECT_EQ(s.app().model.center.lat, centre.lat);

  while (focus(s) != "maps.control:zoom-in") {
    tab(s);
  }
  s.key(NamedKey::ArrowDown);
  EXPECT_EQ(focus(s), "maps.control:zoom-in");
  EXPECT_NE(s.app().model.center.lat, centre.lat) << "arrows pan the map outside a group";
}

TEST(Focus, TheMenuTakesTheFocusAndEscapeGivesItBack) {
  Session s({}, 1280, 800);
  while (focus(s) != "maps.overflow") {
    tab(s);
    ASSERT_FALSE(focus(s).empty());
  }
  s.key(NamedKey::Enter);
  ASSERT_TRUE(s.app().overflow_menu.is_open());
  EXPECT_EQ(s.app().overflow_menu.hovered(), std::optional<std::size_t>(0));
  s.key(NamedKey::Escape);
  EXPECT_FALSE(s.app().overflow_menu.is_open());
  EXPECT_EQ(focus(s), "maps.overflow");

  // Through the sheet and back: the space bar (typed text, as the window sends it) opens the
  // menu and chooses its first item, Escape closes the sheet.
  s.type(" ");
  ASSERT_TRUE(s.app().overflow_menu.is_open());
  s.type(" ");
  ASSERT_TRUE(attribution_sheet_open(s.app().attribution_sheet));
  s.key(NamedKey::Escape);
  EXPECT_FALSE(attribution_sheet_open(s.app().attribution_sheet));
  EXPECT_EQ(focus(s), "maps.overflow");
}

TEST(Focus, TheOfflinePanelHasItsOwnOrderAndEscapeReturns) {
  Session s({}, 1280, 800);
  tab(s);
  tab(s);
  std::string const before = focus(s);
  s.type("m");
  ASSERT_TRUE(s.app().offline_panel.open);
  EXPECT_EQ(focus(s), "maps.offline.search");
  tab(s);
  EXPECT_NE(focus(s), "maps.offline.search");
  EXPECT_TRUE(focus(s).starts_with("maps.offline")) << focus(s);
  s.key(NamedKey::Escape);
  EXPECT_FALSE(s.app().offline_panel.open);
  EXPECT_EQ(focus(s), before);
}

TEST(Focus, TheRingShowsAfterKeysOnlyAndStandsOutOnEveryTheme) {
  Session s({}, 1280, 800);
  auto const rings = [&s] {
    std::size_t n = 0;
    for (auto const& st : probe::strokes_of<zarn_ui::RoundedRect>(s.scene)) {
      n += st.width == FOCUS_RING_WIDTH && st.color == zarn_ui::Theme::light().focus_border;
    }
    return n;
  };
  EXPECT_EQ(rings(), 0u);
  while (focus(s) != "maps.control:zoom-in") {
    tab(s);
  }
  EXPECT_EQ(rings(), 1u);
  s.click({200, 700}); // a press hides it
  EXPECT_EQ(rings(), 0u);

  for (auto const& theme :
       {zarn_ui::Theme::light(), zarn_ui::Theme::dark(), zarn_ui::Theme::high_contrast()}) {
    EXPECT_GE(zarn_ui::contrast_ratio(theme.focus_border, theme.surface), 3.0);
  }
}

} // namespace
} // namespace maps
