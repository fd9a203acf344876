#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

#include <fmt/format.h>

#include "app/maps_app.h"
#include "app/nav_card.h"
#include "app/overflow_menu.h"
#include "disk_usage_support.h"
#include "platform/doc/document.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "shell/presets.h"

namespace maps {
namespace {

namespace fs = std::filesystem;
using zarn_ui::Rect;

constexpr Rect WINDOW{0.0, 0.0, 1280.0, 800.0};

/// Lays the open sheet out in the window as a frame would.
void lay_out(AttributionSheet& sheet) {
  zarn_ui::Scene scene;
  zarn_ui::TextRenderer text;
  draw_attribution_sheet(sheet, scene, zarn_ui::Affine::identity(), text, zarn_ui::Theme::dark(),
                         WINDOW);
}

bool click(AttributionSheet& sheet, double x, double y) {
  (void)attribution_sheet_event(sheet, zarn_ui::PointerMoved{x, y}, 1.0);
  return attribution_sheet_event(
      sheet, zarn_ui::PointerButton{x, y, 0, zarn_ui::ButtonState::Pressed}, 1.0);
}

TEST(AttributionSheet, StartsClosedAndOpensEitherVariant) {
  AttributionSheet sheet = new_attribution_sheet();
  EXPECT_EQ(sheet.state, SHEET_CLOSED);
  EXPECT_FALSE(sheet.dialog.open);
  EXPECT_FALSE(*sheet.close_flag);
  EXPECT_FALSE(attribution_sheet_open(sheet));

  struct Case {
    bool licences;
    std::uint8_t state;
    char const* title;
    char const* body;
  } const cases[] = {
      {false, SHEET_ATTRIBUTION, "Attribution",
       "Map data \xC2\xA9 OpenStreetMap contributors\nBasemap tiles \xC2\xA9 CARTO"},
      {true, SHEET_LICENSES, "Licenses",
       "OpenStreetMap data \xE2\x80\x94 Open Database License (ODbL)\n"
       "CARTO basemaps \xE2\x80\x94 under CARTO's basemap terms\n"
       "\xC2\xA9 OpenStreetMap contributors \xC2\xB7 \xC2\xA9 CARTO"},
      {false, SHEET_ATTRIBUTION, "Attribution", nullptr}, // switching back rebuilds it
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.title);
    open_attribution_sheet(sheet, c.licences);
    EXPECT_EQ(sheet.state, c.state);
    EXPECT_TRUE(sheet.dialog.open);
    EXPECT_EQ(sheet.dialog.title, c.title);
    if (c.body) {
      EXPECT_EQ(sheet.dialog.content.text(), c.body);
    }
    EXPECT_EQ(sheet.dialog.content.size(), 13.0f);
    ASSERT_TRUE(sheet.dialog.primary);
    EXPECT_EQ(sheet.dialog.primary->label, "Close");
    EXPECT_FALSE(sheet.dialog.secondary);
    EXPECT_TRUE(static_cast<bool>(sheet.dialog.on_dismiss));
    EXPECT_EQ(sheet.dialog.preferred_size.width, 440.0);
    EXPECT_EQ(sheet.dialog.preferred_size.height, 220.0);
  }
}

TEST(AttributionSheet, CloseAndDismissCloseItAndLeaveTheFlagClear) {
  AttributionSheet sheet = new_attribution_sheet();
  EXPECT_FALSE(attribution_sheet_event(sheet, zarn_ui::OtherEvent{}, 1.0)) << "closed";

  open_attribution_sheet(sheet, false);
  lay_out(sheet);
  ASSERT_EQ(sheet.dialog.box_rect, (Rect{420, 290, 860, 510}));
  ASSERT_EQ(sheet.dialog.primary_rect, (Rect{734, 462, 844, 502}));

  // Inside the box but off the button: taken, still open.
  EXPECT_TRUE(click(sheet, 500, 350));
  EXPECT_TRUE(attribution_sheet_open(sheet));
  // The wheel and other events are swallowed too while open.
  EXPECT_TRUE(attribution_sheet_event(sheet, zarn_ui::Wheel{zarn_ui::LineDelta{1.0f}}, 1.0));
  EXPECT_TRUE(attribution_sheet_open(sheet));

  EXPECT_TRUE(click(sheet, 780, 480));
  EXPECT_EQ(sheet.state, SHEET_CLOSED);
  EXPECT_FALSE(sheet.dialog.open);
  EXPECT_FALSE(*sheet.close_flag);

  std::shared_ptr<bool> const old_flag = sheet.close_flag;
  open_attribution_sheet(sheet, true);
  EXPECT_NE(sheet.close_flag, old_flag);
  EXPECT_FALSE(*sheet.close_flag);
  lay_out(sheet);
  EXPECT_TRUE(
      attribution_sheet_event(sheet, zarn_ui::Key{true, zarn_ui::NamedKey::Escape, {}}, 1.0));
  EXPECT_FALSE(attribution_sheet_open(sheet));

  open_attribution_sheet(sheet, false);
  lay_out(sheet);
  EXPECT_TRUE(click(sheet, 20, 20)); // the dimmed window outside the box
  EXPECT_FALSE(attribution_sheet_open(sheet));
}

class OverflowTest : public testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           fmt::format("maps-overflow-{}-{}", ::getpid(),
                       testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "light");
    std::ofstream(dir_ / "light" / "tile.png") << std::string(300, 'x');
    app_ = std::make_unique<MapsApp>(build_maps_app(demo_scenario(), StreetNetwork{},
                                                    tile_cache_without_worker(dir_), true, false));
    app_->window_rect_ = WINDOW;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  fs::path dir_;
  std::unique_ptr<MapsApp> app_;
};

