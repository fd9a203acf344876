// Panning frames over real basemap tiles at 1280 × 800: the demo with traffic, dragged with the
// pointer, its tiles read from a disk cache under a temporary XDG_CACHE_HOME by the real TileCache
// and its worker thread, as a plain start's window gets them. The tiles are PNGs of map-like
// drawings (areas, buildings, roads), written where the cache reads them.
// Cases: panning once every tile of the path is decoded and in memory (the cost of drawing
// imagery each frame), and a brisker pan whose frames keep uncovering tiles that are on disk but
// not in memory (what the UI thread pays while the worker reads and decodes them). The worker is
// waited for through the UI wake-up it sends with each tile, as the window's loop is; a case
// whose frames draw no tiles, or whose tiles did not come from disk, ends the program with an
// error, so it cannot measure nothing.

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include <benchmark/benchmark.h>
#include <cairo.h>

#include "app/maps_app.h"
#include "base/ui_wake.h"
#include "frames.h"
#include "geo/geo.h"
#include "platform/render/offscreen.h"
#include "tiles/disk_cache.h"
#include "tiles/tile_cache.h"

namespace {

using namespace maps;
using bench::Frames;
namespace fs = std::filesystem;

constexpr double TILE_SIDE = 256.0;
/// Tiles are written for views grown by this on each side, beyond what the path shows.
constexpr double COVER_MARGIN = 256.0;
/// Nothing listens there: a tile missing from disk fails at once instead of being downloaded.
constexpr char NO_SERVER[] = "http://127.0.0.1:9";
/// Longest wait for the worker's next tile before the run counts as broken.
constexpr std::chrono::seconds WORKER_SILENCE{10};

/// Where the drags press: open map, right of the side panel, clear of markers and controls.
constexpr zarn_ui::Point DRAG_START{1000.0, 250.0};
/// The pan into tiles on disk: the pointer moves this far per frame (a brisk drag, about
/// 800 px/s at 60 frames a second) for BRISK_FRAMES frames, then the view starts over.
constexpr double BRISK_DX = -12.0;
constexpr double BRISK_DY = 6.0;
constexpr int BRISK_FRAMES = 50;

[[noreturn]] void fail(std::string const& why) {
  base::set_ui_waker(nullptr); // workers may still answer while the statics go
  std::fprintf(stderr, "bench_tile_panning: %s\n", why.c_str());
  std::exit(EXIT_FAILURE);
}

/// A temporary XDG_CACHE_HOME for the whole run, removed at exit.
class CacheHome {
public:
  CacheHome()
      : dir_(fs::temp_directory_path() / ("maps-tile-panning-" + std::to_string(::getpid()))) {
    fs::create_directories(dir_);
    ::setenv("XDG_CACHE_HOME", dir_.c_str(), 1);
  }
  ~CacheHome() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  CacheHome(CacheHome const&) = delete;
  CacheHome& operator=(CacheHome const&) = delete;

