#pragma once
// Suggestion matching: how a text is normalised for comparison, how well a candidate name
// matches a query, how candidate places are ordered and thinned, and which everyday words stand
// for a place category. Pure functions over model values.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/types.h"

namespace maps {

/// 0 exact (or empty query), 1 prefix, 2 contains, 3 no match.
using MatchRank = std::uint8_t;

/// Trimmed, inner white space collapsed to one space, Latin-1 accents folded ("ß" → "ss"),
/// lower-cased: "  Café   MÜNCHEN " → "cafe munchen".
std::string normalize_search_text(std::string_view text);

MatchRank match_rank(std::string_view query, std::string_view candidate);

/// Stable order by (match rank of the name, distance from `reference`); then places less than
/// 150 m from a better one with the same normalised name are dropped.
void rank_places_for_query(std::vector<Place>& places, std::string_view query, LatLon reference);

/// True when the (lower-cased) query contains one of the category's keywords or a keyword
/// contains the query.
bool category_keyword_match(std::string_view query, PlaceCategory category);

} // namespace maps
