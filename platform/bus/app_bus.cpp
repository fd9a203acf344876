#include "platform/bus/app_bus.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <optional>

#include <fmt/format.h>
#include <gio/gio.h>
#include <spdlog/spdlog.h>

#include "platform/bus/bus_apply.h"
#include "platform/bus/bus_request.h"
#include "platform/bus/call_queue.h"
#include "platform/bus/connect.h"
#include "platform/bus/context_thread.h"
#include "platform/widget/widget.h"

namespace zarn_ui::bus {

namespace {

constexpr char DBUS_NAME[] = "org.freedesktop.DBus";
constexpr char DBUS_PATH[] = "/org/freedesktop/DBus";
constexpr std::uint32_t NAME_DO_NOT_QUEUE = 4;
constexpr std::uint32_t NAME_PRIMARY_OWNER = 1;
constexpr std::uint32_t NAME_ALREADY_OWNER = 4;
constexpr auto ENABLED_CHECK_INTERVAL = std::chrono::seconds(1);

} // namespace

std::string introspection_xml(std::string_view automation) {
  return fmt::format(R"xml(<node>
  <interface name="org.freedesktop.Application">
    <method name="Activate"><arg type="a{{sv}}" name="platform_data" direction="in"/></method>
    <method name="Open">
      <arg type="as" name="uris" direction="in"/>
      <arg type="s" name="hint" direction="in"/>
      <arg type="a{{sv}}" name="platform_data" direction="in"/>
    </method>
    <method name="ActivateAction">
      <arg type="s" name="action_name" direction="in"/>
      <arg type="av" name="parameter" direction="in"/>
      <arg type="a{{sv}}" name="platform_data" direction="in"/>
    </method>
  </interface>
  <interface name="org.gtk.Actions">
    <method name="List"><arg type="as" name="list" direction="out"/></method>
    <method name="Describe">
      <arg type="s" name="action_name" direction="in"/>
      <arg type="(bgav)" name="description" direction="out"/>
    </method>
    <method name="DescribeAll"><arg type="a{{s(bgav)}}" name="descriptions" direction="out"/></method>
    <method name="Activate">
      <arg type="s" name="action_name" direction="in"/>
      <arg type="av" name="parameter" direction="in"/>
      <arg type="a{{sv}}" name="platform_data" direction="in"/>
    </method>
    <signal name="Changed">
      <arg type="as" name="removals"/>
      <arg type="a{{sb}}" name="enable_changes"/>
      <arg type="a{{sv}}" name="state_changes"/>
      <arg type="a{{s(bgav)}}" name="additions"/>
    </signal>
  </interface>
  <interface name="{}">
    <method name="ListResources"><arg type="s" name="json" direction="out"/></method>
    <method name="ResolveResource">
      <arg type="s" name="id" direction="in"/>
      <arg type="s" name="json" direction="out"/>
    </method>
    <method name="InvokeResource">
      <arg type="s" name="id" direction="in"/>
      <arg type="s" name="verb" direction="in"/>
      <arg type="a{{ss}}" name="args" direction="in"/>
      <arg type="s" name="outcome" direction="out"/>
      <arg type="s" name="message" direction="out"/>
      <arg type="ay" name="request_id" direction="out"/>
    </method>
    <method name="DispatchAction">
      <arg type="s" name="namespace" direction="in"/>
      <arg type="s" name="payload" direction="in"/>
      <arg type="s" name="outcome" direction="out"/>
      <arg type="s" name="message" direction="out"/>
    </method>
    <method name="StartAction">
      <arg type="ay" name="request_id" direction="in"/>
      <arg type="s" name="action_name" direction="in"/>
      <arg type="s" name="argument" direction="in"/>
      <arg type="s" name="outcome" direction="out"/>
      <arg type="s" name="message" direction="out"/>
    </method>
    <method name="TakeActionResult">
      <arg type="ay" name="request_id" direction="in"/>
      <arg type="s" name="outcome" direction="out"/>
      <arg type="s" name="code" direction="out"/>
      <arg type="s" name="message" direction="out"/>
    </method>
  </interface>
</node>)xml",
                     automation);
}

