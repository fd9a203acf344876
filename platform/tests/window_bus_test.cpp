// The window's use of the application bus on a private session bus: a second start hands over
// to the instance that owns the id and opens no window, the owner runs the action of its own
// start, and without a bus the window runs as before.

#include <stdlib.h>

#include <future>
#include <string>
#include <vector>

#include <gio/gio.h>
#include <gtest/gtest.h>

#include "platform/bus/app_bus.h"
#include "platform/launch/launch.h"
#include "platform/launch/state.h"

namespace zarn_ui::launch {
namespace {

using namespace std::chrono_literals;

constexpr char APP_ID[] = "test.zarn.window";

/// Publishes "demo.say" (one JSON argument) and counts its frames.
class SayWidget final : public widget::Widget {
public:
  explicit SayWidget(std::vector<std::string>& said, int& draws) : said_(said), draws_(draws) {}
  std::string_view type_name() const override { return "SayWidget"; }
  layout::NodeId build_layout(layout::LayoutTree& tree, Theme const&,
                              widget::NodeWidgetMap&) override {
    return *tree.new_leaf({});
  }
  void apply_layout(layout::LayoutTree const&, Point, layout::NodeId) override {}
  void draw(Scene&, Affine, widget::DrawCtx const&) override { ++draws_; }
  std::vector<std::string> published_action_ids() const override { return {"demo.say"}; }
  widget::InvokeResult invoke_action(std::uint8_t, std::string_view id,
                                     std::span<std::uint8_t const> argument) override {
    if (id != "demo.say") {
      return false;
    }
    said_.emplace_back(argument.begin(), argument.end());
    return true;
  }

private:
  std::vector<std::string>& said_;
  int& draws_;
};

class WindowBusTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    bus_ = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus_); // also points DBUS_SESSION_BUS_ADDRESS at it
  }
  static void TearDownTestSuite() {
    g_test_dbus_down(bus_);
    g_object_unref(bus_);
    bus_ = nullptr;
  }
  void SetUp() override {
    setenv("DBUS_SESSION_BUS_ADDRESS", g_test_dbus_get_bus_address(bus_), 1);
  }

  LaunchSpec spec(std::vector<std::string>& said, int& draws) {
    LaunchSpec s;
    s.app_id = APP_ID;
    s.create_app = [&said, &draws] { return std::make_unique<SayWidget>(said, draws); };
    s.default_window_size = [] { return std::pair<std::int32_t, std::int32_t>{64, 64}; };
    return s;
  }
  static LaunchArgs with_action(char const* arg) {
    LaunchArgs args;
    args.action = StartAction{"demo.say", arg};
    return args;
  }

  static inline GTestDBus* bus_ = nullptr;
};

TEST_F(WindowBusTest, ASecondStartHandsItsActionToTheRunningInstanceAndOpensNoWindow) {
  std::vector<std::string> first_said;
  int first_draws = 0;
  SayWidget first(first_said, first_draws);
  auto state = State::in_memory();
  auto owner = bus::AppBus::start({APP_ID, std::nullopt, nullptr, std::nullopt});
  ASSERT_TRUE(owner) << owner.error();
  ASSERT_TRUE((*owner)->owns_name());
  auto const actions = bus::published_signatures(first, {});
  int activations = 0;
  std::string token;
  // Started by a launcher: its startup id goes with the hand-off to the window that is raised.
  setenv("DESKTOP_STARTUP_ID", "launcher-42_TIME1234", 1);

  std::vector<std::string> second_said;
  int second_draws = 0;
  auto const s = spec(second_said, second_draws);
  auto second = std::async(std::launch::async, [&] {
    return run_window(s, with_action("\"hello\""),
                      WindowOptions{.max_frames = 3, .session_bus = true});
  });
  while (second.wait_for(2ms) != std::future_status::ready) {
    (*owner)->apply_queued(first, *state, actions, [&](std::string const& t) {
      ++activations;
      token = t;
    });
    (*owner)->send_replies(first, *state, actions);
  }
  auto const result = second.get();
  unsetenv("DESKTOP_STARTUP_ID");
  ASSERT_TRUE(result) << result.error().display();
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(token, "launcher-42_TIME1234");
  EXPECT_EQ(first_said, std::vector<std::string>{"\"hello\""});
  EXPECT_EQ(second_draws, 0);
  EXPECT_TRUE(second_said.empty());
}

TEST_F(WindowBusTest, TheOwnerAndABuslessWindowRunTheActionOfTheirOwnStart) {
  for (bool const with_bus : {true, false}) {
    SCOPED_TRACE(with_bus ? "owner" : "no bus");
    if (!with_bus) {
      setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    }
    std::vector<std::string> said;
    int draws = 0;
    auto const result = run_window(spec(said, draws), with_action("\"here\""),
                                   WindowOptions{.max_frames = 3, .session_bus = true});
    ASSERT_TRUE(result) << result.error().display();
    EXPECT_EQ(draws, 3);
    EXPECT_EQ(said, std::vector<std::string>{"\"here\""});
  }
}

TEST_F(WindowBusTest, TestsAndDemoStartsStayOffTheBus) {
  std::vector<std::string> said;
  int draws = 0;
  auto const s = spec(said, draws);
  auto const check_free = [] {
    auto probe = bus::AppBus::start({APP_ID, std::nullopt, nullptr, std::nullopt});
    ASSERT_TRUE(probe);
    EXPECT_TRUE((*probe)->owns_name());
  };
  // A frame of each start checks that the name stays free while it runs.
  LaunchArgs demo;
  demo.switches.insert("--demo");
  LaunchSpec with_probe = s;
  with_probe.switches = {"--demo"};
  with_probe.create_app_from_args = [&](LaunchArgs const&) -> tl::expected<AppBox, LaunchError> {
    check_free();
    return std::make_unique<SayWidget>(said, draws);
  };
  with_probe.create_app = [&] {
    check_free();
    return std::make_unique<SayWidget>(said, draws);
  };
  EXPECT_TRUE(run_window(with_probe, demo, WindowOptions{.max_frames = 1, .session_bus = true}));
  EXPECT_TRUE(run_window(with_probe, LaunchArgs{}, WindowOptions{.max_frames = 1}));
  EXPECT_EQ(draws, 2);
}

} // namespace
} // namespace zarn_ui::launch
