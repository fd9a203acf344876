#pragma once
// The tile cache on disk: its root under the user cache directory, one PNG file per tile at
// "{style}/{z}/{x}/{y}.png", tile URLs, crash-safe writes and the recursive size measurement.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tiles/tile_types.h"

namespace maps {

/// The cache root: $XDG_CACHE_HOME/zarn-maps/tiles, else $HOME/.cache/zarn-maps/tiles, else the
/// temporary directory's zarn-maps/tiles. Empty or non-UTF-8 variables count as unset.
std::filesystem::path tile_cache_dir();

/// "{base_url}/{z}/{x}/{y}.png".
std::string tile_url(std::string_view base_url, TileKey key);

/// "{z}/{x}/{y}.png", relative to a style directory.
std::string tile_cache_path(TileKey key);

/// Stores `bytes` at `path` (parent folders created). The bytes go to a temporary file in the
/// same folder that is synced and renamed into place, so a crash never leaves a torn tile.
/// Best effort: false when anything failed, and then nothing is left behind.
bool write_cache_file(std::filesystem::path const& path, std::span<std::uint8_t const> bytes);

/// The whole file, or nothing when it cannot be read or is larger than `max_bytes`.
std::optional<std::vector<std::uint8_t>> read_cache_file(std::filesystem::path const& path,
                                                         std::size_t max_bytes);

/// Bytes of every file below `dir`, symbolic links not followed; 0 when it cannot be listed.
std::uint64_t cache_disk_usage(std::filesystem::path const& dir);

namespace detail {
/// tile_cache_dir with the environment lookup replaced.
std::filesystem::path tile_cache_dir_from(std::function<char const*(char const*)> const& getenv);
} // namespace detail

} // namespace maps
