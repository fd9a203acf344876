#pragma once
// Background requests: every network query runs on a detached thread of its own that captures
// its job by value, runs one query and sends exactly one ServiceResult back on the results
// channel. The UI thread never waits on the network.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "base/channel.h"
#include "base/result.h"
#include "model/types.h"
#include "net/geocode.h"
#include "net/poi.h"
#include "net/routing.h"
#include "net/transit.h"

namespace maps {

/// Scheme and host of each service; the public services by default, a local server in tests.
struct ServiceUrls {
  std::string geocoder = GEOCODER_BASE_URL;
  std::string poi = POI_BASE_URL;
  std::string routing = ROUTING_BASE_URL;
  std::string transit = TRANSIT_BASE_URL;
};

namespace result {

struct Search {
  base::Result<std::vector<Place>> result;
  std::string query;
};
struct EndpointSearch {
  base::Result<std::vector<Place>> result;
  std::string query;
  bool for_origin = false;
};
struct ReverseGeocode {
  base::Result<std::string> result;
};
struct Route {
  base::Result<maps::Route> result;
};
struct Transit {
  base::Result<std::vector<TransitJourney>> result;
};
struct NearbyPlaces {
  base::Result<std::vector<Poi>> result;
  std::uint64_t generation = 0;
};
struct AreaSearch {
  base::Result<std::vector<AreaHit>> result;
  std::string query;
};

} // namespace result

/// The one message each request thread sends.
using ServiceResult =
    std::variant<result::Search, result::EndpointSearch, result::ReverseGeocode, result::Route,
                 result::Transit, result::NearbyPlaces, result::AreaSearch>;

using ResultSender = base::Sender<ServiceResult>;

// Starters: each clones nothing itself (the caller hands a sender clone), spawns one detached
// thread and returns at once.
void spawn_search(ResultSender tx, ServiceUrls const& urls, std::string query);
void spawn_endpoint_search(ResultSender tx, ServiceUrls const& urls, std::string query,
                           bool for_origin);
void spawn_reverse_geocode(ResultSender tx, ServiceUrls const& urls, double lat, double lon);
void spawn_route(ResultSender tx, ServiceUrls const& urls, LatLon from, LatLon to, TravelMode mode);
void spawn_transit(ResultSender tx, ServiceUrls const& urls, TransitQuery query, LatLon from,
                   LatLon to);
void spawn_nearby_places(ResultSender tx, ServiceUrls const& urls,
                         std::array<double, 4> box /* south, west, north, east */,
                         std::uint64_t generation);
void spawn_area_search(ResultSender tx, ServiceUrls const& urls, std::string query);

} // namespace maps
