#include "platform/bus/desktop_settings.h"

#include <condition_variable>
#include <mutex>
#include <string_view>
#include <system_error>

#include <gio/gio.h>
#include <spdlog/spdlog.h>

#include "platform/bus/connect.h"
#include "platform/bus/context_thread.h"

namespace zarn_ui::bus {

namespace {

constexpr char PORTAL_BUS_NAME[] = "org.freedesktop.portal.Desktop";
constexpr char PORTAL_PATH[] = "/org/freedesktop/portal/desktop";
constexpr char SETTINGS_INTERFACE[] = "org.freedesktop.portal.Settings";
constexpr char APPEARANCE[] = "org.freedesktop.appearance";
constexpr char GNOME_INTERFACE[] = "org.gnome.desktop.interface";
// Portals before the appearance namespace had a contrast key pass GNOME's own switch on.
constexpr char GNOME_A11Y_INTERFACE[] = "org.gnome.desktop.a11y.interface";
// GNOME's own limits of the text scaling factor; a value outside them is no preference.
constexpr double MIN_TEXT_SCALE = 0.5;
constexpr double MAX_TEXT_SCALE = 3.0;
// A portal started on demand by the bus may take a moment; longer than this and the window
// runs with what it has, picking the rest up from SettingChanged.
constexpr int READ_TIMEOUT_MS = 3000;

} // namespace

// Unknown values count as no preference, as the portal asks.
Appearance SettingsReadings::appearance() const {
  Appearance a;
  if (color_scheme == 1u) {
    a.scheme = Appearance::Scheme::Dark;
  } else if (color_scheme == 2u) {
    a.scheme = Appearance::Scheme::Light;
  }
  a.high_contrast = contrast == 1u || gnome_high_contrast == true;
  a.reduce_motion = reduced_motion == 1u || enable_animations == false;
  if (text_scaling_factor && *text_scaling_factor >= MIN_TEXT_SCALE &&
      *text_scaling_factor <= MAX_TEXT_SCALE) {
    a.text_scale = *text_scaling_factor;
  }
  return a;
}

bool SettingsReadings::store(std::string_view ns, std::string_view key, GVariant* value) {
  // The first version of Read wraps the value in one more variant.
  GVariant* v = g_variant_ref(value);
  while (g_variant_is_of_type(v, G_VARIANT_TYPE_VARIANT)) {
    GVariant* inner = g_variant_get_variant(v);
    g_variant_unref(v);
    v = inner;
  }
  bool stored = false;
  auto const u32 = [&](std::optional<std::uint32_t>& slot) {
    if (g_variant_is_of_type(v, G_VARIANT_TYPE_UINT32)) {
      slot = g_variant_get_uint32(v);
      stored = true;
    }
  };
  if (ns == APPEARANCE && key == "color-scheme") {
    u32(color_scheme);
  } else if (ns == APPEARANCE && key == "contrast") {
    u32(contrast);
  } else if (ns == APPEARANCE && key == "reduced-motion") {
    u32(reduced_motion);
  } else if (ns == GNOME_INTERFACE && key == "enable-animations" &&
             g_variant_is_of_type(v, G_VARIANT_TYPE_BOOLEAN)) {
    enable_animations = g_variant_get_boolean(v) != FALSE;
    stored = true;
  } else if (ns == GNOME_A11Y_INTERFACE && key == "high-contrast" &&
             g_variant_is_of_type(v, G_VARIANT_TYPE_BOOLEAN)) {
    gnome_high_contrast = g_variant_get_boolean(v) != FALSE;
    stored = true;
  } else if (ns == GNOME_INTERFACE && key == "text-scaling-factor" &&
             g_variant_is_of_type(v, G_VARIANT_TYPE_DOUBLE)) {
    text_scaling_factor = g_variant_get_double(v);
    stored = true;
  }
  g_variant_unref(v);
  return stored;
}

bool SettingsReadings::store_change(GVariant* parameters) {
  // Signals carry whatever body their sender chose.
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)"))) {
    return false;
  }
  char const* ns = nullptr;
  char const* key = nullptr;
  GVariant* value = nullptr;
  g_variant_get(parameters, "(&s&sv)", &ns, &key, &value);
  bool const stored = store(ns, key, value);
  g_variant_unref(value);
  return stored;
}

bool SettingsReadings::store_read(std::string_view ns, std::string_view key, GVariant* reply) {
  if (!g_variant_is_of_type(reply, G_VARIANT_TYPE("(v)"))) {
    return false;
  }
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  bool const stored = store(ns, key, value);
  g_variant_unref(value);
  return stored;
}

namespace {

struct Key {
  char const* ns;
  char const* key;
};
constexpr Key KEYS[] = {{APPEARANCE, "color-scheme"},
                        {APPEARANCE, "contrast"},
                        {APPEARANCE, "reduced-motion"},
                        {GNOME_INTERFACE, "enable-animations"},
                        {GNOME_A11Y_INTERFACE, "high-contrast"},
                        {GNOME_INTERFACE, "text-scaling-factor"}};

} // namespace

