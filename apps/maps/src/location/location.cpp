#include "location/location.h"

#include <pthread.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <fmt/format.h>
#include <gio/gio.h>

#include "location/location_wait.h"
#include "platform/bus/connect.h"

namespace maps {

namespace {

constexpr char PORTAL_BUS_NAME[] = "org.freedesktop.portal.Desktop";
constexpr char PORTAL_PATH[] = "/org/freedesktop/portal/desktop";
constexpr char LOCATION_INTERFACE[] = "org.freedesktop.portal.Location";
constexpr char REQUEST_INTERFACE[] = "org.freedesktop.portal.Request";
constexpr char SESSION_INTERFACE[] = "org.freedesktop.portal.Session";
constexpr char PROPERTIES_INTERFACE[] = "org.freedesktop.DBus.Properties";
// The portal's accuracy enumeration: 5 is "exact".
constexpr std::uint32_t ACCURACY_EXACT = 5;

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T> using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GVariantUnref {
  void operator()(GVariant* v) const { g_variant_unref(v); }
};
using VariantPtr = std::unique_ptr<GVariant, GVariantUnref>;

struct GErrorFree {
  void operator()(GError* e) const { g_error_free(e); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;

/// A D-Bus error as "name: message" (remote errors) or GLib's message (local ones).
std::string error_text(GError const* error) {
  if (error == nullptr) {
    return "unknown D-Bus error";
  }
  char* remote = g_dbus_error_get_remote_error(error);
  if (remote == nullptr) {
    return error->message != nullptr ? error->message : "unknown D-Bus error";
  }
  GError* copy = g_error_copy(error);
  g_dbus_error_strip_remote_error(copy);
  std::string text = fmt::format("{}: {}", remote, copy->message);
  g_error_free(copy);
  g_free(remote);
  return text;
}

/// A fresh token for object paths: letters, digits and underscores only.
std::string fresh_token() {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  return fmt::format("maps_{:016x}", rng());
}

/// The path the portal gives the Request object of a call with `token` from `unique_name`
/// (":1.42" becomes "1_42"), known before the call so its Response cannot be missed.
std::string request_path(std::string_view unique_name, std::string_view token) {
  std::string sender(unique_name.starts_with(':') ? unique_name.substr(1) : unique_name);
  for (char& c : sender) {
    if (c == '.') {
      c = '_';
    }
  }
  return fmt::format("{}/request/{}/{}", PORTAL_PATH, sender, token);
}

void on_location_updated(GDBusConnection*, char const*, char const*, char const*, char const*,
                         GVariant* parameters, gpointer user_data) {
  static_cast<LocationWait*>(user_data)->take_update(parameters);
}

void on_response(GDBusConnection*, char const*, char const* object_path, char const*, char const*,
                 GVariant* parameters, gpointer user_data) {
  static_cast<LocationWait*>(user_data)->take_response(object_path, parameters);
}

void on_start_reply(GObject* source, GAsyncResult* result, gpointer user_data) {
  auto& wait = *static_cast<LocationWait*>(user_data);
  wait.call_in_flight = false;
  GError* raw = nullptr;
  GVariant* reply =
      g_dbus_connection_call_finish(reinterpret_cast<GDBusConnection*>(source), result, &raw);
  ErrorPtr error(raw);
  if (reply == nullptr) {
    if (!g_error_matches(raw, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
      wait.start_error = error_text(raw);
    }
    return;
  }
  VariantPtr owned(reply);
  wait.take_start_reply(reply);
}

void on_connection_closed(GDBusConnection*, gboolean, GError*, gpointer user_data) {
  static_cast<LocationWait*>(user_data)->stream_ended = true;
}

gboolean on_timeout(gpointer user_data) {
  static_cast<LocationWait*>(user_data)->timed_out = true;
  return G_SOURCE_REMOVE;
}

/// Closes a session without waiting for the answer: its result is ignored, and a hung portal
/// must not hold the request thread.
void close_session(GDBusConnection* connection, std::string const& session_path) {
  GPtr<GDBusMessage> message(g_dbus_message_new_method_call(PORTAL_BUS_NAME, session_path.c_str(),
                                                            SESSION_INTERFACE, "Close"));
  g_dbus_message_set_flags(message.get(), G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED);
  g_dbus_connection_send_message(connection, message.get(), G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr,
                                 nullptr);
}

/// The session on an open connection, from CreateSession to Close.
LocationResult run_session(GMainContext* context, GDBusConnection* connection,
                           std::chrono::milliseconds timeout) {
  GError* raw = nullptr;

  // The proxy step: the interface must answer its "version" property.
  VariantPtr version(g_dbus_connection_call_sync(
      connection, PORTAL_BUS_NAME, PORTAL_PATH, PROPERTIES_INTERFACE, "Get",
      g_variant_new("(ss)", LOCATION_INTERFACE, "version"), G_VARIANT_TYPE("(v)"),
      G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &raw));
  if (!version) {
    ErrorPtr error(raw);
    return base::fail(fmt::format("{}: {}", PORTAL_UNAVAILABLE, error_text(raw)));
  }

  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
  std::string const session_token = fresh_token();
  g_variant_builder_add(&options, "{sv}", "session_handle_token",
                        g_variant_new_string(session_token.c_str()));
  g_variant_builder_add(&options, "{sv}", "accuracy", g_variant_new_uint32(ACCURACY_EXACT));
  VariantPtr created(g_dbus_connection_call_sync(
      connection, PORTAL_BUS_NAME, PORTAL_PATH, LOCATION_INTERFACE, "CreateSession",
      g_variant_new("(a{sv})", &options), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, -1,
      nullptr, &raw));
  if (!created) {
    ErrorPtr error(raw);
    return base::fail(error_text(raw));
  }

  LocationWait wait;
  char const* session_path = nullptr;
  g_variant_get(created.get(), "(&o)", &session_path);
  wait.session_path = session_path;

  char const* unique_name = g_dbus_connection_get_unique_name(connection);
  std::string const handle_token = fresh_token();
  wait.predicted_request = request_path(unique_name != nullptr ? unique_name : "", handle_token);

  // Both subscriptions exist before Start is sent, so neither an early update nor a quick
  // Response can be missed.
  guint const updates = g_dbus_connection_signal_subscribe(
      connection, PORTAL_BUS_NAME, LOCATION_INTERFACE, "LocationUpdated", PORTAL_PATH, nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, on_location_updated, &wait, nullptr);
  guint const responses = g_dbus_connection_signal_subscribe(
      connection, PORTAL_BUS_NAME, REQUEST_INTERFACE, "Response", nullptr, nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, on_response, &wait, nullptr);
  gulong const closed =
      g_signal_connect(connection, "closed", G_CALLBACK(on_connection_closed), &wait);

  GVariantBuilder start_options;
  g_variant_builder_init(&start_options, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&start_options, "{sv}", "handle_token",
                        g_variant_new_string(handle_token.c_str()));
  GPtr<GCancellable> cancel(g_cancellable_new());
  wait.call_in_flight = true;
  g_dbus_connection_call(connection, PORTAL_BUS_NAME, PORTAL_PATH, LOCATION_INTERFACE, "Start",
                         g_variant_new("(osa{sv})", wait.session_path.c_str(), "", &start_options),
                         G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, G_MAXINT, cancel.get(),
                         on_start_reply, &wait);

  auto const ms = std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, G_MAXUINT);
  GSource* timer = g_timeout_source_new(static_cast<guint>(ms));
  g_source_set_callback(timer, on_timeout, &wait, nullptr);
  g_source_attach(timer, context);

  while (!wait.finished()) {
    g_main_context_iteration(context, TRUE);
  }
  LocationResult outcome = wait.outcome();

  g_source_destroy(timer);
  g_source_unref(timer);
  g_cancellable_cancel(cancel.get());
  while (wait.call_in_flight) {
    g_main_context_iteration(context, TRUE);
  }
  g_dbus_connection_signal_unsubscribe(connection, updates);
  g_dbus_connection_signal_unsubscribe(connection, responses);
  g_signal_handler_disconnect(connection, closed);
  close_session(connection, wait.session_path);
  // Callbacks already queued check their subscription before running; drain them anyway so
  // nothing outlives `wait`.
  while (g_main_context_iteration(context, FALSE)) {
  }
  return outcome;
}

} // namespace

LocationResult locate_once(LocationConfig const& config) {
  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);

