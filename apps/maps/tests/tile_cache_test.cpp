// The tile cache's memory side: visible tiles, requests, back-off, eviction, ancestors and the
// offline-download counters, with the test standing in for the worker on the two channels.

#include "tiles/tile_cache.h"

#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <variant>

#include <gtest/gtest.h>

#include "geo/geo.h"

namespace maps {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

DecodedTile solid(std::uint32_t size = 2) {
  return DecodedTile{std::vector<std::uint8_t>(std::size_t{size} * size * 4, 200), size, size};
}

/// A cache whose worker is the test: it reads the requests and writes the replies.
struct FakeWorker {
  base::ManualClock clock;
  TileCache cache;
  std::optional<base::Receiver<TileRequest>> requests;
  std::optional<base::Sender<TileReply>> replies;

  FakeWorker() {
    cache = tile_cache_without_worker("/nonexistent/tiles", clock);
    auto [req_tx, req_rx] = base::channel<TileRequest>();
    auto [rep_tx, rep_rx] = base::channel<TileReply>();
    cache.request_tx = std::move(req_tx);
    cache.reply_rx = std::move(rep_rx);
    requests = std::move(req_rx);
    replies = std::move(rep_tx);
  }

  std::vector<TileRequest> take_requests() {
    std::vector<TileRequest> out;
    for (;;) {
      auto next = requests->try_recv();
      if (auto* r = std::get_if<TileRequest>(&next)) {
        out.push_back(*r);
      } else {
        return out;
      }
    }
  }

