#include "tiles/disk_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include <fmt/format.h>

#include "base/utf8.h"

namespace maps {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> usable_env(std::function<char const*(char const*)> const& getenv,
                                      char const* name) {
  char const* value = getenv(name);
  if (value == nullptr || *value == '\0' || !base::utf8::is_valid(value)) {
    return std::nullopt;
  }
  return std::string(value);
}

bool write_all(int fd, std::span<std::uint8_t const> bytes) {
  while (!bytes.empty()) {
    ssize_t const n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return true;
}

} // namespace

namespace detail {

fs::path tile_cache_dir_from(std::function<char const*(char const*)> const& getenv) {
  if (auto xdg = usable_env(getenv, "XDG_CACHE_HOME")) {
    return fs::path(*xdg) / "zarn-maps" / "tiles";
  }
  if (auto home = usable_env(getenv, "HOME")) {
    return fs::path(*home) / ".cache" / "zarn-maps" / "tiles";
  }
  std::error_code ec;
  fs::path tmp = fs::temp_directory_path(ec);
  if (ec) {
    tmp = "/tmp";
  }
  return tmp / "zarn-maps" / "tiles";
}

} // namespace detail

fs::path tile_cache_dir() {
  return detail::tile_cache_dir_from([](char const* name) { return std::getenv(name); });
}

std::string tile_url(std::string_view base_url, TileKey key) {
  return fmt::format("{}/{}/{}/{}.png", base_url, key.z, key.x, key.y);
}

std::string tile_cache_path(TileKey key) {
  return fmt::format("{}/{}/{}.png", key.z, key.x, key.y);
}

bool write_cache_file(fs::path const& path, std::span<std::uint8_t const> bytes) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  // A name no tile file can have: a leftover after a crash never counts as a cached tile.
  static std::atomic<std::uint64_t> counter{0};
  fs::path const tmp = path.parent_path() / fmt::format(".{}.{}.{}.tmp", path.filename().string(),
                                                        ::getpid(), counter.fetch_add(1));
  int const fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    return false;
  }
  bool ok = write_all(fd, bytes) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) {
    fs::rename(tmp, path, ec);
    ok = !ec;
  }
  if (!ok) {
    fs::remove(tmp, ec);
  }
  return ok;
}

std::optional<std::vector<std::uint8_t>> read_cache_file(fs::path const& path,
                                                         std::size_t max_bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  std::size_t constexpr CHUNK = 64 * 1024;
  while (in) {
    std::size_t const used = bytes.size();
    if (used > max_bytes) {
      return std::nullopt;
    }
    bytes.resize(used + CHUNK);
    in.read(reinterpret_cast<char*>(bytes.data() + used), static_cast<std::streamsize>(CHUNK));
    bytes.resize(used + static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad() || bytes.size() > max_bytes) {
    return std::nullopt;
  }
  return bytes;
}

std::uint64_t cache_disk_usage(fs::path const& dir) {
  std::error_code ec;
  // The iterator does not follow directory links; lstat gives every other entry's own length.
  fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
  if (ec) {
    return 0;
  }
  std::uint64_t total = 0;
  for (fs::recursive_directory_iterator const end; it != end;) {
    struct ::stat st {};
    if (::lstat(it->path().c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
      total += static_cast<std::uint64_t>(st.st_size);
    }
    it.increment(ec);
    if (ec) {
      break; // the rest of the tree cannot be listed
    }
  }
  return total;
}

} // namespace maps
