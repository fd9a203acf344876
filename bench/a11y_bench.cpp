// Per-frame cost of the accessibility bridge while a client listens: the application's tree is
// built, flattened into exported objects and compared with the previous frame's. The goal is at
// most 0.5 ms a frame; with nobody listening the bridge does no work at all. Measured on the
// search demo (suggestion rows, side panel, map controls) drawn once in a 1280 × 800 window.

#include <benchmark/benchmark.h>

#include "app/maps_app.h"
#include "platform/a11y/tree_export.h"
#include "platform/launch/launch_args.h"
#include "platform/launch/state.h"
#include "platform/layout/layout.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "shell/presets.h"

namespace {

using zarn_ui::a11y::export_tree;
using zarn_ui::a11y::tree_changes;

/// The search demo after one frame, so its hit targets (and with them the tree) are filled.
maps::MapsApp drawn_app() {
  zarn_ui::launch::LaunchArgs args;
  args.switches.insert("--search");
  maps::MapsApp app = maps::app_from_launch_args(args);
  auto state = zarn_ui::State::in_memory();
  zarn_ui::TextRenderer text;
  zarn_ui::Theme const theme = zarn_ui::Theme::light();
  zarn_ui::layout::LayoutTree tree;
  zarn_ui::widget::NodeWidgetMap map;
  app.tick(*state);
  auto const node = app.build_layout(tree, theme, map);
  auto root = tree.new_with_children(zarn_ui::layout::Style::fixed(1280, 800), {node});
  (void)tree.compute_layout(*root, zarn_ui::Size{1280, 800});
  app.apply_layout(tree, zarn_ui::Point{0, 0}, node);
  zarn_ui::Scene scene;
  auto const presence = zarn_ui::PresenceCtx::empty();
  auto const permissions = zarn_ui::PermissionContext::permissive();
  app.draw_root(scene, zarn_ui::Affine::identity(), {text, theme, presence, permissions});
  return app;
}

void report(benchmark::State& state, std::size_t nodes) {
  state.counters["nodes"] = static_cast<double>(nodes);
  state.counters["ms_per_frame"] =
      benchmark::Counter(static_cast<double>(state.iterations()) / 1000.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ListenedFrameUnchanged(benchmark::State& state) {
  maps::MapsApp const app = drawn_app();
  zarn_ui::Rect const window{0, 0, 1280, 800};
  auto before = export_tree(app.accessibility_tree(), {0, 0}, window);
  std::size_t events = 0;
  for (auto _ : state) {
    auto after = export_tree(app.accessibility_tree(), {0, 0}, window);
    events += tree_changes(before, after).size();
    before = std::move(after);
  }
  benchmark::DoNotOptimize(events);
  report(state, before.nodes.size());
}
BENCHMARK(BM_ListenedFrameUnchanged);

void BM_ListenedFrameFocusMoves(benchmark::State& state) {
  maps::MapsApp app = drawn_app();
  zarn_ui::Rect const window{0, 0, 1280, 800};
  auto before = export_tree(app.accessibility_tree(), {0, 0}, window);
  std::size_t events = 0;
  for (auto _ : state) {
    app.search_box.editing = !app.search_box.editing;
    auto after = export_tree(app.accessibility_tree(), {0, 0}, window);
    events += tree_changes(before, after).size();
    before = std::move(after);
  }
  benchmark::DoNotOptimize(events);
  report(state, before.nodes.size());
}
BENCHMARK(BM_ListenedFrameFocusMoves);

} // namespace
