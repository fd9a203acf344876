#pragma once
// One document updater per MapsAction variant, and the dispatch over them. An updater sees the
// action's payload and the document only; the live model learns of the change at its next
// refresh. Updaters write as little as possible and cannot fail half-way: every value they
// write is prepared before the first write.

#include <string_view>

#include "base/result.h"
#include "doc/access.h"
#include "doc/load.h"
#include "model/actions.h"

namespace maps {

/// Runs the variant's updater; refuses, writing nothing, an action with a text over its limit
/// (model/limits.h).
base::Result<void> apply_action_to_doc(MapsAction const& action, Document& doc);

/// The persisted fields the variant writes: pass them as `force` to the refresh after a
/// successful dispatch, so those fields show the document's value even when it did not change.
FieldSet fields_written_by(MapsAction const& action);
/// The ids of the places the variant may change, for a refresh of those alone; none for a
/// variant that writes no places.
std::optional<std::vector<std::string>> place_ids_written_by(MapsAction const& action);

/// The "maps_v2" Map for an updater. A document that holds only the older "maps" text is first
/// seeded from that text, so the first action does not hide everything it held.
std::optional<ObjId> ensure_maps_root_for_update(Document& doc);

void doc_upsert_places(Document& doc, MapsAction::UpsertPlaces const& a);
void doc_set_place_saved(Document& doc, MapsAction::SetPlaceSaved const& a);
void doc_commit_search(Document& doc, MapsAction::CommitSearch const& a);
void doc_clear_recents(Document& doc);
void doc_set_travel_mode(Document& doc, MapsAction::SetTravelMode const& a);
void doc_set_transit_time(Document& doc, MapsAction::SetTransitTime const& a);
void doc_clear_route(Document& doc);
void doc_set_route(Document& doc, MapsAction::SetRoute const& a);
void doc_set_transit(Document& doc, MapsAction::SetTransit const& a);
void doc_clear_transit(Document& doc);
void doc_add_region(Document& doc, MapsAction::AddRegion const& a);
void doc_delete_region(Document& doc, MapsAction::DeleteRegion const& a);
void doc_clear_regions(Document& doc);

} // namespace maps