struct DesktopSettings::Impl {
  SettingsOptions options;
  ContextThread worker;
  GCancellable* cancel = nullptr;

  // Bus thread only.
  SettingsReadings readings;

  // Shared with the UI thread.
  std::mutex mutex;
  std::condition_variable first_read;
  bool first_done = false;
  Appearance current;
  bool changed = false;

  // Wakes the loop also for the start's reading: one that comes after `wait_first` gave up is
  // applied as a change.
  void publish() {
    Appearance const now = readings.appearance();
    {
      std::lock_guard lock(mutex);
      if (now == current) {
        return;
      }
      current = now;
      changed = true;
    }
    if (options.wake) {
      options.wake();
    }
  }

  static void on_setting_changed(GDBusConnection*, char const*, char const*, char const*,
                                 char const*, GVariant* parameters, gpointer user_data) {
    auto* self = static_cast<Impl*>(user_data);
    if (self->readings.store_change(parameters)) {
      self->publish();
    }
  }

  enum class Outcome : std::uint8_t { Value, Absent, NoPortal, OldPortal };

  /// One key through ReadOne, or through the first version's Read when `old_portal`.
  Outcome read(GDBusConnection* connection, Key const& k, bool old_portal) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        connection, PORTAL_BUS_NAME, PORTAL_PATH, SETTINGS_INTERFACE,
        old_portal ? "Read" : "ReadOne", g_variant_new("(ss)", k.ns, k.key), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, READ_TIMEOUT_MS, cancel, &error);
    if (reply == nullptr) {
      bool const unknown_method = g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD);
      // The portal's own errors ("not found" for a key it does not have) are the ones GDBus does
      // not map; a mapped one (no such service, time-out, cancelled) means no portal answers.
      bool const portal_error = g_dbus_error_is_remote_error(error);
      std::string const text = take_error_text(error);
      if (unknown_method && !old_portal) {
        return Outcome::OldPortal;
      }
      if (portal_error) {
        spdlog::debug("desktop setting {} {}: {}", k.ns, k.key, text);
        return Outcome::Absent;
      }
      spdlog::info("no desktop settings portal, using the light theme: {}", text);
      return Outcome::NoPortal;
    }
    readings.store_read(k.ns, k.key, reply);
    g_variant_unref(reply);
    return Outcome::Value;
  }

  void read_all(GDBusConnection* connection) {
    bool old_portal = false;
    for (auto const& k : KEYS) {
      Outcome outcome = read(connection, k, old_portal);
      if (outcome == Outcome::OldPortal) {
        old_portal = true;
        outcome = read(connection, k, old_portal);
      }
      if (outcome == Outcome::NoPortal) {
        return;
      }
    }
  }

  void run() {
    GDBusConnection* connection = nullptr;
    guint subscription = 0;
    if (auto connected = connect_session(options.address)) {
      connection = *connected;
      // Subscribed before the first read, so that no change is lost in between.
      subscription = g_dbus_connection_signal_subscribe(
          connection, PORTAL_BUS_NAME, SETTINGS_INTERFACE, "SettingChanged", PORTAL_PATH, nullptr,
          G_DBUS_SIGNAL_FLAGS_NONE, &Impl::on_setting_changed, this, nullptr);
      read_all(connection);
    } else {
      spdlog::info("no desktop settings, using the light theme: {}", connected.error());
    }
    publish();
    {
      std::lock_guard lock(mutex);
      first_done = true;
    }
    first_read.notify_all();
    if (connection) {
      worker.run_loop();
      g_dbus_connection_signal_unsubscribe(connection, subscription);
      g_dbus_connection_close_sync(connection, nullptr, nullptr);
      g_object_unref(connection);
    }
    // Callbacks already queued must not outlive this object.
    while (g_main_context_iteration(worker.context(), FALSE)) {
    }
  }
};

DesktopSettings::DesktopSettings(SettingsOptions options) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  impl_->cancel = g_cancellable_new();
  Impl* raw = impl_.get();
  try {
    impl_->worker.start("maps-settings", [raw] { raw->run(); });
  } catch (std::system_error const&) {
    spdlog::warn("could not start the desktop settings thread; using the light theme");
    impl_->first_done = true;
  }
}

DesktopSettings::~DesktopSettings() {
  g_cancellable_cancel(impl_->cancel);
  // The quit waits for the loop, so one sent while the first read is still in hand is not lost.
  impl_->worker.stop();
  g_object_unref(impl_->cancel);
}

Appearance DesktopSettings::wait_first(std::chrono::milliseconds limit) {
  std::unique_lock lock(impl_->mutex);
  impl_->first_read.wait_for(lock, limit, [this] { return impl_->first_done; });
  impl_->changed = false;
  return impl_->current;
}

std::optional<Appearance> DesktopSettings::take_change() {
  std::lock_guard lock(impl_->mutex);
  if (!impl_->changed) {
    return std::nullopt;
  }
  impl_->changed = false;
  return impl_->current;
}

} // namespace zarn_ui::bus
