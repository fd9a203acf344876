// The application's bus object on a private session bus, driven against the demo application
// with the queue pumped as the window loop pumps it.

#include "platform/bus/app_bus.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/maps_app.h"
#include "platform/bus/instance.h"
#include "platform/launch/state.h"
#include "platform/tests/private_bus.h"
#include "sample/sample_data.h"
#include "sdk/sdk_integration.h"
#include "shell/launch_record.h"

namespace maps {
namespace {

using namespace std::chrono_literals;

constexpr char PATH[] = "/test/zarn/maps";
constexpr char AUTOMATION[] = "test.zarn.maps.Automation1";

struct Answer {
  GVariant* value = nullptr; // owned
  std::string error;         // "name: message" when the call failed
  ~Answer() {
    if (value) {
      g_variant_unref(value);
    }
  }
  std::string str(std::size_t i) const {
    GVariant* c = g_variant_get_child_value(value, i);
    std::string s = g_variant_get_string(c, nullptr);
    g_variant_unref(c);
    return s;
  }
};

GVariant* empty_dict() {
  return g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0);
}

/// ActivateAction's parameters with an optional string parameter.
GVariant* action_args(char const* id, std::optional<char const*> param) {
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE("av"));
  if (param) {
    g_variant_builder_add(&b, "v", g_variant_new_string(*param));
  }
  return g_variant_new("(sav@a{sv})", id, &b, empty_dict());
}

GVariant* int_parameter() {
  GVariant* boxed = g_variant_new_variant(g_variant_new_int32(5));
  return g_variant_new_array(G_VARIANT_TYPE_VARIANT, &boxed, 1);
}

GVariant* request_id(std::size_t n, std::uint8_t fill) {
  std::vector<std::uint8_t> bytes(n, fill);
  return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, bytes.data(), bytes.size(), 1);
}

class AppBusTest : public zarn_ui::test::PrivateBusTest {
protected:
  void SetUp() override { start(false); }
  void TearDown() override {
    server_.reset();
    if (client_) {
      g_object_unref(client_);
    }
  }

  void start(bool live, std::optional<uid_t> allowed = std::nullopt) {
    server_.reset();
    app_ = std::make_unique<MapsApp>(
        build_maps_app(demo_scenario(), sample_road_network(), offline_tile_cache(), false, live));
    app_->window_rect_ = zarn_ui::Rect{0, 0, 1280, 800};
    app_->location_config.bus_address = "unix:path=/nonexistent/bus";
    state_ = zarn_ui::State::in_memory();
    register_maps_action_decoder(platform_.action_registry_mut());
    state_->attach_registry(&platform_.action_registry());
    app_->tick(*state_); // seeds the document
    auto started = zarn_ui::bus::AppBus::start({APP_ID, address(), nullptr, allowed});
    ASSERT_TRUE(started) << started.error();
    server_ = std::move(*started);
    ASSERT_TRUE(server_->owns_name());
    signatures_ = zarn_ui::bus::published_signatures(*app_, published_action_signatures());
    if (!client_) {
      GError* error = nullptr;
      client_ = g_dbus_connection_new_for_address_sync(
          address().c_str(),
          static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                            G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
          nullptr, nullptr, &error);
      ASSERT_TRUE(client_) << error->message;
    }
  }

  /// One turn of the window loop: queued calls, tick, frame, replies.
  void frame() {
    server_->apply_queued(*app_, *state_, signatures_,
                          [this](std::string const&) { ++activations_; });
    app_->tick(*state_);
    server_->send_replies(*app_, *state_, signatures_);
  }

  /// Runs `work` on another thread while this one turns the loop until it is done.
  template <class F> auto pumped(F work) {
    auto done = std::async(std::launch::async, std::move(work));
    for (int i = 0; i < 2000 && done.wait_for(2ms) != std::future_status::ready; ++i) {
      frame();
    }
    return done.get();
  }

