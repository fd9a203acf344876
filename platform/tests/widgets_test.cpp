#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "base/clock.h"
#include "platform/scene/scene.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widgets/autocomplete.h"
#include "platform/widgets/context_menu.h"
#include "platform/widgets/deliver.h"
#include "platform/widgets/text_input.h"
#include "platform/widgets/tooltip.h"

using namespace zarn_ui;
using namespace zarn_ui::widget;

namespace {

Event typed(std::string text, Modifiers mods = {}) {
  return Key{true, std::move(text), mods};
}
Event key(NamedKey k) {
  return Key{true, k, {}};
}
Event released(NamedKey k) {
  return Key{false, k, {}};
}
Event press(double x, double y, std::uint32_t button = 0) {
  return PointerButton{x, y, button, ButtonState::Pressed};
}
Event move(double x, double y) {
  return PointerMoved{x, y};
}

TextInput focused_input(std::string_view text = "") {
  auto input = TextInput::local().with_kind(2, 15.0f);
  input.set_rect({0, 0, 200, 32});
  input.set_text(text);
  input.set_focused(true);
  return input;
}

// Every event a text input reacts to, as (event, text after, caret index after).
TEST(TextInput, EditsByCodePoint) {
  struct Step {
    Event event;
    std::string text;
    std::size_t caret;
    InputOutcome outcome;
  };
  struct Case {
    char const* name;
    std::string start;
    std::vector<Step> steps;
  } const cases[] = {
      {"typing non-ASCII text appends at the caret",
       "",
       {{typed("M"), "M", 1, InputOutcome::Consumed},
        {typed("ün"), "Mün", 3, InputOutcome::Consumed},
        {typed("😀"), "Mün😀", 4, InputOutcome::Consumed}}},
      {"backspace removes one whole code point",
       "Mün😀",
       {{key(NamedKey::Backspace), "Mün", 3, InputOutcome::Consumed},
        {key(NamedKey::Backspace), "Mü", 2, InputOutcome::Consumed},
        {key(NamedKey::Backspace), "M", 1, InputOutcome::Consumed},
        {key(NamedKey::Backspace), "", 0, InputOutcome::Consumed},
        {key(NamedKey::Backspace), "", 0, InputOutcome::Consumed}}},
      {"caret moves and inserts in the middle",
       "Zürich",
       {{key(NamedKey::Home), "Zürich", 0, InputOutcome::Consumed},
        {key(NamedKey::ArrowRight), "Zürich", 1, InputOutcome::Consumed},
        {key(NamedKey::ArrowRight), "Zürich", 2, InputOutcome::Consumed},
        {typed("-"), "Zü-rich", 3, InputOutcome::Consumed},
        {key(NamedKey::ArrowLeft), "Zü-rich", 2, InputOutcome::Consumed},
        {key(NamedKey::Delete), "Zürich", 2, InputOutcome::Consumed},
        {key(NamedKey::ArrowLeft), "Zürich", 1, InputOutcome::Consumed},
        {key(NamedKey::Delete), "Zrich", 1, InputOutcome::Consumed},
        {key(NamedKey::End), "Zrich", 5, InputOutcome::Consumed},
        {key(NamedKey::Delete), "Zrich", 5, InputOutcome::Consumed},
        {key(NamedKey::ArrowRight), "Zrich", 5, InputOutcome::Consumed}}},
      {"control characters are dropped, shortcuts left to the caller",
       "a",
       {{typed("\t\r\n"), "a", 1, InputOutcome::Consumed},
        {typed("b\x7F"
               "c"),
         "abc", 3, InputOutcome::Consumed},
        {typed("s", Modifiers{false, true, false, false}), "abc", 3, InputOutcome::Ignored},
        {key(NamedKey::Space), "abc ", 4, InputOutcome::Consumed}}},
      {"a full field takes no more, cutting a longer insertion at a code point",
       std::string(access::MAX_TEXT_FIELD_CHARS - 1, 'a'),
       {{typed("\xC3\xBC\xC3\xB6"), std::string(access::MAX_TEXT_FIELD_CHARS - 1, 'a') + "\xC3\xBC",
         access::MAX_TEXT_FIELD_CHARS, InputOutcome::Consumed},
        {typed("x"), std::string(access::MAX_TEXT_FIELD_CHARS - 1, 'a') + "\xC3\xBC",
         access::MAX_TEXT_FIELD_CHARS, InputOutcome::Consumed}}},
      {"a text set from outside is cut to what a field holds",
       std::string(access::MAX_TEXT_FIELD_CHARS + 5, 'b'),
       {{key(NamedKey::End), std::string(access::MAX_TEXT_FIELD_CHARS, 'b'),
         access::MAX_TEXT_FIELD_CHARS, InputOutcome::Consumed}}},
      {"Enter is reported, Escape and releases are not taken",
       "x",
       {{key(NamedKey::Enter), "x", 1, InputOutcome::Submitted},
        {key(NamedKey::Escape), "x", 1, InputOutcome::Ignored},
        {released(NamedKey::Backspace), "x", 1, InputOutcome::Ignored}}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto input = focused_input(c.start);
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      SCOPED_TRACE(i);
      auto const& step = c.steps[i];
      EXPECT_EQ(input.handle_event(step.event), step.outcome);
      EXPECT_EQ(input.text(), step.text);
      EXPECT_EQ(input.caret_index(), step.caret);
    }
  }
}

TEST(TextInput, DirtyOnlyAfterUserEdits) {
  auto input = focused_input();
  input.set_text("Marienplatz");
  EXPECT_FALSE(input.take_dirty()) << "set_text is not an edit";
  input.handle_event(key(NamedKey::ArrowLeft));
  input.handle_event(key(NamedKey::Enter));
  EXPECT_FALSE(input.take_dirty()) << "caret moves and Enter change no text";
  input.handle_event(key(NamedKey::Home));
  input.handle_event(key(NamedKey::Backspace));
  EXPECT_FALSE(input.take_dirty()) << "Backspace at the start changes nothing";
  input.handle_event(typed("x"));
  EXPECT_TRUE(input.take_dirty());
  EXPECT_FALSE(input.take_dirty()) << "reported once";
}

TEST(TextInput, KeysNeedFocusAndPressesGiveIt) {
  auto input = TextInput::local();
  input.set_rect({10, 10, 110, 40});
  EXPECT_EQ(input.handle_event(typed("a")), InputOutcome::Ignored);
  EXPECT_EQ(input.text(), "");
  // A press at physical (60, 40) with scale 2 is logical (30, 20): inside.
  EXPECT_EQ(input.handle_event(press(60, 40), 2.0), InputOutcome::Consumed);
  EXPECT_TRUE(input.focused());
  EXPECT_EQ(input.handle_event(typed("a")), InputOutcome::Consumed);
  EXPECT_EQ(input.text(), "a");
  EXPECT_EQ(input.handle_event(press(300, 20)), InputOutcome::Ignored);
  EXPECT_FALSE(input.focused());
  EXPECT_EQ(input.handle_event(press(300, 20), 0.0), InputOutcome::Ignored)
      << "a zero scale factor counts as 1, not as a division by zero";
}

TEST(TextInput, MalformedTextIsRepairedSoEditingStaysOnBoundaries) {
  auto input = focused_input();
  input.set_text("a\xC3"); // truncated two-byte sequence
  EXPECT_EQ(input.text(), "a\xEF\xBF\xBD");
  input.handle_event(key(NamedKey::Backspace));
  EXPECT_EQ(input.text(), "a");
}

TEST(TextInput, PressPlacesCaretAtNearestBoundaryOfLastDrawing) {
  TextRenderer text;
  Theme const theme = Theme::dark();
  auto input = focused_input("abcdef");
  Scene scene;
  input.draw(scene, Affine::identity(), text, theme);
  double const after_c = TextInput::PADDING + text.measure("abc", 15.0f);
  input.handle_event(press(after_c + 0.4, 16));
  EXPECT_EQ(input.caret_index(), 3u);
  input.handle_event(press(1, 16));
  EXPECT_EQ(input.caret_index(), 0u);
}

TEST(TextInput, DrawsPlaceholderOrTextClippedWithCaretWhileFocused) {
  TextRenderer text;
  Theme const theme = Theme::dark();
  auto input = TextInput::local();
  input.set_placeholder("Search places, addresses…");
  input.set_rect({0, 0, 200, 32});

  auto texts = [](Scene const& scene) {
    std::vector<TextCmd> out;
    for (auto const& cmd : scene.commands) {
      if (auto const* t = std::get_if<TextCmd>(&cmd)) {
        out.push_back(*t);
      }
    }
    return out;
  };
  Scene empty;
  input.draw(empty, Affine::identity(), text, theme);
  ASSERT_EQ(texts(empty).size(), 1u);
  EXPECT_EQ(texts(empty)[0].text, "Search places, addresses…");
  EXPECT_EQ(texts(empty)[0].color, theme.text_secondary);
  EXPECT_TRUE(std::holds_alternative<PushLayerCmd>(empty.commands.front()));
  EXPECT_TRUE(std::holds_alternative<PopLayerCmd>(empty.commands.back()));
  auto const strokes = [](Scene const& s) {
    return std::count_if(s.commands.begin(), s.commands.end(),
                         [](auto const& c) { return std::holds_alternative<StrokeCmd>(c); });
  };
  EXPECT_EQ(strokes(empty), 0) << "no caret without focus";

  input.set_text("Marienplatz");
  input.set_focused(true);
  Scene filled;
  input.draw(filled, Affine::identity(), text, theme);
  ASSERT_EQ(texts(filled).size(), 1u);
  EXPECT_EQ(texts(filled)[0].text, "Marienplatz");
  EXPECT_EQ(texts(filled)[0].color, theme.text);
  EXPECT_EQ(strokes(filled), 1) << "the caret";

  // A text far wider than the field scrolls left so the caret at its end stays inside.
  input.set_text(std::string(80, 'w'));
  Scene wide;
  input.draw(wide, Affine::identity(), text, theme);
  auto const caret = std::find_if(wide.commands.begin(), wide.commands.end(), [](auto const& c) {
    return std::holds_alternative<StrokeCmd>(c);
  });
  ASSERT_NE(caret, wide.commands.end());
  double const caret_x = std::get<Line>(std::get<StrokeCmd>(*caret).shape).p0.x;
  EXPECT_GT(caret_x, 150.0);
  EXPECT_LE(caret_x, 200.0);
  EXPECT_LT(texts(wide)[0].transform.e, 0.0) << "the text's start is scrolled out";
}

std::vector<Suggestion> cities() {
  return {suggestion_with_detail(suggestion_new("München"), "Bayern, Deutschland"),
          suggestion_new("Münster"), suggestion_new("Münchenstein")};
}

Autocomplete editing_box() {
  auto box =
      Autocomplete().with_id("maps_download_search").with_placeholder("Search").with_size(14.0f);
  box.set_rect({100, 100, 400, 136});
  box.set_text("Mün");
  box.begin_edit();
  box.set_suggestions_open(cities());
  return box;
}

TEST(Autocomplete, KeyboardSelectionChoosesOnceAndCloses) {
  auto box = editing_box();
  EXPECT_EQ(box.handle_event(key(NamedKey::ArrowDown)), AutocompleteOutcome::Consumed);
  EXPECT_EQ(box.highlighted(), 0u);
  box.handle_event(key(NamedKey::ArrowDown));
  box.handle_event(key(NamedKey::ArrowDown));
  box.handle_event(key(NamedKey::ArrowDown));
  EXPECT_EQ(box.highlighted(), 2u) << "stops at the last row";
  box.handle_event(key(NamedKey::ArrowUp));
  EXPECT_EQ(box.highlighted(), 1u);
  EXPECT_EQ(box.handle_event(key(NamedKey::Enter)), AutocompleteOutcome::Chosen);
  auto const chosen = box.take_chosen();
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->value, "Münster");
  EXPECT_FALSE(box.take_chosen()) << "reported once";
  EXPECT_EQ(box.text(), "Münster");
  EXPECT_FALSE(box.is_open());
  EXPECT_FALSE(box.take_dirty()) << "a choice is not typing";
  EXPECT_EQ(box.handle_event(key(NamedKey::Enter)), AutocompleteOutcome::Submitted)
      << "Enter with the list closed submits the text";
}

