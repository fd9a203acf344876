// The UI's one write path into the document: every lasting model change is a MapsAction that
// goes through the action host, after which the live model takes over what the action wrote.

#include "app/maps_app.h"
#include "doc/load.h"
#include "doc/save.h"
#include "doc/updaters.h"
#include "sdk/sdk_integration.h"

namespace maps {

namespace {

constexpr std::string_view DISPATCH_APP_ID = "test.zarn.Maps";
constexpr std::string_view DISPATCH_APP_NAME = "Maps";

} // namespace

void MapsApp::dispatch_maps_action(zarn_ui::doc::Document& doc, MapsAction const& action) {
  // The document must hold map data before the updater runs.
  seed_if_empty(doc, model, doc_baseline);
  auto const before = doc.heads();
  auto context = new_action_context(DISPATCH_APP_ID, DISPATCH_APP_NAME, action);
  bool const applied =
      dispatch_with_context(actions, doc, MAPS_ACTION_NAMESPACE, action, std::move(context));
  if (!applied) {
    // A failed dispatch forces nothing.
    refresh_model_from_doc(doc, model, doc_baseline);
    return;
  }
  // The fields the action wrote are taken over even when their stored value did not change
  // (ClearRoute must remove an estimate that never reached the document). Only they are read
  // again, and of the places only those the action named, unless the document also changed
  // from outside since the last copy.
  auto const ids = place_ids_written_by(action);
  refresh_written_fields(doc, model, doc_baseline, before, fields_written_by(action),
                         ids ? std::optional<std::span<std::string const>>(*ids) : std::nullopt);
}

} // namespace maps
