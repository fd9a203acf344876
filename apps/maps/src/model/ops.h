#pragma once
// Small operations on the live MapModel that bypass the document: recording a search text,
// listing and toggling saved places, inserting or updating a place, looking places up by id.
// Persisted changes go through MapsAction instead; the recent-search rule here is the one the
// document updater applies too (apply_recent_search), so both lists agree.

#include <string>
#include <string_view>
#include <vector>

#include "model/types.h"

namespace maps {

/// True when `a` and `b` are equal with the letters A-Z and a-z compared without case; every
/// other byte, non-ASCII letters included, must match exactly.
bool equals_ignore_ascii_case(std::string_view a, std::string_view b);

/// The recent-search rule on a list, newest first: trims `query` (Unicode White_Space); when
/// nothing is left, or more than MAX_QUERY_CHARS, answers false and leaves `recents` alone.
/// Otherwise removes every entry equal to it ignoring ASCII case (and any entry too long to
/// keep), puts it first and keeps the first MAX_RECENTS entries.
bool apply_recent_search(std::vector<std::string>& recents, std::string_view query);

/// Records a search text in model.recents (apply_recent_search).
void commit_search(MapModel& model, std::string_view query);

/// Writes the status line and its kind together, so a kind never outlives its text.
void set_status(MapModel& model, std::string text, StatusKind kind = StatusKind::Note);

/// The saved places, in the order of model.places; the pointers live as long as the list is
/// not changed.
std::vector<Place const*> saved_places(MapModel const& model);

/// Flips `saved` of the place with this id and answers the new value; answers false and changes
/// nothing when no place has this id.
bool toggle_saved(MapModel& model, std::string_view id);

/// Replaces the place with the same id in place (it stays saved when either the stored or the
/// new place is saved), or appends it.
void upsert_place(MapModel& model, Place place);

/// The first place whose id equals `id` byte for byte, or nullptr.
Place const* find_place(MapModel const& model, std::string_view id);
Place* find_place(MapModel& model, std::string_view id);

/// find_place of model.selected; nullptr when nothing is selected or the id is not stored.
Place const* selected_place(MapModel const& model);

} // namespace maps