  /// The light style's tiles, as a plain start resolves them.
  fs::path style_dir() const { return tile_cache_dir() / "light"; }

private:
  fs::path dir_;
};

CacheHome& cache_home() {
  static CacheHome home;
  return home;
}

/// A map-like 256-px tile: land, a park or water area or two, blocks of buildings and roads
/// with casings, antialiased, different for every key, so it compresses and decodes like a real
/// basemap tile rather than a flat colour.
std::vector<std::uint8_t> tile_png(TileKey key) {
  std::mt19937 rng(key.x * 73856093u ^ key.y * 19349663u ^ key.z);
  std::uniform_real_distribution<double> pos(-32.0, TILE_SIDE + 32.0);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 256, 256);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0.95 + 0.02 * unit(rng), 0.94, 0.91 + 0.02 * unit(rng));
  cairo_paint(cr);
  for (int i = 0, areas = 1 + static_cast<int>(rng() % 3); i < areas; ++i) {
    bool const water = unit(rng) < 0.3;
    cairo_new_path(cr);
    for (int v = 0; v < 6; ++v) {
      cairo_line_to(cr, pos(rng), pos(rng));
    }
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, water ? 0.67 : 0.78, water ? 0.82 : 0.89, water ? 0.93 : 0.72);
    cairo_fill(cr);
  }
  for (int i = 0, blocks = 12 + static_cast<int>(rng() % 20); i < blocks; ++i) {
    double const shade = 0.82 + 0.08 * unit(rng);
    cairo_rectangle(cr, pos(rng), pos(rng), 6.0 + 28.0 * unit(rng), 6.0 + 28.0 * unit(rng));
    cairo_set_source_rgb(cr, shade, shade - 0.02, shade - 0.04);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, shade - 0.1, shade - 0.1, shade - 0.12);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
  }
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  for (int i = 0, roads = 4 + static_cast<int>(rng() % 5); i < roads; ++i) {
    double const width = 2.0 + 8.0 * unit(rng);
    double const x0 = pos(rng);
    double const y0 = pos(rng);
    double const x1 = pos(rng);
    double const y1 = pos(rng);
    double const bend_x = pos(rng);
    double const bend_y = pos(rng);
    for (int pass = 0; pass < 2; ++pass) {
      cairo_move_to(cr, x0, y0);
      cairo_curve_to(cr, bend_x, bend_y, bend_x, bend_y, x1, y1);
      if (pass == 0) {
        cairo_set_source_rgb(cr, 0.75, 0.74, 0.72);
        cairo_set_line_width(cr, width + 2.0);
      } else {
        cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
        cairo_set_line_width(cr, width);
      }
      cairo_stroke(cr);
    }
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  std::vector<std::uint8_t> rgba(256 * 256 * 4);
  zarn_ui::argb32_to_rgba8(cairo_image_surface_get_data(surface),
                           cairo_image_surface_get_stride(surface), 256, 256, rgba.data());
  cairo_surface_destroy(surface);
  auto png = zarn_ui::OffscreenRenderer::encode_png(256, 256, rgba);
  if (!png) {
    fail("encoding a tile: " + png.error());
  }
  return std::move(*png);
}

struct TileStore {
  std::unordered_set<TileKey, TileKeyHash> written;
  std::uint64_t bytes = 0;
};

/// Writes the tiles of `keys` not written yet into the light style's folder.
TileStore const& write_tiles(std::vector<TileKey> const& keys) {
  static TileStore store;
  fs::path const dir = cache_home().style_dir();
  for (TileKey const& key : keys) {
    if (store.written.contains(key)) {
      continue;
    }
    std::vector<std::uint8_t> const png = tile_png(key);
    if (!write_cache_file(dir / tile_cache_path(key), png)) {
      fail("cannot write tiles under " + dir.string());
    }
    store.written.insert(key);
    store.bytes += png.size();
  }
  return store;
}

/// Every tile drawn by the views of a drag of `frames` steps of (dx, dy) screen pixels from the
/// current camera, each view grown by COVER_MARGIN; the camera is left as it was.
std::vector<TileKey> tiles_along(MapsApp const& app, double dx, double dy, int frames) {
  MapProjection const p = app.viewport_projection();
  zarn_ui::Rect const w = app.window_rect();
  ViewRect const grown{w.x0 - COVER_MARGIN, w.y0 - COVER_MARGIN, w.x1 + COVER_MARGIN,
                       w.y1 + COVER_MARGIN};
  WorldPx const c = project_mercator(app.model.center.lat, app.model.center.lon, app.model.zoom);
  std::unordered_set<TileKey, TileKeyHash> seen;
  std::vector<TileKey> keys;
  for (int i = 0; i <= frames; ++i) {
    // The map follows the pointer: the centre moves against it.
    LatLon const centre = unproject_mercator(c.x - dx * i, c.y - dy * i, app.model.zoom);
    for (auto const& placement :
         visible_tiles(centre, app.model.zoom, grown, ScreenPoint{p.screen_x, p.screen_y})) {
      if (seen.insert(placement.key).second) {
        keys.push_back(placement.key);
      }
    }
  }
  return keys;
}