  LocationResult outcome = [&]() -> LocationResult {
    std::string address = config.bus_address;
    if (address.empty()) {
      auto found = zarn_ui::bus::session_bus_address();
      if (!found) {
        return base::fail(fmt::format("{}: {}", PORTAL_UNAVAILABLE, found.error()));
      }
      address = std::move(*found);
    }
    // A private connection: its signals are dispatched on this thread's context only, and
    // closing it cannot end the process as the shared session-bus connection would.
    auto opened = zarn_ui::bus::connect_address(address);
    if (!opened) {
      return base::fail(fmt::format("{}: {}", PORTAL_UNAVAILABLE, opened.error()));
    }
    GPtr<GDBusConnection> connection(*opened);
    LocationResult result = run_session(context, connection.get(), config.timeout);
    g_dbus_connection_flush_sync(connection.get(), nullptr, nullptr);
    g_dbus_connection_close_sync(connection.get(), nullptr, nullptr);
    while (g_main_context_iteration(context, FALSE)) {
    }
    return result;
  }();

  g_main_context_pop_thread_default(context);
  g_main_context_unref(context);
  return outcome;
}

void location_worker(base::Sender<LocationResult> sender, LocationConfig config) {
  pthread_setname_np(pthread_self(), "maps-location");
  // A failed send means the UI dropped its receiver: the answer is no longer wanted.
  (void)sender.send(locate_once(config));
}

base::Receiver<LocationResult> start_location_request(LocationConfig config) {
  auto [tx, rx] = base::channel<LocationResult>();
  rx.wake_ui_on_send();
  try {
    std::thread(location_worker, tx, std::move(config)).detach();
  } catch (std::system_error const&) {
    (void)tx.send(base::fail("failed to spawn location worker thread"));
  }
  return std::move(rx);
}

} // namespace maps
