#pragma once
// Keyboard focus of the window: the order Tab visits the controls in, moving the focus, using
// the focused control with Enter or Space, arrows within a group of rows, and where the focus
// ring goes. The open menu and sheet keep their own highlight; the offline panel has its own
// order.

#include <string>
#include <vector>

#include "platform/widget/event.h"
#include "ui/ui_action.h"

namespace zarn_ui {
class State;
}

namespace maps {

class MapsApp;

/// The controls Tab visits, in reading order: the search field and its suggestion rows, the
/// clear button, the panel's controls top to bottom and left to right, the map controls, the
/// menu button, then the navigation card's End button. While the offline panel is open, its
/// controls in its own order. Controls without an area are left out.
std::vector<SemanticControl> focus_order(MapsApp const& app);

/// The id of the control that holds the keyboard focus now: the offline panel's while it is
/// open, else the text field being edited or its highlighted row, else the main view's focus.
std::string current_focus_id(MapsApp const& app);

/// The keys the focus takes: Tab and Shift+Tab move it (also out of a text field), Enter and
/// Space use the focused control, arrows move within a group of rows (travel modes, results,
/// recents, journeys). True when taken; other keys are left to the global keys.
bool focus_key(MapsApp& app, zarn_ui::State* state, zarn_ui::Key const& key);

/// The space bar, as a named key or as the text the window types for it.
bool is_space_bar(zarn_ui::Key const& key);

/// Keeps the ring's rectangle on the focused control as the last frame placed it, while the ring
/// shows; none when the control is gone.
void refresh_focus_rect(MapsApp& app);

} // namespace maps
