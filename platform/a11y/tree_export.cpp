#include "platform/a11y/tree_export.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include <fmt/format.h>

#include "base/utf8.h"
#include "platform/a11y/atspi_codes.h"

namespace zarn_ui::a11y {

namespace {

using access::AccessNode;

constexpr std::size_t MAX_DEPTH = 64;

void set_state(ExportedNode& node, std::uint32_t state) {
  node.states[state / 32] |= 1U << (state % 32);
}

bool checkable(AccessNode const& node) {
  return node.role == access::ROLE_TOGGLE_BUTTON || node.role == access::ROLE_RADIO ||
         node.role == access::ROLE_SWITCH;
}

std::vector<access::AccessAction> offered_actions(AccessNode const& node) {
  std::vector<access::AccessAction> out;
  if (node.id_text.empty()) {
    return out; // nothing could perform it
  }
  for (auto const action : access::node_actions(node)) {
    if (!action_name(action).empty()) {
      out.push_back(action);
    }
  }
  return out;
}

struct Flattener {
  ExportedTree& tree;
  double scale;
  std::size_t max_nodes;

  // A node without an id is known by its place: its parent's key, its role and its index.
  std::string key_of(AccessNode const& node, std::string_view parent_key, std::size_t index) const {
    if (!node.id_text.empty()) {
      return node.id_text;
    }
    return fmt::format("{}/{}{}:{}", parent_key, node.role, node.modal ? "m" : "", index);
  }

