#pragma once
// The "More map options" menu of the application: opening it anchored above the overflow button
// and performing its items (the attribution sheet, offline maps, licences, floating navigation).

#include <cstddef>

#include "ui/attribution_sheet.h"

namespace maps {

class MapsApp;

/// Performs the chosen overflow item; other indices do nothing.
void run_overflow_menu_item(MapsApp& app, std::size_t index);

/// Opens the overflow menu above and left of the point 16 px left of and 46 px above the
/// window's bottom-right corner: opened there once to learn its size, then moved.
void open_overflow_menu(MapsApp& app);
/// Opens the open menu again at its anchor when the window's size moved the anchor.
void keep_overflow_menu_anchored(MapsApp& app);

} // namespace maps
