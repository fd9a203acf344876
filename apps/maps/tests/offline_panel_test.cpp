#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

#include <fmt/format.h>

#include "app/maps_app.h"
#include "app/offline.h"
#include "base/clock.h"
#include "disk_usage_support.h"
#include "offline_panel/download_selection.h"
#include "offline_panel/offline_panel.h"
#include "platform/doc/document.h"
#include "platform/format/bytes.h"
#include "tiles/disk_cache.h"

namespace maps {
namespace {

namespace fs = std::filesystem;
using Kind = OfflinePanelAction::Kind;

constexpr zarn_ui::Rect WINDOW{0.0, 0.0, 1280.0, 800.0};

DownloadedRegion region(std::string id, std::string name, LatLon min, LatLon max, std::uint8_t z0,
                        std::uint8_t z1) {
  return DownloadedRegion{std::move(id), std::move(name), min, max, z0, z1, 0};
}

/// A live application over a tile cache in a folder of its own (no worker: a download is
/// settled when it starts), with the window laid out.
class OfflinePanelTest : public testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           fmt::format("maps-offline-{}-{}", ::getpid(),
                       testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    MapModel model = default_map_model();
    model.center = LatLon{48.137, 11.575};
    model.zoom = 15.0;
    app_ = std::make_unique<MapsApp>(build_maps_app(std::move(model), StreetNetwork{},
                                                    tile_cache_without_worker(dir_), false, true));
    app_->window_rect_ = WINDOW;
    open_offline_panel(app_->offline_panel, 0);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  /// Writes a file of `bytes` bytes for every tile of the region.
  void write_tiles(DownloadedRegion const& r, std::size_t bytes) {
    for (TileKey const& key : region_tiles(r)) {
      fs::path const file = dir_ / tile_cache_path(key);
      fs::create_directories(file.parent_path());
      std::ofstream(file, std::ios::binary) << std::string(bytes, 'x');
    }
  }
  bool tile_file_exists(TileKey key) const { return fs::exists(dir_ / tile_cache_path(key)); }

  fs::path dir_;
  std::unique_ptr<MapsApp> app_;
  zarn_ui::doc::Document doc_;
};

TEST_F(OfflinePanelTest, DetailStaysWithinZeroToSixAndCloseKeepsIt) {
  struct Case {
    std::uint8_t detail;
    std::int8_t delta;
    std::uint8_t expected;
  } const cases[] = {{6, 1, 6}, {0, -1, 0}, {2, 1, 3}, {2, -1, 1}, {5, 1, 6}};
  for (auto const& c : cases) {
    SCOPED_TRACE(fmt::format("{} {:+}", c.detail, c.delta));
    app_->offline_panel.detail = c.detail;
    EXPECT_TRUE(perform_offline_action(*app_, OfflinePanelAction::zoom(c.delta), &doc_));
    EXPECT_EQ(app_->offline_panel.detail, c.expected);
  }

  app_->offline_panel.cache_bytes = 1234;
  app_->offline_panel.query = "Mün";
  app_->offline_panel.targets.push_back({WINDOW, OfflinePanelAction::close()});
  EXPECT_FALSE(perform_offline_action(*app_, OfflinePanelAction::search_field(), &doc_));
  EXPECT_TRUE(app_->offline_panel.open);
  EXPECT_TRUE(perform_offline_action(*app_, OfflinePanelAction::close(), &doc_));
  EXPECT_FALSE(app_->offline_panel.open);
  EXPECT_TRUE(app_->offline_panel.targets.empty());
  EXPECT_TRUE(app_->offline_panel.query.empty());
  EXPECT_EQ(app_->offline_panel.detail, 6);
  EXPECT_EQ(app_->offline_panel.cache_bytes, 1234u);
}

TEST_F(OfflinePanelTest, DownloadingTheChosenAreaAddsItsRegion) {
  // Corners given the wrong way round: the box is normalised.
  AreaHit area;
  area.name = "Altstadt";
  area.min = LatLon{48.145, 11.585};
  area.max = LatLon{48.130, 11.565};
  app_->offline_panel.selected = area;
  app_->offline_panel.detail = 1;
  DownloadSelection const sel =
      download_selection(app_->offline_panel, app_->viewport_bounds(), app_->model.zoom, WINDOW);
  ASSERT_EQ(sel.z1, sel.z0 + 1);

  ASSERT_TRUE(perform_offline_action(*app_, OfflinePanelAction::download(), &doc_));
  std::uint32_t const count = count_area_tiles(sel.box, sel.z0, sel.z1);
  EXPECT_EQ(app_->model.status,
            fmt::format("Downloading {} tiles for Altstadt\xE2\x80\xA6", count));
  // Recorded once its tiles are in: the next frame, for a cache without worker.
  EXPECT_TRUE(app_->model.regions.empty());
  app_->tick_doc(doc_);
  ASSERT_EQ(app_->model.regions.size(), 1u);
  DownloadedRegion const& r = app_->model.regions[0];
  EXPECT_GT(count, 0u);
  EXPECT_EQ(r.id,
            fmt::format("region:48.130000:11.565000:48.145000:11.585000:z{}-{}", sel.z0, sel.z1));
  EXPECT_EQ(r.name, "Altstadt");
  EXPECT_EQ(r.min, (LatLon{48.130, 11.565}));
  EXPECT_EQ(r.max, (LatLon{48.145, 11.585}));
  EXPECT_EQ(r.tiles, count);
  EXPECT_EQ(app_->tiles.offline_total, count);
  EXPECT_EQ(app_->model.status, fmt::format("Offline area ready ({} tiles)", count));
}

TEST_F(OfflinePanelTest, DownloadingTheViewIsNamedAfterAPlaceInsideOrTheCentre) {
  LatLonBox const view = app_->viewport_bounds();
  Place far = new_place("far", "Berlin", PlaceCategory::Landmark, 52.52, 13.40, "");
  Place near = new_place("near", "Marienplatz", PlaceCategory::Landmark, 48.137, 11.575, "");
  app_->model.places = {far};
  ASSERT_TRUE(perform_offline_action(*app_, OfflinePanelAction::download(), &doc_));
  EXPECT_TRUE(app_->model.status.starts_with("Downloading "));
  EXPECT_TRUE(app_->model.status.ends_with(" tiles for offline use\xE2\x80\xA6"));
  app_->tick_doc(doc_);
  ASSERT_EQ(app_->model.regions.size(), 1u);
  EXPECT_EQ(app_->model.regions[0].name,
            fmt::format("{:.3f}, {:.3f}", (view[0] + view[2]) / 2, (view[1] + view[3]) / 2));

  GeoBox const box{view[0], view[1], view[2], view[3]};
  // A place exactly on the box's edge counts as inside.
  Place edge = new_place("edge", "Edge", PlaceCategory::Landmark, view[2], view[1], "");
  EXPECT_EQ(offline_region_name(std::nullopt, box, {far, edge, near}), "Edge");
  EXPECT_EQ(offline_region_name(std::string("Chosen"), box, {near}), "Chosen");
  EXPECT_EQ(offline_region_name(std::nullopt, GeoBox{1.0, 2.0, 1.5, 2.25}, {}), "1.250, 2.125");
}

TEST_F(OfflinePanelTest, ZoomRangeEndsAtNineteen) {
  app_->model.zoom = 18.2;
  app_->offline_panel.detail = 6;
  DownloadSelection const sel =
      download_selection(app_->offline_panel, app_->viewport_bounds(), app_->model.zoom, WINDOW);
  EXPECT_EQ(sel.z0, 18);
  EXPECT_EQ(sel.z1, 19);
  ASSERT_TRUE(perform_offline_action(*app_, OfflinePanelAction::download(), &doc_));
  app_->tick_doc(doc_);
  EXPECT_TRUE(app_->model.regions.at(0).id.ends_with(":z18-19"));
}

TEST_F(OfflinePanelTest, DeletingKeepsTilesSharedWithAnotherArea) {
  // Only a cache that owns its folder deletes files.
  app_->tiles.owns_disk = true;
  DownloadedRegion const a = region("region:a", "A", {48.10, 11.50}, {48.16, 11.60}, 12, 13);
  DownloadedRegion const b = region("region:b", "B", {48.14, 11.58}, {48.20, 11.70}, 13, 13);
  write_tiles(a, 100);
  write_tiles(b, 100);
  app_->model.regions = {a, b};

  auto const tiles_a = region_tiles(a);
  auto const tiles_b = region_tiles(b);
  std::size_t only_a = 0;
  std::optional<TileKey> shared;
  std::optional<TileKey> own;
  for (TileKey const& k : tiles_a) {
    if (std::find(tiles_b.begin(), tiles_b.end(), k) == tiles_b.end()) {
      ++only_a;
      own = k;
    } else {
      shared = k;
    }
  }
  ASSERT_TRUE(shared) << "the two areas must share a tile";
  ASSERT_GT(only_a, 0u);

  ASSERT_TRUE(perform_offline_action(*app_, OfflinePanelAction::delete_region("region:a"), &doc_));
  EXPECT_TRUE(tile_file_exists(*shared));
  EXPECT_FALSE(tile_file_exists(*own));
  for (TileKey const& k : tiles_b) {
    EXPECT_TRUE(tile_file_exists(k));
  }
  ASSERT_EQ(app_->model.regions.size(), 1u);
  EXPECT_EQ(app_->model.regions[0].id, "region:b");
  EXPECT_EQ(app_->model.status, fmt::format("Removed \xE2\x80\x9C"
                                            "A\xE2\x80\x9D \xC2\xB7 {} freed",
                                            zarn_ui::format::bytes(only_a * 100)));
  test::await_disk_usage(app_->tiles);
  app_->tick_doc(doc_);
  EXPECT_EQ(app_->offline_panel.cache_bytes, app_->tiles.tile_cache_disk_usage());
  EXPECT_EQ(app_->offline_panel.cache_bytes, tiles_b.size() * 100);

  // An id that is gone does nothing.
  std::string const status = app_->model.status;
  EXPECT_FALSE(perform_offline_action(*app_, OfflinePanelAction::delete_region("region:a"), &doc_));
  EXPECT_EQ(app_->model.status, status);
  EXPECT_EQ(app_->model.regions.size(), 1u);
}

TEST_F(OfflinePanelTest, ACacheWithoutWorkerNeverTouchesTheDisk) {
  DownloadedRegion const a = region("region:a", "A", {48.10, 11.50}, {48.16, 11.60}, 12, 12);
  write_tiles(a, 50);
  std::uint64_t const on_disk = app_->tiles.tile_cache_disk_usage();
  ASSERT_GT(on_disk, 0u);
  app_->model.regions = {a, region("region:b", "B", {1, 1}, {2, 2}, 3, 3)};

  ASSERT_TRUE(perform_offline_action(*app_, OfflinePanelAction::delete_region("region:a"), &doc_));
  EXPECT_EQ(app_->model.status, "Removed \xE2\x80\x9C"
                                "A\xE2\x80\x9D \xC2\xB7 0 B freed");
  EXPECT_EQ(app_->model.regions.size(), 1u);

  app_->offline_panel.cache_bytes = 99;
  ASSERT_TRUE(perform_offline_action(*app_, OfflinePanelAction::clear_cache(), &doc_));
  EXPECT_EQ(app_->model.status, "Cleared 0 B of offline tiles");
  EXPECT_TRUE(app_->model.regions.empty());
  EXPECT_EQ(app_->offline_panel.cache_bytes, 0u);
  EXPECT_EQ(app_->tiles.tile_cache_disk_usage(), on_disk);
  for (TileKey const& k : region_tiles(a)) {
    EXPECT_TRUE(tile_file_exists(k));
  }
}

TEST_F(OfflinePanelTest, WithoutADocumentNothingThatMustBeRecordedHappens) {
  app_->model.regions = {region("region:a", "A", {48.10, 11.50}, {48.16, 11.60}, 12, 12)};
  for (auto const& action :
       {OfflinePanelAction::download(), OfflinePanelAction::delete_region("region:a"),
        OfflinePanelAction::clear_cache()}) {
    SCOPED_TRACE(static_cast<int>(action.kind));
    EXPECT_FALSE(
        perform_offline_action(*app_, action, static_cast<zarn_ui::doc::Document*>(nullptr)));
  }
  EXPECT_EQ(app_->model.regions.size(), 1u);
  EXPECT_EQ(app_->tiles.offline_downloads, 0u);
  EXPECT_TRUE(app_->model.status.empty());
}

TEST(OfflinePanelSpecs, ListsEachControlOnceInPanelOrder) {
  OfflinePanel panel = new_offline_panel(0);
  zarn_ui::Rect const field{100, 100, 500, 136};
  panel.search_rect = field;
  zarn_ui::Rect const card{80, 60, 520, 600};
  zarn_ui::Rect const x{480, 70, 506, 96};
  panel.targets = {
      {WINDOW, OfflinePanelAction::close()},
      {card, OfflinePanelAction::search_field()},
      {x, OfflinePanelAction::close()},
      {{100, 200, 126, 226}, OfflinePanelAction::zoom(-1)},
      {{170, 200, 196, 226}, OfflinePanelAction::zoom(1)},
      {{200, 200, 226, 226}, OfflinePanelAction::zoom(2)},
      {{100, 300, 480, 334}, OfflinePanelAction::delete_region("region:x")},
      {{100, 400, 100, 440}, OfflinePanelAction::download()}, // no area
      {{100, 400, 290, 440}, OfflinePanelAction::download()},
      {{300, 400, 480, 440}, OfflinePanelAction::download()},
      {{300, 450, 480, 490}, OfflinePanelAction::clear_cache()},
  };
  auto const specs = offline_panel_specs(panel);
  struct Want {
    char const* label;
    char const* id;
    zarn_ui::Rect rect;
  } const want[] = {
      {"Area to download", "maps.offline.search", field},
      {"Close offline maps", "maps.offline.close", WINDOW},
      {"Decrease download detail", "maps.offline.zoom-out", {100, 200, 126, 226}},
      {"Increase download detail", "maps.offline.zoom-in", {170, 200, 196, 226}},
      {"Delete downloaded area", "maps.offline.region:region:x:delete", {100, 300, 480, 334}},
      {"Download selected area", "maps.offline.download", {100, 400, 290, 440}},
      {"Clear offline map cache", "maps.offline.clear", {300, 450, 480, 490}},
  };
  ASSERT_EQ(specs.size(), std::size(want));
  for (std::size_t i = 0; i < specs.size(); ++i) {
    SCOPED_TRACE(want[i].id);
    EXPECT_EQ(specs[i].control.label, want[i].label);
    EXPECT_EQ(specs[i].control.id, want[i].id);
    EXPECT_EQ(specs[i].control.rect, want[i].rect);
    EXPECT_EQ(specs[i].control.state, STATE_NOT_APPLICABLE);
    bool const search = i == 0;
    EXPECT_EQ(specs[i].control.role, search ? ROLE_SEARCH_FIELD : ROLE_PUSH_BUTTON);
    EXPECT_EQ(specs[i].control.attributes.takes_text, search);
  }
  EXPECT_EQ(specs[4].action, OfflinePanelAction::delete_region("region:x"));

  // Without a painted field, and without any target of positive area, nothing is listed.
  panel.search_rect = zarn_ui::Rect{100, 100, 100, 136};
  for (auto& t : panel.targets) {
    t.rect = zarn_ui::Rect{t.rect.x0, t.rect.y0, t.rect.x0, t.rect.y1};
  }
  EXPECT_TRUE(offline_panel_specs(panel).empty());
}

/// The search box of an open panel, laid out, with a manual clock for the debounce.
class OfflineSearchTest : public testing::Test {
protected:
  void SetUp() override {
    panel_ = new_offline_panel(0);
    open_offline_panel(panel_, 0);
    panel_.search_rect = FIELD;
    panel_.search.set_rect(FIELD);
  }
  bool type(std::string text) {
    return offline_search_event(panel_, zarn_ui::Key{true, std::move(text), {}}, 1.0, clock_.now());
  }
  bool press(double x, double y) {
    (void)offline_search_event(panel_, zarn_ui::PointerMoved{x, y}, 1.0, clock_.now());
    return offline_search_event(
        panel_, zarn_ui::PointerButton{x, y, 0, zarn_ui::ButtonState::Pressed}, 1.0, clock_.now());
  }

