// The status line of a failed location request: the user's words, never the portal's.

#include "location/failure_text.h"

#include <string>

#include <gtest/gtest.h>

namespace maps {
namespace {

TEST(LocationFailureStatus, SaysWhatHappenedInTheUsersWords) {
  std::string const prefix = "Location unavailable \xE2\x80\x94 ";
  struct Case {
    char const* error;
    std::string status;
  } const cases[] = {
      {"org.freedesktop.portal.Error.NotAllowed: Location services disabled",
       prefix + "turned off in this desktop's privacy settings"},
      {"location portal unavailable: Failed to execute child process \"dbus-launch\"",
       "Location unavailable \xE2\x80\x94 no location service on this desktop"},
      {"org.freedesktop.DBus.Error.ServiceUnknown: The name org.freedesktop.portal.Desktop was "
       "not provided by any .service files",
       prefix + "no location service on this desktop"},
      {"org.freedesktop.DBus.Error.NoReply: Did not receive a reply",
       prefix + "the desktop's location service did not answer"},
      {"org.freedesktop.portal.Error.Cancelled: cancelled", prefix + "the request was cancelled"},
      {"timed out waiting for a location fix", prefix + "timed out waiting for a location fix"},
      {"no location fix available", prefix + "no location fix available"},
      {"failed to spawn location worker thread",
       prefix + "the location request could not be started"},
      // Whatever else the desktop says stays in the log.
      {"org.example.Portal.Error.Strange: a long story about the portal's insides",
       prefix + "the desktop's location service failed"},
      {"The connection is closed", prefix + "the desktop's location service failed"},
      {"location request failed (portal response 3)",
       prefix + "the desktop's location service failed"},
      {": org.freedesktop.portal.Error.NotAllowed",
       prefix + "the desktop's location service failed"},
      {"", prefix + "the desktop's location service failed"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(location_failure_status(c.error), c.status);
  }
}

} // namespace
} // namespace maps
