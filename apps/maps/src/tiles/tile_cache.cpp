#include "tiles/tile_cache.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "base/saturate.h"
#include "geo/geo.h"
#include "tiles/disk_cache.h"

namespace maps {

namespace fs = std::filesystem;

namespace {

// Far beyond any world column at zoom 19, yet small enough that adding a span cannot overflow.
constexpr std::int64_t MAX_TILE_INDEX = std::int64_t{1} << 40;

/// The inclusive tile ranges of a box at one zoom.
struct TileRange {
  std::uint32_t x_min, x_max, y_min, y_max;
};

TileRange box_range(GeoBox const& box, std::uint8_t z) {
  TileXY const a = tile_for(z, box.north, box.west);
  TileXY const b = tile_for(z, box.south, box.east);
  std::uint32_t const last = (std::uint32_t{1} << z) - 1;
  return TileRange{std::min(a.x, b.x), std::min(std::max(a.x, b.x), last), std::min(a.y, b.y),
                   std::min(std::max(a.y, b.y), last)};
}

/// The zoom range of a box listing; nothing when it is empty.
std::optional<std::pair<std::uint8_t, std::uint8_t>> zoom_range(std::uint8_t z0, std::uint8_t z1) {
  std::uint8_t const lo = std::min(z0, z1);
  std::uint8_t const hi = std::min(std::max(z0, z1), MAX_TILE_ZOOM);
  if (lo > hi) {
    return std::nullopt;
  }
  return std::pair{lo, hi};
}

/// How many iterations the view loop runs for a span: the span itself plus the two extra.
std::int64_t span_steps(double extent, double tile) {
  std::int64_t const span = base::saturating_cast<std::int64_t>(std::ceil(extent / tile));
  return std::clamp<std::int64_t>(span, -2, MAX_VISIBLE_SPAN) + 2;
}

} // namespace

std::vector<TilePlacement> visible_tiles(LatLon centre, double zoom, ViewRect viewport,
                                         ScreenPoint anchor) {
  // std::round rounds half away from zero.
  int const z = std::clamp(base::saturating_cast<int>(std::round(zoom)), 0, int{MAX_TILE_ZOOM});
  double const scale = std::exp2(zoom - z);
  double const tile = 256.0 * scale;
  std::int64_t const n = std::int64_t{1} << z;
  WorldPx const c = project_mercator(centre.lat, centre.lon, z);

  double const left = c.x - (anchor.x - viewport.x0) / scale;
  double const top = c.y - (anchor.y - viewport.y0) / scale;
  std::int64_t const c0 = std::clamp(base::saturating_cast<std::int64_t>(std::floor(left / 256.0)),
                                     -MAX_TILE_INDEX, MAX_TILE_INDEX);
  std::int64_t const r0 = std::clamp(base::saturating_cast<std::int64_t>(std::floor(top / 256.0)),
                                     -MAX_TILE_INDEX, MAX_TILE_INDEX);
  std::int64_t const column_steps = span_steps(viewport.x1 - viewport.x0, tile);
  std::int64_t const row_steps = span_steps(viewport.y1 - viewport.y0, tile);

  std::vector<TilePlacement> out;
  for (std::int64_t r = r0; r < r0 + row_steps; ++r) {
    if (r < 0 || r >= n) {
      continue;
    }
    double const y0 = (static_cast<double>(r) * 256.0 - c.y) * scale + anchor.y;
    for (std::int64_t col = c0; col < c0 + column_steps; ++col) {
      std::int64_t const wrapped = ((col % n) + n) % n;
      double const x0 = (static_cast<double>(col) * 256.0 - c.x) * scale + anchor.x;
      out.push_back(
          TilePlacement{TileKey{static_cast<std::uint32_t>(wrapped), static_cast<std::uint32_t>(r),
                                static_cast<std::uint8_t>(z)},
                        x0, y0, x0 + tile, y0 + tile});
    }
  }
  return out;
}

std::vector<TileKey> tiles_in_box(GeoBox box, std::uint8_t z0, std::uint8_t z1) {
  std::vector<TileKey> keys;
  auto zooms = zoom_range(z0, z1);
  if (!zooms) {
    return keys;
  }
  std::size_t const expected = std::min<std::size_t>(count_area_tiles(box, z0, z1), MAX_AREA_TILES);
  keys.reserve(expected);
  for (unsigned z = zooms->first; z <= zooms->second; ++z) {
    TileRange const range = box_range(box, static_cast<std::uint8_t>(z));
    for (std::uint64_t y = range.y_min; y <= range.y_max; ++y) {
      for (std::uint64_t x = range.x_min; x <= range.x_max; ++x) {
        if (keys.size() >= MAX_AREA_TILES) {
          return keys;
        }
        keys.push_back(TileKey{static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                               static_cast<std::uint8_t>(z)});
      }
    }
  }
  return keys;
}

std::uint32_t count_area_tiles(GeoBox box, std::uint8_t z0, std::uint8_t z1) {
  auto zooms = zoom_range(z0, z1);
  if (!zooms) {
    return 0;
  }
  // At most 20 zooms of 2^19 * 2^19 tiles: the sum fits 64 bits.
  std::uint64_t total = 0;
  for (unsigned z = zooms->first; z <= zooms->second; ++z) {
    TileRange const range = box_range(box, static_cast<std::uint8_t>(z));
    total += (std::uint64_t{range.x_max} - range.x_min + 1) *
             (std::uint64_t{range.y_max} - range.y_min + 1);
  }
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(total, std::numeric_limits<std::uint32_t>::max()));
}

