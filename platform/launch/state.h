#pragma once
// The platform state a frame works on: the application's document with its persistence (a
// file under the user's data folder, or memory only), and the action registry through which
// actions invoked from outside are decoded and applied.

#include <cstdint>
#include <memory>
#include <optional>

#include "base/clock.h"
#include "platform/actions/executor.h"
#include "platform/actions/registry.h"
#include "platform/doc/persist.h"

namespace zarn_ui {

class State {
public:
  explicit State(persist::Persistence persistence, base::Clock const& clock = base::system_clock());
  /// A fresh state on a memory-only document (screenshots, starts from launch arguments).
  static std::unique_ptr<State> in_memory();

  doc::Document& document() { return persistence_.document(); }
  persist::Persistence& persistence() { return persistence_; }

  void attach_registry(zarn_actions::ActionRegistry const* registry) { registry_ = registry; }

  /// Decodes an action invoked from outside with the registered decoder of its namespace and
  /// applies it to the document; the application sees the change at its next tick.
  zarn_actions::ActionResult<zarn_actions::Outcome>
  apply_external(zarn_actions::EncodedAction const& action);

  /// After each frame, and whenever `next_save_at` is due: writes the document when it changed
  /// and the save delay passed. True when the application has something new to show: what
  /// another process saved (merged before writing), or a failure to save and its retries.
  bool after_frame();
  /// When the loop must wake to write the document (a change waits for no unrelated event);
  /// none when nothing is unsaved.
  std::optional<base::Instant> next_save_at();
  /// At exit: writes what is unsaved.
  void close();

private:
  persist::Persistence persistence_;
  base::Clock const* clock_;
  zarn_actions::ActionRegistry const* registry_ = nullptr;
  std::uint64_t failed_saves_seen_ = 0;
  bool problem_seen_ = false;
};

/// The application's action registry (and, later, what else the platform offers it).
class App {
public:
  zarn_actions::ActionRegistry& action_registry_mut() { return registry_; }
  zarn_actions::ActionRegistry const& action_registry() const { return registry_; }

private:
  zarn_actions::ActionRegistry registry_;
};

} // namespace zarn_ui
