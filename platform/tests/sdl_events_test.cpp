#include "platform/launch/sdl_events.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zarn_ui::launch {
namespace {

SDL_Event key_event(Uint32 type, SDL_Keycode sym, Uint16 mod = KMOD_NONE) {
  SDL_Event e{};
  e.type = type;
  e.key.keysym.sym = sym;
  e.key.keysym.mod = mod;
  return e;
}

TEST(SdlEvents, NamedKeysKeepTheirStandardCodes) {
  struct Case {
    SDL_Keycode sym;
    std::uint16_t code;
  } const cases[] = {
      {SDLK_RETURN, 14}, {SDLK_KP_ENTER, 14}, {SDLK_DOWN, 17},   {SDLK_LEFT, 18},
      {SDLK_RIGHT, 19},  {SDLK_UP, 20},       {SDLK_ESCAPE, 42}, {SDLK_BACKSPACE, 25},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.sym);
    auto t = translate_sdl_event(key_event(SDL_KEYDOWN, c.sym), 1.0);
    ASSERT_TRUE(t);
    auto const& key = std::get<Key>(t->event);
    EXPECT_TRUE(key.pressed);
    EXPECT_EQ(static_cast<std::uint16_t>(std::get<NamedKey>(key.key)), c.code);
  }
}

TEST(SdlEvents, TypedTextArrivesOnceAndCommandKeysAsCharacters) {
  // A plain letter press waits for its text input event, so it is not delivered twice.
  EXPECT_FALSE(translate_sdl_event(key_event(SDL_KEYDOWN, SDLK_d), 1.0));
  SDL_Event text{};
  text.type = SDL_TEXTINPUT;
  std::strcpy(text.text.text, "\xC3\xBC");
  auto typed = translate_sdl_event(text, 1.0);
  ASSERT_TRUE(typed);
  EXPECT_EQ(std::get<std::string>(std::get<Key>(typed->event).key), "\xC3\xBC");

  auto ctrl_s = translate_sdl_event(key_event(SDL_KEYDOWN, SDLK_s, KMOD_LCTRL), 1.0);
  ASSERT_TRUE(ctrl_s);
  auto const& key = std::get<Key>(ctrl_s->event);
  EXPECT_EQ(std::get<std::string>(key.key), "s");
  EXPECT_TRUE(key.modifiers.control);

  auto released = translate_sdl_event(key_event(SDL_KEYUP, SDLK_d), 1.0);
  ASSERT_TRUE(released);
  EXPECT_FALSE(std::get<Key>(released->event).pressed);
}

TEST(SdlEvents, InputMethodCompositionArrivesWithItsCursor) {
  SDL_Event edit{};
  edit.type = SDL_TEXTEDITING;
  std::strcpy(edit.edit.text, "\xE3\x81\x8B\xE3\x81\xAA"); // two kana being composed
  edit.edit.start = 1;
  auto composing = translate_sdl_event(edit, 1.0);
  ASSERT_TRUE(composing);
  auto const& c = std::get<TextComposition>(composing->event);
  EXPECT_EQ(c.text, "\xE3\x81\x8B\xE3\x81\xAA");
  EXPECT_EQ(c.cursor, 1u);
}

TEST(SdlEvents, PointerPositionsArePhysicalPixels) {
  SDL_Event motion{};
  motion.type = SDL_MOUSEMOTION;
  motion.motion.x = 100;
  motion.motion.y = 40;
  auto moved = translate_sdl_event(motion, 2.0);
  ASSERT_TRUE(moved);
  auto const& p = std::get<PointerMoved>(moved->event);
  EXPECT_EQ(p.x, 200.0);
  EXPECT_EQ(p.y, 80.0);
  EXPECT_FALSE(p.primary_held);
  motion.motion.state = SDL_BUTTON_LMASK;
  EXPECT_TRUE(std::get<PointerMoved>(translate_sdl_event(motion, 2.0)->event).primary_held);

  SDL_Event press{};
  press.type = SDL_MOUSEBUTTONDOWN;
  press.button.button = SDL_BUTTON_RIGHT;
  press.button.x = 3;
  press.button.y = 4;
  auto pressed = translate_sdl_event(press, 1.5);
  ASSERT_TRUE(pressed);
  auto const& b = std::get<PointerButton>(pressed->event);
  EXPECT_EQ(b.button, 1u);
  EXPECT_EQ(b.state, ButtonState::Pressed);
  EXPECT_EQ(b.x, 4.5);
  EXPECT_EQ(b.clicks, 1) << "an event without a count is a single click";
  press.button.button = SDL_BUTTON_LEFT;
  press.button.clicks = 3;
  auto triple = translate_sdl_event(press, 1.0);
  ASSERT_TRUE(triple);
  EXPECT_EQ(std::get<PointerButton>(triple->event).clicks, 3);

  SDL_Event wheel{};
  wheel.type = SDL_MOUSEWHEEL;
  wheel.wheel.preciseY = 1.5f;
  wheel.wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
  auto scrolled = translate_sdl_event(wheel, 1.0);
  ASSERT_TRUE(scrolled);
  EXPECT_EQ(std::get<LineDelta>(std::get<Wheel>(scrolled->event).delta).lines, -1.5f);
}

} // namespace
} // namespace zarn_ui::launch
