// The location session against a mock portal on a private session bus.

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

namespace maps {
namespace {

using namespace std::chrono_literals;

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

enum class StartAnswer { Grant, Deny, Cancel };

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
  MockPortal(std::string address, Behaviour behaviour)
      : address_(std::move(address)), behaviour_(behaviour) {
    thread_ = std::thread([this] { run(); });
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return ready_; });
  }
  ~MockPortal() {
    g_main_context_invoke(
        context_,
        [](gpointer loop) -> gboolean {
          g_main_loop_quit(static_cast<GMainLoop*>(loop));
          return G_SOURCE_REMOVE;
        },
        loop_);
    thread_.join();
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
  void run() {
    context_ = g_main_context_new();
    g_main_context_push_thread_default(context_);
    loop_ = g_main_loop_new(context_, FALSE);
    connection_ = g_dbus_connection_new_for_address_sync(
        address_.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    EXPECT_NE(connection_, nullptr);
    GVariant* owner = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "RequestName", g_variant_new("(su)", PORTAL_NAME, 4u /* DO_NOT_QUEUE */),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    EXPECT_NE(owner, nullptr);
    std::uint32_t code = 0;
    g_variant_get(owner, "(u)", &code);
    EXPECT_EQ(code, 1u) << "the portal name is taken";
    g_variant_unref(owner);

    GDBusNodeInfo* node =
        g_dbus_node_info_new_for_xml(behaviour_.has_location ? LOCATION_XML : OTHER_XML, nullptr);
    static GDBusInterfaceVTable const vtable = {
        &MockPortal::on_call, &MockPortal::on_get, nullptr, {}};
    g_dbus_connection_register_object(connection_, PORTAL_PATH, node->interfaces[0], &vtable, this,
                                      nullptr, nullptr);
    session_node_ = g_dbus_node_info_new_for_xml(SESSION_XML, nullptr);
    {
      std::lock_guard lock(mutex_);
      ready_ = true;
    }
    changed_.notify_all();

    g_main_loop_run(loop_);

    GVariant* released = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "ReleaseName", g_variant_new("(s)", PORTAL_NAME), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (released != nullptr) {
      g_variant_unref(released);
    }
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
    g_dbus_node_info_unref(node);
    g_dbus_node_info_unref(session_node_);
    while (g_main_context_iteration(context_, FALSE)) {
    }
    g_main_loop_unref(loop_);
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }

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
      g_dbus_connection_register_object(self.connection_, self.session_path_.c_str(),
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
      g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", request.c_str()));
      std::uint32_t const response =
          b.answer == StartAnswer::Grant ? 0u : (b.answer == StartAnswer::Cancel ? 1u : 2u);
      GVariantBuilder results;
      g_variant_builder_init(&results, G_VARIANT_TYPE("a{sv}"));
      g_dbus_connection_emit_signal(self.connection_, sender, request.c_str(),
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
    g_dbus_connection_emit_signal(connection_, destination, PORTAL_PATH,
                                  "org.freedesktop.portal.Location", "LocationUpdated",
                                  g_variant_new("(oa{sv})", session.c_str(), &fix), nullptr);
  }

  std::string address_;
  Behaviour behaviour_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ready_ = false;
  Seen seen_;
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  GDBusConnection* connection_ = nullptr;
  GDBusNodeInfo* session_node_ = nullptr;
  std::string session_path_; // touched on the mock's thread only
};

class Location : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    bus_ = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus_);
  }
  static void TearDownTestSuite() {
    g_test_dbus_down(bus_);
    g_object_unref(bus_);
    bus_ = nullptr;
  }
  static std::string address() { return g_test_dbus_get_bus_address(bus_); }
  static LocationConfig config(std::chrono::milliseconds timeout = 5s) {
    return LocationConfig{address(), timeout};
  }

  static inline GTestDBus* bus_ = nullptr;
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

// A refused Start is reported at once with its own text, not after the time-out.
TEST_F(Location, RefusedStartEndsTheWaitWithItsError) {
  struct Case {
    StartAnswer answer;
    char const* text;
  };
  Case const cases[] = {
      {StartAnswer::Deny, "location request failed (portal response 2)"},
      {StartAnswer::Cancel, "location request cancelled"},
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
