// The tile worker and the disk cache, over a temporary cache folder and a tile server on
// 127.0.0.1 that serves small PNGs made in the test.

#include "tiles/tile_worker.h"

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "geo/geo.h"
#include "local_server.h"
#include "net/service_pause.h"
#include "png_test_support.h"
#include "tile_server.h"
#include "tiles/disk_cache.h"
#include "tiles/tile_cache.h"

namespace maps {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::tile_png;
using test::TileHttp;

std::string read_file(fs::path const& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(fs::path const& path, std::string const& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

/// Polls the cache as the frame tick does until `done` holds (bounded: a fault fails the test
/// instead of hanging it).
bool poll_until(TileCache& cache, std::function<bool()> const& done) {
  auto const give_up = std::chrono::steady_clock::now() + 30s;
  while (std::chrono::steady_clock::now() < give_up) {
    cache.poll_tile_replies();
    if (done()) {
      return true;
    }
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

class TileWorkerTest : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = fs::path(testing::TempDir()) /
            ("maps-tiles-" + std::to_string(::getpid()) + "-" +
             testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
  }
  void TearDown() override {
    // A detached worker may still be storing a tile it was fetching.
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  TileCache cache() { return light_tile_cache(root_, http_.server(), clock_); }
  fs::path file(TileKey key, char const* style = "light") const {
    return root_ / style / tile_cache_path(key);
  }
  static std::string path(TileKey key, char const* style = "light") {
    return fmt::format("/{}_nolabels/{}", style, tile_cache_path(key));
  }
  /// A box around one point: one tile per zoom.
  static GeoBox point_box(LatLon p) { return GeoBox{p.lat, p.lon, p.lat, p.lon}; }

  /// An area download with the server holding its answers, once the worker is stuck inside
  /// its first downloads and the others are queued behind them.
  struct HeldDownload {
    std::vector<TileKey> keys;
    std::optional<base::Sender<TileRequest>> worker;
  };
  void hold_area_download(TileCache& tiles, HeldDownload& held) {
    GeoBox const box{48.10, 11.50, 48.20, 11.65};
    held.keys = tiles_in_box(box, 12, 14);
    ASSERT_GT(held.keys.size(), 2 * MAX_TILE_FETCHES);
    http_.hold_light();
    ASSERT_EQ(tiles.download_area(box, 12, 14), held.keys.size());
    ASSERT_TRUE(poll_until(tiles, [&] { return http_.light_hits() > 0; }));
    held.worker = *tiles.request_tx;
  }
  /// With the held download's worker replaced, lets the answers go: the old worker ends once
  /// the downloads in hand finish (then nothing receives any more). Only those reached the
  /// server, and none of them was stored.
  void expect_held_download_dropped(TileCache& tiles, HeldDownload const& held) {
    http_.release_light();
    ASSERT_TRUE(poll_until(tiles, [&] {
      return !held.worker->send(TileRequest{TileRequest::Kind::Prefetch, held.keys[0]});
    }));
    EXPECT_LE(http_.light_hits(), static_cast<int>(MAX_TILE_FETCHES));
    for (std::size_t i = 0; i < held.keys.size(); ++i) {
      EXPECT_FALSE(fs::exists(file(held.keys[i])));
    }
  }

  fs::path root_;
  TileHttp http_;
  base::ManualClock clock_;
};

constexpr TileKey MUNICH{8716, 5680, 14};
/// The centre of the tile MUNICH.
LatLon munich_pos() {
  return unproject_mercator((8716 + 0.5) * 256, (5680 + 0.5) * 256, 14);
}

TEST_F(TileWorkerTest, LoadsFromTheServerThenFromDisk) {
  {
    TileCache c = cache();
    c.request_tile(MUNICH);
    ASSERT_TRUE(poll_until(c, [&] { return c.cached_tile(MUNICH) != nullptr; }));
    zarn_ui::SharedImage image = c.cached_tile(MUNICH);
    EXPECT_EQ(image->width, STANDARD_TILE_PX);
    EXPECT_EQ(image->argb.at(0),
              0xFF000000u | (230u << 16) | ((8716u & 0xFF) << 8) | (5680u & 0xFF));
    EXPECT_EQ(read_file(file(MUNICH)), tile_png(false, MUNICH)) << "stored as sent";
    EXPECT_EQ(http_.hits(path(MUNICH)), 1);
    // Written aside and renamed: nothing else is left in the folder.
    std::size_t entries = 0;
    for ([[maybe_unused]] auto const& e : fs::directory_iterator(file(MUNICH).parent_path())) {
      ++entries;
    }
    EXPECT_EQ(entries, 1u);
  }
  // A load from disk marks the file used: the disk bound evicts the least recently used.
  auto const long_ago = fs::file_time_type::clock::now() - std::chrono::hours(48);
  fs::last_write_time(file(MUNICH), long_ago);
  TileCache fresh = cache();
  fresh.request_tile(MUNICH);
  ASSERT_TRUE(poll_until(fresh, [&] { return fresh.cached_tile(MUNICH) != nullptr; }));
  EXPECT_EQ(http_.hits(path(MUNICH)), 1) << "the second load came from disk";
  EXPECT_GT(fs::last_write_time(file(MUNICH)), long_ago + std::chrono::hours(47));
}

TEST_F(TileWorkerTest, TheRunningTotalFollowsTheTilesStored) {
  write_file(root_ / "dark" / "old.bin", std::string(500, 'x'));
  TileCache tiles = cache();
  DiskLedger const& ledger = *tiles.disk_ledger;
  EXPECT_FALSE(ledger.total()) << "nothing is measured before it is needed";
  auto settled = [&] {
    return poll_until(tiles,
                      [&] { return tiles.offline_download_complete() && !ledger.scanning(); });
  };
  GeoBox const box{48.10, 11.50, 48.20, 11.65};
  ASSERT_GT(tiles.download_area(box, 12, 12), 0u); // its first tile starts a scan
  ASSERT_TRUE(settled());
  tiles.disk_ledger->measure();
  ASSERT_TRUE(settled());
  EXPECT_EQ(ledger.total(), tiles.tile_cache_disk_usage());

  // From a measured total on, each tile stored is added without a walk.
  ASSERT_GT(tiles.download_area(box, 13, 13), 0u);
  ASSERT_TRUE(settled());
  EXPECT_EQ(ledger.total(), tiles.tile_cache_disk_usage());
  EXPECT_EQ(tiles.disk_usage_or_measure(), tiles.tile_cache_disk_usage());

  std::uint64_t const before = *ledger.total();
  std::uint64_t const freed = tiles.delete_region_tiles(tiles_in_box(box, 12, 12));
  ASSERT_GT(freed, 0u);
  EXPECT_EQ(ledger.total(), before - freed);
  tiles.clear_tile_cache();
  EXPECT_EQ(ledger.total(), 0u);
}

TEST_F(TileWorkerTest, FailedDownloadsBackOffAndStoreNothing) {
  struct Case {
    char const* name;
    int status;
    std::string body;
  };
  Case const cases[] = {
      {"404 with a PNG placeholder", 404, test::solid_tile_png(8, 1, 1, 1)},
      {"500", 500, "Internal Server Error"},
      {"200 with a corrupt PNG", 200, tile_png(false, MUNICH).substr(0, 40)},
      // A placeholder of the wrong size would otherwise paint a solid tile for good.
      {"200 with a 1x1 PNG", 200, test::solid_tile_png(1, 1, 1, 1)},
      {"200 with a 512-px tile on a 256-px style", 200,
       test::solid_tile_png(HIGH_DENSITY_TILE_PX, 1, 1, 1)},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_);
    http_.answer(path(MUNICH), c.status, c.body);
    int const hits_before = http_.hits(path(MUNICH));
    TileCache tiles = cache();

    tiles.request_tile(MUNICH);
    ASSERT_TRUE(poll_until(tiles, [&] { return tiles.pending.empty(); }));
    EXPECT_EQ(tiles.cached_tile(MUNICH), nullptr);
    ASSERT_TRUE(tiles.backoff.contains(MUNICH));
    EXPECT_EQ(tiles.backoff.at(MUNICH).delay, BACKOFF_FIRST_DELAY);
    tiles.request_tile(MUNICH);
    EXPECT_TRUE(tiles.pending.empty()) << "not asked again while backing off";
    clock_.advance(BACKOFF_FIRST_DELAY);
    tiles.request_tile(MUNICH);
    ASSERT_TRUE(poll_until(tiles, [&] { return tiles.pending.empty(); }));
    EXPECT_EQ(tiles.backoff.at(MUNICH).delay, 2 * BACKOFF_FIRST_DELAY);
    EXPECT_EQ(http_.hits(path(MUNICH)), hits_before + 2);

    EXPECT_EQ(tiles.download_area(point_box(munich_pos()), 14, 14), 1u);
    ASSERT_TRUE(poll_until(tiles, [&] { return tiles.offline_download_complete(); }));
    EXPECT_EQ(tiles.offline_failed, 1u);
    EXPECT_FALSE(fs::exists(file(MUNICH)));
  }
}

// A tile server that asks for a pause is not asked again before its end: every tile backs off
// until then, the cache reports when, and tiles on disk are still served.
TEST_F(TileWorkerTest, RetryAfterPausesTheTileServer) {
  struct Case {
    char const* name;
    int status;
  } const cases[] = {{"429", 429}, {"503", 503}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_);
    constexpr TileKey NEXT{8717, 5680, 14};
    constexpr TileKey ON_DISK{8718, 5680, 14};
    write_file(file(ON_DISK), tile_png(false, ON_DISK));
    http_.answer_all(c.status, "");
    http_.answer_header("Retry-After", "120");
    int const hits_before = http_.light_hits();
    TileCache tiles = cache();

    tiles.request_tile(MUNICH);
    ASSERT_TRUE(poll_until(tiles, [&] { return tiles.pending.empty(); }));
    ASSERT_TRUE(tiles.server_pause.has_value());
    ASSERT_TRUE(tiles.backoff.contains(MUNICH));
    EXPECT_GE(tiles.backoff.at(MUNICH).retry_at, clock_.now() + 118s) << "not before the pause";

    // The server is fine again, but the pause holds: nothing is sent to it.
    http_.forget_answers();
    tiles.request_tile(NEXT);
    tiles.request_tile(ON_DISK);
    ASSERT_TRUE(poll_until(tiles, [&] { return tiles.pending.empty(); }));
    EXPECT_EQ(tiles.cached_tile(NEXT), nullptr);
    EXPECT_GE(tiles.backoff.at(NEXT).retry_at, clock_.now() + 118s);
    EXPECT_NE(tiles.cached_tile(ON_DISK), nullptr) << "the disk does not wait for the server";
    EXPECT_EQ(tiles.download_area(point_box(munich_pos()), 14, 14), 1u);
    ASSERT_TRUE(poll_until(tiles, [&] { return tiles.offline_download_complete(); }));
    EXPECT_EQ(tiles.offline_failed, 1u);
    EXPECT_EQ(http_.light_hits(), hits_before + 1);
    forget_service_pauses();
  }
}

// A download that hangs holds up only its own tile: tiles on disk and other downloads asked for
// after it are answered meanwhile, whether the hanging one is a view tile or a prefetch.
TEST_F(TileWorkerTest, AHangingDownloadDelaysOnlyItsOwnTile) {
  enum class Hanging { ViewTile, Prefetch };
  struct Case {
    char const* name;
    Hanging hanging;
  } const cases[] = {{"a view tile hangs", Hanging::ViewTile},
                     {"a prefetch hangs", Hanging::Prefetch}};
  constexpr TileKey ON_DISK{8718, 5680, 14};
  constexpr TileKey OTHER{8717, 5680, 14};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_);
    write_file(file(ON_DISK), tile_png(false, ON_DISK));
    http_.hold_path(path(MUNICH));
    int const hits_before = http_.hits(path(MUNICH));
    TileCache tiles = cache();
    if (c.hanging == Hanging::ViewTile) {
      tiles.request_tile(MUNICH);
    } else {
      ASSERT_EQ(tiles.download_area(point_box(munich_pos()), 14, 14), 1u);
    }
    ASSERT_TRUE(poll_until(tiles, [&] { return http_.hits(path(MUNICH)) > hits_before; }));

    tiles.request_tile(ON_DISK);
    tiles.request_tile(OTHER);
    ASSERT_TRUE(poll_until(tiles, [&] {
      return tiles.cached_tile(ON_DISK) != nullptr && tiles.cached_tile(OTHER) != nullptr;
    })) << "a tile waited behind the hanging download";
    EXPECT_EQ(tiles.cached_tile(MUNICH), nullptr);
    EXPECT_FALSE(tiles.offline_download_complete());

    http_.release_path();
    ASSERT_TRUE(poll_until(tiles, [&] {
      return c.hanging == Hanging::ViewTile ? tiles.cached_tile(MUNICH) != nullptr
                                            : tiles.offline_download_complete();
    }));
    EXPECT_TRUE(fs::exists(file(MUNICH)));
  }
}

// A large download runs a few tiles at a time, and one tile of it hanging holds up only itself.
TEST_F(TileWorkerTest, ADownloadGoesOnAroundAHangingTile) {
  GeoBox const box{48.12, 11.52, 48.16, 11.62};
  std::vector<TileKey> const keys = tiles_in_box(box, 14, 14);
  ASSERT_GT(keys.size(), 2 * MAX_TILE_FETCHES);
  http_.hold_path(path(keys[1]));
  TileCache tiles = cache();
  std::uint32_t const n = tiles.download_area(box, 14, 14);
  ASSERT_TRUE(poll_until(tiles, [&] { return tiles.offline_done == n - 1; }))
      << tiles.offline_done << " of " << n;
  EXPECT_FALSE(fs::exists(file(keys[1])));
  http_.release_path();
  ASSERT_TRUE(poll_until(tiles, [&] { return tiles.offline_download_complete(); }));
  EXPECT_EQ(tiles.offline_failed, 0u);
  for (auto const& key : keys) {
    EXPECT_EQ(http_.hits(path(key)), 1) << "each tile is fetched once";
  }
}

TEST_F(TileWorkerTest, UnreachableServerAnswersNoImage) {
  TileCache tiles = light_tile_cache(root_, tile_server("http://127.0.0.1:1"), clock_);
  tiles.request_tile(MUNICH);
  ASSERT_TRUE(poll_until(tiles, [&] { return tiles.pending.empty(); }));
  EXPECT_TRUE(tiles.backoff.contains(MUNICH));
}

TEST_F(TileWorkerTest, UndecodableCacheFileIsDownloadedAgain) {
  std::string const full = tile_png(false, MUNICH);
  struct Case {
    char const* name;
    std::string stored;
  } const cases[] = {
      {"truncated", full.substr(0, full.size() / 2)},
      {"1x1 placeholder cached by an older version", test::solid_tile_png(1, 9, 9, 9)},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(root_);
    write_file(file(MUNICH), c.stored);
    int const hits_before = http_.hits(path(MUNICH));
    TileCache tiles = cache();
    tiles.request_tile(MUNICH);
    ASSERT_TRUE(poll_until(tiles, [&] { return tiles.cached_tile(MUNICH) != nullptr; }));
    EXPECT_EQ(http_.hits(path(MUNICH)), hits_before + 1);
    EXPECT_EQ(read_file(file(MUNICH)), full) << "the broken file was replaced";
  }
}

TEST_F(TileWorkerTest, HighDensityStyleTakesItsOwnTileSize) {
  std::string const big = test::solid_tile_png(HIGH_DENSITY_TILE_PX, 5, 6, 7);
  http_.answer(path(MUNICH), 200, big);
  TileServer server = http_.server();
  server.tile_px = HIGH_DENSITY_TILE_PX;
  TileCache tiles = light_tile_cache(root_, server, clock_);
  tiles.request_tile(MUNICH);
  ASSERT_TRUE(poll_until(tiles, [&] { return tiles.cached_tile(MUNICH) != nullptr; }));
  EXPECT_EQ(tiles.cached_tile(MUNICH)->width, HIGH_DENSITY_TILE_PX);
  EXPECT_EQ(read_file(file(MUNICH)), big);

  // The same style refuses the standard size.
  constexpr TileKey NEXT{8717, 5680, 14};
  tiles.request_tile(NEXT);
  ASSERT_TRUE(poll_until(tiles, [&] { return tiles.pending.empty(); }));
  EXPECT_EQ(tiles.cached_tile(NEXT), nullptr);
  EXPECT_TRUE(tiles.backoff.contains(NEXT));
  EXPECT_FALSE(fs::exists(file(NEXT)));
}

TEST_F(TileWorkerTest, PrefetchCountsOnlyExistingFilesThatDecode) {
  GeoBox const box{48.10, 11.50, 48.20, 11.65};
  std::vector<TileKey> const keys = tiles_in_box(box, 12, 13);
  ASSERT_GE(keys.size(), 4u);
  // A good file counts as downloaded; an empty or damaged one is fetched again and replaced.
  std::string const good = tile_png(false, keys[0]);
  write_file(file(keys[0]), good);
  write_file(file(keys[1]), "");
  write_file(file(keys[2]), "not a tile");

  TileCache tiles = cache();
  std::uint32_t const n = tiles.download_area(box, 12, 13);
  ASSERT_EQ(n, keys.size());
  ASSERT_TRUE(poll_until(tiles, [&] { return tiles.offline_download_complete(); }));
  EXPECT_EQ(tiles.offline_done, n);
  EXPECT_EQ(tiles.offline_failed, 0u);
  EXPECT_EQ(http_.hits(path(keys[0])), 0);
  for (std::size_t i = 1; i < keys.size(); ++i) {
    EXPECT_EQ(http_.hits(path(keys[i])), 1) << i;
    EXPECT_EQ(read_file(file(keys[i])), tile_png(false, keys[i])) << i;
  }
  EXPECT_EQ(read_file(file(keys[0])), good);
}

// The old worker's replies are lost at a style switch; its unanswered tiles go to the new one,
// so the download still completes instead of showing "Downloading…" for ever.
TEST_F(TileWorkerTest, StyleSwitchDuringDownloadStillCompletes) {
  GeoBox const box{48.10, 11.50, 48.20, 11.65};
  http_.hold_light();
  TileCache tiles = cache();
  std::uint32_t const n = tiles.download_area(box, 12, 13);
  ASSERT_GT(n, 2u);
  // The light worker is now stuck inside its first download.
  ASSERT_TRUE(poll_until(tiles, [&] { return http_.light_hits() > 0; }));
  tiles.set_dark_basemap(true);
  EXPECT_EQ(tiles.cache_dir, root_ / "dark");
  http_.release_light();

  ASSERT_TRUE(poll_until(tiles, [&] { return tiles.offline_download_complete(); }))
      << tiles.offline_done << " of " << tiles.offline_total;
  EXPECT_EQ(tiles.offline_done, n);
  EXPECT_EQ(tiles.offline_failed, 0u);
  for (auto const& key : tiles_in_box(box, 12, 13)) {
    EXPECT_EQ(read_file(file(key, "dark")), tile_png(true, key));
  }
}

// Clearing the cache abandons a download in progress: what was still queued for the worker is
// never fetched, so the cleared folder does not fill up again.
TEST_F(TileWorkerTest, ClearDuringDownloadStopsTheQueuedTiles) {
  TileCache tiles = cache();
  HeldDownload held;
  ASSERT_NO_FATAL_FAILURE(hold_area_download(tiles, held));
  tiles.clear_tile_cache();
  ASSERT_NO_FATAL_FAILURE(expect_held_download_dropped(tiles, held));
  // The cache still loads tiles through its new worker.
  tiles.request_tile(MUNICH);
  ASSERT_TRUE(poll_until(tiles, [&] { return tiles.cached_tile(MUNICH) != nullptr; }));
}

// Deleting an area that is still downloading gives its queued tiles up: they are not fetched
// back onto the disk, and the download counts as complete.
TEST_F(TileWorkerTest, DeleteDuringDownloadGivesTheQueuedTilesUp) {
  TileCache tiles = cache();
  HeldDownload held;
  ASSERT_NO_FATAL_FAILURE(hold_area_download(tiles, held));
  tiles.delete_region_tiles(held.keys);
  ASSERT_NO_FATAL_FAILURE(expect_held_download_dropped(tiles, held));
  EXPECT_TRUE(tiles.offline_download_complete());
  EXPECT_EQ(tiles.offline_failed, 0u);
  tiles.request_tile(MUNICH);
  ASSERT_TRUE(poll_until(tiles, [&] { return tiles.cached_tile(MUNICH) != nullptr; }));
}

TEST_F(TileWorkerTest, StyleSwitchLoadsTheOtherStyle) {
  TileCache tiles = cache();
  tiles.request_tile(MUNICH);
  ASSERT_TRUE(poll_until(tiles, [&] { return tiles.cached_tile(MUNICH) != nullptr; }));
  tiles.set_dark_basemap(true);
  EXPECT_TRUE(tiles.tiles.empty());
  tiles.request_tile(MUNICH);
  ASSERT_TRUE(poll_until(tiles, [&] { return tiles.cached_tile(MUNICH) != nullptr; }));
  EXPECT_EQ(tiles.cached_tile(MUNICH)->argb.at(0) >> 16 & 0xFF, 20u);
  EXPECT_TRUE(fs::exists(file(MUNICH, "dark")));
  EXPECT_TRUE(fs::exists(file(MUNICH, "light")));
}

TEST_F(TileWorkerTest, DeleteAndClearAnArea) {
  GeoBox const area{48.10, 11.50, 48.20, 11.65};
  TileCache tiles = cache();
  tiles.download_area(area, 12, 13);
  ASSERT_TRUE(poll_until(tiles, [&] { return tiles.offline_download_complete(); }));
  TileKey const other{1, 1, 2};
  write_file(file(other), "kept");
  write_file(file(other, "dark"), "dark tile");

  std::vector<TileKey> const keys = tiles_in_box(area, 12, 13);
  std::uint64_t expected = 0;
  for (auto const& key : keys) {
    expected += fs::file_size(file(key));
  }
  std::uint64_t const before = tiles.tile_cache_disk_usage();
  EXPECT_EQ(tiles.delete_region_tiles(keys), expected);
  for (auto const& key : keys) {
    EXPECT_FALSE(fs::exists(file(key)));
  }
  EXPECT_EQ(tiles.delete_region_tiles(keys), 0u) << "files already gone free nothing";
  EXPECT_TRUE(fs::exists(file(other)));
  EXPECT_EQ(tiles.tile_cache_disk_usage(), before - expected);

  EXPECT_EQ(tiles.clear_tile_cache(), 4u + 9u) << "both styles are measured and removed";
  EXPECT_FALSE(fs::exists(root_));
  EXPECT_EQ(tiles.tile_cache_disk_usage(), 0u);
  EXPECT_EQ(tiles.offline_total, 0u);
}

TEST(DiskCache, RootFromTheEnvironment) {
  struct Case {
    char const* name;
    char const* xdg;
    char const* home;
    std::optional<fs::path> root; // nothing: under the temporary directory
  };
  Case const cases[] = {
      {"XDG_CACHE_HOME", "/x/cache", "/home/u", fs::path("/x/cache/zarn-maps/tiles")},
      {"empty XDG_CACHE_HOME", "", "/home/u", fs::path("/home/u/.cache/zarn-maps/tiles")},
      {"non-UTF-8 XDG_CACHE_HOME", "/x/\xff", "/home/u",
       fs::path("/home/u/.cache/zarn-maps/tiles")},
      {"HOME only", nullptr, "/home/u", fs::path("/home/u/.cache/zarn-maps/tiles")},
      {"neither", nullptr, nullptr, std::nullopt},
      {"both empty", "", "", std::nullopt},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path const root = detail::tile_cache_dir_from([&](char const* name) -> char const* {
      std::string_view const n(name);
      return n == "XDG_CACHE_HOME" ? c.xdg : n == "HOME" ? c.home : nullptr;
    });
    EXPECT_EQ(root, c.root.value_or(fs::temp_directory_path() / "zarn-maps" / "tiles"));
  }
}

TEST(DiskCache, TileUrlAndFileName) {
  EXPECT_EQ(tile_cache_path(MUNICH), "14/8716/5680.png");
  EXPECT_EQ(tile_url("https://tiles.test/light_nolabels", MUNICH),
            "https://tiles.test/light_nolabels/14/8716/5680.png");
  EXPECT_EQ(tile_server("https://tiles.test").dark, "https://tiles.test/dark_nolabels");
}

TEST(DiskCache, WritesWholeFilesOrNothing) {
  fs::path const dir = fs::path(testing::TempDir()) / ("maps-write-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  std::string const first = "first", second = "second version";
  auto bytes = [](std::string const& s) {
    return std::span(reinterpret_cast<std::uint8_t const*>(s.data()), s.size());
  };
  fs::path const tile = dir / "light" / "3" / "4" / "5.png";
  EXPECT_TRUE(write_cache_file(tile, bytes(first)));
  EXPECT_TRUE(write_cache_file(tile, bytes(second)));
  EXPECT_EQ(read_file(tile), second);
  EXPECT_EQ(std::distance(fs::directory_iterator(tile.parent_path()), {}), 1);

  write_file(dir / "blocker", "a file where a folder should be");
  EXPECT_FALSE(write_cache_file(dir / "blocker" / "1.png", bytes(first)));
  EXPECT_FALSE(read_cache_file(dir / "missing.png", 100).has_value());
  EXPECT_FALSE(read_cache_file(tile, 4).has_value()) << "larger than the limit";
  EXPECT_EQ(read_cache_file(tile, 100).value().size(), second.size());
  fs::remove_all(dir);
}

TEST(DiskCache, UsageCountsFilesButDoesNotFollowLinks) {
  fs::path const dir = fs::path(testing::TempDir()) / ("maps-usage-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  write_file(dir / "tiles" / "light" / "1" / "0" / "0.png", std::string(100, 'a'));
  write_file(dir / "tiles" / "dark" / "2" / "1" / "1.png", std::string(23, 'b'));
  write_file(dir / "elsewhere" / "big", std::string(5000, 'c'));
  fs::create_directory_symlink(dir / "elsewhere", dir / "tiles" / "link");
  std::uint64_t const link_size = fs::path(dir / "elsewhere").string().size();
  EXPECT_EQ(cache_disk_usage(dir / "tiles"), 123u + link_size);
  EXPECT_EQ(cache_disk_usage(dir / "nothing-here"), 0u);
  fs::remove_all(dir);
}

} // namespace
} // namespace maps