  void answer(TileKey key, std::optional<DecodedTile> image) {
    replies->send(TileReply::loaded(key, std::move(image)));
    cache.poll_tile_replies();
  }
};

TEST(VisibleTiles, ZoomLevelAndScale) {
  struct Case {
    double zoom;
    std::uint8_t z;
    double tile;
  };
  Case const cases[] = {
      {19.6, 19, 256.0 * std::exp2(0.6)}, {-1.0, 0, 128.0},
      {2.5, 3, 256.0 * std::exp2(-0.5)}, // half away from zero
      {-0.5, 0, 256.0 * std::exp2(-0.5)}, {25.0, 19, 256.0 * 64.0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.zoom);
    auto placements = visible_tiles({48.1371, 11.5754}, c.zoom, {0, 0, 1280, 800}, {640, 400});
    ASSERT_FALSE(placements.empty());
    for (auto const& p : placements) {
      EXPECT_EQ(p.key.z, c.z);
      EXPECT_NEAR(p.x1 - p.x0, c.tile, 1e-6);
      EXPECT_NEAR(p.y1 - p.y0, c.tile, 1e-6);
    }
  }
}

TEST(VisibleTiles, ListsTwoExtraRowsAndColumnsInclusive) {
  // At zoom 2 the centre (0, 0) is world pixel (512, 512); drawn at (512, 512), the view's
  // corner is exactly the corner of tile (0, 0): one tile in view, plus two of each extra.
  auto placements = visible_tiles({0.0, 0.0}, 2.0, {0, 0, 256, 256}, {512, 512});
  ASSERT_EQ(placements.size(), 9u);
  std::uint32_t i = 0;
  for (std::uint32_t y = 0; y < 3; ++y) {
    for (std::uint32_t x = 0; x < 3; ++x, ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(placements[i].key, (TileKey{x, y, 2}));
      EXPECT_DOUBLE_EQ(placements[i].x0, x * 256.0);
      EXPECT_DOUBLE_EQ(placements[i].y0, y * 256.0);
    }
  }
}

TEST(VisibleTiles, WideViewWrapsColumnsAndSkipsRowsOutsideTheWorld) {
  // Zoom 1: a world of 2 x 2 tiles; the view is 2000 px wide, its top above the north edge.
  auto placements = visible_tiles({0.0, 0.0}, 1.0, {0, 0, 2000, 600}, {1000, 300});
  // Columns -3 .. 6 (ceil(2000 / 256) = 8, plus two), rows -1 .. 3 of which only 0 and 1 exist.
  ASSERT_EQ(placements.size(), 20u);
  std::vector<std::uint32_t> xs;
  for (std::size_t i = 0; i < 10; ++i) {
    xs.push_back(placements[i].key.x);
    EXPECT_EQ(placements[i].key.y, 0u);
    EXPECT_EQ(placements[i + 10].key.y, 1u);
  }
  EXPECT_EQ(xs, (std::vector<std::uint32_t>{1, 0, 1, 0, 1, 0, 1, 0, 1, 0}));
  EXPECT_DOUBLE_EQ(placements[0].x0, (-3 * 256.0 - 256.0) + 1000.0);
  EXPECT_DOUBLE_EQ(placements[0].y0, (0 - 256.0) + 300.0);
}

TEST(VisibleTiles, AbsurdInputStaysBounded) {
  double const nan = std::numeric_limits<double>::quiet_NaN();
  double const inf = std::numeric_limits<double>::infinity();
  struct Case {
    char const* name;
    LatLon centre;
    double zoom;
    ViewRect view;
  };
  Case const cases[] = {
      {"zoom far below 0", {0, 0}, -40.0, {0, 0, 1280, 800}},
      {"NaN zoom", {0, 0}, nan, {0, 0, 1280, 800}},
      {"NaN centre", {nan, nan}, 12.0, {0, 0, 1280, 800}},
      {"infinite view", {0, 0}, 5.0, {-inf, -inf, inf, inf}},
      {"inverted view", {0, 0}, 5.0, {1280, 800, 0, 0}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto placements = visible_tiles(c.centre, c.zoom, c.view, {640, 400});
    EXPECT_LE(placements.size(), std::size_t(MAX_VISIBLE_SPAN + 2) * (MAX_VISIBLE_SPAN + 2));
    for (auto const& p : placements) {
      EXPECT_LT(p.key.x, 1u << p.key.z);
      EXPECT_LT(p.key.y, 1u << p.key.z);
    }
  }
}

TEST(TilesInBox, ZoomRangeAndOrder) {
  GeoBox const munich{48.10, 11.50, 48.20, 11.65};
  struct Case {
    std::uint8_t z0, z1;
    std::set<int> zooms;
  };
  Case const cases[] = {
      {18, 22, {18, 19}},
      {5, 3, {3, 4, 5}},
      {20, 25, {}},
      {0, 0, {0}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.z0) << ".." << int(c.z1));
    auto keys = tiles_in_box(munich, c.z0, c.z1);
    std::set<int> zooms;
    for (auto const& k : keys) {
      zooms.insert(k.z);
    }
    EXPECT_EQ(zooms, c.zooms);
    EXPECT_EQ(count_area_tiles(munich, c.z0, c.z1), keys.size());
  }
  // North to south, west to east within a zoom.
  auto keys = tiles_in_box(munich, 14, 14);
  TileXY const nw = tile_for(14, munich.north, munich.west);
  ASSERT_FALSE(keys.empty());
  EXPECT_EQ(keys.front(), (TileKey{nw.x, nw.y, 14}));
  for (std::size_t i = 1; i < keys.size(); ++i) {
    EXPECT_TRUE(keys[i - 1].y < keys[i].y ||
                (keys[i - 1].y == keys[i].y && keys[i - 1].x < keys[i].x));
  }
}

TEST(TilesInBox, CountMatchesListingForOddBoxes) {
  struct Case {
    char const* name;
    GeoBox box;
    std::uint8_t z0, z1;
  };
  Case const cases[] = {
      {"west greater than east", {48.1, 11.65, 48.2, 11.5}, 10, 13},
      {"south greater than north", {48.2, 11.5, 48.1, 11.65}, 10, 13},
      {"across the whole longitude range", {-10, -180, 10, 180}, 0, 6},
      {"beyond the poles", {-90, 0, 90, 1}, 3, 7},
      {"a point", {48.1, 11.5, 48.1, 11.5}, 12, 12},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(count_area_tiles(c.box, c.z0, c.z1), tiles_in_box(c.box, c.z0, c.z1).size());
  }
}

TEST(TilesInBox, WorldBoxSaturatesTheCountAndCapsTheListing) {
  GeoBox const world{-90, -180, 90, 180};
  EXPECT_EQ(count_area_tiles(world, 0, 19), std::numeric_limits<std::uint32_t>::max());
  EXPECT_EQ(tiles_in_box(world, 0, 19).size(), MAX_AREA_TILES);
  DownloadedRegion region;
  region.min = {48.2, 11.65}; // corners swapped: normalised
  region.max = {48.1, 11.5};
  region.z0 = 12;
  region.z1 = 14;
  EXPECT_EQ(region_tiles(region), tiles_in_box({48.1, 11.5, 48.2, 11.65}, 12, 14));
}

TEST(TileCache, RequestsEachMissingTileOnce) {
  FakeWorker w;
  TileKey const key{8716, 5680, 14};
  w.cache.request_tile(key);
  w.cache.request_tile(key);
  auto sent = w.take_requests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].kind, TileRequest::Kind::Load);
  EXPECT_TRUE(w.cache.pending.contains(key));

  w.answer(key, solid());
  EXPECT_FALSE(w.cache.pending.contains(key));
  EXPECT_NE(w.cache.cached_tile(key), nullptr);
  w.cache.request_tile(key);
  EXPECT_TRUE(w.take_requests().empty()) << "a tile in memory is not asked for";
}

