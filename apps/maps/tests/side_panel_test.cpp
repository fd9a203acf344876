#include <gtest/gtest.h>

#include "app/side_panel_draw.h"
#include "panel_test_support.h"
#include "shell/presets.h"
#include "shell/sample_data.h"

namespace maps {
namespace {

using test::Frame;
using test::set_window;
using test::targets_of;

MapsApp demo_app(double w = 1280, double h = 800) {
  MapsApp app = app_from_launch_args({});
  set_window(app, w, h);
  return app;
}

/// The demo model with nothing in the Places lists.
[[maybe_unused]] MapsApp blank_explore_app(double w = 1280, double h = 800) {
  MapsApp app = demo_app(w, h);
  app.model.panel = Panel::Explore;
  app.model.selected.reset();
  app.model.results.clear();
  app.model.recents.clear();
  for (auto& place : app.model.places) {
    place.saved = false;
  }
  app.nearby_pois.clear();
  return app;
}

TEST(SidePanelShots, DemoFrames) {
  struct Case {
    char const* name;
    Panel panel;
    TravelMode mode;
    double width;
  } const cases[] = {
      {"directions", Panel::Directions, TravelMode::Car, 1280},
      {"transit", Panel::Directions, TravelMode::Transit, 1280},
      {"explore", Panel::Explore, TravelMode::Car, 1280},
      {"compact", Panel::Explore, TravelMode::Car, 600},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    MapsApp app = demo_app(c.width, 800);
    app.model.panel = c.panel;
    app.model.mode = c.mode;
    if (c.panel == Panel::Explore) {
      app.nearby_pois = sample_pois();
    }
    Frame frame;
    frame.draw(app);
    EXPECT_FALSE(app.hit_targets.empty());
    frame.maybe_shoot(std::string("panels_") + c.name, static_cast<std::uint32_t>(c.width), 800);
  }
}

}  // namespace
}  // namespace maps
