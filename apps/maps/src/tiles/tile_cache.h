#pragma once
// TileCache: the UI thread's side of the raster basemap. It lists the tiles covering a view,
// keeps decoded tiles in memory (least recently used evicted), asks the worker for missing
// ones with a back-off after failures, offers cached ancestors as stand-ins, and drives the
// offline-area download and the deletion and measurement of the disk cache. UI thread only.

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/channel.h"
#include "base/clock.h"
#include "model/types.h"
#include "platform/scene/image.h"
#include "tiles/disk_ledger.h"
#include "tiles/tile_types.h"
#include "tiles/tile_worker.h"

namespace maps {

/// Decoded tiles kept in memory (about 128 MiB of 256-pixel tiles).
inline constexpr std::size_t TILE_MEMORY_LIMIT = 512;
/// Size of the back-off map above which it is pruned.
inline constexpr std::size_t BACKOFF_PRUNE_LIMIT = 4096;
inline constexpr std::chrono::seconds BACKOFF_FIRST_DELAY{2};
inline constexpr std::chrono::seconds BACKOFF_MAX_DELAY{300};
/// Back-offs of the view that fall due this close together are retried in one frame.
inline constexpr std::chrono::milliseconds RETRY_GATHERING{100};
/// Highest zoom drawn or downloaded.
inline constexpr std::uint8_t MAX_TILE_ZOOM = 19;
/// Zoom levels searched upwards for a stand-in while a tile loads.
inline constexpr std::uint8_t ANCESTOR_LEVELS = 9;
/// Rows or columns listed for one view at most (a zoom far below 0 would otherwise list
/// millions of sub-pixel tiles).
inline constexpr std::int64_t MAX_VISIBLE_SPAN = 256;
/// Keys listed for one box at most (about 48 MiB of keys); a box of a stored region can be any
/// size, and its listing must not exhaust memory.
inline constexpr std::size_t MAX_AREA_TILES = std::size_t{1} << 22;

struct TileBackoff {
  base::Instant retry_at; // not requested again before this
  base::Duration delay;
};

/// One visible tile and its screen rectangle in logical pixels.
struct TilePlacement {
  TileKey key;
  double x0 = 0.0;
  double y0 = 0.0;
  double x1 = 0.0;
  double y1 = 0.0;
};

struct ViewRect {
  double x0 = 0.0;
  double y0 = 0.0;
  double x1 = 0.0;
  double y1 = 0.0;
};

struct ScreenPoint {
  double x = 0.0;
  double y = 0.0;
};

/// A box in degrees, not wrapped across the antimeridian.
struct GeoBox {
  double south = 0.0;
  double west = 0.0;
  double north = 0.0;
  double east = 0.0;
};

/// A cached ancestor of a tile and how many zoom levels above it lies (1 to 9).
struct AncestorTile {
  zarn_ui::SharedImage image;
  TileKey key;
  std::uint8_t levels = 0;
};

/// The tiles covering `viewport` when `centre` is drawn at `anchor`: the integer zoom nearest to
/// `zoom` (0 to 19), scaled by 2^(zoom - z); two extra rows and columns past the view; columns
/// wrap around the antimeridian, rows outside the world are skipped. Row by row, west to east.
std::vector<TilePlacement> visible_tiles(LatLon centre, double zoom, ViewRect viewport,
                                         ScreenPoint anchor);

/// Every tile of `box` at zooms min(z0, z1) .. min(max(z0, z1), 19), zoom by zoom, north to
/// south, west to east; at most MAX_AREA_TILES keys.
std::vector<TileKey> tiles_in_box(GeoBox box, std::uint8_t z0, std::uint8_t z1);

/// How many tiles `tiles_in_box` covers, computed without listing them (saturating).
std::uint32_t count_area_tiles(GeoBox box, std::uint8_t z0, std::uint8_t z1);

/// The tiles of a downloaded area (its corners normalised).
std::vector<TileKey> region_tiles(DownloadedRegion const& region);
/// How many tiles `region_tiles` lists, computed without listing them.
std::uint32_t region_tile_count(DownloadedRegion const& region);

/// Whether `region_tiles(region)` holds `key`, without listing them.
bool region_holds(DownloadedRegion const& region, TileKey key);

struct TileCache {
  std::optional<base::Sender<TileRequest>> request_tx; // absent without a worker
  std::optional<base::Receiver<TileReply>> reply_rx;   // absent without a worker
  std::shared_ptr<HttpWaker> worker_waker;             // ends the worker's wait on the network
  std::deque<TileKey> lru;                             // keys of `tiles`, oldest first
  std::filesystem::path cache_dir;                     // the current style's tile files
  std::optional<std::filesystem::path> cache_root;     // holds "light" and "dark"
  std::unordered_map<TileKey, zarn_ui::SharedImage, TileKeyHash> tiles;
  std::unordered_set<TileKey, TileKeyHash> pending; // loads sent, not answered
  std::unordered_map<TileKey, TileBackoff, TileKeyHash> backoff;
  std::uint32_t offline_total = 0;     // tiles of the current offline download
  std::uint32_t offline_done = 0;      // of them answered (or given up)
  std::uint32_t offline_failed = 0;    // of them failed
  std::uint64_t offline_downloads = 0; // downloads started, so two alike still tell apart
  /// The latest pause the tile server asked for, as the worker reported it.
  std::optional<ServicePause> server_pause;
  bool dark = false;
  /// The earliest back-off end among the tiles asked for since the last poll.
  std::optional<base::Instant> view_retry_at;