TEST(TileCache, ClosedWorkerChannelLeavesNoPendingTrace) {
  FakeWorker w;
  w.requests.reset();
  w.cache.request_tile({1, 1, 1});
  EXPECT_TRUE(w.cache.pending.empty());
}

TEST(TileCache, FailuresBackOffByDoublingUpToFiveMinutes) {
  FakeWorker w;
  TileKey const key{3, 4, 5};
  std::chrono::seconds const expected[] = {2s, 4s, 8s, 16s, 32s, 64s, 128s, 256s, 300s, 300s};
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    w.cache.request_tile(key);
    ASSERT_EQ(w.take_requests().size(), 1u) << "asked again once the back-off expired";
    w.answer(key, std::nullopt);
    TileBackoff const& b = w.cache.backoff.at(key);
    EXPECT_EQ(b.delay, expected[i]);
    EXPECT_EQ(b.retry_at, w.clock.now() + expected[i]);

    w.clock.advance(expected[i] - 1ms);
    w.cache.request_tile(key);
    EXPECT_TRUE(w.take_requests().empty()) << "not asked again while backing off";
    w.clock.advance(1ms);
  }
  w.cache.request_tile(key);
  w.take_requests();
  w.answer(key, solid());
  EXPECT_FALSE(w.cache.backoff.contains(key)) << "a success clears the back-off";
}

TEST(TileCache, TheViewWaitsOnlyOnTheBackOffsItAskedForAndRetriesNeighboursTogether) {
  FakeWorker w;
  TileKey const left{10, 20, 15};
  TileKey const right{11, 20, 15};
  TileKey const gone{90, 90, 15}; // failed, then scrolled out of view
  base::Instant const first = w.clock.now();
  for (TileKey const key : {left, gone}) {
    w.cache.request_tile(key);
    w.answer(key, std::nullopt);
  }
  w.clock.advance(50ms);
  w.cache.request_tile(right);
  w.answer(right, std::nullopt);
  w.take_requests();
  EXPECT_FALSE(w.cache.next_retry()) << "a poll starts the frame's list afresh";

  // The frame draws the two visible tiles; both wait on their back-off.
  w.cache.request_tile(left);
  w.cache.request_tile(right);
  EXPECT_TRUE(w.take_requests().empty());
  ASSERT_TRUE(w.cache.next_retry());
  EXPECT_EQ(*w.cache.next_retry(), first + BACKOFF_FIRST_DELAY + RETRY_GATHERING);

  // At that instant both are due: one frame asks for both, and waits on nothing.
  w.cache.poll_tile_replies();
  w.clock.set(*w.cache.next_retry());
  w.cache.request_tile(left);
  w.cache.request_tile(right);
  EXPECT_EQ(w.take_requests().size(), 2u);
  EXPECT_FALSE(w.cache.next_retry()) << "the tile out of view wakes nothing";
}

TEST(TileCache, BackoffMapIsPrunedAboveItsLimit) {
  FakeWorker w;
  for (std::uint32_t i = 0; i < BACKOFF_PRUNE_LIMIT; ++i) {
    w.replies->send(TileReply::loaded({i, 0, 19}, std::nullopt));
  }
  w.cache.poll_tile_replies();
  ASSERT_EQ(w.cache.backoff.size(), BACKOFF_PRUNE_LIMIT);
  // Once those expire, the next failure prunes them and only itself remains.
  w.clock.advance(BACKOFF_FIRST_DELAY);
  w.answer({0, 1, 19}, std::nullopt);
  EXPECT_EQ(w.cache.backoff.size(), 1u);
  // None expired: the map is emptied instead.
  for (std::uint32_t i = 0; i < BACKOFF_PRUNE_LIMIT; ++i) {
    w.replies->send(TileReply::loaded({i, 2, 19}, std::nullopt));
  }
  w.cache.poll_tile_replies();
  EXPECT_TRUE(w.cache.backoff.empty());
}