TEST(Autocomplete, UpAboveFirstRowEscapeAndTyping) {
  auto box = editing_box();
  box.handle_event(key(NamedKey::ArrowDown));
  box.handle_event(key(NamedKey::ArrowUp));
  EXPECT_FALSE(box.highlighted());
  EXPECT_EQ(box.handle_event(key(NamedKey::Enter)), AutocompleteOutcome::Submitted);
  box.handle_event(key(NamedKey::ArrowDown));
  EXPECT_EQ(box.handle_event(typed("s")), AutocompleteOutcome::Edited);
  EXPECT_EQ(box.text(), "Müns");
  EXPECT_FALSE(box.highlighted()) << "typing drops the highlight";
  EXPECT_TRUE(box.take_dirty());
  EXPECT_EQ(box.handle_event(key(NamedKey::Escape)), AutocompleteOutcome::Dismissed);
  EXPECT_FALSE(box.is_open());
  EXPECT_TRUE(box.editing()) << "Escape closes the list, not the field";
  EXPECT_EQ(box.handle_event(key(NamedKey::Escape)), AutocompleteOutcome::Ignored);
  box.close();
  EXPECT_EQ(box.handle_event(typed("x")), AutocompleteOutcome::Ignored) << "not editing";
  EXPECT_EQ(box.text(), "Müns");
}

