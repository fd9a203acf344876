#include "platform/widgets/text.h"

#include <algorithm>
#include <cmath>

#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"

namespace zarn_ui::widget {

Text::Text(std::string_view text, float size)
    : text_(text), size_(std::isfinite(size) && size > 0.0f ? size : 13.0f) {
  std::size_t start = 0;
  while (true) {
    std::size_t const end = text.find('\n', start);
    lines_.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) {
      break;
    }
    start = end + 1;
  }
}

base::Result<layout::NodeId> Text::build_layout(layout::LayoutTree& tree,
                                                TextRenderer const& text) {
  double width = 0.0;
  for (auto const& line : lines_) {
    width = std::max(width, static_cast<double>(text.measure(line, size_)));
  }
  double const height = static_cast<double>(lines_.size()) * text.line_height(size_);
  return tree.new_leaf_with_measure(layout::Style{}, [width, height](Size available) {
    return Size{std::min(width, available.width), std::min(height, available.height)};
  });
}

void Text::apply_layout(layout::LayoutTree const& tree, layout::NodeId node, double x, double y) {
  auto const box = tree.layout(node);
  if (!box) {
    rect_ = Rect{x, y, x, y};
    return;
  }
  rect_ = Rect::from_origin_size({x + box->x, y + box->y}, {box->width, box->height});
}

void Text::draw(Scene& scene, Affine const& transform, TextRenderer const& text, Theme const& theme,
                PresenceCtx const& /*presence*/) const {
  double const line = text.line_height(size_);
  auto const max_width = static_cast<float>(std::max(rect_.width(), 0.0));
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    double const y = rect_.y0 + static_cast<double>(i) * line;
    if (y + line > rect_.y1 + 1.0) {
      break; // lines below the box are not drawn
    }
    text.draw_text_limited(scene, lines_[i], size_, theme.text,
                           transform * Affine::translate(rect_.x0, y), 0, max_width);
  }
}

} // namespace zarn_ui::widget