TEST_F(OverflowTest, MenuItemsOpenTheirSurfaces) {
  ASSERT_EQ(app_->overflow_menu.items().size(), 4u);
  EXPECT_EQ(app_->overflow_menu.items()[3].label, "Float navigation");

  run_overflow_menu_item(*app_, MENU_ATTRIBUTION);
  EXPECT_EQ(app_->attribution_sheet.state, SHEET_ATTRIBUTION);
  run_overflow_menu_item(*app_, MENU_LICENSES);
  EXPECT_EQ(app_->attribution_sheet.state, SHEET_LICENSES);
  EXPECT_EQ(app_->attribution_sheet.dialog.title, "Licenses");

  app_->offline_panel.cache_bytes = 0;
  run_overflow_menu_item(*app_, MENU_OFFLINE_MAPS);
  EXPECT_TRUE(app_->offline_panel.open);
  EXPECT_TRUE(app_->offline_panel.search.editing());
  // The size is measured off the UI thread; the tick after it arrived shows it.
  test::await_disk_usage(app_->tiles);
  zarn_ui::doc::Document doc;
  app_->tick_doc(doc);
  EXPECT_EQ(app_->offline_panel.cache_bytes, app_->tiles.tile_cache_disk_usage());
  EXPECT_GT(app_->offline_panel.cache_bytes, 0u);

  // With both open, the sheet is the modal one.
  app_->offline_panel.targets = {{WINDOW, OfflinePanelAction::close()}};
  EXPECT_EQ(app_->modal_rect(), app_->attribution_sheet.dialog.box_rect);
  close_attribution_sheet(app_->attribution_sheet);
  EXPECT_EQ(app_->modal_rect(), WINDOW);

  run_overflow_menu_item(*app_, 4);
  run_overflow_menu_item(*app_, static_cast<std::size_t>(-1));
  EXPECT_FALSE(attribution_sheet_open(app_->attribution_sheet));
}

TEST_F(OverflowTest, FloatNavigationDetachesTheCardOnlyWithARoute) {
  app_->model.route.reset();
  run_overflow_menu_item(*app_, MENU_FLOAT_NAVIGATION);
  EXPECT_TRUE(app_->nav_placement.is_initial());
  EXPECT_FALSE(app_->surface_request);

  app_->model.route = demo_scenario().route;
  ASSERT_TRUE(app_->model.route);
  Rect const card = navigation_card_rect(*app_);
  run_overflow_menu_item(*app_, MENU_FLOAT_NAVIGATION);
  EXPECT_EQ(app_->nav_placement.state(), zarn_ui::surface::PlacementState::Detached);
  EXPECT_EQ(navigation_card_rect(*app_), card);
  auto request = app_->take_surface_request();
  ASSERT_TRUE(request);
  EXPECT_EQ(request, nav_surface_spec(*app_));
  EXPECT_EQ(request->rect, (Rect{card.x0 - 8, card.y0 - 8, card.x1 + 8, card.y1 + 8}));
  EXPECT_FALSE(app_->take_surface_request()) << "taken once";
}

TEST_F(OverflowTest, TheMenuOpensAboveAndLeftOfTheButton) {
  open_overflow_menu(*app_);
  ASSERT_TRUE(app_->overflow_menu.is_open());
  Rect const r = app_->overflow_menu.rect();
  EXPECT_GT(r.width(), 0.0);
  EXPECT_FLOAT_EQ(static_cast<float>(r.x1), 1264.0f);
  EXPECT_FLOAT_EQ(static_cast<float>(r.y1), 748.0f);
}

} // namespace
} // namespace maps
