// The disk cache's bound over a temporary folder: which tiles a scan removes, which it spares,
// and how the files are recognised.

#include "tiles/disk_ledger.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "geo/geo.h"
#include "tiles/disk_cache.h"
#include "tiles/tile_cache.h"

namespace maps {
namespace {

namespace fs = std::filesystem;

TEST(DiskLedger, CacheFilesNameTheirTiles) {
  struct Case {
    char const* path;
    std::optional<TileKey> key;
  } const cases[] = {
      {"/c/light/14/8716/5680.png", TileKey{8716, 5680, 14}},
      {"14/0/0.png", TileKey{0, 0, 14}},
      {"/c/light/14/8716/.5680.png.tmp", std::nullopt},
      {"/c/light/14/8716/56a0.png", std::nullopt},
      {"/c/light/14/-1/5680.png", std::nullopt},
      {"/c/light/20/1/1.png", std::nullopt},
      {"/c/light/14/8716/5680.jpg", std::nullopt},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(tile_of_cache_file(c.path), c.key);
  }
}

TEST(DiskLedger, RegionHoldsExactlyItsListedTiles) {
  DownloadedRegion const region{"region:a", "A", {48.10, 11.50}, {48.16, 11.60}, 12, 13, 0};
  std::vector<TileKey> const listed = region_tiles(region);
  std::set<std::tuple<int, std::uint32_t, std::uint32_t>> inside;
  for (TileKey const& k : listed) {
    inside.insert({k.z, k.x, k.y});
  }
  // Every key of the listing and of a ring around it, one zoom above and below too.
  for (TileKey const& k : listed) {
    for (int dz : {-1, 0, 1}) {
      for (int dx : {-1, 0, 1}) {
        for (int dy : {-1, 0, 1}) {
          TileKey const q{k.x + dx, k.y + dy, static_cast<std::uint8_t>(k.z + dz)};
          EXPECT_EQ(region_holds(region, q), inside.contains({q.z, q.x, q.y}))
              << int{q.z} << "/" << q.x << "/" << q.y;
        }
      }
    }
  }
}

class DiskBound : public testing::Test {
protected:
  void SetUp() override {
    root_ = fs::path(testing::TempDir()) /
            ("maps-bound-" + std::to_string(::getpid()) + "-" +
             testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  /// A 100-byte tile last used `age` hours ago.
  fs::path put(TileKey key, int age) {
    fs::path const file = root_ / "light" / tile_cache_path(key);
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << std::string(100, 't');
    fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::hours(age));
    return file;
  }
  fs::path root_;
};

TEST_F(DiskBound, ScansEvictTheLeastRecentlyUsedButNeverADownloadedArea) {
  // Tiles at zoom 14 around Munich; the area covers only the oldest.
  TileKey const oldest{8716, 5680, 14};
  TileKey const old{8717, 5680, 14};
  TileKey const newer{8718, 5680, 14};
  TileKey const newest{8719, 5680, 14};
  LatLon const in_oldest = unproject_mercator(8716.5 * 256, 5680.5 * 256, 14);
  DownloadedRegion const area{"region:a", "A", in_oldest, in_oldest, 14, 14, 1};
  struct Case {
    char const* what;
    std::uint64_t limit, low_water;
    std::vector<DownloadedRegion> kept;
    std::vector<TileKey> left;
    std::uint64_t bytes;
  } const cases[] = {
      {"within the limit nothing goes", 450, 400, {}, {oldest, old, newer, newest}, 450},
      {"oldest first down to the low water", 400, 250, {}, {newer, newest}, 250},
      {"a downloaded area is spared", 400, 250, {area}, {oldest, newest}, 250},
      {"spared even when nothing else can go", 100, 0, {area}, {oldest}, 150},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root_);
    std::vector<fs::path> const files = {put(oldest, 40), put(old, 30), put(newer, 20),
                                         put(newest, 10)};
    fs::create_directories(root_ / "dark");
    std::ofstream(root_ / "dark" / "notes.txt") << std::string(50, 'n'); // counted, kept
    DiskScan const scan = scan_tile_folder(root_, c.limit, c.low_water, c.kept);
    EXPECT_EQ(scan.bytes, c.bytes);
    EXPECT_EQ(scan.bytes, cache_disk_usage(root_));
    EXPECT_TRUE(fs::exists(root_ / "dark" / "notes.txt"));
    for (TileKey const& key : {oldest, old, newer, newest}) {
      bool const should_stay = std::find(c.left.begin(), c.left.end(), key) != c.left.end();
      EXPECT_EQ(fs::exists(root_ / "light" / tile_cache_path(key)), should_stay) << key.x;
    }
  }
}

TEST_F(DiskBound, ATotalPastTheLimitStartsAScanThatReportsTheSize) {
  for (int i = 0; i < 6; ++i) {
    put(TileKey{static_cast<std::uint32_t>(8716 + i), 5680, 14}, 60 - i);
  }
  auto [tx, rx] = base::channel<std::uint64_t>();
  auto const ledger = std::make_shared<DiskLedger>(root_, tx, 450);
  ledger->added(100); // unknown total: measured, and brought under the limit
  auto next = rx.recv_timeout(std::chrono::seconds(10));
  ASSERT_TRUE(std::holds_alternative<std::uint64_t>(next));
  EXPECT_LE(std::get<std::uint64_t>(next), 450u);
  EXPECT_EQ(std::get<std::uint64_t>(next), cache_disk_usage(root_));
  EXPECT_FALSE(fs::exists(root_ / "light" / tile_cache_path(TileKey{8716, 5680, 14})));
  EXPECT_TRUE(fs::exists(root_ / "light" / tile_cache_path(TileKey{8721, 5680, 14})));
}

} // namespace
} // namespace maps