/// Counts the UI wake-ups the worker sends with each reply, so the benchmark sleeps until a
/// tile arrives, as the window's loop does, instead of polling or guessing a delay.
class Wakes {
public:
  static Wakes& get() {
    static Wakes wakes;
    return wakes;
  }
  static void on_wake() {
    Wakes& w = get();
    {
      std::lock_guard lock(w.mutex_);
      ++w.count_;
    }
    w.changed_.notify_all();
  }
  std::uint64_t count() {
    std::lock_guard lock(mutex_);
    return count_;
  }
  /// Waits until a wake-up after `seen`; false when none came within WORKER_SILENCE.
  bool wait_past(std::uint64_t seen) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, WORKER_SILENCE, [&] { return count_ > seen; });
  }

private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t count_ = 0;
};

/// Draws frames until no tile the views asked for is still with the worker.
void settle(Frames& frames) {
  Wakes& wakes = Wakes::get();
  for (;;) {
    std::uint64_t const seen = wakes.count();
    if (!frames.frame()) {
      fail("a frame failed");
    }
    if (frames.app().tiles.pending.empty()) {
      return;
    }
    if (!wakes.wait_past(seen)) {
      fail("the tile worker answered nothing for 10 s");
    }
  }
}

/// Fails unless the last frame drew every tile of its view from memory and none failed to load.
void expect_tiles_drawn(Frames& frames) {
  MapsApp& app = frames.app();
  MapProjection const p = app.viewport_projection();
  zarn_ui::Rect const w = app.window_rect();
  auto const placements =
      visible_tiles(app.model.center, app.model.zoom, ViewRect{w.x0, w.y0, w.x1, w.y1},
                    ScreenPoint{p.screen_x, p.screen_y});
  std::size_t shown = 0;
  for (auto const& placement : placements) {
    if (!app.tiles.tiles.contains(placement.key)) {
      fail("a tile of the view is not in memory");
    }
    shown +=
        placement.x1 > w.x0 && placement.x0 < w.x1 && placement.y1 > w.y0 && placement.y0 < w.y1;
  }
  if (shown == 0 || frames.basemap_tiles() < shown) {
    fail("the frame drew fewer tiles than its view shows");
  }
  if (!app.tiles.backoff.empty()) {
    fail("tiles failed to load from the disk cache");
  }
}

/// The demo with traffic at its own camera, its tiles on disk for a drag of `frames` steps of
/// (dx, dy), served by a real cache and worker, and its first view loaded.
struct TiledDemo {
  Frames frames{std::vector<std::string>{"--traffic"}};
  LatLon start;
  double zoom = 0.0;
  TileStore const* store = nullptr;

  TiledDemo(double dx, double dy, int steps) {
    base::set_ui_waker(&Wakes::on_wake);
    frames.frame(); // lays the window out, for the projection
    start = frames.app().model.center;
    zoom = frames.app().model.zoom;
    store = &write_tiles(tiles_along(frames.app(), dx, dy, steps));
    frames.use_tiles(light_tile_cache(tile_cache_dir(), tile_server(NO_SERVER)));
    settle(frames);
    expect_tiles_drawn(frames);
  }
  ~TiledDemo() { base::set_ui_waker(nullptr); }
  TiledDemo(TiledDemo const&) = delete;
  TiledDemo& operator=(TiledDemo const&) = delete;

  /// The camera back at the start, the pointer pressed there.
  void restart() {
    frames.button(DRAG_START, false);
    frames.app().model.center = start;
    frames.button(DRAG_START, true);
    if (!frames.app().map_press) {
      fail("the drag's press did not land on the map");
    }
  }

  void count(benchmark::State& state) const {
    state.counters["tiles_on_disk"] = static_cast<double>(store->written.size());
    state.counters["png_bytes_per_tile"] =
        static_cast<double>(store->bytes) / static_cast<double>(store->written.size());
    state.counters["tiles_drawn"] = static_cast<double>(frames.basemap_tiles());
  }
};

