#pragma once
// What a failed location request means to the user: the status line (and the message other
// programs get) for an error text of the location channel. The channel's own texts, with the
// portal's D-Bus error names, are for the log.

#include <string>
#include <string_view>

namespace maps {

/// "Location unavailable — turned off in this desktop's privacy settings" for a portal that
/// answers org.freedesktop.portal.Error.NotAllowed; the request's own texts ("timed out waiting
/// for a location fix") follow the same prefix; an error nobody can act on reads as a failure of
/// the desktop's location service.
std::string location_failure_status(std::string_view error);

} // namespace maps
