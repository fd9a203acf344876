#include "tiles/tile_worker.h"

#include <pthread.h>

#include <span>
#include <system_error>
#include <thread>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "net/http.h"
#include "net/service_pause.h"
#include "tiles/disk_cache.h"
#include "tiles/png_decode.h"

namespace maps {

namespace fs = std::filesystem;

namespace {

std::span<std::uint8_t const> as_bytes(std::string const& body) {
  return {reinterpret_cast<std::uint8_t const*>(body.data()), body.size()};
}

/// What one tile download brought: the PNG bytes, or nothing for any failure (transport,
/// status outside 200 to 299); and the server's pause when it asked for one or is in one.
struct Fetched {
  std::optional<std::string> body;
  std::optional<ServicePause> pause;
};

Fetched download(HttpClient& client, std::string const& base_url, TileKey key) {
  std::string const url = tile_url(base_url, key);
  // A server that asked for a pause is not asked again before its end.
  if (auto const pause = service_paused(url)) {
    return {std::nullopt, pause};
  }
  auto response = client.get(url);
  if (response && asks_for_pause(response->status) && response->retry_after.count() > 0) {
    tiles_logger()->warn("maps tile server {} asked for a pause of {} s", url_origin(url),
                         response->retry_after.count());
    return {std::nullopt, pause_service(url, response->retry_after)};
  }
  if (!response || response->status < 200 || response->status > 299) {
    return {};
  }
  return {std::move(response->body), std::nullopt};
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

TileReply load(std::optional<HttpClient>& client, fs::path const& file,
               std::string const& base_url, TileKey key, std::uint32_t tile_px) {
  if (auto cached = read_cache_file(file, MAX_TILE_BYTES)) {
    if (auto decoded = decode_tile_png(*cached, tile_px)) {
      return TileReply::loaded(key, *decoded);
    }
  }
  if (!client) {
    return TileReply::loaded(key, std::nullopt);
  }
  Fetched fetched = download(*client, base_url, key);
  std::optional<DecodedTile> decoded;
  if (fetched.body) {
    decoded = accept(*fetched.body, key, tile_px);
  }
  if (decoded) {
    // An unwritable cache still answers the tile.
    (void)write_cache_file(file, as_bytes(*fetched.body));
  }
  TileReply reply = TileReply::loaded(key, decoded);
  reply.server_pause = fetched.pause;
  return reply;
}

TileReply prefetch(std::optional<HttpClient>& client, fs::path const& file,
                   std::string const& base_url, TileKey key, std::uint32_t tile_px) {
  // Files only ever appear whole (written aside and renamed), so presence means downloaded.
  std::error_code ec;
  if (fs::exists(fs::status(file, ec))) {
    return TileReply::prefetched(key, true);
  }
  if (!client) {
    return TileReply::prefetched(key, false);
  }
  Fetched fetched = download(*client, base_url, key);
  bool const ok = fetched.body && accept(*fetched.body, key, tile_px);
  if (ok) {
    (void)write_cache_file(file, as_bytes(*fetched.body));
  }
  TileReply reply = TileReply::prefetched(key, ok);
  reply.server_pause = fetched.pause;
  return reply;
}

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
                 fs::path const& cache_dir, std::string const& base_url, std::uint32_t tile_px) {
  ensure_crypto_provider();
  // One client for the worker's life, so connections are reused across tiles.
  std::optional<HttpClient> client;
  if (auto built = HttpClient::build(TILE_TIMEOUT, MAX_TILE_BYTES)) {
    client = std::move(*built);
  } else {
    tiles_logger()->warn("maps tile HTTP client failed to build: {}", built.error());
  }
  while (auto request = requests.recv()) {
    fs::path const file = cache_dir / tile_cache_path(request->key);
    TileKey const key = request->key;
    TileReply reply = request->kind == TileRequest::Kind::Load
                          ? load(client, file, base_url, key, tile_px)
                          : prefetch(client, file, base_url, key, tile_px);
    if (!replies.send(std::move(reply))) {
      return;
    }
  }
}

void tile_worker_thread(base::Receiver<TileRequest> requests, base::Sender<TileReply> replies,
                        fs::path cache_dir, std::string base_url, std::uint32_t tile_px) {
  pthread_setname_np(pthread_self(), "maps-tiles");
  tile_worker(requests, replies, cache_dir, base_url, tile_px);
}

std::optional<TileWorkerEnds> start_tile_worker(fs::path cache_dir, std::string base_url,
                                                std::uint32_t tile_px) {
  auto [request_tx, request_rx] = base::channel<TileRequest>();
  auto [reply_tx, reply_rx] = base::channel<TileReply>();
  reply_rx.wake_ui_on_send();  // a tile that arrives is drawn at once, without polling
  try {
    std::thread(tile_worker_thread, std::move(request_rx), std::move(reply_tx),
                std::move(cache_dir), std::move(base_url), tile_px)
        .detach();
  } catch (std::system_error const&) {
    return std::nullopt;
  }
  return TileWorkerEnds{std::move(request_tx), std::move(reply_rx)};
}

} // namespace maps
