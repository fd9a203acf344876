#pragma once
// The model's plain value types: positions, places, road routes, transit journeys, the
// departure-time choice, offline areas, the active plan and the whole MapModel. They carry no
// behaviour beyond construction, deep copy (they own every member), equality and a debug text.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace maps {

struct LatLon {
  double lat = 0.0; // degrees, north positive
  double lon = 0.0; // degrees, east positive
  bool operator==(LatLon const&) const = default;
};

enum class PlaceCategory : std::uint8_t {
  Landmark,
  Cafe,
  Restaurant,
  Bar,
  Museum,
  Park,
  Transit,
  Hotel,
  Shop,
  Hospital,
  Other,
};

enum class Maneuver : std::uint8_t {
  Depart,
  Continue,
  SlightLeft,
  Left,
  SharpLeft,
  SlightRight,
  Right,
  SharpRight,
  Uturn,
  Roundabout,
  Merge,
  Arrive,
};

enum class TravelMode : std::uint8_t { Car, Transit, Bike, Foot };

enum class LegMode : std::uint8_t { Walk, Bus, Tram, Subway, Rail, Ferry };

enum class TransitTimeMode : std::uint8_t { Depart, Arrive };

enum class Panel : std::uint8_t { Explore, Directions };

/// Variant names in declaration order, as the JSON forms and debug texts spell them.
inline constexpr std::array<std::string_view, 11> PLACE_CATEGORY_NAMES = {
    "Landmark", "Cafe",  "Restaurant", "Bar",      "Museum", "Park",
    "Transit",  "Hotel", "Shop",       "Hospital", "Other"};
inline constexpr std::array<std::string_view, 12> MANEUVER_NAMES = {
    "Depart", "Continue",   "SlightLeft", "Left",       "SharpLeft", "SlightRight",
    "Right",  "SharpRight", "Uturn",      "Roundabout", "Merge",     "Arrive"};
inline constexpr std::array<std::string_view, 4> TRAVEL_MODE_NAMES = {"Car", "Transit", "Bike",
                                                                      "Foot"};
inline constexpr std::array<std::string_view, 6> LEG_MODE_NAMES = {"Walk",   "Bus",  "Tram",
                                                                   "Subway", "Rail", "Ferry"};
inline constexpr std::array<std::string_view, 2> TRANSIT_TIME_MODE_NAMES = {"Depart", "Arrive"};
inline constexpr std::array<std::string_view, 2> PANEL_NAMES = {"Explore", "Directions"};

constexpr std::string_view variant_name(PlaceCategory v) {
  return PLACE_CATEGORY_NAMES[static_cast<std::size_t>(v)];
}
constexpr std::string_view variant_name(Maneuver v) {
  return MANEUVER_NAMES[static_cast<std::size_t>(v)];
}
constexpr std::string_view variant_name(TravelMode v) {
  return TRAVEL_MODE_NAMES[static_cast<std::size_t>(v)];
}
constexpr std::string_view variant_name(LegMode v) {
  return LEG_MODE_NAMES[static_cast<std::size_t>(v)];
}
constexpr std::string_view variant_name(TransitTimeMode v) {
  return TRANSIT_TIME_MODE_NAMES[static_cast<std::size_t>(v)];
}
constexpr std::string_view variant_name(Panel v) {
  return PANEL_NAMES[static_cast<std::size_t>(v)];
}

struct Place {
  std::string id; // unique key: "osm-node-203" from services, short fixed ids for samples
  std::string name;
  PlaceCategory category = PlaceCategory::Other;
  std::string address; // one line, may be empty
  LatLon pos;
  bool saved = false;
  bool operator==(Place const&) const = default;
};

struct RouteStep {
  std::string instruction;
  double distance_m = 0.0;
  Maneuver maneuver = Maneuver::Continue;
  bool operator==(RouteStep const&) const = default;
};

struct Route {
  TravelMode mode = TravelMode::Car;
  double distance_m = 0.0;
  double duration_s = 0.0;
  std::vector<LatLon> geometry; // in travel order
  std::vector<RouteStep> steps;
  LatLon from;
  LatLon to;
  bool operator==(Route const&) const = default;
};

struct TransitLeg {
  LegMode mode = LegMode::Walk;
  std::string line; // "U3", "17"
  std::string headsign;
  std::string from_name;
  std::string to_name;
  std::string dep; // "HH:MM"
  std::string arr;
  std::uint32_t duration_min = 0;
  std::uint32_t num_stops = 0;
  std::vector<LatLon> geometry;
  std::optional<std::string> color;      // "eb690b", absent when the service gives none
  std::optional<std::string> text_color; // same form
  std::string agency;
  bool realtime = false;
  bool operator==(TransitLeg const&) const = default;
};

