#pragma once
// The seeding save: writes the eleven persisted fields of a model into a document that holds
// no map data yet, with the minimal-change writers. Its member writers are shared with the
// action updaters.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "doc/access.h"
#include "doc/load.h"
#include "model/types.h"

namespace maps {

void save_model_to_doc(Document& doc, MapModel const& model);
/// The same, then records the seeded state as `baseline`'s previous copy, so the next refresh
/// takes over only what changes after the seeding.
void save_model_to_doc(Document& doc, MapModel const& model, DocBaseline& baseline);

/// Seeds the document from `live` when it holds no map data (the first tick, and before every
/// dispatch), recording the seeded state in `baseline`; true when it seeded. Costs one heads
/// comparison when the document has not changed since `baseline` last read it.
bool seed_if_empty(Document& doc, MapModel const& live, DocBaseline& baseline);

void write_place(Document& doc, ObjId const& entry, Place const& place);
void write_region(Document& doc, ObjId const& entry, DownloadedRegion const& region);
/// The search history: one member per text (newest first, by rank); members of other texts
/// are removed from "recents" outright rather than tombstoned, so the history stays as small
/// as what it shows.
void write_recents(Document& doc, ObjId const& root, std::span<std::string const> texts);
void write_route(Document& doc, ObjId const& root, std::optional<Route> const& route);
void write_transit(Document& doc, ObjId const& root, std::span<TransitJourney const> journeys);
void write_geometry(Document& doc, ObjId const& obj, std::span<LatLon const> points);

/// Sets "deleted" true on every Map member of the collection under `root`.
void mark_all_deleted(Document& doc, ObjId const& root, std::string_view collection);
/// Removes every Map member of "recents" (see write_recents).
void clear_recents(Document& doc, ObjId const& root);

} // namespace maps