  static constexpr zarn_ui::Rect FIELD{100, 100, 500, 136};
  base::ManualClock clock_;
  OfflinePanel panel_;
};

TEST_F(OfflineSearchTest, TypingArmsTheSearchAndBlankTextCancelsIt) {
  ASSERT_TRUE(type("M"));
  EXPECT_EQ(panel_.query, "M");
  EXPECT_EQ(panel_.debounce, clock_.now() + INPUT_DEBOUNCE);

  OfflinePanel blank = new_offline_panel(0);
  open_offline_panel(blank, 0);
  blank.search.set_suggestions_open({zarn_ui::widget::suggestion_new("Munich")});
  blank.debounce = clock_.now();
  panel_ = std::move(blank);
  ASSERT_TRUE(type(" "));
  ASSERT_TRUE(type(" "));
  EXPECT_EQ(panel_.query, "  ");
  EXPECT_FALSE(panel_.debounce);
  EXPECT_TRUE(panel_.search.suggestions().empty());
  EXPECT_FALSE(panel_.search.is_open());
  EXPECT_TRUE(panel_.search.editing()) << "typing goes on";
}

TEST_F(OfflineSearchTest, AChosenSuggestionBecomesTheSelectedArea) {
  AreaHit munich;
  munich.name = "Munich";
  munich.label = "Bavaria, Germany";
  AreaHit altstadt;
  altstadt.name = "Altstadt";
  panel_.hits = {munich, altstadt};
  panel_.search.set_suggestions_open(place_suggestions(panel_.hits));
  panel_.debounce = clock_.now();
  ASSERT_TRUE(type("a"));

  auto const list = panel_.search.overlay_rect();
  ASSERT_TRUE(list);
  double const second_row = list->y0 + zarn_ui::widget::Autocomplete::LIST_PADDING +
                            1.5 * zarn_ui::widget::Autocomplete::ROW_HEIGHT;
  ASSERT_TRUE(press(200, second_row));
  ASSERT_TRUE(panel_.selected);
  EXPECT_EQ(panel_.selected->name, "Altstadt");
  EXPECT_EQ(panel_.query, "Altstadt");
  EXPECT_EQ(panel_.search.text(), "Altstadt");
  EXPECT_FALSE(panel_.debounce);
  EXPECT_FALSE(panel_.search.is_open());

  // Typing again forgets the choice.
  ASSERT_TRUE(press(495, 118));
  EXPECT_TRUE(panel_.search.editing());
  ASSERT_TRUE(type("x"));
  EXPECT_FALSE(panel_.selected);
  EXPECT_EQ(panel_.query, "Altstadtx");
}

TEST_F(OfflineSearchTest, APressInTheFieldStartsEditingAndOneOutsideIsNotTaken) {
  panel_.search.close();
  ASSERT_FALSE(panel_.search.editing());
  EXPECT_FALSE(press(50, 50));
  EXPECT_FALSE(panel_.search.editing());
  EXPECT_TRUE(press(300, 118));
  EXPECT_TRUE(panel_.search.editing());
}

} // namespace
} // namespace maps
