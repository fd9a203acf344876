// Renders the widgets offscreen through the screenshot path and checks a few pixels. The PNGs
// are left in the temporary directory for a person to look at.

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "base/clock.h"
#include "platform/render/offscreen.h"
#include "platform/scene/scene.h"
#include "platform/surface/floating_placement.h"
#include "platform/surface/floating_surface.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widgets/autocomplete.h"
#include "platform/widgets/button.h"
#include "platform/widgets/context_menu.h"
#include "platform/widgets/modal_dialog.h"
#include "platform/widgets/text_input.h"
#include "platform/widgets/tooltip.h"
#include "test_png.h"

using namespace zarn_ui;
using namespace zarn_ui::widget;

namespace {

using Px = std::array<std::uint8_t, 4>;

Px px(Color c) {
  auto const b = c.to_rgba8();
  return {b.r, b.g, b.b, b.a};
}

bool near(Px a, Px b, int tolerance = 3) {
  for (int i = 0; i < 4; ++i) {
    if (std::abs(int{a[i]} - int{b[i]}) > tolerance) {
      return false;
    }
  }
  return true;
}

test_png::Decoded shoot(Scene const& scene, std::uint32_t w, std::uint32_t h,
                        std::string const& name) {
  OffscreenRenderer renderer(w, h);
  auto const rgba = renderer.render_resilient(scene, colors::TRANSPARENT);
  auto const png = OffscreenRenderer::encode_png(w, h, rgba);
  EXPECT_TRUE(png.has_value());
  auto const path = std::filesystem::temp_directory_path() / name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<char const*>(png->data()), static_cast<std::streamsize>(png->size()));
  auto decoded = test_png::decode(*png);
  EXPECT_TRUE(decoded.has_value());
  return *decoded;
}

void render_frame(Theme const& theme, std::string const& name) {
  TextRenderer text;
  Scene scene;
  Rect const window{0, 0, 960, 640};
  scene.fill(FillRule::NonZero, Affine::identity(), theme.surface, window);

  // A focused search input with text, in a card its owner paints.
  scene.fill(FillRule::NonZero, Affine::identity(), theme.surface_raised,
             RoundedRect({16, 16, 376, 64}, 12));
  auto input = TextInput::local().with_kind(2, 15.0f);
  input.set_placeholder("Search places, addresses…");
  input.set_rect({52, 16, 342, 64});
  input.set_text("Mün");
  input.set_focused(true);
  input.handle_event(Key{true, std::string("chen"), {}});
  input.draw(scene, Affine::identity(), text, theme);
  // An empty one shows its placeholder.
  auto placeholder = TextInput::local().with_kind(2, 13.0f);
  placeholder.set_placeholder("Choose destination");
  placeholder.set_rect({52, 80, 342, 120});
  scene.fill(FillRule::NonZero, Affine::identity(), theme.surface_raised,
             RoundedRect({16, 80, 376, 120}, 9));
  placeholder.draw(scene, Affine::identity(), text, theme);

  // The offline search with its open list, one row highlighted.
  auto box = Autocomplete().with_placeholder("Search a city or place to download").with_size(14);
  box.set_rect({16, 140, 376, 176});
  box.set_text("Mün");
  box.begin_edit();
  box.set_suggestions_open(
      {suggestion_with_detail(suggestion_new("München"), "Bayern, Deutschland"),
       suggestion_new("Münster"), suggestion_with_detail(suggestion_new("Mündling"), "Harburg")});
  box.handle_event(Key{true, NamedKey::ArrowDown, {}});
  box.draw(scene, Affine::identity(), text, theme);

  // Map control buttons, one hot.
  Button::paint(scene, Affine::identity(), text, theme, {904, 16, 944, 56}, "+", "Zoom in", 10, 22,
                false, 255, 1);
  Button::paint(scene, Affine::identity(), text, theme, {904, 56, 944, 96}, "–", "Zoom out", 10, 22,
                true, 255, 1);

  // The overflow menu, hovered on its second item, and a tooltip.
  ContextMenu menu;
  for (char const* label : {"Attribution", "Offline maps", "Licenses", "Float navigation"}) {
    menu.push(context_menu_item(label));
  }
  menu.open_at(700, 400);
  menu.handle_event(PointerMoved{720, 400 + ContextMenu::PADDING + 1.5 * ContextMenu::ITEM_HEIGHT});
  menu.draw(scene, Affine::identity(), text, theme, window);
  tooltip::draw_hover_tooltip(scene, Affine::identity(), text, theme, "Zoom in", {904, 16, 944, 56},
                              window);
  box.draw_overlay(scene, Affine::identity(), text, theme);

  auto const shot = shoot(scene, 960, 640, name);
  EXPECT_TRUE(near(shot.at(600, 300), px(theme.surface))) << "background";
  EXPECT_TRUE(near(shot.at(800, 410), px(theme.surface_raised))) << "menu card";
  // The highlighted menu row and the list's highlighted row are tinted with the accent.
  EXPECT_FALSE(near(shot.at(860, 400 + ContextMenu::PADDING + 1.5 * ContextMenu::ITEM_HEIGHT),
                    px(theme.surface_raised)));
  EXPECT_TRUE(near(shot.at(912, 50), px(theme.surface_raised))) << "idle button";
  EXPECT_TRUE(near(shot.at(912, 90), px(theme.surface_hover))) << "hot button";
}

