#include "sample/sample_data.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>

#include <gtest/gtest.h>

#include "geo/geo.h"
#include "sample/street_network.h"

namespace maps {
namespace {

TEST(DemoClock, CountsMinutesFromNine) {
  struct Case {
    std::int64_t minutes;
    char const* text;
  } const cases[] = {
      {0, "09:00"},    {17, "09:17"}, {75, "10:15"},   {900, "24:00"},
      {-540, "00:00"}, {-1, "08:59"}, {1500, "34:00"}, {-541, "-1:59"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.minutes);
    EXPECT_EQ(demo_clock(c.minutes), c.text);
  }
  // Extreme values give a text, not an overflow.
  EXPECT_FALSE(demo_clock(std::numeric_limits<std::int64_t>::max()).empty());
  EXPECT_FALSE(demo_clock(std::numeric_limits<std::int64_t>::min()).empty());
}

TEST(DemoClock, NowIsNineOnTheDemoDay) {
  OffsetDateTime const now = demo_now();
  EXPECT_EQ(now.offset, std::chrono::hours(2));
  auto const local_day = std::chrono::floor<std::chrono::days>(now.local());
  std::chrono::year_month_day const ymd{local_day};
  EXPECT_EQ(ymd, std::chrono::year{2026} / std::chrono::June / 15);
  std::chrono::hh_mm_ss const time{now.local() - local_day};
  EXPECT_EQ(time.hours(), std::chrono::hours(9));
  EXPECT_EQ(time.minutes(), std::chrono::minutes(0));
  EXPECT_EQ(time.seconds(), std::chrono::seconds(0));
  // The same instant in UTC: 07:00.
  auto const utc_day = std::chrono::floor<std::chrono::days>(now.utc);
  EXPECT_EQ(std::chrono::hh_mm_ss{now.utc - utc_day}.hours(), std::chrono::hours(7));
  EXPECT_EQ(demo_now(), now);
}

TEST(GridSteps, CrossesGridLinesThenEndsAtTheTarget) {
  struct Case {
    double a;
    double b;
    std::vector<double> steps;
  } const cases[] = {
      {-6.5, -5, {-6, -5}},       {0, 0.2, {0.2}},
      {0, -0.2, {-0.2}},          {2, 2, {}},
      {2, 2 + 1e-10, {}},         {-6, -4.5, {-5, -4.5}},
      {-4, -1.5, {-3, -2, -1.5}}, {5, 1.5, {4, 3, 2, 1.5}},
      {-0.5, 2, {0, 1, 2}},       {1.5, 0, {1, 0}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " -> " << c.b);
    EXPECT_EQ(grid_steps(c.a, c.b), c.steps);
  }
}

TEST(GridSteps, StaysBoundedOnValuesOffTheGrid) {
  double const inf = std::numeric_limits<double>::infinity();
  double const nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_LE(grid_steps(0, inf).size(), 4099u);
  EXPECT_LE(grid_steps(0, -inf).size(), 4099u);
  EXPECT_LE(grid_steps(1e300, -1e300).size(), 4099u);
  // A NaN span takes no steps; the end value is still appended.
  EXPECT_EQ(grid_steps(nan, 1.0), std::vector<double>{1.0});
}

std::vector<LatLon> grid(std::initializer_list<std::pair<double, double>> rows_cols) {
  std::vector<LatLon> out;
  for (auto const& [r, c] : rows_cols) {
    out.push_back(grid_point(r, c));
  }
  return out;
}

TEST(LegGeometry, RunsAlongTheRowThenTheColumn) {
  EXPECT_EQ(leg_geometry(0, 0, 0.2, -0.2), grid({{0, 0}, {0, 0.2}, {-0.2, 0.2}}));
  EXPECT_EQ(leg_geometry(-6.5, -6, -6, -4.5), grid({{-6, -6.5}, {-6, -6}, {-5, -6}, {-4.5, -6}}));
  EXPECT_EQ(leg_geometry(1, 1, 1, 1), grid({{1, 1}}));
}

TEST(SamplePlaces, AreTheEightUnsavedGridPlaces) {
  struct Case {
    char const* id;
    PlaceCategory category;
    double lat;
    double lon; // the rounded decimals of the grid points
  } const cases[] = {
      {"marienplatz", PlaceCategory::Landmark, 48.1371, 11.5754},
      {"cafe-glueck", PlaceCategory::Cafe, 48.14214, 11.58476},
      {"stadtmuseum", PlaceCategory::Museum, 48.13422, 11.56784},
      {"isar-biergarten", PlaceCategory::Bar, 48.13086, 11.60204},
      {"hofgarten", PlaceCategory::Park, 48.15006, 11.5808},
      {"hauptbahnhof", PlaceCategory::Transit, 48.13974, 11.543},
      {"hotel-vier", PlaceCategory::Hotel, 48.12702, 11.58908},
      {"viktualienmarkt", PlaceCategory::Shop, 48.13206, 11.57648},
  };
  auto const places = sample_saved_places();
  ASSERT_EQ(places.size(), std::size(cases));
  for (std::size_t i = 0; i < places.size(); ++i) {
    SCOPED_TRACE(cases[i].id);
    EXPECT_EQ(places[i].id, cases[i].id);
    EXPECT_EQ(places[i].category, cases[i].category);
    EXPECT_NEAR(places[i].pos.lat, cases[i].lat, 1e-9);
    EXPECT_NEAR(places[i].pos.lon, cases[i].lon, 1e-9);
    EXPECT_FALSE(places[i].saved);
    EXPECT_FALSE(places[i].name.empty());
    EXPECT_FALSE(places[i].address.empty());
  }
  EXPECT_EQ(places[1].name, "Caf\xC3\xA9 Gl\xC3\xBC"
                            "ck");
  EXPECT_EQ(places[0].address, "Marienplatz 1, 80331 M\xC3\xBCnchen");
  EXPECT_EQ(places[2].pos, grid_point(-1.2, -2.1));
}

TEST(DemoRoute, IsTheLFromSendlingToMarienplatz) {
  Route const r = demo_route();
  EXPECT_EQ(r.mode, TravelMode::Car);
  ASSERT_EQ(r.geometry.size(), 16u);
  EXPECT_EQ(r.geometry.front(), (LatLon{48.1227, 11.552}));
  EXPECT_EQ(r.geometry.front(), r.from);
  EXPECT_EQ(r.geometry[7], (LatLon{48.1227, 11.5754})); // the corner, twice
  EXPECT_NEAR(r.geometry[8].lat, r.geometry[7].lat, 1e-12);
  EXPECT_EQ(r.geometry[8].lon, r.geometry[7].lon);
  EXPECT_EQ(r.geometry[14], r.geometry[15]); // the end, twice
  EXPECT_EQ(r.geometry.back(), r.to);
  EXPECT_EQ(r.to, (LatLon{48.1371, 11.5754}));
  // Eastward along one parallel, then due north: never backwards.
  for (std::size_t i = 1; i < 8; ++i) {
    EXPECT_GT(r.geometry[i].lon, r.geometry[i - 1].lon) << i;
    EXPECT_EQ(r.geometry[i].lat, 48.1227) << i;
  }
  for (std::size_t i = 9; i < 16; ++i) {
    EXPECT_GE(r.geometry[i].lat, r.geometry[i - 1].lat) << i;
    EXPECT_EQ(r.geometry[i].lon, 11.5754) << i;
  }
}

TEST(DemoRoute, LengthAndDurationComeFromTheGeometry) {
  Route const r = demo_route();
  EXPECT_EQ(r.distance_m, polyline_length_m(r.geometry));
  // The two straight runs measured whole: 1738.85 m east and 1603.00 m north.
  double const east = haversine_m(48.1227, 11.552, 48.1227, 11.5754);
  double const north = haversine_m(48.1227, 11.5754, 48.1371, 11.5754);
  EXPECT_NEAR(r.distance_m, east + north, 0.01);
  EXPECT_NEAR(r.distance_m, 3341.853, 0.01);
  EXPECT_EQ(r.duration_s, r.distance_m / 8.88888888888889);
  EXPECT_NEAR(r.duration_s, 375.96, 0.01);

  ASSERT_EQ(r.steps.size(), 6u);
  EXPECT_EQ(r.steps.front(), (RouteStep{"Head east on Lindwurmstra\xC3\x9F"
                                        "e",
                                        240, Maneuver::Depart}));
  EXPECT_EQ(r.steps[2], (RouteStep{"Turn left onto Sendlinger Stra\xC3\x9F"
                                   "e",
                                   80, Maneuver::Left}));
  EXPECT_EQ(r.steps.back(), (RouteStep{"Arrive at Marienplatz", 0, Maneuver::Arrive}));
}

int clock_minutes(std::string const& hhmm) {
  EXPECT_EQ(hhmm.size(), 5u);
  EXPECT_EQ(hhmm[2], ':');
  return std::stoi(hhmm.substr(0, 2)) * 60 + std::stoi(hhmm.substr(3, 2));
}

TEST(SampleJourneys, LegsJoinInPlaceNameAndTime) {
  auto const journeys = sample_transit_journeys();
  ASSERT_EQ(journeys.size(), 3u);
  std::size_t const leg_counts[] = {3, 4, 4};
  LatLon const origin = demo_scenario().origin.value();
  for (std::size_t j = 0; j < journeys.size(); ++j) {
    SCOPED_TRACE(testing::Message() << "journey " << j + 1);
    auto const& jr = journeys[j];
    ASSERT_EQ(jr.legs.size(), leg_counts[j]);
    EXPECT_EQ(jr.dep, jr.legs.front().dep);
    EXPECT_EQ(jr.arr, jr.legs.back().arr);
    EXPECT_EQ(static_cast<int>(jr.duration_min), clock_minutes(jr.arr) - clock_minutes(jr.dep));
    std::size_t rides = 0;
    for (std::size_t i = 0; i < jr.legs.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "leg " << i);
      auto const& leg = jr.legs[i];
      ASSERT_GE(leg.geometry.size(), 2u);
      EXPECT_EQ(static_cast<int>(leg.duration_min),
                clock_minutes(leg.arr) - clock_minutes(leg.dep));
      if (i > 0) {
        auto const& prev = jr.legs[i - 1];
        EXPECT_EQ(leg.from_name, prev.to_name);
        EXPECT_EQ(leg.geometry.front(), prev.geometry.back());
        EXPECT_GE(clock_minutes(leg.dep), clock_minutes(prev.arr));
      }
      if (leg.mode == LegMode::Walk) {
        EXPECT_TRUE(leg.line.empty() && leg.headsign.empty() && leg.agency.empty());
        EXPECT_EQ(leg.num_stops, 0u);
        EXPECT_FALSE(leg.color || leg.text_color || leg.realtime);
      } else {
        ++rides;
        EXPECT_EQ(leg.color.value_or("").size(), 6u);
        EXPECT_EQ(leg.text_color, std::optional<std::string>("ffffff"));
        EXPECT_GT(leg.num_stops, 0u);
      }
    }
    EXPECT_EQ(jr.transfers, rides - 1);
    EXPECT_EQ(jr.legs.front().from_name, "Your location");
    EXPECT_EQ(jr.legs.front().geometry.front(), origin);
    EXPECT_EQ(jr.legs.back().to_name, "Marienplatz");
    EXPECT_EQ(jr.legs.back().geometry.back(), grid_point(-0.2, 0.2));
  }
}

TEST(SampleJourneys, CarryTheStatedLines) {
  auto const journeys = sample_transit_journeys();
  struct Case {
    std::size_t journey;
    std::size_t leg;
    LegMode mode;
    char const* line;
    char const* color;
    char const* dep;
    char const* arr;
    std::uint32_t stops;
    bool realtime;
  } const cases[] = {
      {0, 1, LegMode::Subway, "U3", "eb690b", "09:17", "09:23", 3, true},
      {1, 1, LegMode::Tram, "17", "e30613", "09:12", "09:16", 2, true},
      {1, 2, LegMode::Bus, "52", "005e82", "09:19", "09:25", 3, false},
      {2, 1, LegMode::Subway, "U3/U6", "0065ae", "09:13", "09:21", 4, true},
      {2, 2, LegMode::Rail, "S1", "16bae7", "09:24", "09:27", 1, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.line);
    auto const& leg = journeys.at(c.journey).legs.at(c.leg);
    EXPECT_EQ(leg.mode, c.mode);
    EXPECT_EQ(leg.line, c.line);
    EXPECT_EQ(leg.color, std::optional<std::string>(c.color));
    EXPECT_EQ(leg.dep, c.dep);
    EXPECT_EQ(leg.arr, c.arr);
    EXPECT_EQ(leg.num_stops, c.stops);
    EXPECT_EQ(leg.realtime, c.realtime);
  }
  EXPECT_EQ(journeys[2].legs[2].agency, "DB Regio AG S-Bahn M\xC3\xBCnchen");
  EXPECT_EQ(journeys[0].legs[1].headsign, "Moosach");
  EXPECT_EQ(journeys[1].legs[0].to_name, "Sendlinger Tor");
  EXPECT_EQ(journeys[2].dep, "09:05");
  EXPECT_EQ(journeys[2].arr, "09:29");
}

TEST(SamplePois, AreTheTenPointsOfInterest) {
  struct Case {
    char const* id;
    PlaceCategory category;
    double lat;
    double lon;
    bool has_address;
    char const* opening_hours; // nullptr: none
    char const* detail;
    bool website;
    bool phone;
  } const cases[] = {
      {"osm-node-201", PlaceCategory::Cafe, 48.14094, 11.57972, true,
       "Mo\xE2\x80\x93Sa 08:00\xE2\x80\x93"
       "20:00",
       "coffee", true, true},
      {"osm-node-202", PlaceCategory::Restaurant, 48.13854, 11.57252, true,
       "11:00\xE2\x80\x93"
       "23:30",
       "bavarian", false, false},
      {"osm-node-203", PlaceCategory::Bar, 48.13926, 11.58116, true,
       "09:00\xE2\x80\x93"
       "24:00",
       "beer garden", true, false},
      {"osm-way-204", PlaceCategory::Museum, 48.1347, 11.5682, true,
       "Tu\xE2\x80\x93Su 10:00\xE2\x80\x93"
       "18:00",
       nullptr, false, false},
      {"osm-node-205", PlaceCategory::Transit, 48.13638, 11.57612, false, "24/7", nullptr, false,
       false},
      {"osm-node-206", PlaceCategory::Shop, 48.13494, 11.57756, false,
       "06:00\xE2\x80\x93"
       "19:00",
       "bakery", false, false},
      {"osm-node-207", PlaceCategory::Landmark, 48.13758, 11.56964, true, nullptr, nullptr, false,
       false},
      {"osm-node-208", PlaceCategory::Cafe, 48.1323, 11.5772, false,
       "08:00\xE2\x80\x93"
       "22:00",
       nullptr, false, false},
      {"osm-node-209", PlaceCategory::Hotel, 48.1275, 11.58908, true, nullptr, nullptr, false,
       true},
      {"osm-way-210", PlaceCategory::Park, 48.14958, 11.5808, false, nullptr, "park", false, false},
  };
  auto const pois = sample_pois();
  ASSERT_EQ(pois.size(), std::size(cases));
  std::set<std::string> ids;
  for (std::size_t i = 0; i < pois.size(); ++i) {
    auto const& p = pois[i];
    auto const& c = cases[i];
    SCOPED_TRACE(c.id);
    EXPECT_EQ(p.id, c.id);
    EXPECT_TRUE(ids.insert(p.id).second);
    EXPECT_FALSE(p.name.empty());
    EXPECT_EQ(p.category, c.category);
    EXPECT_NEAR(p.pos.lat, c.lat, 1e-9);
    EXPECT_NEAR(p.pos.lon, c.lon, 1e-9);
    EXPECT_EQ(!p.address.empty(), c.has_address);
    EXPECT_EQ(p.opening_hours,
              c.opening_hours ? std::optional<std::string>(c.opening_hours) : std::nullopt);
    EXPECT_EQ(p.detail, c.detail ? std::optional<std::string>(c.detail) : std::nullopt);
    EXPECT_EQ(p.website.has_value(), c.website);
    EXPECT_EQ(p.phone.has_value(), c.phone);
  }
  EXPECT_EQ(pois[2].name, "Hofbr\xC3\xA4uhaus");
  EXPECT_EQ(pois[2].address, "Am Platzl 9, M\xC3\xBCnchen");
  EXPECT_EQ(pois[0].website.value_or("").rfind("https://", 0), 0u);
}

TEST(SamplePois, SamplePoiTakesColumnBeforeRow) {
  Poi const p = sample_poi("x", "X", 1.2, 1.6, PlaceCategory::Cafe);
  EXPECT_EQ(p.pos, grid_point(1.6, 1.2));
  EXPECT_EQ(p, (Poi{"x", "X", "", std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                    grid_point(1.6, 1.2), PlaceCategory::Cafe}));
}

TEST(SampleSuggestions, AreThreeHitsWithTheirBoxes) {
  auto const hits = sample_suggestions();
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[0], (AreaHit{"Munich",
                              "Bavaria, Germany",
                              {48.1371, 11.5754},
                              {48.0616, 11.3608},
                              {48.2482, 11.7229}}));
  EXPECT_EQ(hits[1].name, "M\xC3\xBCnchen Hauptbahnhof");
  EXPECT_EQ(hits[1].label, "Bahnhofplatz, M\xC3\xBCnchen");
  EXPECT_EQ(hits[2].name, "Marienplatz");
  EXPECT_EQ(hits[2].label, "Altstadt-Lehel, M\xC3\xBCnchen");
  for (auto const& h : hits) {
    SCOPED_TRACE(h.name);
    // Each position lies inside its own box.
    EXPECT_LT(h.min.lat, h.pos.lat);
    EXPECT_LT(h.pos.lat, h.max.lat);
    EXPECT_LT(h.min.lon, h.pos.lon);
    EXPECT_LT(h.pos.lon, h.max.lon);
  }
}