/// Panning with every tile of the path decoded: the drag of the frame rows (bench::run's steps,
/// one way and back) after one untimed pass over it loaded its tiles. No frame may wait for one.
void BM_DemoFramePanningOverTiles(benchmark::State& state) {
  double const dx = -bench::PAN_STEP_PX;
  double const dy = -bench::PAN_STEP_PX * 0.5;
  TiledDemo demo(dx, dy, bench::PAN_FRAMES);
  Frames& frames = demo.frames;
  zarn_ui::Point pointer = DRAG_START;
  demo.restart();
  for (int i = 0; i < bench::PAN_FRAMES; ++i) {
    pointer = {pointer.x + dx, pointer.y + dy};
    frames.drag_to(pointer);
    frames.frame();
  }
  settle(frames);
  std::size_t const loaded = frames.app().tiles.tiles.size();
  demo.restart();
  pointer = DRAG_START;
  settle(frames);

  int step = 0;
  for (auto _ : state) {
    double const dir = (step / bench::PAN_FRAMES) % 2 == 0 ? 1.0 : -1.0;
    pointer = {pointer.x + dx * dir, pointer.y + dy * dir};
    ++step;
    frames.drag_to(pointer);
    if (!frames.frame()) {
      fail("a frame failed");
    }
    benchmark::ClobberMemory();
  }
  if (frames.app().model.zoom != demo.zoom) {
    fail("panning changed the zoom");
  }
  if (!frames.app().tiles.pending.empty() || frames.app().tiles.tiles.size() != loaded) {
    fail("a panning frame asked for a tile that was not in memory");
  }
  expect_tiles_drawn(frames);
  demo.count(state);
}
BENCHMARK(BM_DemoFramePanningOverTiles)->Unit(benchmark::kMillisecond);

/// A brisk drag from a loaded view into tiles that are on disk only: every few frames a column
/// or row of tiles is asked for, and the frames go on while the worker reads and decodes them.
/// After BRISK_FRAMES frames (untimed) the worker is waited for, the tiles in memory are dropped
/// and the start view is loaded again.
void BM_DemoFramePanningIntoTiles(benchmark::State& state) {
  TiledDemo demo(BRISK_DX, BRISK_DY, BRISK_FRAMES);
  Frames& frames = demo.frames;
  TileCache& tiles = frames.app().tiles;
  zarn_ui::Point pointer = DRAG_START;
  demo.restart();
  std::size_t start_tiles = tiles.tiles.size();
  std::uint64_t arrived = 0;
  std::uint64_t timed_frames = 0;
  int step = 0;
  for (auto _ : state) {
    if (step == BRISK_FRAMES) {
      state.PauseTiming();
      settle(frames);
      arrived += tiles.tiles.size() - start_tiles;
      tiles.tiles.clear();
      tiles.lru.clear();
      demo.restart();
      pointer = DRAG_START;
      settle(frames);
      start_tiles = tiles.tiles.size();
      step = 0;
      state.ResumeTiming();
    }
    pointer = {pointer.x + BRISK_DX, pointer.y + BRISK_DY};
    ++step;
    ++timed_frames;
    frames.drag_to(pointer);
    if (!frames.frame()) {
      fail("a frame failed");
    }
    benchmark::ClobberMemory();
  }
  settle(frames);
  arrived += tiles.tiles.size() - start_tiles;
  // A run shorter than one pass (the driver's first probe) may not reach a new tile yet.
  if (arrived == 0 && timed_frames >= BRISK_FRAMES) {
    fail("the pan brought in no tiles from disk");
  }
  expect_tiles_drawn(frames);
  demo.count(state);
  state.counters["tiles_in_per_frame"] =
      static_cast<double>(arrived) / static_cast<double>(timed_frames);
}
BENCHMARK(BM_DemoFramePanningIntoTiles)->Unit(benchmark::kMillisecond);

} // namespace
