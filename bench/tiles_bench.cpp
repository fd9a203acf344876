// Per-frame tile work for a 1280 x 800 view (visible tiles, memory lookups), and the worker's
// cost per tile (PNG decode, conversion to a paintable image, a read from the disk cache).

#include <unistd.h>

#include <filesystem>
#include <span>
#include <string>

#include <benchmark/benchmark.h>

#include "apps/maps/tests/png_test_support.h"
#include "tiles/disk_cache.h"
#include "tiles/png_decode.h"
#include "tiles/tile_cache.h"

namespace {

using namespace maps;

constexpr LatLon CENTRE{48.1371, 11.5754};
constexpr double ZOOM = 14.3;
constexpr ViewRect VIEW{0, 0, 1280, 800};
constexpr ScreenPoint ANCHOR{640, 400};

/// A 256-pixel tile with varied content, so that it compresses like a map tile rather than
/// a flat colour.
std::string map_like_png() {
  test::PngImage img;
  img.width = 256;
  img.height = 256;
  img.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
  for (std::uint32_t y = 0; y < 256; ++y) {
    for (std::uint32_t x = 0; x < 256; ++x) {
      bool const road = (x % 37 < 3) || (y % 53 < 4) || ((x + y) % 91 < 2);
      std::uint8_t const shade = static_cast<std::uint8_t>(220 + ((x * 7 + y * 13) % 17));
      img.pixels.insert(img.pixels.end(),
                        {road ? std::uint8_t{255} : shade, road ? std::uint8_t{250} : shade,
                         road ? std::uint8_t{240} : std::uint8_t(shade - 6)});
    }
  }
  return test::encode_png(img);
}

std::span<std::uint8_t const> bytes_of(std::string const& s) {
  return {reinterpret_cast<std::uint8_t const*>(s.data()), s.size()};
}

void BM_VisibleTiles(benchmark::State& state) {
  for (auto _ : state) {
    auto placements = visible_tiles(CENTRE, ZOOM, VIEW, ANCHOR);
    benchmark::DoNotOptimize(placements.data());
  }
  state.counters["tiles"] = static_cast<double>(visible_tiles(CENTRE, ZOOM, VIEW, ANCHOR).size());
}
BENCHMARK(BM_VisibleTiles);

/// One frame's lookups with a full memory cache: every visible tile is in memory, so each
/// lookup also moves its key to the recent end of the 512-entry list.
void BM_FrameLookupsFullCache(benchmark::State& state) {
  TileCache cache = tile_cache_without_worker("/nonexistent");
  auto [tx, rx] = base::channel<TileReply>();
  cache.reply_rx = std::move(rx);
  auto const placements = visible_tiles(CENTRE, ZOOM, VIEW, ANCHOR);
  DecodedTile const tile{std::vector<std::uint8_t>(256 * 256 * 4, 128), 256, 256};
  for (std::uint32_t i = 0; cache.tiles.size() < TILE_MEMORY_LIMIT - placements.size(); ++i) {
    tx.send(TileReply::loaded({i, 0, 18}, tile));
    cache.poll_tile_replies();
  }
  for (auto const& p : placements) {
    tx.send(TileReply::loaded(p.key, tile));
  }
  cache.poll_tile_replies();
  for (auto _ : state) {
    for (auto const& p : placements) {
      benchmark::DoNotOptimize(cache.cached_tile(p.key).get());
    }
  }
  state.counters["lookups"] = static_cast<double>(placements.size());
}
BENCHMARK(BM_FrameLookupsFullCache);

/// One frame's lookups while tiles are missing: ancestor search and a request per tile.
void BM_FrameLookupsMissing(benchmark::State& state) {
  TileCache cache = tile_cache_without_worker("/nonexistent");
  auto const placements = visible_tiles(CENTRE, ZOOM, VIEW, ANCHOR);
  for (auto _ : state) {
    for (auto const& p : placements) {
      benchmark::DoNotOptimize(cache.cached_tile(p.key).get());
      benchmark::DoNotOptimize(cache.ancestor_tile(p.key));
      cache.request_tile(p.key);
    }
  }
}
BENCHMARK(BM_FrameLookupsMissing);

void BM_CountAreaTiles(benchmark::State& state) {
  GeoBox const box{48.0, 11.3, 48.3, 11.8};
  for (auto _ : state) {
    benchmark::DoNotOptimize(count_area_tiles(box, 12, 18));
  }
  state.counters["tiles"] = count_area_tiles(box, 12, 18);
}
BENCHMARK(BM_CountAreaTiles);

void BM_DecodePng256(benchmark::State& state) {
  std::string const png = map_like_png();
  for (auto _ : state) {
    auto tile = decode_png_rgba(bytes_of(png));
    benchmark::DoNotOptimize(tile->rgba.data());
  }
  state.counters["png_bytes"] = static_cast<double>(png.size());
}
BENCHMARK(BM_DecodePng256);

/// The conversion each arriving tile gets on the UI thread.
void BM_ImageFromRgba256(benchmark::State& state) {
  auto tile = decode_png_rgba(bytes_of(map_like_png()));
  for (auto _ : state) {
    auto image = zarn_ui::image_from_rgba(tile->rgba, tile->width, tile->height);
    benchmark::DoNotOptimize(image.get());
  }
}
BENCHMARK(BM_ImageFromRgba256);

/// A load the worker serves from the disk cache: read the file and decode it.
void BM_LoadTileFromDisk(benchmark::State& state) {
  std::filesystem::path const dir =
      std::filesystem::temp_directory_path() / ("maps-bench-" + std::to_string(::getpid()));
  std::string const png = map_like_png();
  std::filesystem::path const file = dir / tile_cache_path({8716, 5680, 14});
  write_cache_file(file, bytes_of(png));
  for (auto _ : state) {
    auto bytes = read_cache_file(file, MAX_TILE_BYTES);
    auto tile = decode_png_rgba(*bytes);
    benchmark::DoNotOptimize(tile->rgba.data());
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LoadTileFromDisk);

} // namespace
