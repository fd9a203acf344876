#pragma once
// Event delivery to widgets that live outside the application's layout (its overlays): the
// overflow menu and the text inputs get each event with the modifier state that came with it.
// The dialog's delivery is in modal_dialog.h.

#include <cstddef>
#include <optional>

#include "platform/widget/event.h"
#include "platform/widgets/context_menu.h"
#include "platform/widgets/text_input.h"

namespace zarn_ui::widget {

/// The chosen index, if the event chose an item (also kept by the menu for take_chosen()).
inline std::optional<std::size_t> deliver_menu_event(ContextMenu& menu, Event const& event,
                                                     Modifiers /*modifiers*/, double scale) {
  return menu.handle_event(event, scale);
}

/// The input's outcome; the caller may also read take_dirty() afterwards. The modifiers reach
/// pointer events (Shift with a press extends the selection).
inline InputOutcome deliver_text_input_event(TextInput& input, Event const& event,
                                             Modifiers modifiers, double scale) {
  return input.handle_event(event, scale, modifiers);
}

} // namespace zarn_ui::widget
