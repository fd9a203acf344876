// Following the desktop's appearance: the Settings portal's answers at start and its
// SettingChanged signals, on a private bus with a fake portal, down to the theme a running
// window draws with.

#include "platform/bus/desktop_settings.h"

#include <stdlib.h>

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gio/gio.h>
#include <gtest/gtest.h>

#include "fake_settings_portal.h"
#include "platform/launch/desktop_theme.h"
#include "platform/launch/launch.h"
#include "platform/layout/layout.h"
#include "platform/scene/scene.h"

namespace zarn_ui {
namespace {

using namespace std::chrono_literals;
using bus::Appearance;
using Scheme = bus::Appearance::Scheme;
using test::FakeSettingsPortal;

constexpr char APPEARANCE[] = "org.freedesktop.appearance";
constexpr char GNOME[] = "org.gnome.desktop.interface";
constexpr char GNOME_A11Y[] = "org.gnome.desktop.a11y.interface";

class DesktopSettingsTest : public test::PrivateBusTest {
protected:
  static void SetUpTestSuite() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    PrivateBusTest::SetUpTestSuite();
  }

  /// Waits (bounded) for the next change the settings report.
  static std::optional<Appearance> next_change(bus::DesktopSettings& settings) {
    for (auto const until = std::chrono::steady_clock::now() + 10s;
         std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(2ms)) {
      if (auto a = settings.take_change()) {
        return a;
      }
    }
    return std::nullopt;
  }
};

TEST_F(DesktopSettingsTest, TheStartReadingGivesTheDesktopsAppearance) {
  struct Case {
    char const* name;
    std::map<FakeSettingsPortal::Key, std::string> settings;
    bool read_one;
    Appearance expected;
  } const cases[] = {
      {"dark", {{{APPEARANCE, "color-scheme"}, "uint32 1"}}, true, {Scheme::Dark, false, false}},
      {"light", {{{APPEARANCE, "color-scheme"}, "uint32 2"}}, true, {Scheme::Light, false, false}},
      {"no preference", {{{APPEARANCE, "color-scheme"}, "uint32 0"}}, true, {}},
      {"unknown value", {{{APPEARANCE, "color-scheme"}, "uint32 7"}}, true, {}},
      {"wrong type", {{{APPEARANCE, "color-scheme"}, "'dark'"}}, true, {}},
      {"no keys", {}, true, {}},
      {"high contrast",
       {{{APPEARANCE, "color-scheme"}, "uint32 2"}, {{APPEARANCE, "contrast"}, "uint32 1"}},
       true,
       {Scheme::Light, true, false}},
      {"animations off",
       {{{GNOME, "enable-animations"}, "false"}},
       true,
       {Scheme::NoPreference, false, true}},
      {"animations on", {{{GNOME, "enable-animations"}, "true"}}, true, {}},
      {"reduced motion",
       {{{APPEARANCE, "reduced-motion"}, "uint32 1"}},
       true,
       {Scheme::NoPreference, false, true}},
      // A portal without the contrast key (1.16) passes GNOME's own switch on.
      {"GNOME high contrast",
       {{{GNOME_A11Y, "high-contrast"}, "true"}},
       true,
       {Scheme::NoPreference, true, false}},
      {"GNOME high contrast off", {{{GNOME_A11Y, "high-contrast"}, "false"}}, true, {}},
      {"large text",
       {{{GNOME, "text-scaling-factor"}, "1.25"}},
       true,
       {Scheme::NoPreference, false, false, 1.25}},
      {"text factor out of range", {{{GNOME, "text-scaling-factor"}, "40.0"}}, true, {}},
      {"first version: Read only, wrapped twice",
       {{{APPEARANCE, "color-scheme"}, "uint32 1"}, {{GNOME, "enable-animations"}, "false"}},
       false,
       {Scheme::Dark, false, true}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSettingsPortal portal(address(), c.settings, c.read_one);
    bus::DesktopSettings settings({address(), nullptr});
    EXPECT_EQ(settings.wait_first(10s), c.expected);
    EXPECT_GE(portal.reads(), 6) << "every key is asked";
    EXPECT_FALSE(settings.take_change()) << "the start's reading is no change";
  }
}

TEST_F(DesktopSettingsTest, WithoutAPortalOrABusNothingIsPreferred) {
  for (std::string const& where : {address(), std::string("unix:path=/nonexistent/bus")}) {
    SCOPED_TRACE(where);
    bus::DesktopSettings settings({where, nullptr});
    EXPECT_EQ(settings.wait_first(10s), Appearance{});
  }
}

TEST_F(DesktopSettingsTest, SettingChangedIsFollowedAndWakesTheLoop) {
  FakeSettingsPortal portal(address(), {{{APPEARANCE, "color-scheme"}, "uint32 2"}});
  std::atomic<int> wakes = 0;
  bus::DesktopSettings settings({address(), [&] { ++wakes; }});
  ASSERT_EQ(settings.wait_first(10s).scheme, Scheme::Light);
  int const woken_at_start = wakes;

  portal.change(APPEARANCE, "color-scheme", "uint32 1");
  auto const dark = next_change(settings);
  ASSERT_TRUE(dark);
  EXPECT_EQ(*dark, (Appearance{Scheme::Dark, false, false}));
  EXPECT_GT(wakes, woken_at_start);

  // Keys that change nothing we follow, and a repeated value, report no change; the next real
  // one does, in order.
  portal.change(APPEARANCE, "accent-color", "(0.1, 0.2, 0.3)");
  portal.change(APPEARANCE, "color-scheme", "uint32 1");
  portal.change(APPEARANCE, "contrast", "uint32 1");
  auto const contrast = next_change(settings);
  ASSERT_TRUE(contrast);
  EXPECT_EQ(*contrast, (Appearance{Scheme::Dark, true, false}));
  portal.change(GNOME, "enable-animations", "false");
  auto const still = next_change(settings);
  ASSERT_TRUE(still);
  EXPECT_TRUE(still->reduce_motion);
  portal.change(GNOME, "text-scaling-factor", "1.5");
  auto const larger = next_change(settings);
  ASSERT_TRUE(larger);
  EXPECT_EQ(larger->text_scale, 1.5);
  portal.change(APPEARANCE, "contrast", "uint32 0");
  auto const off = next_change(settings);
  ASSERT_TRUE(off);
  EXPECT_FALSE(off->high_contrast);
  portal.change(GNOME_A11Y, "high-contrast", "true");
  auto const on = next_change(settings);
  ASSERT_TRUE(on);
  EXPECT_TRUE(on->high_contrast) << "GNOME's own switch is followed live";
}

TEST(DesktopTheme, LargeTextScalesTheTextOfEveryTheme) {
  Appearance large;
  large.text_scale = 1.25;
  for (std::optional<std::string> const& name :
       {std::optional<std::string>{}, std::optional<std::string>{"dark"}}) {
    EXPECT_EQ(launch::theme_for(large, name).text_scale, 1.25f);
  }
  EXPECT_EQ(launch::theme_for(Appearance{}, std::nullopt).text_scale, 1.0f);
}

TEST(DesktopTheme, AnOverrideNamesTheThemeAndTheDesktopKeepsReducedMotion) {
  Appearance const dark_still{Scheme::Dark, false, true};
  struct Case {
    Appearance appearance;
    std::optional<std::string> override_name;
    ThemeKind expected;
  } const cases[] = {
      {{}, std::nullopt, ThemeKind::Light},
      {{Scheme::Light, false, false}, std::nullopt, ThemeKind::Light},
      {{Scheme::Dark, false, false}, std::nullopt, ThemeKind::Dark},
      {{Scheme::Dark, true, false}, std::nullopt, ThemeKind::HighContrast},
      {{Scheme::Light, true, false}, std::nullopt, ThemeKind::HighContrast},
      {dark_still, "light", ThemeKind::Light},
      {{}, "high-contrast", ThemeKind::HighContrast},
      {{}, "Light", ThemeKind::Dark}, // compared exactly, as ZARN_SHOTS_THEME is
      {{}, "dark", ThemeKind::Dark},
      {dark_still, "", ThemeKind::Dark}, // empty: no override
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.override_name.value_or("(none)"));
    Theme const t = launch::theme_for(c.appearance, c.override_name);
    EXPECT_EQ(t.kind, c.expected);
    EXPECT_EQ(t.reduce_motion, c.appearance.reduce_motion);
  }
}

// What each frame of the window drew with.
struct Frames {
  std::vector<ThemeKind> kinds;
  std::vector<bool> reduce_motion;
};

/// Asks the portal for a dark scheme and no animations once the first frame is drawn, and closes
/// the window when a frame shows the theme expected after it and reduced motion.
class ThemeProbe final : public widget::Widget {
public:
  ThemeProbe(Frames& frames, FakeSettingsPortal& portal, ThemeKind after)
      : frames_(frames), portal_(portal), after_(after) {}
  std::string_view type_name() const override { return "ThemeProbe"; }
  void set_reduce_motion(bool on) override { reduce_motion_ = on; }
  void tick(State&) override {
    if (frames_.kinds.size() == 1) {
      portal_.change(APPEARANCE, "color-scheme", "uint32 1");
      portal_.change(GNOME, "enable-animations", "false");
    }
    if (frames_.kinds.size() > 1 && frames_.kinds.back() == after_ && reduce_motion_) {
      SDL_Event quit{};
      quit.type = SDL_QUIT;
      SDL_PushEvent(&quit);
    }
  }
  bool needs_frame() const override { return true; }
  layout::NodeId build_layout(layout::LayoutTree& tree, Theme const&,
                              widget::NodeWidgetMap&) override {
    return *tree.new_leaf({});
  }
  void apply_layout(layout::LayoutTree const&, Point, layout::NodeId) override {}
  void draw(Scene&, Affine, widget::DrawCtx const& ctx) override {
    frames_.kinds.push_back(ctx.theme.kind);
    frames_.reduce_motion.push_back(reduce_motion_);
  }

private:
  Frames& frames_;
  FakeSettingsPortal& portal_;
  ThemeKind after_;
  bool reduce_motion_ = false;
};

TEST_F(DesktopSettingsTest, ARunningWindowSwitchesItsThemeWhenTheDesktopDoes) {
  struct Case {
    char const* override_name;
    ThemeKind before;
    ThemeKind after;
  } const cases[] = {
      {nullptr, ThemeKind::Light, ThemeKind::Dark},
      {"high-contrast", ThemeKind::HighContrast, ThemeKind::HighContrast},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.override_name ? c.override_name : "(no override)");
    if (c.override_name) {
      setenv("ZARN_THEME", c.override_name, 1);
    } else {
      unsetenv("ZARN_THEME");
    }
    FakeSettingsPortal portal(address(), {{{APPEARANCE, "color-scheme"}, "uint32 2"}});
    Frames frames;
    launch::LaunchSpec application;
    application.app_id = "test.zarn.theme";
    application.create_app = [&] { return std::make_unique<ThemeProbe>(frames, portal, c.after); };
    application.default_window_size = [] { return std::pair<std::int32_t, std::int32_t>{64, 64}; };
    auto const result = launch::run_window(
        application, launch::LaunchArgs{},
        launch::WindowOptions{.max_frames = 600, .desktop_theme = true, .settings_bus = address()});
    unsetenv("ZARN_THEME");
    ASSERT_TRUE(result) << result.error().display();
    ASSERT_GE(frames.kinds.size(), 2u);
    EXPECT_EQ(frames.kinds.front(), c.before);
    EXPECT_FALSE(frames.reduce_motion.front());
    EXPECT_EQ(frames.kinds.back(), c.after);
    EXPECT_TRUE(frames.reduce_motion.back()) << "reduced motion follows the desktop";
    EXPECT_LT(frames.kinds.size(), 600u) << "the change never reached the window";
  }
}

} // namespace
} // namespace zarn_ui
