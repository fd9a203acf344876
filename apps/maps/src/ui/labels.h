#pragma once
// Display texts of model enumerations, as the panels show them.

#include <string_view>

#include "model/types.h"

namespace maps {

/// "Landmark", "Café", …, "Transit stop", …, "Place" for Other.
constexpr std::string_view category_label(PlaceCategory category) {
  switch (category) {
  case PlaceCategory::Landmark:
    return "Landmark";
  case PlaceCategory::Cafe:
    return "Caf\xC3\xA9";
  case PlaceCategory::Restaurant:
    return "Restaurant";
  case PlaceCategory::Bar:
    return "Bar";
  case PlaceCategory::Museum:
    return "Museum";
  case PlaceCategory::Park:
    return "Park";
  case PlaceCategory::Transit:
    return "Transit stop";
  case PlaceCategory::Hotel:
    return "Hotel";
  case PlaceCategory::Shop:
    return "Shop";
  case PlaceCategory::Hospital:
    return "Hospital";
  case PlaceCategory::Other:
    return "Place";
  }
  return "Place";
}

/// "Drive", "Transit", "Cycle", "Walk".
constexpr std::string_view travel_mode_display_name(TravelMode mode) {
  switch (mode) {
  case TravelMode::Car:
    return "Drive";
  case TravelMode::Transit:
    return "Transit";
  case TravelMode::Bike:
    return "Cycle";
  case TravelMode::Foot:
    return "Walk";
  }
  return "Drive";
}

} // namespace maps
