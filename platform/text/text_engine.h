#pragma once
// Internal to the text module and the cairo replay: one pango font map and context per thread,
// with fixed font options, shaping plain one-line texts into cached layouts. Painters use
// TextRenderer (text_renderer.h) instead.

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include <cairo.h>
#include <pango/pangocairo.h>

#include "platform/scene/geometry.h"
#include "platform/text/line_layout.h"

namespace zarn_ui::text_detail {

/// A shaped line ready to paint: (0, baseline) is the start of its baseline relative to the
/// top-left corner of the line box.
struct PreparedText {
  PangoLayout* layout = nullptr; // owned
  double baseline = 0.0;
  float width = 0.0f; // advance width in pixels
  Rect ink;           // where its glyphs paint, relative to the line box's top-left corner

  PreparedText() = default;
  PreparedText(PreparedText const&) = delete;
  PreparedText& operator=(PreparedText const&) = delete;
  ~PreparedText();
};

/// Key of a shaped line: text, pixel size, weight selector and optional width limit.
struct TextKey {
  std::string text;
  float size = 0.0f;
  int weight = 0;
  float max_width = -1.0f; // negative: no limit

  friend bool operator==(TextKey const&, TextKey const&) = default;
};

/// A key to look up with, so a cache hit copies no text.
struct TextKeyView {
  std::string_view text;
  float size = 0.0f;
  int weight = 0;
  float max_width = -1.0f;

  TextKeyView(std::string_view t, float s, int w, float m)
      : text(t), size(s), weight(w), max_width(m) {}
  TextKeyView(TextKey const& k) // NOLINT: implicit, to hash and compare both kinds alike
      : text(k.text), size(k.size), weight(k.weight), max_width(k.max_width) {}
  friend bool operator==(TextKeyView const&, TextKeyView const&) = default;
};

struct TextKeyHash {
  using is_transparent = void;
  std::size_t operator()(TextKeyView const& k) const;
};

struct TextKeyEqual {
  using is_transparent = void;
  bool operator()(TextKeyView const& a, TextKeyView const& b) const { return a == b; }
};

/// A least-recently-used map with a fixed capacity.
template <class V> class LruCache {
public:
  explicit LruCache(std::size_t capacity) : capacity_(capacity) {}

  V const* find(TextKeyView const& key) {
    auto it = index_.find(key);
    if (it == index_.end()) {
      return nullptr;
    }
    order_.splice(order_.begin(), order_, it->second);
    return &it->second->second;
  }
  void insert(TextKey key, V value) {
    if (auto it = index_.find(key); it != index_.end()) {
      it->second->second = std::move(value);
      order_.splice(order_.begin(), order_, it->second);
      return;
    }
    order_.emplace_front(std::move(key), std::move(value));
    index_.emplace(order_.front().first, order_.begin());
    while (order_.size() > capacity_) {
      index_.erase(order_.back().first);
      order_.pop_back();
    }
  }
  std::size_t size() const { return order_.size(); }
  void clear() {
    index_.clear();
    order_.clear();
  }

private:
  using Entry = std::pair<TextKey, V>;
  std::size_t capacity_;
  std::list<Entry> order_;
  std::unordered_map<TextKey, typename std::list<Entry>::iterator, TextKeyHash, TextKeyEqual>
      index_;
};

inline constexpr char const* FONT_FAMILY = "DejaVu Sans";
inline constexpr double LINE_HEIGHT_FACTOR = 1.25;

class TextEngine {
public:
  TextEngine();
  ~TextEngine();
  TextEngine(TextEngine const&) = delete;
  TextEngine& operator=(TextEngine const&) = delete;

  /// The engine of the calling thread (pango objects are not shared between threads).
  static std::shared_ptr<TextEngine> for_this_thread();

  /// Advance width of one line at pixel size `size`, cached.
  float measure(std::string_view text, float size, int weight);
  /// The shaped line, cached; `max_width` < 0 means no limit.
  std::shared_ptr<PreparedText const> prepare(std::string_view text, float size, int weight,
                                              float max_width);
  /// One line laid out for editing at pixel size `size`, regular weight; not cached, as the
  /// editor keeps it until its text changes.
  LineLayout lay_out_line(std::string_view text, float size);
  /// Paints a shaped line with the line box's top-left corner at the current user-space origin.
  static void draw(cairo_t* cr, PreparedText const& text);

  /// The family of the font that regular text at `size` resolves to.
  std::string resolved_family(float size);

  std::size_t measure_cache_size() const { return widths_.size(); }
  std::size_t layout_cache_size() const { return layouts_.size(); }

private:
  void configure(PangoLayout* layout, std::string const& text, float size, int weight,
                 float max_width);
  double baseline_for(float size, int weight);

  PangoFontMap* font_map_ = nullptr;
  PangoContext* context_ = nullptr;
  PangoLayout* scratch_ = nullptr; // for measuring without a cache entry per layout
  LruCache<float> widths_{8192};
  LruCache<std::shared_ptr<PreparedText const>> layouts_{1024};
  LruCache<double> baselines_{256};
};

/// Plain text as pango takes it: malformed UTF-8 and NUL bytes become U+FFFD.
std::string sanitize(std::string_view text);

/// The weight selector (0 regular .. 3 bold) clamped to its range.
int clamp_weight(int weight);

} // namespace zarn_ui::text_detail
