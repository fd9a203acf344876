#include "tiles/tile_worker.h"

#include <pthread.h>

#include <algorithm>
#include <deque>
#include <span>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <variant>
#include <vector>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "net/http.h"
#include "net/http_multi.h"
#include "net/service_pause.h"
#include "tiles/disk_cache.h"
#include "tiles/png_decode.h"

namespace maps {

namespace fs = std::filesystem;

namespace {

std::span<std::uint8_t const> as_bytes(std::string const& body) {
  return {reinterpret_cast<std::uint8_t const*>(body.data()), body.size()};
}

/// The downloaded body decoded as a tile of `tile_px`; a refusal is logged with its reason.
std::optional<DecodedTile> accept(std::string const& body, TileKey key, std::uint32_t tile_px) {
  auto decoded = decode_tile_png(as_bytes(body), tile_px);
  if (!decoded) {
    tiles_logger()->warn("maps tile {}/{}/{} refused: {}", key.z, key.x, key.y, decoded.error());
    return std::nullopt;
  }
  return std::move(*decoded);
}

/// The worker's state: requests are answered from disk as they arrive, and those that need the
/// network wait in two queues (view tiles before prefetches) for one of the concurrent fetches.
class Worker {
public:
  Worker(base::Sender<TileReply> const& replies, fs::path const& cache_dir,
         std::string const& base_url, std::uint32_t tile_px, std::optional<HttpMulti>& net,
         DiskLedger* ledger)
      : replies_(replies), cache_dir_(cache_dir), base_url_(base_url), tile_px_(tile_px), net_(net),
        ledger_(ledger) {}

  bool busy() const {
    return !running_.empty() || !loads_.empty() || !prefetches_.empty() || !held_.empty();
  }

  /// Sends the failures held back once no fetch runs any more, or once the oldest has waited
  /// FAILURE_HOLD: failures that trickle in one by one (a name lookup that fails tile after tile)
  /// then wake the window once, not once each. False once replies fail.
  bool flush_failures() {
    if (held_.empty() ||
        (!running_.empty() && std::chrono::steady_clock::now() < held_since_ + FAILURE_HOLD)) {
      return true;
    }
    for (TileReply& reply : held_) {
      if (!replies_.send(std::move(reply))) {
        return false;
      }
    }
    held_.clear();
    return true;
  }

  /// Answers a request from disk, or queues it for the network. False once replies fail.
  bool take(TileRequest const& request) {
    TileKey const key = request.key;
    fs::path const file = cache_dir_ / tile_cache_path(key);
    // A file counts only when it decodes: one left empty or damaged (by a full disk, another
    // program) is fetched again and replaced.
    if (auto cached = read_cache_file(file, MAX_TILE_BYTES)) {
      if (auto decoded = decode_tile_png(*cached, tile_px_)) {
        // The file's time is its last use, which the disk bound evicts by.
        std::error_code ec;
        fs::last_write_time(file, fs::file_time_type::clock::now(), ec);
        return replies_.send(request.kind == TileRequest::Kind::Load
                                 ? TileReply::loaded(key, *decoded)
                                 : TileReply::prefetched(key, true));
      }
    }
    if (!net_) {
      return replies_.send(failure(key, request.kind, std::nullopt));
    }
    // One fetch per tile, whoever else asks for it meanwhile.
    auto& askers = wanted_[key];
    askers.push_back(request.kind);
    if (askers.size() == 1) {
      (request.kind == TileRequest::Kind::Load ? loads_ : prefetches_).push_back(key);
    } else if (request.kind == TileRequest::Kind::Load) {
      // The map now shows a tile that a download had queued: it goes ahead with the views.
      if (auto it = std::find(prefetches_.begin(), prefetches_.end(), key);
          it != prefetches_.end()) {
        prefetches_.erase(it);
        loads_.push_back(key);
      }
    }
    return true;
  }

