#include "platform/render/tile_surface_cache.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pixel_difference.h"
#include "platform/render/cairo_replay.h"
#include "platform/render/offscreen.h"

namespace zarn_ui {
namespace {

using render::TileSurfaceCache;
using test::Difference;
using test::difference;

/// A 64-px tile showing a diagonal stroke and a disc crossing its edges, counting how often its
/// content is recorded.
Scene tiled_scene(std::string const& key, Rect const& rect, std::shared_ptr<int> recorded) {
  Scene scene;
  scene.cached_tile(key, rect, Affine::identity(), [recorded](Scene& out) {
    ++*recorded;
    out.fill(FillRule::NonZero, Affine::identity(), Color{0.9f, 0.9f, 0.8f, 1.0f},
             Rect{0, 0, 64, 64});
    out.stroke(Stroke::with_width(5.5), Affine::identity(), Color{0.2f, 0.4f, 0.9f, 1.0f},
               Line{{-10, 3}, {80, 61}});
    out.fill(FillRule::NonZero, Affine::identity(), Color{0.8f, 0.1f, 0.1f, 0.6f},
             Circle{{60, 20}, 9.3});
  });
  return scene;
}

std::vector<std::uint8_t> render(Scene const& scene, double scale, TileSurfaceCache* cache) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 160);
  EXPECT_TRUE(render_into(scene, surface, colors::WHITE, scale, cache).has_value());
  auto const* data = cairo_image_surface_get_data(surface);
  std::vector<std::uint8_t> out(data, data + cairo_image_surface_get_stride(surface) * 160);
  cairo_surface_destroy(surface);
  return out;
}

TEST(CachedTile, TheCacheShowsWhatDrawingInPlaceShowsAndRecordsTheContentOnce) {
  struct Case {
    char const* what;
    Rect rect;
    double scale;
  } const cases[] = {
      {"whole pixels", Rect{10, 20, 74, 84}, 1.0},
      {"between pixels", Rect{10.37, 20.81, 74.37, 84.81}, 1.0},
      {"twice the density", Rect{10.37, 20.81, 74.37, 84.81}, 2.0},
      {"one and a half", Rect{3.2, 5.9, 67.2, 69.9}, 1.5},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    auto recorded = std::make_shared<int>(0);
    Scene const scene = tiled_scene("a", c.rect, recorded);
    std::vector<std::uint8_t> const direct = render(scene, c.scale, nullptr);
    TileSurfaceCache cache;
    std::vector<std::uint8_t> const first = render(scene, c.scale, &cache);
    std::vector<std::uint8_t> const second = render(scene, c.scale, &cache);
    // Rounding of the coordinates (in place they carry the whole-pixel offset too) moves an
    // edge's coverage by at most one step in a few pixels.
    Difference const d = difference(first, direct);
    EXPECT_LE(d.max_channel, 1) << d.pixels;
    EXPECT_LE(d.pixels, 40u);
    EXPECT_EQ(second, first);
    EXPECT_EQ(*recorded, 2); // once in place, once into the cache; the second replay copies
    EXPECT_EQ(cache.renders(), 1u);
  }
}

