// Offline-area sessions through the event path: the panel opened with its key, its buttons
// pressed, the area search typed, with a tile server and a geocoder on 127.0.0.1.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <fmt/format.h>
#include <unistd.h>

#include "doc/load.h"
#include "net/service_pause.h"
#include "offline_panel/download_selection.h"
#include "scenario.h"
#include "tile_server.h"
#include "tiles/disk_cache.h"

namespace maps::test {
namespace {

namespace fs = std::filesystem;
using Kind = OfflinePanelAction::Kind;

/// A session on the empty start whose tiles come from a local tile server, whose services
/// are a local geocoder, and whose panel downloads one zoom level.
class OfflineSession : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = fs::path(testing::TempDir()) /
            fmt::format("maps-offline-scenario-{}-{}", ::getpid(),
                        testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    session_ = std::make_unique<Session>(std::vector<std::string>{"--empty"}, 1280, 800);
    MapsApp& app = session_->app();
    app.live = true;
    app.services = ServiceUrls{geocoder_.base_url(), geocoder_.base_url(), geocoder_.base_url(),
                               geocoder_.base_url()};
    // On the session's clock: the map's back-off from a failed tile ends only when the test
    // moves time on, so a slow run never re-asks for it while a download waits on that tile.
    app.tiles = light_tile_cache(root_, tiles_.server(), session_->clock);
    app.offline_panel.detail = 0;
  }
  void TearDown() override {
    session_.reset();
    // The app's detached tile worker may still be storing a tile it was fetching.
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  Session& s() { return *session_; }

  void open_panel() {
    s().type("m");
    ASSERT_TRUE(s().app().offline_panel.open);
  }
  /// The centre of the panel's last painted target of this kind.
  std::optional<zarn_ui::Point> target(Kind kind) {
    auto const& targets = s().app().offline_panel.targets;
    for (auto it = targets.rbegin(); it != targets.rend(); ++it) {
      if (it->action.kind == kind) {
        return it->rect.center();
      }
    }
    return std::nullopt;
  }
  /// Frames until `done` holds; bounded, so a fault fails instead of hanging.
  bool frames_until(std::function<bool()> const& done) {
    for (int i = 0; i < 5000; ++i) {
      s().frame();
      if (done()) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }
  bool download_done() { return s().app().tiles.offline_download_complete(); }
  /// The tiles the panel's Download would fetch now.
  std::vector<TileKey> view_tiles() {
    MapsApp& app = s().app();
    DownloadSelection const sel = download_selection(app.offline_panel, app.viewport_bounds(),
                                                     app.model.zoom, app.window_rect());
    return tiles_in_box(sel.box, sel.z0, sel.z1);
  }
  std::vector<DownloadedRegion> stored_regions() {
    auto const model = load_model_from_doc(s().doc());
    return model ? model->regions : std::vector<DownloadedRegion>{};
  }

  fs::path root_;
  TileHttp tiles_;
  ScriptedServer geocoder_;
  std::unique_ptr<Session> session_;
};

TEST_F(OfflineSession, ADownloadWhoseTilesAllFailIsNotRecorded) {
  tiles_.answer_all(500, "Internal Server Error");
  open_panel();
  std::size_t const n = view_tiles().size();
  ASSERT_GT(n, 0u);
  auto const download = target(Kind::Download);
  ASSERT_TRUE(download);
  s().click(*download);
  ASSERT_TRUE(frames_until([&] { return download_done(); }));
  s().frame();

  std::string const failed =
      fmt::format("Offline download failed: none of the {} tiles could be fetched", n);
  EXPECT_EQ(s().app().model.status, failed);
  EXPECT_TRUE(s().painted(fmt::format("None of the {} tiles could be fetched", n)));
  EXPECT_TRUE(s().app().model.regions.empty());
  EXPECT_TRUE(stored_regions().empty()) << "a restart would list it";
}

TEST_F(OfflineSession, APartialDownloadSaysWhatIsMissingAndRetriesIt) {
  // Answered so before the first frame: the map's own loads of these tiles fail alike.
  std::vector<TileKey> const keys = view_tiles();
  ASSERT_GE(keys.size(), 3u);
  std::size_t const n = keys.size();
  for (TileKey const& key : {keys[0], keys[2]}) {
    tiles_.answer(fmt::format("/light_nolabels/{}", tile_cache_path(key)), 404, "");
  }
  open_panel();
  s().click(*target(Kind::Download));
  ASSERT_TRUE(frames_until([&] { return download_done(); }));
  s().frame();

  EXPECT_EQ(s().app().model.status,
            fmt::format("Offline area incomplete: 2 of {} tiles missing", n));
  EXPECT_TRUE(s().painted(fmt::format("Downloaded {} of {} tiles \xC2\xB7 2 missing", n - 2, n)));
  ASSERT_EQ(s().app().model.regions.size(), 1u);
  DownloadedRegion const region = s().app().model.regions[0];
  EXPECT_EQ(region.tiles, n - 2) << "the row counts the tiles it has";
  ASSERT_EQ(stored_regions().size(), 1u);
  // Listed as incomplete, with a Retry of its own; the warning stands in the pill.
  std::string const zooms = fmt::format("z{}\xE2\x80\x93z{} \xC2\xB7 ", region.z0, region.z1);
  EXPECT_TRUE(s().painted(fmt::format("{}{} of {} tiles \xC2\xB7 incomplete", zooms, n - 2, n)));
  EXPECT_FALSE(s().painted(fmt::format("{}{} tiles", zooms, n - 2)));
  auto const& targets = s().app().offline_panel.targets;
  EXPECT_EQ(std::count_if(targets.begin(), targets.end(),
                          [](auto const& t) { return t.action.kind == Kind::RetryMissing; }),
            2);
  EXPECT_TRUE(s().painted(s().app().model.status));

  // The server is back: the retry asks for the two missing tiles only.
  tiles_.forget_answers();
  auto const retry = target(Kind::RetryMissing);
  ASSERT_TRUE(retry) << "no retry offered";
  EXPECT_TRUE(s().painted("Retry"));
  s().click(*retry);
  EXPECT_EQ(s().app().tiles.offline_total, 2u);
  ASSERT_TRUE(frames_until([&] { return download_done(); }));
  s().frame();

  EXPECT_EQ(s().app().model.status, fmt::format("Offline area ready ({} tiles)", n));
  ASSERT_EQ(s().app().model.regions.size(), 1u);
  EXPECT_EQ(s().app().model.regions[0].tiles, n);
  EXPECT_EQ(stored_regions().at(0).tiles, n);
  EXPECT_FALSE(target(Kind::RetryMissing)) << "nothing is missing any more";
  EXPECT_TRUE(s().painted(fmt::format("{}{} tiles", zooms, n)));
  for (TileKey const& key : keys) {
    EXPECT_TRUE(fs::exists(root_ / "light" / tile_cache_path(key)));
  }
}

TEST_F(OfflineSession, TheAreaSearchSaysItIsSearchingThenShowsItsOutcome) {
  struct Case {
    char const* name;
    int status;
    std::string body;
    std::size_t suggestions;
    std::string note; // painted where the hint was
  };
  Case const cases[] = {
      {"matches", 200, read_fixture("nominatim_search.json"), 3, ""},
      {"failure", 500, "oops", 0, "Search failed: HTTP 500 Internal Server Error"},
      {"nothing found", 200, "[]", 0, "No places found for \xE2\x80\x9CInnsbruck\xE2\x80\x9D"},
  };
  open_panel();
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    geocoder_.answer(c.status, c.body);
    s().key(zarn_ui::NamedKey::Escape);
    open_panel();
    s().type("Innsbruck");
    s().wait(std::chrono::milliseconds(300));
    EXPECT_TRUE(s().painted("Searching\xE2\x80\xA6"));
    ASSERT_TRUE(frames_until([&] { return s().app().jobs_in_flight == 0; }));
    s().frame();
    EXPECT_FALSE(s().painted("Searching\xE2\x80\xA6"));
    EXPECT_EQ(s().app().offline_panel.search.suggestions().size(), c.suggestions);
    EXPECT_EQ(s().app().offline_panel.search_note, c.note);
    if (!c.note.empty()) {
      EXPECT_TRUE(s().painted(c.note));
    }
  }
}

TEST_F(OfflineSession, ATileServerAskingForAPauseIsLeftAloneAndTheStatusSaysUntilWhen) {
  tiles_.answer_all(429, "");
  tiles_.answer_header("Retry-After", "300");
  s().wait(std::chrono::milliseconds(10));
  ASSERT_TRUE(frames_until(
      [&] { return s().app().tiles.server_pause.has_value() && s().app().tiles.pending.empty(); }));
  EXPECT_EQ(s().app().model.status,
            "Map imagery paused: " + service_busy_text(*s().app().tiles.server_pause));
  s().frame();
  EXPECT_TRUE(s().painted(s().app().model.status)) << "the pill tells the user";
  // Panning brings new tiles into view; the server is not asked for them.
  int const hits = tiles_.light_hits();
  s().drag({900, 400}, {500, 300});
  for (int i = 0; i < 20; ++i) {
    s().wait(std::chrono::seconds(10));
  }
  EXPECT_EQ(tiles_.light_hits(), hits);
  forget_service_pauses();
}

// The demonstration fetches no tiles: its download says so instead of reporting success.
TEST(OfflineDemoSession, DownloadingTheViewSaysDownloadsAreOff) {
  Session s({}, 1280, 800);
  s.type("m");
  ASSERT_TRUE(s.app().offline_panel.open);
  std::optional<zarn_ui::Point> download;
  for (auto const& t : s.app().offline_panel.targets) {
    if (t.action.kind == Kind::Download) {
      download = t.rect.center();
    }
  }
  ASSERT_TRUE(download);
  s.click(*download);
  s.frame();
  EXPECT_EQ(s.app().model.status, "Downloads are off in the demonstration");
  EXPECT_TRUE(s.painted("Downloads are off in the demonstration")) << "the pill shows it";
  EXPECT_TRUE(s.app().model.regions.empty());
  EXPECT_EQ(s.app().tiles.offline_total, 0u);
}

} // namespace
} // namespace maps::test
