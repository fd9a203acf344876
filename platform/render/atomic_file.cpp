#include "platform/render/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

namespace zarn_ui::atomic_file {

namespace {

std::string os_error(int err) {
  char buf[256];
  // The GNU form (C++ on glibc defines _GNU_SOURCE): returns the text, maybe not in buf.
  char const* text = strerror_r(err, buf, sizeof buf);
  return text != nullptr ? std::string(text) : fmt::format("error {}", err);
}

base::Result<void> failure(std::string_view what, std::filesystem::path const& p, int err) {
  return base::fail(fmt::format("{} {}: {}", what, p.string(), os_error(err)));
}

class TempFile {
public:
  explicit TempFile(std::filesystem::path p) : path_(std::move(p)) {}
  ~TempFile() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    if (!committed_) {
      ::unlink(path_.c_str());
    }
  }
  TempFile(TempFile const&) = delete;
  TempFile& operator=(TempFile const&) = delete;

  std::filesystem::path const& path() const { return path_; }
  int& fd() { return fd_; }
  void commit() { committed_ = true; }

private:
  std::filesystem::path path_;
  int fd_ = -1;
  bool committed_ = false;
};

std::filesystem::path temp_name(std::filesystem::path const& target) {
  static std::atomic<std::uint64_t> counter{0};
  // Short enough for NAME_MAX whatever the target's name length.
  std::string stem = target.filename().string().substr(0, 200);
  std::string name = fmt::format(".{}.tmp-{}-{}", stem, ::getpid(), counter.fetch_add(1));
  return target.parent_path() / name;
}

} // namespace

base::Result<void> write_creating_parent(std::filesystem::path const& path,
                                         std::span<std::uint8_t const> bytes) {
  if (path.empty() || !path.has_filename()) {
    return base::fail(fmt::format("write {}: not a file path", path.string()));
  }
  std::filesystem::path const parent = path.parent_path();
  if (!parent.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (ec) {
      return base::fail(fmt::format("create directory {}: {}", parent.string(), ec.message()));
    }
  }

  // O_EXCL with a name unique to this process and call; retry if a stale file holds it.
  std::unique_ptr<TempFile> temp;
  for (int attempt = 0; attempt < 16; ++attempt) {
    auto candidate = std::make_unique<TempFile>(temp_name(path));
    int const fd = ::open(candidate->path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      candidate->fd() = fd;
      temp = std::move(candidate);
      break;
    }
    int const err = errno;
    candidate->commit(); // not ours: do not unlink
    if (err != EEXIST) {
      return failure("create temporary file for", path, err);
    }
  }
  if (!temp) {
    return failure("create temporary file for", path, EEXIST);
  }

  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t const n = ::write(temp->fd(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return failure("write", temp->path(), errno);
    }
    done += static_cast<std::size_t>(n);
  }
  // A replaced file keeps its permissions: a file the user made private stays private.
  if (struct stat old{}; ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    if (::fchmod(temp->fd(), old.st_mode & 07777) != 0) {
      return failure("set permissions of", temp->path(), errno);
    }
  }
  if (::fsync(temp->fd()) != 0) {
    return failure("sync", temp->path(), errno);
  }
  int const fd = temp->fd();
  temp->fd() = -1;
  if (::close(fd) != 0) {
    return failure("close", temp->path(), errno);
  }
  if (::rename(temp->path().c_str(), path.c_str()) != 0) {
    return failure("replace", path, errno);
  }
  temp->commit();

  // Make the rename itself durable. The new file is in place already, so a failure to sync
  // the folder is reported but the content is not rolled back.
  std::filesystem::path const dir = parent.empty() ? std::filesystem::path(".") : parent;
  int const dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) {
    return failure("open directory", dir, errno);
  }
  int const rc = ::fsync(dfd);
  int const err = errno;
  ::close(dfd);
  // Some file systems cannot sync a directory (EINVAL); the rename is as durable as they allow.
  if (rc != 0 && err != EINVAL) {
    return failure("sync directory", dir, err);
  }
  return {};
}

} // namespace zarn_ui::atomic_file
