#include <gtest/gtest.h>
#include <spng.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/maps_app.h"
#include "doc/save.h"
#include "platform/doc/persist.h"
#include "platform/launch/launch_args.h"
#include "platform/launch/state.h"
#include "shell/launch_record.h"
#include "shell/presets.h"
#include "shell/screenshot.h"

namespace maps {
namespace {

namespace fs = std::filesystem;

zarn_ui::launch::LaunchArgs args_of(std::vector<char const*> argv) {
  auto const spec = maps_launch_spec();
  auto parsed = zarn_ui::launch::parse_launch_args(argv, spec.switches, spec.options);
  EXPECT_TRUE(parsed) << parsed.error();
  return parsed.value_or(zarn_ui::launch::LaunchArgs{});
}

struct PngSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

std::optional<PngSize> png_size(fs::path const& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, bytes.data(), bytes.size());
  spng_ihdr ihdr{};
  std::optional<PngSize> out;
  std::size_t decoded = 0;
  if (spng_get_ihdr(ctx, &ihdr) == 0 &&
      spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &decoded) == 0) {
    std::vector<unsigned char> pixels(decoded);
    if (spng_decode_image(ctx, pixels.data(), pixels.size(), SPNG_FMT_RGBA8, 0) == 0) {
      out = PngSize{ihdr.width, ihdr.height};
    }
  }
  spng_ctx_free(ctx);
  return out;
}

class ShotTest : public testing::Test {
protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("maps-shot-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, ignored);
    fs::remove_all(dir_, ignored);
  }
  fs::path dir_;
};

TEST_F(ShotTest, WritesAPngOfTheRequestedSizeCreatingFolders) {
  fs::path const out = dir_ / "a" / "b" / "shot.png";
  std::string const out_text = out.string();
  auto const args = args_of({"--screenshot", out_text.c_str(), "--size", "640x480"});
  testing::internal::CaptureStdout();
  auto const result = render_screenshot(args);
  std::string const printed = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(result) << result.error().display();
  EXPECT_EQ(printed, "maps: wrote shot to " + out_text + "\n");
  auto const size = png_size(out);
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 640u);
  EXPECT_EQ(size->height, 480u);
}

TEST_F(ShotTest, AFolderThatCannotBeCreatedFailsWithAClearMessage) {
  fs::create_directories(dir_);
  std::ofstream(dir_ / "file") << "not a folder";
  fs::path const out = dir_ / "file" / "shot.png";
  std::string const out_text = out.string();
  auto const result = render_screenshot(args_of({"--screenshot", out_text.c_str()}));
  ASSERT_FALSE(result);
  EXPECT_NE(result.error().display().find("atomically publish png"), std::string::npos)
      << result.error().display();
  EXPECT_FALSE(fs::exists(out));
}

TEST(Shot, MissingOutputPathIsTheMissingPathError) {
  auto const result = render_screenshot(zarn_ui::launch::LaunchArgs{});
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().kind, zarn_ui::launch::LaunchError::Kind::MissingScreenshotPath);
}

TEST(Shot, ThemeReducedMotionAndPhaseChoices) {
  EXPECT_EQ(shot_theme(std::nullopt).kind, zarn_ui::ThemeKind::Dark);
  EXPECT_EQ(shot_theme("Light").kind, zarn_ui::ThemeKind::Dark);
  EXPECT_EQ(shot_theme("light").kind, zarn_ui::ThemeKind::Light);
  EXPECT_EQ(shot_theme("high-contrast").kind, zarn_ui::ThemeKind::HighContrast);
  EXPECT_FALSE(shot_reduce_motion("TRUE"));
  EXPECT_FALSE(shot_reduce_motion("0"));
  EXPECT_FALSE(shot_reduce_motion(std::nullopt));
  EXPECT_TRUE(shot_reduce_motion("yes"));
  EXPECT_TRUE(shot_reduce_motion("1"));
  EXPECT_EQ(shot_phase(args_of({"--floating-navigation-hover", "--floating-navigation"})),
            "detached");
  EXPECT_EQ(shot_phase(args_of({"--floating-navigation-returned"})), "returned");
  EXPECT_EQ(shot_phase(args_of({})), std::nullopt);
}

TEST(LaunchRecord, DeclaresTheSwitchesAndTheDefaultWindow) {
  auto const spec = maps_launch_spec();
  EXPECT_EQ(spec.app_id, "test.zarn.maps");
  ASSERT_EQ(spec.switches.size(), 16u);
  EXPECT_EQ(spec.switches.front(), "--nav-closed");
  EXPECT_EQ(spec.switches.back(), "--floating-navigation-returned");
  EXPECT_EQ(spec.options, std::vector<std::string>{"--panel"});
  EXPECT_EQ(default_window_size(), (std::pair<std::int32_t, std::int32_t>{1280, 800}));
}