struct TransitJourney {
  std::string dep;
  std::string arr;
  std::uint32_t duration_min = 0;
  std::uint32_t transfers = 0;
  std::vector<TransitLeg> legs;
  bool operator==(TransitJourney const&) const = default;
};

struct TransitTime {
  TransitTimeMode mode = TransitTimeMode::Depart;
  std::int32_t offset_min = 0; // minutes from now; the UI keeps 0..1440 in steps of 15
  bool operator==(TransitTime const&) const = default;
};

struct DownloadedRegion {
  std::string id; // "region:…" for areas the user downloads
  std::string name;
  LatLon min; // south-west
  LatLon max; // north-east
  std::uint8_t z0 = 0;
  std::uint8_t z1 = 0;
  std::uint32_t tiles = 0;
  bool operator==(DownloadedRegion const&) const = default;
};

/// The plan the document keeps as JSON text.
struct ActivePlan {
  struct None {
    bool operator==(None const&) const = default;
  };
  struct Route {
    maps::Route route;
    std::optional<LatLon> origin;
    std::string origin_name;
    std::optional<LatLon> dest;
    std::string dest_name;
    TravelMode mode = TravelMode::Car;
    bool operator==(Route const&) const = default;
  };
  struct Transit {
    std::vector<TransitJourney> transit;
    std::optional<LatLon> origin;
    std::string origin_name;
    std::optional<LatLon> dest;
    std::string dest_name;
    bool operator==(Transit const&) const = default;
  };
  std::variant<None, Route, Transit> value;
  bool operator==(ActivePlan const&) const = default;
};

inline constexpr std::size_t MAX_RECENTS = 8;

/// What the status line tells, as its writer meant it: a note is shown while work runs, a
/// warning or an error until it is replaced (whatever words the text uses).
enum class StatusKind { Note, Warning, Error };

/// The whole application model; the fields marked "doc" are also persisted.
struct MapModel {
  std::vector<Place> places;        // doc; unique by id
  std::vector<std::string> recents; // doc; newest first, at most MAX_RECENTS
  std::optional<std::string> selected;
  std::optional<Route> route;          // doc
  std::vector<TransitJourney> transit; // doc
  std::size_t transit_choice = 0;
  Panel panel = Panel::Explore;
  TravelMode mode = TravelMode::Car; // doc
  std::string query;
  std::string origin_query;
  std::string dest_query;
  TransitTime transit_time; // doc
  std::vector<Place> results;
  std::optional<LatLon> origin;           // doc; absent: the route starts at the map centre
  std::string origin_name = "Map centre"; // doc
  std::optional<LatLon> dest;             // doc
  std::string dest_name;                  // doc
  LatLon center{48.1371, 11.5754};
  double zoom = 14.4; // the UI keeps 3..19
  std::string status;
  StatusKind status_kind = StatusKind::Note; // set with `status` by `set_status`
  std::vector<DownloadedRegion> regions;     // doc
  bool operator==(MapModel const&) const = default;
};

/// A place that is never saved; note the argument order (category and position first).
Place new_place(std::string_view id, std::string_view name, PlaceCategory category, double lat,
                double lon, std::string_view address);

MapModel default_map_model();

/// Debug texts: the type name, then each field's name and value in declaration order.
std::string debug_text(LatLon const& v);
std::string debug_text(Place const& v);
std::string debug_text(RouteStep const& v);
std::string debug_text(Route const& v);
std::string debug_text(TransitLeg const& v);
std::string debug_text(TransitJourney const& v);
std::string debug_text(TransitTime const& v);
std::string debug_text(DownloadedRegion const& v);
std::string debug_text(ActivePlan const& v);
inline std::string debug_text(PlaceCategory v) {
  return std::string(variant_name(v));
}
inline std::string debug_text(Maneuver v) {
  return std::string(variant_name(v));
}
inline std::string debug_text(TravelMode v) {
  return std::string(variant_name(v));
}
inline std::string debug_text(LegMode v) {
  return std::string(variant_name(v));
}
inline std::string debug_text(TransitTimeMode v) {
  return std::string(variant_name(v));
}
inline std::string debug_text(Panel v) {
  return std::string(variant_name(v));
}

} // namespace maps
