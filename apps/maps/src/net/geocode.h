#pragma once
// Geocoding against a Nominatim service (JSON format "jsonv2"): free-text search returning
// places or area hits with bounding boxes, and reverse lookup of a short address label.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "model/types.h"

namespace maps {

/// Scheme and host of the public geocoding service.
inline constexpr char const GEOCODER_BASE_URL[] = "https://nominatim.openstreetmap.org";

/// Hits a search asks for ("limit=8"), and the most a search answer keeps: a service that sends
/// more than asked is read to the end, the rest unkept, so an answer of countless hits costs
/// no more memory than the hits asked for.
inline constexpr std::size_t GEOCODER_RESULT_LIMIT = 8;

/// Half the side, in degrees, of the box given to a hit without a usable bounding box.
inline constexpr double AREA_HIT_MARGIN = 0.006;

/// One hit of the offline-area search.
struct AreaHit {
  std::string name;  // as the place parser names the hit
  std::string label; // display name up to its first comma, trimmed
  LatLon pos;
  LatLon min; // south-west corner of the bounding box
  LatLon max; // north-east corner
  bool operator==(AreaHit const&) const = default;
};

/// The query text goes in as given (encoded, not trimmed).
std::string search_url(std::string_view base_url, std::string_view query);
/// Latitude and longitude with six decimals.
std::string reverse_url(std::string_view base_url, double lat, double lon);

base::Result<std::vector<Place>> search_places(std::string_view base_url, std::string_view query);
base::Result<std::vector<Place>> search_places(std::string_view query);

base::Result<std::vector<AreaHit>> search_places_with_bounds(std::string_view base_url,
                                                             std::string_view query);
base::Result<std::vector<AreaHit>> search_places_with_bounds(std::string_view query);

/// A short label for the position: the hit's name, else the first two parts of its display
/// name. Error "no address for this location" when neither is there.
base::Result<std::string> reverse_geocode(std::string_view base_url, double lat, double lon);
base::Result<std::string> reverse_geocode(double lat, double lon);

/// Answer parsers over the answer's JSON text: "unexpected response" when a search answer is
/// not an array; hits without usable "lat" and "lon" strings are skipped, and the first
/// GEOCODER_RESULT_LIMIT of the others kept; ANSWER_UNREADABLE for text that is no JSON.
base::Result<std::vector<Place>> parse_search_answer(std::string_view answer);
base::Result<std::vector<AreaHit>> parse_area_search_answer(std::string_view answer);
base::Result<std::string> parse_reverse_answer(std::string_view answer);

/// One hit, given as its JSON text; nothing for text that is no JSON.
std::optional<Place> parse_geocoder_place(std::string_view hit);
std::optional<AreaHit> parse_search_hit(std::string_view hit);

} // namespace maps
