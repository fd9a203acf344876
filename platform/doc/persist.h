#pragma once
// Keeping an application's document in a file: found under $XDG_DATA_HOME/<application id>/
// (or ~/.local/share/<application id>/), loaded at start, written atomically after changes
// (at most about once a second, within a second of a change) and at exit. Every write takes a lock
// beside the file and first merges what another process saved there, so concurrent writers lose
// nothing; a symlinked file is replaced at its target. A file that cannot be read or loaded is kept
// aside (or left where it is, and then nothing is written) and the application starts empty with
// `open_problem` to show; a failed write keeps the previous file, is retried after every delay and
// is told in `save_problem` until a write succeeds. The next write's time is a deadline the
// caller's loop sleeps towards. A memory-only variant serves starts that must never touch the
// user's document.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "base/result.h"
#include "platform/doc/doc_file.h"
#include "platform/doc/document.h"

namespace zarn_ui::persist {

inline constexpr std::string_view DOCUMENT_FILE = "document.bin";
/// How long changes wait before they are written; later changes join the same write. Short
/// enough that a change, written and synced, is on disk within a second.
inline constexpr std::chrono::milliseconds SAVE_DELAY{800};

struct Options {
  std::filesystem::path dir; // the folder of the document file
  /// Seconds since the epoch, for the name of a file kept aside; the system clock when empty.
  std::function<std::int64_t()> unix_time;
  doc::Bytes actor; // empty: a random actor
  /// Writes the file; atomic_file::write_creating_parent when empty (tests make it fail).
  std::function<base::Result<void>(std::filesystem::path const&, std::span<std::uint8_t const>)>
      write;
};

class Persistence {
public:
  /// A document that is never written anywhere.
  static Persistence memory_only(doc::Bytes actor = {});
  /// Loads `options.dir`/document.bin when it exists.
  static Persistence open_at(Options options);

  doc::Document& document() { return doc_; }
  bool is_persistent() const { return file_.has_value(); }
  std::optional<std::filesystem::path> const& file() const { return file_; }
  /// Where a file that did not load was moved to.
  std::optional<std::filesystem::path> const& kept_aside() const { return kept_aside_; }
  /// For the status line when the saved document could not be used and a fresh one was made.
  std::optional<std::string> const& open_problem() const { return open_problem_; }

  /// Marks the document changed at `now`; `maybe_save` also notices changes by itself.
  void note_changed(base::Instant now);
  /// Writes when the document changed and SAVE_DELAY has passed since the first unsaved
  /// change; true when it wrote. A failed write is logged and retried after another delay.
  bool maybe_save(base::Instant now);
  /// When `maybe_save` has to run next: SAVE_DELAY after the first unsaved change (noticed at
  /// `now` when it was not noted), or after the last failed write; none when nothing is
  /// unsaved or the document has no file.
  std::optional<base::Instant> next_save_at(base::Instant now);
  /// While writes fail: why, in the user's words ("Your changes can't be saved: the disk is
  /// full"); none once a write succeeded.
  std::optional<std::string> const& save_problem() const { return save_problem_; }
  /// Failed writes so far; each one is a moment to tell the user again.
  std::uint64_t failed_saves() const { return failed_saves_; }
  /// Writes now when anything is unsaved (at exit). An error when something unsaved could not
  /// be written, also when the file was given up at open; success for `memory_only`.
  base::Result<void> save_now();

private:
  friend Persistence open(std::string_view app_id);
  explicit Persistence(doc::Document doc) : doc_(std::move(doc)) {}
  bool has_unsaved();
  base::Result<void> write();
  base::Result<void> merge_from_disk(std::filesystem::path const& target);

  doc::Document doc_;
  std::optional<std::filesystem::path> file_;
  std::optional<std::filesystem::path> kept_aside_;
  std::optional<std::string> open_problem_;
  std::optional<std::string> not_saving_; // why a document without a file is not written
  std::function<std::int64_t()> unix_time_;
  std::optional<detail::FileStamp> seen_; // the file on disk as last read or written
  decltype(Options::write) write_file_;
  std::uint64_t saved_revision_ = 0; // the document's revision when last written or loaded
  std::optional<base::Instant> dirty_since_;
  std::optional<std::string> save_problem_; // set while writes fail
  std::uint64_t failed_saves_ = 0;
};

/// The user's words for a failed write's error text: "Your changes can't be saved: " and the
/// cause (a full disk, a read-only or forbidden folder, a document past the size limit).
std::string save_problem_text(std::string_view error);

/// $XDG_DATA_HOME/<app_id> when XDG_DATA_HOME is an absolute path, else $HOME/.local/share/
/// <app_id>; none when neither is usable or `app_id` is not a plain file name.
std::optional<std::filesystem::path> data_dir(std::string_view app_id);

/// The persisted document of an application; memory-only (with a warning) when no data
/// folder can be found.
Persistence open(std::string_view app_id);

} // namespace zarn_ui::persist
