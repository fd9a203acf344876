// Contrast arithmetic, every theme's text/background pairs, and the rendered label of a
// primary button measured against its fill.

#include <gtest/gtest.h>

#include "platform/render/offscreen.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/contrast.h"
#include "platform/theme/theme.h"
#include "platform/widgets/button.h"
#include "platform/widgets/modal_dialog.h"

using namespace zarn_ui;

namespace {

Color rgb(std::uint32_t v) {
  return Color::from_rgba8(static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                           static_cast<std::uint8_t>(v));
}

struct NamedTheme {
  char const* name;
  Theme theme;
};

std::vector<NamedTheme> all_themes() {
  return {{"light", Theme::light()},
          {"dark", Theme::dark()},
          {"high-contrast", Theme::high_contrast()}};
}

} // namespace

TEST(Contrast, RatioMatchesKnownValues) {
  struct Case {
    std::uint32_t a, b;
    double ratio;
  } const cases[] = {
      {0x000000, 0xFFFFFF, 21.0}, {0xFFFFFF, 0x000000, 21.0}, {0x777777, 0x777777, 1.0},
      {0x767676, 0xFFFFFF, 4.54}, // the darkest grey that passes on white
      {0x777777, 0xFFFFFF, 4.48}, // one step lighter fails
      {0xFFFFFF, 0xFFD400, 1.43}, // white on a yellow accent
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.a << " on " << c.b);
    EXPECT_NEAR(contrast_ratio(rgb(c.a), rgb(c.b)), c.ratio, 0.01);
  }
}

TEST(Contrast, EveryTextPairOfEveryThemeIsReadable) {
  for (auto const& [name, theme] : all_themes()) {
    auto const pairs = text_pairs(theme);
    ASSERT_FALSE(pairs.empty());
    for (TextPair const& p : pairs) {
      double const ratio = contrast_ratio(p.text, p.background);
      EXPECT_GE(ratio, MIN_TEXT_CONTRAST)
          << name << ": " << p.text_role << " on " << p.background_role << " is " << ratio << ":1";
    }
  }
}

// The label a painter really puts on a primary button, not only the role values: the darkest
// (or brightest) rendered pixel inside the button against the fill.
TEST(Contrast, PrimaryButtonLabelsAreReadableWhenRendered) {
  TextRenderer text;
  for (auto const& [name, theme] : all_themes()) {
    for (bool hot : {false, true}) {
      SCOPED_TRACE(testing::Message() << name << (hot ? " hovered" : ""));
      Scene scene;
      scene.fill(FillRule::NonZero, Affine::identity(), theme.surface_raised, Rect{0, 0, 360, 60});
      widget::modal_dialog::draw_action_button(scene, Affine::identity(), text, theme,
                                               Rect{10, 10, 170, 50}, "Download", true, false);
      widget::Button::paint(scene, Affine::identity(), text, theme, Rect{190, 10, 350, 50}, {},
                            "Continue", 9.0, 13.0f, hot, widget::BUTTON_TONE_ACCENT, 0);
      OffscreenRenderer renderer(360, 60);
      auto const rgba = renderer.render_resilient(scene, colors::TRANSPARENT);
      for (int x0 : {10, 190}) {
        auto at = [&](int x, int y) {
          std::size_t const i =
              (static_cast<std::size_t>(y) * 360 + static_cast<std::size_t>(x)) * 4;
          return Color::from_rgba8(rgba[i], rgba[i + 1], rgba[i + 2]);
        };
        Color const fill = at(x0 + 6, 30);
        double best = 1.0;
        for (int y = 14; y < 46; ++y) {
          for (int x = x0 + 8; x < x0 + 152; ++x) {
            best = std::max(best, contrast_ratio(at(x, y), fill));
          }
        }
        EXPECT_GE(best, MIN_TEXT_CONTRAST) << "button at x " << x0;
      }
    }
  }
}