TEST(WidgetsRender, FrameWithEveryWidgetInEachTheme) {
  struct Case {
    char const* file;
    Theme theme;
  } const cases[] = {
      {"widgets_frame_dark.png", Theme::dark()},
      {"widgets_frame_light.png", Theme::light()},
      {"widgets_frame_high_contrast.png", Theme::high_contrast()},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.file);
    render_frame(c.theme, c.file);
  }
}

TEST(WidgetsRender, DialogOverAWindow) {
  Theme const theme = Theme::light();
  TextRenderer text;
  Scene scene;
  scene.fill(FillRule::NonZero, Affine::identity(), theme.accent, Rect{0, 0, 800, 500});
  auto dialog = modal_dialog_new("Licenses", Text("OpenStreetMap data — Open Database License "
                                                  "(ODbL)\nCARTO basemaps — under CARTO's basemap "
                                                  "terms\n© OpenStreetMap contributors · © CARTO",
                                                  13.0f));
  dialog = modal_dialog_with_primary(std::move(dialog), "Close", [] {});
  dialog = modal_dialog_with_secondary(std::move(dialog), "Back", [] {});
  dialog.primary_emphasis = true;
  dialog.preferred_size = {440, 220};
  dialog.open = true;
  modal_dialog_layout(dialog, {0, 0, 800, 500}, theme, text);
  modal_dialog_draw(dialog, scene, Affine::identity(), text, theme);
  auto const shot = shoot(scene, 800, 500, "widgets_dialog.png");
  // Outside the box the accent is dimmed by the 70 % black scrim.
  Px const dimmed = shot.at(20, 20);
  Px const accent = px(theme.accent);
  EXPECT_LT(dimmed[0] + dimmed[1] + dimmed[2], (accent[0] + accent[1] + accent[2]) / 2);
  EXPECT_TRUE(near(shot.at(dialog.box_rect.x0 + 30, dialog.box_rect.y1 - 20), px(theme.surface)));
  EXPECT_TRUE(
      near(shot.at(dialog.primary_rect.x0 + 6, dialog.primary_rect.y0 + 20), px(theme.accent)));
}

// The placement's five screenshot phases, each painted as a stand-in card (outline, grip and
// title) through its presentation transform on its own tile.
TEST(WidgetsRender, FloatingPhasesLookDistinct) {
  Theme const theme = Theme::dark();
  TextRenderer text;
  base::ManualClock clock;
  Rect const window{0, 0, 1280, 800};
  Scene scene;
  char const* const phases[] = {"attached", "detached", "hover", "returning", "returned"};
  double const tile_w = 1280.0 * 0.25;
  for (int i = 0; i < 5; ++i) {
    std::string const phase = phases[i];
    surface::FloatingPlacement placement({360, 156}, clock);
    if (phase == "attached") {
      placement.pin_handoff_for_visual_review(1000);
    } else {
      placement.detach_to_desktop({820, 120, 1180, 276});
      if (phase == "returning" || phase == "returned") {
        Rect const card = placement.rect(window, window);
        placement.begin_drag({1000, 136}, window, card);
        placement.update_drag({720, 360}, window, card);
      }
      if (phase == "returned") {
        placement.confirm_app_adoption(window);
      }
      placement.pin_handoff_for_visual_review(phase == "returning" || phase == "returned" ? 500
                                                                                          : 1000);
    }
    // Each tile shows the whole window at a quarter of its size.
    Affine const tile = Affine::translate((i % 3) * tile_w, (i / 3) * 200.0) * Affine::scale(0.25);
    scene.fill(FillRule::NonZero, tile, theme.surface, window);
    scene.stroke(Stroke::with_width(4), tile, theme.border, window);
    Rect const card = placement.rect(window, window);
    Affine const at = tile * placement.presentation_transform();
    scene.fill(FillRule::NonZero, at, theme.card_shadow.multiply_alpha(0.3f),
               surface::soft_outline({card.x0 - 5, card.y0 - 3, card.x1 + 5, card.y1 + 7}));
    scene.fill(FillRule::NonZero, at, theme.surface_raised, surface::soft_outline(card));
    scene.stroke(Stroke::with_width(1), at, theme.border, surface::soft_outline(card));
    surface::floating_drag_grip(scene, at, card, theme.text_secondary);
    Rect const end{card.x1 - 58, card.y0 + 6, card.x1 - 8, card.y0 + 30};
    scene.fill(FillRule::NonZero, at,
               phase == "hover" ? theme.danger.multiply_alpha(0.16f) : theme.control_idle,
               RoundedRect(end, 10));
    text.draw_text(scene, "Navigation · " + phase, 40, theme.text,
                   at * Affine::translate(card.x0 + 16, card.y0 + 50));
  }
  auto const shot = shoot(scene, 1280, 400, "widgets_floating_phases.png");
  EXPECT_EQ(shot.width, 1280u);
}

} // namespace
