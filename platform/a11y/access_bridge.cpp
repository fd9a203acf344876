#include "platform/a11y/access_bridge.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

#include <fmt/format.h>
#include <gio/gio.h>
#include <spdlog/spdlog.h>

#include "platform/a11y/atspi_answers.h"
#include "platform/a11y/atspi_codes.h"
#include "platform/a11y/tree_export.h"
#include "platform/bus/connect.h"
#include "platform/bus/context_thread.h"
#include "platform/widget/widget.h"

namespace zarn_ui::a11y {

namespace {

GDBusNodeInfo* interface_info() {
  // Parsed once; the description is fixed and lives as long as the process.
  static GDBusNodeInfo* const info = [] {
    GError* error = nullptr;
    GDBusNodeInfo* parsed = g_dbus_node_info_new_for_xml(atspi_interfaces_xml(), &error);
    if (parsed == nullptr) {
      spdlog::error("bad accessibility interface description: {}", bus::take_error_text(error));
    }
    return parsed;
  }();
  return info;
}

GVariant* empty_properties() { return g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0); }

}  // namespace

struct AccessBridge::Impl {
  BridgeOptions options;
  bus::ContextThread worker;

  // Written on the bridge thread before `ready` is set, read-only afterwards.
  GDBusConnection* connection = nullptr;
  guint subtree = 0;
  std::string unique_name;
  std::string desktop_name;
  std::string desktop_path = NULL_PATH;
  std::atomic<bool> ready{false};
  std::atomic<bool> is_embedded{false};
  std::atomic<bool> is_listening{false};

  struct Queued {
    GDBusMethodInvocation* invocation;
    PerformRequest request;
  };
  std::mutex mutex;
  std::shared_ptr<ExportedTree const> tree;        // the last published frame
  std::vector<GDBusMethodInvocation*> waiting;     // calls that came before the first frame
  std::deque<Queued> queue;                        // for the UI thread
  std::int32_t app_id = 0;

  // UI thread.
  std::vector<std::pair<GDBusMethodInvocation*, bool>> replies;

  void wake() const {
    if (options.wake) {
      options.wake();
    }
  }

  // The first call of any client turns publishing on and asks for a frame.
  void heard() {
    if (!is_listening.exchange(true)) {
      wake();
    }
  }

  std::shared_ptr<ExportedTree const> current() {
    std::lock_guard lock(mutex);
    return tree;
  }

  void answer(ExportedTree const& t, GDBusMethodInvocation* invocation) {
    std::int32_t id = 0;
    {
      std::lock_guard lock(mutex);
      id = app_id;
    }
    AnswerContext const ctx{t, unique_name, options.app_name, options.version, desktop_name, desktop_path, id};
    CallAnswer a = answer_call(ctx, g_dbus_method_invocation_get_object_path(invocation),
                               g_dbus_method_invocation_get_interface_name(invocation),
                               g_dbus_method_invocation_get_method_name(invocation),
                               g_dbus_method_invocation_get_parameters(invocation));
    if (a.perform) {
      {
        std::lock_guard lock(mutex);
        queue.push_back({invocation, std::move(*a.perform)});
      }
      wake();
    } else if (a.reply != nullptr) {
      g_dbus_method_invocation_return_value(invocation, a.reply);
    } else {
      g_dbus_method_invocation_return_dbus_error(invocation, a.error_name.c_str(), a.error_text.c_str());
    }
  }

  static void on_method_call(GDBusConnection*, char const*, char const*, char const*, char const*,
                             GVariant*, GDBusMethodInvocation* invocation, gpointer user_data) {
    auto* self = static_cast<Impl*>(user_data);
    self->heard();
    std::shared_ptr<ExportedTree const> t;
    {
      std::lock_guard lock(self->mutex);
      if (!self->tree) {
        self->waiting.push_back(invocation);
        return;
      }
      t = self->tree;
    }
    self->answer(*t, invocation);
  }

  static GVariant* on_get_property(GDBusConnection*, char const*, char const* path, char const* interface,
                                   char const* property, GError** error, gpointer user_data) {
    auto* self = static_cast<Impl*>(user_data);
    self->heard();
    static ExportedTree const none;
    auto const t = self->current();
    std::int32_t id = 0;
    {
      std::lock_guard lock(self->mutex);
      id = self->app_id;
    }
    AnswerContext const ctx{t ? *t : none, self->unique_name, self->options.app_name, self->options.version,
                            self->desktop_name, self->desktop_path, id};
    GVariant* value = answer_property(ctx, path, interface, property);
    if (value == nullptr) {
      g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s here", property);
    }
    return value;
  }

