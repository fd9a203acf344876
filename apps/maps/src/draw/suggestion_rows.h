#pragma once
// The rows of a suggested-places card, shared by the search box's list and the list under a
// route endpoint field: the card's geometry, the selected row's tint and a row's texts.

#include <cstddef>

#include "model/types.h"
#include "platform/theme/theme.h"
#include "ui/paint.h"
#include "ui/suggestion_list.h"

namespace maps {

class MapsApp;

/// Between an input and its list.
inline constexpr double CARD_GAP = 6.0;

double suggestions_card_height(std::size_t rows);

/// The pressable rectangle of the row whose top is `y`.
Rect row_rect(Rect const& card, double y);

/// The top of row `i`.
double row_top(Rect const& card, std::size_t i);

/// Distance, name and address of one row; the icon is the caller's.
void paint_row_texts(MapsApp const& app, Scene& scene, Affine const& t, TextRenderer const& text,
                     zarn_ui::Theme const& theme, Rect const& card, double y, Place const& place);

/// The model's selected place stands out in a list.
void paint_selected_row(MapsApp const& app, Scene& scene, Affine const& t,
                        zarn_ui::Theme const& theme, Rect const& row, Place const& place);

/// The row the arrow keys rest on.
void paint_highlighted_row(Scene& scene, Affine const& t, zarn_ui::Theme const& theme,
                           Rect const& row);

} // namespace maps
