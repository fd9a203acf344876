// The location session against a mock portal on a private session bus.

#include "location/failure_text.h"
#include "location/location.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gio/gio.h>
#include <gtest/gtest.h>

#include "platform/tests/private_bus.h"

namespace maps {
namespace {

using namespace std::chrono_literals;
using zarn_ui::test::BusService;
using zarn_ui::test::node_info;
using zarn_ui::test::NodeInfo;
using zarn_ui::test::PrivateBusTest;

constexpr char PORTAL_NAME[] = "org.freedesktop.portal.Desktop";
constexpr char PORTAL_PATH[] = "/org/freedesktop/portal/desktop";

constexpr char LOCATION_XML[] = R"(<node>
  <interface name="org.freedesktop.portal.Location">
    <method name="CreateSession">
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="Start">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <signal name="LocationUpdated">
      <arg type="o" name="session_handle"/>
      <arg type="a{sv}" name="location"/>
    </signal>
    <property name="version" type="u" access="read"/>
  </interface>
</node>)";

// Another portal interface, for a portal that lacks Location.
constexpr char OTHER_XML[] = R"(<node>
  <interface name="org.freedesktop.portal.Settings">
    <property name="version" type="u" access="read"/>
  </interface>
</node>)";

constexpr char SESSION_XML[] = R"(<node>
  <interface name="org.freedesktop.portal.Session">
    <method name="Close"/>
  </interface>
</node>)";

// Refuse: Start answers the error a portal gives when location is off in the privacy settings.
enum class StartAnswer { Grant, Deny, Cancel, Refuse };

struct Behaviour {
  bool has_location = true;
  StartAnswer answer = StartAnswer::Grant;
  bool send_update = true;
  bool update_before_response = false;
  bool foreign_update_first = false;
  bool unusable_update_first = false; // our session, but no usable position
  double lat = 52.52;
  double lon = 13.405;
};

/// What the mock saw, read by the test thread.
struct Seen {
  std::optional<std::uint32_t> accuracy;
  std::string session_token;
  bool has_distance_threshold = false;
  std::string start_parent = "unset";
  std::string start_handle_token;
  int session_closes = 0;
};

std::string escaped_sender(char const* sender) {
  std::string s(sender + 1); // drop ':'
  for (char& c : s) {
    if (c == '.') {
      c = '_';
    }
  }
  return s;
}

/// A desktop portal with the Location, Session and Request behaviour on its own thread.
class MockPortal {
public:
  MockPortal(std::string const& address, Behaviour behaviour)
      : behaviour_(behaviour), node_(node_info(behaviour.has_location ? LOCATION_XML : OTHER_XML)),
        session_node_(node_info(SESSION_XML)),
        service_(address, PORTAL_NAME, [this](GDBusConnection* connection) {
          static GDBusInterfaceVTable const vtable = {
              &MockPortal::on_call, &MockPortal::on_get, nullptr, {}};
          g_dbus_connection_register_object(connection, PORTAL_PATH, node_->interfaces[0], &vtable,
                                            this, nullptr, nullptr);
        }) {
    EXPECT_TRUE(service_.owns_name()) << "the portal name is taken";
  }

  Seen seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }
  /// Waits (bounded) until a session was closed.
  bool wait_for_close() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return seen_.session_closes > 0; });
  }

