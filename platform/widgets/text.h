#pragma once
// Text: a static block of plain text, one line per line feed, as a content widget that takes
// part in a layout tree (dialog bodies). A line wider than the laid-out box wraps at its spaces;
// a single word wider than the box is cut with an ellipsis.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "platform/layout/layout.h"
#include "platform/scene/geometry.h"
#include "platform/widget/widget.h"

namespace zarn_ui::widget {

class Text {
public:
  Text() = default;
  Text(std::string_view text, float size);

  std::string const& text() const { return text_; }
  float size() const { return size_; }
  std::vector<std::string> const& lines() const { return lines_; }

  /// Adds a measured leaf for the text to `tree`. The widths are measured now, so the tree
  /// keeps no reference to the renderer.
  base::Result<layout::NodeId> build_layout(layout::LayoutTree& tree, TextRenderer const& text);
  /// Takes the box of `node` from the computed `tree`, placed at (x, y).
  void apply_layout(layout::LayoutTree const& tree, layout::NodeId node, double x, double y);
  Rect const& rect() const { return rect_; }

  /// Draws the lines in the theme's primary text colour from the top of the box.
  void draw(Scene& scene, Affine const& transform, TextRenderer const& text, Theme const& theme,
            PresenceCtx const& presence = PresenceCtx::empty()) const;

private:
  std::string text_;
  std::vector<std::string> lines_;
  float size_ = 13.0f;
  Rect rect_;
};

} // namespace zarn_ui::widget
