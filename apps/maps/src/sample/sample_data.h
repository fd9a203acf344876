#pragma once
// The built-in data set of one city centre for starts without network services: the demo model
// (places, search history, a car route, three transit journeys, search results), points of
// interest, offline-area search hits, downloaded regions and the fixed demo clock. Every value is
// fixed; the only generated data, the street network, lives in street_network.h.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/types.h"
#include "net/geocode.h"
#include "net/poi.h"

namespace maps {

/// A wall-clock date-time with a fixed offset from UTC.
struct OffsetDateTime {
  std::chrono::sys_seconds utc; // the instant
  std::chrono::seconds offset;  // local time = utc + offset
  std::chrono::local_seconds local() const {
    return std::chrono::local_seconds{utc.time_since_epoch() + offset};
  }
  bool operator==(OffsetDateTime const&) const = default;
};

/// The demo day's "now", used in place of the real clock when live services are off: Monday
/// 2026-06-15 at 09:00 local time, +02:00 (07:00 UTC). `demo_clock(0)` is the same wall time.
OffsetDateTime demo_now();

/// "HH:MM" of `minutes` after the demo day's 09:00; hours run on past 24 ("24:00" for 900).
/// Times before midnight keep minutes in 0..59 and show a negative hour.
std::string demo_clock(std::int64_t minutes);

/// The grid lines crossed going from `a` to `b` (exclusive of `a`, at most ceil(|b − a|) + 2
/// of them), then `b` itself; empty when |b − a| < 1e-9.
std::vector<double> grid_steps(double a, double b);

/// An L-shaped path on the demo grid: from (r0, c0) along row r0 to column c1, then along
/// column c1 to row r1, with a point at every grid line crossed.
std::vector<LatLon> leg_geometry(double c0, double r0, double c1, double r1);

/// A walking leg: times are demo-clock minutes.
TransitLeg walk_leg(std::string_view from, std::string_view to, std::int64_t dep_min,
                    std::int64_t arr_min, std::uint32_t duration_min, std::vector<LatLon> geometry);

/// The eight sample places, none saved.
std::vector<Place> sample_saved_places();

/// The car route from Sendling to Marienplatz, 16 points, its length from the geometry.
Route demo_route();

/// Three journeys from the demo origin to Marienplatz.
std::vector<TransitJourney> sample_transit_journeys();

/// A point of interest at grid column `column`, row `row`, with an empty address and no opening
/// hours, website, telephone or detail.
Poi sample_poi(std::string_view id, std::string_view name, double column, double row,
               PlaceCategory category);

/// Ten points of interest around the centre, with opening hours.
std::vector<Poi> sample_pois();

/// Three offline-area search hits for a typed "Mün".
std::vector<AreaHit> sample_suggestions();

/// Two downloaded regions around the centre.
std::vector<DownloadedRegion> sample_regions();

/// The complete demo model: directions to Marienplatz by car, two saved places.
MapModel demo_scenario();

} // namespace maps
