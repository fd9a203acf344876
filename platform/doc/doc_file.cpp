#include "platform/doc/doc_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

namespace zarn_ui::persist::detail {

namespace fs = std::filesystem;

ReadOutcome read_file(fs::path const& path, doc::Bytes& out, std::string& error) {
  std::error_code ec;
  auto const status = fs::status(path, ec);
  if (ec && ec != std::errc::no_such_file_or_directory) {
    error = ec.message();
    return ReadOutcome::Failed;
  }
  if (!fs::exists(status)) {
    return ReadOutcome::Missing;
  }
  if (!fs::is_regular_file(status)) {
    error = "not a regular file";
    return ReadOutcome::Failed;
  }
  auto const size = fs::file_size(path, ec);
  if (ec) {
    error = ec.message();
    return ReadOutcome::Failed;
  }
  if (size > MAX_FILE_BYTES) {
    error = fmt::format("the file is too large ({} MiB)", size >> 20);
    return ReadOutcome::Failed;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = std::strerror(errno);
    return ReadOutcome::Failed;
  }
  out.resize(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  if (in.gcount() != static_cast<std::streamsize>(out.size())) {
    error = "short read";
    return ReadOutcome::Failed;
  }
  return ReadOutcome::Read;
}

fs::path resolve_links(fs::path const& path) {
  fs::path p = path;
  for (int hops = 0; hops < 40; ++hops) { // the kernel's own limit on a chain of links
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec)) || ec) {
      break;
    }
    auto const target = fs::read_symlink(p, ec);
    if (ec) {
      break;
    }
    p = (target.is_absolute() ? target : p.parent_path() / target).lexically_normal();
  }
  return p;
}

std::optional<FileStamp> stamp_of(fs::path const& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    return std::nullopt;
  }
  return FileStamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                   static_cast<std::uint64_t>(st.st_size),
                   std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec};
}

base::Result<FileLock> FileLock::acquire(fs::path const& lock_file) {
  int const fd = ::open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    return base::fail(fmt::format("lock {}: {}", lock_file.string(), std::strerror(errno)));
  }
  // Blocking: another writer holds it only while it reads, merges and writes one file.
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      int const err = errno;
      ::close(fd);
      return base::fail(fmt::format("lock {}: {}", lock_file.string(), std::strerror(err)));
    }
  }
  return FileLock(fd);
}

FileLock::~FileLock() {
  if (fd_ >= 0) {
    ::close(fd_); // releases the lock
  }
}

namespace {

// The pid in ".<name>.tmp-<pid>-<n>", or none when the name is not of that form.
std::optional<long> temp_owner(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) {
    return std::nullopt;
  }
  name.remove_prefix(prefix.size());
  long pid = 0;
  auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (ec != std::errc{} || pid <= 0 || end == name.data() + name.size() || *end != '-') {
    return std::nullopt;
  }
  std::string_view const counter(end + 1, name.data() + name.size() - (end + 1));
  if (counter.empty() || counter.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return pid;
}

bool process_alive(long pid) {
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

} // namespace

std::size_t remove_stale_temps(fs::path const& file) {
  auto const prefix = fmt::format(".{}.tmp-", file.filename().string().substr(0, 200));
  auto const dir = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  std::size_t removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    auto const name = it->path().filename().string();
    auto const pid = temp_owner(name, prefix);
    // Another live process may be an older writer that takes no lock: its file stays.
    if (!pid || (*pid != ::getpid() && process_alive(*pid))) {
      continue;
    }
    std::error_code rm;
    if (fs::remove(it->path(), rm)) {
      ++removed;
    }
  }
  if (removed > 0) {
    spdlog::info("removed {} temporary files of interrupted saves in {}", removed, dir.string());
  }
  return removed;
}

std::optional<fs::path> keep_aside(fs::path const& path, std::string_view why, std::int64_t now) {
  auto const base_name = fmt::format("{}.{}-{}", path.filename().string(), why, now);
  for (int n = 1; n < 100; ++n) {
    auto const name = n == 1 ? base_name : fmt::format("{}-{}", base_name, n);
    auto const target = path.parent_path() / name;
    std::error_code ec;
    if (fs::symlink_status(target, ec).type() != fs::file_type::not_found) {
      continue;
    }
    fs::rename(path, target, ec);
    if (ec) {
      spdlog::warn("could not move {} aside: {}", path.string(), ec.message());
      return std::nullopt;
    }
    return target;
  }
  return std::nullopt;
}

} // namespace zarn_ui::persist::detail
