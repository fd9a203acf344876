#include "platform/a11y/access_bridge.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
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

GVariant* empty_properties() {
  return g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0);
}

} // namespace

/// How long a property read waits for the first frame before answering from an empty tree.
constexpr std::chrono::milliseconds FIRST_FRAME_WAIT{1500};

struct AccessBridge::Impl {
  BridgeOptions options;
  bus::ContextThread worker;

  // Bridge thread. The session connection stays open to see the accessibility bus come back.
  GDBusConnection* session = nullptr;
  guint bus_watch = 0;
  guint subtree = 0;
  guint registry_watch = 0;
  gulong closed_handler = 0;
  GCancellable* cancel = nullptr; // the calls of the current connection
  GSource* retry = nullptr;
  guint retries_left = 0;
  guint retry_ms = 0;
  std::string desktop_name;
  std::string desktop_path = NULL_PATH;
  // Written on the bridge thread under `mutex`; the UI thread reads them there to send events.
  GDBusConnection* connection = nullptr;
  std::string unique_name;
  std::atomic<bool> ready{false}; // connected, the objects exported
  std::atomic<bool> is_embedded{false};
  std::atomic<bool> is_listening{false};

  struct Queued {
    GDBusMethodInvocation* invocation;
    PerformRequest request;
  };
  std::mutex mutex;
  std::shared_ptr<ExportedTree const> tree;    // the last published frame
  std::vector<GDBusMethodInvocation*> waiting; // calls that came before the first frame
  std::deque<Queued> queue;                    // for the UI thread
  std::int32_t app_id = 0;
  std::condition_variable published; // the first frame is there

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
    AnswerContext const ctx{
        t, unique_name, options.app_name, options.version, desktop_name, desktop_path, id};
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
      g_dbus_method_invocation_return_dbus_error(invocation, a.error_name.c_str(),
                                                 a.error_text.c_str());
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

