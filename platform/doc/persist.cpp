#include "platform/doc/persist.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "platform/render/atomic_file.h"

namespace zarn_ui::persist {

namespace fs = std::filesystem;
using detail::ReadOutcome;

namespace {

std::int64_t system_unix_time() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

constexpr std::string_view TOO_LARGE = "the document has grown to";

std::string os_error(int err) {
  return std::error_code(err, std::generic_category()).message();
}

fs::path lock_file(fs::path const& file) {
  return file.parent_path() / (file.filename().string() + ".lock");
}

std::string problem_text(std::string_view reason, fs::path const& kept) {
  return fmt::format("Could not open your saved places: {} \xE2\x80\x94 a fresh start was made; "
                     "the old file is kept as {}",
                     reason, kept.string());
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
  auto const now = [&] { return options.unix_time ? options.unix_time() : system_unix_time(); };
  Persistence p(doc::Document(options.actor));
  p.write_file_ =
      options.write ? std::move(options.write) : zarn_ui::atomic_file::write_creating_parent;
  p.unix_time_ = options.unix_time;

  // A data folder that is a file: keep it aside, so the folder can be made.
  std::error_code ec;
  if (auto const st = fs::status(options.dir, ec); !ec && fs::exists(st) && !fs::is_directory(st)) {
    if (auto aside = detail::keep_aside(options.dir, "unreadable", now())) {
      spdlog::warn("the data folder {} is not a folder; kept it as {}", options.dir.string(),
                   aside->string());
      p.open_problem_ = problem_text("the data folder is not a folder", *aside);
      p.kept_aside_ = std::move(aside);
    } else {
      p.open_problem_ = problem_text("the data folder is not a folder", options.dir);
      p.not_saving_ = fmt::format("the data folder {} is not a folder", options.dir.string());
      return p;
    }
  }

  std::optional<detail::FileLock> lock;
  if (fs::is_directory(options.dir, ec)) {
    if (auto l = detail::FileLock::acquire(lock_file(file))) {
      lock.emplace(std::move(*l));
      auto const target = detail::resolve_links(file);
      detail::remove_stale_temps(file);
      if (target != file) {
        detail::remove_stale_temps(target);
      }
    }
  }

  auto const target = detail::resolve_links(file);
  doc::Bytes bytes;
  std::string error;
  auto const outcome = detail::read_file(target, bytes, error);
  if (outcome == ReadOutcome::Missing) {
    p.file_ = file;
    return p;
  }
  std::string_view why = "unreadable";
  if (outcome == ReadOutcome::Read) {
    auto loaded = doc::Document::load(bytes);
    if (loaded) {
      if (!options.actor.empty()) {
        auto r = loaded->set_actor(options.actor);
        (void)r; // not empty
      }
      p.doc_ = std::move(*loaded);
      p.file_ = file;
      p.saved_revision_ = p.doc_.revision();
      p.seen_ = detail::stamp_of(target);
      return p;
    }
    error = loaded.error();
    why = "corrupt";
  }
  // The link, when the document is one, is what is moved: its target stays untouched.
  if (auto aside = detail::keep_aside(file, why, now())) {
    spdlog::warn("document file {} cannot be used ({}); kept it as {} and starting with an empty "
                 "document",
                 file.string(), error, aside->string());
    p.open_problem_ = problem_text(error, *aside);
    p.kept_aside_ = std::move(aside);
    p.file_ = file;
    return p;
  }
  // Left where it is, so nothing may be written over it.
  spdlog::warn("document file {} cannot be used ({}) nor kept aside; starting with an empty "
               "document that will not be saved",
               file.string(), error);
  p.open_problem_ = problem_text(error, file);
  p.not_saving_ =
      fmt::format("the saved document {} could not be opened ({})", file.string(), error);
  return p;
}

bool Persistence::has_unsaved() {
  // The revision only grows (commits and merges add to it; a rollback drops only uncommitted
  // ops), so it tells a change apart without copying the heads every frame.
  return doc_.pending_ops() > 0 || doc_.revision() != saved_revision_;
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
    // Retried every delay: a lasting fault (a full disk) is logged when it starts, not once a
    // second; the user is told on every attempt through save_problem.
    if (!save_problem_) {
      spdlog::warn("document not saved, retrying: {}", w.error());
    } else {
      spdlog::debug("document still not saved: {}", w.error());
    }
    save_problem_ = save_problem_text(w.error());
    ++failed_saves_;
    dirty_since_ = now;
    return false;
  }
  return true;
}

std::optional<base::Instant> Persistence::next_save_at(base::Instant now) {
  if (!file_) {
    return std::nullopt;
  }
  if (!dirty_since_) {
    if (!has_unsaved()) {
      return std::nullopt;
    }
    dirty_since_ = now;
  }
  return *dirty_since_ + SAVE_DELAY;
}

base::Result<void> Persistence::save_now() {
  if (!has_unsaved()) {
    return {};
  }
  if (!file_) {
    if (not_saving_) {
      return base::fail("document not saved: " + *not_saving_);
    }
    return {}; // memory-only by request
  }
  auto w = write();
  if (!w) {
    spdlog::warn("document not saved: {}", w.error());
    save_problem_ = save_problem_text(w.error());
    ++failed_saves_;
  }
  return w;
}

base::Result<void> Persistence::merge_from_disk(fs::path const& target) {
  auto const stamp = detail::stamp_of(target);
  if (!stamp || stamp == seen_) {
    return {};
  }
  doc::Bytes bytes;
  std::string error;
  switch (detail::read_file(target, bytes, error)) {
  case ReadOutcome::Missing:
    return {};
  case ReadOutcome::Failed:
    // Writing over a file that cannot be read could destroy another writer's changes.
    return base::fail(fmt::format("cannot read {} before writing it: {}", target.string(), error));
  case ReadOutcome::Read:
    break;
  }
  auto disk = doc::Document::load(bytes);
  auto merged = disk ? doc_.merge(*disk) : base::Result<void>(base::fail(disk.error()));
  if (!merged) {
    auto const now = unix_time_ ? unix_time_() : system_unix_time();
    auto aside = detail::keep_aside(target, "corrupt", now);
    if (!aside) {
      return base::fail(
          fmt::format("{} cannot be merged ({}) nor kept aside", target.string(), merged.error()));
    }
    spdlog::warn("another writer's {} cannot be merged ({}); kept it as {}", target.string(),
                 merged.error(), aside->string());
  }
  return {};
}

base::Result<void> Persistence::write() {
  if (auto const parent = file_->parent_path(); !parent.empty()) {
    std::error_code ec;
    fs::create_directories(parent, ec);
  }
  auto lock = detail::FileLock::acquire(lock_file(*file_));
  if (!lock) {
    return base::fail(lock.error());
  }
  auto const target = detail::resolve_links(*file_);
  if (auto m = merge_from_disk(target); !m) {
    return m;
  }
  // A long history is written compacted; the document in memory follows only once the file
  // holds that snapshot, so that no other writer can meet a snapshot it never saw on disk.
  bool compacting = doc_.compaction_due();
  auto bytes = compacting ? doc_.save_compacted() : doc_.save();
  if (bytes.size() > detail::MAX_FILE_BYTES && !compacting) {
    // Near the limit a snapshot of what the user has may still fit where the history does not.
    bytes = doc_.save_compacted();
    compacting = true;
  }
  if (bytes.size() > detail::MAX_FILE_BYTES) {
    // It would not load again: the previous file stays.
    return base::fail(fmt::format("{} {} MiB, past the limit of {} MiB", TOO_LARGE,
                                  bytes.size() >> 20, detail::MAX_FILE_BYTES >> 20));
  }
  if (auto w = write_file_(target, bytes); !w) {
    return w;
  }
  if (compacting) {
    doc_.compact();
  }
  seen_ = detail::stamp_of(target);
  saved_revision_ = doc_.revision();
  dirty_since_.reset();
  if (save_problem_) {
    spdlog::info("document saved again after earlier failures");
    save_problem_.reset();
  }
  return {};
}

std::string save_problem_text(std::string_view error) {
  // Write errors end in the system's text for their errno (atomic_file, the lock, the read
  // before writing), in this process's language.
  auto const says = [&](int err) { return error.find(os_error(err)) != std::string_view::npos; };
  std::string_view cause = "the file can't be written";
  if (error.starts_with(TOO_LARGE)) {
    cause = "your saved data has grown too large";
  } else if (says(ENOSPC) || says(EDQUOT)) {
    cause = "the disk is full";
  } else if (says(EROFS)) {
    cause = "the folder is read-only";
  } else if (says(EACCES) || says(EPERM)) {
    cause = "you don't have permission to write to the folder";
  } else if (error.starts_with("cannot read")) {
    cause = "the saved file can't be read";
  }
  return fmt::format("Your changes can't be saved: {}", cause);
}

Persistence open(std::string_view app_id) {
  auto dir = data_dir(app_id);
  if (!dir) {
    spdlog::warn("no data folder for {}; the document will not be saved", app_id);
    auto p = Persistence::memory_only();
    p.not_saving_ = fmt::format("no data folder for {}", app_id);
    return p;
  }
  return Persistence::open_at(Options{*dir, {}, {}, {}});
}

} // namespace zarn_ui::persist
