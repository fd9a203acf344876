#include "location/failure_text.h"

#include <algorithm>
#include <array>

#include "location/location.h"

namespace maps {

namespace {

constexpr std::string_view UNAVAILABLE = "Location unavailable \xE2\x80\x94 ";
constexpr std::string_view NO_SERVICE = "no location service on this desktop";
constexpr std::string_view NO_ANSWER = "the desktop's location service did not answer";
constexpr std::string_view REFUSED = "not allowed for this application";
constexpr std::string_view CANCELLED = "the request was cancelled";
constexpr std::string_view FAILED = "the desktop's location service failed";

struct Wording {
  std::string_view error; // a D-Bus error name, or a text of the location request itself
  std::string_view text;
};

constexpr std::array<Wording, 15> WORDINGS = {{
    {"org.freedesktop.portal.Error.NotAllowed", "turned off in this desktop's privacy settings"},
    {"org.freedesktop.portal.Error.Cancelled", CANCELLED},
    {"org.freedesktop.DBus.Error.AccessDenied", REFUSED},
    {"org.freedesktop.DBus.Error.NoReply", NO_ANSWER},
    {"org.freedesktop.DBus.Error.Timeout", NO_ANSWER},
    {"org.freedesktop.DBus.Error.TimedOut", NO_ANSWER},
    {"org.freedesktop.DBus.Error.ServiceUnknown", NO_SERVICE},
    {"org.freedesktop.DBus.Error.NameHasNoOwner", NO_SERVICE},
    {"org.freedesktop.DBus.Error.UnknownInterface", NO_SERVICE},
    {"org.freedesktop.DBus.Error.UnknownMethod", NO_SERVICE},
    // The portal's Response codes: 1 the user cancelled, 2 the request was refused.
    {"location request cancelled", CANCELLED},
    {"location request failed (portal response 2)", REFUSED},
    // Texts that already say what happened.
    {"timed out waiting for a location fix", "timed out waiting for a location fix"},
    {"no location fix available", "no location fix available"},
    {"failed to spawn location worker thread", "the location request could not be started"},
}};

bool name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

/// The D-Bus error name that starts "name: message", or the whole text when it has none.
std::string_view error_key(std::string_view error) {
  auto const colon = error.find(": ");
  if (colon == std::string_view::npos || colon == 0) {
    return error;
  }
  std::string_view const name = error.substr(0, colon);
  bool const dotted = name.find('.') != std::string_view::npos && name.front() != '.' &&
                      name.back() != '.' && name.find("..") == std::string_view::npos;
  bool const plain =
      std::all_of(name.begin(), name.end(), [](char c) { return c == '.' || name_char(c); });
  return dotted && plain ? name : error;
}

} // namespace

std::string location_failure_status(std::string_view error) {
  if (error.starts_with(PORTAL_UNAVAILABLE)) {
    return std::string(UNAVAILABLE) + std::string(NO_SERVICE);
  }
  std::string_view const key = error_key(error);
  auto const it = std::find_if(WORDINGS.begin(), WORDINGS.end(),
                               [&](Wording const& w) { return w.error == key; });
  return std::string(UNAVAILABLE) + std::string(it != WORDINGS.end() ? it->text : FAILED);
}

} // namespace maps
