#pragma once
// Performing the action of an element the application paints itself: a press on a hit target
// or a semantic action naming one.

#include "ui/ui_action.h"

namespace zarn_ui {
class State;
}

namespace maps {

class MapsApp;

/// Performs one action. Model changes go through dispatch_maps_action on the state's document;
/// stale indices and ids do nothing. The action is taken by value: performing it may rebuild
/// the hit targets it came from.
void perform_ui_action(MapsApp& app, zarn_ui::State& state, UiAction action);

} // namespace maps
