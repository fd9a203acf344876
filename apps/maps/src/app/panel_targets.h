#pragma once
// What the panel painters share: registering a pressable area in the frame's hit targets and
// painting the line of a text field.

#include "app/maps_app.h"
#include "app/paint.h"
#include "platform/theme/theme.h"
#include "platform/widgets/autocomplete.h"
#include "platform/widgets/text_input.h"

namespace maps {

/// Appends a target to `app.hit_targets`: later entries win a press.
inline void add_target(MapsApp& app, Rect const& rect, UiAction action) {
  app.hit_targets.push_back(HitTarget{rect, std::move(action)});
}

/// The input's text, or its placeholder in the secondary colour when empty, fitted into
/// `rect` and centred vertically.
void paint_text_input(TextRenderer const& text, Scene& scene, Affine const& t,
                      zarn_ui::Theme const& theme, zarn_ui::widget::TextInput const& input,
                      Rect const& rect);

/// The area search field: its frame and its text or placeholder.
void paint_autocomplete_field(TextRenderer const& text, Scene& scene, Affine const& t,
                              zarn_ui::Theme const& theme, zarn_ui::widget::Autocomplete const& box,
                              Rect const& field);

/// The field's open suggestion list below `field`, above everything painted before.
void paint_autocomplete_overlay(TextRenderer const& text, Scene& scene, Affine const& t,
                                zarn_ui::Theme const& theme,
                                zarn_ui::widget::Autocomplete const& box, Rect const& field);

}  // namespace maps
