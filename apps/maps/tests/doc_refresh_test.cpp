// The refresh after the application's own action reads only what the action wrote; it must
// leave the live model as the full refresh would, except that of the places it takes over only
// those the action named.

#include <gtest/gtest.h>

#include "doc/load.h"
#include "doc/save.h"
#include "doc/schema.h"
#include "doc/updaters.h"
#include "platform/doc/document.h"

namespace maps {
namespace {

namespace zd = zarn_ui::doc;

Route route_to(double lat) {
  Route r;
  r.mode = TravelMode::Car;
  r.distance_m = 1000;
  r.duration_s = 120;
  r.geometry = {{48.1, 11.5}, {lat, 11.6}};
  r.from = {48.1, 11.5};
  r.to = {lat, 11.6};
  return r;
}

TransitJourney journey() {
  TransitLeg leg;
  leg.mode = LegMode::Bus;
  leg.line = "52";
  leg.dep = "10:00";
  leg.arr = "10:10";
  return TransitJourney{"10:00", "10:10", 10, 0, {leg}};
}

MapModel stored_model() {
  MapModel m = default_map_model();
  m.places = {new_place("a", "A", PlaceCategory::Cafe, 1, 2, ""),
              new_place("c", "C", PlaceCategory::Bar, 3, 4, "")};
  m.recents = {"coffee"};
  m.regions = {DownloadedRegion{"r1", "R1", {1, 2}, {3, 4}, 10, 12, 5}};
  return m;
}

// A document holding both plans, so that a change of travel mode moves the endpoints.
zd::Document seeded() {
  zd::Document d(zd::Bytes(16, 1));
  save_model_to_doc(d, stored_model());
  (void)apply_action_to_doc(MapsAction{MapsAction::SetTransit{
                                {journey()}, LatLon{5, 5}, "Stop", LatLon{6, 6}, "Terminus"}},
                            d);
  (void)apply_action_to_doc(
      MapsAction{MapsAction::SetRoute{route_to(48.2), LatLon{1, 1}, "Home", LatLon{2, 2}, "Work",
                                      TravelMode::Bike}},
      d);
  d.commit();
  return d;
}

TEST(DocRefreshAfterAction, ReadsOnlyTheWrittenFieldsAndEndsAsTheFullRefresh) {
  MapsAction const actions[] = {
      MapsAction{MapsAction::UpsertPlaces{{new_place("b", "B", PlaceCategory::Park, 5, 6, ""),
                                           new_place("c", "C2", PlaceCategory::Bar, 3, 4, "")}}},
      MapsAction{MapsAction::SetPlaceSaved{"a", true}},
      MapsAction{MapsAction::SetPlaceSaved{"zz", true}},
      MapsAction{MapsAction::CommitSearch{"tea"}},
      MapsAction{MapsAction::ClearRecents{}},
      MapsAction{MapsAction::SetTravelMode{TravelMode::Transit}}, // endpoints from the other plan
      MapsAction{MapsAction::SetTravelMode{TravelMode::Bike}},    // nothing written
      MapsAction{MapsAction::SetTransitTime{{TransitTimeMode::Arrive, 30}}},
      MapsAction{MapsAction::ClearRoute{}}, // endpoints fall back to the plain keys
      MapsAction{MapsAction::SetRoute{route_to(48.3), std::nullopt, "Here", LatLon{3, 3}, "There",
                                      TravelMode::Foot}},
      MapsAction{MapsAction::SetTransit{{}, LatLon{7, 7}, "X", std::nullopt, "Y"}},
      MapsAction{MapsAction::ClearTransit{}},
      MapsAction{MapsAction::AddRegion{DownloadedRegion{"r0", "R0", {1, 2}, {3, 4}, 1, 2, 3}}},
      MapsAction{MapsAction::DeleteRegion{"r1"}},
      MapsAction{MapsAction::ClearRegions{}},
  };
  for (bool const from_outside : {false, true}) {
    for (auto const& action : actions) {
      SCOPED_TRACE(debug_text(action) + (from_outside ? " after a change from outside" : ""));
      zd::Document doc = seeded();
      MapModel live = stored_model();
      DocBaseline baseline;
      ASSERT_TRUE(refresh_model_from_doc(doc, live, baseline));
      // Values the UI wrote into the live model alone: each stays unless its field is taken.
      live.origin = LatLon{9, 9};
      live.dest_name = "picked on the map";
      live.route = route_to(40);
      Place const live_only = new_place("live", "Live only", PlaceCategory::Other, 0, 0, "");
      live.places.push_back(live_only);
      if (from_outside) {
        zd::Document other = doc.fork();
        (void)apply_action_to_doc(MapsAction{MapsAction::CommitSearch{"from elsewhere"}}, other);
        ASSERT_TRUE(doc.merge(other));
      }
      MapModel full_live = live;
      zd::Document full_doc = doc;
      DocBaseline full_baseline = baseline;

      auto const before = doc.heads();
      ASSERT_TRUE(apply_action_to_doc(action, doc));
      auto const ids = place_ids_written_by(action);
      ASSERT_TRUE(refresh_written_fields(doc, live, baseline, before, fields_written_by(action),
                                         ids ? std::optional<std::span<std::string const>>(*ids)
                                             : std::nullopt));

      ASSERT_TRUE(apply_action_to_doc(action, full_doc));
      ASSERT_TRUE(
          refresh_model_from_doc(full_doc, full_live, full_baseline, fields_written_by(action)));
      // An action on named places takes over those places only (copying thousands of places
      // for one change would cost a frame): a live-only place it did not name stays, unless the
      // document changed from outside and everything was read again.
      if (ids && !from_outside) {
        full_live.places.push_back(live_only);
      }
      EXPECT_EQ(live, full_live);
      EXPECT_EQ(baseline.copied, full_baseline.copied);
      // The copy it keeps is what the document holds.
      EXPECT_EQ(*baseline.copied, *load_model_from_doc(doc));
    }
  }
}

} // namespace
} // namespace maps