  std::unique_ptr<Answer> call(char const* interface, char const* method, GVariant* params) {
    GVariant* sunk = params ? g_variant_ref_sink(params) : nullptr;
    auto answer = pumped([&] {
      auto a = std::make_unique<Answer>();
      GError* error = nullptr;
      a->value =
          g_dbus_connection_call_sync(client_, APP_ID, PATH, interface, method, sunk, nullptr,
                                      G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &error);
      if (!a->value) {
        char* remote = g_dbus_error_get_remote_error(error);
        g_dbus_error_strip_remote_error(error);
        a->error = fmt::format("{}: {}", remote ? remote : "local", error->message);
        g_free(remote);
        g_error_free(error);
      }
      return a;
    });
    if (sunk) {
      g_variant_unref(sunk);
    }
    return answer;
  }
  std::unique_ptr<Answer> automation(char const* method, GVariant* params) {
    return call(AUTOMATION, method, params);
  }

  std::unique_ptr<MapsApp> app_;
  std::unique_ptr<zarn_ui::State> state_;
  zarn_ui::App platform_;
  std::unique_ptr<zarn_ui::bus::AppBus> server_;
  std::vector<zarn_ui::bus::ActionSignature> signatures_;
  GDBusConnection* client_ = nullptr;
  int activations_ = 0;
};

TEST_F(AppBusTest, StandardInterfacesListDescribeAndRunThePublishedActions) {
  auto list = call("org.gtk.Actions", "List", nullptr);
  ASSERT_TRUE(list->value) << list->error;
  gsize n = 0;
  GVariant* names = g_variant_get_child_value(list->value, 0);
  g_free(g_variant_get_strv(names, &n));
  g_variant_unref(names);
  EXPECT_EQ(n, 7u);

  auto locate = call("org.gtk.Actions", "Describe", g_variant_new("(s)", "maps.locate"));
  ASSERT_TRUE(locate->value) << locate->error;
  gboolean enabled = TRUE;
  char const* type = nullptr;
  g_variant_get(locate->value, "((b&gav))", &enabled, &type, nullptr);
  EXPECT_FALSE(enabled) << "no location service in the demo";
  EXPECT_STREQ(type, "");
  auto all = call("org.gtk.Actions", "DescribeAll", nullptr);
  ASSERT_TRUE(all->value) << all->error;
  GVariant* descriptions = g_variant_get_child_value(all->value, 0);
  GVariant* search = g_variant_lookup_value(descriptions, "maps.search", G_VARIANT_TYPE("(bgav)"));
  g_variant_unref(descriptions);
  ASSERT_TRUE(search);
  g_variant_get(search, "(b&gav)", &enabled, &type, nullptr);
  EXPECT_TRUE(enabled);
  EXPECT_STREQ(type, "s");
  g_variant_unref(search);

  bool const traffic = app_->traffic_on;
  auto toggled = call("org.freedesktop.Application", "ActivateAction",
                      action_args("maps.toggle-traffic", std::nullopt));
  ASSERT_TRUE(toggled->value) << toggled->error;
  EXPECT_NE(app_->traffic_on, traffic) << "answered after it was applied";
  // A desktop launcher names the action by its desktop-file key.
  auto desktop = call("org.freedesktop.Application", "ActivateAction",
                      action_args("maps-toggle-traffic", std::nullopt));
  ASSERT_TRUE(desktop->value) << desktop->error;
  EXPECT_EQ(app_->traffic_on, traffic);

  auto searched = call("org.gtk.Actions", "Activate", action_args("maps.search", "\"museum\""));
  ASSERT_TRUE(searched->value) << searched->error;
  EXPECT_EQ(app_->model.query, "museum");

  auto gone = call("org.freedesktop.Application", "ActivateAction",
                   action_args("maps.directions", "\"no-such-place\""));
  EXPECT_EQ(gone->error, "test.zarn.maps.Error.Failed: Map place is no longer available");

  auto activated =
      call("org.freedesktop.Application", "Activate", g_variant_new("(@a{sv})", empty_dict()));
  ASSERT_TRUE(activated->value) << activated->error;
  EXPECT_EQ(activations_, 1);
  auto open = call("org.freedesktop.Application", "Open",
                   g_variant_new("(@ass@a{sv})", g_variant_new_strv(nullptr, 0), "", empty_dict()));
  EXPECT_EQ(
      open->error,
      "org.freedesktop.DBus.Error.NotSupported: this application opens no files or addresses");
}

