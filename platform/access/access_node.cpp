#include "platform/access/access_node.h"

namespace zarn_ui::access {

std::uint64_t node_id_for(std::string_view id_text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  auto const step = [&hash](unsigned char byte) {
    hash ^= byte;
    hash *= 0x100000001b3ULL;
  };
  for (char const c : id_text) {
    step(static_cast<unsigned char>(c));
  }
  step(0xFF);
  return hash;
}

AccessNode AccessNode::with_id(std::string_view text) && {
  id_text = std::string(text);
  automation_id = id_text;
  id = node_id_for(text);
  return std::move(*this);
}

std::vector<AccessAction> node_actions(AccessNode const& node) {
  if (!node.actions.empty()) {
    return node.actions;
  }
  switch (node.role) {
  case ROLE_BUTTON:
  case ROLE_TOGGLE_BUTTON:
  case ROLE_RADIO:
  case ROLE_SWITCH:
  case ROLE_MENU_ITEM:
  case ROLE_LIST_ITEM:
    return {AccessAction::Press};
  case ROLE_SEARCH_FIELD:
    return {AccessAction::Focus, AccessAction::SetValue};
  default:
    return {};
  }
}

} // namespace zarn_ui::access

namespace zarn_ui::widget {

namespace {

// Deep trees come from outside data only through the application; a bound keeps a runaway
// tree from exhausting the stack.
constexpr std::size_t MAX_DEPTH = 64;

void collect(access::AccessNode const& node, std::vector<std::size_t>& path,
             std::vector<SemanticActionBinding>& out) {
  if (node.hidden) {
    return;
  }
  if (!node.id_text.empty()) {
    for (auto const action : access::node_actions(node)) {
      out.push_back({node.id_text, node.id, action, node.name, path});
    }
  }
  if (path.size() >= MAX_DEPTH) {
    return;
  }
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    path.push_back(i);
    collect(node.children[i], path, out);
    path.pop_back();
  }
}

} // namespace

std::vector<SemanticActionBinding> semantic_action_bindings(access::AccessNode const& root) {
  std::vector<SemanticActionBinding> out;
  std::vector<std::size_t> path;
  collect(root, path, out);
  return out;
}

} // namespace zarn_ui::widget
