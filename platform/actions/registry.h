#pragma once
// The action registry: for each namespace the decoder that turns an encoded payload into a
// typed action. Inserting a namespace again replaces its decoder.

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>

#include "platform/actions/action.h"

namespace zarn_actions {

using Decoder =
    std::function<ActionResult<std::unique_ptr<TypedAction>>(std::span<std::uint8_t const>)>;

class ActionRegistry {
public:
  void insert(std::string ns, Decoder decoder) {
    decoders_.insert_or_assign(std::move(ns), std::move(decoder));
  }
  bool contains(std::string_view ns) const { return decoders_.find(ns) != decoders_.end(); }
  std::size_t size() const { return decoders_.size(); }
  /// Decodes with the decoder of the action's namespace.
  ActionResult<std::unique_ptr<TypedAction>> decode(EncodedAction const& action) const;

private:
  std::map<std::string, Decoder, std::less<>> decoders_;
};

} // namespace zarn_actions
