#pragma once
// Builders of the platform records the application describes itself with: resources and their
// verbs (fixed, typed, published and text verbs, with the contract of a model verb), the numeric
// ids of accessibility nodes, and the text encoders that put a JSON string under a namespace.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/actions.h"
#include "platform/actions/resource.h"

namespace maps {

zarn_actions::Resource new_resource(std::string_view id, std::string_view kind,
                                    std::string_view title);

/// A verb that returns a copy of `action` on every invocation, whatever the arguments.
zarn_actions::ActionSpec new_action_spec(std::string_view verb, std::string label,
                                         std::uint8_t effect, zarn_actions::EncodedAction action);
zarn_actions::ActionResult<zarn_actions::ActionSpec>
new_typed_action_spec(std::string_view verb, std::string label, std::string_view ns,
                      MapsAction const& action);
/// A verb returning `value` encoded as a JSON string under `ns`.
zarn_actions::ActionResult<zarn_actions::ActionSpec>
new_published_action_spec(std::string_view verb, std::string label, std::optional<bool> flag,
                          std::string_view ns, std::string_view value);
/// A verb with one text parameter "value"; the handler applies `encode` to the entered text.
zarn_actions::ActionSpec
new_text_action_spec(std::string_view verb, std::string label, std::string prompt,
                     std::string placeholder, std::optional<bool> flag, std::string operation_ns,
                     std::function<zarn_actions::EncodedAction(std::string_view)> encode);
/// A model verb with its contract (scope "maps", kind "workspace"; class 2 and destructive for
/// DeleteRegion and ClearRegions). Never fails: an action that cannot be encoded gets an empty
/// payload.
zarn_actions::ActionSpec action_spec_for_maps_action(std::string_view verb, std::string label,
                                                     MapsAction const& action);

/// `text` as a JSON string under `ns`.
zarn_actions::EncodedAction encode_text_action(std::string_view ns, std::string_view text);
/// The "search" verb's function: the trimmed text as a JSON string under "maps.search".
zarn_actions::EncodedAction encode_search_text(std::string_view text);

/// FNV-1a (64-bit) of the id's bytes followed by one 0xFF byte.
std::uint64_t access_node_numeric_id(std::string_view id);

} // namespace maps
