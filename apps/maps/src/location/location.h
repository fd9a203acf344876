#pragma once
// One "use my location" request: a session with the desktop's location portal over the D-Bus
// session bus, run on its own thread "maps-location", ending with exactly one fix or error text
// on a channel the UI polls. Nothing here retries or touches the UI.

#include <chrono>
#include <string>
#include <string_view>

#include "base/channel.h"
#include "base/result.h"

namespace maps {

/// The position of the first location update of a session, in degrees.
struct LocationFix {
  double lat = 0.0;
  double lon = 0.0;
  bool operator==(LocationFix const&) const = default;
};

/// What the location channel carries: a fix or an error text.
using LocationResult = base::Result<LocationFix>;

/// The start of every error text that means no portal could be reached at all (no session bus,
/// or no location portal on it), as opposed to a portal that refused or failed.
inline constexpr std::string_view PORTAL_UNAVAILABLE = "location portal unavailable";

/// Time allowed for the portal's Start answer and the first location update together.
inline constexpr std::chrono::seconds LOCATION_FIX_TIMEOUT{20};

/// Where and how long one request runs; tests point it at a private bus with a short time-out.
struct LocationConfig {
  std::string bus_address; // D-Bus address; empty: the session bus of the environment
  std::chrono::milliseconds timeout = LOCATION_FIX_TIMEOUT;
};

/// Starts the detached thread "maps-location" and returns the receiver of its one answer.
/// The channel closes once the worker has sent. Never blocks.
base::Receiver<LocationResult> start_location_request(LocationConfig config = {});

/// The thread body: runs `locate_once` and sends its outcome (a dropped receiver is ignored).
void location_worker(base::Sender<LocationResult> sender, LocationConfig config);

/// One complete portal session on the calling thread (blocking).
LocationResult locate_once(LocationConfig const& config);

} // namespace maps
