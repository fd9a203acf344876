// The exported form of the accessibility tree and the events between two frames.

#include "platform/a11y/tree_export.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/a11y/atspi_codes.h"

namespace zarn_ui::a11y {
namespace {

using access::AccessNode;

AccessNode button(char const* id, char const* name) {
  AccessNode n = AccessNode{}.with_id(id).with_name(name).with_bounds({0, 0, 10, 10});
  n.role = access::ROLE_BUTTON;
  return n;
}

AccessNode window(std::vector<AccessNode> children, char const* name = "Win") {
  AccessNode root;
  root.role = access::ROLE_WINDOW;
  return std::move(root).with_name(name).with_children(std::move(children));
}

ExportedTree exported(AccessNode const& root) {
  return export_tree(root, {0, 0}, {0, 0, 100, 100});
}

std::string path_of(ExportedTree const& t, std::string_view name) {
  for (auto const& n : t.nodes) {
    if (n.name == name) {
      return n.path;
    }
  }
  return {};
}

TEST(TreeExport, PathsFollowIdsOrPlaceAndNeverCollide) {
  auto const a = exported(window({button("x.a", "A"), button("x.b", "B")}));
  auto const b =
      exported(window({button("x.b", "B"), button("x.c", "C"), button("x.a", "A")}, "Renamed"));
  EXPECT_EQ(path_of(a, "A"), path_of(b, "A"));
  EXPECT_EQ(path_of(a, "B"), path_of(b, "B"));
  EXPECT_EQ(path_of(a, "Win"), path_of(b, "Renamed"))
      << "an id-less root is known by its place and role";

  AccessNode dialog = window({button("x.a", "A")}, "Dialog");
  dialog.modal = true;
  auto const d = exported(dialog);
  EXPECT_NE(path_of(d, "Dialog"), path_of(a, "Win"));
  EXPECT_EQ(d.nodes[0].role, atspi_role::DIALOG);
  EXPECT_TRUE(d.nodes[0].has_state(atspi_state::MODAL));

  AccessNode hidden = button("x.h", "Hidden");
  hidden.hidden = true;
  auto const dup = exported(window({button("x.a", "A"), button("x.a", "A2"), hidden}));
  ASSERT_EQ(dup.nodes.size(), 3u);
  EXPECT_NE(dup.nodes[1].path, dup.nodes[2].path);
  EXPECT_EQ(dup.by_path.size(), 3u);

  // With --scale the window's points are layout pixels times the scale.
  auto const scaled = export_tree(window({button("x.a", "A")}), {0, 0}, {0, 0, 100, 50}, 2.0);
  EXPECT_EQ(scaled.nodes[0].bounds, (Rect{0, 0, 200, 100}));
  EXPECT_EQ(scaled.nodes[1].bounds, (Rect{0, 0, 20, 20}));
}

TEST(TreeExport, ChangesNameRemovalsAtOldPlacesAddsAtNewOnesThenTheFocusMove) {
  AccessNode lights = button("x.l", "Lights");
  lights.role = access::ROLE_TOGGLE_BUTTON;
  auto before_root = window({button("x.a", "A"), button("x.b", "B"), lights, button("x.c", "C")});
  before_root.children[0].focused = true;
  auto after_root = window({button("x.c", "C"), button("x.d", "D")});
  after_root.children[0].focused = true;
  auto const before = exported(before_root);
  auto const after = exported(after_root);
  std::string const win = path_of(before, "Win");

  auto const events = tree_changes(before, after);
  std::vector<std::pair<std::string, int>> got;
  for (auto const& e : events) {
    got.emplace_back(e.member + ":" + e.detail, e.detail1);
  }
  EXPECT_EQ(got, (std::vector<std::pair<std::string, int>>{{"ChildrenChanged:remove", 2},
                                                           {"ChildrenChanged:remove", 1},
                                                           {"ChildrenChanged:remove", 0},
                                                           {"ChildrenChanged:add", 1},
                                                           {"StateChanged:focused", 1},
                                                           {"Focus:", 0}}));
  EXPECT_EQ(events[0].path, win);
  EXPECT_EQ(events[0].value, path_of(before, "Lights"));
  EXPECT_EQ(events.back().path, path_of(after, "C"));

  AccessNode on = lights;
  on.state = 1;
  auto const checked = tree_changes(exported(window({lights})), exported(window({on}, "Win 2")));
  ASSERT_EQ(checked.size(), 2u);
  EXPECT_EQ(checked[0].detail, "accessible-name");
  EXPECT_EQ(checked[0].value, "Win 2");
  EXPECT_EQ(checked[1].detail, "checked");
  EXPECT_EQ(checked[1].detail1, 1);
  EXPECT_TRUE(tree_changes(after, after).empty());
}

TEST(TreeExport, ALiveNodesNewTextIsAnnouncedOnce) {
  auto const status = [](std::optional<char const*> text) {
    std::vector<AccessNode> children{button("x.a", "A")};
    if (text) {
      AccessNode n = AccessNode{}.with_id("x.status").with_name(*text);
      n.role = access::ROLE_STATUS;
      n.live = true;
      children.push_back(std::move(n));
    }
    return exported(window(std::move(children)));
  };
  struct Case {
    char const* name;
    std::optional<char const*> before;
    std::optional<char const*> after;
    char const* announced; // nullptr: nothing
  } const cases[] = {
      {"appears", std::nullopt, "Search failed", "Search failed"},
      {"changes", "Searching", "Search failed", "Search failed"},
      {"stays", "Search failed", "Search failed", nullptr},
      {"empties", "Search failed", "", nullptr},
      {"goes", "Search failed", std::nullopt, nullptr},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto const after = status(c.after);
    std::vector<TreeEvent> announcements;
    for (auto const& e : tree_changes(status(c.before), after)) {
      if (e.member == "Announcement") {
        announcements.push_back(e);
      }
    }
    if (c.announced == nullptr) {
      EXPECT_TRUE(announcements.empty());
      continue;
    }
    ASSERT_EQ(announcements.size(), 1u);
    EXPECT_EQ(announcements[0].value, c.announced);
    EXPECT_EQ(announcements[0].path, path_of(after, c.announced));
    EXPECT_EQ(announcements[0].detail1, LIVE_POLITE);
    auto const* node = after.find(announcements[0].path);
    ASSERT_TRUE(node);
    EXPECT_EQ(node->role, atspi_role::STATUS_BAR);
  }
}

TEST(TreeExport, PresentationGroupsRowsIntoAListInPlaceAndAddsTheDescribedCanvas) {
  auto row0 = button("r:a", "Row A");
  auto row1 = button("r:b", "Row B");
  row1.bounds = Rect{0, 10, 10, 20};
  row1.focused = true;
  auto root = window({button("x.s", "Search"), row0, row1, button("x.z", "Zoom")});
  access::AccessPresentation presentation;
  presentation.lists = {{"r:", "Rows"}};
  presentation.canvas = AccessNode{}.with_id("x.map").with_name("Map").with_bounds({0, 0, 80, 90});
  presentation.canvas->description = "Somewhere at zoom 3";
  auto const t = exported(*present_for_bus(root, presentation));

  auto const& top = t.nodes[static_cast<std::size_t>(t.top[0])];
  std::vector<std::uint32_t> roles;
  for (int const c : top.children) {
    roles.push_back(t.nodes[static_cast<std::size_t>(c)].role);
  }
  EXPECT_EQ(roles, (std::vector<std::uint32_t>{atspi_role::PUSH_BUTTON, atspi_role::LIST,
                                               atspi_role::PUSH_BUTTON, atspi_role::CANVAS}));
  auto const& list = t.nodes[static_cast<std::size_t>(top.children[1])];
  EXPECT_EQ(list.name, "Rows");
  EXPECT_EQ(list.bounds, (Rect{0, 0, 10, 20}));
  ASSERT_EQ(list.children.size(), 2u);
  auto const& b = t.nodes[static_cast<std::size_t>(list.children[1])];
  EXPECT_EQ(b.role, atspi_role::LIST_ITEM);
  EXPECT_EQ(b.index_in_parent, 1);
  EXPECT_EQ(b.actions, (std::vector<access::AccessAction>{access::AccessAction::Press}));
  EXPECT_EQ(b.path, path_of(exported(root), "Row B"))
      << "a row keeps its object while it moves into the list";
  ASSERT_GE(t.focused, 0);
  EXPECT_EQ(t.nodes[static_cast<std::size_t>(t.focused)].name, "Row B");

  auto const& map = t.nodes[static_cast<std::size_t>(top.children[3])];
  EXPECT_EQ(map.description, "Somewhere at zoom 3");
  EXPECT_EQ(map.bounds, (Rect{0, 0, 80, 90}));
  EXPECT_TRUE(map.actions.empty());

  // Without rows no empty list appears.
  auto const plain = exported(*present_for_bus(window({button("x.s", "Search")}), presentation));
  EXPECT_EQ(plain.nodes.size(), 3u);
}

AccessNode field(std::string text, std::size_t caret) {
  AccessNode n = AccessNode{}.with_id("x.f").with_name("Find").with_bounds({0, 0, 10, 10});
  n.role = access::ROLE_SEARCH_FIELD;
  n.text = std::move(text);
  n.caret = caret;
  return n;
}

TEST(TreeExport, AFieldsTextChangeIsTheChangedRunDeletedThenTheNewOneInserted) {
  struct Case {
    char const* was;
    char const* now;
    std::vector<std::string> events; // member detail offset length text
  };
  Case const cases[] = {
      {"Haupt", "Hauptb", {"insert 5 1 b"}},
      {"Hauptb", "Haupt", {"delete 5 1 b"}},
      {"Haus", "Maus", {"delete 0 1 H", "insert 0 1 M"}},
      {"aa", "aaa", {"insert 2 1 a"}},       // a repeated letter is added at the end, never twice
      {"Straße", "Strae", {"delete 4 1 ß"}}, // offsets count characters, not bytes
      {"Ost", "", {"delete 0 3 Ost"}},
      {"same", "same", {}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(std::string(c.was) + " -> " + c.now);
    auto const before = exported(window({field(c.was, 0)}));
    auto const after = exported(window({field(c.now, 0)}));
    std::vector<std::string> seen;
    for (auto const& e : tree_changes(before, after)) {
      if (e.member == "TextChanged") {
        seen.push_back(fmt::format("{} {} {} {}", e.detail, e.detail1, e.detail2, e.value));
      }
    }
    EXPECT_EQ(seen, c.events);
  }
  // The caret is told in characters and never past the end.
  auto const moved =
      tree_changes(exported(window({field("Straße", 6)})), exported(window({field("Straße", 9)})));
  EXPECT_TRUE(moved.empty()) << "a caret past the end stays at the end";
  auto const t = exported(window({field("Straße", 5)}));
  EXPECT_EQ(t.nodes[1].character_count, 6);
  EXPECT_EQ(t.nodes[1].caret, 5);
  auto const back = tree_changes(t, exported(window({field("Straße", 2)})));
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].member, "TextCaretMoved");
  EXPECT_EQ(back[0].detail1, 2);
  EXPECT_FALSE(exported(window({button("x.b", "B")})).nodes[1].text) << "a button holds no text";
}

} // namespace
} // namespace zarn_ui::a11y
