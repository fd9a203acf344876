#pragma once
// JSON forms of the model values: the plans and the transit time the document keeps as text,
// the older document layout of the whole model (read only), the MapsAction payloads, and the
// records inside them. Writing is compact, in field order, with absent optionals as null, and
// cannot fail. Reading accepts members in any order, skips unknown ones, applies the few field
// defaults, accepts records as arrays in field order, refuses duplicate and missing fields,
// out-of-range integers, nesting deeper than 128 and malformed strings, and fails with a text
// naming the cause and its position. A failed read yields no value.

#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "base/result.h"
#include "model/actions.h"
#include "model/types.h"

namespace maps {

/// Types with a written JSON form.
template <class T>
concept JsonWritable =
    std::same_as<T, LatLon> || std::same_as<T, Place> || std::same_as<T, RouteStep> ||
    std::same_as<T, Route> || std::same_as<T, TransitLeg> || std::same_as<T, TransitJourney> ||
    std::same_as<T, TransitTime> || std::same_as<T, DownloadedRegion> ||
    std::same_as<T, ActivePlan> || std::same_as<T, MapsAction> || std::same_as<T, PlaceCategory> ||
    std::same_as<T, Maneuver> || std::same_as<T, TravelMode> || std::same_as<T, LegMode> ||
    std::same_as<T, TransitTimeMode> || std::same_as<T, Panel>;

/// Types that can be read from JSON: the written ones and the older-layout MapModel.
template <class T>
concept JsonReadable = JsonWritable<T> || std::same_as<T, MapModel>;

/// Compact JSON text of `value`.
template <JsonWritable T> std::string to_json_text(T const& value);

/// Appends the compact JSON text of `value` to `out`.
template <JsonWritable T> void append_json_text(std::string& out, T const& value);

/// The same form as a value tree, members in the order of the text (callers include
/// <nlohmann/json.hpp> to use it).
template <JsonWritable T> nlohmann::ordered_json to_json_value(T const& value);

/// The payload bytes of an action: its compact JSON text.
std::vector<std::uint8_t> to_json_bytes(MapsAction const& action);

/// Reads one value; only whitespace may follow it.
template <JsonReadable T> base::Result<T> from_json_text(std::string_view text);

/// As from_json_text, for payload bytes (strings must be well-formed UTF-8).
template <JsonReadable T> base::Result<T> from_json_bytes(std::span<std::uint8_t const> bytes);

} // namespace maps