// The application's start reads the saved places while its window opens, on another thread;
// its first frame shows them, and a change made to the document before that frame too.
TEST(LaunchRecord, TheFirstFrameShowsTheDocumentReadWhileTheWindowOpened) {
  auto const spec = maps_launch_spec();
  fs::path const data = fs::path(testing::TempDir()) / ("maps-launch-" + std::to_string(getpid()));
  auto place = [](int i) {
    Place p = new_place("osm-node-" + std::to_string(i), "Place " + std::to_string(i),
                        PlaceCategory::Cafe, 48.1 + i * 1e-3, 11.5, "Street " + std::to_string(i));
    p.saved = true;
    return p;
  };
  struct Case {
    char const* what;
    bool change_before_first_frame;
    std::vector<std::string> ids;
  } const cases[] = {
      {"as saved", false, {"osm-node-1", "osm-node-2"}},
      {"changed before the first frame", true, {"osm-node-1", "osm-node-2", "osm-node-3"}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(data);
    {
      auto saved = zarn_ui::persist::Persistence::open_at({data / spec.app_id, {}, {}, {}});
      MapModel model = default_map_model();
      model.places = {place(1), place(2)};
      save_model_to_doc(saved.document(), model);
      ASSERT_TRUE(saved.save_now());
    }
    ASSERT_EQ(setenv("XDG_DATA_HOME", data.c_str(), 1), 0);
    auto persistence = spec.persist_open(spec.app_id);
    unsetenv("XDG_DATA_HOME");
    if (c.change_before_first_frame) {
      MapModel model = default_map_model();
      model.places = {place(1), place(2), place(3)};
      save_model_to_doc(persistence.document(), model);
    }
    auto widget = spec.create_app();
    auto* app = dynamic_cast<MapsApp*>(widget.get());
    ASSERT_NE(app, nullptr);
    zarn_ui::State state(std::move(persistence));
    app->tick(state);
    std::vector<std::string> ids;
    for (Place const& p : app->model.places) {
      ids.push_back(p.id);
    }
    EXPECT_EQ(ids, c.ids);
  }
  fs::remove_all(data);
}

TEST(Presets, PanelValueIsTrimmedAndAsciiLowerCased) {
  struct Case {
    char const* value;
    Panel panel;
    TravelMode mode;
    bool route;
  } const cases[] = {
      {"  TRANSIT ", Panel::Directions, TravelMode::Transit, false},
      {"directions", Panel::Directions, TravelMode::Car, true},
      {"explore", Panel::Explore, TravelMode::Car, true},
      {"\xC3\x89xplore", Panel::Directions, TravelMode::Car, true}, // only A-Z are lowered
      {"nowhere", Panel::Directions, TravelMode::Car, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.value);
    MapsApp const app = app_from_launch_args(args_of({"--panel", c.value}));
    EXPECT_EQ(app.model.panel, c.panel);
    EXPECT_EQ(app.model.mode, c.mode);
    EXPECT_EQ(app.model.route.has_value(), c.route);
    EXPECT_FALSE(app.live);
    EXPECT_TRUE(app.nav_open);
  }
}

TEST(MapsApp, FreshObjectIsBusyUntilLoadedAndNeedsNoFrame) {
  MapsApp app =
      build_maps_app(default_map_model(), StreetNetwork{}, offline_tile_cache(), false, false);
  EXPECT_TRUE(app.is_busy());
  EXPECT_FALSE(app.needs_frame());
  EXPECT_EQ(app.type_name(), "MapsApp");
  EXPECT_EQ(app.widget_id(), "maps_app");
}

TEST(MapsApp, FirstLayoutArmsTheMapIdleDeadlineOnlyWhenLiveWideAndCloseEnough) {
  struct Case {
    float width;
    double zoom;
    bool live;
    bool armed;
  } const cases[] = {
      {800.0f, 14.4, true, true},
      {1.0f, 14.4, true, false},
      {800.0f, 13.99, true, false},
      {800.0f, 14.4, false, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.width);
    MapsApp app =
        build_maps_app(default_map_model(), StreetNetwork{}, offline_tile_cache(), false, c.live);
    app.model.zoom = c.zoom;
    zarn_ui::layout::LayoutTree tree;
    zarn_ui::widget::NodeWidgetMap map;
    auto const theme = zarn_ui::Theme::light();
    auto const node = app.build_layout(tree, theme, map);
    auto const root =
        tree.new_with_children(zarn_ui::layout::Style::fixed(c.width, 600.0f), {node});
    ASSERT_TRUE(root);
    ASSERT_TRUE(tree.compute_layout(*root, zarn_ui::Size{c.width, 600.0}));
    app.apply_layout(tree, zarn_ui::Point{0.0, 0.0}, node);
    EXPECT_EQ(app.map_idle_deadline.has_value(), c.armed);
    EXPECT_EQ(app.window_rect(), (zarn_ui::Rect{0, 0, c.width, 600}));
    EXPECT_EQ(map.at(node), &app);
  }
}

} // namespace
} // namespace maps
