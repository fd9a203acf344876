#pragma once
// Painting of the "Navigation" card, in the window or on its own desktop surface; where it is
// placed is the application's (app/nav_card.h).

#include <optional>

#include "platform/theme/theme.h"
#include "ui/paint.h"

namespace maps {

class MapsApp;

/// Paints the card at `card` (navigation_card_rect when not given) through the placement's
/// hand-off transform and stores the End button and drag header rectangles where they are
/// painted; without a route it clears them (and the hover) and paints nothing.
void draw_nav_card(MapsApp& app, Scene& scene, Affine const& transform, TextRenderer const& text,
                   zarn_ui::Theme const& theme, std::optional<Rect> card = std::nullopt);
} // namespace maps