TEST(Autocomplete, PointerHoversAndChoosesRows) {
  auto box = editing_box();
  auto const list = box.overlay_rect();
  ASSERT_TRUE(list);
  EXPECT_EQ(list->y0, 136 + Autocomplete::LIST_GAP);
  EXPECT_EQ(list->height(), 2 * Autocomplete::LIST_PADDING + 3 * Autocomplete::ROW_HEIGHT);
  double const row2_y = list->y0 + Autocomplete::LIST_PADDING + 2.5 * Autocomplete::ROW_HEIGHT;
  EXPECT_EQ(box.handle_event(move(200, row2_y)), AutocompleteOutcome::Consumed);
  EXPECT_EQ(box.highlighted(), 2u);
  EXPECT_EQ(box.handle_event(press(200, row2_y)), AutocompleteOutcome::Chosen);
  EXPECT_EQ(box.take_chosen()->value, "Münchenstein");

  box.set_suggestions_open(cities());
  EXPECT_EQ(box.handle_event(press(700, 700)), AutocompleteOutcome::Ignored)
      << "a press elsewhere passes on";
  EXPECT_FALSE(box.is_open());
  EXPECT_FALSE(box.take_chosen());

  box.close();
  EXPECT_EQ(box.handle_event(press(150, 120)), AutocompleteOutcome::Consumed);
  EXPECT_TRUE(box.editing()) << "a press in the field starts editing";
}