  /// Starts queued fetches while fewer than MAX_TILE_FETCHES run. False once replies fail.
  bool start_fetches() {
    while (net_ && running_.size() < MAX_TILE_FETCHES &&
           (!loads_.empty() || !prefetches_.empty())) {
      auto& queue = loads_.empty() ? prefetches_ : loads_;
      TileKey const key = queue.front();
      queue.pop_front();
      std::string const url = tile_url(base_url_, key);
      // A server that asked for a pause is not asked again before its end.
      if (auto const pause = service_paused(url)) {
        if (!answer_all(key, std::nullopt, pause)) {
          return false;
        }
        continue;
      }
      std::uint64_t const tag = next_tag_++;
      if (!net_->start(tag, url)) {
        if (!answer_all(key, std::nullopt, std::nullopt)) {
          return false;
        }
        continue;
      }
      running_.emplace(tag, key);
    }
    return true;
  }

  /// Waits a little for the fetches and answers those that ended. False once replies fail.
  bool run_fetches(std::chrono::milliseconds wait) {
    if (!net_ || running_.empty()) {
      return true;
    }
    for (auto& done : net_->poll(wait)) {
      auto const it = running_.find(done.tag);
      if (it == running_.end()) {
        continue;
      }
      TileKey const key = it->second;
      running_.erase(it);
      if (!finish(key, done.response)) {
        return false;
      }
    }
    return true;
  }

private:
  static TileReply failure(TileKey key, TileRequest::Kind kind,
                           std::optional<ServicePause> const& pause) {
    TileReply reply = kind == TileRequest::Kind::Load ? TileReply::loaded(key, std::nullopt)
                                                      : TileReply::prefetched(key, false);
    reply.server_pause = pause;
    return reply;
  }

  /// Answers everyone waiting for the tile: with its pixels, or as failed.
  bool answer_all(TileKey key, std::optional<DecodedTile> const& decoded,
                  std::optional<ServicePause> const& pause) {
    auto const it = wanted_.find(key);
    if (it == wanted_.end()) {
      return true;
    }
    std::vector<TileRequest::Kind> const askers = std::move(it->second);
    wanted_.erase(it);
    for (TileRequest::Kind const kind : askers) {
      if (!decoded) {
        if (held_.empty()) {
          held_since_ = std::chrono::steady_clock::now();
        }
        held_.push_back(failure(key, kind, pause));
        continue;
      }
      TileReply reply = kind == TileRequest::Kind::Load ? TileReply::loaded(key, decoded)
                                                        : TileReply::prefetched(key, true);
      if (!replies_.send(std::move(reply))) {
        return false;
      }
    }
    return true;
  }

  bool finish(TileKey key, base::Result<HttpResponse>& response) {
    if (response && asks_for_pause(response->status) && response->retry_after.count() > 0) {
      std::string const url = tile_url(base_url_, key);
      tiles_logger()->warn("maps tile server {} asked for a pause of {} s", url_origin(url),
                           response->retry_after.count());
      return answer_all(key, std::nullopt, pause_service(url, response->retry_after));
    }
    if (!response || response->status < 200 || response->status > 299) {
      return answer_all(key, std::nullopt, std::nullopt);
    }
    std::optional<DecodedTile> decoded = accept(response->body, key, tile_px_);
    // Nobody takes the answer any more (the cache was cleared or replaced): nothing is stored,
    // so a cleared folder does not fill up again.
    if (!replies_.receiver_alive()) {
      return false;
    }
    if (decoded) {
      // An unwritable cache still answers the tile.
      if (write_cache_file(cache_dir_ / tile_cache_path(key), as_bytes(response->body)) &&
          ledger_ != nullptr) {
        ledger_->added(response->body.size());
      }
    }
    return answer_all(key, decoded, std::nullopt);
  }

