// Recording cost of a focused text field, caret at the end: 10 characters, 30 (as many as the
// field shows) and 100,000. The long text is laid out once (before the loop, as after the
// change that set it) and only its visible part is drawn, so it costs what a full field does.

#include <string>

#include <benchmark/benchmark.h>

#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widgets/text_input.h"

namespace {

void BM_DrawTextInput(benchmark::State& state) {
  auto const length = static_cast<std::size_t>(state.range(0));
  std::string text;
  while (text.size() < length) {
    text += "Marienplatz ";
  }
  text.resize(length);
  auto input = zarn_ui::widget::TextInput::local().with_kind(2, 15.0f).with_max_length(length);
  input.set_rect(zarn_ui::Rect{52, 16, 342, 64});
  input.set_text(text);
  input.set_focused(true);
  zarn_ui::TextRenderer renderer;
  zarn_ui::Theme const theme = zarn_ui::Theme::light();
  zarn_ui::Scene warm;
  input.draw(warm, zarn_ui::Affine::identity(), renderer, theme);
  for (auto _ : state) {
    zarn_ui::Scene scene;
    input.draw(scene, zarn_ui::Affine::identity(), renderer, theme);
    benchmark::DoNotOptimize(scene.commands.data());
  }
}
BENCHMARK(BM_DrawTextInput)->Arg(10)->Arg(30)->Arg(100'000);

} // namespace