// Malformed calls get a D-Bus error that quotes at most the first 80 characters of what was
// sent, however much that was; nothing they name is run.
TEST_F(AppBusTest, MalformedCallsGetAnErrorAndChangeNothing) {
  app_->model.query = "before";
  std::string const big(1 << 20, 'x');
  std::string const big_head = std::string(80, 'x') + "\xE2\x80\xA6";
  std::string const big_variant = "{\"" + big + "\":{}}";
  auto const no_args = [] { return g_variant_new_array(G_VARIANT_TYPE("{ss}"), nullptr, 0); };
  struct Case {
    char const* name;
    char const* interface;
    char const* method;
    GVariant* params;
    std::string error;
    bool whole = true; // else the start of the error, the rest being the decoder's words
  } const cases[] = {
      {"no parameter", "org.freedesktop.Application", "ActivateAction",
       action_args("maps.search", std::nullopt),
       "org.freedesktop.DBus.Error.InvalidArgs: action 'maps.search' takes one string parameter "
       "holding its JSON argument"},
      {"parameter not a string", "org.gtk.Actions", "Activate",
       g_variant_new("(s@av@a{sv})", "maps.search", int_parameter(), empty_dict()),
       "org.freedesktop.DBus.Error.InvalidArgs: action 'maps.search' takes one string parameter "
       "holding its JSON argument"},
      {"parameter for none", "org.gtk.Actions", "Activate", action_args("maps.toggle-traffic", "1"),
       "org.freedesktop.DBus.Error.InvalidArgs: action 'maps.toggle-traffic' takes no parameter"},
      {"unknown action", "org.freedesktop.Application", "ActivateAction",
       action_args("maps.fly", "\"x\""),
       "org.freedesktop.DBus.Error.InvalidArgs: no published action named 'maps.fly'"},
      {"long unknown action", "org.freedesktop.Application", "ActivateAction",
       action_args(big.c_str(), "\"x\""),
       "org.freedesktop.DBus.Error.InvalidArgs: no published action named '" + big_head + "'"},
      {"long unknown action described", "org.gtk.Actions", "Describe",
       g_variant_new("(s)", big.c_str()),
       "org.freedesktop.DBus.Error.InvalidArgs: no published action named '" + big_head + "'"},
      {"argument not JSON", "org.freedesktop.Application", "ActivateAction",
       action_args("maps.search", "museum"),
       "org.freedesktop.DBus.Error.InvalidArgs: the argument of 'maps.search' is not JSON: "
       "'museum'"},
      {"long argument not JSON", "org.gtk.Actions", "Activate",
       action_args("maps.search", big.c_str()),
       "org.freedesktop.DBus.Error.InvalidArgs: the argument of 'maps.search' is not JSON: '" +
           big_head + "'"},
      {"argument of the wrong type", "org.gtk.Actions", "Activate",
       action_args("maps.search", "42"),
       "org.freedesktop.DBus.Error.InvalidArgs: the argument of 'maps.search' must be a JSON "
       "string, not '42'"},
      {"started action's argument of the wrong type", AUTOMATION, "StartAction",
       g_variant_new("(@ayss)", request_id(16, 1), "maps.open-place", "{\"id\": 1}"),
       "org.freedesktop.DBus.Error.InvalidArgs: the argument of 'maps.open-place' must be a JSON "
       "string, not '{\"id\": 1}'"},
      {"started action's argument not JSON", AUTOMATION, "StartAction",
       g_variant_new("(@ayss)", request_id(16, 1), "maps.search", ""),
       "org.freedesktop.DBus.Error.InvalidArgs: the argument of 'maps.search' is not JSON: ''"},
      {"unknown namespace", AUTOMATION, "DispatchAction",
       g_variant_new("(ss)", "other.action", "1"),
       "org.freedesktop.DBus.Error.InvalidArgs: no decoder for action namespace 'other.action'"},
      {"long unknown namespace", AUTOMATION, "DispatchAction",
       g_variant_new("(ss)", big.c_str(), "1"),
       "org.freedesktop.DBus.Error.InvalidArgs: no decoder for action namespace '" + big_head +
           "'"},
      {"payload not JSON", AUTOMATION, "DispatchAction",
       g_variant_new("(ss)", "maps.action", "{nope"),
       "org.freedesktop.DBus.Error.InvalidArgs: could not decode action in namespace maps.action "
       "from '{nope': ",
       false},
      {"payload missing a field", AUTOMATION, "DispatchAction",
       g_variant_new("(ss)", "maps.action", R"({"SetTravelMode":{}})"),
       "org.freedesktop.DBus.Error.InvalidArgs: could not decode action in namespace maps.action "
       "from '{\"SetTravelMode\":{}}': ",
       false},
      {"payload naming a long unknown action", AUTOMATION, "DispatchAction",
       g_variant_new("(ss)", "maps.action", big_variant.c_str()),
       "org.freedesktop.DBus.Error.InvalidArgs: could not decode action in namespace maps.action "
       "from '{\"" +
           std::string(78, 'x') + "\xE2\x80\xA6': ",
       false},
      {"short request id", AUTOMATION, "StartAction",
       g_variant_new("(@ayss)", request_id(3, 1), "maps.search", "\"x\""),
       "org.freedesktop.DBus.Error.InvalidArgs: the request id must be 16 bytes, not 3"},
      {"unknown resource", AUTOMATION, "InvokeResource",
       g_variant_new("(ss@a{ss})", "maps.nothing", "open", no_args()),
       "org.freedesktop.DBus.Error.InvalidArgs: no resource with the id 'maps.nothing'"},
      {"long unknown resource", AUTOMATION, "ResolveResource", g_variant_new("(s)", big.c_str()),
       "org.freedesktop.DBus.Error.InvalidArgs: no resource with the id '" + big_head + "'"},
      {"unknown verb", AUTOMATION, "InvokeResource",
       g_variant_new("(ss@a{ss})", "maps.workspace", "fly", no_args()),
       "org.freedesktop.DBus.Error.InvalidArgs: resource 'maps.workspace' has no verb 'fly'"},
      {"long unknown verb", AUTOMATION, "InvokeResource",
       g_variant_new("(ss@a{ss})", "maps.workspace", big.c_str(), no_args()),
       "org.freedesktop.DBus.Error.InvalidArgs: resource 'maps.workspace' has no verb '" +
           big_head + "'"},
  };
  auto const heads = state_->document().heads();
  bool const traffic = app_->traffic_on;
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto answer = call(c.interface, c.method, c.params);
    EXPECT_FALSE(answer->value);
    if (c.whole) {
      EXPECT_EQ(answer->error, c.error);
    } else {
      EXPECT_TRUE(answer->error.starts_with(c.error)) << answer->error;
    }
    EXPECT_LE(answer->error.size(), 400u);
  }
  // The wrong signature is refused by the bus layer itself, before the queue.
  auto typed = call("org.gtk.Actions", "Describe", g_variant_new("(i)", 1));
  EXPECT_TRUE(typed->error.starts_with("org.freedesktop.DBus.Error.InvalidArgs")) << typed->error;
  EXPECT_EQ(app_->model.query, "before");
  EXPECT_EQ(app_->traffic_on, traffic);
  EXPECT_EQ(state_->document().heads(), heads);
}

