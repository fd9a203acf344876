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

bool State::after_frame() {
  auto const revision = document().revision();
  persistence_.maybe_save(clock_->now());
  bool const problem = persistence_.save_problem().has_value();
  // A write first merges what another process saved: the application shows it next frame.
  bool const news = document().revision() != revision ||
                    persistence_.failed_saves() != failed_saves_seen_ || problem != problem_seen_;
  failed_saves_seen_ = persistence_.failed_saves();
  problem_seen_ = problem;
  return news;
}

std::optional<base::Instant> State::next_save_at() {
  return persistence_.next_save_at(clock_->now());
}

void State::close() {
  if (auto saved = persistence_.save_now(); !saved) {
    spdlog::warn("could not save the document at exit: {}", saved.error());
  }
}

} // namespace zarn_ui
