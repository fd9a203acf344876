// The application following the desktop: a fake Settings portal on a private bus answers the
// start's reading and then changes the colour scheme; the frames, run as the window loop runs
// them, switch the theme and the basemap style together.

#include <chrono>
#include <thread>

#include <gio/gio.h>
#include <gtest/gtest.h>

#include "platform/launch/desktop_theme.h"
#include "platform/tests/fake_settings_portal.h"
#include "scenario.h"

namespace maps {
namespace {

using namespace std::chrono_literals;

TEST(DesktopTheme, ADarkSchemeSentWhileRunningSwitchesThemeAndBasemapAtOnce) {
  GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
  g_test_dbus_up(bus);
  std::string const address = g_test_dbus_get_bus_address(bus);
  {
    zarn_ui::test::FakeSettingsPortal portal(
        address, {{{"org.freedesktop.appearance", "color-scheme"}, "uint32 0"}});
    zarn_ui::launch::DesktopTheme desktop({true, address, std::nullopt});
    test::Session session({"--empty"}, 1280, 800);
    session.set_theme(desktop.first());
    session.frame();
    auto heading_color = [&] {
      auto const* heading = probe::find_text_cmd(session.scene, "Places");
      return heading ? std::optional(heading->color) : std::nullopt;
    };
    EXPECT_FALSE(session.app().tiles.dark) << "no preference is light";
    EXPECT_EQ(heading_color(), zarn_ui::Theme::light().text);

    portal.change("org.freedesktop.appearance", "color-scheme", "uint32 1");
    std::optional<zarn_ui::Theme> changed;
    for (auto const until = std::chrono::steady_clock::now() + 10s;
         !changed && std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(2ms)) {
      changed = desktop.take_change();
      session.frame();
    }
    ASSERT_TRUE(changed) << "the change never came";
    session.set_theme(*changed);
    session.frame();
    EXPECT_TRUE(session.app().tiles.dark) << "the basemap switches in the same frame";
    EXPECT_EQ(heading_color(), zarn_ui::Theme::dark().text);
  }
  g_test_dbus_down(bus);
  g_object_unref(bus);
}

} // namespace
} // namespace maps