private:
  static GVariant* on_get(GDBusConnection*, char const*, char const*, char const*, char const*,
                          GError**, gpointer) {
    return g_variant_new_uint32(2);
  }

  static void on_call(GDBusConnection*, char const* sender, char const* path, char const* interface,
                      char const* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                      gpointer user_data) {
    auto& self = *static_cast<MockPortal*>(user_data);
    std::string const iface(interface);
    if (iface == "org.freedesktop.portal.Session") {
      {
        std::lock_guard lock(self.mutex_);
        ++self.seen_.session_closes;
      }
      self.changed_.notify_all();
      g_dbus_method_invocation_return_value(invocation, nullptr);
      (void)path;
      return;
    }
    std::string const name(method);
    if (name == "CreateSession") {
      GVariant* options = nullptr;
      g_variant_get(parameters, "(@a{sv})", &options);
      char const* token = nullptr;
      std::uint32_t accuracy = 0;
      {
        std::lock_guard lock(self.mutex_);
        if (g_variant_lookup(options, "session_handle_token", "&s", &token)) {
          self.seen_.session_token = token;
        }
        if (g_variant_lookup(options, "accuracy", "u", &accuracy)) {
          self.seen_.accuracy = accuracy;
        }
        self.seen_.has_distance_threshold =
            g_variant_lookup_value(options, "distance-threshold", nullptr) != nullptr;
      }
      self.session_path_ = fmt::format("{}/session/{}/{}", PORTAL_PATH, escaped_sender(sender),
                                       token != nullptr ? token : "t");
      static GDBusInterfaceVTable const session_vtable = {
          &MockPortal::on_call, nullptr, nullptr, {}};
      g_dbus_connection_register_object(self.service_.connection(), self.session_path_.c_str(),
                                        self.session_node_->interfaces[0], &session_vtable, &self,
                                        nullptr, nullptr);
      g_variant_unref(options);
      g_dbus_method_invocation_return_value(invocation,
                                            g_variant_new("(o)", self.session_path_.c_str()));
      return;
    }
    if (name == "Start") {
      char const* session = nullptr;
      char const* parent = nullptr;
      GVariant* options = nullptr;
      g_variant_get(parameters, "(&o&s@a{sv})", &session, &parent, &options);
      char const* token = "t";
      g_variant_lookup(options, "handle_token", "&s", &token);
      std::string const request =
          fmt::format("{}/request/{}/{}", PORTAL_PATH, escaped_sender(sender), token);
      {
        std::lock_guard lock(self.mutex_);
        self.seen_.start_parent = parent;
        self.seen_.start_handle_token = token;
      }
      g_variant_unref(options);
      Behaviour const& b = self.behaviour_;
      if (b.foreign_update_first) {
        self.emit_update(sender, fmt::format("{}/session/other/x", PORTAL_PATH), -33.9, 151.2);
      }
      if (b.unusable_update_first) {
        self.emit_update(sender, self.session_path_, std::nan(""), 13.0);
        self.emit_update(sender, self.session_path_, 91.0, 13.0);
      }
      if (b.send_update && b.update_before_response) {
        self.emit_update(sender, self.session_path_, b.lat, b.lon);
      }
      if (b.answer == StartAnswer::Refuse) {
        g_dbus_method_invocation_return_dbus_error(
            invocation, "org.freedesktop.portal.Error.NotAllowed", "Location services disabled");
        return;
      }
      g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", request.c_str()));
      std::uint32_t const response =
          b.answer == StartAnswer::Grant ? 0u : (b.answer == StartAnswer::Cancel ? 1u : 2u);
      GVariantBuilder results;
      g_variant_builder_init(&results, G_VARIANT_TYPE("a{sv}"));
      g_dbus_connection_emit_signal(self.service_.connection(), sender, request.c_str(),
                                    "org.freedesktop.portal.Request", "Response",
                                    g_variant_new("(ua{sv})", response, &results), nullptr);
      if (b.send_update && !b.update_before_response && b.answer == StartAnswer::Grant) {
        self.emit_update(sender, self.session_path_, b.lat, b.lon);
      }
      return;
    }
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed",
                                               "unexpected call");
  }

  void emit_update(char const* destination, std::string const& session, double lat, double lon) {
    GVariantBuilder fix;
    g_variant_builder_init(&fix, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&fix, "{sv}", "Latitude", g_variant_new_double(lat));
    g_variant_builder_add(&fix, "{sv}", "Longitude", g_variant_new_double(lon));
    g_variant_builder_add(&fix, "{sv}", "Accuracy", g_variant_new_double(12.0));
    g_variant_builder_add(&fix, "{sv}", "Description", g_variant_new_string(""));
    g_dbus_connection_emit_signal(service_.connection(), destination, PORTAL_PATH,
                                  "org.freedesktop.portal.Location", "LocationUpdated",
                                  g_variant_new("(oa{sv})", session.c_str(), &fix), nullptr);
  }

  Behaviour behaviour_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Seen seen_;
  std::string session_path_; // touched on the mock's thread only
  NodeInfo node_;
  NodeInfo session_node_;
  BusService service_; // last: stopped before everything its thread uses goes
};

class Location : public PrivateBusTest {
protected:
  static LocationConfig config(std::chrono::milliseconds timeout = 5s) {
    return LocationConfig{address(), timeout};
  }
};