TEST(CachedTile, ATileCopiesTheSpritesInsideItFromTheCache) {
  // A layer's tile holding one sprite three times, on whole pixels; the sprite holds a tile of
  // its own, which is one level too deep and never drawn.
  auto sprites = std::make_shared<int>(0);
  auto deepest = std::make_shared<int>(0);
  Scene scene;
  scene.cached_tile("layer", Rect{10, 20, 138, 148}, Affine::identity(), [=](Scene& out) {
    for (double const x : {4.0, 40.0, 90.0}) {
      out.cached_tile("sprite", Rect{0, 0, 24, 30}, Affine::translate(x, 50.0), [=](Scene& in) {
        ++*sprites;
        in.fill(FillRule::NonZero, Affine::identity(), Color{0.1f, 0.5f, 0.3f, 1.0f},
                Circle{{12, 12}, 9.5});
        in.cached_tile("deeper", Rect{0, 0, 8, 8}, Affine::identity(), [=](Scene& last) {
          ++*deepest;
          last.fill(FillRule::NonZero, Affine::identity(), colors::BLACK, Rect{0, 0, 8, 8});
        });
      });
    }
  });
  std::vector<std::uint8_t> const direct = render(scene, 1.0, nullptr);
  EXPECT_EQ(*sprites, 3);
  TileSurfaceCache cache;
  std::vector<std::uint8_t> const cached = render(scene, 1.0, &cache);
  EXPECT_EQ(*sprites, 4); // drawn once into the cache, then copied
  EXPECT_EQ(cache.renders(), 2u);
  EXPECT_EQ(*deepest, 0);
  Difference const d = difference(cached, direct);
  EXPECT_LE(d.max_channel, 1) << d.pixels;
}

TEST(CachedTile, NeighboursMeetWithoutASeam) {
  // Two tiles with the same opaque fill, meeting between pixels: no pixel on the seam may let
  // the white ground through.
  auto recorded = std::make_shared<int>(0);
  Scene scene = tiled_scene("left", Rect{0.4, 0.4, 64.4, 64.4}, recorded);
  scene.append(tiled_scene("right", Rect{64.4, 0.4, 128.4, 64.4}, recorded));
  for (TileSurfaceCache* cache :
       {static_cast<TileSurfaceCache*>(nullptr), std::make_unique<TileSurfaceCache>().release()}) {
    std::unique_ptr<TileSurfaceCache> owned(cache);
    std::vector<std::uint8_t> const px = render(scene, 1.0, cache);
    for (int y = 40; y < 60; ++y) { // below the stroke and the disc: land only
      for (int x = 60; x < 70; ++x) {
        std::uint32_t v;
        std::memcpy(&v, &px[static_cast<std::size_t>(y * 200 * 4 + x * 4)], 4);
        EXPECT_NE(v, 0xFFFFFFFFu) << x << "," << y;
      }
    }
  }
}

TEST(CachedTile, AnotherKeyOrScaleRendersAgain) {
  auto recorded = std::make_shared<int>(0);
  TileSurfaceCache cache;
  Rect const rect{10, 20, 74, 84};
  render(tiled_scene("a", rect, recorded), 1.0, &cache);
  struct Case {
    char const* what;
    std::string key;
    double scale;
    std::uint64_t renders_after;
  } const cases[] = {
      {"same key and scale", "a", 1.0, 1},
      {"another key", "b", 1.0, 2},
      {"another scale", "a", 2.0, 3},
      {"the first again", "a", 1.0, 3},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    render(tiled_scene(c.key, rect, recorded), c.scale, &cache);
    EXPECT_EQ(cache.renders(), c.renders_after);
  }
}

TEST(CachedTile, TheLeastRecentlyUsedGoBeyondTheBudget) {
  // 64 × 64 ARGB tiles of 16 KiB: a budget of three.
  TileSurfaceCache cache(3 * 64 * 64 * 4);
  auto recorded = std::make_shared<int>(0);
  Rect const rect{0, 0, 64, 64};
  for (std::string const key : {"a", "b", "c"}) {
    render(tiled_scene(key, rect, recorded), 1.0, &cache);
  }
  render(tiled_scene("a", rect, recorded), 1.0, &cache); // a is now the most recent
  render(tiled_scene("d", rect, recorded), 1.0, &cache); // evicts b
  EXPECT_EQ(cache.size(), 3u);
  EXPECT_LE(cache.bytes(), std::size_t{3 * 64 * 64 * 4});
  std::uint64_t const before = cache.renders();
  render(tiled_scene("a", rect, recorded), 1.0, &cache);
  EXPECT_EQ(cache.renders(), before);
  render(tiled_scene("b", rect, recorded), 1.0, &cache);
  EXPECT_EQ(cache.renders(), before + 1);
}

} // namespace
} // namespace zarn_ui
