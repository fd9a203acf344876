#pragma once
// A private desktop accessibility stack for tests: a session bus from dbus-daemon, the
// accessibility bus launcher on it (with a runtime folder of its own, so parallel tests never
// share a bus socket), and a client connection on the accessibility bus that records the
// events it sees. Tests skip when at-spi2-core is not installed.

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gio/gio.h>
#include <gtest/gtest.h>

namespace zarn_ui::test {

inline constexpr char LAUNCHER[] = "/usr/libexec/at-spi-bus-launcher";

/// One event as the client saw it.
struct SeenEvent {
  std::string path;
  std::string interface;
  std::string member;
  std::string detail;
  int detail1 = 0;
  std::string text; // the event's data when it is a text (an announcement, a new name)
};

/// An object reference: bus name and path.
struct Ref {
  std::string name;
  std::string path;
  bool operator==(Ref const&) const = default;
};

class AtspiSession {
public:
  /// Empty when the stack runs; otherwise why not (the test then skips).
  std::string start() {
    if (::access(LAUNCHER, X_OK) != 0) {
      return "at-spi2-core is not installed (no at-spi-bus-launcher); scripts/install-deps "
             "installs it";
    }
    char dir_template[] = "/tmp/zarn-atspi-XXXXXX";
    if (mkdtemp(dir_template) == nullptr) {
      return "no temporary folder";
    }
    runtime_dir_ = dir_template;
    setenv("XDG_RUNTIME_DIR", runtime_dir_.c_str(), 1);
    std::string address;
    daemon_ = spawn({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, &address);
    if (daemon_ <= 0 || address.empty()) {
      return "dbus-daemon did not start";
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    launcher_ = spawn({LAUNCHER, "--launch-immediately"}, nullptr);
    if (launcher_ <= 0) {
      return "at-spi-bus-launcher did not start";
    }
    GError* error = nullptr;
    GDBusConnection* session = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (session == nullptr) {
      g_error_free(error);
      return "no connection to the private session bus";
    }
    session_ = session;
    context_ = g_main_context_new();
    g_main_context_push_thread_default(context_);
    return connect_client();
  }

  /// Ends the accessibility bus launcher (and with it the accessibility bus and the registry),
  /// starts a new one and connects the client to its bus; empty when done, else why not.
  std::string restart_bus() {
    if (client_ != nullptr) {
      g_dbus_connection_close_sync(client_, nullptr, nullptr);
      g_object_unref(client_);
      client_ = nullptr;
    }
    kill(launcher_, SIGTERM);
    waitpid(launcher_, nullptr, 0);
    launcher_ = -1;
    // The old launcher's name must be gone, or its address would be read again.
    for (int i = 0; i < 500 && has_owner(session_, "org.a11y.Bus"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    launcher_ = spawn({LAUNCHER, "--launch-immediately"}, nullptr);
    if (launcher_ <= 0) {
      return "at-spi-bus-launcher did not start again";
    }
    return connect_client();
  }

  /// Ends the registry the accessibility bus runs; true once its name has no owner. The next
  /// call to the registry starts a new one.
  bool kill_registry() {
    GVariant* r =
        call({"org.freedesktop.DBus", "/org/freedesktop/DBus"}, "org.freedesktop.DBus",
             "GetConnectionUnixProcessID", g_variant_new("(s)", "org.a11y.atspi.Registry"));
    if (r == nullptr) {
      return false;
    }
    guint32 pid = 0;
    g_variant_get(r, "(u)", &pid);
    g_variant_unref(r);
    if (pid == 0 || kill(static_cast<pid_t>(pid), SIGTERM) != 0) {
      return false;
    }
    for (int i = 0; i < 500; ++i) {
      if (!has_owner(client_, "org.a11y.atspi.Registry")) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

private:
  static bool has_owner(GDBusConnection* on, char const* name) {
    GVariant* r = g_dbus_connection_call_sync(on, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                              "org.freedesktop.DBus", "NameHasOwner",
                                              g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"),
                                              G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
    gboolean owned = FALSE;
    if (r != nullptr) {
      g_variant_get(r, "(b)", &owned);
      g_variant_unref(r);
    }
    return owned;
  }

  std::string connect_client() {
    std::string a11y;
    for (int i = 0; i < 500 && a11y.empty(); ++i) {
      GVariant* r = g_dbus_connection_call_sync(
          session_, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
          G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, 1000, nullptr, nullptr);
      if (r != nullptr) {
        char const* s = nullptr;
        g_variant_get(r, "(&s)", &s);
        a11y = s;
        g_variant_unref(r);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    if (a11y.empty()) {
      return "the accessibility bus launcher gave no address";
    }
    GError* error = nullptr;
    client_ = g_dbus_connection_new_for_address_sync(
        a11y.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (client_ == nullptr) {
      g_error_free(error);
      return "no connection to the accessibility bus";
    }
    for (char const* iface : {"org.a11y.atspi.Event.Object", "org.a11y.atspi.Event.Focus"}) {
      g_dbus_connection_signal_subscribe(client_, nullptr, iface, nullptr, nullptr, nullptr,
                                         G_DBUS_SIGNAL_FLAGS_NONE, &AtspiSession::on_signal, this,
                                         nullptr);
    }
    return {};
  }

public:
  ~AtspiSession() {
    if (client_ != nullptr) {
      g_dbus_connection_close_sync(client_, nullptr, nullptr);
      g_object_unref(client_);
    }
    if (session_ != nullptr) {
      g_object_unref(session_);
    }
    if (context_ != nullptr) {
      g_main_context_pop_thread_default(context_);
      g_main_context_unref(context_);
    }
    for (pid_t const pid : {launcher_, daemon_}) {
      if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
      }
    }
    if (!runtime_dir_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(runtime_dir_, ignored);
    }
  }

  GDBusConnection* client() const { return client_; }
  std::vector<SeenEvent> const& events() const { return events_; }
  void clear_events() { events_.clear(); }

  /// A call on the accessibility bus; null with `error` set when it failed. Dispatches the
  /// client's signals while it waits.
  GVariant* call(Ref const& to, char const* interface, char const* method,
                 GVariant* params = nullptr, std::string* error = nullptr) {
    struct Out {
      GVariant* value = nullptr;
      std::string error;
      bool done = false;
    } out;
    g_dbus_connection_call(
        client_, to.name.c_str(), to.path.c_str(), interface, method, params, nullptr,
        G_DBUS_CALL_FLAGS_NONE, 10000, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* o = static_cast<Out*>(data);
          GError* e = nullptr;
          o->value = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &e);
          if (o->value == nullptr) {
            o->error = e->message;
            g_error_free(e);
          }
          o->done = true;
        },
        &out);
    while (!out.done) {
      g_main_context_iteration(context_, TRUE);
    }
    if (error != nullptr) {
      *error = out.error;
    }
    return out.value;
  }

  GVariant* property(Ref const& of, char const* interface, char const* name) {
    GVariant* r =
        call(of, "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", interface, name));
    if (r == nullptr) {
      return nullptr;
    }
    GVariant* boxed = nullptr;
    g_variant_get(r, "(v)", &boxed);
    g_variant_unref(r);
    return boxed;
  }

  std::string name_of(Ref const& of) { return text_property(of, "Name"); }
  std::string description_of(Ref const& of) { return text_property(of, "Description"); }

  std::string text_property(Ref const& of, char const* name) {
    GVariant* v = property(of, "org.a11y.atspi.Accessible", name);
    std::string s = v ? g_variant_get_string(v, nullptr) : "";
    if (v) {
      g_variant_unref(v);
    }
    return s;
  }

  std::uint32_t role_of(Ref const& of) {
    GVariant* r = call(of, "org.a11y.atspi.Accessible", "GetRole");
    std::uint32_t role = 0;
    if (r) {
      g_variant_get(r, "(u)", &role);
      g_variant_unref(r);
    }
    return role;
  }

  std::vector<Ref> children_of(Ref const& of) {
    std::vector<Ref> out;
    GVariant* r = call(of, "org.a11y.atspi.Accessible", "GetChildren");
    if (r == nullptr) {
      return out;
    }
    GVariantIter* it = nullptr;
    g_variant_get(r, "(a(so))", &it);
    char const* name = nullptr;
    char const* path = nullptr;
    while (g_variant_iter_next(it, "(&s&o)", &name, &path)) {
      out.push_back({name, path});
    }
    g_variant_iter_free(it);
    g_variant_unref(r);
    return out;
  }

  std::vector<std::uint32_t> states_of(Ref const& of) {
    std::vector<std::uint32_t> out;
    GVariant* r = call(of, "org.a11y.atspi.Accessible", "GetState");
    if (r == nullptr) {
      return out;
    }
    GVariant* words = g_variant_get_child_value(r, 0);
    gsize n = 0;
    auto const* bits =
        static_cast<guint32 const*>(g_variant_get_fixed_array(words, &n, sizeof(guint32)));
    for (gsize w = 0; w < n; ++w) {
      for (std::uint32_t b = 0; b < 32; ++b) {
        if ((bits[w] >> b & 1U) != 0) {
          out.push_back(static_cast<std::uint32_t>(w * 32 + b));
        }
      }
    }
    g_variant_unref(words);
    g_variant_unref(r);
    return out;
  }

  /// Every object below `of`, depth first.
  std::vector<Ref> descendants(Ref const& of, int depth = 0) {
    std::vector<Ref> out;
    if (depth > 16) {
      return out;
    }
    for (auto const& c : children_of(of)) {
      out.push_back(c);
      auto deeper = descendants(c, depth + 1);
      out.insert(out.end(), deeper.begin(), deeper.end());
    }
    return out;
  }

  /// The first object below `of` with this role and name.
  std::optional<Ref> find(Ref const& of, std::uint32_t role, std::string_view name) {
    for (auto const& r : descendants(of)) {
      if (role_of(r) == role && name_of(r) == name) {
        return r;
      }
    }
    return std::nullopt;
  }

  /// Dispatches signals until `done` holds or about ten seconds passed.
  bool wait_for(std::function<bool()> const& done) {
    for (int i = 0; i < 5000; ++i) {
      while (g_main_context_iteration(context_, FALSE)) {
      }
      if (done()) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  /// The applications the registry lists.
  std::vector<Ref> registered_apps() {
    return children_of({"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"});
  }

private:
  static void on_signal(GDBusConnection*, char const*, char const* path, char const* interface,
                        char const* member, GVariant* params, gpointer user_data) {
    auto* self = static_cast<AtspiSession*>(user_data);
    SeenEvent e{path, interface, member, {}, 0, {}};
    if (g_variant_is_of_type(params, G_VARIANT_TYPE("(siiva{sv})"))) {
      char const* detail = nullptr;
      gint32 d1 = 0;
      g_variant_get_child(params, 0, "&s", &detail);
      g_variant_get_child(params, 1, "i", &d1);
      e.detail = detail;
      e.detail1 = d1;
      GVariant* boxed = g_variant_get_child_value(params, 3);
      GVariant* data = g_variant_get_variant(boxed);
      if (g_variant_is_of_type(data, G_VARIANT_TYPE_STRING)) {
        e.text = g_variant_get_string(data, nullptr);
      }
      g_variant_unref(data);
      g_variant_unref(boxed);
    }
    self->events_.push_back(std::move(e));
  }

  static pid_t spawn(std::vector<char const*> argv, std::string* first_line) {
    int pipe_fd[2] = {-1, -1};
    if (first_line != nullptr && pipe(pipe_fd) != 0) {
      return -1;
    }
    pid_t const pid = fork();
    if (pid == 0) {
      if (first_line != nullptr) {
        dup2(pipe_fd[1], STDOUT_FILENO);
        close(pipe_fd[0]);
        close(pipe_fd[1]);
      }
      argv.push_back(nullptr);
      execvp(argv[0], const_cast<char* const*>(argv.data()));
      _exit(127);
    }
    if (first_line != nullptr) {
      close(pipe_fd[1]);
      char c = 0;
      while (read(pipe_fd[0], &c, 1) == 1 && c != '\n') {
        first_line->push_back(c);
      }
      close(pipe_fd[0]);
    }
    return pid;
  }

  GDBusConnection* session_ = nullptr;
  pid_t daemon_ = -1;
  pid_t launcher_ = -1;
  std::string runtime_dir_;
  GMainContext* context_ = nullptr;
  GDBusConnection* client_ = nullptr;
  std::vector<SeenEvent> events_;
};

} // namespace zarn_ui::test
