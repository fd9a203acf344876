#pragma once
// A private connection to the session bus (or to the bus at a given address), never GLib's
// shared one, so that closing it releases what it owned.

#include <optional>
#include <string>

#include <gio/gio.h>

#include "base/result.h"

namespace zarn_ui::bus {

/// The caller owns the connection (g_object_unref). It does not end the process when closed.
base::Result<GDBusConnection*> connect_session(std::optional<std::string> const& address);

/// The session bus's address; the error is GLib's own text.
base::Result<std::string> session_bus_address();

/// A private connection to the message bus at `address`, owned by the caller as above; the
/// error is GLib's own text.
base::Result<GDBusConnection*> connect_address(std::string const& address);

/// The text of `error` without its remote-error prefix; frees it.
std::string take_error_text(GError* error);

} // namespace zarn_ui::bus