TEST(SampleRegions, AreTheTwoStoredRegions) {
  auto const regions = sample_regions();
  ASSERT_EQ(regions.size(), 2u);
  EXPECT_EQ(regions[0], (DownloadedRegion{"region-demo-1", "M\xC3\xBCnchen Altstadt",
                                          grid_point(-6, -6), grid_point(6, 6), 13, 16, 1148}));
  EXPECT_EQ(regions[1], (DownloadedRegion{"region-demo-2", "Hauptbahnhof", grid_point(-2, -11),
                                          grid_point(3, -6), 14, 17, 412}));
  for (auto const& r : regions) {
    SCOPED_TRACE(r.id);
    EXPECT_LT(r.min.lat, r.max.lat);
    EXPECT_LT(r.min.lon, r.max.lon);
    EXPECT_LE(r.z0, r.z1);
  }
  EXPECT_NEAR(regions[1].max.lat, 48.1443, 1e-9);
  EXPECT_NEAR(regions[1].min.lon, 11.5358, 1e-9);
}

TEST(DemoScenario, IsDirectionsToMarienplatzWithTwoSavedPlaces) {
  MapModel const m = demo_scenario();
  std::vector<std::string> saved;
  for (auto const& p : m.places) {
    if (p.saved) {
      saved.push_back(p.id);
    }
  }
  EXPECT_EQ(saved, (std::vector<std::string>{"cafe-glueck", "hofgarten"}));
  EXPECT_EQ(m.places.size(), 8u);
  EXPECT_EQ(m.recents, (std::vector<std::string>{"Marienplatz", "coffee near me", "Hauptbahnhof"}));

  std::vector<std::string> result_ids;
  for (auto const& p : m.results) {
    result_ids.push_back(p.id);
  }
  EXPECT_EQ(result_ids, (std::vector<std::string>{"marienplatz", "cafe-glueck", "stadtmuseum",
                                                  "viktualienmarkt"}));
  EXPECT_TRUE(m.results[1].saved); // copied after the flags were set

  EXPECT_EQ(m.selected, std::optional<std::string>("marienplatz"));
  ASSERT_TRUE(m.origin.has_value());
  EXPECT_EQ(*m.origin, grid_point(-6, -6.5));
  EXPECT_NEAR(m.origin->lat, 48.1227, 1e-9);
  EXPECT_NEAR(m.origin->lon, 11.552, 1e-9);
  EXPECT_EQ(m.origin_name, "Sendling, M\xC3\xBCnchen");
  EXPECT_EQ(m.dest, std::optional<LatLon>(LatLon{48.1371, 11.5754}));
  EXPECT_EQ(m.dest_name, "Marienplatz");
  EXPECT_EQ(m.route, std::optional<Route>(demo_route()));
  EXPECT_EQ(m.transit, sample_transit_journeys());
  EXPECT_EQ(m.panel, Panel::Directions);
  EXPECT_EQ(m.mode, TravelMode::Car);
  EXPECT_EQ(m.query, "Marienplatz");
  EXPECT_EQ(m.center, (LatLon{48.1331, 11.5724}));
  EXPECT_EQ(m.zoom, 14.6);

  // Everything else as in the default model.
  MapModel const d = default_map_model();
  EXPECT_EQ(m.transit_choice, d.transit_choice);
  EXPECT_EQ(m.origin_query, d.origin_query);
  EXPECT_EQ(m.dest_query, d.dest_query);
  EXPECT_EQ(m.transit_time, d.transit_time);
  EXPECT_EQ(m.status, d.status);
  EXPECT_EQ(m.regions, d.regions);
}

TEST(DemoScenario, IdsAreUniqueAndEveryBuildIsEqual) {
  MapModel const m = demo_scenario();
  std::set<std::string> ids;
  for (auto const& p : m.places) {
    EXPECT_TRUE(ids.insert(p.id).second) << p.id;
  }
  std::set<std::string> region_ids;
  for (auto const& r : sample_regions()) {
    EXPECT_TRUE(region_ids.insert(r.id).second) << r.id;
  }
  EXPECT_EQ(demo_scenario(), m);
  EXPECT_EQ(sample_regions(), sample_regions());
}

} // namespace
} // namespace maps
