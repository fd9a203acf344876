#include "platform/bus/instance.h"

#include <cstdlib>
#include <utility>

#include <fmt/format.h>
#include <gio/gio.h>

#include "platform/bus/bus_request.h"
#include "platform/bus/connect.h"

namespace zarn_ui::bus {

namespace {

constexpr int CALL_TIMEOUT_MS = 25000;

base::Result<void> call(GDBusConnection* connection, std::string const& app_id,
                        std::string const& path, char const* method, GVariant* parameters) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(
      connection, app_id.c_str(), path.c_str(), "org.freedesktop.Application", method, parameters,
      nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, CALL_TIMEOUT_MS, nullptr, &error);
  if (reply == nullptr) {
    return base::fail(take_error_text(error));
  }
  g_variant_unref(reply);
  return {};
}

} // namespace

base::Result<void> hand_off(std::string_view app_id, std::optional<std::string> const& address,
                            std::optional<ForwardedAction> const& action) {
  auto connected = connect_session(address);
  if (!connected) {
    return base::fail(connected.error());
  }
  GDBusConnection* connection = *connected;
  std::string const id(app_id);
  std::string const path = object_path_for(app_id);
  // The launcher's token goes to the running window, which is the one to raise and to end the
  // launcher's busy cursor.
  GVariantBuilder data;
  g_variant_builder_init(&data, G_VARIANT_TYPE("a{sv}"));
  for (auto const& [env, key] : {std::pair{"XDG_ACTIVATION_TOKEN", "activation-token"},
                                 std::pair{"DESKTOP_STARTUP_ID", "desktop-startup-id"}}) {
    if (char const* token = std::getenv(env); token != nullptr && *token != '\0') {
      g_variant_builder_add(&data, "{sv}", key, g_variant_new_string(token));
    }
  }
  auto result = call(connection, id, path, "Activate", g_variant_new("(a{sv})", &data));
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

} // namespace zarn_ui::bus
