// The window loop sleeps: an idle window draws its first frame and then nothing, a deadline
// brings exactly one frame (presented only when it changed something on screen), an animation
// draws until it stops, and an answer queued by another thread wakes the sleeping loop at once;
// an edit is written on the loop's own save deadline, and SIGTERM or SIGINT end the run with a
// final save.

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "base/channel.h"
#include "platform/launch/launch.h"
#include "platform/launch/state.h"
#include "platform/render/atomic_file.h"
#include "platform/scene/scene.h"

namespace zarn_ui::launch {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

/// A widget whose deadline, animation and per-frame work the test sets.
class ScriptedWidget final : public widget::Widget {
public:
  std::optional<base::Instant> deadline;
  int animated_frames = 0; // frames still to draw at display rate
  bool repaints = true;    // each frame draws something new; else every frame looks the same
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
  void draw(Scene& scene, Affine, widget::DrawCtx const&) override {
    if (animated_frames > 0) {
      --animated_frames;
    }
    if (repaints) {
      auto const shade = static_cast<std::uint8_t>(ticks * 40);
      scene.fill(FillRule::NonZero, Affine::identity(), Color::from_rgba8(shade, 0, 0),
                 Rect{4, 4, 12, 12});
    }
  }
  bool needs_frame() const override { return animated_frames > 0; }
  std::optional<base::Instant> next_deadline() const override { return deadline; }
};

struct Frames {
  std::uint64_t drawn = 0;
  std::uint64_t presented = 0;
};

/// Runs `widget` in a window for `duration` (or until it quits) and returns its frames.
Frames frames_in(std::unique_ptr<ScriptedWidget> widget, std::chrono::milliseconds duration) {
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
  return {stats.drawn, stats.frames};
}

TEST(WindowLoop, DrawsOnlyWhatSomethingAsksFor) {
  struct Case {
    char const* name;
    std::optional<std::chrono::milliseconds> deadline_in;
    int animated_frames;
    bool repaints;
    std::uint64_t drawn;
    std::uint64_t presented;
  } const cases[] = {
      // The old loop woke twice a second and drew each time.
      {"idle", std::nullopt, 0, true, 1, 1},
      {"a deadline", 300ms, 0, true, 2, 2},
      // A back-off retry that failed again, say: the frame is drawn and sends nothing.
      {"a deadline that changes nothing on screen", 300ms, 0, false, 2, 1},
      {"an animation of three frames", std::nullopt, 3, true, 3, 3},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto widget = std::make_unique<ScriptedWidget>();
    if (c.deadline_in) {
      widget->deadline = Clock::now() + *c.deadline_in;
    }
    widget->animated_frames = c.animated_frames;
    widget->repaints = c.repaints;
    Frames const frames = frames_in(std::move(widget), 1300ms);
    EXPECT_EQ(frames.drawn, c.drawn);
    EXPECT_EQ(frames.presented, c.presented);
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
  Frames const frames = frames_in(std::move(widget), 20s);
  sender.join();
  EXPECT_EQ(received, 7);
  EXPECT_EQ(frames.drawn, 2u);
}

/// A folder of its own for a persisted document, removed at the end.
struct TempDir {
  std::filesystem::path path;
  TempDir() {
    char tmpl[] = "/tmp/window-loop-XXXXXX";
    path = ::mkdtemp(tmpl) ? std::filesystem::path(tmpl) : std::filesystem::path();
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  TempDir(TempDir const&) = delete;
  TempDir& operator=(TempDir const&) = delete;
};

/// Edits the document in its first tick, then calls `after_edit`; animates for ever when busy.
class EditingWidget final : public widget::Widget {
public:
  bool busy = false;
  std::function<void()> after_edit;

  std::string_view type_name() const override { return "EditingWidget"; }
  void tick(State& state) override {
    if (ticks_++ == 0) {
      (void)state.document().put(doc::ObjId::root(), "edited", doc::ScalarValue{true});
      if (after_edit) {
        after_edit();
      }
    }
  }
  layout::NodeId build_layout(layout::LayoutTree& tree, Theme const&,
                              widget::NodeWidgetMap&) override {
    return *tree.new_leaf({});
  }
  void apply_layout(layout::LayoutTree const&, Point, layout::NodeId) override {}
  void draw(Scene&, Affine, widget::DrawCtx const&) override {}
  bool needs_frame() const override { return busy; }

private:
  int ticks_ = 0;
};

/// Runs `widget` for at most 20 s on a persisted document in `dir`; `on_write` is called on
/// the UI thread before each write. Answers how long the run took.
Clock::duration run_persisted(std::unique_ptr<EditingWidget> widget,
                              std::filesystem::path const& dir, std::function<void()> on_write) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  LaunchSpec application;
  application.app_id = "test.zarn.loop";
  application.default_window_size = [] { return std::pair<std::int32_t, std::int32_t>{64, 64}; };
  auto held = std::make_shared<std::unique_ptr<EditingWidget>>(std::move(widget));
  application.create_app = [held] { return AppBox(std::move(*held)); };
  application.persist_open = [dir, on_write](std::string_view) {
    persist::Options options{dir, {}, {}, {}};
    options.write = [on_write](std::filesystem::path const& path,
                               std::span<std::uint8_t const> bytes) {
      if (on_write) {
        on_write();
      }
      return atomic_file::write_creating_parent(path, bytes);
    };
    return persist::Persistence::open_at(std::move(options));
  };
  auto const started = Clock::now();
  auto const result = run_window(application, LaunchArgs{}, WindowOptions{.run_for = 20s});
  EXPECT_TRUE(result) << result.error().display();
  return Clock::now() - started;
}

bool holds_edit(std::filesystem::path const& dir) {
  auto p = persist::Persistence::open_at(persist::Options{dir, {}, {}, {}});
  auto v = p.document().get(doc::ObjId::root(), "edited");
  return v && v->has_value();
}

TEST(WindowLoop, AChangeMadeWhileIdleIsWrittenOnTheSaveDeadline) {
  TempDir dir;
  std::optional<Clock::time_point> written;
  auto const on_write = [&written] {
    if (!written) {
      written = Clock::now();
      SDL_Event quit{};
      quit.type = SDL_QUIT;
      SDL_PushEvent(&quit);
    }
  };
  auto const started = Clock::now();
  // Nothing wakes the loop after the edit: without a save deadline of its own it sleeps
  // through the whole run and writes only at the end.
  run_persisted(std::make_unique<EditingWidget>(), dir.path, on_write);
  ASSERT_TRUE(written);
  EXPECT_LT(*written - started, 10s);
  EXPECT_TRUE(holds_edit(dir.path));
}

TEST(WindowLoop, TermAndIntEndTheWindowWithAFinalSave) {
  struct Case {
    char const* name;
    int signal;
    bool busy;
  } const cases[] = {
      {"SIGTERM while idle", SIGTERM, false},
      {"SIGINT while idle", SIGINT, false},
      {"SIGTERM while animating", SIGTERM, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    auto widget = std::make_unique<EditingWidget>();
    widget->busy = c.busy;
    std::thread sender;
    // Sent before the save deadline: only the save at exit can keep the edit.
    widget->after_edit = [&sender, sig = c.signal] {
      sender = std::thread([sig] { ::kill(::getpid(), sig); });
    };
    auto const took = run_persisted(std::move(widget), dir.path, nullptr);
    if (sender.joinable()) {
      sender.join();
    }
    EXPECT_LT(took, 10s) << "the run ended at the signal, not at its time limit";
    EXPECT_TRUE(holds_edit(dir.path));
  }
}

} // namespace
} // namespace zarn_ui::launch
