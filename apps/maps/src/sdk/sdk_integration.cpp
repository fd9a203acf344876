#include "sdk/sdk_integration.h"

#include <nlohmann/json.hpp>
#include <spdlog/spdlog.h>

#include "doc/updaters.h"
#include "model/json.h"
#include "platform/actions/executor.h"

namespace maps {

std::string MapsTypedAction::debug_text() const {
  return maps::debug_text(action_);
}

base::Result<void> MapsTypedAction::apply_action_to_doc(zarn_ui::doc::Document& doc) const {
  return maps::apply_action_to_doc(action_, doc);
}

zarn_actions::ActionResult<zarn_actions::EncodedAction> encode_action(std::string_view ns,
                                                                      MapsAction const& action) {
  zarn_actions::EncodedAction encoded;
  encoded.ns = std::string(ns);
  encoded.payload.reserve(128);
  std::string const text = to_json_text(action);
  encoded.payload.assign(text.begin(), text.end());
  return encoded;
}

zarn_actions::ActionContext with_app_origin(zarn_actions::ActionContext context,
                                            std::string_view app_id, std::string_view app_name) {
  context.origin = zarn_actions::AppOrigin{std::string(app_id), std::string(app_name)};
  return context;
}

zarn_actions::ActionContext new_action_context(std::string_view app_id, std::string_view app_name,
                                               MapsAction const& action) {
  // The JSON form of every variant is its name, bare or as the one member of an object, so the
  // name is taken directly rather than by writing the whole action (a 50-place answer costs
  // about 40 µs to write).
  zarn_actions::ActionContext context;
  context.label = zarn_actions::context::humanize_identifier(variant_name(action));
  return with_app_origin(std::move(context), app_id, app_name);
}

zarn_actions::ActionResult<void>
dispatch_typed_action(zarn_actions::ActionHost& host, zarn_ui::doc::Document& doc,
                      std::string_view ns, MapsAction const& action,
                      std::optional<zarn_actions::ActionContext> context) {
  auto encoded = encode_action(ns, action);
  if (!encoded) {
    return tl::unexpected(encoded.error());
  }
  auto const before = zarn_ui::bound_dispatch::typed_action_before(doc);
  std::vector<zarn_ui::doc::ChangeHash> const heads_before = before ? *before : doc.heads();
  zarn_actions::LocalTransport transport;
  zarn_ui::doc::Bytes const actor = doc.actor();

  std::optional<zarn_actions::ActionContext> chosen;
  if (!host.default_context) {
    chosen = std::move(context);
  } else if (context) {
    chosen = zarn_actions::ActionContext::enriched_by(std::move(*context), *host.default_context);
  } else {
    chosen = *host.default_context;
  }

  MapsTypedAction const typed(action);
  auto outcome =
      chosen ? zarn_actions::executor::dispatch_by_with_context(doc, typed, *encoded, transport,
                                                                actor, std::move(*chosen))
             : zarn_actions::executor::dispatch_by(doc, typed, *encoded, transport, actor);
  if (!outcome) {
    return tl::unexpected(outcome.error());
  }
  if (before) {
    zarn_ui::bound_dispatch::report_typed_action(doc, *before, doc.heads());
  }
  if (!host.first_heads) {
    host.first_heads = heads_before;
  }
  host.last_action = std::move(*encoded);
  return {};
}

bool dispatch_with_context(zarn_actions::ActionHost& host, zarn_ui::doc::Document& doc,
                           std::string_view ns, MapsAction const& action,
                           zarn_actions::ActionContext context) {
  auto done = dispatch_typed_action(host, doc, ns, action, std::move(context));
  if (!done) {
    spdlog::warn("action dispatch failed error=\"{}\" namespace=\"{}\"", done.error().display(),
                 ns);
  }
  return done.has_value();
}

namespace {

zarn_actions::ActionResult<std::unique_ptr<zarn_actions::TypedAction>>
decode_in(std::string const& ns, std::span<std::uint8_t const> payload) {
  auto action = from_json_bytes<MapsAction>(payload);
  if (!action) {
    return tl::unexpected(zarn_actions::ActionError::decoding_failed(ns, action.error()));
  }
  return std::make_unique<MapsTypedAction>(std::move(*action));
}

} // namespace

zarn_actions::ActionResult<std::unique_ptr<zarn_actions::TypedAction>>
decode_maps_action(std::span<std::uint8_t const> payload) {
  return decode_in(std::string(MAPS_ACTION_NAMESPACE), payload);
}

void register_action_namespace(zarn_actions::ActionRegistry& registry, std::string_view ns) {
  std::string owned(ns);
  registry.insert(std::string(ns), [owned](std::span<std::uint8_t const> payload) {
    return decode_in(owned, payload);
  });
}

void register_maps_action_decoder(zarn_actions::ActionRegistry& registry) {
  register_action_namespace(registry, MAPS_ACTION_NAMESPACE);
}

} // namespace maps
