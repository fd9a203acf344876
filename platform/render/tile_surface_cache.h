#pragma once
// Rendered cached tiles (see CachedTileCmd) kept between replays as cairo image surfaces, keyed
// by the tile's own key together with the device scale and sub-pixel offset it was rendered at.
// The least recently used tiles go first once the pixels held pass the byte budget. One cache
// per window (or per run of frames); it is not shared between threads.

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>

#include <cairo.h>

namespace zarn_ui::render {

class TileSurfaceCache {
public:
  /// 128 MiB: at twice the pixel density of a 1280 × 800 window, about 16 MiB a screen, the
  /// basemap's tiles (with the column and row the view reaches into), the traffic or street
  /// layers' and the pins' over about two screens each. A frame whose tiles do not fit would
  /// render them all again every frame.
  static constexpr std::size_t DEFAULT_MAX_BYTES = std::size_t{128} << 20;

  explicit TileSurfaceCache(std::size_t max_bytes = DEFAULT_MAX_BYTES) : max_bytes_(max_bytes) {}
  ~TileSurfaceCache() { clear(); }
  TileSurfaceCache(TileSurfaceCache const&) = delete;
  TileSurfaceCache& operator=(TileSurfaceCache const&) = delete;

  /// The surface stored under `key` (marked as just used), or null. The cache keeps ownership.
  cairo_surface_t* find(std::string const& key);
  /// Stores `surface` under `key`, taking over the caller's reference, and evicts the least
  /// recently used surfaces beyond the budget (never the one just stored).
  void insert(std::string key, cairo_surface_t* surface);
  void clear();

  std::size_t size() const { return entries_.size(); }
  std::size_t bytes() const { return bytes_; }
  /// Tiles rendered into the cache so far (each a miss).
  std::uint64_t renders() const { return renders_; }

private:
  struct Entry {
    std::string key;
    cairo_surface_t* surface = nullptr;
    std::size_t bytes = 0;
  };
  void drop(std::list<Entry>::iterator it);

  std::size_t max_bytes_;
  std::size_t bytes_ = 0;
  std::uint64_t renders_ = 0;
  std::list<Entry> entries_; // most recently used first
  std::unordered_map<std::string, std::list<Entry>::iterator> index_;
};

} // namespace zarn_ui::render
