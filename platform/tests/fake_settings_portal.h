#pragma once
// A Settings portal for tests, on a bus given by address and a thread of its own: answers
// ReadOne (or, as the first version of the interface, only Read with the value wrapped twice)
// from a table of settings, and emits SettingChanged when a test changes one.

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include <gio/gio.h>
#include <gtest/gtest.h>

namespace zarn_ui::test {

class FakeSettingsPortal {
 public:
  using Key = std::pair<std::string, std::string>;
  /// `settings`: GVariant texts ("uint32 1", "false") by namespace and key.
  FakeSettingsPortal(std::string address, std::map<Key, std::string> settings, bool read_one = true)
      : address_(std::move(address)), read_one_(read_one) {
    for (auto const& [key, text] : settings) {
      settings_[key] = parse(text);
    }
    thread_ = std::thread([this] { run(); });
    std::unique_lock lock(mutex_);
    ready_cv_.wait(lock, [&] { return ready_; });
  }
  ~FakeSettingsPortal() {
    g_main_context_invoke(
        context_,
        [](gpointer loop) -> gboolean {
          g_main_loop_quit(static_cast<GMainLoop*>(loop));
          return G_SOURCE_REMOVE;
        },
        loop_);
    thread_.join();
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
        context_, G_PRIORITY_DEFAULT,
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
          g_dbus_connection_emit_signal(c->self->connection_, nullptr, PATH, INTERFACE,
                                        "SettingChanged",
                                        g_variant_new("(ss@v)", c->key.first.c_str(),
                                                      c->key.second.c_str(), g_variant_new_variant(c->value)),
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
      g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.portal.Error.NotFound",
                                                 "Requested setting not found");
      return;
    }
    GVariant* value = g_variant_new_variant(it->second);
    if (std::string_view(method) == "Read") {
      value = g_variant_new_variant(value);
    }
    g_dbus_method_invocation_return_value(invocation, g_variant_new_tuple(&value, 1));
  }

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
    std::string const xml = std::string(R"(<node><interface name="org.freedesktop.portal.Settings">
      <method name="Read"><arg type="s" direction="in"/><arg type="s" direction="in"/>
        <arg type="v" direction="out"/></method>)") +
                            (read_one_ ? R"(<method name="ReadOne"><arg type="s" direction="in"/>
        <arg type="s" direction="in"/><arg type="v" direction="out"/></method>)"
                                       : "") +
                            R"(<signal name="SettingChanged"><arg type="s"/><arg type="s"/>
        <arg type="v"/></signal></interface></node>)";
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(xml.c_str(), nullptr);
    static GDBusInterfaceVTable const vtable = {&FakeSettingsPortal::on_call, nullptr, nullptr, {}};
    g_dbus_connection_register_object(connection_, PATH, node->interfaces[0], &vtable, this, nullptr,
                                      nullptr);
    GVariant* owner = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "RequestName", g_variant_new("(su)", NAME, 4u /* DO_NOT_QUEUE */), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    EXPECT_NE(owner, nullptr);
    if (owner) {
      g_variant_unref(owner);
    }
    {
      std::lock_guard lock(mutex_);
      ready_ = true;
    }
    ready_cv_.notify_all();

    g_main_loop_run(loop_);

    // Released before the connection goes, so the next test's portal can take the name at once.
    GVariant* released = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "ReleaseName", g_variant_new("(s)", NAME), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
        -1, nullptr, nullptr);
    if (released) {
      g_variant_unref(released);
    }
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
    g_dbus_node_info_unref(node);
    while (g_main_context_iteration(context_, FALSE)) {
    }
    g_main_loop_unref(loop_);
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }

  std::string address_;
  bool read_one_;
  std::thread thread_;
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  GDBusConnection* connection_ = nullptr;
  std::mutex mutex_;
  std::condition_variable ready_cv_;
  bool ready_ = false;
  std::map<Key, GVariant*> settings_;
  int reads_ = 0;
};

}  // namespace zarn_ui::test
