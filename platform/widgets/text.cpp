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

namespace {

/// The words of a line and their widths, and the width of one space between them.
struct MeasuredLine {
  std::vector<std::string> words;
  std::vector<double> widths;
};

MeasuredLine measure_words(std::string const& line, TextRenderer const& text, float size) {
  MeasuredLine out;
  std::size_t start = 0;
  while (start <= line.size()) {
    std::size_t const end = std::min(line.find(' ', start), line.size());
    out.words.push_back(line.substr(start, end - start));
    out.widths.push_back(static_cast<double>(text.measure(out.words.back(), size)));
    start = end + 1;
  }
  return out;
}

/// Greedy breaking at spaces: each piece's words no wider than `width`, a word wider than it
/// alone on its piece.
std::vector<std::string> wrap(MeasuredLine const& line, double space, double width) {
  std::vector<std::string> pieces;
  std::string piece;
  double used = 0.0;
  for (std::size_t i = 0; i < line.words.size(); ++i) {
    double const w = line.widths[i];
    if (!piece.empty() && used + space + w > width) {
      pieces.push_back(std::move(piece));
      piece.clear();
      used = 0.0;
    }
    if (!piece.empty()) {
      piece += ' ';
      used += space;
    }
    piece += line.words[i];
    used += w;
  }
  pieces.push_back(std::move(piece));
  return pieces;
}

} // namespace

base::Result<layout::NodeId> Text::build_layout(layout::LayoutTree& tree,
                                                TextRenderer const& text) {
  double width = 0.0;
  std::vector<MeasuredLine> measured;
  for (auto const& line : lines_) {
    width = std::max(width, static_cast<double>(text.measure(line, size_)));
    measured.push_back(measure_words(line, text, size_));
  }
  // Whole pixels up: the layout rounds boxes to pixels, and a box a fraction narrower than its
  // line would cut the line's last glyphs to an ellipsis.
  width = std::ceil(width);
  double const line_height = text.line_height(size_);
  double const space = static_cast<double>(text.measure(" ", size_));
  return tree.new_leaf_with_measure(
      layout::Style{}, [width, line_height, space, measured = std::move(measured)](Size available) {
        double const w = std::min(width, static_cast<double>(available.width));
        std::size_t rows = 0;
        for (auto const& line : measured) {
          rows += width > w ? wrap(line, space, w - 1.0).size() : 1;
        }
        double const height = static_cast<double>(rows) * line_height;
        return Size{static_cast<float>(w),
                    static_cast<float>(std::min(height, static_cast<double>(available.height)))};
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
  double const width = std::max(rect_.width(), 0.0);
  auto const max_width = static_cast<float>(width);
  double const space = static_cast<double>(text.measure(" ", size_));
  double y = rect_.y0;
  for (auto const& whole : lines_) {
    std::vector<std::string> const pieces =
        static_cast<double>(text.measure(whole, size_)) > width
            ? wrap(measure_words(whole, text, size_), space, width - 1.0)
            : std::vector<std::string>{whole};
    for (auto const& piece : pieces) {
      if (y + line > rect_.y1 + 1.0) {
        return; // lines below the box are not drawn
      }
      text.draw_text_limited(scene, piece, size_, theme.text,
                             transform * Affine::translate(rect_.x0, y), 0, max_width);
      y += line;
    }
  }
}

} // namespace zarn_ui::widget
