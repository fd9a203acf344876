#include "app/overflow_menu.h"

#include <cmath>

#include "app/maps_app.h"
#include "app/nav_card.h"
#include "app/offline.h"

namespace maps {

namespace {

constexpr double MENU_ANCHOR_RIGHT = 16.0;
constexpr double MENU_ANCHOR_BOTTOM = 46.0;
constexpr double MENU_GAP = 6.0;

} // namespace

void run_overflow_menu_item(MapsApp& app, std::size_t index) {
  // The focus goes back to the menu's button, now or when the sheet or panel it opens closes.
  app.focus_id = "maps.overflow";
  switch (index) {
  case MENU_ATTRIBUTION:
    open_attribution_sheet(app.attribution_sheet, false);
    break;
  case MENU_OFFLINE_MAPS:
    open_offline_maps(app);
    break;
  case MENU_LICENSES:
    open_attribution_sheet(app.attribution_sheet, true);
    break;
  case MENU_FLOAT_NAVIGATION:
    if (app.model.route) {
      app.nav_placement.detach_to_desktop(navigation_card_rect(app));
      app.surface_request = nav_surface_spec(app);
    }
    break;
  default:
    break;
  }
}

void open_overflow_menu(MapsApp& app) {
  zarn_ui::Rect const window = app.window_rect();
  auto const x = static_cast<float>(window.x1 - MENU_ANCHOR_RIGHT);
  auto const y = static_cast<float>(window.y1 - MENU_ANCHOR_BOTTOM);
  app.overflow_menu.open_at(x, y);
  zarn_ui::Rect const r = app.overflow_menu.rect();
  app.overflow_menu.open_at(static_cast<float>(static_cast<double>(x) + (r.x0 - r.x1)),
                            static_cast<float>(static_cast<double>(y) + (r.y0 - r.y1) - MENU_GAP));
  // The open menu holds the keyboard focus on its first item, for keys and screen readers alike.
  (void)app.overflow_menu.handle_event(zarn_ui::Key{true, zarn_ui::NamedKey::Home, {}});
}

void keep_overflow_menu_anchored(MapsApp& app) {
  if (!app.overflow_menu.is_open()) {
    return;
  }
  // Its bottom-right corner stays above the overflow button when the window changes size.
  zarn_ui::Rect const window = app.window_rect();
  zarn_ui::Rect const r = app.overflow_menu.rect();
  double const right = static_cast<float>(window.x1 - MENU_ANCHOR_RIGHT);
  double const bottom = static_cast<float>(window.y1 - MENU_ANCHOR_BOTTOM);
  if (std::abs(r.x1 - right) > 0.5 || std::abs(r.y1 - (bottom - MENU_GAP)) > 0.5) {
    open_overflow_menu(app);
  }
}

} // namespace maps
