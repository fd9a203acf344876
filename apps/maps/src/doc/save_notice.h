#pragma once
// What the status line says about saving the document: a failing save is told in the user's
// words at every failed attempt (another status may have replaced it in between) and taken
// away once a save succeeds. Not offered: saving itself (platform/doc/persist.h).

#include <cstdint>
#include <optional>
#include <string>

#include "platform/doc/persist.h"

namespace maps {

struct SaveNotice {
  std::uint64_t failures_told = 0;
  std::optional<std::string> told; // the text put on the status line, while it stands
};

/// Updates `status` from the persistence's save state; call once per frame.
void tell_save_state(SaveNotice& notice, std::string& status,
                     zarn_ui::persist::Persistence const& persistence);

} // namespace maps
