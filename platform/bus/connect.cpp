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

base::Result<std::string> session_bus_address() {
  GError* error = nullptr;
  gchar* found = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (found == nullptr) {
    return base::fail(take_error_text(error));
  }
  std::string address = found;
  g_free(found);
  return address;
}

base::Result<GDBusConnection*> connect_address(std::string const& address) {
  GError* error = nullptr;
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  if (connection == nullptr) {
    return base::fail(take_error_text(error));
  }
  g_dbus_connection_set_exit_on_close(connection, FALSE);
  return connection;
}

base::Result<GDBusConnection*> connect_session(std::optional<std::string> const& address) {
  std::string where;
  if (address) {
    where = *address;
  } else {
    auto found = session_bus_address();
    if (!found) {
      return base::fail(fmt::format("no session bus: {}", found.error()));
    }
    where = std::move(*found);
  }
  auto connection = connect_address(where);
  if (!connection) {
    return base::fail(fmt::format("could not connect to the session bus: {}", connection.error()));
  }
  return connection;
}

} // namespace zarn_ui::bus
