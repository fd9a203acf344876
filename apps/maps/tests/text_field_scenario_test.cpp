// The search field edited as a user edits it: keys through handle_event with a frame drawn
// after each, as the window loop runs them. Every frame's tick hands the model's query to the
// field, so these sessions show that the field keeps its caret and selection across frames.

#include <string>

#include <gtest/gtest.h>

#include "base/utf8.h"
#include "model/limits.h"
#include "platform/tests/sdl_video_test.h"
#include "platform/widgets/clipboard.h"
#include "scenario.h"

namespace maps::test {
namespace {

using zarn_ui::Key;
using zarn_ui::NamedKey;

constexpr zarn_ui::Modifiers CTRL{false, true, false, false};
constexpr zarn_ui::Modifiers SHIFT{true, false, false, false};

void ctrl(Session& s, char c) {
  s.send(Key{true, std::string(1, c), CTRL});
  s.frame();
}

void named(Session& s, NamedKey k, zarn_ui::Modifiers mods = {}) {
  s.send(Key{true, k, mods});
  s.frame();
}

/// The demo starts with "Marienplatz" in the search field; "/" focuses it from the map.
void focus_with_slash(Session& s) {
  ASSERT_EQ(s.app().model.query, "Marienplatz");
  s.type("/");
  ASSERT_TRUE(s.app().search_box.editing);
}

class TextFieldScenario : public zarn_ui::test::SdlVideoTest {};

TEST_F(TextFieldScenario, EditingKeysActOnTheFieldAcrossFrames) {
  struct Case {
    char const* name;
    void (*script)(Session&);
    char const* query;
  } const cases[] = {
      {"focusing with / selects the old query, so typing replaces it",
       [](Session& s) { s.type("caf"); }, "caf"},
      {"Home moves the caret to the start and it stays there",
       [](Session& s) {
         named(s, NamedKey::ArrowRight); // collapses the selection at its end
         named(s, NamedKey::Home);
         s.type("U-");
       },
       "U-Marienplatz"},
      {"arrows move by character",
       [](Session& s) {
         named(s, NamedKey::End);
         named(s, NamedKey::ArrowLeft);
         named(s, NamedKey::ArrowLeft);
         s.type("_");
       },
       "Marienpla_tz"},
      {"Ctrl+A then typing replaces the whole text",
       [](Session& s) {
         named(s, NamedKey::End);
         s.type(" 1");
         ctrl(s, 'a');
         s.type("x");
       },
       "x"},
      {"Ctrl+Backspace deletes a word",
       [](Session& s) {
         named(s, NamedKey::End);
         s.type(" Platz");
         named(s, NamedKey::Backspace, CTRL);
       },
       "Marienplatz "},
      {"Shift+Home selects back to the start; Backspace removes it",
       [](Session& s) {
         named(s, NamedKey::End);
         named(s, NamedKey::ArrowLeft);
         named(s, NamedKey::Home, SHIFT);
         named(s, NamedKey::Backspace);
       },
       "z"},
      {"copy and paste go through the desktop clipboard",
       [](Session& s) {
         ctrl(s, 'c');
         named(s, NamedKey::End);
         s.type(" ");
         ctrl(s, 'v');
       },
       "Marienplatz Marienplatz"},
      {"cut empties the field and the clipboard holds the text",
       [](Session& s) {
         ctrl(s, 'x');
         EXPECT_EQ(zarn_ui::widget::clipboard_text(), "Marienplatz");
       },
       ""},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Session s({}, 1280, 800);
    focus_with_slash(s);
    c.script(s);
    EXPECT_EQ(s.app().model.query, c.query);
    EXPECT_EQ(s.app().search_box.input.text(), c.query);
  }
}

TEST_F(TextFieldScenario, APasteLongerThanTheFieldIsCutAtItsLimit) {
  Session s({}, 1280, 800);
  focus_with_slash(s);
  std::string longer;
  for (int i = 0; i < 20'000; ++i) {
    longer += "\xC3\xA9t\xC3\xA9 "; // "été ", two-byte characters across the cut
  }
  zarn_ui::widget::set_clipboard_text(longer);
  ctrl(s, 'v');
  EXPECT_EQ(base::utf8::length(s.app().model.query), MAX_QUERY_CHARS);
  EXPECT_TRUE(base::utf8::is_valid(s.app().model.query));
  s.type("x"); // a full field takes no more
  EXPECT_EQ(base::utf8::length(s.app().model.query), MAX_QUERY_CHARS);
}

TEST_F(TextFieldScenario, AClickPlacesTheCaretWhereTheUserPointed) {
  Session s({}, 1280, 800);
  auto const field = s.app().search_box.input.rect();
  // Left of the first character: the caret goes to the start, not to the end of the text.
  s.click({field.x0 + 1.0, (field.y0 + field.y1) / 2});
  ASSERT_TRUE(s.app().search_box.editing);
  s.type("U-");
  EXPECT_EQ(s.app().model.query, "U-Marienplatz");
}

TEST_F(TextFieldScenario, AQueryChangedFromOutsideReplacesTheFieldsText) {
  Session s({}, 1280, 800);
  focus_with_slash(s);
  s.type("caf");
  s.app().search_box.editing = false;
  s.app().model.query = "Viktualienmarkt"; // a search run again from the recents, say
  s.frame();
  EXPECT_EQ(s.app().search_box.input.text(), "Viktualienmarkt");
}

} // namespace
} // namespace maps::test
