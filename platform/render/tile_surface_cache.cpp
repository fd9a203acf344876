#include "platform/render/tile_surface_cache.h"

namespace zarn_ui::render {

cairo_surface_t* TileSurfaceCache::find(std::string const& key) {
  auto const it = index_.find(key);
  if (it == index_.end()) {
    return nullptr;
  }
  entries_.splice(entries_.begin(), entries_, it->second);
  return it->second->surface;
}

void TileSurfaceCache::insert(std::string key, cairo_surface_t* surface) {
  if (surface == nullptr) {
    return;
  }
  if (auto const it = index_.find(key); it != index_.end()) {
    drop(it->second);
  }
  std::size_t const bytes = static_cast<std::size_t>(cairo_image_surface_get_stride(surface)) *
                            static_cast<std::size_t>(cairo_image_surface_get_height(surface));
  entries_.push_front(Entry{key, surface, bytes});
  index_.emplace(std::move(key), entries_.begin());
  bytes_ += bytes;
  ++renders_;
  while (bytes_ > max_bytes_ && entries_.size() > 1) {
    drop(std::prev(entries_.end()));
  }
}

void TileSurfaceCache::clear() {
  while (!entries_.empty()) {
    drop(entries_.begin());
  }
}

void TileSurfaceCache::drop(std::list<Entry>::iterator it) {
  bytes_ -= it->bytes;
  cairo_surface_destroy(it->surface);
  index_.erase(it->key);
  entries_.erase(it);
}

} // namespace zarn_ui::render