  base::Sender<TileReply> const& replies_;
  fs::path const& cache_dir_;
  std::string const& base_url_;
  std::uint32_t tile_px_;
  std::optional<HttpMulti>& net_;
  DiskLedger* ledger_;
  std::unordered_map<TileKey, std::vector<TileRequest::Kind>, TileKeyHash> wanted_;
  std::deque<TileKey> loads_;
  std::deque<TileKey> prefetches_;
  std::unordered_map<std::uint64_t, TileKey> running_;
  std::uint64_t next_tag_ = 0;
  std::vector<TileReply> held_; // failures not sent yet
  std::chrono::steady_clock::time_point held_since_;
};

/// How long the worker waits on its fetches before it looks for new requests again, in case a
/// wake was missed.
constexpr std::chrono::milliseconds FETCH_WAIT{100};

} // namespace

std::shared_ptr<spdlog::logger> tiles_logger() {
  if (auto logger = spdlog::get("maps::tiles")) {
    return logger;
  }
  auto const& sinks = spdlog::default_logger()->sinks();
  auto logger = std::make_shared<spdlog::logger>("maps::tiles", sinks.begin(), sinks.end());
  try {
    spdlog::register_logger(logger);
  } catch (spdlog::spdlog_ex const&) {
    // Another worker registered it first.
    if (auto registered = spdlog::get("maps::tiles")) {
      return registered;
    }
  }
  return logger;
}

TileServer tile_server(std::string_view server_base) {
  return TileServer{fmt::format("{}{}", server_base, LIGHT_STYLE_PATH),
                    fmt::format("{}{}", server_base, DARK_STYLE_PATH)};
}

void tile_worker(base::Receiver<TileRequest>& requests, base::Sender<TileReply> const& replies,
                 fs::path const& cache_dir, std::string const& base_url, std::uint32_t tile_px,
                 std::shared_ptr<HttpWaker> waker, std::shared_ptr<DiskLedger> ledger) {
  ensure_crypto_provider();
  // One client for the worker's life, so connections are reused across tiles.
  std::optional<HttpMulti> net;
  if (auto built = HttpMulti::build(TILE_TIMEOUT, MAX_TILE_BYTES, std::move(waker))) {
    net.emplace(std::move(*built));
  } else {
    tiles_logger()->warn("maps tile HTTP client failed to build: {}", built.error());
  }
  Worker worker(replies, cache_dir, base_url, tile_px, net, ledger.get());
  for (;;) {
    if (!worker.busy()) {
      auto request = requests.recv();
      if (!request || !worker.take(*request)) {
        return;
      }
    }
    // Everything else that has arrived is answered from disk or queued before the network
    // is waited on, so a tile on disk never waits for a download.
    for (;;) {
      auto next = requests.try_recv();
      if (auto* request = std::get_if<TileRequest>(&next)) {
        if (!worker.take(*request)) {
          return;
        }
        continue;
      }
      if (std::get<base::RecvError>(next) == base::RecvError::Closed) {
        return;
      }
      break;
    }
    if (!worker.start_fetches() || !worker.run_fetches(FETCH_WAIT) || !worker.flush_failures()) {
      return;
    }
  }
}

void tile_worker_thread(base::Receiver<TileRequest> requests, base::Sender<TileReply> replies,
                        fs::path cache_dir, std::string base_url, std::uint32_t tile_px,
                        std::shared_ptr<HttpWaker> waker, std::shared_ptr<DiskLedger> ledger) {
  pthread_setname_np(pthread_self(), "maps-tiles");
  tile_worker(requests, replies, cache_dir, base_url, tile_px, std::move(waker), std::move(ledger));
}

std::optional<TileWorkerEnds> start_tile_worker(fs::path cache_dir, std::string base_url,
                                                std::uint32_t tile_px,
                                                std::shared_ptr<DiskLedger> ledger) {
  auto [request_tx, request_rx] = base::channel<TileRequest>();
  auto [reply_tx, reply_rx] = base::channel<TileReply>();
  auto waker = std::make_shared<HttpWaker>();
  reply_rx.wake_ui_on_send(); // a tile that arrives is drawn at once, without polling
  try {
    std::thread(tile_worker_thread, std::move(request_rx), std::move(reply_tx),
                std::move(cache_dir), std::move(base_url), tile_px, waker, std::move(ledger))
        .detach();
  } catch (std::system_error const&) {
    return std::nullopt;
  }
  return TileWorkerEnds{std::move(request_tx), std::move(reply_rx), std::move(waker)};
}

} // namespace maps