  static gboolean on_set_property(GDBusConnection*, char const*, char const* path, char const* interface,
                                  char const* property, GVariant* value, GError** error, gpointer user_data) {
    auto* self = static_cast<Impl*>(user_data);
    if (std::string_view(path) == ROOT_PATH && std::string_view(interface) == IFACE_APPLICATION &&
        std::string_view(property) == "Id") {
      std::lock_guard lock(self->mutex);
      self->app_id = g_variant_get_int32(value);
      return TRUE;
    }
    g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_PROPERTY_READ_ONLY, "%s is read-only", property);
    return FALSE;
  }

  static constexpr GDBusInterfaceVTable VTABLE{&Impl::on_method_call, &Impl::on_get_property,
                                               &Impl::on_set_property, {}};

  static gchar** on_enumerate(GDBusConnection*, char const*, char const*, gpointer user_data) {
    auto* self = static_cast<Impl*>(user_data);
    auto const t = self->current();
    std::size_t const prefix = std::string_view(ACCESSIBLE_PREFIX).size() + 1;
    GPtrArray* names = g_ptr_array_new();
    g_ptr_array_add(names, g_strdup("root"));
    if (t) {
      for (auto const& node : t->nodes) {
        g_ptr_array_add(names, g_strdup(node.path.c_str() + prefix));
      }
    }
    g_ptr_array_add(names, nullptr);
    return reinterpret_cast<gchar**>(g_ptr_array_free(names, FALSE));
  }

  static GDBusInterfaceInfo** on_introspect(GDBusConnection*, char const*, char const*, char const* node,
                                            gpointer user_data) {
    auto* self = static_cast<Impl*>(user_data);
    GDBusNodeInfo* info = interface_info();
    if (node == nullptr || info == nullptr) {
      return nullptr;
    }
    std::string const path = fmt::format("{}/{}", ACCESSIBLE_PREFIX, node);
    auto const t = self->current();
    std::vector<std::string_view> names;
    if (t || path == ROOT_PATH) {
      names = object_interfaces(t ? *t : ExportedTree{}, path);
    } else {
      // Before the first frame every node may be anything; the call itself waits for it.
      names = {IFACE_ACCESSIBLE, IFACE_COMPONENT, IFACE_ACTION, IFACE_TEXT};
    }
    if (names.empty()) {
      return nullptr;
    }
    GPtrArray* out = g_ptr_array_new();
    for (auto const name : names) {
      g_ptr_array_add(out, g_dbus_interface_info_ref(
                               g_dbus_node_info_lookup_interface(info, std::string(name).c_str())));
    }
    g_ptr_array_add(out, nullptr);
    return reinterpret_cast<GDBusInterfaceInfo**>(g_ptr_array_free(out, FALSE));
  }

  static GDBusInterfaceVTable const* on_dispatch(GDBusConnection*, char const*, char const*, char const*,
                                                 char const*, gpointer* out_user_data, gpointer user_data) {
    *out_user_data = user_data;
    return &VTABLE;
  }

  static constexpr GDBusSubtreeVTable SUBTREE{&Impl::on_enumerate, &Impl::on_introspect, &Impl::on_dispatch, {}};

  base::Result<void> connect() {
    auto session = bus::connect_session(options.session_address);
    if (!session) {
      return base::fail(session.error());
    }
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(*session, A11Y_BUS_NAME, A11Y_BUS_PATH, A11Y_BUS_NAME,
                                                  "GetAddress", nullptr, G_VARIANT_TYPE("(s)"),
                                                  G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    g_dbus_connection_close_sync(*session, nullptr, nullptr);
    g_object_unref(*session);
    if (reply == nullptr) {
      return base::fail(fmt::format("no accessibility bus: {}", bus::take_error_text(error)));
    }
    char const* address = nullptr;
    g_variant_get(reply, "(&s)", &address);
    auto a11y = bus::connect_session(std::string(address));
    g_variant_unref(reply);
    if (!a11y) {
      return base::fail(a11y.error());
    }
    connection = *a11y;
    unique_name = g_dbus_connection_get_unique_name(connection);
    if (interface_info() == nullptr) {
      return base::fail("the accessibility interfaces could not be described");
    }
    subtree = g_dbus_connection_register_subtree(connection, ACCESSIBLE_PREFIX, &SUBTREE,
                                                 G_DBUS_SUBTREE_FLAGS_DISPATCH_TO_UNENUMERATED_NODES,
                                                 this, nullptr, &error);
    if (subtree == 0) {
      return base::fail(fmt::format("could not export the accessible objects: {}", bus::take_error_text(error)));
    }
    ready = true;
    GVariant* socket = g_dbus_connection_call_sync(
        connection, REGISTRY_NAME, ROOT_PATH, IFACE_SOCKET, "Embed",
        g_variant_new("((so))", unique_name.c_str(), ROOT_PATH), G_VARIANT_TYPE("((so))"),
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (socket == nullptr) {
      // Clients that know the name can still read the tree.
      spdlog::info("the accessibility registry did not take the application: {}", bus::take_error_text(error));
      return {};
    }
    char const* name = nullptr;
    char const* path = nullptr;
    g_variant_get(socket, "((&s&o))", &name, &path);
    desktop_name = name;
    desktop_path = path;
    g_variant_unref(socket);
    is_embedded = true;
    return {};
  }

  void refuse_left() {
    std::vector<GDBusMethodInvocation*> left;
    {
      std::lock_guard lock(mutex);
      left.swap(waiting);
      for (auto& q : queue) {
        left.push_back(q.invocation);
      }
      queue.clear();
    }
    for (auto* invocation : left) {
      g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.NotSupported",
                                                 "the application is closing");
    }
  }

  void run() {
    if (auto connected = connect(); !connected) {
      spdlog::info("running without the accessibility bus: {}", connected.error());
    } else {
      worker.run_loop();  // returns at once when the bridge stopped while connecting
    }
    refuse_left();
    if (connection) {
      if (subtree != 0) {
        g_dbus_connection_unregister_subtree(connection, subtree);
      }
      g_dbus_connection_close_sync(connection, nullptr, nullptr);
      g_object_unref(connection);
      connection = nullptr;
    }
  }

  static gboolean answer_waiting(gpointer user_data) {
    auto* self = static_cast<Impl*>(user_data);
    std::vector<GDBusMethodInvocation*> calls;
    std::shared_ptr<ExportedTree const> t;
    {
      std::lock_guard lock(self->mutex);
      calls.swap(self->waiting);
      t = self->tree;
    }
    for (auto* invocation : calls) {
      self->answer(*t, invocation);
    }
    return G_SOURCE_REMOVE;
  }

  void emit(TreeEvent const& e) {
    GVariant* data = nullptr;
    switch (e.data) {
      case TreeEvent::Data::Child:
        data = g_variant_new("(so)", unique_name.c_str(), e.value.c_str());
        break;
      case TreeEvent::Data::Text:
        data = g_variant_new_string(e.value.c_str());
        break;
      case TreeEvent::Data::None:
        data = g_variant_new_int32(0);
        break;
    }
    g_dbus_connection_emit_signal(connection, nullptr, e.path.c_str(), e.interface.c_str(), e.member.c_str(),
                                  g_variant_new("(siiv@a{sv})", e.detail.c_str(), e.detail1, e.detail2, data,
                                                empty_properties()),
                                  nullptr);
  }
};

