#include "platform/text/line_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <pango/pangocairo.h>

#include "base/saturate.h"
#include "platform/text/text_engine.h"

namespace zarn_ui {

namespace {

double px(int pango_units) {
  return static_cast<double>(pango_units) / PANGO_SCALE;
}

/// Byte offsets of every code point boundary of valid UTF-8 text, the end included.
std::vector<std::size_t> boundaries(std::string_view text) {
  std::vector<std::size_t> out;
  out.reserve(text.size() + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      out.push_back(i);
    }
  }
  out.push_back(text.size());
  return out;
}

} // namespace

LineLayout::LineLayout() : offsets_{0}, flags_{STOP} {}

std::size_t LineLayout::offset(std::size_t index) const {
  return offsets_[std::min(index, size())];
}

std::size_t LineLayout::index_at(std::size_t byte) const {
  auto const it = std::upper_bound(offsets_.begin(), offsets_.end(), byte);
  return static_cast<std::size_t>(it - offsets_.begin()) - 1;
}

bool LineLayout::has(std::size_t index, Flag flag) const {
  return index < flags_.size() && (flags_[index] & flag) != 0;
}

bool LineLayout::is_stop(std::size_t index) const {
  return has(index, STOP);
}

std::size_t LineLayout::previous_stop(std::size_t index) const {
  std::size_t i = std::min(index, size());
  while (i > 0) {
    --i;
    if (is_stop(i)) {
      return i;
    }
  }
  return 0;
}

std::size_t LineLayout::next_stop(std::size_t index) const {
  for (std::size_t i = index + 1; i < size(); ++i) {
    if (is_stop(i)) {
      return i;
    }
  }
  return size();
}

std::size_t LineLayout::previous_word_start(std::size_t index) const {
  std::size_t i = std::min(index, size());
  while (i > 0) {
    --i;
    if (has(i, WORD_START)) {
      return i;
    }
  }
  return 0;
}

std::size_t LineLayout::next_word_end(std::size_t index) const {
  for (std::size_t i = index + 1; i < size(); ++i) {
    if (has(i, WORD_END)) {
      return i;
    }
  }
  return size();
}

std::pair<std::size_t, std::size_t> LineLayout::word_around(std::size_t index) const {
  index = std::min(index, size());
  std::size_t const start = has(index, WORD_START) ? index : previous_word_start(index);
  // At the end of a word (and no other word starting there) the click meant that word.
  std::size_t const end =
      has(index, WORD_END) && !has(index, WORD_START) ? index : next_word_end(index);
  return {start, end};
}

double LineLayout::x(std::size_t index) const {
  return x_.empty() ? 0.0 : x_[std::min(index, size())];
}

std::size_t LineLayout::nearest_stop(double x) const {
  if (x_.empty()) {
    return size();
  }
  if (!std::isfinite(x)) {
    x = x > 0.0 ? width_ : 0.0;
  }
  auto const distance = [&](std::size_t i) { return std::abs(x_[i] - x); };
  if (!left_to_right_) {
    std::size_t best = 0;
    for (std::size_t i = 1; i <= size(); ++i) {
      if (is_stop(i) && distance(i) < distance(best)) {
        best = i;
      }
    }
    return best;
  }
  auto const it = std::lower_bound(x_.begin(), x_.end(), x);
  std::size_t const at = static_cast<std::size_t>(it - x_.begin());
  std::size_t const after = at >= size() ? size() : (is_stop(at) ? at : next_stop(at));
  std::size_t const before = after == 0 ? 0 : previous_stop(after);
  return distance(before) <= distance(after) ? before : after;
}

std::pair<std::size_t, std::size_t> LineLayout::covering(double x0, double x1) const {
  if (x_.empty() || !left_to_right_) {
    return {0, size()};
  }
  auto const first_past = std::upper_bound(x_.begin(), x_.end(), x0);
  std::size_t first = static_cast<std::size_t>(first_past - x_.begin());
  first = previous_stop(first == 0 ? 0 : first - 1);
  auto const last_at = std::lower_bound(x_.begin(), x_.end(), x1);
  std::size_t last = static_cast<std::size_t>(last_at - x_.begin());
  last = next_stop(std::min(last, size()));
  return {first, last};
}

