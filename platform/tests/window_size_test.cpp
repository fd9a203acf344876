#include "platform/launch/window_size.h"

#include <cmath>

#include <gtest/gtest.h>

namespace zarn_ui::launch {
namespace {

TEST(WindowSizes, TheMinimumTimesTheScaleAndTheSizeFitTheUsableArea) {
  PixelSize const minimum{400, 640};
  struct Case {
    char const* what;
    PixelSize size;
    double scale;
    std::optional<PixelSize> usable;
    WindowSizes expected;
  } const cases[] = {
      {"at scale 1 on a large screen",
       {1280, 800},
       1.0,
       PixelSize{1920, 1050},
       {{1280, 800}, PixelSize{400, 640}}},
      {"at scale 2 on a 900-px-high screen",
       {1280, 800},
       2.0,
       PixelSize{1440, 868},
       {{1280, 868}, PixelSize{800, 868}}},
      {"at scale 1.5 where it fits",
       {1280, 800},
       1.5,
       PixelSize{2560, 1400},
       {{1280, 960}, PixelSize{600, 960}}},
      {"a size larger than the screen",
       {3000, 2000},
       1.0,
       PixelSize{1920, 1050},
       {{1920, 1050}, PixelSize{400, 640}}},
      {"a size below the minimum",
       {300, 300},
       1.0,
       PixelSize{1920, 1050},
       {{400, 640}, PixelSize{400, 640}}},
      {"a display that tells nothing",
       {1280, 800},
       2.0,
       std::nullopt,
       {{1280, 1280}, PixelSize{800, 1280}}},
      {"a scale that is no number counts as 1",
       {1280, 800},
       std::nan(""),
       PixelSize{1920, 1050},
       {{1280, 800}, PixelSize{400, 640}}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(fit_window_sizes(c.size, minimum, c.scale, c.usable), c.expected);
  }
  EXPECT_EQ(fit_window_sizes({1280, 800}, std::nullopt, 2.0, PixelSize{1440, 768}),
            (WindowSizes{{1280, 768}, std::nullopt}));
}

} // namespace
} // namespace zarn_ui::launch
