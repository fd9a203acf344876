// TextInput as a user edits it, through handle_event: selection keys, words, pointer
// selection, the clipboard (SDL's dummy driver keeps one in the process), the length cap,
// input method composition, a long text, selection colours and the caret's blink.

#include <algorithm>
#include <chrono>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "base/clock.h"
#include "platform/scene/scene.h"
#include "platform/tests/sdl_video_test.h"
#include "platform/text/text_renderer.h"
#include "platform/theme/theme.h"
#include "platform/widgets/clipboard.h"
#include "platform/widgets/deliver.h"
#include "platform/widgets/text_input.h"

using namespace zarn_ui;
using namespace zarn_ui::widget;
using namespace std::chrono_literals;

namespace {

constexpr Modifiers SHIFT{true, false, false, false};
constexpr Modifiers CTRL{false, true, false, false};
constexpr Modifiers CTRL_SHIFT{true, true, false, false};
constexpr double MID_Y = 16.0;

Event typed(std::string text) {
  return Key{true, std::move(text), {}};
}
Event key(NamedKey k, Modifiers mods = {}) {
  return Key{true, k, mods};
}
Event ctrl(char letter) {
  return Key{true, std::string(1, letter), CTRL};
}
Event press(double x, std::uint8_t clicks = 1, std::uint32_t button = 0) {
  return PointerButton{x, MID_Y, button, ButtonState::Pressed, clicks};
}
Event release(double x) {
  return PointerButton{x, MID_Y, 0, ButtonState::Released};
}
Event drag(double x, bool held = true) {
  return PointerMoved{x, MID_Y, held};
}
Event composing(std::string text, std::size_t cursor) {
  TextComposition c;
  c.text = std::move(text);
  c.cursor = cursor;
  return c;
}

TextInput focused_input(std::string_view text) {
  auto input = TextInput::local().with_kind(2, 15.0f);
  input.set_rect({0, 0, 200, 32});
  input.set_text(text);
  input.set_focused(true);
  return input;
}

template <class T> std::vector<T> commands(Scene const& scene) {
  std::vector<T> out;
  for (auto const& cmd : scene.commands) {
    if (auto const* c = std::get_if<T>(&cmd)) {
      out.push_back(*c);
    }
  }
  return out;
}

Scene drawn(TextInput const& input, Theme const& theme = Theme::dark()) {
  TextRenderer text;
  Scene scene;
  input.draw(scene, Affine::identity(), text, theme);
  return scene;
}

/// Where the caret stands before code point `index` of `text` in a short, unscrolled field.
double x_before(std::string_view text, std::size_t index) {
  TextRenderer renderer;
  return TextInput::PADDING + renderer.measure(text.substr(0, index), 15.0f);
}

struct Step {
  Event event;
  std::string text;
  std::size_t caret;
  std::string selected;
};

void run_steps(TextInput& input, std::vector<Step> const& steps) {
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "step " << i);
    EXPECT_NE(input.handle_event(steps[i].event), InputOutcome::Ignored);
    EXPECT_EQ(input.text(), steps[i].text);
    EXPECT_EQ(input.caret_index(), steps[i].caret);
    EXPECT_EQ(input.selected_text(), steps[i].selected);
  }
}

} // namespace

