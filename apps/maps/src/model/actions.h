#pragma once
// MapsAction: every lasting change to the persisted model, as one value naming the change and
// owning its data. Its JSON forms live in model/json.h; what each action does to the document is
// the document updaters' business (doc/).

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/types.h"

namespace maps {

struct MapsAction {
  struct UpsertPlaces {
    std::vector<Place> places;
    bool operator==(UpsertPlaces const&) const = default;
  };
  struct SetPlaceSaved {
    std::string id;
    bool saved = false;
    bool operator==(SetPlaceSaved const&) const = default;
  };
  struct CommitSearch {
    std::string query;
    bool operator==(CommitSearch const&) const = default;
  };
  struct ClearRecents {
    bool operator==(ClearRecents const&) const = default;
  };
  struct SetTravelMode {
    TravelMode mode = TravelMode::Car;
    bool operator==(SetTravelMode const&) const = default;
  };
  struct SetTransitTime {
    TransitTime value;
    bool operator==(SetTransitTime const&) const = default;
  };
  struct ClearRoute {
    bool operator==(ClearRoute const&) const = default;
  };
  struct SetRoute {
    maps::Route route;
    std::optional<LatLon> origin;
    std::string origin_name;
    std::optional<LatLon> dest;
    std::string dest_name;
    TravelMode mode = TravelMode::Car;
    bool operator==(SetRoute const&) const = default;
  };
  struct SetTransit {
    std::vector<TransitJourney> transit;
    std::optional<LatLon> origin;
    std::string origin_name;
    std::optional<LatLon> dest;
    std::string dest_name;
    bool operator==(SetTransit const&) const = default;
  };
  struct ClearTransit {
    bool operator==(ClearTransit const&) const = default;
  };
  /// Carries its region as one unnamed value: {"AddRegion":{"id":…,…}}.
  struct AddRegion {
    DownloadedRegion region;
    bool operator==(AddRegion const&) const = default;
  };
  struct DeleteRegion {
    std::string id;
    bool operator==(DeleteRegion const&) const = default;
  };
  struct ClearRegions {
    bool operator==(ClearRegions const&) const = default;
  };

  /// The alternatives in this order; value.index() is the variant number and the index into
  /// MAPS_ACTION_NAMES.
  using Value = std::variant<UpsertPlaces, SetPlaceSaved, CommitSearch, ClearRecents, SetTravelMode,
                             SetTransitTime, ClearRoute, SetRoute, SetTransit, ClearTransit,
                             AddRegion, DeleteRegion, ClearRegions>;
  Value value;

  bool operator==(MapsAction const&) const = default;
};

/// Variant names in declaration order; error texts list them in this order.
inline constexpr std::array<std::string_view, 13> MAPS_ACTION_NAMES = {
    "UpsertPlaces",   "SetPlaceSaved", "CommitSearch", "ClearRecents", "SetTravelMode",
    "SetTransitTime", "ClearRoute",    "SetRoute",     "SetTransit",   "ClearTransit",
    "AddRegion",      "DeleteRegion",  "ClearRegions"};

static_assert(std::variant_size_v<MapsAction::Value> == MAPS_ACTION_NAMES.size());

inline std::string_view variant_name(MapsAction const& action) {
  return MAPS_ACTION_NAMES[action.value.index()];
}

/// The variant name followed by its members with their names and values
/// (`SetPlaceSaved { id: "a", saved: true }`), `AddRegion(DownloadedRegion { … })` for the one
/// unnamed value, and the bare name for variants without members (`ClearRoute`).
std::string debug_text(MapsAction const& action);

} // namespace maps
