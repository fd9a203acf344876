#include "model/types.h"

#include <gtest/gtest.h>

namespace maps {
namespace {

TEST(ModelTypes, DefaultModelHasTheDocumentedStart) {
  MapModel const m = default_map_model();
  EXPECT_FALSE(m.origin.has_value());
  EXPECT_EQ(m.origin_name, "Map centre");
  EXPECT_EQ(m.dest_name, "");
  EXPECT_EQ(m.center.lat, 48.1371);
  EXPECT_EQ(m.center.lon, 11.5754);
  EXPECT_EQ(m.zoom, 14.4);
  EXPECT_EQ(m.mode, TravelMode::Car);
  EXPECT_EQ(m.panel, Panel::Explore);
  EXPECT_EQ(m.transit_time, (TransitTime{TransitTimeMode::Depart, 0}));
  EXPECT_TRUE(m.places.empty() && m.recents.empty() && m.regions.empty());
}

TEST(ModelTypes, NewPlaceIsNeverSavedAndTakesCategoryBeforeAddress) {
  Place const p = new_place("osm-node-203",
                            "Caf\xC3\xA9 Gl\xC3\xBC"
                            "ck",
                            PlaceCategory::Cafe, 48.1, 11.5, "Sendlinger Str. 1");
  EXPECT_EQ(p.id, "osm-node-203");
  EXPECT_EQ(p.category, PlaceCategory::Cafe);
  EXPECT_EQ(p.address, "Sendlinger Str. 1");
  EXPECT_EQ(p.pos, (LatLon{48.1, 11.5}));
  EXPECT_FALSE(p.saved);
}

TEST(ModelTypes, CopiesAreDeepAndCompareEqual) {
  MapModel a = default_map_model();
  a.places.push_back(new_place("a", "A", PlaceCategory::Park, 1, 2, ""));
  TransitLeg leg;
  leg.line = "U3";
  leg.geometry = {{1, 2}, {3, 4}};
  a.transit.push_back(TransitJourney{"09:00", "09:20", 20, 0, {leg}});
  a.route = Route{TravelMode::Bike, 10, 20, {{1, 1}}, {{"Go", 10, Maneuver::Depart}}, {}, {}};
  MapModel b = a;
  EXPECT_EQ(a, b);
  b.places[0].name = "B";
  b.transit[0].legs[0].geometry.push_back({5, 6});
  b.route->steps[0].instruction = "Stop";
  EXPECT_EQ(a.places[0].name, "A");
  EXPECT_EQ(a.transit[0].legs[0].geometry.size(), 2u);
  EXPECT_EQ(a.route->steps[0].instruction, "Go");
  EXPECT_NE(a, b);
}

TEST(ModelTypes, LegWithoutColourKeepsItAbsent) {
  TransitLeg const leg;
  EXPECT_FALSE(leg.color.has_value());
  EXPECT_FALSE(leg.text_color.has_value());
}

TEST(ModelTypes, DebugTextNamesTypeFieldsAndVariants) {
  EXPECT_EQ(debug_text(LatLon{48.1371, 11.0}), "LatLon { lat: 48.1371, lon: 11.0 }");
  EXPECT_EQ(debug_text(Maneuver::SlightLeft), "SlightLeft");
  EXPECT_EQ(debug_text(TransitTime{TransitTimeMode::Arrive, -15}),
            "TransitTime { mode: Arrive, offset_min: -15 }");
  Place p = new_place("x", "Say \"hi\"", PlaceCategory::Landmark, 0, 0, "");
  EXPECT_EQ(debug_text(p),
            "Place { id: \"x\", name: \"Say \\\"hi\\\"\", category: Landmark, address: \"\", pos: "
            "LatLon { lat: 0.0, lon: 0.0 }, saved: false }");
  TransitLeg leg;
  leg.color = "eb690b";
  auto const text = debug_text(leg);
  EXPECT_NE(text.find("color: Some(\"eb690b\"), text_color: None"), std::string::npos);
  EXPECT_EQ(debug_text(ActivePlan{}), "None");
}

} // namespace
} // namespace maps
