// The desktop portals' answers as another process sends them: the Settings portal's replies and
// SettingChanged signals, and the location session's Start reply, Request responses and
// location updates. Signal bodies may have any type; replies have the type GDBus checked.

#include <cmath>
#include <string>

#include "bus_calls.h"
#include "location/location_wait.h"
#include "platform/bus/desktop_settings.h"
#include "targets.h"

namespace maps::fuzz {

namespace {

/// One of `known`, or a text of the input: the bus delivers UTF-8 strings only.
std::string_view pick_of(FuzzInput& in, std::initializer_list<std::string_view> known) {
  auto const i = in.pick(known.size() + 1);
  if (i < known.size()) {
    return known.begin()[i];
  }
  auto const text = in.text();
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr) ? text : "";
}

bool same(zarn_ui::bus::SettingsReadings const& a, zarn_ui::bus::SettingsReadings const& b) {
  return a.color_scheme == b.color_scheme && a.contrast == b.contrast &&
         a.reduced_motion == b.reduced_motion && a.enable_animations == b.enable_animations;
}

/// An object path from the input: one of `known`, or the input's own when it is valid.
std::string object_path(FuzzInput& in, std::initializer_list<std::string_view> known) {
  std::string path(pick_of(in, known));
  return g_variant_is_object_path(path.c_str()) ? path : std::string(known.begin()[0]);
}

} // namespace

bool settings_portal(Bytes data) {
  fatal_glib_criticals();
  zarn_ui::bus::SettingsReadings readings;
  FuzzInput in(data);
  bool any = false;
  while (!in.empty()) {
    auto const before = readings;
    bool stored = false;
    switch (in.byte() % 3) {
    case 0: { // a signal body of any type
      auto const body = value_of_any_type(in, G_VARIANT_TYPE("(ssv)"));
      stored = readings.store_change(body.get());
      break;
    }
    case 1: { // a SettingChanged signal of the right shape around a value of any type
      std::string const ns(
          pick_of(in, {"org.freedesktop.appearance", "org.gnome.desktop.interface"}));
      std::string const key(
          pick_of(in, {"color-scheme", "contrast", "reduced-motion", "enable-animations"}));
      auto const value = value_of_any_type(in, G_VARIANT_TYPE_UINT32);
      Variant const body(
          g_variant_new("(ss@v)", ns.c_str(), key.c_str(), g_variant_new_variant(value.get())));
      stored = readings.store_change(body.get());
      break;
    }
    default: { // a Read or ReadOne reply
      std::string const ns(
          pick_of(in, {"org.freedesktop.appearance", "org.gnome.desktop.interface"}));
      std::string const key(
          pick_of(in, {"color-scheme", "contrast", "reduced-motion", "enable-animations"}));
      auto const reply = value_of_type(in, G_VARIANT_TYPE("(v)"));
      stored = readings.store_read(ns, key, reply.get());
      break;
    }
    }
    check(stored || same(before, readings), "a setting not stored changed the readings");
    any = any || stored;
    auto const a = readings.appearance();
    check(a.scheme <= zarn_ui::bus::Appearance::Scheme::Light, "an appearance outside its range");
  }
  return any;
}

bool location_portal(Bytes data) {
  fatal_glib_criticals();
  constexpr std::string_view SESSION = "/org/freedesktop/portal/desktop/session/1_7/maps_s";
  constexpr std::string_view REQUEST = "/org/freedesktop/portal/desktop/request/1_7/maps_r";
  constexpr std::string_view OTHER = "/org/freedesktop/portal/desktop/request/1_7/other";
  LocationWait wait;
  wait.session_path = SESSION;
  wait.predicted_request = REQUEST;
  FuzzInput in(data);
  while (!in.empty()) {
    switch (in.byte() % 5) {
    case 0: {
      auto const path = object_path(in, {REQUEST, OTHER});
      Variant const reply(g_variant_new("(o)", path.c_str()));
      wait.take_start_reply(reply.get());
      break;
    }
    case 1: {
      auto const path = object_path(in, {REQUEST, OTHER});
      auto const results = value_of_type(in, G_VARIANT_TYPE("a{sv}"));
      Variant const body(g_variant_new("(u@a{sv})", in.u32() % 4, results.get()));
      wait.take_response(path, body.get());
      break;
    }
    case 2: {
      auto const session = object_path(in, {SESSION, OTHER});
      auto const update = value_of_type(in, G_VARIANT_TYPE("a{sv}"));
      Variant const body(g_variant_new("(o@a{sv})", session.c_str(), update.get()));
      wait.take_update(body.get());
      break;
    }
    case 3: {
      auto const path = object_path(in, {REQUEST, OTHER});
      wait.take_response(path, value_of_any_type(in, G_VARIANT_TYPE("(ua{sv})")).get());
      break;
    }
    default:
      wait.take_update(value_of_any_type(in, G_VARIANT_TYPE("(oa{sv})")).get());
      break;
    }
    if (wait.fix) {
      check(std::isfinite(wait.fix->lat) && std::isfinite(wait.fix->lon) &&
                std::fabs(wait.fix->lat) <= 90.0 && std::fabs(wait.fix->lon) <= 180.0,
            "a location fix outside the globe");
    }
    check(!(wait.start_ok && wait.start_error), "a start both granted and refused");
    if (wait.finished()) {
      auto const outcome = wait.outcome();
      check(outcome.has_value() == (wait.start_ok && wait.fix.has_value()),
            "a finished wait's outcome does not match its state");
    }
  }
  return wait.fix.has_value();
}

} // namespace maps::fuzz
