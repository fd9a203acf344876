// The accessibility bridge on a private desktop accessibility stack (dbus-daemon and
// at-spi-bus-launcher): the application is embedded in the registry, its tree reads through
// Accessible, Component and Action, actions run on the thread that owns the widget, changes
// arrive as events, and nothing is built before a client asks.

#include "platform/a11y/access_bridge.h"

#include <atomic>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "atspi_session.h"
#include "platform/a11y/atspi_codes.h"
#include "platform/launch/state.h"
#include "platform/widget/widget.h"

namespace zarn_ui::a11y {
namespace {

using test::AtspiSession;
using test::Ref;

/// A window with a button, a toggle and a search field; the toggle's action flips it.
class PanelWidget final : public widget::Widget {
public:
  std::string_view type_name() const override { return "PanelWidget"; }
  layout::NodeId build_layout(layout::LayoutTree& tree, Theme const&,
                              widget::NodeWidgetMap&) override {
    return *tree.new_leaf({});
  }
  void apply_layout(layout::LayoutTree const&, Point, layout::NodeId) override {}
  void draw(Scene&, Affine, widget::DrawCtx const&) override {}

  std::optional<access::AccessNode> accessibility_tree() const override {
    ++builds;
    auto node = [](char const* id, char const* name, std::uint8_t role, Rect r) {
      access::AccessNode n = access::AccessNode{}.with_id(id).with_name(name).with_bounds(r);
      n.role = role;
      return n;
    };
    std::vector<access::AccessNode> children;
    children.push_back(node("demo.go", "Go", access::ROLE_BUTTON, {10, 20, 110, 60}));
    children.push_back(
        node("demo.lights", "Lights", access::ROLE_TOGGLE_BUTTON, {10, 70, 110, 110}));
    children.back().state = lights ? 1 : 0;
    children.push_back(node("demo.find", "Find", access::ROLE_SEARCH_FIELD, {120, 20, 380, 60}));
    children.back().editable_text = true;
    children.back().focused = find_focused;
    if (extra) {
      children.push_back(node("demo.extra", "Extra", access::ROLE_BUTTON, {10, 120, 110, 160}));
    }
    access::AccessNode root;
    root.role = access::ROLE_WINDOW;
    return std::move(root).with_name(title).with_children(std::move(children));
  }

  bool perform_semantic_action(State&, std::string_view id,
                               widget::SemanticArgument const&) override {
    performed.emplace_back(id);
    performed_on = std::this_thread::get_id();
    if (id == "demo.lights") {
      lights = !lights;
      return true;
    }
    return id == "demo.go";
  }

  mutable std::atomic<int> builds{0};
  bool lights = false;
  bool find_focused = false;
  bool extra = false;
  std::string title = "Demo";
  std::vector<std::string> performed;
  std::thread::id performed_on;
};

/// The widget's owner: a thread that applies queued actions and publishes, as the window
/// loop does, while the test thread plays the screen reader.
class UiLoop {
public:
  explicit UiLoop(PanelWidget& widget) : widget_(widget) {
    thread_ = std::thread([this] {
      AccessBridge bridge({"Demo app", "1.0", std::nullopt, [this] { wakes_++; }});
      bridge_ = &bridge;
      auto state = State::in_memory();
      while (!stop_) {
        {
          std::lock_guard lock(mutex);
          bridge.apply_queued(widget_, *state);
          bridge.publish(widget_, Point{100, 50}, Rect{0, 0, 400, 300});
          embedded_ = bridge.embedded();
        }
        ++frames_;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      bridge_ = nullptr;
    });
  }
  ~UiLoop() {
    stop_ = true;
    thread_.join();
  }
  std::thread::id id() const { return thread_.get_id(); }
  bool embedded() const { return embedded_; }
  int frames() const { return frames_; }
  std::mutex mutex; // held while the loop touches the widget

private:
  PanelWidget& widget_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> embedded_{false};
  std::atomic<int> wakes_{0};
  std::atomic<int> frames_{0};
  AccessBridge* bridge_ = nullptr;
};

class AccessBridgeTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (auto why = session.start(); !why.empty()) {
      GTEST_SKIP() << "skipped: " << why;
    }
  }

