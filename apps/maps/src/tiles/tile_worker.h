#pragma once
// The tile worker thread "maps-tiles": answers load and prefetch requests from the disk cache as
// they arrive, fetches the others from the tile server a few at a time side by side (view tiles
// before prefetches), stores downloaded tiles on disk and answers each request. It ends when
// either of its channels closes; it is never joined.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <spdlog/logger.h>

#include "base/channel.h"
#include "net/http_multi.h"
#include "tiles/disk_ledger.h"
#include "tiles/tile_types.h"

namespace maps {

/// Total time-out of one tile download.
inline constexpr std::chrono::seconds TILE_TIMEOUT{15};
/// Failed downloads are answered together once no download runs, or after this at most.
inline constexpr std::chrono::milliseconds FAILURE_HOLD{500};
/// Tile downloads the worker runs at once; more wait their turn.
inline constexpr std::size_t MAX_TILE_FETCHES = 6;
/// A tile body or cache file above this is refused.
inline constexpr std::size_t MAX_TILE_BYTES = std::size_t{4} * 1024 * 1024;

/// The raster tile server; the styles are served under it at these paths.
inline constexpr char TILE_SERVER[] = "https://basemaps.cartocdn.com";
inline constexpr char LIGHT_STYLE_PATH[] = "/light_nolabels";
inline constexpr char DARK_STYLE_PATH[] = "/dark_nolabels";

/// Pixels per side of the tiles a style serves: the map's tile size, or twice it for a style
/// of high-density tiles.
inline constexpr std::uint32_t STANDARD_TILE_PX = 256;
inline constexpr std::uint32_t HIGH_DENSITY_TILE_PX = 512;

/// The style base URLs of one tile server and the size of the tiles both serve.
struct TileServer {
  std::string light;
  std::string dark;
  std::uint32_t tile_px = STANDARD_TILE_PX;
};

/// TILE_SERVER with the two style paths; tests build one over 127.0.0.1.
TileServer tile_server(std::string_view server_base = TILE_SERVER);

/// The worker loop on the calling thread; returns when a channel is closed. A tile that is not
/// `tile_px` square counts as undecodable: it is neither answered nor written to disk.
/// `waker` lets the cache end the worker's wait on the network when it sends a request; each
/// tile stored is reported to `ledger`. A cache file counts (for loads and prefetches alike)
/// only when it decodes; its modification time then marks it used.
void tile_worker(base::Receiver<TileRequest>& requests, base::Sender<TileReply> const& replies,
                 std::filesystem::path const& cache_dir, std::string const& base_url,
                 std::uint32_t tile_px = STANDARD_TILE_PX,
                 std::shared_ptr<HttpWaker> waker = nullptr,
                 std::shared_ptr<DiskLedger> ledger = nullptr);

/// The logger "maps::tiles" (made on first use, writing to the default logger's sinks).
std::shared_ptr<spdlog::logger> tiles_logger();

/// The thread body: names the thread, runs the loop, then drops its channel ends.
void tile_worker_thread(base::Receiver<TileRequest> requests, base::Sender<TileReply> replies,
                        std::filesystem::path cache_dir, std::string base_url,
                        std::uint32_t tile_px, std::shared_ptr<HttpWaker> waker,
                        std::shared_ptr<DiskLedger> ledger);

/// The two ends the cache keeps of a started worker.
struct TileWorkerEnds {
  base::Sender<TileRequest> requests;
  base::Receiver<TileReply> replies;
  /// Woken after each request sent, so the worker does not sit out its wait on the network.
  std::shared_ptr<HttpWaker> waker;
};

/// Starts and detaches a worker over `cache_dir` and `base_url`; nothing if the thread could
/// not be started.
std::optional<TileWorkerEnds> start_tile_worker(std::filesystem::path cache_dir,
                                                std::string base_url,
                                                std::uint32_t tile_px = STANDARD_TILE_PX,
                                                std::shared_ptr<DiskLedger> ledger = nullptr);

} // namespace maps
