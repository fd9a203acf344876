#pragma once
// The application's side of the platform's action machinery: MapsAction as a typed action,
// encoding and decoding under "maps.action", the dispatch context, and the typed dispatch
// through the action host that records the first heads and the last action.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/actions.h"
#include "platform/actions/action.h"
#include "platform/actions/host.h"
#include "platform/actions/registry.h"
#include "platform/doc/document.h"

namespace maps {

inline constexpr std::string_view MAPS_ACTION_NAMESPACE = "maps.action";

/// A MapsAction as the executor sees it: applying it runs the document updater of its variant.
class MapsTypedAction final : public zarn_actions::TypedAction {
public:
  explicit MapsTypedAction(MapsAction action) : action_(std::move(action)) {}
  std::string debug_text() const override;
  base::Result<void> apply_action_to_doc(zarn_ui::doc::Document& doc) const override;
  MapsAction const& action() const { return action_; }

private:
  MapsAction action_;
};

zarn_actions::ActionResult<zarn_actions::EncodedAction> encode_action(std::string_view ns,
                                                                      MapsAction const& action);

/// The label humanised from the variant name ("Update" when there is none), with the
/// application as origin.
zarn_actions::ActionContext new_action_context(std::string_view app_id, std::string_view app_name,
                                               MapsAction const& action);
zarn_actions::ActionContext with_app_origin(zarn_actions::ActionContext context,
                                            std::string_view app_id, std::string_view app_name);

/// Encodes, executes against `doc` and records in `host`; an error leaves the host unchanged.
zarn_actions::ActionResult<void>
dispatch_typed_action(zarn_actions::ActionHost& host, zarn_ui::doc::Document& doc,
                      std::string_view ns, MapsAction const& action,
                      std::optional<zarn_actions::ActionContext> context);

/// dispatch_typed_action; a failure ends as the warning "action dispatch failed". True when the
/// action was applied.
bool dispatch_with_context(zarn_actions::ActionHost& host, zarn_ui::doc::Document& doc,
                           std::string_view ns, MapsAction const& action,
                           zarn_actions::ActionContext context);

zarn_actions::ActionResult<std::unique_ptr<zarn_actions::TypedAction>>
decode_maps_action(std::span<std::uint8_t const> payload);

void register_action_namespace(zarn_actions::ActionRegistry& registry, std::string_view ns);
void register_maps_action_decoder(zarn_actions::ActionRegistry& registry);

} // namespace maps