  /// The application object as the registry lists it.
  std::optional<Ref> registered_app() {
    std::optional<Ref> app;
    session.wait_for([&] {
      for (auto const& r : session.registered_apps()) {
        if (r.path == ROOT_PATH && session.name_of(r) == "Demo app") {
          app = r;
        }
      }
      return app.has_value();
    });
    return app;
  }

  bool seen(std::string_view path, std::string_view member, std::string_view detail,
            int detail1) const {
    for (auto const& e : session.events()) {
      if (e.path == path && e.member == member && e.detail == detail && e.detail1 == detail1) {
        return true;
      }
    }
    return false;
  }

  bool action(Ref const& r, int index) {
    GVariant* v = session.call(r, IFACE_ACTION, "DoAction", g_variant_new("(i)", index));
    gboolean done = FALSE;
    if (v) {
      g_variant_get(v, "(b)", &done);
      g_variant_unref(v);
    }
    return done;
  }

  std::array<int, 4> extents(Ref const& r, std::uint32_t coord) {
    std::array<int, 4> e{};
    GVariant* v = session.call(r, IFACE_COMPONENT, "GetExtents", g_variant_new("(u)", coord));
    if (v) {
      g_variant_get(v, "((iiii))", &e[0], &e[1], &e[2], &e[3]);
      g_variant_unref(v);
    }
    return e;
  }

