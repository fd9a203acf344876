#pragma once
// Accessibility nodes: the tree an application exposes to assistive technology and to
// automation (role, ids, name, state, bounds, the actions a node offers, children), and the
// bindings from those actions to the nodes that declare them. Building the tree is the
// application's; this module only holds the records and walks them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/scene/geometry.h"

namespace zarn_ui::access {

/// The most code points a text field holds: typing stops there, and a longer text set from
/// outside (the accessibility bus) is refused, so no field can carry a pasted book into what
/// the application keeps.
inline constexpr std::size_t MAX_TEXT_FIELD_CHARS = 1000;

/// Role codes as the application uses them.
inline constexpr std::uint8_t ROLE_WINDOW = 1;
inline constexpr std::uint8_t ROLE_BUTTON = 17;
inline constexpr std::uint8_t ROLE_TOGGLE_BUTTON = 18;
inline constexpr std::uint8_t ROLE_RADIO = 20;
inline constexpr std::uint8_t ROLE_SWITCH = 21;
inline constexpr std::uint8_t ROLE_SEARCH_FIELD = 25;
/// A pop-up menu and its items.
inline constexpr std::uint8_t ROLE_MENU = 40;
inline constexpr std::uint8_t ROLE_MENU_ITEM = 41;
/// A list of rows and one of its rows (pressed like a button).
inline constexpr std::uint8_t ROLE_LIST = 42;
inline constexpr std::uint8_t ROLE_LIST_ITEM = 43;
/// A drawn picture described in words (the map area).
inline constexpr std::uint8_t ROLE_CANVAS = 50;
/// Text that is only read: a line of text, a heading over a group, the window's status line.
inline constexpr std::uint8_t ROLE_LABEL = 60;
inline constexpr std::uint8_t ROLE_HEADING = 61;
inline constexpr std::uint8_t ROLE_STATUS = 62;

/// What a node can be asked to do.
enum class AccessAction : std::uint8_t { Press, Focus, SetValue };

/// The numeric id of an id text: 64-bit FNV-1a over its UTF-8 bytes followed by one 0xFF byte
/// (so that no id text hashes like the empty prefix of a longer one).
std::uint64_t node_id_for(std::string_view id_text);

struct AccessNode {
  std::uint8_t role = 0;
  std::uint64_t id = 0;      // numeric id, node_id_for(id_text)
  std::string id_text;       // the stable id ("maps.control:zoom-in")
  std::string automation_id; // the same text as seen by automation
  std::optional<std::string> name;
  std::uint8_t state = 0; // the role's state byte (toggles: 0 off, 1 on; buttons 2)
  std::optional<Rect> bounds;
  std::vector<AccessAction> actions; // empty: the role's default actions
  std::vector<AccessNode> children;
  bool hidden = false;        // not presented (a closed dialog); its subtree binds nothing
  bool editable_text = false; // takes text input
  bool focused = false;       // holds the keyboard focus
  bool modal = false;         // a dialog that blocks the rest of the window
  bool live = false;          // a new text here is announced without the focus moving
  std::optional<std::string> description;
  /// What a text field holds (never its placeholder) and where its caret is, in code points;
  /// none for nodes that hold no text.
  std::optional<std::string> text;
  std::size_t caret = 0;
  /// The selected run of a text field, in code points; empty when both ends are equal.
  std::size_t selection_start = 0;
  std::size_t selection_end = 0;

  /// Sets both id members and the numeric id.
  AccessNode with_id(std::string_view id_text) &&;
  AccessNode with_name(std::string_view name) && {
    this->name = std::string(name);
    return std::move(*this);
  }
  AccessNode with_optional_name(std::optional<std::string> name) && {
    this->name = std::move(name);
    return std::move(*this);
  }
  AccessNode with_children(std::vector<AccessNode> children) && {
    this->children = std::move(children);
    return std::move(*this);
  }
  AccessNode with_bounds(Rect bounds) && {
    this->bounds = bounds;
    return std::move(*this);
  }

  friend bool operator==(AccessNode const&, AccessNode const&) = default;
};

/// Rows the application keeps flat that read as one list: the root's children whose id texts
/// start with `item_prefix`, in a list named `name`.
struct AccessList {
  std::string item_prefix;
  std::string name;
};

/// How the bus presents a tree the application keeps flat: a drawn area to add below the root,
/// and the lists its rows read as (the rows keep their ids, so their actions and focus stay
/// theirs).
struct AccessPresentation {
  std::optional<AccessNode> canvas;
  std::vector<AccessList> lists;
};

/// The actions a node offers: its own list, else the defaults of its role (buttons, toggles,
/// choices, switches and menu items are pressed; search fields take focus and a value; others
/// nothing).
std::vector<AccessAction> node_actions(AccessNode const& node);

} // namespace zarn_ui::access

namespace zarn_ui::widget {

/// One semantic action the tree declares, and where its node is.
struct SemanticActionBinding {
  std::string id; // the node's id text
  std::uint64_t node_id = 0;
  access::AccessAction action = access::AccessAction::Press;
  std::optional<std::string> label; // the node's name
  std::vector<std::size_t> path;    // child indices from the root
  friend bool operator==(SemanticActionBinding const&, SemanticActionBinding const&) = default;
};

/// Every action of every node of the tree, depth first in child order, for nodes that have an
/// id text and are not hidden (a hidden node hides its subtree).
std::vector<SemanticActionBinding> semantic_action_bindings(access::AccessNode const& root);

} // namespace zarn_ui::widget
