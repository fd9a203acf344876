#pragma once
// How long the texts that enter the persisted model may be, and the check every action passes
// before it reaches the document: a search or an area name at MAX_QUERY_CHARS, the texts of
// places, routes and journeys at MAX_PLACE_TEXT_BYTES (as service answers already are).

#include <cstddef>
#include <string_view>

#include "base/result.h"
#include "model/actions.h"

namespace maps {

/// Code points of a search text (history entries included) and of an offline area's name; the
/// same as a text field holds.
inline constexpr std::size_t MAX_QUERY_CHARS = 1000;
/// Bytes of a place's id, name and address, and of any other text a route, a journey or a
/// region carries.
inline constexpr std::size_t MAX_PLACE_TEXT_BYTES = 4096;

/// Whether a search text (trimmed) fits the history.
bool query_fits(std::string_view query);

/// Success, or which text of the action is too long, in words an outside caller can act on.
base::Result<void> check_action_texts(MapsAction const& action);

} // namespace maps
