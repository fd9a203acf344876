#pragma once
// A Settings portal for tests, on a bus given by address and a thread of its own: answers
// ReadOne (or, as the first version of the interface, only Read with the value wrapped twice)
// from a table of settings, and emits SettingChanged when a test changes one.

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include <gio/gio.h>
#include <gtest/gtest.h>

#include "platform/tests/private_bus.h"

namespace zarn_ui::test {

class FakeSettingsPortal {
public:
  using Key = std::pair<std::string, std::string>;
  /// `settings`: GVariant texts ("uint32 1", "false") by namespace and key.
  FakeSettingsPortal(std::string const& address, std::map<Key, std::string> settings,
                     bool read_one = true)
      : settings_(parsed(settings)), node_(node_info(interface_xml(read_one).c_str())),
        service_(address, NAME, [this](GDBusConnection* connection) {
          static GDBusInterfaceVTable const vtable = {
              &FakeSettingsPortal::on_call, nullptr, nullptr, {}};
          g_dbus_connection_register_object(connection, PATH, node_->interfaces[0], &vtable, this,
                                            nullptr, nullptr);
        }) {}
  ~FakeSettingsPortal() {
    service_.stop();
    for (auto& [key, value] : settings_) {
      g_variant_unref(value);
    }
  }
  FakeSettingsPortal(FakeSettingsPortal const&) = delete;
  FakeSettingsPortal& operator=(FakeSettingsPortal const&) = delete;

  /// Sets a value and emits SettingChanged for it (from the portal's thread; any thread may call).
  void change(std::string ns, std::string key, std::string const& text) {
    struct Change {
      FakeSettingsPortal* self;
      Key key;
      GVariant* value;
    };
    auto* c = new Change{this, {std::move(ns), std::move(key)}, parse(text)};
    g_main_context_invoke_full(
        service_.context(), G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
          auto* c = static_cast<Change*>(data);
          {
            std::lock_guard lock(c->self->mutex_);
            auto& slot = c->self->settings_[c->key];
            if (slot) {
              g_variant_unref(slot);
            }
            slot = g_variant_ref(c->value);
          }
          g_dbus_connection_emit_signal(
              c->self->service_.connection(), nullptr, PATH, INTERFACE, "SettingChanged",
              g_variant_new("(ss@v)", c->key.first.c_str(), c->key.second.c_str(),
                            g_variant_new_variant(c->value)),
              nullptr);
          return G_SOURCE_REMOVE;
        },
        c,
        [](gpointer data) {
          auto* c = static_cast<Change*>(data);
          g_variant_unref(c->value);
          delete c;
        });
  }

  int reads() {
    std::lock_guard lock(mutex_);
    return reads_;
  }

private:
  static constexpr char NAME[] = "org.freedesktop.portal.Desktop";
  static constexpr char PATH[] = "/org/freedesktop/portal/desktop";
  static constexpr char INTERFACE[] = "org.freedesktop.portal.Settings";

  static GVariant* parse(std::string const& text) {
    GVariant* v = g_variant_parse(nullptr, text.c_str(), nullptr, nullptr, nullptr);
    EXPECT_NE(v, nullptr) << text;
    return g_variant_ref_sink(v);
  }

  static void on_call(GDBusConnection*, char const*, char const*, char const*, char const* method,
                      GVariant* parameters, GDBusMethodInvocation* invocation, gpointer user_data) {
    auto* self = static_cast<FakeSettingsPortal*>(user_data);
    char const* ns = nullptr;
    char const* key = nullptr;
    g_variant_get(parameters, "(&s&s)", &ns, &key);
    std::lock_guard lock(self->mutex_);
    ++self->reads_;
    auto const it = self->settings_.find({ns, key});
    if (it == self->settings_.end()) {
      g_dbus_method_invocation_return_dbus_error(
          invocation, "org.freedesktop.portal.Error.NotFound", "Requested setting not found");
      return;
    }
    GVariant* value = g_variant_new_variant(it->second);
    if (std::string_view(method) == "Read") {
      value = g_variant_new_variant(value);
    }
    g_dbus_method_invocation_return_value(invocation, g_variant_new_tuple(&value, 1));
  }

  static std::map<Key, GVariant*> parsed(std::map<Key, std::string> const& settings) {
    std::map<Key, GVariant*> out;
    for (auto const& [key, text] : settings) {
      out[key] = parse(text);
    }
    return out;
  }

  static std::string interface_xml(bool read_one) {
    return std::string(R"(<node><interface name="org.freedesktop.portal.Settings">
      <method name="Read"><arg type="s" direction="in"/><arg type="s" direction="in"/>
        <arg type="v" direction="out"/></method>)") +
           (read_one ? R"(<method name="ReadOne"><arg type="s" direction="in"/>
        <arg type="s" direction="in"/><arg type="v" direction="out"/></method>)"
                     : "") +
           R"(<signal name="SettingChanged"><arg type="s"/><arg type="s"/>
        <arg type="v"/></signal></interface></node>)";
  }

  std::mutex mutex_;
  std::map<Key, GVariant*> settings_;
  int reads_ = 0;
  NodeInfo node_;
  BusService service_; // last: stopped before everything its thread uses goes
};

} // namespace zarn_ui::test
