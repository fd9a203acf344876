#include "platform/actions/registry.h"

namespace zarn_actions {

ActionResult<std::unique_ptr<TypedAction>>
ActionRegistry::decode(EncodedAction const& action) const {
  auto const it = decoders_.find(action.ns);
  if (it == decoders_.end()) {
    return tl::unexpected(ActionError{ActionError::Kind::UnknownNamespace, action.ns, {}});
  }
  return it->second(action.payload);
}

} // namespace zarn_actions
