// The model's JSON forms: the first byte picks the type, the rest is the text. Whatever reads
// must write a text that reads back to the same value and writes to the same text again.

#include <string>

#include "model/json.h"
#include "targets.h"

namespace maps::fuzz {
namespace {

template <class T> bool round_trip(std::string_view text) {
  auto const value = from_json_text<T>(text);
  if (!value) {
    check(!value.error().empty(), "a refused text without a reason");
    return false;
  }
  if constexpr (JsonWritable<T>) {
    std::string const written = to_json_text(*value);
    auto const again = from_json_text<T>(written);
    check(again.has_value(), "a written form does not read back");
    check(*again == *value, "a written form reads back to another value");
    check(to_json_text(*again) == written, "a written form is not stable");
  }
  return true;
}

using Reader = bool (*)(std::string_view);

constexpr Reader READERS[] = {
    round_trip<LatLon>,          round_trip<Place>,
    round_trip<RouteStep>,       round_trip<Route>,
    round_trip<TransitLeg>,      round_trip<TransitJourney>,
    round_trip<TransitTime>,     round_trip<DownloadedRegion>,
    round_trip<ActivePlan>,      round_trip<MapsAction>,
    round_trip<PlaceCategory>,   round_trip<Maneuver>,
    round_trip<TravelMode>,      round_trip<LegMode>,
    round_trip<TransitTimeMode>, round_trip<Panel>,
    round_trip<MapModel>,
};

} // namespace

bool model_json(Bytes data) {
  if (data.empty()) {
    return false;
  }
  return READERS[data[0] % std::size(READERS)](as_text(data.subspan(1)));
}

} // namespace maps::fuzz
