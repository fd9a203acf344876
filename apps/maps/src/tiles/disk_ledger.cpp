#include "tiles/disk_ledger.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <string>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

#include "tiles/tile_cache.h"

namespace maps {

namespace fs = std::filesystem;

namespace {

template <class Int> std::optional<Int> whole_number(std::string const& s) {
  Int value{};
  auto const [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc{} || end != s.data() + s.size() || s.empty()) {
    return std::nullopt;
  }
  return value;
}

struct TileFile {
  fs::path path;
  std::uint64_t size = 0;
  TileKey key;
  struct timespec used {};
};

bool older(TileFile const& a, TileFile const& b) {
  return std::tie(a.used.tv_sec, a.used.tv_nsec) < std::tie(b.used.tv_sec, b.used.tv_nsec);
}

} // namespace

std::optional<TileKey> tile_of_cache_file(fs::path const& file) {
  if (file.extension() != ".png") {
    return std::nullopt;
  }
  auto const y = whole_number<std::uint32_t>(file.stem().string());
  auto const x = whole_number<std::uint32_t>(file.parent_path().filename().string());
  auto const z = whole_number<unsigned>(file.parent_path().parent_path().filename().string());
  if (!y || !x || !z || *z > MAX_TILE_ZOOM) {
    return std::nullopt;
  }
  return TileKey{*x, *y, static_cast<std::uint8_t>(*z)};
}

DiskScan scan_tile_folder(fs::path const& root, std::uint64_t limit, std::uint64_t low_water,
                          std::vector<DownloadedRegion> const& kept) {
  DiskScan scan;
  std::vector<TileFile> files;
  std::error_code ec;
  fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
  if (ec) {
    return scan;
  }
  for (fs::recursive_directory_iterator const end; it != end;) {
    struct ::stat st {};
    if (::lstat(it->path().c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
      auto const size = static_cast<std::uint64_t>(st.st_size);
      scan.bytes += size;
      if (S_ISREG(st.st_mode)) {
        if (auto key = tile_of_cache_file(it->path())) {
          files.push_back(TileFile{it->path(), size, *key, st.st_mtim});
        }
      }
    }
    it.increment(ec);
    if (ec) {
      break; // the rest of the tree cannot be listed
    }
  }
  if (scan.bytes <= limit) {
    return scan;
  }
  std::sort(files.begin(), files.end(), older);
  for (TileFile const& file : files) {
    if (scan.bytes <= low_water) {
      break;
    }
    bool const held = std::any_of(kept.begin(), kept.end(), [&](DownloadedRegion const& region) {
      return region_holds(region, file.key);
    });
    if (!held && ::unlink(file.path.c_str()) == 0) {
      scan.bytes -= std::min(scan.bytes, file.size);
      ++scan.evicted;
    }
  }
  return scan;
}

DiskLedger::DiskLedger(fs::path root, base::Sender<std::uint64_t> totals, std::uint64_t limit)
    : root_(std::move(root)), limit_(limit), totals_(std::move(totals)) {}

void DiskLedger::added(std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  if (total_) {
    *total_ += bytes;
  }
  if (scanning_) {
    added_during_scan_ += bytes;
  }
  if (!total_ || *total_ > limit_) {
    start_scan_locked();
  }
}

void DiskLedger::removed(std::uint64_t bytes) {
  std::lock_guard lock(mutex_);
  if (total_) {
    *total_ -= std::min(*total_, bytes);
  }
  rescan_ = scanning_;
}

void DiskLedger::cleared() {
  std::lock_guard lock(mutex_);
  total_ = 0;
  rescan_ = scanning_;
}

void DiskLedger::keep(std::vector<DownloadedRegion> regions) {
  std::lock_guard lock(mutex_);
  kept_ = std::move(regions);
}

std::optional<std::uint64_t> DiskLedger::total() const {
  std::lock_guard lock(mutex_);
  return total_;
}

void DiskLedger::measure() {
  std::lock_guard lock(mutex_);
  start_scan_locked();
}

bool DiskLedger::scanning() const {
  std::lock_guard lock(mutex_);
  return scanning_;
}

void DiskLedger::start_scan_locked() {
  if (scanning_) {
    return;
  }
  scanning_ = true;
  rescan_ = false;
  added_during_scan_ = 0;
  std::weak_ptr<DiskLedger> const self = weak_from_this();
  auto const low_water =
      static_cast<std::uint64_t>(static_cast<double>(limit_) * TILE_DISK_LOW_WATER);
  try {
    std::thread([self, root = root_, limit = limit_, low_water, kept = kept_] {
      DiskScan const scan = scan_tile_folder(root, limit, low_water, kept);
      auto const ledger = self.lock();
      if (!ledger) {
        return;
      }
      std::unique_lock lock(ledger->mutex_);
      ledger->scanning_ = false;
      if (ledger->rescan_) {
        ledger->start_scan_locked();
        return;
      }
      // Tiles stored while the walk ran may or may not have been seen: counting them again
      // errs towards an early eviction, never towards an unbounded folder.
      std::uint64_t const total = scan.bytes + std::exchange(ledger->added_during_scan_, 0);
      ledger->total_ = total;
      lock.unlock();
      (void)ledger->totals_.send(total);
    }).detach();
  } catch (std::system_error const&) {
    scanning_ = false; // no thread: the next tile stored tries again
  }
}

} // namespace maps
