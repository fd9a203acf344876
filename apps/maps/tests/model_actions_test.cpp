#include "model/actions.h"

#include <gtest/gtest.h>

namespace maps {
namespace {

TEST(ModelActions, VariantIndexNamesTheVariant) {
  EXPECT_EQ(variant_name(MapsAction{MapsAction::UpsertPlaces{}}), "UpsertPlaces");
  EXPECT_EQ(variant_name(MapsAction{MapsAction::ClearRoute{}}), "ClearRoute");
  EXPECT_EQ(variant_name(MapsAction{MapsAction::ClearRegions{}}), "ClearRegions");
}

TEST(ModelActions, DebugTextNamesMembers) {
  struct Case {
    MapsAction action;
    std::string text;
  } const cases[] = {
      {{MapsAction::ClearRecents{}}, "ClearRecents"},
      {{MapsAction::SetPlaceSaved{"a\"b", true}}, "SetPlaceSaved { id: \"a\\\"b\", saved: true }"},
      {{MapsAction::SetTravelMode{TravelMode::Bike}}, "SetTravelMode { mode: Bike }"},
      {{MapsAction::SetTransitTime{{TransitTimeMode::Arrive, -15}}},
       "SetTransitTime { value: TransitTime { mode: Arrive, offset_min: -15 } }"},
      {{MapsAction::AddRegion{{"region:1", "Old Town", {1, 2}, {3, 4}, 10, 12, 42}}},
       "AddRegion(DownloadedRegion { id: \"region:1\", name: \"Old Town\", min: LatLon { lat: "
       "1.0, lon: 2.0 }, max: LatLon { lat: 3.0, lon: 4.0 }, z0: 10, z1: 12, tiles: 42 })"},
      {{MapsAction::SetTransit{{}, std::nullopt, "A", LatLon{1, 2}, "B"}},
       "SetTransit { transit: [], origin: None, origin_name: \"A\", dest: Some(LatLon { lat: 1.0, "
       "lon: 2.0 }), dest_name: \"B\" }"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(debug_text(c.action), c.text);
  }
}

TEST(ModelActions, EqualityComparesVariantAndPayload) {
  MapsAction const a{MapsAction::DeleteRegion{"region:1"}};
  EXPECT_EQ(a, (MapsAction{MapsAction::DeleteRegion{"region:1"}}));
  EXPECT_NE(a, (MapsAction{MapsAction::DeleteRegion{"region:2"}}));
  EXPECT_NE((MapsAction{MapsAction::ClearRoute{}}), (MapsAction{MapsAction::ClearTransit{}}));
}

} // namespace
} // namespace maps