struct AppBus::Impl {
  BusOptions options;
  std::string path;
  uid_t allowed_uid = 0;
  bool owned = false;

  // Bus thread.
  ContextThread worker;
  GDBusConnection* connection = nullptr;
  std::vector<guint> registrations;

  // Calls waiting for the UI thread. A local call has no invocation.
  struct Queued {
    GDBusMethodInvocation* invocation = nullptr;
    std::string interface;
    std::string method;
    GVariant* parameters = nullptr;
  };
  std::mutex mutex;
  CallQueue<Queued> queue;

  // UI thread.
  std::vector<std::pair<GDBusMethodInvocation*, Reply>> replies;
  std::optional<std::map<std::string, bool>> enabled;
  std::chrono::steady_clock::time_point last_enabled_check{};
  bool check_put_off = false;

  /// `caller`: the sender's unique name; empty for this process's own call.
  void enqueue(std::string const& caller, Queued q) {
    {
      std::lock_guard lock(mutex);
      queue.push(caller, std::move(q));
    }
    if (options.wake) {
      options.wake();
    }
  }

  struct Pending {
    Impl* self;
    GDBusMethodInvocation* invocation;
  };

  // The caller's user is asked of the bus itself; only then is the call queued.
  static void on_method_call(GDBusConnection* connection, char const* sender, char const*,
                             char const*, char const*, GVariant*, GDBusMethodInvocation* invocation,
                             gpointer user_data) {
    auto* self = static_cast<Impl*>(user_data);
    if (sender == nullptr) {
      g_dbus_method_invocation_return_dbus_error(invocation, ACCESS_DENIED,
                                                 "the caller is unknown");
      return;
    }
    g_dbus_connection_call(connection, DBUS_NAME, DBUS_PATH, DBUS_NAME, "GetConnectionUnixUser",
                           g_variant_new("(s)", sender), G_VARIANT_TYPE("(u)"),
                           G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &Impl::on_caller_user,
                           new Pending{self, invocation});
  }

  static void on_caller_user(GObject* source, GAsyncResult* result, gpointer user_data) {
    std::unique_ptr<Pending> pending(static_cast<Pending*>(user_data));
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (reply == nullptr) {
      g_dbus_method_invocation_return_dbus_error(
          pending->invocation, ACCESS_DENIED,
          fmt::format("the caller's user is unknown: {}", take_error_text(error)).c_str());
      return;
    }
    guint32 uid = 0;
    g_variant_get(reply, "(u)", &uid);
    g_variant_unref(reply);
    Impl* self = pending->self;
    if (uid != self->allowed_uid) {
      g_dbus_method_invocation_return_dbus_error(pending->invocation, ACCESS_DENIED,
                                                 "calls from other users are refused");
      return;
    }
    GDBusMethodInvocation* inv = pending->invocation;
    self->enqueue(g_dbus_method_invocation_get_sender(inv),
                  {inv, g_dbus_method_invocation_get_interface_name(inv),
                   g_dbus_method_invocation_get_method_name(inv),
                   g_variant_ref(g_dbus_method_invocation_get_parameters(inv))});
  }

  static constexpr GDBusInterfaceVTable VTABLE{&Impl::on_method_call, nullptr, nullptr, {}};

