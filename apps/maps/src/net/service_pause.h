#pragma once
// The services that asked to be left alone: a 429 or 503 answer with Retry-After pauses its
// origin (scheme, host and port), and until then no request of the process goes there. Shared
// by the service queries and the tile worker; safe to use from any thread.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace maps {

/// Longest pause honoured: a server asking for more is asked again after this.
inline constexpr std::chrono::seconds MAX_SERVICE_PAUSE{15 * 60};

/// When a paused origin may be asked again: the monotonic instant the gate compares with, and
/// the wall-clock time the user is told.
struct ServicePause {
  std::chrono::steady_clock::time_point until;
  std::chrono::system_clock::time_point wall_until;
};

/// "https://host:port" of a URL (everything before its path, query or fragment).
std::string_view url_origin(std::string_view url);

/// True for a status that asks the client to come back later (429, 503).
bool asks_for_pause(unsigned status);

/// Pauses the URL's origin for `delay` (at most MAX_SERVICE_PAUSE) from `now`; an earlier end
/// of a pause already running is not brought forward.
ServicePause
pause_service(std::string_view url, std::chrono::seconds delay,
              std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());

/// The pause of the URL's origin when it has not ended at `now`.
std::optional<ServicePause>
service_paused(std::string_view url,
               std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());

/// Ends every pause (tests, whose servers on 127.0.0.1 reuse ports).
void forget_service_pauses();

/// "the service is busy until 14:33", in local time (rounded up to the minute): the failure text of
/// a paused service.
std::string service_busy_text(ServicePause const& pause);

} // namespace maps
