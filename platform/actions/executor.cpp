#include "platform/actions/executor.h"

#include <algorithm>

#include <spdlog/spdlog.h>

namespace zarn_actions {

ActionResult<void> LocalTransport::replicate(EncodedAction const& action,
                                             ActionContext const* context) {
  sent.push_back(Entry{action, context ? std::optional(*context) : std::nullopt});
  return {};
}

namespace executor {

namespace {

ActionResult<Outcome> run(zarn_ui::doc::Document& doc, TypedAction const& action,
                          EncodedAction const& encoded, ActionTransport& transport,
                          std::span<std::uint8_t const> actor,
                          std::optional<ActionContext> context) {
  if (encoded.ns.empty() || encoded.payload.empty()) {
    return tl::unexpected(ActionError::rejected("empty action"));
  }
  auto const& own = doc.actor();
  if (!std::equal(own.begin(), own.end(), actor.begin(), actor.end())) {
    return tl::unexpected(ActionError::rejected("the actor does not write this document"));
  }
  // What was written before belongs to its own change; the action gets a change of its own,
  // or none at all when its updater fails or the transport refuses it. It is replicated only
  // once it applied, so no other replica sees an action this document dropped.
  doc.commit();
  if (auto applied = action.apply_action_to_doc(doc); !applied) {
    doc.rollback();
    return tl::unexpected(ActionError::rejected(applied.error()));
  }
  if (auto sent = transport.replicate(encoded, context ? &*context : nullptr); !sent) {
    doc.rollback();
    return tl::unexpected(sent.error());
  }
  return Outcome{doc.commit(), std::move(context)};
}

} // namespace

ActionResult<Outcome> dispatch_by(zarn_ui::doc::Document& doc, TypedAction const& action,
                                  EncodedAction const& encoded, ActionTransport& transport,
                                  std::span<std::uint8_t const> actor) {
  return run(doc, action, encoded, transport, actor, std::nullopt);
}

ActionResult<Outcome>
dispatch_by_with_context(zarn_ui::doc::Document& doc, TypedAction const& action,
                         EncodedAction const& encoded, ActionTransport& transport,
                         std::span<std::uint8_t const> actor, ActionContext context) {
  return run(doc, action, encoded, transport, actor, std::move(context));
}

} // namespace executor
} // namespace zarn_actions

namespace zarn_ui::bound_dispatch {

std::optional<std::vector<doc::ChangeHash>> typed_action_before(doc::Document& doc) {
  return doc.heads();
}

void report_typed_action(doc::Document& /*doc*/, std::vector<doc::ChangeHash> const& before,
                         std::vector<doc::ChangeHash> const& after) {
  if (spdlog::should_log(spdlog::level::debug)) {
    spdlog::debug("typed action: {} head(s) before, {} after{}", before.size(), after.size(),
                  before == after ? " (no change)" : "");
  }
}

} // namespace zarn_ui::bound_dispatch
