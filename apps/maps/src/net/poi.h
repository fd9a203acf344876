#pragma once
// Points of interest: the Poi record, the query for the points-of-interest service (an
// Overpass interpreter) over a box, the parser of its answers, and the mapping from an
// OpenStreetMap tag to a PlaceCategory that the geocoding parser shares.

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "model/types.h"

namespace maps {

/// Scheme and host of the public points-of-interest service.
inline constexpr char const POI_BASE_URL[] = "https://overpass-api.de";

/// The time the query grants the service to compute its answer ("[timeout:20]"), and the
/// client's time-out: that plus a margin for the transfer, so an answer the service is still
/// allowed to compute is not cut off.
inline constexpr std::chrono::seconds POI_SERVER_TIMEOUT{20};
inline constexpr std::chrono::seconds POI_QUERY_TIMEOUT =
    POI_SERVER_TIMEOUT + std::chrono::seconds{10};

/// Results the query asks for ("out center 250"), and the most an answer keeps: the service
/// sends no more, and one that does is read to the end, the rest unkept. The interface keeps
/// the first 140 of these, which the limit leaves as they are.
inline constexpr std::size_t POI_RESULT_LIMIT = 250;

/// Tag keys that give a point of interest its category, in the order they are tried.
inline constexpr std::array<std::string_view, 7> POI_CATEGORY_KEYS = {
    "amenity", "tourism", "shop", "leisure", "railway", "public_transport", "highway"};

struct Poi {
  std::string id;      // "osm-node-203"
  std::string name;    // never empty
  std::string address; // "Marienplatz 8, München"; may be empty
  std::optional<std::string> opening_hours;
  std::optional<std::string> website;
  std::optional<std::string> phone;
  std::optional<std::string> detail; // cuisine or shop kind, underscores as blanks
  LatLon pos;
  PlaceCategory category = PlaceCategory::Other;
  bool operator==(Poi const&) const = default;
};

/// The request URL for the box (degrees), against `base_url` (scheme and host).
std::string poi_query_url(std::string_view base_url, double south, double west, double north,
                          double east);
std::string poi_query_url(double south, double west, double north, double east);

/// Points of interest inside the box, in the service's order, first occurrence of an id
/// winning. Errors: the HTTP error texts, or the service's own "runtime error…" remark.
base::Result<std::vector<Poi>> fetch_pois(std::string_view base_url, double south, double west,
                                          double north, double east);
base::Result<std::vector<Poi>> fetch_pois(double south, double west, double north, double east);

/// Parses an answer (JSON text). Malformed elements are skipped, and the first POI_RESULT_LIMIT
/// points of interest kept; an answer without an "elements" array is an empty list. A "remark"
/// beginning "runtime error" means the service gave up part way: that remark is the error,
/// whatever elements came with it.
base::Result<std::vector<Poi>> parse_pois(std::string_view answer);

/// Category of an OpenStreetMap tag; exact, case-sensitive comparison.
PlaceCategory category_from_osm_tag(std::string_view key, std::string_view value);

} // namespace maps