AccessBridge::AccessBridge(BridgeOptions options) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  Impl* raw = impl_.get();
  impl_->worker.start("maps-a11y", [raw] { raw->run(); });
}

AccessBridge::~AccessBridge() {
  for (auto& [invocation, done] : impl_->replies) {
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", done));
  }
  impl_->replies.clear();
  impl_->worker.stop();
}

bool AccessBridge::embedded() const { return impl_->is_embedded; }
bool AccessBridge::listening() const { return impl_->is_listening; }

std::size_t AccessBridge::apply_queued(widget::Widget& widget, State& state) {
  if (!impl_->is_listening) {
    return 0;
  }
  std::deque<Impl::Queued> calls;
  {
    std::lock_guard lock(impl_->mutex);
    calls.swap(impl_->queue);
  }
  for (auto& q : calls) {
    bool const done = widget.perform_semantic_action(state, q.request.id_text, widget::SemanticArgument::empty());
    impl_->replies.emplace_back(q.invocation, done);
  }
  return calls.size();
}

void AccessBridge::publish(widget::Widget const& widget, Point origin, Rect window, double scale) {
  if (!impl_->is_listening || !impl_->ready) {
    return;
  }
  auto next = std::make_shared<ExportedTree const>(
      export_tree(present_for_bus(widget.accessibility_tree(), widget.access_presentation()),
                  origin, window, scale));
  std::shared_ptr<ExportedTree const> before;
  bool waiting = false;
  {
    std::lock_guard lock(impl_->mutex);
    before = std::exchange(impl_->tree, next);
    waiting = !impl_->waiting.empty();
  }
  if (before) {
    for (auto const& e : tree_changes(*before, *next)) {
      impl_->emit(e);
    }
  }
  if (waiting) {
    impl_->worker.post(&Impl::answer_waiting, impl_.get());
  }
  for (auto& [invocation, done] : impl_->replies) {
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", done));
  }
  impl_->replies.clear();
}

}  // namespace zarn_ui::a11y
