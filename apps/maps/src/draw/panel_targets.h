#pragma once
// Registering a pressable area of a panel in the frame's hit targets.

#include <string_view>

#include "app/maps_app.h"
#include "ui/paint.h"

namespace maps {

/// Records a painted text `size` high at (x, y), its width measured, for the accessibility tree.
inline void add_text(MapsApp& app, TextRenderer const& text, std::string_view s, float size,
                     double x, double y, bool heading) {
  double const w = measure_text(text, s, size);
  app.drawn_texts.push_back(
      DrawnText{std::string(s), zarn_ui::Rect{x, y, x + w, y + size * 1.4}, heading, {}});
}

/// Appends a target to `app.hit_targets`: later entries win a press.
inline void add_target(MapsApp& app, zarn_ui::Rect const& rect, UiAction action) {
  app.hit_targets.push_back(HitTarget{rect, std::move(action)});
}

} // namespace maps
