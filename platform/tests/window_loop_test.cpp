// The window loop sleeps: an idle window draws its first frame and then nothing, a deadline
// brings exactly one frame, an animation draws until it stops, and an answer queued by another
// thread wakes the sleeping loop at once.

#include <stdlib.h>

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "base/channel.h"
#include "platform/launch/launch.h"
#include "platform/launch/state.h"

namespace zarn_ui::launch {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

/// A widget whose deadline, animation and per-frame work the test sets.
class ScriptedWidget final : public widget::Widget {
public:
  std::optional<base::Instant> deadline;
  int animated_frames = 0; // frames still to draw at display rate
  std::function<void()> on_tick;
  int ticks = 0;

  std::string_view type_name() const override { return "ScriptedWidget"; }
  void tick(State&) override {
    ++ticks;
    if (deadline && *deadline <= Clock::now()) {
      deadline.reset();
    }
    if (on_tick) {
      on_tick();
    }
  }
  layout::NodeId build_layout(layout::LayoutTree& tree, Theme const&,
                              widget::NodeWidgetMap&) override {
    return *tree.new_leaf({});
  }
  void apply_layout(layout::LayoutTree const&, Point, layout::NodeId) override {}
  void draw(Scene&, Affine, widget::DrawCtx const&) override {
    if (animated_frames > 0) {
      --animated_frames;
    }
  }
  bool needs_frame() const override { return animated_frames > 0; }
  std::optional<base::Instant> next_deadline() const override { return deadline; }
};

/// Runs `widget` in a window for `duration` (or until it quits) and returns the frames drawn.
std::uint64_t frames_in(std::unique_ptr<ScriptedWidget> widget,
                        std::chrono::milliseconds duration) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  LaunchSpec application;
  application.app_id = "test.zarn.loop";
  application.default_window_size = [] { return std::pair<std::int32_t, std::int32_t>{64, 64}; };
  auto held = std::make_shared<std::unique_ptr<ScriptedWidget>>(std::move(widget));
  application.create_app = [held] { return AppBox(std::move(*held)); };
  WindowStats stats;
  auto const result =
      run_window(application, LaunchArgs{}, WindowOptions{.run_for = duration, .stats = &stats});
  EXPECT_TRUE(result) << result.error().display();
  return stats.frames;
}

TEST(WindowLoop, DrawsOnlyWhatSomethingAsksFor) {
  struct Case {
    char const* name;
    std::optional<std::chrono::milliseconds> deadline_in;
    int animated_frames;
    std::uint64_t frames;
  } const cases[] = {
      // The old loop woke twice a second and drew each time.
      {"idle", std::nullopt, 0, 1},
      {"a deadline", 300ms, 0, 2},
      {"an animation of three frames", std::nullopt, 3, 3},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto widget = std::make_unique<ScriptedWidget>();
    if (c.deadline_in) {
      widget->deadline = Clock::now() + *c.deadline_in;
    }
    widget->animated_frames = c.animated_frames;
    EXPECT_EQ(frames_in(std::move(widget), 1300ms), c.frames);
  }
}

TEST(WindowLoop, AnAnswerFromAnotherThreadWakesTheSleepingLoop) {
  auto ends = base::channel<int>();
  auto& tx = ends.first;
  auto& rx = ends.second;
  rx.wake_ui_on_send();
  auto widget = std::make_unique<ScriptedWidget>();
  std::optional<int> received;
  std::atomic<bool> ticked{false};
  widget->on_tick = [&received, &rx, &ticked] {
    ticked = true;
    auto next = rx.try_recv();
    if (auto const* v = std::get_if<int>(&next)) {
      received = *v;
      SDL_Event quit{};
      quit.type = SDL_QUIT;
      SDL_PushEvent(&quit);
    }
  };
  std::thread sender([tx = std::move(tx), &ticked] {
    // After the first frame, however long the window took to open; the loop is asleep by then.
    while (!ticked) {
      std::this_thread::sleep_for(5ms);
    }
    std::this_thread::sleep_for(100ms);
    tx.send(7);
  });
  // Without the wake-up the loop would sleep through the whole run and never see the answer.
  std::uint64_t const frames = frames_in(std::move(widget), 20s);
  sender.join();
  EXPECT_EQ(received, 7);
  EXPECT_EQ(frames, 2u);
}

} // namespace
} // namespace zarn_ui::launch
