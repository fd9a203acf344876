// A "maps.action" payload from outside, through the registered decoder and the executor into
// the document of the default model. A refused payload leaves the document as it was; an
// accepted one re-encodes to a payload that decodes to the same action, and the changed
// document still reads as a model.

#include <memory>

#include "doc/load.h"
#include "doc/save.h"
#include "model/json.h"
#include "platform/actions/registry.h"
#include "platform/launch/state.h"
#include "sdk/sdk_integration.h"
#include "targets.h"

namespace maps::fuzz {

bool maps_action(Bytes data) {
  static zarn_actions::ActionRegistry const registry = [] {
    zarn_actions::ActionRegistry r;
    register_maps_action_decoder(r);
    return r;
  }();
  auto state = zarn_ui::State::in_memory();
  state->attach_registry(&registry);
  auto& doc = state->document();
  save_model_to_doc(doc, default_map_model());
  auto const before = doc.save();

  zarn_actions::EncodedAction const encoded{std::string(MAPS_ACTION_NAMESPACE),
                                            {data.begin(), data.end()}};
  auto const applied = state->apply_external(encoded);
  if (!applied) {
    check(doc.pending_ops() == 0, "a refused action left pending operations");
    check(doc.save() == before, "a refused action changed the document");
    return false;
  }
  auto const action = from_json_bytes<MapsAction>(data);
  check(action.has_value(), "the executor applied a payload the model does not read");
  auto const again = decode_maps_action(to_json_bytes(*action));
  check(again.has_value(), "a re-encoded action does not decode");
  auto const* typed = dynamic_cast<MapsTypedAction const*>(again->get());
  check(typed != nullptr && typed->action() == *action, "a re-encoded action decodes differently");
  (void)load_model_from_doc(doc);
  return true;
}

} // namespace maps::fuzz