TEST_F(AppBusTest, ResourcesAreListedAndTheirVerbsRun) {
  auto listed = automation("ListResources", nullptr);
  ASSERT_TRUE(listed->value) << listed->error;
  auto const tree = nlohmann::json::parse(listed->str(0));
  ASSERT_EQ(tree.size(), 1u);
  EXPECT_EQ(tree[0]["id"], "maps.workspace");
  bool found_locate = false;
  for (auto const& v : tree[0]["verbs"]) {
    if (v["verb"] == "locate") {
      found_locate = true;
      EXPECT_EQ(v["unavailable"]["message"], "The location service is unavailable in this session");
    }
    if (v["verb"] == "search") {
      EXPECT_EQ(v["params"][0]["name"], "value");
      EXPECT_EQ(v["prompt"], "Place, address, or category");
    }
  }
  EXPECT_TRUE(found_locate);

  auto place = automation("ResolveResource", g_variant_new("(s)", "maps.place:hofgarten"));
  ASSERT_TRUE(place->value) << place->error;
  EXPECT_EQ(nlohmann::json::parse(place->str(0))["verbs"][0]["verb"], "directions");

  GVariantBuilder args;
  g_variant_builder_init(&args, G_VARIANT_TYPE("a{ss}"));
  g_variant_builder_add(&args, "{ss}", "value", "  cafe  ");
  auto search =
      automation("InvokeResource", g_variant_new("(ssa{ss})", "maps.workspace", "search", &args));
  ASSERT_TRUE(search->value) << search->error;
  EXPECT_EQ(search->str(0), "completed");
  EXPECT_EQ(app_->model.query, "cafe");

  // A model verb changes the document; the app has read it back when the answer arrives.
  ASSERT_TRUE(app_->model.places.size() > 0);
  auto unsave = automation("InvokeResource",
                           g_variant_new("(ss@a{ss})", "maps.place:hofgarten", "unsave",
                                         g_variant_new_array(G_VARIANT_TYPE("{ss}"), nullptr, 0)));
  ASSERT_TRUE(unsave->value) << unsave->error;
  EXPECT_EQ(unsave->str(0), "completed");
  auto again = automation("ResolveResource", g_variant_new("(s)", "maps.place:hofgarten"));
  EXPECT_EQ(
      again->error,
      "org.freedesktop.DBus.Error.InvalidArgs: no resource with the id 'maps.place:hofgarten'");

  auto locate = automation("InvokeResource",
                           g_variant_new("(ss@a{ss})", "maps.workspace", "locate",
                                         g_variant_new_array(G_VARIANT_TYPE("{ss}"), nullptr, 0)));
  ASSERT_TRUE(locate->value) << locate->error;
  EXPECT_EQ(locate->str(0), "failed");
  EXPECT_EQ(locate->str(1), "The location service is unavailable in this session");
}

