#include "platform/launch/state.h"

#include <spdlog/spdlog.h>

namespace zarn_ui {

State::State(persist::Persistence persistence, base::Clock const& clock)
    : persistence_(std::move(persistence)), clock_(&clock) {}

std::unique_ptr<State> State::in_memory() {
  return std::make_unique<State>(persist::Persistence::memory_only());
}

zarn_actions::ActionResult<zarn_actions::Outcome>
State::apply_external(zarn_actions::EncodedAction const& action) {
  if (!registry_) {
    return tl::unexpected(zarn_actions::ActionError{
        zarn_actions::ActionError::Kind::UnknownNamespace, action.ns, {}});
  }
  auto typed = registry_->decode(action);
  if (!typed) {
    return tl::unexpected(typed.error());
  }
  zarn_actions::LocalTransport transport;
  auto const actor = document().actor();
  return zarn_actions::executor::dispatch_by(document(), **typed, action, transport, actor);
}

void State::after_frame() {
  persistence_.maybe_save(clock_->now());
}

void State::close() {
  if (auto saved = persistence_.save_now(); !saved) {
    spdlog::warn("could not save the document at exit: {}", saved.error());
  }
}

} // namespace zarn_ui
