#include "platform/launch/launch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <stdlib.h>

#include <SDL.h>

#include "platform/launch/launch_args.h"
#include "platform/launch/state.h"
#include "platform/scene/scene.h"
#include "platform/theme/theme.h"

namespace zarn_ui::launch {
namespace {

std::vector<std::string> const SWITCHES = {"--empty", "--search"};
std::vector<std::string> const OPTIONS = {"--panel"};

base::Result<LaunchArgs> parse(std::vector<char const*> args) {
  return parse_launch_args(args, SWITCHES, OPTIONS);
}

TEST(LaunchArgs, ParsesDeclaredSwitchesOptionsAndOwnSettings) {
  auto a = parse({"--empty", "--panel", "transit", "--screenshot", "/tmp/x.png", "--size",
                  "640x480", "--scale=2"});
  ASSERT_TRUE(a) << a.error();
  EXPECT_TRUE(a->has("--empty"));
  EXPECT_FALSE(a->has("--search"));
  EXPECT_EQ(a->value("--panel"), "transit");
  EXPECT_EQ(a->screenshot, std::filesystem::path("/tmp/x.png"));
  EXPECT_EQ(a->size, (std::pair<std::uint32_t, std::uint32_t>{640, 480}));
  EXPECT_EQ(a->scale, 2.0f);
  EXPECT_TRUE(a->any_declared());

  auto b = parse({"--panel=  Directions "});
  ASSERT_TRUE(b);
  EXPECT_EQ(b->value("--panel"), "  Directions ");
  EXPECT_FALSE(b->value("--nothing"));

  auto shot_only = parse({"--screenshot", "out.png"});
  ASSERT_TRUE(shot_only);
  EXPECT_FALSE(shot_only->any_declared());
}

TEST(LaunchArgs, AStartActionTakesAnOptionalArgumentAndIsNoDemoState) {
  struct Case {
    std::vector<char const*> args;
    StartAction action;
    bool demo;
  } const cases[] = {
      {{"--action", "maps.search", "\"museum\""}, {"maps.search", "\"museum\""}, false},
      {{"--action=maps.toggle-traffic"}, {"maps.toggle-traffic", std::nullopt}, false},
      {{"--action", "maps.locate", "--empty"}, {"maps.locate", std::nullopt}, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.args.back());
    auto const a = parse(c.args);
    ASSERT_TRUE(a) << a.error();
    EXPECT_EQ(a->action, c.action);
    EXPECT_EQ(a->any_declared(), c.demo);
  }
}

TEST(LaunchArgs, RejectsWhatIsNotDeclaredOrMalformed) {
  struct Case {
    std::vector<char const*> args;
    char const* error_part;
  } const cases[] = {
      {{"--unknown"}, "unknown option '--unknown'"},
      {{"--panel"}, "needs a value"},
      {{"--empty=yes"}, "takes no value"},
      {{"stray"}, "unexpected argument"},
      {{"--"}, "unexpected argument"},
      {{"--size", "0x480"}, "--size"},
      {{"--size", "16385x10"}, "--size"},
      {{"--size", "640*480"}, "--size"},
      {{"--size", "640x"}, "--size"},
      {{"--size", "+640x480"}, "--size"},
      {{"--scale", "0.2"}, "--scale"},
      {{"--scale", "8.5"}, "--scale"},
      {{"--scale", "nan"}, "--scale"},
      {{"--scale", "inf"}, "--scale"},
      {{"--scale", "2,5"}, "--scale"},
      {{"--screenshot"}, "needs a value"},
      {{"--screenshot="}, "needs a path"},
      {{"--action"}, "needs a value"},
      {{"--action", "--empty"}, "needs an action id"},
      {{"--action", "maps.search", "\"x\"", "stray"}, "unexpected argument"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "" : c.args[0]);
    auto r = parse(c.args);
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().find(c.error_part), std::string::npos) << r.error();
  }
  EXPECT_TRUE(parse({"--size", "16384x1", "--scale", "0.25"}));
  EXPECT_TRUE(parse({"--scale", "8"}));
}

TEST(RunOrExit, UsageErrorsExitWithStatusTwo) {
  LaunchSpec spec;
  spec.app_id = "test.zarn.launch";
  spec.switches = SWITCHES;
  char const* argv[] = {"app", "--bogus"};
  testing::internal::CaptureStderr();
  EXPECT_EQ(run_or_exit(spec, 2, argv), 2);
  std::string const err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("unknown option '--bogus'"), std::string::npos);
  EXPECT_NE(err.find("usage:"), std::string::npos);
}

