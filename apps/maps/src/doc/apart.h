#pragma once
// Documents made apart (two first runs on one data folder, a copy from another machine) merge
// into one view. Every new document starts with the same first change, so they write into the
// same "maps_v2" and collections; documents made before that, whose roots or collections merge
// into several objects under one key, are joined into the winning object, so the loader (which
// reads winners) shows the union and later edits land in one object.

#include "doc/access.h"

namespace maps {

/// Adds the shared first change ("maps_v2" with empty "places", "recents" and "regions",
/// written by a fixed actor, so every document gets it byte for byte) to a document that holds
/// no change at all; false, doing nothing, otherwise.
bool add_shared_root(Document& doc);

/// Where "maps_v2", or "places", "recents" or "regions" in it, or a member of those, holds
/// several Maps: writes into the winning one what only the others hold and, per field, what
/// they hold from a later edit (places, history entries and regions by their key). Answers
/// whether it wrote; once joined, a document stays unchanged by it until new conflicts arrive.
bool join_apart_objects(Document& doc);

} // namespace maps
