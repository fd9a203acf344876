#pragma once
// The values that pass between the tile cache on the UI thread and the tile worker thread:
// tile keys, requests, replies and decoded pixels.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "net/service_pause.h"
#include "platform/scene/image.h"

namespace maps {

/// One 256-pixel Web Mercator tile. Precondition of a valid key: z <= 30, x and y < 2^z.
struct TileKey {
  std::uint32_t x = 0; // column, 0 at longitude -180
  std::uint32_t y = 0; // row, 0 at the north
  std::uint8_t z = 0;  // zoom
  bool operator==(TileKey const&) const = default;
};

struct TileKeyHash {
  std::size_t operator()(TileKey const& key) const noexcept {
    std::uint64_t const packed = (static_cast<std::uint64_t>(key.x) << 32) ^
                                 (static_cast<std::uint64_t>(key.y) << 5) ^ key.z;
    return std::hash<std::uint64_t>{}(packed * 0x9E3779B97F4A7C15ull);
  }
};

/// Decoded pixels: straight-alpha RGBA8, row-major, width * height * 4 bytes.
struct DecodedTile {
  std::vector<std::uint8_t> rgba;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

/// UI to worker.
struct TileRequest {
  enum class Kind : std::uint8_t {
    Load,     // decoded pixels of a view tile are wanted
    Prefetch, // the tile only has to be on disk
  };
  Kind kind = Kind::Load;
  TileKey key;
};

/// Worker to UI: one reply per request.
struct TileReply {
  enum class Kind : std::uint8_t {
    Loaded,     // answers a load: `image`, absent on any failure
    Prefetched, // answers a prefetch: `ok`
  };
  Kind kind = Kind::Loaded;
  // Prefetch replies carry their key too, so the cache knows which tiles of an offline
  // download are still unanswered.
  TileKey key;
  // Ready to paint: the worker converts the pixels, so the UI thread never does.
  zarn_ui::SharedImage image;
  bool ok = false;
  // Set when the tile server asked for a pause (now or earlier): the tile is not asked for
  // again before its end.
  std::optional<ServicePause> server_pause;

  /// A load answer; no image when `decoded` is absent or its size does not match its pixels.
  static TileReply loaded(TileKey key, std::optional<DecodedTile> const& decoded) {
    zarn_ui::SharedImage image;
    if (decoded) {
      image = zarn_ui::image_from_rgba(decoded->rgba, decoded->width, decoded->height);
    }
    return TileReply{Kind::Loaded, key, std::move(image), false, std::nullopt};
  }
  static TileReply prefetched(TileKey key, bool ok) {
    return TileReply{Kind::Prefetched, key, nullptr, ok, std::nullopt};
  }
};

} // namespace maps
