#pragma once
// LineLayout: one line of plain text laid out once, with what an editor asks of it: the code
// point boundaries a caret may stand on (grapheme clusters), where words start and end, the
// caret's x at every boundary and the boundary nearest to an x. Built by
// TextRenderer::lay_out_line; boundaries alone (no positions) come from line_breaks().

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

using PangoLogAttr = struct _PangoLogAttr;

namespace zarn_ui {

namespace text_detail {
struct PreparedText;
class TextEngine;
} // namespace text_detail

class LineLayout {
public:
  /// An empty text: one boundary, at x 0.
  LineLayout();

  /// Code points in the text; boundaries are numbered 0 to size().
  std::size_t size() const { return offsets_.size() - 1; }
  /// Byte offset of boundary `index` (clamped to the end).
  std::size_t offset(std::size_t index) const;
  /// The boundary at or before byte offset `byte`.
  std::size_t index_at(std::size_t byte) const;

  /// Whether a caret may stand at the boundary (it does not split a grapheme cluster).
  bool is_stop(std::size_t index) const;
  /// The nearest caret stop before / after `index` (0 / size() at the ends).
  std::size_t previous_stop(std::size_t index) const;
  std::size_t next_stop(std::size_t index) const;
  /// The nearest word start before `index`, the nearest word end after it (0 / size() when
  /// there is none).
  std::size_t previous_word_start(std::size_t index) const;
  std::size_t next_word_end(std::size_t index) const;
  /// The word a double click at `index` selects: from the word start at or before it to the
  /// word end at or after it.
  std::pair<std::size_t, std::size_t> word_around(std::size_t index) const;

  /// Whether caret positions were laid out (false for line_breaks()).
  bool has_positions() const { return !x_.empty(); }
  /// Caret x at boundary `index` relative to the line's start, in logical pixels; 0 without
  /// positions.
  double x(std::size_t index) const;
  double width() const { return width_; }
  /// The caret stop nearest to `x`; size() without positions.
  std::size_t nearest_stop(double x) const;
  /// Caret stops [first, last) whose glyphs cover the span [x0, x1], with a stop to spare on
  /// each side; the whole text when directions mix (positions then do not grow left to right).
  std::pair<std::size_t, std::size_t> covering(double x0, double x1) const;
  /// The horizontal spans the text between boundaries `from` and `to` occupies: one for text
  /// of one direction, several where directions mix.
  std::vector<std::pair<double, double>> spans(std::size_t from, std::size_t to) const;

private:
  friend LineLayout line_breaks(std::string_view text);
  friend class text_detail::TextEngine;

  enum Flag : std::uint8_t { STOP = 1, WORD_START = 2, WORD_END = 4 };
  /// Fills the flags from pango's attributes of each boundary; both ends are always stops.
  void set_flags(PangoLogAttr const* attrs, std::size_t count);
  bool has(std::size_t index, Flag flag) const;

  std::vector<std::size_t> offsets_;
  std::vector<std::uint8_t> flags_;
  std::vector<double> x_; // per boundary; empty without positions
  double width_ = 0.0;
  bool left_to_right_ = true; // x_ never decreases
  // The pango layout the positions came from, kept for spans of mixed directions.
  std::shared_ptr<text_detail::PreparedText const> laid_out_;
};

/// Boundaries of `text` (valid UTF-8 without NUL) without positions: what keyboard editing
/// needs before a first drawing.
LineLayout line_breaks(std::string_view text);

} // namespace zarn_ui
