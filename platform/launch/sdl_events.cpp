#include "platform/launch/sdl_events.h"

#include <algorithm>
#include <string>

namespace zarn_ui::launch {

namespace {

std::optional<NamedKey> named_key(SDL_Keycode sym) {
  switch (sym) {
  case SDLK_RETURN:
  case SDLK_KP_ENTER:
    return NamedKey::Enter;
  case SDLK_TAB:
    return NamedKey::Tab;
  case SDLK_DOWN:
    return NamedKey::ArrowDown;
  case SDLK_LEFT:
    return NamedKey::ArrowLeft;
  case SDLK_RIGHT:
    return NamedKey::ArrowRight;
  case SDLK_UP:
    return NamedKey::ArrowUp;
  case SDLK_END:
    return NamedKey::End;
  case SDLK_HOME:
    return NamedKey::Home;
  case SDLK_PAGEDOWN:
    return NamedKey::PageDown;
  case SDLK_PAGEUP:
    return NamedKey::PageUp;
  case SDLK_BACKSPACE:
    return NamedKey::Backspace;
  case SDLK_DELETE:
    return NamedKey::Delete;
  case SDLK_INSERT:
    return NamedKey::Insert;
  case SDLK_ESCAPE:
    return NamedKey::Escape;
  case SDLK_LSHIFT:
  case SDLK_RSHIFT:
    return NamedKey::Shift;
  case SDLK_LCTRL:
  case SDLK_RCTRL:
    return NamedKey::Control;
  case SDLK_LALT:
    return NamedKey::Alt;
  case SDLK_RALT:
    return NamedKey::AltGraph;
  case SDLK_LGUI:
  case SDLK_RGUI:
    return NamedKey::Super;
  case SDLK_CAPSLOCK:
    return NamedKey::CapsLock;
  case SDLK_APPLICATION:
    return NamedKey::ContextMenu;
  case SDLK_COPY:
    return NamedKey::Copy;
  case SDLK_CUT:
    return NamedKey::Cut;
  case SDLK_PASTE:
    return NamedKey::Paste;
  case SDLK_UNDO:
    return NamedKey::Undo;
  default:
    return std::nullopt;
  }
}

bool printable(SDL_Keycode sym) {
  return sym >= 0x20 && sym < 0x7F;
}

} // namespace

Modifiers modifiers_from_sdl(Uint16 mod) {
  return Modifiers{(mod & KMOD_SHIFT) != 0, (mod & KMOD_CTRL) != 0, (mod & KMOD_ALT) != 0,
                   (mod & KMOD_GUI) != 0};
}

std::optional<TranslatedEvent> translate_sdl_event(SDL_Event const& event, double scale) {
  Modifiers const mods = modifiers_from_sdl(static_cast<Uint16>(SDL_GetModState()));
  switch (event.type) {
  case SDL_MOUSEMOTION:
    return TranslatedEvent{PointerMoved{event.motion.x * scale, event.motion.y * scale,
                                        (event.motion.state & SDL_BUTTON_LMASK) != 0},
                           mods};
  case SDL_MOUSEBUTTONDOWN:
  case SDL_MOUSEBUTTONUP: {
    std::uint32_t button = 0;
    switch (event.button.button) {
    case SDL_BUTTON_LEFT:
      button = 0;
      break;
    case SDL_BUTTON_RIGHT:
      button = 1;
      break;
    case SDL_BUTTON_MIDDLE:
      button = 2;
      break;
    default:
      button = event.button.button;
      break;
    }
    auto const state =
        event.type == SDL_MOUSEBUTTONDOWN ? ButtonState::Pressed : ButtonState::Released;
    return TranslatedEvent{PointerButton{event.button.x * scale, event.button.y * scale, button,
                                         state, std::max<Uint8>(event.button.clicks, 1)},
                           mods};
  }
  case SDL_MOUSEWHEEL: {
    float lines = event.wheel.preciseY;
    if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) {
      lines = -lines;
    }
    return TranslatedEvent{Wheel{LineDelta{lines}}, mods};
  }
  case SDL_TEXTEDITING: {
    TextComposition composing;
    composing.text = event.edit.text;
    composing.cursor = static_cast<std::size_t>(std::max(event.edit.start, 0));
    return TranslatedEvent{std::move(composing), mods};
  }
  case SDL_TEXTINPUT:
    return TranslatedEvent{Key{true, std::string(event.text.text), mods}, mods};
  case SDL_KEYDOWN:
  case SDL_KEYUP: {
    bool const pressed = event.type == SDL_KEYDOWN;
    SDL_Keycode const sym = event.key.keysym.sym;
    Modifiers const key_mods = modifiers_from_sdl(event.key.keysym.mod);
    if (auto named = named_key(sym)) {
      return TranslatedEvent{Key{pressed, *named, key_mods}, key_mods};
    }
    if (!printable(sym)) {
      return std::nullopt;
    }
    // Typed characters arrive as text input (laid out, with IME); a press is delivered here
    // only with a command modifier, when no text input follows.
    if (pressed && !key_mods.control && !key_mods.super && !key_mods.alt) {
      return std::nullopt;
    }
    std::string text(1, static_cast<char>(sym));
    return TranslatedEvent{Key{pressed, std::move(text), key_mods}, key_mods};
  }
  default:
    return std::nullopt;
  }
}

} // namespace zarn_ui::launch