TEST(Autocomplete, ListShowsAtMostSixRows) {
  auto box = editing_box();
  std::vector<Suggestion> many;
  for (int i = 0; i < 9; ++i) {
    many.push_back(suggestion_new("Place " + std::to_string(i)));
  }
  box.set_suggestions_open(many);
  EXPECT_EQ(box.overlay_rect()->height(),
            2 * Autocomplete::LIST_PADDING + 6 * Autocomplete::ROW_HEIGHT);
  for (int i = 0; i < 9; ++i) {
    box.handle_event(key(NamedKey::ArrowDown));
  }
  EXPECT_EQ(box.highlighted(), 5u) << "the highlight stays on shown rows";
  box.set_suggestions_open({});
  EXPECT_FALSE(box.overlay_rect()) << "an empty list shows nothing";
}

ContextMenu overflow_menu(std::vector<std::string>* ran = nullptr) {
  ContextMenu menu;
  for (char const* label : {"Attribution", "Offline maps", "Licenses", "Float navigation"}) {
    menu.push(label, [ran, label] {
      if (ran != nullptr) {
        ran->push_back(label);
      }
    });
  }
  return menu;
}

TEST(ContextMenu, OpenAtExposesRectSoItCanBeMovedAboveTheAnchor) {
  auto menu = overflow_menu();
  menu.open_at(1264.0f, 754.0f);
  Rect const first = menu.rect();
  EXPECT_EQ(first.x0, 1264.0);
  EXPECT_EQ(first.y0, 754.0);
  EXPECT_GE(first.width(), ContextMenu::MIN_WIDTH);
  EXPECT_EQ(first.height(), 2 * ContextMenu::PADDING + 4 * ContextMenu::ITEM_HEIGHT);
  menu.open_at(static_cast<float>(1264 + (first.x0 - first.x1)),
               static_cast<float>(754 + (first.y0 - first.y1) - 6));
  EXPECT_EQ(menu.rect().x1, 1264.0);
  EXPECT_EQ(menu.rect().y1, 748.0);
  EXPECT_TRUE(menu.is_open());

  menu.open_at(std::nanf(""), 10.0f);
  EXPECT_EQ(menu.rect().x0, 0.0) << "a NaN anchor never reaches the geometry";
}