  void add(AccessNode const& node, int parent, std::string_view parent_key, std::size_t index,
           std::size_t depth) {
    if (node.hidden || tree.nodes.size() >= max_nodes) {
      return;
    }
    std::string const key = key_of(node, parent_key, index);
    std::uint64_t const id = node.id_text.empty() ? access::node_id_for(key) : node.id;
    std::string path = fmt::format("{}/n{:016x}", ACCESSIBLE_PREFIX, id);
    // Two nodes with one id would share an object; the later one gets a path of its own.
    for (int k = 2; tree.by_path.contains(path); ++k) {
      path = fmt::format("{}/n{:016x}_{}", ACCESSIBLE_PREFIX, id, k);
    }
    ExportedNode out;
    out.path = path;
    out.id_text = node.id_text;
    out.name = node.name.value_or("");
    out.description = node.description.value_or("");
    out.role = atspi_role_of(node);
    out.parent = parent;
    out.actions = offered_actions(node);
    out.live = node.live;
    if (node.text) {
      out.text = *node.text;
      auto const count = base::utf8::length(*node.text);
      out.character_count = static_cast<std::int32_t>(std::min<std::size_t>(count, INT32_MAX));
      auto const clamped = [&](std::size_t at) {
        return static_cast<std::int32_t>(
            std::min<std::size_t>(at, static_cast<std::size_t>(out.character_count)));
      };
      out.caret = clamped(node.caret);
      out.selection_start = clamped(std::min(node.selection_start, node.selection_end));
      out.selection_end = clamped(std::max(node.selection_start, node.selection_end));
    }
    if (node.bounds) {
      Rect const& b = *node.bounds;
      out.bounds = Rect{b.x0 * scale, b.y0 * scale, b.x1 * scale, b.y1 * scale};
    } else if (parent == APP_INDEX) {
      out.bounds = tree.window;
    }
    set_state(out, atspi_state::ENABLED);
    set_state(out, atspi_state::SENSITIVE);
    set_state(out, atspi_state::VISIBLE);
    if (out.bounds.width() > 0.0 && out.bounds.height() > 0.0) {
      set_state(out, atspi_state::SHOWING);
    }
    if (!out.actions.empty() || node.editable_text) {
      set_state(out, atspi_state::FOCUSABLE);
    }
    if (node.focused) {
      set_state(out, atspi_state::FOCUSED);
    }
    if (checkable(node)) {
      set_state(out, atspi_state::CHECKABLE);
      if (node.state == 1) {
        set_state(out, atspi_state::CHECKED);
      }
    }
    if (node.editable_text || node.role == access::ROLE_SEARCH_FIELD) {
      set_state(out, atspi_state::EDITABLE);
      set_state(out, atspi_state::SINGLE_LINE);
    }
    if (parent == APP_INDEX) {
      set_state(out, atspi_state::ACTIVE);
    }
    if (node.modal) {
      set_state(out, atspi_state::MODAL);
    }

    int const self = static_cast<int>(tree.nodes.size());
    auto& siblings =
        parent == APP_INDEX ? tree.top : tree.nodes[static_cast<std::size_t>(parent)].children;
    out.index_in_parent = static_cast<int>(siblings.size());
    siblings.push_back(self);
    tree.by_path.emplace(path, self);
    if (node.focused && tree.focused < 0) {
      tree.focused = self;
    }
    tree.nodes.push_back(std::move(out));
    if (depth >= MAX_DEPTH) {
      return;
    }
    for (std::size_t i = 0; i < node.children.size(); ++i) {
      add(node.children[i], self, key, i, depth + 1);
    }
  }
};

void children_events(ExportedTree const& before, ExportedTree const& after, int b, int a,
                     std::string const& path, std::vector<TreeEvent>& out) {
  auto const& old_children = before.children_of(b);
  auto const& new_children = after.children_of(a);
  std::unordered_set<std::string> old_paths;
  std::unordered_set<std::string> new_paths;
  for (int const c : old_children) {
    old_paths.insert(before.nodes[static_cast<std::size_t>(c)].path);
  }
  for (int const c : new_children) {
    new_paths.insert(after.nodes[static_cast<std::size_t>(c)].path);
  }
  // Removals first and from the end, so each index is the child's place when it goes.
  for (auto it = old_children.rbegin(); it != old_children.rend(); ++it) {
    auto const& child = before.nodes[static_cast<std::size_t>(*it)];
    if (!new_paths.contains(child.path)) {
      out.push_back({path, EVENT_OBJECT, "ChildrenChanged", "remove", child.index_in_parent, 0,
                     TreeEvent::Data::Child, child.path});
    }
  }
  for (int const c : new_children) {
    auto const& child = after.nodes[static_cast<std::size_t>(c)];
    if (!old_paths.contains(child.path)) {
      out.push_back({path, EVENT_OBJECT, "ChildrenChanged", "add", child.index_in_parent, 0,
                     TreeEvent::Data::Child, child.path});
    }
  }
}

std::u32string code_points(std::string_view text) {
  std::u32string out;
  base::utf8::for_each_code_point(text, [&](char32_t cp) { out.push_back(cp); });
  return out;
}

/// The run of code points [from, to) of `text` as UTF-8.
std::string run_of(std::string const& text, std::size_t from, std::size_t to) {
  std::size_t const a = base::utf8::offset_of(text, from);
  return text.substr(a, base::utf8::offset_of(text, to) - a);
}

/// A text's change as one deleted and one inserted run between the common start and end.
void text_events(std::string const& path, std::string const& was, std::string const& now,
                 std::vector<TreeEvent>& out) {
  std::u32string const a = code_points(was);
  std::u32string const b = code_points(now);
  std::size_t start = 0;
  while (start < a.size() && start < b.size() && a[start] == b[start]) {
    ++start;
  }
  std::size_t end = 0;
  while (end < a.size() - start && end < b.size() - start &&
         a[a.size() - 1 - end] == b[b.size() - 1 - end]) {
    ++end;
  }
  auto const at = static_cast<std::int32_t>(start);
  if (a.size() - end > start) {
    out.push_back({path, EVENT_OBJECT, "TextChanged", "delete", at,
                   static_cast<std::int32_t>(a.size() - end - start), TreeEvent::Data::Text,
                   run_of(was, start, a.size() - end)});
  }
  if (b.size() - end > start) {
    out.push_back({path, EVENT_OBJECT, "TextChanged", "insert", at,
                   static_cast<std::int32_t>(b.size() - end - start), TreeEvent::Data::Text,
                   run_of(now, start, b.size() - end)});
  }
}

} // namespace

ExportedNode const* ExportedTree::find(std::string_view path) const {
  auto const it = by_path.find(std::string(path));
  return it == by_path.end() ? nullptr : &nodes[static_cast<std::size_t>(it->second)];
}

std::vector<int> const& ExportedTree::children_of(int index) const {
  return index == APP_INDEX ? top : nodes[static_cast<std::size_t>(index)].children;
}

ExportedTree export_tree(std::optional<AccessNode> const& root, Point window_origin, Rect window,
                         double scale, std::size_t max_nodes) {
  if (!(std::isfinite(scale) && scale > 0.0)) {
    scale = 1.0;
  }
  ExportedTree tree;
  tree.window_origin = window_origin;
  tree.window = Rect{window.x0 * scale, window.y0 * scale, window.x1 * scale, window.y1 * scale};
  if (root) {
    Flattener{tree, scale, max_nodes}.add(*root, APP_INDEX, "", 0, 0);
  }
  return tree;
}

std::optional<AccessNode> present_for_bus(std::optional<AccessNode> root,
                                          access::AccessPresentation const& presentation) {
  if (!root) {
    return root;
  }
  if (!presentation.lists.empty()) {
    auto list_of = [&](AccessNode const& child) -> access::AccessList const* {
      if (child.hidden) {
        return nullptr;
      }
      for (auto const& l : presentation.lists) {
        if (!l.item_prefix.empty() && child.id_text.starts_with(l.item_prefix)) {
          return &l;
        }
      }
      return nullptr;
    };
    std::vector<AccessNode> children;
    children.reserve(root->children.size());
    std::optional<AccessNode> list;
    access::AccessList const* open = nullptr;
    auto close_list = [&] {
      if (list) {
        children.push_back(std::move(*list));
        list.reset();
      }
      open = nullptr;
    };
    for (auto& child : root->children) {
      access::AccessList const* const of = list_of(child);
      if (of != open) {
        close_list();
      }
      if (of == nullptr) {
        children.push_back(std::move(child));
        continue;
      }
      if (!list) {
        list = AccessNode{}.with_name(of->name);
        list->role = access::ROLE_LIST;
        open = of;
      }
      child.role = access::ROLE_LIST_ITEM;
      if (child.bounds) {
        Rect const& b = *child.bounds;
        list->bounds =
            list->bounds ? Rect{std::min(list->bounds->x0, b.x0), std::min(list->bounds->y0, b.y0),
                                std::max(list->bounds->x1, b.x1), std::max(list->bounds->y1, b.y1)}
                         : b;
      }
      list->children.push_back(std::move(child));
    }
    close_list();
    root->children = std::move(children);
  }
  if (presentation.canvas) {
    AccessNode canvas = *presentation.canvas;
    canvas.role = access::ROLE_CANVAS;
    root->children.push_back(std::move(canvas));
  }
  return root;
}

std::uint32_t atspi_role_of(AccessNode const& node) {
  switch (node.role) {
  case access::ROLE_WINDOW:
    return node.modal ? atspi_role::DIALOG : atspi_role::FRAME;
  case access::ROLE_BUTTON:
    return atspi_role::PUSH_BUTTON;
  // The protocol's switch role is newer than the screen readers in use; a switch reads as
  // the toggle it is.
  case access::ROLE_TOGGLE_BUTTON:
  case access::ROLE_SWITCH:
    return atspi_role::TOGGLE_BUTTON;
  case access::ROLE_RADIO:
    return atspi_role::RADIO_BUTTON;
  case access::ROLE_SEARCH_FIELD:
    return atspi_role::ENTRY;
  case access::ROLE_MENU:
    return atspi_role::MENU;
  case access::ROLE_MENU_ITEM:
    return atspi_role::MENU_ITEM;
  case access::ROLE_LIST:
    return atspi_role::LIST;
  case access::ROLE_LIST_ITEM:
    return atspi_role::LIST_ITEM;
  case access::ROLE_CANVAS:
    return atspi_role::CANVAS;
  case access::ROLE_LABEL:
    return atspi_role::LABEL;
  case access::ROLE_HEADING:
    return atspi_role::HEADING;
  case access::ROLE_STATUS:
    return atspi_role::STATUS_BAR;
  default:
    return node.editable_text ? atspi_role::ENTRY : atspi_role::PANEL;
  }
}

std::string_view atspi_role_name(std::uint32_t role) {
  switch (role) {
  case atspi_role::CANVAS:
    return "canvas";
  case atspi_role::LABEL:
    return "label";
  case atspi_role::HEADING:
    return "heading";
  case atspi_role::STATUS_BAR:
    return "status bar";
  case atspi_role::DIALOG:
    return "dialog";
  case atspi_role::FRAME:
    return "frame";
  case atspi_role::LIST:
    return "list";
  case atspi_role::LIST_ITEM:
    return "list item";
  case atspi_role::MENU:
    return "menu";
  case atspi_role::MENU_ITEM:
    return "menu item";
  case atspi_role::PANEL:
    return "panel";
  case atspi_role::PUSH_BUTTON:
    return "push button";
  case atspi_role::RADIO_BUTTON:
    return "radio button";
  case atspi_role::TOGGLE_BUTTON:
    return "toggle button";
  case atspi_role::APPLICATION:
    return "application";
  case atspi_role::ENTRY:
    return "entry";
  default:
    return "unknown";
  }
}

std::string_view action_name(access::AccessAction action) {
  switch (action) {
  case access::AccessAction::Press:
    return "click";
  case access::AccessAction::Focus:
    return "focus";
  case access::AccessAction::SetValue:
    return {};
  }
  return {};
}

std::vector<TreeEvent> tree_changes(ExportedTree const& before, ExportedTree const& after) {
  std::vector<TreeEvent> out;
  children_events(before, after, APP_INDEX, APP_INDEX, ROOT_PATH, out);
  for (int a = 0; a < static_cast<int>(after.nodes.size()); ++a) {
    auto const& now = after.nodes[static_cast<std::size_t>(a)];
    auto const it = before.by_path.find(now.path);
    // A status that appears or changes is spoken wherever the focus is.
    bool const fresh = it == before.by_path.end() ||
                       before.nodes[static_cast<std::size_t>(it->second)].name != now.name;
    if (now.live && fresh && !now.name.empty()) {
      out.push_back({now.path, EVENT_OBJECT, "Announcement", "", LIVE_POLITE, 0,
                     TreeEvent::Data::Text, now.name});
    }
    if (it == before.by_path.end()) {
      continue;
    }
    auto const& was = before.nodes[static_cast<std::size_t>(it->second)];
    children_events(before, after, it->second, a, now.path, out);
    if (was.name != now.name) {
      out.push_back({now.path, EVENT_OBJECT, "PropertyChange", "accessible-name", 0, 0,
                     TreeEvent::Data::Text, now.name});
    }
    if (was.description != now.description) {
      out.push_back({now.path, EVENT_OBJECT, "PropertyChange", "accessible-description", 0, 0,
                     TreeEvent::Data::Text, now.description});
    }
    if (was.text && now.text) {
      if (*was.text != *now.text) {
        text_events(now.path, *was.text, *now.text, out);
      }
      if (was.caret != now.caret) {
        out.push_back({now.path,
                       EVENT_OBJECT,
                       "TextCaretMoved",
                       "",
                       now.caret,
                       0,
                       TreeEvent::Data::None,
                       {}});
      }
      if (was.selection_start != now.selection_start || was.selection_end != now.selection_end) {
        out.push_back(
            {now.path, EVENT_OBJECT, "TextSelectionChanged", "", 0, 0, TreeEvent::Data::None, {}});
      }
    }
    static constexpr std::pair<std::uint32_t, char const*> TRACKED[] = {
        {atspi_state::CHECKED, "checked"},
        {atspi_state::ENABLED, "enabled"},
        {atspi_state::SENSITIVE, "sensitive"},
        {atspi_state::SHOWING, "showing"}};
    for (auto const& [state, name] : TRACKED) {
      if (was.has_state(state) != now.has_state(state)) {
        out.push_back({now.path,
                       EVENT_OBJECT,
                       "StateChanged",
                       name,
                       now.has_state(state) ? 1 : 0,
                       0,
                       TreeEvent::Data::None,
                       {}});
      }
    }
  }
  std::string const old_focus = before.focused >= 0
                                    ? before.nodes[static_cast<std::size_t>(before.focused)].path
                                    : std::string();
  std::string const new_focus = after.focused >= 0
                                    ? after.nodes[static_cast<std::size_t>(after.focused)].path
                                    : std::string();
  if (old_focus != new_focus) {
    if (!old_focus.empty() && after.by_path.contains(old_focus)) {
      out.push_back(
          {old_focus, EVENT_OBJECT, "StateChanged", "focused", 0, 0, TreeEvent::Data::None, {}});
    }
    if (!new_focus.empty()) {
      out.push_back(
          {new_focus, EVENT_OBJECT, "StateChanged", "focused", 1, 0, TreeEvent::Data::None, {}});
      out.push_back({new_focus, EVENT_FOCUS, "Focus", "", 0, 0, TreeEvent::Data::None, {}});
    }
  }
  return out;
}

} // namespace zarn_ui::a11y