  static GVariant* on_get_property(GDBusConnection*, char const*, char const* path,
                                   char const* interface, char const* property, GError** error,
                                   gpointer user_data) {
    auto* self = static_cast<Impl*>(user_data);
    self->heard();
    static ExportedTree const none;
    std::shared_ptr<ExportedTree const> t;
    std::int32_t id = 0;
    {
      // A property is answered at once, so a client whose first question is one (a child count)
      // would see a window with nothing in it: it waits a moment for the first frame instead.
      std::unique_lock lock(self->mutex);
      self->published.wait_for(lock, FIRST_FRAME_WAIT, [self] { return self->tree != nullptr; });
      t = self->tree;
      id = self->app_id;
    }
    AnswerContext const ctx{t ? *t : none,
                            self->unique_name,
                            self->options.app_name,
                            self->options.version,
                            self->desktop_name,
                            self->desktop_path,
                            id};
    GVariant* value = answer_property(ctx, path, interface, property);
    if (value == nullptr) {
      g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s here",
                  property);
    }
    return value;
  }

  static gboolean on_set_property(GDBusConnection*, char const*, char const* path,
                                  char const* interface, char const* property, GVariant* value,
                                  GError** error, gpointer user_data) {
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

  static constexpr GDBusInterfaceVTable VTABLE{
      &Impl::on_method_call, &Impl::on_get_property, &Impl::on_set_property, {}};

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

  static GDBusInterfaceInfo** on_introspect(GDBusConnection*, char const*, char const*,
                                            char const* node, gpointer user_data) {
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
      names = {IFACE_ACCESSIBLE, IFACE_COMPONENT, IFACE_ACTION, IFACE_TEXT, IFACE_EDITABLE_TEXT};
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

  static GDBusInterfaceVTable const* on_dispatch(GDBusConnection*, char const*, char const*,
                                                 char const*, char const*, gpointer* out_user_data,
                                                 gpointer user_data) {
    *out_user_data = user_data;
    return &VTABLE;
  }

  static constexpr GDBusSubtreeVTable SUBTREE{
      &Impl::on_enumerate, &Impl::on_introspect, &Impl::on_dispatch, {}};

  /// Connects to the accessibility bus, exports the objects and watches the registry, which
  /// takes the application each time it appears. Sync calls: only this thread waits for them.
  base::Result<void> attach() {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        session, A11Y_BUS_NAME, A11Y_BUS_PATH, A11Y_BUS_NAME, "GetAddress", nullptr,
        G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
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
    if (interface_info() == nullptr) {
      g_object_unref(*a11y);
      return base::fail("the accessibility interfaces could not be described");
    }
    subtree = g_dbus_connection_register_subtree(
        *a11y, ACCESSIBLE_PREFIX, &SUBTREE, G_DBUS_SUBTREE_FLAGS_DISPATCH_TO_UNENUMERATED_NODES,
        this, nullptr, &error);
    if (subtree == 0) {
      g_dbus_connection_close_sync(*a11y, nullptr, nullptr);
      g_object_unref(*a11y);
      return base::fail(
          fmt::format("could not export the accessible objects: {}", bus::take_error_text(error)));
    }
    {
      std::lock_guard lock(mutex);
      connection = *a11y;
      unique_name = g_dbus_connection_get_unique_name(connection);
    }
    cancel = g_cancellable_new();
    closed_handler = g_signal_connect(connection, "closed", G_CALLBACK(&Impl::on_closed), this);
    ready = true;
    // Auto-started like the registry's first caller would start it.
    registry_watch = g_bus_watch_name_on_connection(
        connection, REGISTRY_NAME, G_BUS_NAME_WATCHER_FLAGS_AUTO_START, &Impl::on_registry_appeared,
        &Impl::on_registry_vanished, this, nullptr);
    return {};
  }

  /// Lets go of the accessibility bus connection and what hangs on it.
  void detach() {
    ready = false;
    is_embedded = false;
    GDBusConnection* gone = nullptr;
    {
      std::lock_guard lock(mutex);
      gone = std::exchange(connection, nullptr);
    }
    if (gone == nullptr) {
      return;
    }
    if (registry_watch != 0) {
      g_bus_unwatch_name(std::exchange(registry_watch, 0));
    }
    if (cancel != nullptr) {
      g_cancellable_cancel(cancel);
      g_object_unref(std::exchange(cancel, nullptr));
    }
    g_signal_handler_disconnect(gone, std::exchange(closed_handler, 0));
    if (subtree != 0) {
      g_dbus_connection_unregister_subtree(gone, std::exchange(subtree, 0));
    }
    if (!g_dbus_connection_is_closed(gone)) {
      g_dbus_connection_close_sync(gone, nullptr, nullptr);
    }
    g_object_unref(gone);
  }

  void try_attach() {
    if (connection != nullptr) {
      return;
    }
    if (auto attached = attach(); !attached) {
      spdlog::info("running without the accessibility bus: {}", attached.error());
      schedule_retry();
    } else {
      retries_left = 0;
    }
  }

  // A bus that went away while its launcher kept its name gives no sign when it is back: the
  // bridge asks a few times, less often each time (0.5 s to 16 s), then waits for the name.
  void schedule_retry() {
    if (retry != nullptr || retries_left == 0) {
      return;
    }
    --retries_left;
    retry_ms = std::min<guint>(retry_ms * 2, 16000);
    retry = g_timeout_source_new(retry_ms);
    g_source_set_callback(
        retry,
        [](gpointer data) -> gboolean {
          auto* self = static_cast<Impl*>(data);
          g_source_unref(std::exchange(self->retry, nullptr));
          self->try_attach();
          return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(retry, worker.context());
  }

  static void on_closed(GDBusConnection*, gboolean, GError*, gpointer user_data) {
    auto* self = static_cast<Impl*>(user_data);
    spdlog::info("the accessibility bus went away; waiting for it to come back");
    self->detach();
    self->retries_left = 6;
    self->retry_ms = 250;
    self->schedule_retry();
  }

  static void on_bus_appeared(GDBusConnection*, char const*, char const*, gpointer user_data) {
    auto* self = static_cast<Impl*>(user_data);
    self->try_attach();
  }

  static void on_registry_appeared(GDBusConnection* c, char const*, char const*,
                                   gpointer user_data) {
    auto* self = static_cast<Impl*>(user_data);
    g_dbus_connection_call(c, REGISTRY_NAME, ROOT_PATH, IFACE_SOCKET, "Embed",
                           g_variant_new("((so))", self->unique_name.c_str(), ROOT_PATH),
                           G_VARIANT_TYPE("((so))"), G_DBUS_CALL_FLAGS_NONE, 5000, self->cancel,
                           &Impl::on_embedded, self);
  }

  static void on_registry_vanished(GDBusConnection*, char const*, gpointer user_data) {
    static_cast<Impl*>(user_data)->is_embedded = false;
  }

  static void on_embedded(GObject* source, GAsyncResult* result, gpointer user_data) {
    GError* error = nullptr;
    GVariant* socket = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (socket == nullptr) {
      if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
        // Clients that know the name can still read the tree.
        spdlog::info("the accessibility registry did not take the application: {}",
                     bus::take_error_text(error));
      } else {
        g_error_free(error);
      }
      return;
    }
    auto* self = static_cast<Impl*>(user_data);
    char const* name = nullptr;
    char const* path = nullptr;
    g_variant_get(socket, "((&s&o))", &name, &path);
    self->desktop_name = name;
    self->desktop_path = path;
    g_variant_unref(socket);
    self->is_embedded = true;
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
      g_dbus_method_invocation_return_dbus_error(
          invocation, "org.freedesktop.DBus.Error.NotSupported", "the application is closing");
    }
  }

  void run() {
    auto connected = bus::connect_session(options.session_address);
    if (!connected) {
      spdlog::info("running without the accessibility bus: {}", connected.error());
      return;
    }
    session = *connected;
    try_attach();
    // Also when the bus comes (back) later; the first report of an owner finds it attached.
    bus_watch =
        g_bus_watch_name_on_connection(session, A11Y_BUS_NAME, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                       &Impl::on_bus_appeared, nullptr, this, nullptr);
    worker.run_loop(); // returns at once when the bridge stopped while connecting
    refuse_left();
    if (retry != nullptr) {
      g_source_destroy(retry);
      g_source_unref(std::exchange(retry, nullptr));
    }
    g_bus_unwatch_name(bus_watch);
    detach();
    g_dbus_connection_close_sync(session, nullptr, nullptr);
    g_object_unref(std::exchange(session, nullptr));
    // Callbacks already queued (a cancelled call's end) run while this object lives.
    while (g_main_context_iteration(worker.context(), FALSE)) {
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

  static void emit(GDBusConnection* to, std::string const& name, TreeEvent const& e) {
    GVariant* data = nullptr;
    switch (e.data) {
    case TreeEvent::Data::Child:
      data = g_variant_new("(so)", name.c_str(), e.value.c_str());
      break;
    case TreeEvent::Data::Text:
      data = g_variant_new_string(e.value.c_str());
      break;
    case TreeEvent::Data::None:
      data = g_variant_new_int32(0);
      break;
    }
    g_dbus_connection_emit_signal(to, nullptr, e.path.c_str(), e.interface.c_str(),
                                  e.member.c_str(),
                                  g_variant_new("(siiv@a{sv})", e.detail.c_str(), e.detail1,
                                                e.detail2, data, empty_properties()),
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

bool AccessBridge::embedded() const {
  return impl_->is_embedded;
}
bool AccessBridge::listening() const {
  return impl_->is_listening;
}

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
    auto const argument = q.request.text ? widget::SemanticArgument::with_text(*q.request.text)
                                         : widget::SemanticArgument::empty();
    bool const done = widget.perform_semantic_action(state, q.request.id_text, argument);
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
  GDBusConnection* to = nullptr;
  std::string name;
  {
    std::lock_guard lock(impl_->mutex);
    before = std::exchange(impl_->tree, next);
    waiting = !impl_->waiting.empty();
    impl_->published.notify_all();
    if (impl_->connection != nullptr) {
      to = G_DBUS_CONNECTION(g_object_ref(impl_->connection));
      name = impl_->unique_name;
    }
  }
  if (before && to != nullptr) {
    for (auto const& e : tree_changes(*before, *next)) {
      Impl::emit(to, name, e);
    }
  }
  if (to != nullptr) {
    g_object_unref(to);
  }
  if (waiting) {
    impl_->worker.post(&Impl::answer_waiting, impl_.get());
  }
  for (auto& [invocation, done] : impl_->replies) {
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", done));
  }
  impl_->replies.clear();
}

} // namespace zarn_ui::a11y