// Well-formed calls whose action ran and failed keep the structured reply: its outcome and
// message (malformed ones are refused with an error above).
TEST_F(AppBusTest, ActionsThatRanAndFailedKeepTheirStructuredReply) {
  auto gone = automation("StartAction", g_variant_new("(@ayss)", request_id(16, 3),
                                                      "maps.directions", "\"no-such-place\""));
  ASSERT_TRUE(gone->value) << gone->error;
  EXPECT_EQ(gone->str(0), "failed");
  EXPECT_EQ(gone->str(1), "Map place is no longer available");
  // A JSON string of any length is a well-formed id: the action runs and finds no such point.
  std::string const long_id = "\"" + std::string(1 << 20, 'p') + "\"";
  auto far = automation(
      "StartAction", g_variant_new("(@ayss)", request_id(16, 3), "maps.open-poi", long_id.c_str()));
  ASSERT_TRUE(far->value) << far->error;
  EXPECT_EQ(far->str(0), "failed");
  EXPECT_EQ(far->str(1), "Map point of interest is no longer in this viewport");
}

TEST_F(AppBusTest, MapsActionPayloadsAreApplied) {
  auto const before = state_->document().heads();
  auto applied =
      automation("DispatchAction",
                 g_variant_new("(ss)", "maps.action", R"({"SetTravelMode":{"mode":"Bike"}})"));
  ASSERT_TRUE(applied->value) << applied->error;
  EXPECT_EQ(applied->str(0), "completed");
  EXPECT_NE(state_->document().heads(), before);
  EXPECT_EQ(app_->model.mode, TravelMode::Bike) << "the app has read the change back";
}

