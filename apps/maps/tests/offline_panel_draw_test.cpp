#include <gtest/gtest.h>

#include "draw/offline_panel_draw.h"
#include "offline_panel/download_selection.h"
#include "panel_test_support.h"
#include "platform/launch/launch_args.h"
#include "sample/sample_data.h"
#include "shell/presets.h"
#include "ui/format.h"

namespace maps {
namespace {

using Kind = OfflinePanelAction::Kind;

struct OfflinePanelDraw : ::testing::Test {
  zarn_ui::TextRenderer text;
  zarn_ui::Theme theme = zarn_ui::Theme::light();
  zarn_ui::Scene scene;
  MapsApp app = offline_app();

  static MapsApp offline_app() {
    zarn_ui::launch::LaunchArgs args;
    args.switches.insert("--offline");
    MapsApp app = app_from_launch_args(args);
    test::set_window(app, 1280, 800);
    return app;
  }

  void draw() {
    scene.reset();
    draw_offline_panel(app, scene, Affine::identity(), text, theme);
  }
  std::vector<OfflineTarget> const& targets() const { return app.offline_panel.targets; }
  std::vector<OfflineTarget> of(Kind kind) const {
    std::vector<OfflineTarget> out;
    for (auto const& t : targets()) {
      if (t.action.kind == kind) {
        out.push_back(t);
      }
    }
    return out;
  }
  bool has(std::string_view s) const {
    for (auto const& cmd : scene.commands) {
      if (auto const* t = std::get_if<zarn_ui::TextCmd>(&cmd); t && t->text == s) {
        return true;
      }
    }
    return false;
  }
};

TEST_F(OfflinePanelDraw, TargetsBeginWithTheWindowAndTheCardThenTheControls) {
  draw();
  ASSERT_GE(targets().size(), 2u);
  EXPECT_EQ(targets()[0], (OfflineTarget{Rect{0, 0, 1280, 800}, OfflinePanelAction::close()}));
  // Two areas: list height 2 × 42, card 440 × (84 + 350) centred.
  Rect const card{640 - 220, 400 - 217, 640 + 220, 400 + 217};
  EXPECT_EQ(targets()[1], (OfflineTarget{card, OfflinePanelAction::search_field()}));
  std::vector<Kind> kinds;
  for (std::size_t i = 2; i < targets().size(); ++i) {
    kinds.push_back(targets()[i].action.kind);
  }
  EXPECT_EQ(kinds, (std::vector<Kind>{Kind::Close, Kind::Zoom, Kind::Zoom, Kind::DeleteRegion,
                                      Kind::DeleteRegion, Kind::Download, Kind::ClearCache}));
  double const R = card.x1 - 22;
  EXPECT_EQ(targets()[2].rect, (Rect{R - 26, card.y0 + 12, R, card.y0 + 38}));
  EXPECT_EQ(targets()[3].action.delta, -1);
  EXPECT_EQ(targets()[4].action.delta, 1);
  EXPECT_EQ(targets()[5].action.region_id, "region-demo-1");
  // The search field sits under "Area to download" and is remembered.
  double const ya = card.y0 + 20 + 30;
  EXPECT_EQ(app.offline_panel.search_rect, (Rect{card.x0 + 22, ya + 22, R, ya + 58}));
  EXPECT_TRUE(has("Cached on disk: 47.5 MB"));
}

TEST_F(OfflinePanelDraw, CardShrinksToTheWindowAndSmallTextScalesCountAsOne) {
  struct Case {
    double w, h;
    float scale;
    double card_w, card_h;
  } const cases[] = {
      {1280, 800, 0.5f, 440, 434},
      {300, 800, 1.0f, 260, 434},
      {1280, 300, 1.0f, 440, 276},
      {1280, 800, 1.5f, 530, 84 * 1.5 + 525},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.scale);
    test::set_window(app, c.w, c.h);
    theme = zarn_ui::Theme::light().with_text_scale(c.scale);
    draw();
    Rect const card = targets()[1].rect;
    EXPECT_DOUBLE_EQ(card.width(), c.card_w);
    EXPECT_DOUBLE_EQ(card.height(), c.card_h);
    EXPECT_DOUBLE_EQ(card.center().x, c.w / 2);
    EXPECT_DOUBLE_EQ(card.center().y, c.h / 2);
  }
}

TEST(OfflinePanelText, StatusLineFollowsTheCounters) {
  struct Case {
    std::uint32_t total, done, failed, estimate;
    std::string expected;
  } const cases[] = {
      {0, 0, 0, 120, "\xE2\x89\x88 120 tiles (" + format_byte_size(120 * 18000) + ")"},
      {50, 7, 0, 120, "Downloading 7/50 tiles\xE2\x80\xA6"},
      {50, 50, 0, 120, "Downloaded 50 tiles"},
      // A failure is no download: it says how many tiles are missing, or that none came.
      {50, 50, 3, 120, "Downloaded 47 of 50 tiles \xC2\xB7 3 missing"},
      {234, 234, 234, 120, "None of the 234 tiles could be fetched"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(offline_status_text(c.total, c.done, c.failed, c.estimate), c.expected);
  }
}

TEST_F(OfflinePanelDraw, ProgressFillIsAtLeastFourPixels) {
  app.tiles.offline_total = 10000;
  app.tiles.offline_done = 1;
  draw();
  Rect const card = targets()[1].rect;
  double const L = card.x0 + 22;
  bool found = false;
  for (auto const& cmd : scene.commands) {
    if (auto const* f = std::get_if<zarn_ui::FillCmd>(&cmd); f && f->color == theme.accent) {
      if (auto const* rr = std::get_if<zarn_ui::RoundedRect>(&f->shape);
          rr && rr->rect.x0 == L && rr->rect.height() == 8) {
        EXPECT_EQ(rr->rect.width(), 4.0);
        found = true;
      }
    }
  }
  EXPECT_TRUE(found);
  EXPECT_TRUE(has("Downloading 1/10000 tiles\xE2\x80\xA6"));
}

TEST_F(OfflinePanelDraw, SevenAreasShowFourRowsAndTheRest) {
  std::vector<DownloadedRegion> regions;
  for (int i = 0; i < 7; ++i) {
    regions.push_back(DownloadedRegion{"r" + std::to_string(i), "Area", {}, {}, 12, 14, 9});
  }
  app.model.regions = regions;
  draw();
  EXPECT_EQ(of(Kind::DeleteRegion).size(), 4u);
  EXPECT_TRUE(has("+3 more"));
  EXPECT_TRUE(has("z12\xE2\x80\x93z14 \xC2\xB7 9 tiles"));
  EXPECT_DOUBLE_EQ(targets()[1].rect.height(), 4 * 42 + 18 + 350);

  app.model.regions.clear();
  draw();
  EXPECT_TRUE(of(Kind::DeleteRegion).empty());
  EXPECT_TRUE(has("No saved areas yet \xE2\x80\x94 search a place above to download it."));
  EXPECT_DOUBLE_EQ(targets()[1].rect.height(), 22 + 350);
}

TEST_F(OfflinePanelDraw, DownloadButtonNamesTheChosenArea) {
  draw();
  EXPECT_TRUE(has("Download current view"));
  EXPECT_TRUE(has("Search a city or place above, or download the current view."));
  app.offline_panel.selected = sample_suggestions().at(0);
  draw();
  EXPECT_TRUE(has(app.offline_panel.selected->name));
  bool named = false;
  for (auto const& cmd : scene.commands) {
    if (auto const* t = std::get_if<zarn_ui::TextCmd>(&cmd)) {
      named =
          named || t->text.starts_with("Download " + app.offline_panel.selected->name.substr(0, 3));
    }
  }
  EXPECT_TRUE(named);
}

TEST(DownloadSelection, ZoomRangeIsRoundedAndCapped) {
  struct Case {
    double zoom;
    std::uint8_t detail;
    std::uint8_t z0, z1;
  } const cases[] = {
      {14.5, 2, 15, 17}, {14.49, 2, 14, 16}, {18.0, 6, 18, 19},
      {25.0, 0, 19, 19}, {-3.0, 6, 0, 6},    {std::nan(""), 2, 0, 2},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.zoom);
    OfflinePanel panel;
    panel.detail = c.detail;
    auto const s =
        download_selection(panel, {48.1, 11.5, 48.2, 11.6}, c.zoom, Rect{0, 0, 800, 600});
    EXPECT_EQ(s.z0, c.z0);
    EXPECT_EQ(s.z1, c.z1);
    EXPECT_FALSE(s.name.has_value());
    EXPECT_EQ(s.box.south, 48.1);
    EXPECT_EQ(s.box.east, 11.6);
  }
}

TEST(DownloadSelection, AChosenAreaUsesItsBoxAndFittingZoom) {
  OfflinePanel panel;
  panel.detail = 1;
  // Corners given the wrong way round still make a proper box.
  panel.selected = AreaHit{"Odeon", "", {48.14, 11.57}, {48.15, 11.58}, {48.13, 11.56}};
  auto const s = download_selection(panel, {0, 0, 1, 1}, 5, Rect{0, 0, 100, 100});
  EXPECT_EQ(s.name, "Odeon");
  EXPECT_EQ(s.box.south, 48.13);
  EXPECT_EQ(s.box.north, 48.15);
  EXPECT_EQ(s.box.west, 11.56);
  EXPECT_GT(s.z0, 10);
  EXPECT_EQ(s.z1, s.z0 + 1);
}

TEST_F(OfflinePanelDraw, DemoShot) {
  test::Frame frame;
  frame.draw(app);
  EXPECT_FALSE(app.offline_panel.targets.empty());
  frame.maybe_shoot("panels_offline", 1280, 800);
}

} // namespace
} // namespace maps
