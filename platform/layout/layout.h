#pragma once
// A tiny layout tree: nodes with a style (fill the parent by default, or a fixed size in
// pixels per axis) and optional measured content (text). Children sit at their parent's
// top-left corner, so children of one parent overlap, each filling it. Independent of widgets:
// callers keep their own node-to-widget maps.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/result.h"
#include "platform/scene/geometry.h"

namespace zarn_ui::layout {

struct NodeId {
  std::uint64_t value = 0;

  friend bool operator==(NodeId, NodeId) = default;
  friend auto operator<=>(NodeId, NodeId) = default;
};

/// A length on one axis: absent = fill the available space (or the measured content's size).
struct Style {
  std::optional<float> width;  // pixels
  std::optional<float> height; // pixels

  static Style fixed(float w, float h) { return {w, h}; }
};

/// The final box of a node: position relative to its parent, and size.
struct Layout {
  float x = 0.0f;
  float y = 0.0f;
  float width = 0.0f;
  float height = 0.0f;

  friend bool operator==(Layout const&, Layout const&) = default;
};

/// Size of measured content given the space available to it.
using MeasureFn = std::function<Size(Size available)>;

class LayoutTree {
public:
  LayoutTree() = default;
  explicit LayoutTree(std::size_t capacity) { nodes_.reserve(capacity); }
  static LayoutTree with_capacity(std::size_t capacity) { return LayoutTree(capacity); }

  base::Result<NodeId> new_leaf(Style style);
  /// A leaf whose unset lengths come from `measure` (limited to the available space).
  base::Result<NodeId> new_leaf_with_measure(Style style, MeasureFn measure);
  /// Fails when a child is unknown, already has a parent, or is listed twice.
  base::Result<NodeId> new_with_children(Style style, std::vector<NodeId> children);

  /// Lays out the subtree of `root` in `available` space.
  base::Result<void> compute_layout(NodeId root, Size available);
  base::Result<Layout> layout(NodeId node) const;
  base::Result<std::vector<NodeId>> children(NodeId node) const;

  /// Rounding of positions and sizes to whole pixels (on by default), edges rounded so that
  /// touching boxes stay touching.
  void enable_rounding() { rounding_ = true; }
  void disable_rounding() { rounding_ = false; }

  std::size_t size() const { return nodes_.size(); }
  void clear() { nodes_.clear(); }

private:
  struct Node {
    Style style;
    MeasureFn measure;
    std::vector<NodeId> children;
    bool has_parent = false;
    Layout unrounded;
    Layout final;
  };

  base::Result<NodeId> add(Node node);
  Node const* find(NodeId id) const;
  void place(std::size_t index, Size available, double abs_x, double abs_y, int depth);

  std::vector<Node> nodes_;
  bool rounding_ = true;
};

} // namespace zarn_ui::layout
