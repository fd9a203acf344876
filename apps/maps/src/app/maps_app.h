#pragma once
// MapsApp: the one application object. The platform owns it for the life of the window and
// drives it through the widget interface: the per-frame tick, layout, drawing, input and
// actions. It holds the live model, all UI state, the ends of the worker channels, the tile
// cache and the action host. Everything here runs on the UI thread; its operations are defined
// in one source file per concern.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "model/types.h"
#include "net/poi.h"
#include "platform/actions/host.h"
#include "platform/scene/geometry.h"
#include "platform/widget/widget.h"
#include "shell/street_network.h"

namespace maps {

/// Requests are debounced this long after the last edit.
inline constexpr auto INPUT_DEBOUNCE = std::chrono::milliseconds(280);
/// Nearby places load this long after the map stops moving.
inline constexpr auto MAP_IDLE_DELAY = std::chrono::milliseconds(450);

/// Latitude/longitude box: south, west, north, east.
using LatLonBox = std::array<double, 4>;

class MapsApp final : public zarn_ui::widget::Widget {
 public:
  // Owned members, in the order they are released.
  MapModel model;
  StreetNetwork road_network;
  zarn_actions::ActionHost actions;
  std::vector<Poi> nearby_pois;
  std::optional<std::string> selected_poi;
  TrafficOverlay traffic;

  // Plain members.
  std::optional<zarn_ui::layout::NodeId> layout_node;
  std::optional<LatLonBox> places_box;
  std::optional<std::uint32_t> nav_drag;
  std::array<double, 2> nav_card_size{360.0, 156.0};
  std::array<bool, 3> nav_flags{false, false, false};
  zarn_ui::Rect map_rect;
  bool traffic_on = false;
  std::uint8_t hot_control = 255;
  std::optional<base::Instant> map_idle_deadline;
  zarn_ui::Rect window_rect_;
  std::array<double, 2> pointer_pos{0.0, 0.0};
  std::array<double, 2> drag_last{0.0, 0.0};
  std::array<double, 3> panel_scroll{0.0, 0.0, 0.0};
  zarn_ui::Rect detached_rect;
  std::uint64_t places_generation = 0;
  std::uint32_t jobs_in_flight = 0;
  bool pointer_down = false;
  bool map_press = false;
  bool map_dragged = false;
  bool doc_loaded = false;
  bool live = true;
  bool locating = false;
  bool nav_open = false;
  bool panel_collapsed = false;
  bool nav_card_hover = false;
  bool reduce_motion = false;

  /// "Now" for debounces and deadlines; tests replace it.
  base::Clock const* clock = &base::system_clock();

  // Widget interface.
  std::string_view type_name() const override { return "MapsApp"; }
  std::string_view widget_id() const override { return "maps_app"; }
  zarn_ui::layout::NodeId build_layout(zarn_ui::layout::LayoutTree& tree, zarn_ui::Theme const& theme,
                                       zarn_ui::widget::NodeWidgetMap& map) override;
  void apply_layout(zarn_ui::layout::LayoutTree const& tree, zarn_ui::Point origin,
                    zarn_ui::layout::NodeId node) override;
  void draw(zarn_ui::Scene& scene, zarn_ui::Affine transform,
            zarn_ui::widget::DrawCtx const& ctx) override;
  zarn_ui::Rect window_rect() const override { return window_rect_; }
  void set_reduce_motion(bool on) override { reduce_motion = on; }
  bool is_busy() const override;
  bool needs_frame() const override;
  std::optional<zarn_ui::Rect> modal_rect() const override;
  bool is_dragging_surface() const override { return nav_drag.has_value(); }

  base::Instant now() const { return clock->now(); }
};

/// The application object around a model: channels, inputs and panels in their initial state.
MapsApp build_maps_app(MapModel model, StreetNetwork road_network, bool nav_open, bool live);

/// The plain start: default model, no street network, live services.
MapsApp default_maps_app();

}  // namespace maps
