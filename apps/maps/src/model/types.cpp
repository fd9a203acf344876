#include "model/types.h"

#include <fmt/format.h>

#include "base/number.h"
#include "model/debug_text.h"

namespace maps {

Place new_place(std::string_view id, std::string_view name, PlaceCategory category, double lat,
                double lon, std::string_view address) {
  return Place{std::string(id),      std::string(name), category,
               std::string(address), {lat, lon},        false};
}

MapModel default_map_model() {
  return MapModel{};
}

std::string debug_text(LatLon const& v) {
  return DebugStruct("LatLon").field("lat", v.lat).field("lon", v.lon).finish();
}

std::string debug_text(Place const& v) {
  return DebugStruct("Place")
      .field("id", v.id)
      .field("name", v.name)
      .field("category", v.category)
      .field("address", v.address)
      .field("pos", v.pos)
      .field("saved", v.saved)
      .finish();
}

std::string debug_text(RouteStep const& v) {
  return DebugStruct("RouteStep")
      .field("instruction", v.instruction)
      .field("distance_m", v.distance_m)
      .field("maneuver", v.maneuver)
      .finish();
}

std::string debug_text(Route const& v) {
  return DebugStruct("Route")
      .field("mode", v.mode)
      .field("distance_m", v.distance_m)
      .field("duration_s", v.duration_s)
      .field("geometry", v.geometry)
      .field("steps", v.steps)
      .field("from", v.from)
      .field("to", v.to)
      .finish();
}

std::string debug_text(TransitLeg const& v) {
  return DebugStruct("TransitLeg")
      .field("mode", v.mode)
      .field("line", v.line)
      .field("headsign", v.headsign)
      .field("from_name", v.from_name)
      .field("to_name", v.to_name)
      .field("dep", v.dep)
      .field("arr", v.arr)
      .field("duration_min", v.duration_min)
      .field("num_stops", v.num_stops)
      .field("geometry", v.geometry)
      .field("color", v.color)
      .field("text_color", v.text_color)
      .field("agency", v.agency)
      .field("realtime", v.realtime)
      .finish();
}

std::string debug_text(TransitJourney const& v) {
  return DebugStruct("TransitJourney")
      .field("dep", v.dep)
      .field("arr", v.arr)
      .field("duration_min", v.duration_min)
      .field("transfers", v.transfers)
      .field("legs", v.legs)
      .finish();
}

std::string debug_text(TransitTime const& v) {
  return DebugStruct("TransitTime")
      .field("mode", v.mode)
      .field("offset_min", v.offset_min)
      .finish();
}

std::string debug_text(DownloadedRegion const& v) {
  return DebugStruct("DownloadedRegion")
      .field("id", v.id)
      .field("name", v.name)
      .field("min", v.min)
      .field("max", v.max)
      .field("z0", v.z0)
      .field("z1", v.z1)
      .field("tiles", v.tiles)
      .finish();
}

std::string debug_text(ActivePlan const& v) {
  struct Visit {
    std::string operator()(ActivePlan::None const&) const { return "None"; }
    std::string operator()(ActivePlan::Route const& r) const {
      return DebugStruct("Route")
          .field("route", r.route)
          .field("origin", r.origin)
          .field("origin_name", r.origin_name)
          .field("dest", r.dest)
          .field("dest_name", r.dest_name)
          .field("mode", r.mode)
          .finish();
    }
    std::string operator()(ActivePlan::Transit const& t) const {
      return DebugStruct("Transit")
          .field("transit", t.transit)
          .field("origin", t.origin)
          .field("origin_name", t.origin_name)
          .field("dest", t.dest)
          .field("dest_name", t.dest_name)
          .finish();
    }
  };
  return std::visit(Visit{}, v.value);
}

} // namespace maps
