#pragma once
// Test support for D-Bus: a fixture base whose suite runs a private session bus, and a
// service that owns a well-known name on such a bus and answers on a thread of its own.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include <gio/gio.h>
#include <gtest/gtest.h>

namespace zarn_ui::test {

/// A fixture whose suite starts a private session bus (a dbus-daemon of its own) and stops it
/// after the suite's last test. A fixture with more suite set-up calls these from its own.
class PrivateBusTest : public ::testing::Test {
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

  static inline GTestDBus* bus_ = nullptr;
};

struct NodeInfoUnref {
  void operator()(GDBusNodeInfo* node) const { g_dbus_node_info_unref(node); }
};
/// Interface descriptions parsed from introspection XML, freed with their owner.
using NodeInfo = std::unique_ptr<GDBusNodeInfo, NodeInfoUnref>;
inline NodeInfo node_info(char const* xml) {
  NodeInfo node(g_dbus_node_info_new_for_xml(xml, nullptr));
  EXPECT_NE(node, nullptr) << xml;
  return node;
}

/// A service on the bus at `address`: a thread of its own runs a main loop with a connection
/// on which `setup` registers the service's objects, and which then asks for `name` (without
/// queueing). All that is done when the constructor returns. The destructor gives the name
/// back before the connection goes, so the next test's service can take it at once.
class BusService {
public:
  BusService(std::string address, std::string name, std::function<void(GDBusConnection*)> setup)
      : address_(std::move(address)), name_(std::move(name)), setup_(std::move(setup)) {
    thread_ = std::thread([this] { run(); });
    std::unique_lock lock(mutex_);
    ready_cv_.wait(lock, [&] { return ready_; });
  }
  ~BusService() { stop(); }
  BusService(BusService const&) = delete;
  BusService& operator=(BusService const&) = delete;

  /// Ends the service (as the destructor does) for an owner that must free what its handlers
  /// use first; later calls do nothing.
  void stop() {
    if (!thread_.joinable()) {
      return;
    }
    g_main_context_invoke(
        context_,
        [](gpointer loop) -> gboolean {
          g_main_loop_quit(static_cast<GMainLoop*>(loop));
          return G_SOURCE_REMOVE;
        },
        loop_);
    thread_.join();
  }

  /// The service's connection; used on its thread (or to emit signals).
  GDBusConnection* connection() const { return connection_; }
  /// The service thread's main context, for running work there.
  GMainContext* context() const { return context_; }
  /// Whether the name was granted (false when another connection holds it).
  bool owns_name() const { return owns_name_; }

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
    setup_(connection_);
    GVariant* owner = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "RequestName", g_variant_new("(su)", name_.c_str(), 4u /* DO_NOT_QUEUE */),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    EXPECT_NE(owner, nullptr);
    if (owner != nullptr) {
      std::uint32_t code = 0;
      g_variant_get(owner, "(u)", &code);
      owns_name_ = code == 1; // PRIMARY_OWNER
      g_variant_unref(owner);
    }
    {
      std::lock_guard lock(mutex_);
      ready_ = true;
    }
    ready_cv_.notify_all();

    g_main_loop_run(loop_);

    GVariant* released = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "ReleaseName", g_variant_new("(s)", name_.c_str()), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (released != nullptr) {
      g_variant_unref(released);
    }
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
    while (g_main_context_iteration(context_, FALSE)) {
    }
    g_main_loop_unref(loop_);
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }

  std::string address_;
  std::string name_;
  std::function<void(GDBusConnection*)> setup_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable ready_cv_;
  bool ready_ = false;
  bool owns_name_ = false;
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  GDBusConnection* connection_ = nullptr;
};

} // namespace zarn_ui::test
