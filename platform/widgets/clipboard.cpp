#include "platform/widgets/clipboard.h"

#include <SDL.h>

namespace zarn_ui::widget {

namespace {

std::string take(char* text) {
  std::string out = text != nullptr ? text : "";
  SDL_free(text);
  return out;
}

} // namespace

std::string clipboard_text() {
  return take(SDL_GetClipboardText());
}

void set_clipboard_text(std::string_view text) {
  (void)SDL_SetClipboardText(std::string(text).c_str());
}

std::string primary_selection_text() {
  return take(SDL_GetPrimarySelectionText());
}

void set_primary_selection_text(std::string_view text) {
  (void)SDL_SetPrimarySelectionText(std::string(text).c_str());
}

} // namespace zarn_ui::widget
