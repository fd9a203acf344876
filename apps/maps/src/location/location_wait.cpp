#include "location/location_wait.h"

#include <cmath>

#include <fmt/format.h>

namespace maps {

namespace {

/// Reads a finite double member of an a{sv} dictionary.
std::optional<double> dict_double(GVariant* dict, char const* key) {
  double value = 0.0;
  if (!g_variant_lookup(dict, key, "d", &value) || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

} // namespace

void LocationWait::settle_start() {
  if (!start_replied || start_ok || start_error) {
    return;
  }
  for (auto const* path : {&predicted_request, &returned_request}) {
    auto it = path->empty() ? responses.end() : responses.find(*path);
    if (it == responses.end()) {
      continue;
    }
    switch (it->second) {
    case 0:
      start_ok = true;
      break;
    case 1:
      start_error = "location request cancelled";
      break;
    default:
      start_error = fmt::format("location request failed (portal response {})", it->second);
      break;
    }
    return;
  }
}

void LocationWait::take_start_reply(GVariant* reply) {
  if (!g_variant_is_of_type(reply, G_VARIANT_TYPE("(o)"))) {
    return;
  }
  char const* path = nullptr;
  g_variant_get(reply, "(&o)", &path);
  if (predicted_request != path) {
    returned_request = path;
  }
  start_replied = true;
  settle_start();
}

void LocationWait::take_response(std::string_view object_path, GVariant* parameters) {
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) {
    return;
  }
  std::uint32_t code = 2;
  g_variant_get(parameters, "(u@a{sv})", &code, nullptr);
  responses.emplace(object_path, code);
  settle_start();
}

void LocationWait::take_update(GVariant* parameters) {
  if (fix || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(oa{sv})"))) {
    return;
  }
  char const* session = nullptr;
  GVariant* dict = nullptr;
  g_variant_get(parameters, "(&o@a{sv})", &session, &dict);
  bool const ours = session_path == session;
  auto const lat = ours ? dict_double(dict, "Latitude") : std::nullopt;
  auto const lon = ours ? dict_double(dict, "Longitude") : std::nullopt;
  g_variant_unref(dict);
  if (!lat || !lon || std::fabs(*lat) > 90.0 || std::fabs(*lon) > 180.0) {
    return; // another session's update, or not a usable position: keep waiting for one
  }
  fix = LocationFix{*lat, *lon};
}

LocationResult LocationWait::outcome() const {
  if (start_error) {
    return base::fail(*start_error);
  }
  if (start_ok && fix) {
    return *fix;
  }
  if (timed_out) {
    return base::fail("timed out waiting for a location fix");
  }
  return base::fail("no location fix available");
}

} // namespace maps