namespace {

GeoBox region_box(DownloadedRegion const& region) {
  return {std::min(region.min.lat, region.max.lat), std::min(region.min.lon, region.max.lon),
          std::max(region.min.lat, region.max.lat), std::max(region.min.lon, region.max.lon)};
}

} // namespace

std::vector<TileKey> region_tiles(DownloadedRegion const& region) {
  return tiles_in_box(region_box(region), region.z0, region.z1);
}

std::uint32_t region_tile_count(DownloadedRegion const& region) {
  return count_area_tiles(region_box(region), region.z0, region.z1);
}

bool region_holds(DownloadedRegion const& region, TileKey key) {
  auto const zooms = zoom_range(region.z0, region.z1);
  if (!zooms || key.z < zooms->first || key.z > zooms->second) {
    return false;
  }
  TileRange const range = box_range(region_box(region), key.z);
  return key.x >= range.x_min && key.x <= range.x_max && key.y >= range.y_min &&
         key.y <= range.y_max;
}

zarn_ui::SharedImage TileCache::cached_tile(TileKey key) {
  auto it = tiles.find(key);
  if (it == tiles.end()) {
    return nullptr;
  }
  touch_tile(key);
  return it->second;
}

std::optional<AncestorTile> TileCache::ancestor_tile(TileKey key) {
  for (unsigned level = 1; level <= ANCESTOR_LEVELS && level <= key.z; ++level) {
    TileKey const parent{key.x >> level, key.y >> level, static_cast<std::uint8_t>(key.z - level)};
    auto it = tiles.find(parent);
    if (it != tiles.end()) {
      touch_tile(parent);
      return AncestorTile{it->second, parent, static_cast<std::uint8_t>(level)};
    }
  }
  return std::nullopt;
}

void TileCache::touch_tile(TileKey key) {
  // Every frame touches the visible tiles, so they sit at the recent end: search from there.
  auto it = std::find(lru.rbegin(), lru.rend(), key);
  if (it != lru.rend()) {
    if (it == lru.rbegin()) {
      return; // already the most recent
    }
    lru.erase(std::next(it).base());
  }
  lru.push_back(key);
}

void TileCache::request_tile(TileKey key) {
  if (tiles.contains(key) || pending.contains(key)) {
    return;
  }
  if (auto it = backoff.find(key); it != backoff.end() && it->second.retry_at > clock->now()) {
    if (!view_retry_at || it->second.retry_at < *view_retry_at) {
      view_retry_at = it->second.retry_at;
    }
    return;
  }
  if (!request_tx) {
    return;
  }
  if (send_request(TileRequest{TileRequest::Kind::Load, key})) {
    pending.insert(key);
  }
}

