#include "sample/sample_data.h"

#include <cmath>
#include <limits>
#include <utility>

#include <fmt/format.h>

#include "base/saturate.h"
#include "geo/geo.h"
#include "sample/street_network.h"

namespace maps {

namespace {

// 32 km/h in metres per second, as the demo route's travel time assumes.
constexpr double DEMO_ROUTE_SPEED_MPS = 8.88888888888889;

// Guards grid_steps against inputs far from the grid's scale (beyond 2^53 a step of one no
// longer changes the value); the sample data never comes near it.
constexpr std::size_t GRID_STEPS_CAP = 4096;

// 2026-06-15 07:00:00 UTC.
constexpr std::int64_t DEMO_NOW_UTC_SECONDS = 1781506800;
constexpr std::int64_t DEMO_NOW_OFFSET_SECONDS = 2 * 3600;

constexpr std::int64_t DEMO_DAY_START_MIN = 540; // 09:00

TransitLeg ride_leg(LegMode mode, std::string_view line, std::string_view headsign,
                    std::string_view from, std::string_view to, std::int64_t dep_min,
                    std::int64_t arr_min, std::uint32_t duration_min, std::uint32_t num_stops,
                    std::vector<LatLon> geometry, std::string_view color, std::string_view agency,
                    bool realtime) {
  TransitLeg leg;
  leg.mode = mode;
  leg.line = line;
  leg.headsign = headsign;
  leg.from_name = from;
  leg.to_name = to;
  leg.dep = demo_clock(dep_min);
  leg.arr = demo_clock(arr_min);
  leg.duration_min = duration_min;
  leg.num_stops = num_stops;
  leg.geometry = std::move(geometry);
  leg.color = std::string(color);
  leg.text_color = std::string("ffffff");
  leg.agency = agency;
  leg.realtime = realtime;
  return leg;
}

// The model's saved-flag toggle: the first place with the id flips; an unknown id is ignored.
void flip_saved(std::vector<Place>& places, std::string_view id) {
  for (auto& p : places) {
    if (p.id == id) {
      p.saved = !p.saved;
      return;
    }
  }
}

} // namespace

OffsetDateTime demo_now() {
  return OffsetDateTime{std::chrono::sys_seconds{std::chrono::seconds{DEMO_NOW_UTC_SECONDS}},
                        std::chrono::seconds{DEMO_NOW_OFFSET_SECONDS}};
}

std::string demo_clock(std::int64_t minutes) {
  // Saturate rather than overflow; the floor division keeps the minutes in 0..59.
  constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
  std::int64_t const t = minutes > max - DEMO_DAY_START_MIN ? max : minutes + DEMO_DAY_START_MIN;
  std::int64_t hours = t / 60;
  std::int64_t mins = t % 60;
  if (mins < 0) {
    mins += 60;
    hours -= 1;
  }
  return fmt::format("{:02}:{:02}", hours, mins);
}

std::vector<double> grid_steps(double a, double b) {
  std::vector<double> out;
  double const span = std::abs(b - a);
  if (span < 1e-9) {
    return out;
  }
  // NaN spans take no steps (the count compares false), like the plain loop would.
  std::size_t limit = 0;
  if (!std::isnan(span)) {
    limit = base::saturating_cast<std::size_t>(std::ceil(span));
    limit = limit > GRID_STEPS_CAP ? GRID_STEPS_CAP + 2 : limit + 2;
  }
  if (b > a) {
    for (double v = std::floor(a) + 1.0; out.size() < limit && v < b - 1e-9; v += 1.0) {
      out.push_back(v);
    }
  } else {
    for (double v = std::ceil(a) - 1.0; out.size() < limit && v > b + 1e-9; v -= 1.0) {
      out.push_back(v);
    }
  }
  out.push_back(b);
  return out;
}

std::vector<LatLon> leg_geometry(double c0, double r0, double c1, double r1) {
  std::vector<LatLon> points{grid_point(r0, c0)};
  for (double const v : grid_steps(c0, c1)) {
    points.push_back(grid_point(r0, v));
  }
  for (double const v : grid_steps(r0, r1)) {
    points.push_back(grid_point(v, c1));
  }
  return points;
}

TransitLeg walk_leg(std::string_view from, std::string_view to, std::int64_t dep_min,
                    std::int64_t arr_min, std::uint32_t duration_min,
                    std::vector<LatLon> geometry) {
  TransitLeg leg;
  leg.mode = LegMode::Walk;
  leg.from_name = from;
  leg.to_name = to;
  leg.dep = demo_clock(dep_min);
  leg.arr = demo_clock(arr_min);
  leg.duration_min = duration_min;
  leg.num_stops = 0;
  leg.geometry = std::move(geometry);
  leg.realtime = false;
  return leg;
}

std::vector<Place> sample_saved_places() {
  struct Row {
    char const* id;
    char const* name;
    PlaceCategory category;
    double row;
    double column;
    char const* address;
  };
  static constexpr Row ROWS[] = {
      {"marienplatz", "Marienplatz", PlaceCategory::Landmark, 0, 0,
       "Marienplatz 1, 80331 M\u00fcnchen"},
      {"cafe-glueck", "Caf\u00e9 Gl\u00fcck", PlaceCategory::Cafe, 2.1, 2.6,
       "Theatinerstra\u00dfe 18"},
      {"stadtmuseum", "Stadtmuseum", PlaceCategory::Museum, -1.2, -2.1, "St.-Jakobs-Platz 1"},
      {"isar-biergarten", "Isar Biergarten", PlaceCategory::Bar, -2.6, 7.4, "Am Kanal 4"},
      {"hofgarten", "Hofgarten", PlaceCategory::Park, 5.4, 1.5, "Hofgartenstra\u00dfe"},
      {"hauptbahnhof", "Hauptbahnhof", PlaceCategory::Transit, 1.1, -9, "Bahnhofplatz 2"},
      {"hotel-vier", "Hotel Vier T\u00fcrme", PlaceCategory::Hotel, -4.2, 3.8,
       "Sendlinger Str. 44"},
      {"viktualienmarkt", "Viktualienmarkt", PlaceCategory::Shop, -2.1, 0.3, "Viktualienmarkt 3"},
  };
  std::vector<Place> places;
  places.reserve(std::size(ROWS));
  for (auto const& r : ROWS) {
    LatLon const pos = grid_point(r.row, r.column);
    places.push_back(new_place(r.id, r.name, r.category, pos.lat, pos.lon, r.address));
  }
  return places;
}

Route demo_route() {
  Route route;
  route.mode = TravelMode::Car;
  // East along the southern street, then north along the centre's axis; the corner and the
  // end each appear twice, as where one street's points meet the next street's.
  double x = -6.5;
  for (int steps = 0; x <= 0.0 && steps < 64; ++steps) {
    route.geometry.push_back(LatLon{48.1227, DEMO_GRID_LON + DEMO_GRID_COL_DEG * x});
    x += 1.0;
  }
  route.geometry.push_back(LatLon{48.1227, 11.5754});
  for (int y = -6; y <= 0; ++y) {
    route.geometry.push_back(LatLon{DEMO_GRID_LAT + DEMO_GRID_ROW_DEG * y, 11.5754});
  }
  route.geometry.push_back(LatLon{48.1371, 11.5754});
  route.distance_m = polyline_length_m(route.geometry);
  route.duration_s = route.distance_m / DEMO_ROUTE_SPEED_MPS;
  route.from = LatLon{48.1227, 11.552};
  route.to = LatLon{48.1371, 11.5754};
  route.steps = {
      {"Head east on Lindwurmstra\u00dfe", 240, Maneuver::Depart},
      {"Continue onto Pettenkoferstra\u00dfe", 1320, Maneuver::Continue},
      {"Turn left onto Sendlinger Stra\u00dfe", 80, Maneuver::Left},
      {"Continue north toward the Altstadt", 1180, Maneuver::Continue},
      {"Slight right into the pedestrian zone", 90, Maneuver::SlightRight},
      {"Arrive at Marienplatz", 0, Maneuver::Arrive},
  };
  return route;
}

std::vector<TransitJourney> sample_transit_journeys() {
  constexpr std::string_view here = "Your location";
  constexpr std::string_view marienplatz = "Marienplatz";
  constexpr std::string_view mvg = "MVG";
  // Minutes are after 09:00; geometries are (c0, r0, c1, r1) on the demo grid, starting at the
  // demo origin (row −6, column −6.5) and ending at Marienplatz (0, 0) after a short walk.
  std::vector<TransitJourney> journeys;

  journeys.push_back(TransitJourney{
      demo_clock(12),
      demo_clock(26),
      14,
      0,
      {walk_leg(here, "Goetheplatz", 12, 16, 4, leg_geometry(-6.5, -6, -5, -5)),
       ride_leg(LegMode::Subway, "U3", "Moosach", "Goetheplatz", marienplatz, 17, 23, 6, 3,
                leg_geometry(-5, -5, 0, 0), "eb690b", mvg, true),
       walk_leg(marienplatz, marienplatz, 24, 26, 2, leg_geometry(0, 0, 0.2, -0.2))}});

  journeys.push_back(TransitJourney{
      demo_clock(8),
      demo_clock(27),
      19,
      1,
      {walk_leg(here, "Sendlinger Tor", 8, 11, 3, leg_geometry(-6.5, -6, -4, -4)),
       ride_leg(LegMode::Tram, "17", "Schwanseestra\u00dfe", "Sendlinger Tor", "Reichenbachplatz",
                12, 16, 4, 2, leg_geometry(-4, -4, -2, -1.5), "e30613", mvg, true),
       ride_leg(LegMode::Bus, "52", "Tierpark", "Reichenbachplatz", marienplatz, 19, 25, 6, 3,
                leg_geometry(-2, -1.5, 0, 0), "005e82", mvg, false),
       walk_leg(marienplatz, marienplatz, 25, 27, 2, leg_geometry(0, 0, 0.2, -0.2))}});

  journeys.push_back(TransitJourney{
      demo_clock(5),
      demo_clock(29),
      24,
      1,
      {walk_leg(here, "Poccistra\u00dfe", 5, 10, 5, leg_geometry(-6.5, -6, -6, -4.5)),
       ride_leg(LegMode::Subway, "U3/U6", "Garching", "Poccistra\u00dfe", "Odeonsplatz", 13, 21, 8,
                4, leg_geometry(-6, -4.5, 1.5, 5), "0065ae", mvg, true),
       ride_leg(LegMode::Rail, "S1", "Ostbahnhof", "Odeonsplatz", marienplatz, 24, 27, 3, 1,
                leg_geometry(1.5, 5, 0, 0), "16bae7", "DB Regio AG S-Bahn M\u00fcnchen", true),
       walk_leg(marienplatz, marienplatz, 27, 29, 2, leg_geometry(0, 0, 0.2, -0.2))}});

  return journeys;
}

Poi sample_poi(std::string_view id, std::string_view name, double column, double row,
               PlaceCategory category) {
  Poi poi;
  poi.id = id;
  poi.name = name;
  poi.pos = grid_point(row, column);
  poi.category = category;
  return poi;
}

std::vector<Poi> sample_pois() {
  struct Row {
    char const* id;
    char const* name;
    PlaceCategory category;
    double column;
    double row;
    char const* address; // empty: none known
    char const* opening_hours;
    char const* detail;
  };
  static constexpr Row ROWS[] = {
      {"osm-node-201", "Caf\u00e9 Tambosi", PlaceCategory::Cafe, 1.2, 1.6,
       "Theatinerstra\u00dfe 12, M\u00fcnchen", "Mo\u2013Sa 08:00\u201320:00", "coffee"},
      {"osm-node-202", "Ratskeller", PlaceCategory::Restaurant, -0.8, 0.6,
       "Sparkassenstra\u00dfe 2, M\u00fcnchen", "11:00\u201323:30", "bavarian"},
      {"osm-node-203", "Hofbr\u00e4uhaus", PlaceCategory::Bar, 1.6, 0.9,
       "Am Platzl 9, M\u00fcnchen", "09:00\u201324:00", "beer garden"},
      {"osm-way-204", "J\u00fcdisches Museum", PlaceCategory::Museum, -2.0, -1.0,
       "St.-Jakobs-Platz 1", "Tu\u2013Su 10:00\u201318:00", nullptr},
      {"osm-node-205", "Marienplatz (U/S)", PlaceCategory::Transit, 0.2, -0.3, "", "24/7", nullptr},
      {"osm-node-206", "Rischart Backhaus", PlaceCategory::Shop, 0.6, -0.9, "", "06:00\u201319:00",
       "bakery"},
      {"osm-node-207", "St. Michael", PlaceCategory::Landmark, -1.6, 0.2, "Neuhauser Str. 2",
       nullptr, nullptr},
      {"osm-node-208", "Viktualien Caf\u00e9", PlaceCategory::Cafe, 0.5, -2.0, "",
       "08:00\u201322:00", nullptr},
      {"osm-node-209", "Hotel Blauer Bock", PlaceCategory::Hotel, 3.8, -4.0, "Sendlinger Str. 44",
       nullptr, nullptr},
      {"osm-way-210", "Hofgarten", PlaceCategory::Park, 1.5, 5.2, "", nullptr, "park"},
  };
  std::vector<Poi> pois;
  pois.reserve(std::size(ROWS));
  for (auto const& r : ROWS) {
    Poi poi = sample_poi(r.id, r.name, r.column, r.row, r.category);
    poi.address = r.address;
    if (r.opening_hours != nullptr) {
      poi.opening_hours = r.opening_hours;
    }
    if (r.detail != nullptr) {
      poi.detail = r.detail;
    }
    pois.push_back(std::move(poi));
  }
  // Placeholder contact details (reserved example domain, fictitious numbers).
  pois[0].website = "https://www.example.com/cafe-tambosi";
  pois[0].phone = "+49 89 1234561";
  pois[2].website = "https://www.example.com/hofbraeuhaus";
  pois[8].phone = "+49 89 1234569";
  return pois;
}

std::vector<AreaHit> sample_suggestions() {
  return {
      AreaHit{
          "Munich", "Bavaria, Germany", {48.1371, 11.5754}, {48.0616, 11.3608}, {48.2482, 11.7229}},
      AreaHit{"M\u00fcnchen Hauptbahnhof",
              "Bahnhofplatz, M\u00fcnchen",
              {48.1402, 11.5586},
              {48.1382, 11.5556},
              {48.1422, 11.5616}},
      AreaHit{"Marienplatz",
              "Altstadt-Lehel, M\u00fcnchen",
              {48.1374, 11.5755},
              {48.1364, 11.5745},
              {48.1384, 11.5765}},
  };
}

std::vector<DownloadedRegion> sample_regions() {
  // Tile counts are stored values, as a finished download records them.
  return {
      DownloadedRegion{"region-demo-1", "M\u00fcnchen Altstadt", grid_point(-6, -6),
                       grid_point(6, 6), 13, 16, 1148},
      DownloadedRegion{"region-demo-2", "Hauptbahnhof", grid_point(-2, -11), grid_point(3, -6), 14,
                       17, 412},
  };
}

MapModel demo_scenario() {
  MapModel m = default_map_model();
  m.places = sample_saved_places();
  flip_saved(m.places, "hofgarten");
  flip_saved(m.places, "cafe-glueck");
  m.recents = {"Marienplatz", "coffee near me", "Hauptbahnhof"};
  for (auto const& p : m.places) {
    switch (p.category) {
    case PlaceCategory::Landmark:
    case PlaceCategory::Cafe:
    case PlaceCategory::Museum:
    case PlaceCategory::Shop:
      m.results.push_back(p);
      break;
    default:
      break;
    }
  }
  m.selected = "marienplatz";
  m.origin = grid_point(-6, -6.5);
  m.origin_name = "Sendling, M\u00fcnchen";
  m.dest = LatLon{48.1371, 11.5754};
  m.dest_name = "Marienplatz";
  m.route = demo_route();
  m.transit = sample_transit_journeys();
  m.panel = Panel::Directions;
  m.mode = TravelMode::Car;
  m.query = "Marienplatz";
  m.center = LatLon{48.1331, 11.5724};
  m.zoom = 14.6;
  return m;
}

} // namespace maps