TEST_F(AppBusTest, AsynchronousLocateFromStartToResultWithTheEnabledStateSignalled) {
  start(true);
  frame(); // the enabled states the Changed signal compares against
  std::vector<std::string> changes;
  guint const sub = g_dbus_connection_signal_subscribe(
      client_, nullptr, "org.gtk.Actions", "Changed", PATH, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      [](GDBusConnection*, char const*, char const*, char const*, char const*, GVariant* params,
         gpointer data) {
        GVariant* enable = g_variant_get_child_value(params, 1);
        GVariantIter it;
        g_variant_iter_init(&it, enable);
        char const* id = nullptr;
        gboolean on = FALSE;
        while (g_variant_iter_next(&it, "{&sb}", &id, &on)) {
          static_cast<std::vector<std::string>*>(data)->push_back(
              fmt::format("{}={}", id, on ? 1 : 0));
        }
        g_variant_unref(enable);
      },
      &changes, nullptr);

  auto started =
      automation("StartAction", g_variant_new("(@ayss)", request_id(16, 7), "maps.locate", "null"));
  ASSERT_TRUE(started->value) << started->error;
  EXPECT_EQ(started->str(0), "pending");
  auto twice =
      automation("StartAction", g_variant_new("(@ayss)", request_id(16, 8), "maps.locate", "null"));
  EXPECT_EQ(twice->str(0), "failed");
  EXPECT_EQ(twice->str(1), "A location request is already in progress");

  // Generous deadlines: on a loaded machine the failed portal lookup and the signal can take
  // seconds.
  auto const deadline = std::chrono::steady_clock::now() + 30s;
  std::unique_ptr<Answer> result;
  while (std::chrono::steady_clock::now() < deadline) {
    auto other = automation("TakeActionResult", g_variant_new("(@ay)", request_id(16, 8)));
    EXPECT_EQ(other->str(0), "none");
    result = automation("TakeActionResult", g_variant_new("(@ay)", request_id(16, 7)));
    if (result->str(0) != "none") {
      break;
    }
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(result->str(0), "failed");
  EXPECT_EQ(result->str(1), "location_unavailable");
  EXPECT_EQ(automation("TakeActionResult", g_variant_new("(@ay)", request_id(16, 7)))->str(0),
            "none");

  GMainContext* ctx = g_main_context_get_thread_default() ? g_main_context_get_thread_default()
                                                          : g_main_context_default();
  while (std::chrono::steady_clock::now() < deadline && changes.size() < 2) {
    while (g_main_context_iteration(ctx, FALSE)) {
    }
    std::this_thread::sleep_for(5ms);
  }
  g_dbus_connection_signal_unsubscribe(client_, sub);
  ASSERT_GE(changes.size(), 1u);
  EXPECT_EQ(changes.front(), "maps.locate=0") << "disabled while the request runs";
}

// A flood of calls is applied a share per frame, each caller in its turn: a caller behind the
// flood is answered after the first frame, and the flood's own calls still run in their order.
TEST_F(AppBusTest, ABacklogIsSpreadOverFramesAndOtherCallersTakeTurns) {
  std::atomic<int> wakes{0};
  server_.reset();
  zarn_ui::bus::BusOptions options{APP_ID, address(), [&] { ++wakes; }, std::nullopt};
  options.calls_per_frame = 16;
  options.call_budget = std::chrono::minutes(1); // the count alone bounds these frames
  auto started = zarn_ui::bus::AppBus::start(std::move(options));
  ASSERT_TRUE(started) << started.error();
  server_ = std::move(*started);

  auto const wait_for_wakes = [&](int n) {
    auto const deadline = std::chrono::steady_clock::now() + 30s;
    while (wakes < n && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
    ASSERT_GE(wakes, n);
  };
  constexpr int FLOOD = 100;
  for (int i = 0; i < FLOOD; ++i) {
    std::string const query = fmt::format("\"q{}\"", i);
    // No callback: sent without asking for a reply, as a flood does not wait.
    g_dbus_connection_call(client_, APP_ID, PATH, "org.gtk.Actions", "Activate",
                           action_args("maps.search", query.c_str()), nullptr,
                           G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
  }
  wait_for_wakes(FLOOD);

  GError* error = nullptr;
  GDBusConnection* other = g_dbus_connection_new_for_address_sync(
      address().c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  ASSERT_TRUE(other) << error->message;
  auto answered = std::async(std::launch::async, [other] {
    GVariant* reply = g_dbus_connection_call_sync(
        other, APP_ID, PATH, "org.freedesktop.Application", "ActivateAction",
        action_args("maps.toggle-traffic", std::nullopt), nullptr, G_DBUS_CALL_FLAGS_NONE, 30000,
        nullptr, nullptr);
    bool const ok = reply != nullptr;
    if (reply) {
      g_variant_unref(reply);
    }
    return ok;
  });
  wait_for_wakes(FLOOD + 1);

  bool const traffic = app_->traffic_on;
  EXPECT_EQ(server_->apply_queued(*app_, *state_, signatures_, [](std::string const&) {}), 16u);
  app_->tick(*state_);
  server_->send_replies(*app_, *state_, signatures_);
  ASSERT_EQ(answered.wait_for(30s), std::future_status::ready) << "left behind the flood";
  EXPECT_TRUE(answered.get());
  EXPECT_NE(app_->traffic_on, traffic);
  EXPECT_EQ(app_->model.query, "q14") << "fifteen of the flood's calls, in their order";
  EXPECT_GT(wakes, FLOOD + 1) << "the loop is woken for the calls left";

  std::size_t rest = 0;
  for (int i = 0; i < FLOOD; ++i) {
    rest += server_->apply_queued(*app_, *state_, signatures_, [](std::string const&) {});
  }
  EXPECT_EQ(rest, FLOOD + 1 - 16u);
  EXPECT_EQ(app_->model.query, "q99");
  g_object_unref(other);
}

TEST_F(AppBusTest, SecondInstanceHandsOverToTheRunningOne) {
  auto second = zarn_ui::bus::AppBus::start({APP_ID, address(), nullptr, std::nullopt});
  ASSERT_TRUE(second);
  EXPECT_FALSE((*second)->owns_name());
  second->reset();

  auto handed = pumped([] {
    return zarn_ui::bus::hand_off(APP_ID, address(),
                                  zarn_ui::bus::ForwardedAction{"maps.search", "\"beer garden\""});
  });
  ASSERT_TRUE(handed) << handed.error();
  EXPECT_EQ(activations_, 1);
  EXPECT_EQ(app_->model.query, "beer garden");

  auto refused = pumped([] {
    return zarn_ui::bus::hand_off(APP_ID, address(),
                                  zarn_ui::bus::ForwardedAction{"maps.search", std::nullopt});
  });
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(),
            "action 'maps.search' takes one string parameter holding its JSON argument");
}

TEST_F(AppBusTest, CallsFromOtherUsersAreRefused) {
  start(false, getuid() + 1);
  app_->model.query = "mine";
  auto answer = call("org.gtk.Actions", "Activate", action_args("maps.search", "\"theirs\""));
  EXPECT_EQ(answer->error,
            "org.freedesktop.DBus.Error.AccessDenied: calls from other users are refused");
  EXPECT_EQ(app_->model.query, "mine");
}

} // namespace
} // namespace maps