TEST(ContextMenu, ClickChoosesItemRunsCallbackAndCloses) {
  std::vector<std::string> ran;
  auto menu = overflow_menu(&ran);
  menu.open_at(100, 100);
  double const y_item2 = 100 + ContextMenu::PADDING + 2.5 * ContextMenu::ITEM_HEIGHT;
  menu.handle_event(move(150, y_item2));
  EXPECT_EQ(menu.hovered(), 2u);
  EXPECT_EQ(menu.handle_event(press(150, y_item2, 1)), std::nullopt) << "right click inside";
  EXPECT_TRUE(menu.is_open());
  EXPECT_EQ(deliver_menu_event(menu, press(150, y_item2), {}, 1.0), 2u);
  EXPECT_EQ(menu.take_chosen(), 2u);
  EXPECT_EQ(menu.take_chosen(), std::nullopt);
  EXPECT_EQ(ran, std::vector<std::string>{"Licenses"});
  EXPECT_FALSE(menu.is_open());
  EXPECT_EQ(menu.handle_event(press(150, y_item2)), std::nullopt) << "a closed menu takes nothing";
}

TEST(ContextMenu, ACallbackMayRebuildTheMenuItRunsFrom) {
  ContextMenu menu;
  bool done = false;
  // Two references: small enough to live inside the item's storage, which the pushes move.
  menu.push("Refresh", [&menu, &done] {
    for (int i = 0; i < 32; ++i) {
      menu.push("Recent");
    }
    done = true;
  });
  menu.open_at(0, 0);
  menu.handle_event(Key{true, NamedKey::ArrowDown, {}});
  EXPECT_EQ(menu.handle_event(Key{true, NamedKey::Enter, {}}), 0u);
  EXPECT_TRUE(done);
  EXPECT_EQ(menu.items().size(), 33u);
}

TEST(ContextMenu, OutsidePressAndEscapeCloseWithoutChoice) {
  struct Case {
    char const* name;
    Event event;
  } const cases[] = {
      {"press outside", press(10, 10)},
      {"right press outside", press(10, 10, 1)},
      {"escape", key(NamedKey::Escape)},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> ran;
    auto menu = overflow_menu(&ran);
    menu.open_at(100, 100);
    EXPECT_EQ(menu.handle_event(c.event), std::nullopt);
    EXPECT_FALSE(menu.is_open());
    EXPECT_TRUE(ran.empty());
  }
}

