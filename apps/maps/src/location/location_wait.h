#pragma once
// The state of one location session's wait and what it takes from the portal's answers: the
// Start reply, Request responses and location updates, each as the bus delivers it (signal
// bodies of any type). Pure: no bus, so the readers can be driven directly.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <gio/gio.h>

#include "location/location.h"

namespace maps {

struct LocationWait {
  std::string session_path;
  std::string predicted_request;
  std::string returned_request;                   // from Start's reply, when it differs
  std::map<std::string, std::uint32_t> responses; // Request path -> response code
  bool start_replied = false;
  bool start_ok = false;
  std::optional<std::string> start_error;
  std::optional<LocationFix> fix;
  bool stream_ended = false;
  bool timed_out = false;
  bool call_in_flight = false;

  /// Start's reply, of type (o).
  void take_start_reply(GVariant* reply);
  /// A Response signal's body from the Request object at `object_path`.
  void take_response(std::string_view object_path, GVariant* parameters);
  /// A LocationUpdated signal's body: the first finite position in range of this session is
  /// the fix.
  void take_update(GVariant* parameters);

  // A refused Start ends the wait at once: waiting on would only report the time-out.
  bool finished() const {
    return start_error.has_value() || (start_ok && (fix.has_value() || stream_ended)) || timed_out;
  }
  LocationResult outcome() const;

private:
  void settle_start();
};

} // namespace maps
