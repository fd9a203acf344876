#pragma once
// How the targets the application paints are presented to the accessibility and automation
// layer: each action's label, id, role and state, read from the model and the application.

#include <optional>

#include "ui/ui_action.h"

namespace maps {

class MapsApp;

/// Label, id, role and state of a target's action, read from the model and the application's
/// fields. Nothing for None, CloseNavigation and an inert part of the search box. Stale indices
/// and ids fall back to generic labels; the rect is left zero.
std::optional<SemanticControl> ui_action_spec(MapsApp const& app, UiAction const& action);

/// ui_action_spec of the target's action with the target's rect.
std::optional<SemanticControl> hit_target_spec(MapsApp const& app, HitTarget const& target);

} // namespace maps