TEST(ContextMenu, KeyboardChoosesHighlightedItem) {
  std::vector<std::string> ran;
  auto menu = overflow_menu(&ran);
  menu.open_at(0, 0);
  EXPECT_EQ(menu.handle_event(key(NamedKey::Enter)), std::nullopt) << "nothing highlighted";
  menu.handle_event(key(NamedKey::ArrowDown));
  menu.handle_event(key(NamedKey::ArrowDown));
  EXPECT_EQ(menu.handle_event(key(NamedKey::Enter)), 1u);
  EXPECT_EQ(ran, std::vector<std::string>{"Offline maps"});
  menu.open_at(0, 0);
  menu.handle_event(key(NamedKey::ArrowUp));
  EXPECT_EQ(menu.hovered(), 3u) << "Up from nothing starts at the last item";
}

TEST(ContextMenu, DrawsItemsInsideItsRect) {
  TextRenderer text;
  auto menu = overflow_menu();
  Scene closed;
  menu.draw(closed, Affine::identity(), text, Theme::dark(), {0, 0, 1280, 800});
  EXPECT_TRUE(closed.empty());
  menu.open_at(200, 100);
  Scene scene;
  menu.draw(scene, Affine::identity(), text, Theme::dark(), {0, 0, 1280, 800});
  std::vector<std::string> labels;
  for (auto const& cmd : scene.commands) {
    if (auto const* t = std::get_if<TextCmd>(&cmd)) {
      labels.push_back(t->text);
      EXPECT_TRUE(menu.rect().contains({t->transform.e, t->transform.f}));
      ASSERT_TRUE(t->max_width);
      EXPECT_LE(t->transform.e + *t->max_width, menu.rect().x1);
    }
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"Attribution", "Offline maps", "Licenses",
                                              "Float navigation"}));
}

TEST(ContextMenu, LargerTextMakesLargerItemsSoLabelsStayWhole) {
  TextRenderer text;
  text.set_text_scale(2.0f);
  Scene scratch;
  auto menu = overflow_menu();
  menu.draw(scratch, Affine::identity(), text, Theme::dark(), {0, 0, 1280, 800});
  menu.open_at(0, 0);
  EXPECT_EQ(menu.rect().height(), 2 * ContextMenu::PADDING + 4 * 2 * ContextMenu::ITEM_HEIGHT);
  EXPECT_GE(menu.rect().width(), text.measure("Float navigation", ContextMenu::LABEL_SIZE) + 28);

  auto box = editing_box();
  box.draw_overlay(scratch, Affine::identity(), text, Theme::dark());
  EXPECT_EQ(box.overlay_rect()->height(),
            2 * Autocomplete::LIST_PADDING + 3 * 2 * Autocomplete::ROW_HEIGHT);
}

class TooltipHostTest : public ::testing::Test {
protected:
  base::ManualClock clock;
  TooltipHost host;
  TooltipCandidate zoom{"Zoom in", {1224, 16, 1264, 56}};
  TooltipCandidate more{"More", {1224, 754, 1264, 784}};
};

