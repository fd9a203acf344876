#pragma once
// File-level helpers of the persisted document: reading it with a size limit, following a
// symlinked document to the file that holds it, an advisory lock beside it that serialises
// writers, removal of temporary files that interrupted saves left, and keeping a file aside
// under a new name. Not offered: the document's format (document.h) or when to save (persist.h).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "platform/doc/document.h"

namespace zarn_ui::persist::detail {

/// Far beyond any compacted map document; a larger file is neither read nor written, so a
/// stray huge file cannot exhaust memory and no file is written that would not load again.
inline constexpr std::uintmax_t MAX_FILE_BYTES = std::uintmax_t{64} << 20;

enum class ReadOutcome { Missing, Read, Failed };

/// Reads a regular file of at most MAX_FILE_BYTES; `error` says why when Failed.
ReadOutcome read_file(std::filesystem::path const& path, doc::Bytes& out, std::string& error);

/// The file a path names after following symlinks (a dangling link names its future target).
std::filesystem::path resolve_links(std::filesystem::path const& path);

/// Identifies one version of a file on disk, to notice that someone else replaced it.
struct FileStamp {
  std::uint64_t dev = 0, ino = 0, size = 0;
  std::int64_t mtime_ns = 0;
  bool operator==(FileStamp const&) const = default;
};
std::optional<FileStamp> stamp_of(std::filesystem::path const& path);

/// An exclusive `flock` on a lock file, held until destruction. Writers of one document hold
/// it from reading what is on disk until their new file is in place.
class FileLock {
public:
  static base::Result<FileLock> acquire(std::filesystem::path const& lock_file);
  FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileLock& operator=(FileLock&&) = delete;
  FileLock(FileLock const&) = delete;
  ~FileLock();

private:
  explicit FileLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

/// Removes temporary files named as atomic_file names them for `file` (".<name>.tmp-<pid>-<n>")
/// in its folder whose process is gone or is this one. Call with the lock held: then no
/// writer of ours is between creating and renaming one. Answers how many it removed.
std::size_t remove_stale_temps(std::filesystem::path const& file);

/// Renames `path` to "<name>.<why>-<time>" (with "-2", "-3"... when taken) in its folder.
std::optional<std::filesystem::path> keep_aside(std::filesystem::path const& path,
                                                std::string_view why, std::int64_t now);

} // namespace zarn_ui::persist::detail
