#include "sdk/builders.h"

#include <memory>

#include "base/utf8.h"
#include "model/json_writer.h"
#include "sdk/sdk_integration.h"

namespace maps {

using zarn_actions::ActionSpec;
using zarn_actions::EncodedAction;

zarn_actions::Resource new_resource(std::string_view id, std::string_view kind,
                                    std::string_view title) {
  zarn_actions::Resource r;
  r.id = std::string(id);
  r.kind = std::string(kind);
  r.title = std::string(title);
  return r;
}

ActionSpec new_action_spec(std::string_view verb, std::string label, std::uint8_t effect,
                           EncodedAction action) {
  ActionSpec verb_spec;
  verb_spec.verb = std::string(verb);
  verb_spec.label = std::move(label);
  verb_spec.effect = effect;
  verb_spec.flag = false;
  verb_spec.handler =
      std::make_shared<std::function<EncodedAction(zarn_actions::ActionArgs const&)> const>(
          [action = std::move(action)](zarn_actions::ActionArgs const&) { return action; });
  return verb_spec;
}

zarn_actions::ActionResult<ActionSpec> new_typed_action_spec(std::string_view verb,
                                                             std::string label, std::string_view ns,
                                                             MapsAction const& action) {
  auto encoded = encode_action(ns, action);
  if (!encoded) {
    return tl::unexpected(encoded.error());
  }
  return new_action_spec(verb, std::move(label), 0, std::move(*encoded));
}

EncodedAction encode_text_action(std::string_view ns, std::string_view text) {
  std::string json;
  append_json_string(json, text);
  return EncodedAction{std::string(ns), {json.begin(), json.end()}};
}

zarn_actions::ActionResult<ActionSpec>
new_published_action_spec(std::string_view verb, std::string label, std::optional<bool> flag,
                          std::string_view ns, std::string_view value) {
  ActionSpec verb_spec = new_action_spec(verb, std::move(label), 0, encode_text_action(ns, value));
  verb_spec.flag = flag;
  return verb_spec;
}

ActionSpec new_text_action_spec(std::string_view verb, std::string label, std::string prompt,
                                std::string placeholder, std::optional<bool> flag,
                                std::string operation_ns,
                                std::function<EncodedAction(std::string_view)> encode) {
  ActionSpec verb_spec;
  verb_spec.verb = std::string(verb);
  verb_spec.label = std::move(label);
  verb_spec.flag = flag;
  verb_spec.params.push_back({"value", prompt});
  verb_spec.prompt = std::move(prompt);
  verb_spec.placeholder = std::move(placeholder);
  verb_spec.operation_ns = operation_ns;
  verb_spec.handler =
      std::make_shared<std::function<EncodedAction(zarn_actions::ActionArgs const&)> const>(
          [ns = std::move(operation_ns),
           encode = std::move(encode)](zarn_actions::ActionArgs const& args) {
            std::string const text = args.text("value").value_or("");
            return zarn_actions::resource::enforce_operation_type(encode(text), ns);
          });
  return verb_spec;
}

ActionSpec action_spec_for_maps_action(std::string_view verb, std::string label,
                                       MapsAction const& action) {
  auto typed = new_typed_action_spec(verb, label, MAPS_ACTION_NAMESPACE, action);
  ActionSpec verb_spec;
  if (typed) {
    verb_spec = std::move(*typed);
  } else {
    auto again = encode_action(MAPS_ACTION_NAMESPACE, action);
    EncodedAction fallback =
        again ? std::move(*again) : EncodedAction{std::string(MAPS_ACTION_NAMESPACE), {}};
    verb_spec = new_action_spec(verb, std::move(label), 0, std::move(fallback));
  }
  bool const destructive = std::holds_alternative<MapsAction::DeleteRegion>(action.value) ||
                           std::holds_alternative<MapsAction::ClearRegions>(action.value);
  zarn_actions::Contract contract;
  contract.scope = {"maps", "workspace"};
  contract.class_value = destructive ? 2 : 1;
  contract.marker = destructive ? zarn_actions::ContractMarker::Destructive
                                : zarn_actions::ContractMarker::Reversible;
  return std::move(verb_spec).with_contract(std::move(contract));
}

EncodedAction encode_search_text(std::string_view text) {
  return encode_text_action("maps.search", base::utf8::trim(text));
}

std::uint64_t access_node_numeric_id(std::string_view id) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  auto mix = [&h](std::uint8_t byte) {
    h ^= byte;
    h *= 0x100000001b3ull;
  };
  for (char c : id) {
    mix(static_cast<std::uint8_t>(c));
  }
  mix(0xFF);
  return h;
}

} // namespace maps
