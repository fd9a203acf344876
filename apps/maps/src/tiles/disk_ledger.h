#pragma once
// The disk cache's running size and its bound: workers report each tile they store, and a scan
// off the UI thread (the first time a size is needed, and whenever the total passes the limit)
// measures the folder and removes the least recently used tiles beyond the limit, never those
// of a downloaded area. Tiles read from disk are marked used (their modification time), so the
// order survives restarts. Shared by the UI thread, the workers and the scans.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "base/channel.h"
#include "model/types.h"
#include "tiles/tile_types.h"

namespace maps {

/// The most the tile files may take on disk.
inline constexpr std::uint64_t TILE_DISK_LIMIT = std::uint64_t{250} * 1024 * 1024;
/// A scan that evicts goes down to this share of the limit, so that the next tiles stored do
/// not start another scan at once.
inline constexpr double TILE_DISK_LOW_WATER = 0.9;

/// The tile a cache file stands for: ".../{z}/{x}/{y}.png"; none for any other file.
std::optional<TileKey> tile_of_cache_file(std::filesystem::path const& file);

/// What one scan did.
struct DiskScan {
  std::uint64_t bytes = 0;   // on disk after the scan
  std::uint64_t evicted = 0; // files removed
};

/// Walks `root` (directory links not followed), then removes the least recently modified tile
/// files not held by `kept` until at most `low_water` bytes remain, when more than `limit` were
/// found. Other files count towards the size and are never removed.
DiskScan scan_tile_folder(std::filesystem::path const& root, std::uint64_t limit,
                          std::uint64_t low_water, std::vector<DownloadedRegion> const& kept);

class DiskLedger : public std::enable_shared_from_this<DiskLedger> {
public:
  /// A ledger over `root`; each scan's result is also sent on `totals` (the UI's channel).
  DiskLedger(std::filesystem::path root, base::Sender<std::uint64_t> totals,
             std::uint64_t limit = TILE_DISK_LIMIT);

  /// A worker stored a tile of `bytes`: the total grows, and a scan starts when the total is
  /// unknown or past the limit. Tiles stored during a scan may count twice until the next one:
  /// the total is an upper bound.
  void added(std::uint64_t bytes);
  /// Files of `bytes` were removed on the UI thread.
  void removed(std::uint64_t bytes);
  /// The folder was emptied.
  void cleared();
  /// The areas whose tiles no scan may remove (the downloaded ones and the one downloading).
  void keep(std::vector<DownloadedRegion> regions);
  /// The running total, when a scan has measured it.
  std::optional<std::uint64_t> total() const;
  /// Starts a scan unless one runs; its total arrives on the channel.
  void measure();
  /// Whether a scan runs (for tests).
  bool scanning() const;

private:
  void start_scan_locked();

  std::filesystem::path const root_;
  std::uint64_t const limit_;
  base::Sender<std::uint64_t> totals_;
  mutable std::mutex mutex_;
  std::optional<std::uint64_t> total_;
  std::vector<DownloadedRegion> kept_;
  bool scanning_ = false;
  // Set when the folder changed under a running scan (cleared, files removed), so its result is
  // stale: the ledger scans again instead of taking it.
  bool rescan_ = false;
  std::uint64_t added_during_scan_ = 0;
};

} // namespace maps
