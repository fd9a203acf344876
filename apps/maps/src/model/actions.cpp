#include "model/actions.h"

#include "model/debug_text.h"

namespace maps {

namespace {

struct DebugVisit {
  std::string operator()(MapsAction::UpsertPlaces const& a) const {
    return DebugStruct("UpsertPlaces").field("places", a.places).finish();
  }
  std::string operator()(MapsAction::SetPlaceSaved const& a) const {
    return DebugStruct("SetPlaceSaved").field("id", a.id).field("saved", a.saved).finish();
  }
  std::string operator()(MapsAction::CommitSearch const& a) const {
    return DebugStruct("CommitSearch").field("query", a.query).finish();
  }
  std::string operator()(MapsAction::ClearRecents const&) const { return "ClearRecents"; }
  std::string operator()(MapsAction::SetTravelMode const& a) const {
    return DebugStruct("SetTravelMode").field("mode", a.mode).finish();
  }
  std::string operator()(MapsAction::SetTransitTime const& a) const {
    return DebugStruct("SetTransitTime").field("value", a.value).finish();
  }
  std::string operator()(MapsAction::ClearRoute const&) const { return "ClearRoute"; }
  std::string operator()(MapsAction::SetRoute const& a) const {
    return DebugStruct("SetRoute")
        .field("route", a.route)
        .field("origin", a.origin)
        .field("origin_name", a.origin_name)
        .field("dest", a.dest)
        .field("dest_name", a.dest_name)
        .field("mode", a.mode)
        .finish();
  }
  std::string operator()(MapsAction::SetTransit const& a) const {
    return DebugStruct("SetTransit")
        .field("transit", a.transit)
        .field("origin", a.origin)
        .field("origin_name", a.origin_name)
        .field("dest", a.dest)
        .field("dest_name", a.dest_name)
        .finish();
  }
  std::string operator()(MapsAction::ClearTransit const&) const { return "ClearTransit"; }
  std::string operator()(MapsAction::AddRegion const& a) const {
    return "AddRegion(" + debug_text(a.region) + ")";
  }
  std::string operator()(MapsAction::DeleteRegion const& a) const {
    return DebugStruct("DeleteRegion").field("id", a.id).finish();
  }
  std::string operator()(MapsAction::ClearRegions const&) const { return "ClearRegions"; }
};

} // namespace

std::string debug_text(MapsAction const& action) {
  return std::visit(DebugVisit{}, action.value);
}

} // namespace maps
