#pragma once
// The layout of the persisted model in the document: the root keys, the words the enumerations
// are stored as, and the key of a search-history entry. Reading and writing values is
// doc/access.h; the model readers and writers are doc/load.h, doc/save.h and doc/updaters.h.

#include <optional>
#include <string>
#include <string_view>

#include "model/types.h"

namespace maps {

/// The current schema lives in this Map under the document root.
inline constexpr std::string_view MAPS_ROOT_KEY = "maps_v2";
/// The older layout: the whole model as one JSON Text, read only while MAPS_ROOT_KEY is no Map.
inline constexpr std::string_view LEGACY_MAPS_KEY = "maps";

std::string_view travel_mode_text(TravelMode mode);
std::optional<TravelMode> parse_travel_mode(std::string_view text);

std::string_view category_text(PlaceCategory category);
std::optional<PlaceCategory> parse_category(std::string_view text);

std::string_view maneuver_text(Maneuver maneuver);
std::optional<Maneuver> parse_maneuver(std::string_view text);

std::string_view leg_mode_text(LegMode mode);
std::optional<LegMode> parse_leg_mode(std::string_view text);

/// The member key of a search text in "recents": trimmed (Unicode White_Space), lower-cased,
/// its UTF-8 bytes as lower-case hexadecimal digits. Texts differing only in case share a key.
std::string recent_key(std::string_view text);

} // namespace maps