  AtspiSession session;
};

bool has(std::vector<std::uint32_t> const& states, std::uint32_t s) {
  return std::find(states.begin(), states.end(), s) != states.end();
}

TEST_F(AccessBridgeTest, TheRegistryListsTheApplicationWhoseTreeReadsByRoleNameAndPlace) {
  PanelWidget widget;
  UiLoop loop(widget);
  auto const app = registered_app();
  ASSERT_TRUE(app) << "the registry never listed the application";
  EXPECT_EQ(session.role_of(*app), atspi_role::APPLICATION);
  GVariant* toolkit = session.property(*app, IFACE_APPLICATION, "ToolkitName");
  ASSERT_TRUE(toolkit);
  EXPECT_STREQ(g_variant_get_string(toolkit, nullptr), "zarn");
  g_variant_unref(toolkit);

  auto const top = session.children_of(*app);
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(session.role_of(top[0]), atspi_role::FRAME);
  EXPECT_EQ(session.name_of(top[0]), "Demo");

  auto const go = session.find(*app, atspi_role::PUSH_BUTTON, "Go");
  auto const lights = session.find(*app, atspi_role::TOGGLE_BUTTON, "Lights");
  auto const find = session.find(*app, atspi_role::ENTRY, "Find");
  ASSERT_TRUE(go && lights && find);
  EXPECT_EQ(extents(*go, COORD_WINDOW), (std::array<int, 4>{10, 20, 100, 40}));
  EXPECT_EQ(extents(*go, COORD_SCREEN), (std::array<int, 4>{110, 70, 100, 40}));

  GVariant* at = session.call(top[0], IFACE_COMPONENT, "GetAccessibleAtPoint",
                              g_variant_new("(iiu)", 150, 130, COORD_SCREEN));
  ASSERT_TRUE(at);
  char const* at_path = nullptr;
  g_variant_get(at, "((&s&o))", nullptr, &at_path);
  EXPECT_EQ(std::string(at_path), lights->path);
  g_variant_unref(at);

  auto const light_states = session.states_of(*lights);
  EXPECT_TRUE(has(light_states, atspi_state::FOCUSABLE));
  EXPECT_TRUE(has(light_states, atspi_state::SHOWING));
  EXPECT_TRUE(has(light_states, atspi_state::CHECKABLE));
  EXPECT_FALSE(has(light_states, atspi_state::CHECKED));
  EXPECT_TRUE(has(session.states_of(*find), atspi_state::EDITABLE));

  GVariant* index = session.call(*find, IFACE_ACCESSIBLE, "GetIndexInParent");
  ASSERT_TRUE(index);
  gint32 i = -1;
  g_variant_get(index, "(i)", &i);
  EXPECT_EQ(i, 2);
  g_variant_unref(index);
}

TEST_F(AccessBridgeTest, ActionsRunOnTheWidgetsThreadAndChangesArriveAsEvents) {
  PanelWidget widget;
  UiLoop loop(widget);
  auto const app = registered_app();
  ASSERT_TRUE(app);
  auto const go = session.find(*app, atspi_role::PUSH_BUTTON, "Go");
  auto const lights = session.find(*app, atspi_role::TOGGLE_BUTTON, "Lights");
  auto const find = session.find(*app, atspi_role::ENTRY, "Find");
  auto const frame = session.children_of(*app).at(0);
  ASSERT_TRUE(go && lights && find);

  GVariant* name = session.call(*go, IFACE_ACTION, "GetName", g_variant_new("(i)", 0));
  ASSERT_TRUE(name);
  char const* action_name = nullptr;
  g_variant_get(name, "(&s)", &action_name);
  EXPECT_STREQ(action_name, "click");
  g_variant_unref(name);
  EXPECT_TRUE(action(*go, 0));
  std::string error;
  EXPECT_FALSE(session.call(*go, IFACE_ACTION, "DoAction", g_variant_new("(i)", 3), &error));
  EXPECT_FALSE(error.empty());
  {
    std::lock_guard lock(loop.mutex);
    EXPECT_EQ(widget.performed, std::vector<std::string>{"demo.go"});
    EXPECT_EQ(widget.performed_on, loop.id());
  }

  EXPECT_TRUE(action(*lights, 0));
  EXPECT_TRUE(session.wait_for([&] { return seen(lights->path, "StateChanged", "checked", 1); }));
  EXPECT_TRUE(has(session.states_of(*lights), atspi_state::CHECKED));

  {
    std::lock_guard lock(loop.mutex);
    widget.find_focused = true;
  }
  EXPECT_TRUE(session.wait_for([&] { return seen(find->path, "Focus", "", 0); }));
  EXPECT_TRUE(seen(find->path, "StateChanged", "focused", 1));

  {
    std::lock_guard lock(loop.mutex);
    widget.extra = true;
    widget.title = "Demo, busy";
  }
  // One frame sends both, the child first; each may be dispatched on a later turn than the other.
  EXPECT_TRUE(session.wait_for([&] { return seen(frame.path, "ChildrenChanged", "add", 3); }));
  EXPECT_TRUE(
      session.wait_for([&] { return seen(frame.path, "PropertyChange", "accessible-name", 0); }));
  EXPECT_EQ(session.find(*app, atspi_role::PUSH_BUTTON, "Go"), go)
      << "a node that stays keeps its path";

  auto const extra = session.find(*app, atspi_role::PUSH_BUTTON, "Extra");
  ASSERT_TRUE(extra);
  {
    std::lock_guard lock(loop.mutex);
    widget.extra = false;
  }
  EXPECT_TRUE(session.wait_for([&] { return seen(frame.path, "ChildrenChanged", "remove", 3); }));
  EXPECT_FALSE(session.call(*extra, IFACE_ACCESSIBLE, "GetRole", nullptr, &error))
      << "a removed node is gone";
}

TEST_F(AccessBridgeTest, NothingIsBuiltBeforeAClientAsks) {
  PanelWidget widget;
  UiLoop loop(widget);
  ASSERT_TRUE(session.wait_for([&] { return loop.embedded(); }));
  int const seen_frames = loop.frames();
  ASSERT_TRUE(session.wait_for([&] { return loop.frames() >= seen_frames + 20; })) << "frames pass";
  EXPECT_EQ(widget.builds, 0);
  // The first question waits for a frame and is then answered from it.
  auto const app = registered_app();
  ASSERT_TRUE(app);
  EXPECT_EQ(session.children_of(*app).size(), 1u);
  EXPECT_GT(widget.builds, 0);
}

TEST_F(AccessBridgeTest, TheApplicationIsListedAgainAfterTheRegistryOrTheBusRestarts) {
  PanelWidget widget;
  UiLoop loop(widget);
  ASSERT_TRUE(registered_app()) << "the registry never listed the application";
  // The registry lists the application before the answer to its embedding reaches the bridge.
  ASSERT_TRUE(session.wait_for([&] { return loop.embedded(); }));

  ASSERT_TRUE(session.kill_registry()) << "the registry did not end";
  // Asking the registry starts a new one, which knows no application until it is embedded again.
  EXPECT_TRUE(registered_app()) << "the restarted registry does not list the application";

  ASSERT_EQ(session.restart_bus(), "");
  auto const app = registered_app();
  ASSERT_TRUE(app) << "the application was not listed on the new accessibility bus";
  EXPECT_EQ(session.children_of(*app).size(), 1u) << "the tree does not read on the new bus";
}

} // namespace
} // namespace zarn_ui::a11y
