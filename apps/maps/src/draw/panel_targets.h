#pragma once
// Registering a pressable area of a panel in the frame's hit targets.

#include "app/maps_app.h"

namespace maps {

/// Appends a target to `app.hit_targets`: later entries win a press.
inline void add_target(MapsApp& app, zarn_ui::Rect const& rect, UiAction action) {
  app.hit_targets.push_back(HitTarget{rect, std::move(action)});
}

} // namespace maps