TEST_F(TooltipHostTest, ShowsAfterDelayOnlyWhileTheCandidateStays) {
  EXPECT_TRUE(host.on_pointer(zoom, clock.now(), {1230, 20}));
  EXPECT_TRUE(host.has_pending());
  EXPECT_EQ(host.deadline(), clock.now() + TooltipHost::SHOW_DELAY);
  clock.advance(std::chrono::milliseconds(300));
  EXPECT_FALSE(host.on_pointer(zoom, clock.now(), {1232, 22})) << "same candidate: no change";
  EXPECT_FALSE(host.tick(clock.now()));
  clock.advance(std::chrono::milliseconds(199));
  EXPECT_FALSE(host.tick(clock.now()));
  clock.advance(std::chrono::milliseconds(1));
  EXPECT_TRUE(host.tick(clock.now()));
  EXPECT_EQ(host.shown(), zoom);
  EXPECT_FALSE(host.has_pending());
  EXPECT_FALSE(host.tick(clock.now())) << "appears once";

  EXPECT_TRUE(host.on_pointer(more, clock.now(), {1230, 760})) << "a new candidate restarts";
  EXPECT_FALSE(host.shown());
  clock.advance(std::chrono::milliseconds(499));
  EXPECT_FALSE(host.tick(clock.now()));
  EXPECT_TRUE(host.on_pointer(std::nullopt, clock.now(), {600, 400}));
  clock.advance(std::chrono::seconds(5));
  EXPECT_FALSE(host.tick(clock.now()));
  EXPECT_FALSE(host.has_pending());
  EXPECT_FALSE(host.on_pointer(std::nullopt, clock.now(), {600, 400}));
}

TEST_F(TooltipHostTest, DismissKeepsTheSameCandidateQuietUntilThePointerLeaves) {
  host.on_pointer(zoom, clock.now(), {1230, 20});
  clock.advance(std::chrono::seconds(1));
  host.tick(clock.now());
  ASSERT_TRUE(host.is_shown());
  host.dismiss();
  EXPECT_FALSE(host.is_shown());
  EXPECT_FALSE(host.has_pending()) << "no frames are asked for a dismissed tooltip";
  host.on_pointer(zoom, clock.now(), {1231, 21});
  clock.advance(std::chrono::seconds(1));
  EXPECT_FALSE(host.tick(clock.now()));
  host.on_pointer(std::nullopt, clock.now(), {0, 0});
  host.on_pointer(zoom, clock.now(), {1230, 20});
  EXPECT_TRUE(host.has_pending());
  clock.advance(TooltipHost::SHOW_DELAY);
  EXPECT_TRUE(host.tick(clock.now()));
}

TEST(Tooltip, PlacedBesideItsAnchorInsideTheBounds) {
  Rect const window{0, 0, 1280, 800};
  struct Case {
    char const* name;
    Rect anchor;
    std::optional<Rect> bounds;
    char side; // 'b' below, 'a' above, 'l' left
  } const cases[] = {
      {"a menu button at the top left: below", {16, 16, 56, 64}, window, 'b'},
      {"a button at the bottom: above", {600, 770, 640, 800}, window, 'a'},
      {"map controls at the right edge: left, not over the control below",
       {1224, 16, 1264, 56},
       window,
       'l'},
      {"the overflow button in the corner: left", {1224, 754, 1264, 784}, window, 'l'},
      {"without bounds: centred below", {1224, 16, 1264, 56}, std::nullopt, 'b'},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Rect const r = tooltip::tooltip_rect(60, 15, c.anchor, c.bounds);
    switch (c.side) {
    case 'b':
      EXPECT_GE(r.y0, c.anchor.y1);
      break;
    case 'a':
      EXPECT_LE(r.y1, c.anchor.y0);
      break;
    default:
      EXPECT_LE(r.x1, c.anchor.x0);
      EXPECT_DOUBLE_EQ(r.center().y, c.anchor.center().y);
    }
    if (c.bounds) {
      EXPECT_EQ(r.intersect(*c.bounds), r) << "inside the window";
    }
  }
  Rect const control{1224, 16, 1264, 56};

  TextRenderer text;
  Scene scene;
  tooltip::draw_hover_tooltip(scene, Affine::identity(), text, Theme::dark(), "Zoom in", control,
                              window);
  auto const t = std::find_if(scene.commands.begin(), scene.commands.end(),
                              [](auto const& c) { return std::holds_alternative<TextCmd>(c); });
  ASSERT_NE(t, scene.commands.end());
  EXPECT_EQ(std::get<TextCmd>(*t).text, "Zoom in");
}

} // namespace
