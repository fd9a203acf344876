#include "app/nav_card.h"

#include <algorithm>

#include "app/maps_app.h"
#include "platform/surface/floating_placement.h"

namespace maps {

namespace {

using zarn_ui::floating_surface::PlacementEventKind;

Rect grown(Rect const& r, double by) {
  return {r.x0 - by, r.y0 - by, r.x1 + by, r.y1 + by};
}

} // namespace

Rect nav_card_bounds(MapsApp const& app) {
  return !app.detached_rect.is_empty() ? app.detached_rect : app.window_rect();
}

Rect navigation_card_rect(MapsApp const& app) {
  return app.nav_placement.rect(app.window_rect(), nav_card_bounds(app));
}

Rect nav_card_window_rect(MapsApp const& app) {
  Rect const card = navigation_card_rect(app);
  Rect const window = app.window_rect();
  double const w = card.width();
  double const h = card.height();
  double const x0 = std::max(std::min(card.x0, window.x1 - w), window.x0);
  double const y0 = std::max(std::min(card.y0, window.y1 - h), window.y0);
  return {x0, y0, x0 + w, y0 + h};
}

Rect nav_card_shown_rect(MapsApp const& app) {
  return nav_card_painted_in_window(app) ? nav_card_window_rect(app) : navigation_card_rect(app);
}

bool nav_card_visible_in_window(MapsApp const& app) {
  return app.model.route.has_value() && !app.nav_flags[2] && app.nav_placement.is_in_window() &&
         (!app.compact() || !app.nav_open);
}

bool nav_card_painted_in_window(MapsApp const& app) {
  if (!app.model.route) {
    return false;
  }
  return (!app.nav_placement.is_initial() && !app.nav_flags[1]) || nav_card_visible_in_window(app);
}

std::optional<zarn_ui::floating_surface::SurfaceSpec> nav_surface_spec(MapsApp const& app) {
  if (!app.model.route) {
    return std::nullopt;
  }
  zarn_ui::floating_surface::SurfaceSpec spec;
  spec.surface_id = NAV_SURFACE_ID;
  spec.title = "Active navigation";
  spec.app_id = "test.zarn.maps";
  spec.kind = "active-navigation";
  spec.rect = grown(navigation_card_rect(app), NAV_SURFACE_MARGIN);
  spec.flag = true;
  return spec;
}

void forget_nav_card_rects(MapsApp& app) {
  app.nav_card_hover = false;
  app.nav_card_rects = {};
}

void apply_nav_placement_event(MapsApp& app,
                               zarn_ui::floating_surface::PlacementEvent const& event) {
  if (!nav_surface_spec(app) || event.surface_id != NAV_SURFACE_ID) {
    return;
  }
  Rect const window = app.window_rect();
  switch (event.kind) {
  case PlacementEventKind::ReturnToApp:
    app.nav_placement.reattach_to_app(window, nav_card_bounds(app));
    break;
  case PlacementEventKind::AdoptedByApp:
    app.nav_placement.confirm_app_adoption(window);
    break;
  case PlacementEventKind::Moved:
    app.nav_placement.move_to_desktop(zarn_ui::floating_surface::protocol_rect(event.rect));
    app.nav_flags[1] = event.flag;
    break;
  case PlacementEventKind::Configured:
    if (app.nav_placement.state() == zarn_ui::surface::PlacementState::Detached) {
      app.nav_flags[0] = true;
      app.nav_flags[1] = true;
    }
    break;
  }
}

// The floating-surface side of the application object.

std::optional<zarn_ui::floating_surface::SurfaceSpec> MapsApp::take_surface_request() {
  return std::exchange(surface_request, std::nullopt);
}

std::vector<zarn_ui::floating_surface::DetachedSurface> MapsApp::detached_surface() const {
  auto const spec = nav_surface_spec(*this);
  if (!spec || !(nav_flags[2] || !nav_placement.is_in_window())) {
    return {};
  }
  return {zarn_ui::floating_surface::DetachedSurface{spec->surface_id, spec->title, spec->rect,
                                                     nav_flags[2]}};
}

std::optional<zarn_ui::floating_surface::SurfaceSpec> MapsApp::surface_spec() const {
  return nav_surface_spec(*this);
}

void MapsApp::set_detached_rect(Rect rect) {
  detached_rect = rect;
}

void MapsApp::apply_placement_event(zarn_ui::floating_surface::PlacementEvent const& event) {
  apply_nav_placement_event(*this, event);
}

} // namespace maps