TEST(TileCache, ShortPixelBufferCountsAsAFailedLoad) {
  FakeWorker w;
  TileKey const key{1, 2, 3};
  w.cache.request_tile(key);
  w.take_requests();
  DecodedTile tile = solid(256);
  tile.rgba.pop_back(); // 262143 bytes: the reply carries no image
  w.answer(key, std::move(tile));
  EXPECT_EQ(w.cache.cached_tile(key), nullptr);
  EXPECT_TRUE(w.cache.backoff.contains(key));
  EXPECT_FALSE(w.cache.pending.contains(key));
}

TEST(TileCache, DecodedTileBecomesPremultipliedSharedImage) {
  FakeWorker w;
  TileKey const key{0, 0, 0};
  w.answer(key, DecodedTile{{255, 0, 0, 128}, 1, 1});
  zarn_ui::SharedImage image = w.cache.cached_tile(key);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->argb.at(0), (128u << 24) | (128u << 16));
  EXPECT_EQ(w.cache.cached_tile(key), image) << "the same image every frame, never copied";
}

TEST(TileCache, EvictsTheLeastRecentlyUsedAboveTheLimit) {
  FakeWorker w;
  for (std::uint32_t i = 0; i < TILE_MEMORY_LIMIT; ++i) {
    w.replies->send(TileReply::loaded({i, 0, 10}, solid()));
  }
  w.cache.poll_tile_replies();
  ASSERT_EQ(w.cache.tiles.size(), TILE_MEMORY_LIMIT);
  // The oldest is read just before the 513th arrives: the second oldest goes instead.
  EXPECT_NE(w.cache.cached_tile({0, 0, 10}), nullptr);
  w.answer({0, 1, 10}, solid());
  EXPECT_EQ(w.cache.tiles.size(), TILE_MEMORY_LIMIT);
  EXPECT_EQ(w.cache.lru.size(), TILE_MEMORY_LIMIT);
  EXPECT_NE(w.cache.cached_tile({0, 0, 10}), nullptr);
  EXPECT_EQ(w.cache.cached_tile({1, 0, 10}), nullptr);
  EXPECT_NE(w.cache.cached_tile({0, 1, 10}), nullptr);
}

TEST(TileCache, TouchMovesOneKeyToTheRecentEnd) {
  TileKey const a{1, 0, 3};
  TileKey const b{2, 0, 3};
  TileKey const c{3, 0, 3};
  TileKey const d{4, 0, 3};
  struct Case {
    char const* name;
    TileKey touched;
    std::deque<TileKey> expected;
  } const cases[] = {
      {"oldest", a, {b, c, a}},
      {"middle", b, {a, c, b}},
      {"already newest", c, {a, b, c}},
      {"not listed yet", d, {a, b, c, d}},
  };
  for (auto const& k : cases) {
    SCOPED_TRACE(k.name);
    TileCache cache = tile_cache_without_worker("/nonexistent/tiles");
    cache.lru = {a, b, c};
    cache.touch_tile(k.touched);
    EXPECT_EQ(cache.lru, k.expected);
    cache.touch_tile(k.touched);
    EXPECT_EQ(cache.lru, k.expected) << "a second touch changes nothing";
  }
  TileCache empty = tile_cache_without_worker("/nonexistent/tiles");
  empty.touch_tile(a);
  EXPECT_EQ(empty.lru, std::deque<TileKey>{a});
}

