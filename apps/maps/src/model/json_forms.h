#pragma once
// The JSON forms of the model's types as data: each record lists its fields in declaration
// order, each enumeration its variant names, each tagged union its variant names. The text
// writer, the value-tree builder (json.cpp) and the typed reader (json_read.cpp) are generic
// over these descriptions. Internal to the model's JSON code.

#include <array>
#include <concepts>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "model/types.h"

namespace maps::json_forms {

// ---------------------------------------------------------------------------------------------
// Descriptions of the forms: each record lists its fields in declaration order (which is the
// member order of the text), each enumeration its variant names, each tagged union its variant
// names. Writer, value-tree builder and reader are generic over these descriptions.

template <class T, class M> struct Field {
  std::string_view name;
  M T::*member;
  bool defaulted; // a missing member reads as the field's default value
};

template <class T, class M> constexpr Field<T, M> field(std::string_view name, M T::*member) {
  return {name, member, false};
}

template <class T, class M>
constexpr Field<T, M> with_default(std::string_view name, M T::*member) {
  return {name, member, true};
}

template <class T> struct Record;

template <> struct Record<LatLon> {
  static constexpr std::string_view expecting = "struct LatLon";
  static constexpr auto fields = std::tuple{field("lat", &LatLon::lat), field("lon", &LatLon::lon)};
};

template <> struct Record<Place> {
  static constexpr std::string_view expecting = "struct Place";
  static constexpr auto fields = std::tuple{field("id", &Place::id),
                                            field("name", &Place::name),
                                            field("category", &Place::category),
                                            field("address", &Place::address),
                                            field("pos", &Place::pos),
                                            field("saved", &Place::saved)};
};

template <> struct Record<RouteStep> {
  static constexpr std::string_view expecting = "struct RouteStep";
  static constexpr auto fields = std::tuple{field("instruction", &RouteStep::instruction),
                                            field("distance_m", &RouteStep::distance_m),
                                            field("maneuver", &RouteStep::maneuver)};
};

template <> struct Record<Route> {
  static constexpr std::string_view expecting = "struct Route";
  static constexpr auto fields = std::tuple{field("mode", &Route::mode),
                                            field("distance_m", &Route::distance_m),
                                            field("duration_s", &Route::duration_s),
                                            field("geometry", &Route::geometry),
                                            field("steps", &Route::steps),
                                            field("from", &Route::from),
                                            field("to", &Route::to)};
};

template <> struct Record<TransitLeg> {
  static constexpr std::string_view expecting = "struct TransitLeg";
  static constexpr auto fields = std::tuple{field("mode", &TransitLeg::mode),
                                            field("line", &TransitLeg::line),
                                            field("headsign", &TransitLeg::headsign),
                                            field("from_name", &TransitLeg::from_name),
                                            field("to_name", &TransitLeg::to_name),
                                            field("dep", &TransitLeg::dep),
                                            field("arr", &TransitLeg::arr),
                                            field("duration_min", &TransitLeg::duration_min),
                                            field("num_stops", &TransitLeg::num_stops),
                                            field("geometry", &TransitLeg::geometry),
                                            field("color", &TransitLeg::color),
                                            field("text_color", &TransitLeg::text_color),
                                            with_default("agency", &TransitLeg::agency),
                                            with_default("realtime", &TransitLeg::realtime)};
};

template <> struct Record<TransitJourney> {
  static constexpr std::string_view expecting = "struct TransitJourney";
  static constexpr auto fields = std::tuple{
      field("dep", &TransitJourney::dep), field("arr", &TransitJourney::arr),
      field("duration_min", &TransitJourney::duration_min),
      field("transfers", &TransitJourney::transfers), field("legs", &TransitJourney::legs)};
};

template <> struct Record<TransitTime> {
  static constexpr std::string_view expecting = "struct TransitTime";
  static constexpr auto fields =
      std::tuple{field("mode", &TransitTime::mode), field("offset_min", &TransitTime::offset_min)};
};

template <> struct Record<DownloadedRegion> {
  static constexpr std::string_view expecting = "struct DownloadedRegion";
  static constexpr auto fields =
      std::tuple{field("id", &DownloadedRegion::id),      field("name", &DownloadedRegion::name),
                 field("min", &DownloadedRegion::min),    field("max", &DownloadedRegion::max),
                 field("z0", &DownloadedRegion::z0),      field("z1", &DownloadedRegion::z1),
                 field("tiles", &DownloadedRegion::tiles)};
};

template <> struct Record<MapModel> {
  static constexpr std::string_view expecting = "struct MapModel";
  static constexpr auto fields = std::tuple{field("places", &MapModel::places),
                                            field("recents", &MapModel::recents),
                                            field("selected", &MapModel::selected),
                                            field("route", &MapModel::route),
                                            field("transit", &MapModel::transit),
                                            field("transit_choice", &MapModel::transit_choice),
                                            field("panel", &MapModel::panel),
                                            field("mode", &MapModel::mode),
                                            field("query", &MapModel::query),
                                            with_default("origin_query", &MapModel::origin_query),
                                            with_default("dest_query", &MapModel::dest_query),
                                            with_default("transit_time", &MapModel::transit_time),
                                            field("results", &MapModel::results),
                                            field("origin", &MapModel::origin),
                                            field("origin_name", &MapModel::origin_name),
                                            field("dest", &MapModel::dest),
                                            with_default("dest_name", &MapModel::dest_name),
                                            field("center", &MapModel::center),
                                            field("zoom", &MapModel::zoom),
                                            field("status", &MapModel::status),
                                            with_default("regions", &MapModel::regions)};
};

template <> struct Record<ActivePlan::Route> {
  using R = ActivePlan::Route;
  static constexpr std::string_view expecting = "struct variant ActivePlan::Route";
  static constexpr auto fields = std::tuple{field("route", &R::route),
                                            field("origin", &R::origin),
                                            field("origin_name", &R::origin_name),
                                            field("dest", &R::dest),
                                            field("dest_name", &R::dest_name),
                                            field("mode", &R::mode)};
};

template <> struct Record<ActivePlan::Transit> {
  using R = ActivePlan::Transit;
  static constexpr std::string_view expecting = "struct variant ActivePlan::Transit";
  static constexpr auto fields =
      std::tuple{field("transit", &R::transit), field("origin", &R::origin),
                 field("origin_name", &R::origin_name), field("dest", &R::dest),
                 field("dest_name", &R::dest_name)};
};

template <> struct Record<MapsAction::UpsertPlaces> {
  static constexpr std::string_view expecting = "struct variant MapsAction::UpsertPlaces";
  static constexpr auto fields = std::tuple{field("places", &MapsAction::UpsertPlaces::places)};
};

template <> struct Record<MapsAction::SetPlaceSaved> {
  using R = MapsAction::SetPlaceSaved;
  static constexpr std::string_view expecting = "struct variant MapsAction::SetPlaceSaved";
  static constexpr auto fields = std::tuple{field("id", &R::id), field("saved", &R::saved)};
};

template <> struct Record<MapsAction::CommitSearch> {
  static constexpr std::string_view expecting = "struct variant MapsAction::CommitSearch";
  static constexpr auto fields = std::tuple{field("query", &MapsAction::CommitSearch::query)};
};

template <> struct Record<MapsAction::SetTravelMode> {
  static constexpr std::string_view expecting = "struct variant MapsAction::SetTravelMode";
  static constexpr auto fields = std::tuple{field("mode", &MapsAction::SetTravelMode::mode)};
};

template <> struct Record<MapsAction::SetTransitTime> {
  static constexpr std::string_view expecting = "struct variant MapsAction::SetTransitTime";
  static constexpr auto fields = std::tuple{field("value", &MapsAction::SetTransitTime::value)};
};

template <> struct Record<MapsAction::SetRoute> {
  using R = MapsAction::SetRoute;
  static constexpr std::string_view expecting = "struct variant MapsAction::SetRoute";
  static constexpr auto fields = std::tuple{field("route", &R::route),
                                            field("origin", &R::origin),
                                            field("origin_name", &R::origin_name),
                                            field("dest", &R::dest),
                                            field("dest_name", &R::dest_name),
                                            field("mode", &R::mode)};
};

template <> struct Record<MapsAction::SetTransit> {
  using R = MapsAction::SetTransit;
  static constexpr std::string_view expecting = "struct variant MapsAction::SetTransit";
  static constexpr auto fields =
      std::tuple{field("transit", &R::transit), field("origin", &R::origin),
                 field("origin_name", &R::origin_name), field("dest", &R::dest),
                 field("dest_name", &R::dest_name)};
};

template <> struct Record<MapsAction::DeleteRegion> {
  static constexpr std::string_view expecting = "struct variant MapsAction::DeleteRegion";
  static constexpr auto fields = std::tuple{field("id", &MapsAction::DeleteRegion::id)};
};

template <class T>
concept IsRecord = requires {
  Record<T>::fields;
};

/// A variant carrying one unnamed value, written as that value itself.
template <class T> struct Newtype;

template <> struct Newtype<MapsAction::AddRegion> {
  static constexpr auto member = &MapsAction::AddRegion::region;
};

template <class T>
concept IsNewtype = requires {
  Newtype<T>::member;
};

template <class E> struct Enum;

template <> struct Enum<PlaceCategory> {
  static constexpr auto const& names = PLACE_CATEGORY_NAMES;
  static constexpr std::string_view expecting = "enum PlaceCategory";
};
template <> struct Enum<Maneuver> {
  static constexpr auto const& names = MANEUVER_NAMES;
  static constexpr std::string_view expecting = "enum Maneuver";
};
template <> struct Enum<TravelMode> {
  static constexpr auto const& names = TRAVEL_MODE_NAMES;
  static constexpr std::string_view expecting = "enum TravelMode";
};
template <> struct Enum<LegMode> {
  static constexpr auto const& names = LEG_MODE_NAMES;
  static constexpr std::string_view expecting = "enum LegMode";
};
template <> struct Enum<TransitTimeMode> {
  static constexpr auto const& names = TRANSIT_TIME_MODE_NAMES;
  static constexpr std::string_view expecting = "enum TransitTimeMode";
};
template <> struct Enum<Panel> {
  static constexpr auto const& names = PANEL_NAMES;
  static constexpr std::string_view expecting = "enum Panel";
};

template <class T>
concept IsEnum = requires {
  Enum<T>::names;
};

inline constexpr std::array<std::string_view, 3> ACTIVE_PLAN_NAMES = {"None", "Route", "Transit"};

template <class U> struct Union;

template <> struct Union<ActivePlan> {
  static constexpr auto const& names = ACTIVE_PLAN_NAMES;
  static constexpr std::string_view expecting = "enum ActivePlan";
};
template <> struct Union<MapsAction> {
  static constexpr auto const& names = MAPS_ACTION_NAMES;
  static constexpr std::string_view expecting = "enum MapsAction";
};

template <class T>
concept IsUnion = requires {
  Union<T>::names;
};

template <class T> inline constexpr bool is_optional = false;
template <class T> inline constexpr bool is_optional<std::optional<T>> = true;

template <class T> inline constexpr bool is_vector = false;
template <class T> inline constexpr bool is_vector<std::vector<T>> = true;

template <class Tuple, class F> constexpr void for_each_indexed(Tuple const& tuple, F&& f) {
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (f(std::get<I>(tuple), I), ...);
  }
  (std::make_index_sequence<std::tuple_size_v<Tuple>>{});
}

template <class T> constexpr std::size_t field_count() {
  return std::tuple_size_v<std::remove_cvref_t<decltype(Record<T>::fields)>>;
}

} // namespace maps::json_forms
