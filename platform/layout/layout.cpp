#include "platform/layout/layout.h"

#include <cmath>

#include <fmt/format.h>

namespace zarn_ui::layout {

namespace {

// Children lists are validated on creation, so the tree has no cycles; the bound only keeps a
// pathological depth from exhausting the stack.
constexpr int MAX_DEPTH = 256;

double sane(double v) {
  return std::isfinite(v) && v > 0.0 ? v : 0.0;
}

// Available space: NaN and negative mean none; +infinity means unbounded.
double space(double v) {
  return v > 0.0 ? v : 0.0;
}

} // namespace

base::Result<NodeId> LayoutTree::add(Node node) {
  nodes_.push_back(std::move(node));
  return NodeId{nodes_.size() - 1};
}

LayoutTree::Node const* LayoutTree::find(NodeId id) const {
  return id.value < nodes_.size() ? &nodes_[id.value] : nullptr;
}

base::Result<NodeId> LayoutTree::new_leaf(Style style) {
  Node node;
  node.style = style;
  return add(std::move(node));
}

base::Result<NodeId> LayoutTree::new_leaf_with_measure(Style style, MeasureFn measure) {
  Node node;
  node.style = style;
  node.measure = std::move(measure);
  return add(std::move(node));
}

base::Result<NodeId> LayoutTree::new_with_children(Style style, std::vector<NodeId> children) {
  for (std::size_t i = 0; i < children.size(); ++i) {
    Node const* child = find(children[i]);
    if (child == nullptr) {
      return base::fail(fmt::format("layout: unknown node {}", children[i].value));
    }
    if (child->has_parent) {
      return base::fail(fmt::format("layout: node {} already has a parent", children[i].value));
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (children[j] == children[i]) {
        return base::fail(fmt::format("layout: node {} listed twice", children[i].value));
      }
    }
  }
  for (auto const& c : children) {
    nodes_[c.value].has_parent = true;
  }
  Node node;
  node.style = style;
  node.children = std::move(children);
  return add(std::move(node));
}

void LayoutTree::place(std::size_t index, Size available, double abs_x, double abs_y, int depth) {
  Node& node = nodes_[index];
  double const avail_w = space(available.width);
  double const avail_h = space(available.height);
  double w = node.style.width ? sane(*node.style.width) : avail_w;
  double h = node.style.height ? sane(*node.style.height) : avail_h;
  if (node.measure && (!node.style.width || !node.style.height)) {
    Size const m = node.measure(Size{w, h});
    // Measured content takes its own size on unset axes, within the space it was given.
    if (!node.style.width) {
      w = std::fmin(sane(m.width), avail_w);
    }
    if (!node.style.height) {
      h = std::fmin(sane(m.height), avail_h);
    }
  }
  // A fill node in unbounded space has nothing to fill.
  w = std::isfinite(w) ? w : 0.0;
  h = std::isfinite(h) ? h : 0.0;
  // Children sit at their parent's top-left corner.
  node.unrounded = {0.0f, 0.0f, static_cast<float>(w), static_cast<float>(h)};
  if (rounding_) {
    // Round the absolute edges so boxes that touch before rounding still touch after it.
    node.final = {0.0f, 0.0f, static_cast<float>(std::round(abs_x + w) - std::round(abs_x)),
                  static_cast<float>(std::round(abs_y + h) - std::round(abs_y))};
  } else {
    node.final = node.unrounded;
  }
  if (depth >= MAX_DEPTH) {
    return;
  }
  std::vector<NodeId> const children = node.children; // `node` may not outlive recursion
  for (auto const& c : children) {
    place(c.value, Size{w, h}, abs_x, abs_y, depth + 1);
  }
}

base::Result<void> LayoutTree::compute_layout(NodeId root, Size available) {
  if (find(root) == nullptr) {
    return base::fail(fmt::format("layout: unknown node {}", root.value));
  }
  place(root.value, available, 0.0, 0.0, 0);
  return {};
}

base::Result<Layout> LayoutTree::layout(NodeId node) const {
  Node const* n = find(node);
  if (n == nullptr) {
    return base::fail(fmt::format("layout: unknown node {}", node.value));
  }
  return n->final;
}

base::Result<std::vector<NodeId>> LayoutTree::children(NodeId node) const {
  Node const* n = find(node);
  if (n == nullptr) {
    return base::fail(fmt::format("layout: unknown node {}", node.value));
  }
  return n->children;
}

} // namespace zarn_ui::layout