TEST(TileCache, AncestorIsTheNearestCachedParentWithinNineLevels) {
  struct Case {
    char const* name;
    TileKey key;
    std::vector<TileKey> cached;
    std::optional<TileKey> found;
    std::uint8_t levels;
  };
  Case const cases[] = {
      {"parent", {37, 21, 6}, {{18, 10, 5}, {0, 0, 0}}, TileKey{18, 10, 5}, 1},
      {"grand-grandparent", {37, 21, 6}, {{4, 2, 3}}, TileKey{4, 2, 3}, 3},
      {"down to zoom 0", {37, 21, 6}, {{0, 0, 0}}, TileKey{0, 0, 0}, 6},
      {"nine levels up", {2000, 1000, 12}, {{3, 1, 3}}, TileKey{3, 1, 3}, 9},
      {"ten levels up is too far", {2000, 1000, 12}, {{1, 0, 2}}, std::nullopt, 0},
      {"zoom 0 has none", {0, 0, 0}, {{0, 0, 0}}, std::nullopt, 0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWorker w;
    for (auto const& k : c.cached) {
      w.replies->send(TileReply::loaded(k, solid()));
    }
    w.cache.poll_tile_replies();
    auto ancestor = w.cache.ancestor_tile(c.key);
    ASSERT_EQ(ancestor.has_value(), c.found.has_value());
    if (ancestor) {
      EXPECT_EQ(ancestor->key, *c.found);
      EXPECT_EQ(ancestor->levels, c.levels);
      EXPECT_NE(ancestor->image, nullptr);
      EXPECT_EQ(w.cache.lru.back(), *c.found) << "marked recently used";
    }
  }
}

TEST(TileCache, DownloadWithoutWorkerCompletesAtOnce) {
  TileCache cache = tile_cache_without_worker("/nonexistent/tiles");
  std::uint32_t const n = cache.download_area({48.10, 11.50, 48.20, 11.65}, 12, 14);
  EXPECT_GT(n, 0u);
  EXPECT_EQ(cache.offline_total, n);
  EXPECT_EQ(cache.offline_done, n);
  EXPECT_EQ(cache.offline_failed, 0u);
  EXPECT_TRUE(cache.offline_download_complete());
}

TEST(TileCache, PrefetchRepliesCountOnlyTheCurrentDownload) {
  FakeWorker w;
  GeoBox const box{48.10, 11.50, 48.20, 11.65};
  std::uint32_t const n = w.cache.download_area(box, 13, 13);
  auto sent = w.take_requests();
  ASSERT_EQ(sent.size(), n);
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(sent[i].kind, TileRequest::Kind::Prefetch);
    w.replies->send(TileReply::prefetched(sent[i].key, i % 2 == 0));
    w.replies->send(TileReply::prefetched(sent[i].key, true)); // a duplicate is not counted
  }
  w.replies->send(TileReply::prefetched({0, 0, 0}, true)); // not part of the download
  w.cache.poll_tile_replies();
  EXPECT_EQ(w.cache.offline_done, n);
  EXPECT_EQ(w.cache.offline_failed, n / 2);
  EXPECT_TRUE(w.cache.offline_download_complete());
}

// A prefetch that cannot be sent would otherwise never be answered: "Downloading…" for ever.
TEST(TileCache, UnsendablePrefetchesCountAsFailed) {
  FakeWorker w;
  w.requests.reset(); // the worker is gone
  std::uint32_t const n = w.cache.download_area({48.10, 11.50, 48.20, 11.65}, 13, 14);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(w.cache.offline_done, n);
  EXPECT_EQ(w.cache.offline_failed, n);
  EXPECT_TRUE(w.cache.offline_download_complete());
}

TEST(TileCache, WorkerThatEndsReleasesItsWaits) {
  FakeWorker w;
  std::uint32_t const n = w.cache.download_area({48.10, 11.50, 48.20, 11.65}, 13, 13);
  w.cache.request_tile({1, 1, 1});
  auto sent = w.take_requests();
  w.replies->send(TileReply::prefetched(sent.at(1).key, true));
  w.replies.reset(); // the worker ended
  w.cache.poll_tile_replies();
  EXPECT_EQ(w.cache.offline_done, n);
  EXPECT_EQ(w.cache.offline_failed, n - 1);
  EXPECT_TRUE(w.cache.pending.empty());
  EXPECT_FALSE(w.cache.request_tx.has_value());
}

TEST(TileCache, SameStyleKeepsTheMemoryCache) {
  FakeWorker w;
  w.answer({0, 0, 0}, solid());
  w.cache.set_dark_basemap(false);
  EXPECT_EQ(w.cache.tiles.size(), 1u);
  EXPECT_TRUE(w.cache.request_tx.has_value());
}

// The cache of a start from launch switches points at the user's real tile cache.
TEST(TileCache, CacheWithoutWorkerNeverDeletesFiles) {
  fs::path const dir = fs::path(testing::TempDir()) / "maps-no-worker-cache";
  fs::remove_all(dir);
  fs::create_directories(dir / "12" / "2200");
  fs::path const file = dir / "12" / "2200" / "1400.png";
  std::ofstream(file) << "downloaded tile";
  TileCache cache = tile_cache_without_worker(dir);
  EXPECT_EQ(cache.tile_cache_disk_usage(), 15u) << "measuring is harmless";
  EXPECT_EQ(cache.delete_region_tiles({{2200, 1400, 12}}), 0u);
  EXPECT_EQ(cache.clear_tile_cache(), 0u);
  EXPECT_TRUE(fs::exists(file));
  fs::remove_all(dir);
}

} // namespace
} // namespace maps
