// The desktop's UI scale on X11: GDK_SCALE, Xft.dpi, and which one wins.

#include "platform/launch/desktop_scale.h"

#include <gtest/gtest.h>

namespace zarn_ui::launch {
namespace {

TEST(DesktopScale, GdkScaleIsAWholeFactor) {
  struct Case {
    char const* value;
    std::optional<double> scale;
  } const cases[] = {{nullptr, std::nullopt},
                     {"2", 2.0},
                     {" 3 ", 3.0},
                     {"1", 1.0},
                     {"0", std::nullopt},
                     {"1.5", std::nullopt},
                     {"two", std::nullopt},
                     {"", std::nullopt},
                     {"99", std::nullopt}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    EXPECT_EQ(scale_from_gdk_scale(c.value), c.scale);
  }
}

TEST(DesktopScale, XftDpiIsReadFromItsOwnLineOfTheResources) {
  struct Case {
    char const* resources;
    std::optional<double> scale;
  } const cases[] = {
      {"Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n", 2.0},
      {"Xft.dpi: 144", 1.5},
      {"Xft.dpi:\t96\n", 1.0},
      {"Xft.dpi:\t48\n", std::nullopt},    // below scale 1 is no preference
      {"Xft.dpi:\tlarge\n", std::nullopt}, // not a number
      {"Xcursor.size:\t48\n", std::nullopt},
      {"", std::nullopt},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.resources);
    EXPECT_EQ(scale_from_xft_dpi(c.resources), c.scale);
  }
}

TEST(DesktopScale, TheUsersScaleWinsThenSdlsRatioThenGdkThenXft) {
  struct Case {
    char const* name;
    std::optional<float> user;
    double ratio;
    std::optional<double> gdk;
    std::optional<double> xft;
    double scale;
  } const cases[] = {
      {"--scale overrides", 1.5f, 1.0, 2.0, 2.0, 1.5},
      {"SDL scales already", std::nullopt, 2.0, 2.0, 2.0, 1.0},
      {"GDK_SCALE before Xft.dpi", std::nullopt, 1.0, 2.0, 1.5, 2.0},
      {"Xft.dpi alone", std::nullopt, 1.0, std::nullopt, 1.5, 1.5},
      {"nothing", std::nullopt, 1.0, std::nullopt, std::nullopt, 1.0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(desktop_ui_scale(c.user, c.ratio, c.gdk, c.xft), c.scale);
  }
}

} // namespace
} // namespace zarn_ui::launch