TEST(RunOrExit, HelpAndVersionPrintOnStdoutAndExitZeroWithoutOpeningAWindow) {
  LaunchSpec spec;
  spec.app_id = "test.zarn.launch";
  spec.name = "Launch";
  spec.version = "1.2.3";
  spec.switches = SWITCHES;
  spec.options = OPTIONS;
  bool built = false;
  spec.create_app = [&built] {
    built = true;
    return AppBox{};
  };
  struct Case {
    std::vector<char const*> argv;
    char const* out_part;
  } const cases[] = {
      {{"/usr/bin/app", "--help"}, "usage: app [switches] [--panel VALUE]"},
      {{"app", "-h"}, "--help | --version"},
      {{"app", "--empty", "--help", "--bogus"}, "switches: --empty --search"},
      {{"app", "--version"}, "Launch 1.2.3\n"},
      {{"app", "--version", "--screenshot"}, "Launch 1.2.3\n"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.argv[1]);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_or_exit(spec, static_cast<int>(c.argv.size()), c.argv.data()), 0);
    std::string const out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(out.find(c.out_part), std::string::npos) << out;
  }
  EXPECT_FALSE(built);
}

TEST(RunOrExit, ScreenshotCallbackGetsTheArgumentsAndItsErrorIsReported) {
  LaunchSpec spec;
  spec.switches = SWITCHES;
  std::optional<LaunchArgs> seen;
  spec.render_shot = [&](LaunchResult& out, LaunchArgs const& args) {
    seen = args;
    out = tl::unexpected(LaunchError::failed("atomically publish png: disk full"));
  };
  char const* argv[] = {"app", "--search", "--screenshot", "/tmp/never.png"};
  testing::internal::CaptureStderr();
  EXPECT_EQ(run_or_exit(spec, 4, argv), 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("atomically publish png: disk full"),
            std::string::npos);
  ASSERT_TRUE(seen);
  EXPECT_TRUE(seen->has("--search"));
}

// A widget that counts its frames and paints its rectangle.
struct Counts {
  int ticks = 0;
  int draws = 0;
  Rect rect;
};

class CountingWidget final : public widget::Widget {
public:
  explicit CountingWidget(Counts& counts) : counts_(counts) {}
  Counts& counts_;
  std::string_view type_name() const override { return "CountingWidget"; }
  void tick(State& state) override {
    ++counts_.ticks;
    (void)state.document().put(doc::ObjId::root(), "ticks",
                               doc::ScalarValue{std::int64_t{counts_.ticks}});
  }
  layout::NodeId build_layout(layout::LayoutTree& tree, Theme const&,
                              widget::NodeWidgetMap& map) override {
    auto node = *tree.new_leaf({});
    map.insert_or_assign(node, this);
    return node;
  }
  void apply_layout(layout::LayoutTree const& tree, Point origin, layout::NodeId node) override {
    auto const l = *tree.layout(node);
    counts_.rect =
        Rect{origin.x + l.x, origin.y + l.y, origin.x + l.x + l.width, origin.y + l.y + l.height};
  }
  void draw(Scene& scene, Affine transform, widget::DrawCtx const& ctx) override {
    ++counts_.draws;
    scene.fill(FillRule::NonZero, transform, ctx.theme.accent, counts_.rect);
  }
};

TEST(RunWindow, FrameDriverRunsUnderTheDummyVideoDriverAndClosesCleanly) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  Counts counts;
  LaunchSpec spec;
  spec.app_id = "test.zarn.window";
  spec.create_app = [&] { return std::make_unique<CountingWidget>(counts); };
  spec.default_window_size = [] { return std::pair<std::int32_t, std::int32_t>{320, 200}; };
  bool registered = false;
  spec.register_actions = [&](App&) { registered = true; };
  // No opener: the window runs on a memory-only document.
  auto const result = run_window(spec, LaunchArgs{}, WindowOptions{5});
  ASSERT_TRUE(result) << result.error().display();
  EXPECT_TRUE(registered);
  EXPECT_EQ(counts.ticks, 5);
  EXPECT_EQ(counts.draws, 5);
  EXPECT_EQ(counts.rect, (Rect{0, 0, 320, 200}));
}

// What a frame saw: the layout's rectangle, the theme's text scale, and where a pointer move to
// window point (100, 50), sent on the first tick, landed in logical pixels.
struct Seen {
  Rect rect;
  float text_scale = 0.0f;
  std::optional<Point> pointer;
};

