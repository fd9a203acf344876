#pragma once
// The accessibility tree as the bus sees it: each frame's AccessNode tree flattened into
// exported objects (object path, protocol role and states, parent, children, bounds, actions)
// and compared with the previous frame's, which yields the change events to send. Paths derive
// from node ids, so an object keeps its path while its node keeps its identity. Pure: no bus.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/access/access_node.h"
#include "platform/scene/geometry.h"

namespace zarn_ui::a11y {

/// Index of the application object: every exported tree hangs below it.
inline constexpr int APP_INDEX = -1;

struct ExportedNode {
  std::string path;
  std::string id_text; // the node's stable id; empty for containers without one
  std::string name;
  std::string description;
  std::uint32_t role = 0;                // protocol role
  std::array<std::uint32_t, 2> states{}; // protocol state bit set
  int parent = APP_INDEX;
  std::vector<int> children;
  int index_in_parent = 0;
  Rect bounds;                               // window coordinates, points
  std::vector<access::AccessAction> actions; // those the Action interface offers
  std::optional<std::string> text;           // a text field's content: it offers the Text interface
  std::int32_t caret = 0;                    // in characters (code points)
  std::int32_t selection_start = 0;          // the selected run, in characters; none when equal
  std::int32_t selection_end = 0;
  std::int32_t character_count = 0;
  bool live = false; // its new texts are announced

  bool has_state(std::uint32_t state) const {
    return (states[state / 32] >> (state % 32) & 1U) != 0;
  }
};

struct ExportedTree {
  std::vector<ExportedNode> nodes;
  std::vector<int> top; // the application object's children
  std::unordered_map<std::string, int> by_path;
  int focused = -1;
  Point window_origin; // top-left of the window on the screen
  Rect window;         // the window in its own coordinates (points)

  /// The node at `path`; none for the application object and unknown paths.
  ExportedNode const* find(std::string_view path) const;
  /// Children paths of the node at index (APP_INDEX: the application object).
  std::vector<int> const& children_of(int index) const;
};

/// Flattens `root` (hidden subtrees left out) into exported nodes below the application
/// object. `window` and the nodes' bounds are in layout pixels; `scale` window points per layout
/// pixel (the UI scale) takes them to the window coordinates the bus speaks. A tree of more than
/// `max_nodes` nodes is cut there, depth first.
ExportedTree export_tree(std::optional<access::AccessNode> const& root, Point window_origin,
                         Rect window, double scale = 1.0, std::size_t max_nodes = 4096);

/// `root` as the bus presents it: the presentation's canvas appended to the root's children and
/// each run of the root's children with one list's item prefix wrapped in that list, in its place.
std::optional<access::AccessNode> present_for_bus(std::optional<access::AccessNode> root,
                                                  access::AccessPresentation const& presentation);

/// The protocol role of a node and its name ("push button").
std::uint32_t atspi_role_of(access::AccessNode const& node);
std::string_view atspi_role_name(std::uint32_t role);
/// The protocol name of a node's action ("click", "focus"); empty for actions the Action
/// interface does not offer (values are set through the text interfaces).
std::string_view action_name(access::AccessAction action);

/// One event of the accessibility bus, emitted from `path`.
struct TreeEvent {
  enum class Data : std::uint8_t { None, Child, Text };
  std::string path;
  std::string interface; // org.a11y.atspi.Event.Object or .Focus
  std::string member;    // ChildrenChanged, StateChanged, PropertyChange, Focus
  std::string detail;    // "add", "focused", "accessible-name"
  std::int32_t detail1 = 0;
  std::int32_t detail2 = 0;
  Data data = Data::None;
  std::string value; // the child's path (Child) or the new text (Text)
  bool operator==(TreeEvent const&) const = default;
};

/// What changed from `before` to `after`: children removed and added (per parent present in
/// both), names and descriptions, the checked, enabled and showing states, a text field's text
/// (the changed run deleted, then the new one inserted) and caret, an announcement of a live
/// node's new or changed non-empty name, and the keyboard focus (its state on the old and new
/// node, then a Focus event from the new one).
std::vector<TreeEvent> tree_changes(ExportedTree const& before, ExportedTree const& after);

} // namespace zarn_ui::a11y
