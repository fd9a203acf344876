#include <gtest/gtest.h>

#include "ui/paint.h"
#include "ui/palette.h"

namespace maps {
namespace {

using zarn_ui::Color;

TEST(Palette, MixingQuantisesToBytesAndRoundsHalfUp) {
  Color const m = mix_colors(zarn_ui::colors::BLACK, zarn_ui::colors::WHITE, 0.5f);
  EXPECT_EQ(m.to_rgba8(), (zarn_ui::Rgba8{128, 128, 128, 255}));
  Color const half_alpha = mix_colors(Color{1, 0, 0, 0}, Color{1, 0, 0, 1}, 0.5f);
  EXPECT_EQ(half_alpha.to_rgba8().a, 128);
}

TEST(Palette, DarkTestIsStrictlyBelow128) {
  zarn_ui::Theme theme = zarn_ui::Theme::light();
  theme.surface = Color{0.5f, 0.5f, 0.5f, 1.0f};
  auto const grey = is_dark_theme(theme);
  EXPECT_DOUBLE_EQ(grey.luminance, 128.0);
  EXPECT_FALSE(grey.dark);
  EXPECT_TRUE(is_dark_theme(zarn_ui::Theme::dark()).dark);
  EXPECT_FALSE(is_dark_theme(zarn_ui::Theme::light()).dark);
}

TEST(Palette, HexColours) {
  struct Case {
    char const* text;
    bool ok;
  } const cases[] = {
      {"#eb690b", true},   {"##eb690b", true}, {"EB690B", true}, {"eb690", false},
      {"eb690bff", false}, {"gg0000", false},  {"+a0000", true}, {"", false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_hex_color(c.text).has_value(), c.ok);
  }
  EXPECT_EQ(parse_hex_color("#eb690b"), parse_hex_color("##eb690b"));
  EXPECT_EQ(parse_hex_color("eb690b")->to_rgba8(), (zarn_ui::Rgba8{0xeb, 0x69, 0x0b, 255}));
  EXPECT_EQ(parse_hex_color("+a0000")->to_rgba8().r, 10);
}

TEST(Palette, LegColourFallsBackToItsMode) {
  auto const theme = zarn_ui::Theme::light();
  TransitLeg leg;
  leg.mode = LegMode::Tram;
  EXPECT_EQ(leg_color(theme, leg), theme.danger);
  leg.color = "zzzzzz";
  EXPECT_EQ(leg_color(theme, leg), theme.danger);
  leg.color = "00ff00";
  EXPECT_EQ(leg_color(theme, leg).to_rgba8(), (zarn_ui::Rgba8{0, 255, 0, 255}));
}

TEST(Paint, TooFewPointsDrawNothingAndCardsCastTheirShadow) {
  Scene scene;
  fill_polygon(scene, Affine::identity(), {{0, 0}, {1, 1}}, zarn_ui::colors::BLACK);
  stroke_polyline(scene, Affine::identity(), {{0, 0}}, zarn_ui::colors::BLACK, 2);
  EXPECT_TRUE(scene.empty());
  draw_card(scene, Affine::identity(), Rect{10, 20, 110, 70}, 8, zarn_ui::colors::WHITE,
            zarn_ui::colors::BLACK);
  ASSERT_EQ(scene.commands.size(), 3u);
  auto const& shadow = std::get<zarn_ui::FillCmd>(scene.commands[0]);
  auto const& rr = std::get<zarn_ui::RoundedRect>(shadow.shape);
  EXPECT_EQ(rr.rect, (Rect{9, 23, 111, 75}));
  EXPECT_EQ(rr.radius, 9.0);
  EXPECT_EQ(shadow.color.a, 46.0f / 255.0f);
  EXPECT_TRUE(std::holds_alternative<zarn_ui::StrokeCmd>(scene.commands[2]));
}

TEST(Paint, EllipsisKeepsFittingTextAndNeverReturnsEmpty) {
  TextRenderer text;
  std::string const s = "Viktualienmarkt";
  double const full = measure_text(text, s, 13);
  EXPECT_EQ(ellipsize_text(text, s, 13, full), s);
  std::string const cut = ellipsize_text(text, s, 13, full / 2);
  EXPECT_TRUE(cut.ends_with("\xE2\x80\xA6"));
  EXPECT_LE(measure_text(text, cut, 13), full / 2);
  EXPECT_GT(cut.size(), 3u);
  EXPECT_EQ(ellipsize_text(text, s, 13, 0.5), "\xE2\x80\xA6");
}

} // namespace
} // namespace maps