TEST(TextInput, KeysMoveSelectAndDeleteAsDesktopFieldsDo) {
  struct Case {
    char const* name;
    std::string start;
    std::vector<Step> steps;
  } const cases[] = {
      {"Shift extends the selection with every movement",
       "Marienplatz 1",
       {{key(NamedKey::ArrowLeft, SHIFT), "Marienplatz 1", 12, "1"},
        {key(NamedKey::ArrowLeft, CTRL_SHIFT), "Marienplatz 1", 0, "Marienplatz 1"},
        {key(NamedKey::ArrowRight, SHIFT), "Marienplatz 1", 1, "arienplatz 1"},
        {key(NamedKey::End, SHIFT), "Marienplatz 1", 13, ""},
        {key(NamedKey::Home, SHIFT), "Marienplatz 1", 0, "Marienplatz 1"},
        {key(NamedKey::ArrowRight), "Marienplatz 1", 13, ""}}},
      {"Control moves and deletes by word",
       "Sendlinger Tor Platz",
       {{key(NamedKey::ArrowLeft, CTRL), "Sendlinger Tor Platz", 15, ""},
        {key(NamedKey::ArrowLeft, CTRL), "Sendlinger Tor Platz", 11, ""},
        {key(NamedKey::ArrowRight, CTRL), "Sendlinger Tor Platz", 14, ""},
        {key(NamedKey::Backspace, CTRL), "Sendlinger  Platz", 11, ""},
        {key(NamedKey::Delete, CTRL), "Sendlinger ", 11, ""},
        {key(NamedKey::Backspace, CTRL), "", 0, ""}}},
      {"Control+A, typing and deleting replace the selection",
       "Marienplatz",
       {{ctrl('a'), "Marienplatz", 11, "Marienplatz"},
        {typed("caf"), "caf", 3, ""},
        {key(NamedKey::Home, SHIFT), "caf", 0, "caf"},
        {key(NamedKey::Backspace), "", 0, ""},
        {typed("abc"), "abc", 3, ""},
        {key(NamedKey::ArrowLeft, SHIFT), "abc", 2, "c"},
        {key(NamedKey::Delete), "ab", 2, ""},
        {key(NamedKey::ArrowLeft, SHIFT), "ab", 1, "b"},
        {key(NamedKey::Space), "a ", 2, ""}}},
      {"Left and Right collapse a selection to its side",
       "abcd",
       {{ctrl('a'), "abcd", 4, "abcd"},
        {key(NamedKey::ArrowLeft), "abcd", 0, ""},
        {ctrl('A'), "abcd", 4, "abcd"},
        {key(NamedKey::ArrowRight), "abcd", 4, ""}}},
      {"the caret moves over a grapheme, Backspace takes one code point back",
       "e\xCC\x81x", // e, combining acute, x
       {{key(NamedKey::Home), "e\xCC\x81x", 0, ""},
        {key(NamedKey::ArrowRight), "e\xCC\x81x", 2, ""},
        {key(NamedKey::Backspace), "ex", 1, ""},
        {key(NamedKey::Home), "ex", 0, ""},
        {typed("e\xCC\x81"),
         "e\xCC\x81"
         "ex",
         2, ""},
        {key(NamedKey::Home),
         "e\xCC\x81"
         "ex",
         0, ""},
        {key(NamedKey::Delete), "ex", 0, ""}}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto input = focused_input(c.start);
    run_steps(input, c.steps);
  }
}

TEST(TextInput, OtherShortcutsAndUpDownAreLeftToTheOwner) {
  auto input = focused_input("abc");
  for (Event const& e : {ctrl('s'), ctrl('z'), key(NamedKey::ArrowUp), key(NamedKey::ArrowDown),
                         key(NamedKey::Tab), key(NamedKey::Escape)}) {
    EXPECT_EQ(input.handle_event(e), InputOutcome::Ignored);
  }
  EXPECT_EQ(input.text(), "abc");
}

TEST(TextInput, SettingTheSameTextKeepsCaretAndSelection) {
  auto input = focused_input("Marienplatz");
  input.handle_event(key(NamedKey::Home));
  input.handle_event(key(NamedKey::ArrowRight, CTRL_SHIFT));
  input.set_text("Marienplatz");
  EXPECT_EQ(input.caret_index(), 11u);
  EXPECT_EQ(input.selected_text(), "Marienplatz");
  input.handle_event(key(NamedKey::Home));
  input.set_text("Marienplatz");
  EXPECT_EQ(input.caret_index(), 0u) << "a frame that sets the same text moves no caret";
  input.set_text("Stachus");
  EXPECT_EQ(input.caret_index(), 7u) << "a new text from outside puts the caret at its end";
  EXPECT_FALSE(input.has_selection());
  EXPECT_FALSE(input.take_dirty());
}

TEST(TextInput, PointerPlacesCaretAndSelectsByDragWordAndLine) {
  std::string const text = "Sendlinger Tor";
  auto const at = [&](std::size_t i) { return x_before(text, i); };
  auto input = focused_input(text);
  (void)drawn(input); // positions come from the drawn layout
  struct Case {
    char const* name;
    std::vector<std::pair<Event, Modifiers>> events;
    std::size_t caret;
    std::string selected;
  } const cases[] = {
      {"a click goes to the nearest boundary", {{press(at(3) + 0.3), {}}}, 3, ""},
      {"Shift+click extends", {{press(at(3)), {}}, {press(at(10) - 0.3), SHIFT}}, 10, "dlinger"},
      {"a double click selects the word", {{press(at(12), 2), {}}}, 14, "Tor"},
      {"a triple click selects all", {{press(at(12), 3), {}}}, 14, "Sendlinger Tor"},
      {"a drag selects until release",
       {{press(at(1)), {}}, {drag(at(6)), {}}, {release(at(6)), {}}, {drag(at(9)), {}}},
       6,
       "endli"},
      {"a move without the button ends a drag whose release went elsewhere",
       {{press(at(1)), {}}, {drag(at(4)), {}}, {drag(at(6), false), {}}, {drag(at(9)), {}}},
       4,
       "end"},
      {"a drag after a double click extends by words",
       {{press(at(12), 2), {}}, {drag(at(2)), {}}},
       0,
       "Sendlinger Tor"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    input.handle_event(press(300)); // outside: unfocused, nothing selected
    for (auto const& [event, mods] : c.events) {
      deliver_text_input_event(input, event, mods, 1.0);
    }
    EXPECT_TRUE(input.focused());
    EXPECT_EQ(input.caret_index(), c.caret);
    EXPECT_EQ(input.selected_text(), c.selected);
  }
}

class TextInputClipboard : public zarn_ui::test::SdlVideoTest {};

TEST_F(TextInputClipboard, CopyCutAndPasteGoThroughTheDesktopClipboard) {
  auto from = focused_input("Marienplatz 1");
  auto to = focused_input("Go to ");
  set_clipboard_text("untouched");
  from.handle_event(ctrl('c'));
  EXPECT_EQ(clipboard_text(), "untouched") << "nothing selected, nothing copied";

  from.handle_event(ctrl('a'));
  EXPECT_EQ(from.handle_event(ctrl('c')), InputOutcome::Consumed);
  EXPECT_EQ(clipboard_text(), "Marienplatz 1");
  EXPECT_EQ(from.text(), "Marienplatz 1");
  EXPECT_FALSE(from.take_dirty());
  to.handle_event(ctrl('v'));
  EXPECT_EQ(to.text(), "Go to Marienplatz 1");
  EXPECT_TRUE(to.take_dirty());

  to.handle_event(key(NamedKey::ArrowLeft, CTRL_SHIFT));
  to.handle_event(key(NamedKey::ArrowLeft, CTRL_SHIFT));
  EXPECT_EQ(to.handle_event(ctrl('x')), InputOutcome::Consumed);
  EXPECT_EQ(to.text(), "Go to ");
  EXPECT_EQ(clipboard_text(), "Marienplatz 1");

  // The older keys do the same: Control+Insert copies, Shift+Delete cuts, Shift+Insert pastes.
  auto cua = focused_input("Tor");
  cua.handle_event(key(NamedKey::Home, SHIFT));
  cua.handle_event(key(NamedKey::Insert, CTRL));
  EXPECT_EQ(clipboard_text(), "Tor");
  set_clipboard_text("");
  cua.handle_event(key(NamedKey::Delete, SHIFT));
  EXPECT_EQ(cua.text(), "");
  EXPECT_EQ(clipboard_text(), "Tor");
  cua.handle_event(key(NamedKey::Insert, SHIFT));
  cua.handle_event(key(NamedKey::Insert, SHIFT));
  EXPECT_EQ(cua.text(), "TorTor");

  // A pasted text of several lines stays on one, and replaces the selection.
  set_clipboard_text("Residenzstr. 1\r\n80333 M\xC3\xBCnchen\tDE");
  to.handle_event(ctrl('a'));
  to.handle_event(ctrl('v'));
  EXPECT_EQ(to.text(), "Residenzstr. 1 80333 M\xC3\xBCnchen DE");
}

TEST_F(TextInputClipboard, SelectingSetsThePrimarySelectionAndMiddleClickPastesIt) {
  std::string const text = "Sendlinger Tor";
  auto source = focused_input(text);
  (void)drawn(source);
  source.handle_event(press(x_before(text, 12), 2));
  source.handle_event(release(x_before(text, 12)));
  EXPECT_EQ(primary_selection_text(), "Tor");

  auto target = focused_input("ab");
  target.set_focused(false);
  (void)drawn(target);
  EXPECT_EQ(target.handle_event(press(x_before("ab", 1), 1, 2)), InputOutcome::Consumed);
  EXPECT_TRUE(target.focused());
  EXPECT_EQ(target.text(), "aTorb");
  EXPECT_EQ(target.caret_index(), 4u);
}

TEST_F(TextInputClipboard, TheLengthCapCutsTypingPastingAndSetText) {
  struct Case {
    char const* name;
    std::string start;
    std::vector<Event> events;
    std::string clipboard;
    std::string text;
    bool dirty;
  } const cases[] = {
      {"typing stops at the cap", "", {typed("abcdefg")}, "", "abcde", true},
      {"a full field takes nothing more", "abcde", {typed("x")}, "", "abcde", false},
      {"a paste replacing a selection gets the room it frees",
       "abcde",
       {key(NamedKey::ArrowLeft), key(NamedKey::ArrowLeft, SHIFT), key(NamedKey::ArrowLeft, SHIFT),
        ctrl('v')},
       "1234",
       "ab12e",
       true},
      {"the cap counts code points, not bytes",
       "",
       {ctrl('v')},
       "\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC",
       "\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC",
       true},
      {"a text set from outside is cut too", "123456789", {}, "", "12345", false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto input = focused_input("").with_max_length(5);
    input.set_text(c.start);
    set_clipboard_text(c.clipboard);
    for (Event const& e : c.events) {
      input.handle_event(e);
    }
    EXPECT_EQ(input.text(), c.text);
    EXPECT_EQ(input.take_dirty(), c.dirty);
  }
  auto input = focused_input("abcdef");
  input.set_max_length(3);
  EXPECT_EQ(input.text(), "abc");
  EXPECT_EQ(input.caret_index(), 3u);
}

TEST(TextInput, CompositionShowsUnderlinedAtTheCaretUntilCommitted) {
  auto input = focused_input("Caf");
  EXPECT_EQ(input.handle_event(composing("\xC2\xB4", 1)), InputOutcome::Consumed); // dead acute
  EXPECT_EQ(input.text(), "Caf");
  EXPECT_EQ(input.composition(), "\xC2\xB4");
  Scene const scene = drawn(input);
  auto const texts = commands<TextCmd>(scene);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, "Caf\xC2\xB4");
  auto const strokes = commands<StrokeCmd>(scene);
  ASSERT_EQ(strokes.size(), 2u) << "the underline and the caret";
  Line const underline = std::get<Line>(strokes[0].shape);
  EXPECT_NEAR(underline.p0.x, x_before("Caf", 3), 0.5);
  EXPECT_GT(underline.p1.x, underline.p0.x + 1.0);
  Line const caret = std::get<Line>(strokes[1].shape);
  EXPECT_NEAR(caret.p0.x, underline.p1.x, 0.01) << "the caret at the composition's cursor";

  // The input method owns the editing keys while it composes.
  EXPECT_EQ(input.handle_event(key(NamedKey::Enter)), InputOutcome::Consumed);
  EXPECT_EQ(input.handle_event(key(NamedKey::Backspace)), InputOutcome::Consumed);
  EXPECT_EQ(input.text(), "Caf");
  EXPECT_FALSE(input.take_dirty());

  input.handle_event(typed("\xC3\xA9"));
  EXPECT_EQ(input.text(), "Caf\xC3\xA9");
  EXPECT_EQ(input.composition(), "");
  EXPECT_TRUE(input.take_dirty());
  input.handle_event(composing("x", 1));
  input.handle_event(composing("", 0));
  EXPECT_EQ(input.composition(), "") << "an empty composition ends it";
  EXPECT_EQ(input.handle_event(key(NamedKey::Enter)), InputOutcome::Submitted);
}

TEST(TextInput, LongTextDrawsOnlyItsVisiblePartAndMapsPresses) {
  std::string text;
  while (text.size() < 100'000) {
    text += "Marienplatz ";
  }
  auto input = focused_input("").with_max_length(200'000);
  input.set_text(text);
  ASSERT_EQ(input.text().size(), text.size());

  Scene const end = drawn(input);
  auto texts = commands<TextCmd>(end);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_LT(texts[0].text.size(), 200u) << "only what the field shows is shaped for drawing";
  EXPECT_TRUE(text.ends_with(texts[0].text));
  auto const caret = std::get<Line>(commands<StrokeCmd>(end).at(0).shape);
  EXPECT_GT(caret.p0.x, 150.0);
  EXPECT_LE(caret.p0.x, 200.0);

  // A press in the scrolled field lands among the last characters, where it points.
  input.handle_event(press(100.0));
  EXPECT_GT(input.caret_index(), text.size() - 30);
  EXPECT_LT(input.caret_index(), text.size() - 5);

  input.handle_event(key(NamedKey::Home));
  texts = commands<TextCmd>(drawn(input));
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_TRUE(texts[0].text.starts_with("Marienplatz Mar"));
  EXPECT_LT(texts[0].text.size(), 200u);
  EXPECT_NEAR(texts[0].transform.e, TextInput::PADDING, 0.01);
}

TEST(TextInput, SelectionIsPaintedInTheThemesSelectionColours) {
  std::string const text = "Sendlinger Tor";
  for (Theme const& theme : {Theme::light(), Theme::dark(), Theme::high_contrast()}) {
    SCOPED_TRACE(static_cast<int>(theme.kind));
    auto input = focused_input(text);
    input.handle_event(key(NamedKey::ArrowLeft, CTRL_SHIFT));
    Scene const scene = drawn(input, theme);
    auto const fills = commands<FillCmd>(scene);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].color, theme.selection);
    Rect const r = std::get<Rect>(fills[0].shape);
    EXPECT_NEAR(r.x0, x_before(text, 11), 0.5);
    EXPECT_NEAR(r.x1, x_before(text, 14), 0.5);
    // Selected text in its own colour where that differs: the text again, clipped to the span.
    auto const texts = commands<TextCmd>(scene);
    ASSERT_EQ(texts.size(), theme.on_selection == theme.text ? 1u : 2u);
    EXPECT_EQ(texts.back().color, theme.on_selection);
  }
}

TEST(TextInput, CaretBlinksWhileFocusedUnlessMotionIsReduced) {
  base::ManualClock clock;
  auto input = TextInput::local().with_kind(2, 15.0f).with_caret_blink(clock);
  input.set_rect({0, 0, 200, 32});
  input.set_text("Tor");
  EXPECT_EQ(input.caret_deadline(false), std::nullopt) << "no focus, no wake-ups";
  input.set_focused(true);

  auto const caret_drawn = [&](bool reduce_motion) {
    return !commands<StrokeCmd>(drawn(input, Theme::dark().with_reduce_motion(reduce_motion)))
                .empty();
  };
  EXPECT_TRUE(caret_drawn(false));
  EXPECT_EQ(input.caret_deadline(false), clock.now() + 800ms);
  clock.advance(800ms);
  EXPECT_FALSE(caret_drawn(false));
  EXPECT_EQ(input.caret_deadline(false), clock.now() + 400ms);
  EXPECT_TRUE(caret_drawn(true)) << "reduced motion keeps the caret shown";
  EXPECT_EQ(input.caret_deadline(true), std::nullopt);

  clock.advance(100ms);
  input.handle_event(key(NamedKey::ArrowLeft));
  EXPECT_TRUE(caret_drawn(false)) << "editing shows the caret at once";
  EXPECT_EQ(input.caret_deadline(false), clock.now() + 800ms);

  input.set_focused(false);
  EXPECT_EQ(input.caret_deadline(false), std::nullopt);
}

TEST(TextInput, RightToLeftTextMapsPressesAndSelectionsByItsOwnDirection) {
  std::string const text = "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"; // four Hebrew letters
  TextRenderer renderer;
  double const width = renderer.measure(text, 15.0f);
  auto input = focused_input(text);
  Scene const scene = drawn(input);
  ASSERT_EQ(commands<TextCmd>(scene).at(0).text, text);
  // The first letter stands at the right: a press there puts the caret before it.
  input.handle_event(press(TextInput::PADDING + width - 1.0));
  EXPECT_EQ(input.caret_index(), 0u);
  input.handle_event(press(TextInput::PADDING + 1.0));
  EXPECT_EQ(input.caret_index(), 4u);
  input.handle_event(key(NamedKey::ArrowRight, SHIFT)); // logical order: nothing after the end
  input.handle_event(key(NamedKey::ArrowLeft, SHIFT));
  auto const fills = commands<FillCmd>(drawn(input));
  ASSERT_EQ(fills.size(), 1u);
  Rect const r = std::get<Rect>(fills[0].shape);
  EXPECT_NEAR(r.x0, TextInput::PADDING, 0.5) << "the last letter, leftmost";
  EXPECT_GT(r.width(), 2.0);
  EXPECT_LT(r.x1, TextInput::PADDING + width / 2);
}
