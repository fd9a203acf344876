#pragma once
// Atomic file replacement: the new content is written to a temporary file beside the target,
// flushed to disk and renamed over the target, so readers see the old file or the new one,
// never a partial one.

#include <cstdint>
#include <filesystem>
#include <span>

#include "base/result.h"

namespace zarn_ui::atomic_file {

/// Replaces `path` with `bytes` as a whole, creating missing parent directories first. On
/// failure the previous file (if any) is untouched and no temporary file remains; the error
/// text names the path and the system's reason.
base::Result<void> write_creating_parent(std::filesystem::path const& path,
                                         std::span<std::uint8_t const> bytes);

} // namespace zarn_ui::atomic_file
