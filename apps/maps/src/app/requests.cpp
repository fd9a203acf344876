#include "app/requests.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "net/routing.h"

namespace maps {

namespace {

/// Runs `body` on a detached thread; the job lives in the closure, never in the application.
template <class Body> void spawn_detached(Body body) {
  try {
    std::thread(std::move(body)).detach();
  } catch (std::system_error const&) {
    std::fputs("failed to spawn thread\n", stderr);
    std::abort();
  }
}

} // namespace

void spawn_search(ResultSender tx, ServiceUrls const& urls, std::string query) {
  spawn_detached([tx = std::move(tx), base = urls.geocoder, query = std::move(query)]() mutable {
    auto places = search_places(base, query);
    tx.send(result::Search{std::move(places), std::move(query)});
  });
}

void spawn_endpoint_search(ResultSender tx, ServiceUrls const& urls, std::string query,
                           bool for_origin) {
  spawn_detached(
      [tx = std::move(tx), base = urls.geocoder, query = std::move(query), for_origin]() mutable {
        auto places = search_places(base, query);
        tx.send(result::EndpointSearch{std::move(places), std::move(query), for_origin});
      });
}

void spawn_reverse_geocode(ResultSender tx, ServiceUrls const& urls, double lat, double lon) {
  spawn_detached([tx = std::move(tx), base = urls.geocoder, lat, lon]() mutable {
    tx.send(result::ReverseGeocode{reverse_geocode(base, lat, lon)});
  });
}

void spawn_route(ResultSender tx, ServiceUrls const& urls, LatLon from, LatLon to,
                 TravelMode mode) {
  spawn_detached([tx = std::move(tx), base = urls.routing, from, to, mode]() mutable {
    tx.send(result::Route{route_by_road(base, from.lat, from.lon, to.lat, to.lon, mode)});
  });
}

void spawn_transit(ResultSender tx, ServiceUrls const& urls, TransitQuery query, LatLon from,
                   LatLon to) {
  spawn_detached(
      [tx = std::move(tx), base = urls.transit, query = std::move(query), from, to]() mutable {
        tx.send(result::Transit{plan_transit(base, from.lat, from.lon, to.lat, to.lon, query)});
      });
}

void spawn_nearby_places(ResultSender tx, ServiceUrls const& urls, std::array<double, 4> box,
                         std::uint64_t generation) {
  spawn_detached([tx = std::move(tx), base = urls.poi, box, generation]() mutable {
    tx.send(result::NearbyPlaces{fetch_pois(base, box[0], box[1], box[2], box[3]), generation});
  });
}

void spawn_area_search(ResultSender tx, ServiceUrls const& urls, std::string query) {
  spawn_detached([tx = std::move(tx), base = urls.geocoder, query = std::move(query)]() mutable {
    auto hits = search_places_with_bounds(base, query);
    tx.send(result::AreaSearch{std::move(hits), std::move(query)});
  });
}

} // namespace maps
