#pragma once
// Running an action against the document: the executor checks the dispatch, applies the typed
// action, hands the encoded action to the transport (which may refuse it) and only then
// commits; a refused dispatch, or an updater that fails, leaves the document as it was and
// replicates nothing.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/actions/action.h"
#include "platform/doc/document.h"

namespace zarn_actions {

/// Where dispatched actions are replicated to; the local transport records them.
class ActionTransport {
public:
  virtual ~ActionTransport() = default;
  virtual ActionResult<void> replicate(EncodedAction const& action,
                                       ActionContext const* context) = 0;
};

class LocalTransport final : public ActionTransport {
public:
  ActionResult<void> replicate(EncodedAction const& action, ActionContext const* context) override;
  struct Entry {
    EncodedAction action;
    std::optional<ActionContext> context;
  };
  std::vector<Entry> sent;
};

struct Outcome {
  std::optional<zarn_ui::doc::ChangeHash> change; // the change the action made, if any
  std::optional<ActionContext> context;
};

namespace executor {

ActionResult<Outcome> dispatch_by(zarn_ui::doc::Document& doc, TypedAction const& action,
                                  EncodedAction const& encoded, ActionTransport& transport,
                                  std::span<std::uint8_t const> actor);

ActionResult<Outcome>
dispatch_by_with_context(zarn_ui::doc::Document& doc, TypedAction const& action,
                         EncodedAction const& encoded, ActionTransport& transport,
                         std::span<std::uint8_t const> actor, ActionContext context);

} // namespace executor

} // namespace zarn_actions

namespace zarn_ui::bound_dispatch {

/// Whether this dispatch is to be reported, as the heads before it (always reported here).
std::optional<std::vector<doc::ChangeHash>> typed_action_before(doc::Document& doc);

/// Logs a dispatched change at debug level (heads before and after).
void report_typed_action(doc::Document& doc, std::vector<doc::ChangeHash> const& before,
                         std::vector<doc::ChangeHash> const& after);

} // namespace zarn_ui::bound_dispatch
