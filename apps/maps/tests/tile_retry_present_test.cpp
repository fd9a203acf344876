// A map whose tiles cannot be fetched, presented through the window's presenter as the window
// loop does: once the failures have settled, a back-off retry and its failed answers change
// nothing on screen and send nothing to the window.

#include <gtest/gtest.h>

#include <SDL.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include <fmt/format.h>

#include "platform/launch/window_present.h"
#include "scenario.h"
#include "tile_server.h"

namespace maps::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char const* REFUSED = "http://127.0.0.1:1";

/// The session's frames shown in a window of the dummy driver, whose surface path is the one
/// a window on X11 takes.
class PresentedSession {
public:
  explicit PresentedSession(TileServer server)
      : root_(fs::path(testing::TempDir()) / fmt::format("maps-tile-retry-{}", ::getpid())) {
    fs::remove_all(root_);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    sdl_ = SDL_Init(SDL_INIT_VIDEO) == 0;
    window_ = SDL_CreateWindow("t", 0, 0, 1280, 800, SDL_WINDOW_ALLOW_HIGHDPI);
    presenter_ = std::make_unique<zarn_ui::launch::WindowPresenter>(window_);
    MapsApp& app = session.app();
    app.live = true;
    // Nothing listens on port 1: the places near the view fail at once, without a name lookup.
    app.services = ServiceUrls{REFUSED, REFUSED, REFUSED, REFUSED};
    // On the session's clock: a back-off ends only when the test moves time on.
    app.tiles = light_tile_cache(root_, std::move(server), session.clock);
  }
  ~PresentedSession() {
    presenter_.reset();
    if (window_) {
      SDL_DestroyWindow(window_);
    }
    if (sdl_) {
      SDL_Quit();
    }
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  PresentedSession(PresentedSession const&) = delete;
  PresentedSession& operator=(PresentedSession const&) = delete;

  /// One frame, presented; the pixels it sent to the window.
  long frame() {
    session.frame();
    auto const sent = presenter_->present(session.scene, 1.0, zarn_ui::Theme::light().surface);
    EXPECT_TRUE(sent) << sent.error();
    long area = 0;
    for (auto const& r : sent.value_or(std::vector<zarn_ui::render::PixelRect>{})) {
      area += long{r.width} * r.height;
    }
    return area;
  }
  /// Frames until `done` holds (the worker answers in its own time); bounded, so a fault fails
  /// instead of hanging. The pixels the frames sent, in all.
  long frames_until(std::function<bool()> const& done, bool& reached) {
    long area = 0;
    for (int i = 0; i < 3000; ++i) {
      area += frame();
      if (done()) {
        reached = true;
        return area;
      }
      std::this_thread::sleep_for(2ms);
    }
    reached = false;
    return area;
  }
  /// The view's tiles failed and back off, and nothing else is under way; the places near the
  /// view, asked for once the map stood still, are asked for on the way.
  bool settled() {
    MapsApp& app = session.app();
    if (app.map_idle_deadline) {
      session.clock.set(*app.map_idle_deadline);
    }
    return !app.is_busy() && !app.tiles.backoff.empty();
  }

  Session session{{"--empty"}, 1280, 800};

private:
  fs::path root_;
  bool sdl_ = false;
  SDL_Window* window_ = nullptr;
  std::unique_ptr<zarn_ui::launch::WindowPresenter> presenter_;
};

TEST(TileRetry, AFailedRetryChangesNothingOnScreenAndPresentsNothing) {
  TileHttp failing;
  failing.answer_all(500, "Internal Server Error");
  struct Case {
    char const* name;
    TileServer server;
  } const cases[] = {
      {"the tile server answers errors", failing.server()},
      {"the network refuses", tile_server(REFUSED)},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    PresentedSession p(c.server);
    ASSERT_GT(p.frame(), 0) << "the first frame is sent whole";
    bool reached = false;
    p.frames_until([&] { return p.settled(); }, reached);
    ASSERT_TRUE(reached) << "the view's tiles failed and back off";
    EXPECT_NE(p.session.app().model.status, "") << "the places' failure was told";
    EXPECT_EQ(p.frame(), 0) << "a settled frame sends nothing";

    for (int retry = 0; retry < 3; ++retry) {
      SCOPED_TRACE(retry);
      auto const& tiles = p.session.app().tiles;
      auto const due = tiles.next_retry();
      ASSERT_TRUE(due) << "the view waits on its tiles' back-off";
      p.session.clock.set(*due);
      EXPECT_EQ(p.frame(), 0) << "the frame that asks again";
      ASSERT_FALSE(tiles.pending.empty()) << "the back-off ended and the tiles were asked for";
      EXPECT_EQ(p.frames_until([&] { return p.settled(); }, reached), 0) << "the failed answers";
      ASSERT_TRUE(reached);
    }
  }
}

} // namespace
} // namespace maps::test