  base::Result<void> connect_and_claim() {
    auto connected = connect_session(options.address);
    if (!connected) {
      return base::fail(connected.error());
    }
    connection = *connected;
    GError* error = nullptr;

    std::string const automation = options.app_id + ".Automation1";
    GDBusNodeInfo* node =
        g_dbus_node_info_new_for_xml(introspection_xml(automation).c_str(), &error);
    if (node == nullptr) {
      return base::fail(fmt::format("bad interface description: {}", take_error_text(error)));
    }
    for (GDBusInterfaceInfo** info = node->interfaces; *info != nullptr; ++info) {
      guint const id = g_dbus_connection_register_object(connection, path.c_str(), *info, &VTABLE,
                                                         this, nullptr, &error);
      if (id == 0) {
        g_dbus_node_info_unref(node);
        return base::fail(
            fmt::format("could not export {}: {}", (*info)->name, take_error_text(error)));
      }
      registrations.push_back(id);
    }
    g_dbus_node_info_unref(node);

    GVariant* reply = g_dbus_connection_call_sync(
        connection, DBUS_NAME, DBUS_PATH, DBUS_NAME, "RequestName",
        g_variant_new("(su)", options.app_id.c_str(), NAME_DO_NOT_QUEUE), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    if (reply == nullptr) {
      return base::fail(
          fmt::format("could not ask for the name {}: {}", options.app_id, take_error_text(error)));
    }
    guint32 code = 0;
    g_variant_get(reply, "(u)", &code);
    g_variant_unref(reply);
    owned = code == NAME_PRIMARY_OWNER || code == NAME_ALREADY_OWNER;
    return {};
  }

  void unexport() {
    for (guint const id : registrations) {
      g_dbus_connection_unregister_object(connection, id);
    }
    registrations.clear();
  }

  void run(std::promise<base::Result<void>>& started) {
    auto claimed = connect_and_claim();
    if (claimed && !owned) {
      unexport();
    }
    bool const serve = claimed && owned;
    started.set_value(std::move(claimed));
    if (serve) {
      worker.run_loop();
    }
    // What no frame will answer any more is refused here.
    CallQueue<Queued> left;
    {
      std::lock_guard lock(mutex);
      std::swap(left, queue);
    }
    while (auto next = left.pop()) {
      Queued& q = *next;
      if (q.invocation) {
        g_dbus_method_invocation_return_dbus_error(q.invocation, NOT_SUPPORTED,
                                                   "the application is closing");
      }
      g_variant_unref(q.parameters);
    }
    if (connection) {
      unexport();
      g_dbus_connection_close_sync(connection, nullptr, nullptr);
      g_object_unref(connection);
      connection = nullptr;
    }
  }
};

AppBus::AppBus(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

base::Result<std::unique_ptr<AppBus>> AppBus::start(BusOptions options) {
  auto impl = std::make_unique<Impl>();
  impl->path = object_path_for(options.app_id);
  impl->allowed_uid = options.allowed_uid.value_or(getuid());
  impl->options = std::move(options);
  std::promise<base::Result<void>> started;
  auto done = started.get_future();
  Impl* raw = impl.get();
  // The thread owns the promise: it may still be inside set_value when this side wakes.
  impl->worker.start("maps-bus",
                     [raw, promise = std::move(started)]() mutable { raw->run(promise); });
  std::unique_ptr<AppBus> bus(new AppBus(std::move(impl)));
  if (auto r = done.get(); !r) {
    return base::fail(r.error());
  }
  return bus;
}

AppBus::~AppBus() {
  // Answers still waiting for a frame that will not come.
  for (auto& [invocation, reply] : impl_->replies) {
    if (invocation) {
      reply.send(invocation);
    }
  }
  impl_->replies.clear();
  impl_->worker.stop();
}

bool AppBus::owns_name() const {
  return impl_->owned;
}
std::string const& AppBus::object_path() const {
  return impl_->path;
}

void AppBus::queue_local_action(std::string id, std::optional<std::string> argument) {
  GVariantBuilder params;
  g_variant_builder_init(&params, G_VARIANT_TYPE("av"));
  if (argument) {
    g_variant_builder_add(&params, "v", g_variant_new_string(argument->c_str()));
  }
  GVariant* args = g_variant_ref_sink(g_variant_new(
      "(sav@a{sv})", id.c_str(), &params, g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)));
  impl_->enqueue("", {nullptr, "org.freedesktop.Application", "ActivateAction", args});
}

std::size_t AppBus::apply_queued(widget::Widget& widget, State& state,
                                 std::vector<ActionSignature> const& actions,
                                 std::function<void(std::string const&)> const& activate) {
  // A flood of calls is spread over frames: the frame keeps its time, and a caller behind the
  // flood is answered within a frame or two.
  ApplyContext const ctx{widget, state, actions, impl_->options.app_id + ".Error", activate};
  auto const started = std::chrono::steady_clock::now();
  std::size_t applied = 0;
  bool left = false;
  while (true) {
    std::optional<Impl::Queued> next;
    {
      std::lock_guard lock(impl_->mutex);
      bool const share_spent =
          applied > 0 && (applied >= impl_->options.calls_per_frame ||
                          std::chrono::steady_clock::now() - started >= impl_->options.call_budget);
      if (share_spent) {
        left = !impl_->queue.empty();
        break;
      }
      next = impl_->queue.pop();
    }
    if (!next) {
      break;
    }
    ++applied;
    Impl::Queued& q = *next;
    auto parsed = parse_call(q.interface, q.method, q.parameters, actions);
    g_variant_unref(q.parameters);
    Reply reply = parsed ? bus::apply(*parsed, ctx) : Reply::failure(parsed.error());
    if (q.invocation == nullptr) {
      if (reply.error()) {
        spdlog::warn("the action given at start failed: {}", reply.error()->message);
      }
      continue;
    }
    impl_->replies.emplace_back(q.invocation, std::move(reply));
  }
  if (left && impl_->options.wake) {
    impl_->options.wake();
  }
  return applied;
}

void AppBus::send_replies(widget::Widget& widget, State& state,
                          std::vector<ActionSignature> const& actions) {
  bool const answered = !impl_->replies.empty();
  for (auto& [invocation, reply] : impl_->replies) {
    reply.send(invocation);
  }
  impl_->replies.clear();

  auto const now = std::chrono::steady_clock::now();
  if (!answered && impl_->enabled && now - impl_->last_enabled_check < ENABLED_CHECK_INTERVAL) {
    // This frame may have changed what is enabled: the loop comes back for the check.
    impl_->check_put_off = true;
    return;
  }
  impl_->last_enabled_check = now;
  impl_->check_put_off = false;
  auto enabled = action_enabled(widget, state, actions);
  if (impl_->enabled && impl_->connection) {
    GVariantBuilder changes;
    g_variant_builder_init(&changes, G_VARIANT_TYPE("a{sb}"));
    bool any = false;
    for (auto const& [id, on] : enabled) {
      auto const before = impl_->enabled->find(id);
      if (before == impl_->enabled->end() || before->second != on) {
        g_variant_builder_add(&changes, "{sb}", id.c_str(), on);
        any = true;
      }
    }
    if (any) {
      g_dbus_connection_emit_signal(
          impl_->connection, nullptr, impl_->path.c_str(), "org.gtk.Actions", "Changed",
          g_variant_new("(@asa{sb}@a{sv}@a{s(bgav)})", g_variant_new_strv(nullptr, 0), &changes,
                        g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0),
                        g_variant_new_array(G_VARIANT_TYPE("{s(bgav)}"), nullptr, 0)),
          nullptr);
    } else {
      g_variant_builder_clear(&changes);
    }
  }
  impl_->enabled = std::move(enabled);
}

std::optional<std::chrono::steady_clock::time_point> AppBus::next_enabled_check() const {
  if (!impl_->check_put_off) {
    return std::nullopt;
  }
  return impl_->last_enabled_check + ENABLED_CHECK_INTERVAL;
}

std::vector<ActionSignature> published_signatures(widget::Widget const& widget,
                                                  std::vector<ActionSignature> const& declared) {
  std::vector<ActionSignature> out;
  for (auto const& id : widget.published_action_ids()) {
    auto const it =
        std::find_if(declared.begin(), declared.end(), [&](auto const& d) { return d.id == id; });
    out.push_back(it != declared.end() ? *it : ActionSignature{id, 2, true});
  }
  return out;
}

} // namespace zarn_ui::bus