std::vector<std::pair<double, double>> LineLayout::spans(std::size_t from, std::size_t to) const {
  from = std::min(from, size());
  to = std::min(to, size());
  if (from >= to || x_.empty()) {
    return {};
  }
  if (left_to_right_ || laid_out_ == nullptr || laid_out_->layout == nullptr) {
    return {{x_[from], x_[to]}};
  }
  std::vector<std::pair<double, double>> out;
  PangoLayoutLine* line = pango_layout_get_line_readonly(laid_out_->layout, 0);
  if (line == nullptr) {
    return out;
  }
  int* ranges = nullptr;
  int count = 0;
  pango_layout_line_get_x_ranges(
      line, base::saturating_cast<int>(static_cast<double>(offset(from))),
      base::saturating_cast<int>(static_cast<double>(offset(to))), &ranges, &count);
  for (int i = 0; i < count; ++i) {
    out.emplace_back(px(ranges[2 * i]), px(ranges[2 * i + 1]));
  }
  g_free(ranges);
  return out;
}

void LineLayout::set_flags(PangoLogAttr const* attrs, std::size_t count) {
  for (std::size_t i = 0; i < count && i < flags_.size(); ++i) {
    flags_[i] = static_cast<std::uint8_t>((attrs[i].is_cursor_position ? STOP : 0) |
                                          (attrs[i].is_word_start ? WORD_START : 0) |
                                          (attrs[i].is_word_end ? WORD_END : 0));
  }
  flags_.front() |= STOP;
  flags_.back() |= STOP;
}

LineLayout line_breaks(std::string_view text) {
  LineLayout out;
  out.offsets_ = boundaries(text);
  std::size_t const n = out.offsets_.size();
  std::vector<PangoLogAttr> attrs(n);
  pango_get_log_attrs(text.data(), base::saturating_cast<int>(static_cast<double>(text.size())), -1,
                      pango_language_from_string("en"), attrs.data(),
                      base::saturating_cast<int>(static_cast<double>(n)));
  out.flags_.assign(n, 0);
  out.set_flags(attrs.data(), n);
  return out;
}

namespace text_detail {

LineLayout TextEngine::lay_out_line(std::string_view text, float size) {
  LineLayout out;
  out.offsets_ = boundaries(text);
  std::size_t const n = out.offsets_.size() - 1;
  auto prepared = std::make_shared<PreparedText>();
  prepared->layout = pango_layout_new(context_);
  configure(prepared->layout, std::string(text), size, 0, -1.0f);
  PangoLayout* layout = prepared->layout;

  int attr_count = 0;
  PangoLogAttr const* attrs = pango_layout_get_log_attrs_readonly(layout, &attr_count);
  out.flags_.assign(n + 1, 0);
  out.set_flags(attrs, static_cast<std::size_t>(std::max(attr_count, 0)));

  // Every run covers consecutive characters; its width splits among them as pango shares a
  // cluster's width between its characters, from the run's start edge in its own direction.
  out.x_.assign(n + 1, 0.0);
  char const* all = pango_layout_get_text(layout);
  std::vector<int> widths;
  PangoLayoutIter* it = pango_layout_get_iter(layout);
  do {
    PangoLayoutRun* run = pango_layout_iter_get_run_readonly(it);
    if (run == nullptr || run->item == nullptr) {
      continue;
    }
    PangoRectangle logical{};
    pango_layout_iter_get_run_extents(it, nullptr, &logical);
    PangoItem const* item = run->item;
    widths.assign(static_cast<std::size_t>(std::max(item->num_chars, 0)), 0);
    pango_glyph_item_get_logical_widths(run, all, widths.data());
    bool const rtl = (item->analysis.level % 2) != 0;
    int pos = rtl ? logical.x + logical.width : logical.x;
    std::size_t index = out.index_at(static_cast<std::size_t>(std::max(item->offset, 0)));
    for (int w : widths) {
      if (index > n) {
        break;
      }
      out.x_[index++] = px(pos);
      pos += rtl ? -w : w;
    }
    if (index == n) {
      out.x_[n] = px(pos);
    }
  } while (pango_layout_iter_next_run(it));
  pango_layout_iter_free(it);

  PangoRectangle logical{};
  pango_layout_get_extents(layout, nullptr, &logical);
  out.width_ = px(logical.width);
  out.left_to_right_ = std::is_sorted(out.x_.begin(), out.x_.end());
  out.laid_out_ = std::move(prepared);
  return out;
}

} // namespace text_detail

} // namespace zarn_ui
