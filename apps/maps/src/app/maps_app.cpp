#include "app/maps_app.h"

#include <cstdio>
#include <cstdlib>

#include "app/overflow_menu.h"
#include "platform/layout/layout.h"
#include "platform/scene/scene.h"
#include "platform/theme/theme.h"

namespace maps {

MapsApp build_maps_app(MapModel model, StreetNetwork road_network, TileCache tiles, bool nav_open,
                       bool live) {
  MapsApp app; // creates the results channel
  app.search_box = new_search_box();
  app.endpoints = new_endpoint_editor();
  // The choice is read back by index after the menu handled an event.
  for (std::string_view label : {"Attribution", "Offline maps", "Licenses", "Float navigation"}) {
    app.overflow_menu.push(zarn_ui::widget::context_menu_item(label));
  }
  app.attribution_sheet = new_attribution_sheet();
  // The size is measured when the panel opens, off the UI thread: a walk of a large cache here
  // would delay the first frame.
  app.offline_panel = new_offline_panel(0);
  app.model = std::move(model);
  app.road_network = std::move(road_network);
  app.tiles = std::move(tiles);
  app.nav_open = nav_open;
  app.live = live;
  return app;
}

MapsApp default_maps_app() {
  return build_maps_app(default_map_model(), StreetNetwork{}, default_tile_cache(), false, true);
}

zarn_ui::layout::NodeId MapsApp::build_layout(zarn_ui::layout::LayoutTree& tree,
                                              zarn_ui::Theme const& /*theme*/,
                                              zarn_ui::widget::NodeWidgetMap& map) {
  auto node = tree.new_leaf(zarn_ui::layout::Style{});
  if (!node) {
    std::fprintf(stderr, "maps: could not create the layout node: %s\n", node.error().c_str());
    std::abort();
  }
  map.insert_or_assign(*node, this);
  layout_node = *node;
  return *node;
}

void MapsApp::apply_layout(zarn_ui::layout::LayoutTree const& tree, zarn_ui::Point origin,
                           zarn_ui::layout::NodeId node) {
  auto const box = tree.layout(node);
  if (!box) {
    return;
  }
  double const left = origin.x + box->x;
  double const top = origin.y + box->y;
  window_rect_ = zarn_ui::Rect{left, top, left + box->width, top + box->height};
  keep_overflow_menu_anchored(*this); // the menu stays above its button as the window resizes
  if (live && !places_box && !map_idle_deadline && box->width > 1.0f && model.zoom >= 14.0) {
    map_idle_deadline = now() + MAP_IDLE_DELAY;
  }
}

namespace {

bool download_unfinished(TileCache const& tiles) {
  return tiles.offline_total != 0 && tiles.offline_done < tiles.offline_total;
}

} // namespace

bool MapsApp::is_busy() const {
  return jobs_in_flight > 0 || !doc_loaded || !unrecorded_searches.empty() || locating ||
         location_rx.has_value() || map_idle_deadline.has_value() || !tiles.pending.empty() ||
         download_unfinished(tiles);
}

// Answers of requests, tiles and location fixes wake the window by themselves; only what moves
// on screen on its own, or work left for the next tick, asks for frames.
bool MapsApp::needs_frame() const {
  // A frame at a new zoom draws the map's layers directly, the next one from cached tiles: that
  // one is drawn now, not at the next input, whose small repaint would then repaint the map.
  bool const map_unsettled = map_raster.enabled && !map_raster.zoom_steady &&
                             map_raster.last_zoom && map_raster.last_zoom != map_settle_asked;
  return nav_drag.has_value() || (!reduce_motion && nav_placement.is_handoff_animating()) ||
         !unrecorded_searches.empty() || // the next tick records them
         map_unsettled;
}

std::optional<base::Instant> MapsApp::next_deadline() const {
  std::optional<base::Instant> next;
  // A focused field's blinking caret wakes the loop; an unfocused one has no deadline.
  for (auto const& t :
       {search_box.debounce, endpoints.debounce, offline_panel.debounce, map_idle_deadline,
        tooltips.deadline(), tiles.next_retry(), search_box.input.caret_deadline(reduce_motion),
        endpoints.origin_input.caret_deadline(reduce_motion),
        endpoints.dest_input.caret_deadline(reduce_motion)}) {
    if (t && (!next || *t < *next)) {
      next = t;
    }
  }
  return next;
}

std::optional<zarn_ui::Rect> MapsApp::modal_rect() const {
  if (attribution_sheet_open(attribution_sheet)) {
    return attribution_sheet.dialog.box_rect;
  }
  if (offline_panel.open && !offline_panel.targets.empty()) {
    return offline_panel.targets.front().rect;
  }
  return std::nullopt;
}

} // namespace maps