std::optional<base::Instant> TileCache::next_retry() const {
  if (!view_retry_at) {
    return std::nullopt;
  }
  return *view_retry_at + RETRY_GATHERING;
}

void TileCache::poll_tile_replies() {
  // The frame after this poll lists again which back-offs its view waits on.
  view_retry_at.reset();
  if (!reply_rx) {
    return;
  }
  std::vector<TileReply> replies;
  bool worker_gone = false;
  for (;;) {
    auto next = reply_rx->try_recv();
    if (auto* reply = std::get_if<TileReply>(&next)) {
      replies.push_back(std::move(*reply));
      continue;
    }
    worker_gone = std::get<base::RecvError>(next) == base::RecvError::Closed;
    break;
  }

  for (auto& reply : replies) {
    if (reply.server_pause && (!server_pause || server_pause->until < reply.server_pause->until)) {
      server_pause = reply.server_pause;
    }
    if (reply.kind == TileReply::Kind::Prefetched) {
      // A reply of an earlier download (or after a clear) is not this download's progress.
      if (offline_outstanding.erase(reply.key) != 0) {
        ++offline_done;
        if (!reply.ok) {
          ++offline_failed;
          offline_failed_keys.push_back(reply.key);
        }
      }
      continue;
    }
    auto& loaded = reply;
    pending.erase(loaded.key);
    if (!loaded.image) {
      base::Instant const now = clock->now();
      auto it = backoff.find(loaded.key);
      base::Duration const delay =
          it == backoff.end() ? base::Duration(BACKOFF_FIRST_DELAY)
                              : std::min(it->second.delay * 2, base::Duration(BACKOFF_MAX_DELAY));
      base::Instant retry_at = now + delay;
      if (loaded.server_pause) {
        // Not before the server's pause ends (measured on this cache's clock).
        auto const left = loaded.server_pause->until - std::chrono::steady_clock::now();
        retry_at = std::max(retry_at, now + std::chrono::duration_cast<base::Duration>(left));
      }
      backoff[loaded.key] = TileBackoff{retry_at, delay};
      if (backoff.size() > BACKOFF_PRUNE_LIMIT) {
        std::erase_if(backoff, [&](auto const& entry) { return entry.second.retry_at <= now; });
        if (backoff.size() > BACKOFF_PRUNE_LIMIT) {
          backoff.clear();
        }
      }
      continue;
    }
    backoff.erase(loaded.key);
    auto [it, inserted] = tiles.insert_or_assign(loaded.key, std::move(loaded.image));
    if (inserted) {
      lru.push_back(loaded.key);
    } else {
      touch_tile(loaded.key);
    }
    while (tiles.size() > TILE_MEMORY_LIMIT && !lru.empty()) {
      tiles.erase(lru.front());
      lru.pop_front();
    }
  }
  if (offline_outstanding.empty()) {
    offline_keys.clear();
  }

  if (worker_gone) {
    // Nothing will answer any more: end the waits instead of staying busy for ever.
    request_tx.reset();
    reply_rx.reset();
    pending.clear();
    fail_outstanding();
  }
}

std::uint32_t TileCache::download_area(GeoBox box, std::uint8_t z0, std::uint8_t z1) {
  return start_download(tiles_in_box(box, z0, z1));
}

std::uint32_t TileCache::retry_failed_tiles() {
  if (!offline_download_complete() || offline_failed_keys.empty()) {
    return 0;
  }
  return start_download(std::move(offline_failed_keys));
}

std::uint32_t TileCache::start_download(std::vector<TileKey> keys) {
  ++offline_downloads;
  offline_keys = std::move(keys);
  auto const total = static_cast<std::uint32_t>(offline_keys.size());
  offline_total = total;
  offline_done = 0;
  offline_failed = 0;
  offline_failed_keys.clear();
  offline_outstanding.clear();
  if (!request_tx) {
    offline_done = offline_total;
    offline_keys.clear();
    return total;
  }
  offline_outstanding.insert(offline_keys.begin(), offline_keys.end());
  send_outstanding();
  return total;
}

