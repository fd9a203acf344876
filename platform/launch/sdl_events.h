#pragma once
// Translation of SDL's events to the platform's: positions to physical pixels, SDL key codes to
// named keys, typed text to character keys, an input method's composition to TextComposition.

#include <SDL.h>

#include <optional>

#include "platform/widget/event.h"

namespace zarn_ui::launch {

struct TranslatedEvent {
  Event event;
  Modifiers modifiers;
};

Modifiers modifiers_from_sdl(Uint16 mod);

/// Pointer positions come out in physical pixels (window coordinates × `scale`, the display's
/// pixel ratio). nullopt for events that no widget sees (and for key presses whose text arrives
/// as text input).
std::optional<TranslatedEvent> translate_sdl_event(SDL_Event const& event, double scale);

} // namespace zarn_ui::launch
