#include "platform/doc/persist.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "platform/render/atomic_file.h"

namespace zarn_ui::persist {

namespace fs = std::filesystem;

namespace {

// Far beyond any map document (1,000 places take about 220 kB); a larger file is not read, so
// a stray huge file cannot exhaust memory. It is left in place, not kept aside.
constexpr std::uintmax_t MAX_FILE_BYTES = std::uintmax_t{64} << 20;

enum class ReadOutcome { Missing, Read, Failed };

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
    error = "file too large";
    return ReadOutcome::Failed;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open";
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

std::int64_t system_unix_time() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// "document.bin.corrupt-<time>", with "-2", "-3"... when an earlier one has that name.
std::optional<fs::path> keep_aside(fs::path const& file, std::int64_t now) {
  auto const base_name = fmt::format("{}.corrupt-{}", file.filename().string(), now);
  for (int n = 1; n < 100; ++n) {
    auto const name = n == 1 ? base_name : fmt::format("{}-{}", base_name, n);
    auto const target = file.parent_path() / name;
    std::error_code ec;
    if (fs::exists(target, ec) || ec) {
      continue;
    }
    fs::rename(file, target, ec);
    if (ec) {
      spdlog::warn("could not move the document file {} aside: {}", file.string(), ec.message());
      return std::nullopt;
    }
    return target;
  }
  return std::nullopt;
}

} // namespace

std::optional<fs::path> data_dir(std::string_view app_id) {
  if (app_id.empty() || app_id == "." || app_id == ".." ||
      app_id.find('/') != std::string_view::npos || app_id.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  if (char const* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
    return fs::path(xdg) / std::string(app_id);
  }
  if (char const* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    return fs::path(home) / ".local" / "share" / std::string(app_id);
  }
  return std::nullopt;
}

Persistence Persistence::memory_only(doc::Bytes actor) {
  return Persistence(doc::Document(std::move(actor)));
}

Persistence Persistence::open_at(Options options) {
  auto const file = options.dir / std::string(DOCUMENT_FILE);
  auto writer =
      options.write ? std::move(options.write) : zarn_ui::atomic_file::write_creating_parent;
  doc::Bytes bytes;
  std::string error;
  switch (read_file(file, bytes, error)) {
  case ReadOutcome::Missing: {
    Persistence p(doc::Document(options.actor));
    p.file_ = file;
    p.write_file_ = std::move(writer);
    return p;
  }
  case ReadOutcome::Failed:
    // Not known to be corrupt, only unreadable now: leave it be and write nothing over it.
    spdlog::warn("document file {} cannot be read ({}); changes will not be saved", file.string(),
                 error);
    return memory_only(options.actor);
  case ReadOutcome::Read:
    break;
  }
  auto loaded = doc::Document::load(bytes);
  if (loaded) {
    if (!options.actor.empty()) {
      auto r = loaded->set_actor(options.actor);
      (void)r; // not empty
    }
    Persistence p(std::move(*loaded));
    p.file_ = file;
    p.write_file_ = std::move(writer);
    p.saved_changes_ = p.doc_.changes().size();
    return p;
  }
  auto const now = options.unix_time ? options.unix_time() : system_unix_time();
  auto aside = keep_aside(file, now);
  if (!aside) {
    spdlog::warn("document file {} does not load ({}) and could not be kept aside; starting "
                 "with an empty document that will not be saved",
                 file.string(), loaded.error());
    return memory_only(options.actor);
  }
  spdlog::warn("document file {} does not load ({}); kept it as {} and starting with an empty "
               "document",
               file.string(), loaded.error(), aside->string());
  Persistence p(doc::Document(options.actor));
  p.file_ = file;
  p.write_file_ = std::move(writer);
  p.kept_aside_ = std::move(aside);
  return p;
}

bool Persistence::has_unsaved() {
  // The change log only grows (commits and merges append; a rollback drops only uncommitted
  // ops), so its length tells a change apart without copying the heads every frame.
  return doc_.changes().size() != saved_changes_;
}

void Persistence::note_changed(base::Instant now) {
  if (!dirty_since_) {
    dirty_since_ = now;
  }
}

bool Persistence::maybe_save(base::Instant now) {
  if (!file_) {
    return false;
  }
  if (!dirty_since_ && has_unsaved()) {
    dirty_since_ = now;
  }
  if (!dirty_since_ || now - *dirty_since_ < SAVE_DELAY) {
    return false;
  }
  if (!has_unsaved()) {
    dirty_since_.reset();
    return false;
  }
  if (auto w = write(); !w) {
    // Retried every delay: a lasting fault (a full disk) is reported when it starts, not once
    // a second.
    if (!failing_) {
      spdlog::warn("document not saved, retrying: {}", w.error());
      failing_ = true;
    } else {
      spdlog::debug("document still not saved: {}", w.error());
    }
    dirty_since_ = now;
    return false;
  }
  if (failing_) {
    spdlog::info("document saved again after earlier failures");
    failing_ = false;
  }
  return true;
}

base::Result<void> Persistence::save_now() {
  if (!file_ || !has_unsaved()) {
    return {};
  }
  auto w = write();
  if (!w) {
    spdlog::warn("document not saved: {}", w.error());
  }
  return w;
}

base::Result<void> Persistence::write() {
  auto const bytes = doc_.save();
  if (auto w = write_file_(*file_, bytes); !w) {
    return w;
  }
  saved_changes_ = doc_.changes().size();
  dirty_since_.reset();
  return {};
}

Persistence open(std::string_view app_id) {
  auto dir = data_dir(app_id);
  if (!dir) {
    spdlog::warn("no data folder for {}; the document will not be saved", app_id);
    return Persistence::memory_only();
  }
  return Persistence::open_at(Options{*dir, {}, {}, {}});
}

} // namespace zarn_ui::persist