bool TileCache::offline_download_complete() const {
  return offline_total != 0 && offline_done >= offline_total;
}

void TileCache::send_outstanding() {
  for (TileKey const& key : offline_keys) {
    if (!offline_outstanding.contains(key)) {
      continue;
    }
    if (!send_request(TileRequest{TileRequest::Kind::Prefetch, key})) {
      // No worker takes it: it is given up now, so the download still completes.
      offline_outstanding.erase(key);
      ++offline_done;
      ++offline_failed;
      offline_failed_keys.push_back(key);
    }
  }
  if (offline_outstanding.empty()) {
    offline_keys.clear();
  }
}

bool TileCache::send_request(TileRequest request) {
  if (!request_tx || !request_tx->send(request)) {
    return false;
  }
  if (worker_waker) {
    worker_waker->wake();
  }
  return true;
}

void TileCache::fail_outstanding() {
  auto const left = static_cast<std::uint32_t>(offline_outstanding.size());
  offline_done += left;
  offline_failed += left;
  for (TileKey const& key : offline_keys) {
    if (offline_outstanding.contains(key)) {
      offline_failed_keys.push_back(key);
    }
  }
  offline_outstanding.clear();
  offline_keys.clear();
}

std::uint64_t TileCache::delete_region_tiles(std::vector<TileKey> const& keys) {
  for (TileKey const& key : keys) {
    tiles.erase(key);
  }
  std::erase_if(lru, [&](TileKey const& key) { return !tiles.contains(key); });
  if (!owns_disk) {
    return 0;
  }
  // Tiles of these keys still queued for a download would come back once their files are gone:
  // they are given up (answered, not failed), and the worker is replaced so the queue goes too.
  bool abandoned = false;
  for (TileKey const& key : keys) {
    if (offline_outstanding.erase(key) != 0) {
      ++offline_done;
      abandoned = true;
    }
  }
  if (abandoned && request_tx) {
    restart_worker();
    pending.clear();
    send_outstanding();
  }
  std::uint64_t freed = 0;
  for (TileKey const& key : keys) {
    fs::path const file = cache_dir / tile_cache_path(key);
    std::error_code ec;
    std::uintmax_t const size = fs::file_size(file, ec);
    if (!ec) {
      freed += size;
    }
    fs::remove(file, ec);
  }
  if (disk_ledger) {
    disk_ledger->removed(freed);
  }
  return freed;
}

std::uint64_t TileCache::clear_tile_cache() {
  // A download still queued at the worker would fill the cleared folder again.
  if (owns_disk && request_tx && !offline_outstanding.empty()) {
    restart_worker();
  }
  tiles.clear();
  lru.clear();
  pending.clear();
  backoff.clear();
  offline_total = 0;
  offline_done = 0;
  offline_failed = 0;
  offline_outstanding.clear();
  offline_keys.clear();
  offline_failed_keys.clear();
  if (!owns_disk) {
    return 0;
  }
  fs::path const dir = cache_root.value_or(cache_dir);
  std::uint64_t const bytes = cache_disk_usage(dir);
  std::error_code ec;
  fs::remove_all(dir, ec);
  if (disk_ledger) {
    disk_ledger->cleared();
  }
  return bytes;
}

std::uint64_t TileCache::tile_cache_disk_usage() const {
  return cache_disk_usage(cache_root.value_or(cache_dir));
}

std::optional<std::uint64_t> TileCache::disk_usage_or_measure() {
  if (disk_ledger) {
    if (auto total = disk_ledger->total()) {
      return total;
    }
    disk_ledger->measure();
    return std::nullopt;
  }
  if (disk_measuring) {
    return std::nullopt;
  }
  if (!disk_usage_tx) {
    auto [tx, rx] = base::channel<std::uint64_t>();
    rx.wake_ui_on_send();
    disk_usage_tx = std::move(tx);
    disk_usage_rx = std::move(rx);
  }
  try {
    std::thread([tx = *disk_usage_tx, dir = cache_root.value_or(cache_dir)] {
      (void)tx.send(cache_disk_usage(dir));
    }).detach();
    disk_measuring = true;
  } catch (std::system_error const&) {
    (void)disk_usage_tx->send(0); // no thread to measure with: the panel shows nothing cached
  }
  return std::nullopt;
}

