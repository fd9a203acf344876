#pragma once
// Seeds of the targets that read other processes' messages (session bus, accessibility bus,
// portals) and of the text field's edits, written in the layout their targets read.

#include <filesystem>

namespace maps::fuzz {

void write_ipc_seeds(std::filesystem::path const& root);

} // namespace maps::fuzz
