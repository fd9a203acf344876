#include "platform/bus/instance.h"

#include <fmt/format.h>
#include <gio/gio.h>

#include "platform/bus/bus_request.h"

namespace zarn_ui::bus {

namespace {

constexpr int CALL_TIMEOUT_MS = 25000;

std::string take_error(GError* error) {
  std::string text = error && error->message ? error->message : "unknown D-Bus error";
  if (error) {
    g_dbus_error_strip_remote_error(error);
    text = error->message;
    g_error_free(error);
  }
  return text;
}

base::Result<void> call(GDBusConnection* connection, std::string const& app_id, std::string const& path,
                        char const* method, GVariant* parameters) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(connection, app_id.c_str(), path.c_str(),
                                                "org.freedesktop.Application", method, parameters,
                                                nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                                CALL_TIMEOUT_MS, nullptr, &error);
  if (reply == nullptr) {
    return base::fail(take_error(error));
  }
  g_variant_unref(reply);
  return {};
}

}  // namespace

base::Result<void> hand_off(std::string_view app_id, std::optional<std::string> const& address,
                            std::optional<ForwardedAction> const& action) {
  GError* error = nullptr;
  GDBusConnection* connection = nullptr;
  if (address) {
    connection = g_dbus_connection_new_for_address_sync(
        address->c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
  } else {
    connection = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  }
  if (connection == nullptr) {
    return base::fail(fmt::format("could not connect to the session bus: {}", take_error(error)));
  }
  std::string const id(app_id);
  std::string const path = object_path_for(app_id);
  GVariant* no_data = g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0);
  auto result = call(connection, id, path, "Activate", g_variant_new("(@a{sv})", no_data));
  if (result && action) {
    GVariantBuilder params;
    g_variant_builder_init(&params, G_VARIANT_TYPE("av"));
    if (action->argument) {
      g_variant_builder_add(&params, "v", g_variant_new_string(action->argument->c_str()));
    }
    result = call(connection, id, path, "ActivateAction",
                  g_variant_new("(sav@a{sv})", action->id.c_str(), &params,
                                g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)));
  }
  g_object_unref(connection);
  return result;
}

}  // namespace zarn_ui::bus