TEST_F(Location, FirstUpdateBecomesTheFix) {
  struct Case {
    char const* name;
    Behaviour behaviour;
  };
  Behaviour early;
  early.update_before_response = true;
  Behaviour foreign;
  foreign.foreign_update_first = true;
  Behaviour unusable;
  unusable.unusable_update_first = true;
  Case const cases[] = {
      {"update after Start's response", Behaviour{}},
      {"update before Start's response", early},
      {"another session's update first", foreign},
      {"updates without a usable position first", unusable},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    MockPortal portal(address(), c.behaviour);
    LocationResult result = locate_once(config());
    ASSERT_TRUE(result.has_value()) << result.error();
    EXPECT_EQ(*result, (LocationFix{52.52, 13.405}));
    EXPECT_TRUE(portal.wait_for_close());
    Seen const seen = portal.seen();
    EXPECT_EQ(seen.accuracy, 5u);
    EXPECT_FALSE(seen.has_distance_threshold);
    EXPECT_FALSE(seen.session_token.empty());
    EXPECT_EQ(seen.start_parent, "");
    EXPECT_FALSE(seen.start_handle_token.empty());
    EXPECT_NE(seen.session_token, seen.start_handle_token);
  }
}

// A refused Start is reported at once with its own text, not after the time-out; the status
// line says it in the user's words.
TEST_F(Location, RefusedStartEndsTheWaitWithItsError) {
  struct Case {
    StartAnswer answer;
    char const* text;
    char const* status;
  };
  Case const cases[] = {
      {StartAnswer::Deny, "location request failed (portal response 2)",
       "Location unavailable \xE2\x80\x94 not allowed for this application"},
      {StartAnswer::Cancel, "location request cancelled",
       "Location unavailable \xE2\x80\x94 the request was cancelled"},
      {StartAnswer::Refuse, "org.freedesktop.portal.Error.NotAllowed: Location services disabled",
       "Location unavailable \xE2\x80\x94 turned off in this desktop's privacy settings"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    Behaviour b;
    b.answer = c.answer;
    MockPortal portal(address(), b);
    // Waiting for the time-out would report its text instead of the portal's answer.
    LocationResult result = locate_once(config(5s));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), c.text);
    EXPECT_EQ(location_failure_status(result.error()), c.status);
    EXPECT_TRUE(portal.wait_for_close());
  }
}

TEST_F(Location, NoUpdateTimesOutAndClosesTheSession) {
  Behaviour b;
  b.send_update = false;
  MockPortal portal(address(), b);
  LocationResult result = locate_once(config(150ms));
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), "timed out waiting for a location fix");
  EXPECT_TRUE(portal.wait_for_close());
}

TEST_F(Location, MissingPortalIsUnavailable) {
  {
    SCOPED_TRACE("no portal on the bus");
    LocationResult result = locate_once(config());
    ASSERT_FALSE(result.has_value());
    EXPECT_TRUE(result.error().starts_with("location portal unavailable: ")) << result.error();
    EXPECT_GT(result.error().size(), std::string_view("location portal unavailable: ").size());
  }
  {
    SCOPED_TRACE("portal without the Location interface");
    Behaviour b;
    b.has_location = false;
    MockPortal portal(address(), b);
    LocationResult result = locate_once(config());
    ASSERT_FALSE(result.has_value());
    EXPECT_TRUE(result.error().starts_with("location portal unavailable: ")) << result.error();
    EXPECT_EQ(portal.seen().session_closes, 0);
  }
  {
    SCOPED_TRACE("bus address that does not connect");
    LocationResult result = locate_once(LocationConfig{"unix:path=/nonexistent/maps-test-bus", 1s});
    ASSERT_FALSE(result.has_value());
    EXPECT_TRUE(result.error().starts_with("location portal unavailable: ")) << result.error();
  }
}

TEST_F(Location, RequestThreadSendsOneAnswerThenCloses) {
  MockPortal portal(address(), Behaviour{});
  base::Receiver<LocationResult> rx = start_location_request(config());
  std::optional<LocationResult> first = rx.recv();
  ASSERT_TRUE(first.has_value());
  ASSERT_TRUE(first->has_value()) << first->error();
  EXPECT_EQ(**first, (LocationFix{52.52, 13.405}));
  EXPECT_FALSE(rx.recv().has_value()) << "exactly one message, then closed";
}

TEST_F(Location, DroppedReceiverDoesNotStopTheWorker) {
  MockPortal portal(address(), Behaviour{});
  { base::Receiver<LocationResult> rx = start_location_request(config()); }
  // The worker still runs its session to the end and closes it.
  EXPECT_TRUE(portal.wait_for_close());
}

} // namespace
} // namespace maps
