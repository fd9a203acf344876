#pragma once
// Painting of the route endpoint editor: one endpoint field's frame and the list of suggested
// places under the field being edited, each registering its pressable areas in the editor's own
// hit list (searched before the application's hit targets).

#include "endpoint_editor/endpoint_editor.h"
#include "platform/theme/theme.h"
#include "ui/paint.h"

namespace maps {

class MapsApp;

/// Paints one endpoint field's frame (fill, outline, dot), pushes its field target into the
/// editor's list and answers the rectangle of the text input inside it. `field` is 0 (origin)
/// or 1 (destination).
Rect draw_endpoint_field(EndpointEditor& editor, Scene& scene, Affine const& t,
                         zarn_ui::Theme const& theme, Rect const& rect, Color dot,
                         std::uint8_t field);

/// The suggestions of the active endpoint field under its recorded input rectangle (or
/// "Searching…" while its text is not blank and it has none); appended to the endpoint
/// editor's hits. Nothing without an active field or without its input rectangle.
void draw_endpoint_suggestions(MapsApp& app, Scene& scene, Affine const& t,
                               TextRenderer const& text, zarn_ui::Theme const& theme);

} // namespace maps