std::optional<std::uint64_t> TileCache::take_disk_usage() {
  if (!disk_usage_rx) {
    return std::nullopt;
  }
  std::optional<std::uint64_t> latest;
  for (;;) {
    auto next = disk_usage_rx->try_recv();
    if (auto* bytes = std::get_if<std::uint64_t>(&next)) {
      latest = *bytes;
      disk_measuring = false;
      continue;
    }
    return latest;
  }
}

void TileCache::keep_regions(std::vector<DownloadedRegion> const& regions) {
  if (regions == kept_regions) {
    return;
  }
  kept_regions = regions;
  if (disk_ledger) {
    disk_ledger->keep(regions);
  }
}

void TileCache::set_dark_basemap(bool to_dark) {
  if (to_dark == dark) {
    return;
  }
  dark = to_dark;
  if (cache_root) {
    cache_dir = *cache_root / (dark ? "dark" : "light");
  }
  tiles.clear();
  lru.clear();
  pending.clear();
  backoff.clear();
  if (!request_tx) {
    return;
  }
  // The download's unanswered tiles go to the new worker.
  restart_worker();
  send_outstanding();
}

void TileCache::restart_worker() {
  // Dropping the old ends stops the old worker after the request in hand (its reply can no
  // longer be sent), and with it everything still queued for it.
  auto ends =
      start_tile_worker(cache_dir, dark ? server.dark : server.light, server.tile_px, disk_ledger);
  std::shared_ptr<HttpWaker> const old_waker = std::move(worker_waker);
  if (ends) {
    request_tx = std::move(ends->requests);
    reply_rx = std::move(ends->replies);
    worker_waker = std::move(ends->waker);
  } else {
    request_tx.reset();
    reply_rx.reset();
    worker_waker.reset();
  }
  if (old_waker) {
    old_waker->wake(); // with its ends gone, the old worker stops at once
  }
}

namespace {

TileCache cache_over(fs::path dir, base::Clock const& clock) {
  TileCache cache;
  cache.cache_dir = std::move(dir);
  cache.clock = &clock;
  return cache;
}

void attach_worker(TileCache& cache, std::string const& base_url) {
  cache.owns_disk = true;
  auto [tx, rx] = base::channel<std::uint64_t>();
  rx.wake_ui_on_send();
  cache.disk_ledger = std::make_shared<DiskLedger>(cache.cache_root.value_or(cache.cache_dir), tx);
  cache.disk_usage_tx = std::move(tx);
  cache.disk_usage_rx = std::move(rx);
  if (auto ends =
          start_tile_worker(cache.cache_dir, base_url, cache.server.tile_px, cache.disk_ledger)) {
    cache.request_tx = std::move(ends->requests);
    cache.reply_rx = std::move(ends->replies);
    cache.worker_waker = std::move(ends->waker);
  }
}

} // namespace

TileCache tile_cache_with_worker(fs::path cache_dir, std::string base_url) {
  TileCache cache = cache_over(std::move(cache_dir), base::system_clock());
  cache.server = tile_server();
  cache.server.light = base_url;
  attach_worker(cache, base_url);
  return cache;
}

TileCache light_tile_cache(fs::path root, TileServer server, base::Clock const& clock) {
  TileCache cache = cache_over(root / "light", clock);
  cache.cache_root = std::move(root);
  cache.server = std::move(server);
  attach_worker(cache, cache.server.light);
  return cache;
}

TileCache default_tile_cache() {
  return light_tile_cache(tile_cache_dir());
}

TileCache tile_cache_without_worker(fs::path dir, base::Clock const& clock) {
  return cache_over(std::move(dir), clock);
}

TileCache offline_tile_cache() {
  return tile_cache_without_worker(tile_cache_dir());
}

} // namespace maps