class PointerProbe final : public widget::Widget {
public:
  explicit PointerProbe(Seen& seen) : seen_(seen) {}
  std::string_view type_name() const override { return "PointerProbe"; }
  void tick(State&) override {
    if (!sent_) {
      SDL_Event e{};
      e.type = SDL_MOUSEMOTION;
      e.motion.x = 100;
      e.motion.y = 50;
      sent_ = SDL_PushEvent(&e) == 1;
    }
  }
  layout::NodeId build_layout(layout::LayoutTree& tree, Theme const& theme,
                              widget::NodeWidgetMap&) override {
    seen_.text_scale = theme.text_scale;
    return *tree.new_leaf({});
  }
  void apply_layout(layout::LayoutTree const& tree, Point origin, layout::NodeId node) override {
    auto const l = *tree.layout(node);
    seen_.rect = Rect::from_origin_size({origin.x + l.x, origin.y + l.y}, {l.width, l.height});
  }
  void draw(Scene&, Affine, widget::DrawCtx const&) override {}
  void handle_event(Event const& event, Modifiers, State*, double scale, bool&) override {
    if (auto const* m = std::get_if<PointerMoved>(&event)) {
      seen_.pointer = Point{m->x / scale, m->y / scale};
    }
  }

private:
  Seen& seen_;
  bool sent_ = false;
};

TEST(RunWindow, TheUiScaleEnlargesLayoutAndPointerTogether) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  struct Case {
    std::optional<float> scale;
    Rect layout;
    Point pointer;
  } const cases[] = {
      {std::nullopt, {0, 0, 320, 200}, {100, 50}},
      {2.0f, {0, 0, 160, 100}, {50, 25}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.scale.value_or(1.0f));
    Seen seen;
    LaunchSpec spec;
    spec.app_id = "test.zarn.window";
    spec.create_app = [&] { return std::make_unique<PointerProbe>(seen); };
    spec.default_window_size = [] { return std::pair<std::int32_t, std::int32_t>{320, 200}; };
    LaunchArgs args;
    args.scale = c.scale;
    auto const result = run_window(spec, args, WindowOptions{3});
    ASSERT_TRUE(result) << result.error().display();
    EXPECT_EQ(seen.rect, c.layout);
    EXPECT_EQ(seen.text_scale, 1.0f) << "text grows with the frame, not on its own";
    ASSERT_TRUE(seen.pointer);
    EXPECT_EQ(*seen.pointer, c.pointer);
  }
}

TEST(RunWindow, AStartFromLaunchArgumentsNeverOpensTheUsersDocument) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  Counts counts;
  bool opened = false;
  bool built_from_args = false;
  LaunchSpec spec;
  spec.app_id = "test.zarn.window";
  spec.switches = SWITCHES;
  spec.create_app_from_args = [&](LaunchArgs const&) -> tl::expected<AppBox, LaunchError> {
    built_from_args = true;
    return std::make_unique<CountingWidget>(counts);
  };
  spec.persist_open = [&](std::string_view) {
    opened = true;
    return persist::Persistence::memory_only();
  };
  LaunchArgs args;
  args.switches.insert("--empty");
  auto const result = run_window(spec, args, WindowOptions{1});
  ASSERT_TRUE(result) << result.error().display();
  EXPECT_TRUE(built_from_args);
  EXPECT_FALSE(opened);
}

// Lays out fine once, then names a node that is not in the tree.
class FailingLayoutWidget final : public widget::Widget {
public:
  std::string_view type_name() const override { return "FailingLayoutWidget"; }
  void tick(State& state) override {
    (void)state.document().put(doc::ObjId::root(), "edited", doc::ScalarValue{true});
  }
  layout::NodeId build_layout(layout::LayoutTree& tree, Theme const&,
                              widget::NodeWidgetMap&) override {
    auto node = *tree.new_leaf({});
    return ++layouts_ == 1 ? node : layout::NodeId{node.value + 100};
  }
  void apply_layout(layout::LayoutTree const&, Point, layout::NodeId) override {}
  void draw(Scene&, Affine, widget::DrawCtx const&) override {}

private:
  int layouts_ = 0;
};

TEST(RunWindow, AFailedLayoutStillSavesTheDocument) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  char tmpl[] = "/tmp/launch-test-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  std::filesystem::path const dir = tmpl;
  LaunchSpec spec;
  spec.app_id = "test.zarn.window";
  spec.create_app = [] { return std::make_unique<FailingLayoutWidget>(); };
  spec.persist_open = [&](std::string_view) {
    return persist::Persistence::open_at(persist::Options{dir, {}, {}, {}});
  };
  auto const result = run_window(spec, LaunchArgs{}, WindowOptions{5});
  ASSERT_FALSE(result);
  EXPECT_TRUE(result.error().display().starts_with("layout failed: unknown node "))
      << result.error().display();

  auto reopened = persist::Persistence::open_at(persist::Options{dir, {}, {}, {}});
  auto edited = reopened.document().get(doc::ObjId::root(), "edited");
  ASSERT_TRUE(edited);
  EXPECT_TRUE(edited->has_value());
  std::filesystem::remove_all(dir);
}

} // namespace
} // namespace zarn_ui::launch
