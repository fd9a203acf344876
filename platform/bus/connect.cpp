#include "platform/bus/connect.h"

#include <fmt/format.h>

namespace zarn_ui::bus {

std::string take_error_text(GError* error) {
  if (error == nullptr) {
    return "unknown D-Bus error";
  }
  g_dbus_error_strip_remote_error(error);
  std::string text = error->message ? error->message : "unknown D-Bus error";
  g_error_free(error);
  return text;
}

base::Result<GDBusConnection*> connect_session(std::optional<std::string> const& address) {
  GError* error = nullptr;
  std::string where;
  if (address) {
    where = *address;
  } else {
    gchar* found = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (found == nullptr) {
      return base::fail(fmt::format("no session bus: {}", take_error_text(error)));
    }
    where = found;
    g_free(found);
  }
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      where.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  if (connection == nullptr) {
    return base::fail(
        fmt::format("could not connect to the session bus: {}", take_error_text(error)));
  }
  g_dbus_connection_set_exit_on_close(connection, FALSE);
  return connection;
}

} // namespace zarn_ui::bus