  // The current download's tiles in request order, and those still unanswered: a style
  // switch sends these to the new worker, so the counters always reach the total.
  std::vector<TileKey> offline_keys;
  std::unordered_set<TileKey, TileKeyHash> offline_outstanding;
  // The current download's tiles that failed (or were given up as failed), for a retry.
  std::vector<TileKey> offline_failed_keys;
  TileServer server;
  // Only a cache that runs a worker deletes files: the cache of a start from launch switches
  // points at the user's real tile cache and must leave it alone.
  bool owns_disk = false;
  /// With a worker: the running size of the folder and its bound, shared with the workers.
  std::shared_ptr<DiskLedger> disk_ledger;
  /// Sizes measured off this thread, as they arrive (the channel is made on first use).
  std::optional<base::Receiver<std::uint64_t>> disk_usage_rx;
  std::optional<base::Sender<std::uint64_t>> disk_usage_tx;
  /// A measurement without a ledger runs: another is not started before it answered.
  bool disk_measuring = false;
  /// The areas last handed to the ledger as kept.
  std::vector<DownloadedRegion> kept_regions;
  base::Clock const* clock = &base::system_clock();

  /// The tile's image when in memory; marks it recently used.
  zarn_ui::SharedImage cached_tile(TileKey key);
  /// The nearest cached ancestor within ANCESTOR_LEVELS; marks it recently used.
  std::optional<AncestorTile> ancestor_tile(TileKey key);
  /// Moves `key` to the most recent end of `lru`.
  void touch_tile(TileKey key);
  /// Asks the worker for a tile unless it is in memory, pending or backing off.
  void request_tile(TileKey key);
  /// Takes every reply that has arrived; never blocks. Once per frame, before the frame's
  /// requests.
  void poll_tile_replies();
  /// When a tile the last frame asked for comes out of its back-off (plus RETRY_GATHERING, so
  /// that neighbours failed together are retried together); none when the view waits on none.
  std::optional<base::Instant> next_retry() const;
  /// Queues a prefetch of every tile of the box; returns their number.
  std::uint32_t download_area(GeoBox box, std::uint8_t z0, std::uint8_t z1);
  /// True once every tile of the last download has been answered (or given up).
  bool offline_download_complete() const;
  /// Starts a new download of the tiles the last one failed to fetch; returns their number
  /// (0, and nothing started, while that download runs or when none failed).
  std::uint32_t retry_failed_tiles();
  /// Removes tiles from memory and their files from disk; returns the bytes freed. Those of the
  /// keys a download still waits for are given up, so the worker does not fetch them again.
  std::uint64_t delete_region_tiles(std::vector<TileKey> const& keys);
  /// Empties memory and removes the disk cache; returns the bytes it held. A download in
  /// progress is abandoned (its worker is replaced, so nothing it still had queued is fetched).
  std::uint64_t clear_tile_cache();
  /// Bytes under the cache root (or directory), measured now on the calling thread.
  std::uint64_t tile_cache_disk_usage() const;
  /// The bytes on disk when the running total knows them; otherwise none, and a measurement
  /// starts off this thread (take_disk_usage answers it once it is done). The UI thread never
  /// walks the folder this way.
  std::optional<std::uint64_t> disk_usage_or_measure();
  /// The latest measurement that arrived since the last call; never blocks.
  std::optional<std::uint64_t> take_disk_usage();
  /// The areas whose tiles the disk bound never evicts; cheap when unchanged.
  void keep_regions(std::vector<DownloadedRegion> const& regions);
  /// Switches between the light and dark styles (and their workers).
  void set_dark_basemap(bool dark);

private:
  std::uint32_t start_download(std::vector<TileKey> keys);
  void fail_outstanding();
  void restart_worker();
  void send_outstanding();
  bool send_request(TileRequest request);
};

/// A cache with a worker on `cache_dir` and `base_url`, no root (one style directory).
TileCache tile_cache_with_worker(std::filesystem::path cache_dir, std::string base_url);
/// The cache of a plain start over `root`: "light" and "dark" below it, light first.
TileCache light_tile_cache(std::filesystem::path root, TileServer server = tile_server(),
                           base::Clock const& clock = base::system_clock());
/// light_tile_cache(tile_cache_dir()).
TileCache default_tile_cache();
/// A cache over `dir` that never requests, loads or deletes anything.
TileCache tile_cache_without_worker(std::filesystem::path dir,
                                    base::Clock const& clock = base::system_clock());
/// tile_cache_without_worker(tile_cache_dir()): the cache of the starts from launch switches.
TileCache offline_tile_cache();

} // namespace maps
