#pragma once
// MapsApp: the one application object. The platform owns it for the life of the window and
// drives it through the widget interface: the per-frame tick, layout, drawing, input and
// actions. It holds the live model, all UI state, the ends of the worker channels, the tile
// cache and the action host. Everything here runs on the UI thread; its operations are defined
// in one source file per concern (tick, requests, camera, operations, dispatch, drawing).

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/requests.h"
#include "base/channel.h"
#include "base/clock.h"
#include "doc/load.h"
#include "doc/save_notice.h"
#include "endpoint_editor/endpoint_editor.h"
#include "geo/projection.h"
#include "geo/screen_lines.h"
#include "location/location.h"
#include "model/actions.h"
#include "model/types.h"
#include "net/poi.h"
#include "offline_panel/panel_state.h"
#include "platform/actions/host.h"
#include "platform/scene/geometry.h"
#include "platform/surface/floating_placement.h"
#include "platform/surface/floating_surface.h"
#include "platform/widget/widget.h"
#include "platform/widgets/context_menu.h"
#include "platform/widgets/tooltip.h"
#include "sample/sample_data.h"
#include "sample/street_network.h"
#include "search_box/search_box.h"
#include "tiles/map_raster.h"
#include "tiles/tile_cache.h"
#include "ui/attribution_sheet.h"
#include "ui/suggestion_list.h"
#include "ui/ui_action.h"

namespace zarn_ui::doc {
class Document;
}

namespace maps {

/// Nearby places load this long after the map stops moving.
inline constexpr auto MAP_IDLE_DELAY = std::chrono::milliseconds(450);
/// At most this many points of interest of one answer are kept.
inline constexpr std::size_t MAX_NEARBY_POIS = 140;

/// Latitude/longitude box: south, west, north, east.
using LatLonBox = std::array<double, 4>;

/// The offline download's counters as the tick last saw them.
struct OfflineCounters {
  std::uint64_t download = 0; // which download
  std::uint32_t total = 0;
  std::uint32_t done = 0;
  std::uint32_t failed = 0;
  bool operator==(OfflineCounters const&) const = default;
};

class MapsApp final : public zarn_ui::widget::Widget,
                      public zarn_ui::floating_surface::FloatingSurfaceDelegate {
public:
  MapsApp() : MapsApp(base::channel<ServiceResult>()) {}
  MapsApp(MapsApp&&) = default;

  // Owned members, in the order they are released.
  MapModel model;
  StreetNetwork road_network;
  zarn_actions::ActionHost actions;
  /// Hover tooltips of the map controls.
  zarn_ui::widget::TooltipHost tooltips;
  SearchBox search_box;
  EndpointEditor endpoints;
  /// The pressable areas of the last drawing, in painting order; what is painted last wins.
  std::vector<HitTarget> hit_targets;
  /// The headings and lines of text of the last drawing, for the accessibility tree.
  std::vector<DrawnText> drawn_texts;
  /// Where the last drawing put the status line; empty when it was not painted.
  zarn_ui::Rect status_rect;
  ResultSender results_tx;
  base::Receiver<ServiceResult> results_rx;
  std::optional<base::Receiver<LocationResult>> location_rx;
  std::optional<zarn_actions::ActionCompletion> finished_action;
  TileCache tiles;
  std::vector<Poi> nearby_pois;
  std::optional<std::string> selected_poi;
  /// "More map options": Attribution, Offline maps, Licenses, Float navigation.
  zarn_ui::widget::ContextMenu overflow_menu;
  /// The attribution and licences sheet; closed at start.
  AttributionSheet attribution_sheet = new_attribution_sheet();
  OfflinePanel offline_panel;
  TrafficOverlay traffic;
  /// The route's screen line, kept between frames of one zoom level.
  ScreenLine route_line;
  /// The street network and traffic as cached tiles between frames of one zoom.
  MapRaster map_raster;
  /// The zoom whose map the frame after its change was asked for (once per zoom).
  std::optional<double> map_settle_asked;
  /// The next request to the platform about the navigation card's surface.
  std::optional<zarn_ui::floating_surface::SurfaceSpec> surface_request;
  ServiceUrls services;
  /// The persisted fields as last copied from the document, shared by the tick and dispatch.
  DocBaseline doc_baseline;
  /// Queries searched where no document was at hand (a published search); the next tick
  /// records them in the document as a search from the box is recorded at once.
  std::vector<std::string> unrecorded_searches;

  // Plain members.
  std::optional<zarn_ui::layout::NodeId> layout_node;
  std::optional<LatLonBox> places_box;
  /// Where the navigation card is: in the window, on the desktop, or handing off.
  zarn_ui::surface::FloatingPlacement nav_placement;
  std::optional<std::uint32_t> nav_drag;
  std::array<double, 2> nav_card_size{360.0, 156.0};
  std::array<bool, 3> nav_flags{false, false, false};
  zarn_ui::Rect map_rect;
  bool traffic_on = false;
  std::uint8_t hot_control = 255;
  std::optional<base::Instant> map_idle_deadline;
  /// Where the map was centred before the camera last moved onto an opened target; the route's
  /// default origin until the user moves the map.
  std::optional<LatLon> centre_before_jump;
  zarn_ui::Rect window_rect_;
  std::array<double, 2> pointer_pos{0.0, 0.0};
  std::array<double, 2> drag_last{0.0, 0.0};
  std::array<double, 3> panel_scroll{0.0, 0.0, 0.0};
  /// The navigation card's End button and drag header, as last painted (nav_card.h).
  std::array<zarn_ui::Rect, 2> nav_card_rects{};
  zarn_ui::Rect detached_rect;
  std::uint64_t places_generation = 0;
  std::uint32_t jobs_in_flight = 0;
  OfflineCounters last_offline_counters;
  bool pointer_down = false;
  bool map_press = false;
  bool map_dragged = false;
  bool doc_loaded = false;
  bool open_problem_shown = false; // a saved document that could not be opened was reported
  SaveNotice save_notice;          // a failing save on the status line
  bool live = true;
  bool locating = false;
  std::optional<zarn_actions::RequestId> pending_request;
  bool nav_open = false;
  bool panel_collapsed = false;
  bool nav_card_hover = false;
  bool reduce_motion = false;
  /// The keyboard focus of the main view by its control's accessibility id (empty: none) and
  /// where that control was last seen. The open menu, sheet and offline panel hold their own
  /// focus and leave this one as it was, so it comes back when they close.
  std::string focus_id;
  std::optional<zarn_ui::Rect> focus_rect;
  /// The painted target's action when the focus is on one, so the ring follows it as it moves.
  std::optional<UiAction> focus_action;
  /// The focus ring shows only after a key moved or used the focus; a press hides it.
  bool focus_visible = false;
  /// The offline panel's focus by control id; empty: its search field.
  std::string offline_focus_id;

  /// "Now" for debounces and deadlines; tests replace it.
  base::Clock const* clock = &base::system_clock();
  /// How location requests reach the portal; tests point it at a private bus.
  LocationConfig location_config;

  // Widget interface.
  std::string_view type_name() const override { return "MapsApp"; }
  std::string_view widget_id() const override { return "maps_app"; }
  void tick(zarn_ui::State& state) override;
  zarn_ui::layout::NodeId build_layout(zarn_ui::layout::LayoutTree& tree,
                                       zarn_ui::Theme const& theme,
                                       zarn_ui::widget::NodeWidgetMap& map) override;
  void apply_layout(zarn_ui::layout::LayoutTree const& tree, zarn_ui::Point origin,
                    zarn_ui::layout::NodeId node) override;
  void draw(zarn_ui::Scene& scene, zarn_ui::Affine transform,
            zarn_ui::widget::DrawCtx const& ctx) override;
  zarn_ui::Rect window_rect() const override { return window_rect_; }
  void set_reduce_motion(bool on) override {
    reduce_motion = on;
    nav_placement.set_reduce_motion(on); // hand-offs end at once, not frozen half-way
  }
  bool is_busy() const override;
  bool needs_frame() const override;
  std::optional<base::Instant> next_deadline() const override;
  std::optional<zarn_ui::Rect> modal_rect() const override;
  void handle_event(zarn_ui::Event const& event, zarn_ui::Modifiers modifiers,
                    zarn_ui::State* state, double scale, bool& handled) override;
  bool is_dragging_surface() const override { return nav_drag.has_value(); }
  std::vector<std::string> published_action_ids() const override;
  zarn_ui::widget::InvokeResult invoke_action(std::uint8_t effect, std::string_view id,
                                              std::span<std::uint8_t const> argument) override;
  zarn_ui::widget::StartOutcome start_action(zarn_actions::RequestId const& request,
                                             std::uint8_t effect, std::string_view id,
                                             std::span<std::uint8_t const> argument) override;
  std::optional<zarn_actions::ActionCompletion>
  take_action_result(zarn_actions::RequestId const& request) override;
  std::optional<std::vector<zarn_ui::doc::ChangeHash>> take_host_record() override;
  std::vector<zarn_actions::Resource> root_resources(zarn_ui::State& state) override;
  zarn_actions::ResourcePage list_resources(zarn_ui::State& state, std::uint64_t cursor,
                                            std::uint64_t limit) override;
  std::optional<zarn_actions::Resource> resolve_resource(zarn_ui::State& state,
                                                         std::string_view id) override;
  // Accessibility and automation (semantics.cpp).
  std::optional<zarn_ui::access::AccessNode> accessibility_tree() const override;
  zarn_ui::access::AccessPresentation access_presentation() const override;
  std::optional<zarn_ui::Rect> semantic_node_rect(std::span<std::size_t const> path) const override;
  bool perform_semantic_action(zarn_ui::State& state, std::string_view id,
                               zarn_ui::widget::SemanticArgument const& argument) override;

  // The navigation card's floating surface (nav_card.cpp).
  zarn_ui::floating_surface::FloatingSurfaceDelegate* as_floating_surface_mut() override {
    return this;
  }
  zarn_ui::floating_surface::FloatingSurfaceDelegate const* as_floating_surface() const override {
    return this;
  }
  std::optional<zarn_ui::floating_surface::SurfaceSpec> take_surface_request() override;
  void draw_nav_card(zarn_ui::Scene& scene, zarn_ui::Affine const& transform,
                     zarn_ui::widget::DrawCtx const& ctx) override;
  std::vector<zarn_ui::floating_surface::DetachedSurface> detached_surface() const override;
  std::optional<zarn_ui::floating_surface::SurfaceSpec> surface_spec() const override;
  void set_detached_rect(zarn_ui::Rect rect) override;
  void apply_placement_event(zarn_ui::floating_surface::PlacementEvent const& event) override;

  base::Instant now() const { return clock->now(); }

  // The frame tick (tick.cpp).
  void tick_doc(zarn_ui::doc::Document& doc);
  void endpoint_query_changed(EndpointEvent event);
  void rank_places(std::vector<Place>& places, std::string_view query) const;

  // Writing model changes (dispatch.cpp).
  void dispatch_maps_action(zarn_ui::doc::Document& doc, MapsAction const& action);

  // Camera and layout (camera.cpp).
  bool compact() const;
  double panel_width() const;
  zarn_ui::Rect side_panel_rect() const;
  zarn_ui::Rect search_bar_rect() const;
  std::optional<zarn_ui::Rect> compact_menu_rect() const;
  zarn_ui::Point window_center() const;
  MapProjection viewport_projection() const;
  LatLonBox viewport_bounds() const;
  LatLon origin_or_center() const;
  /// Every change of the view calls it (pans, zooms, jumps, fits, location fixes): the places
  /// near the view are asked for once it rests.
  void schedule_map_idle();
  void pan(double dx, double dy);
  /// Centres the map on an opened target, remembering where the user was looking.
  void jump_to(LatLon target);
  void zoom_by(double delta, double x, double y);
  void fit_camera(std::span<LatLon const> points);
  void fit_to_route();
  void fit_to_plan();
  std::vector<Poi> nearest_pois() const;

  // Search, directions and location (operations.cpp).
  std::vector<Place> local_suggestions(std::string_view text) const;
  std::vector<Place> local_matches(std::string_view text) const;
  LatLon route_origin();
  void destination_from_selection();
  void request_route();
  void request_transit();
  /// The local date-time now; the demo day's clock when live services are off.
  OffsetDateTime transit_now() const;
  /// The time options of a transit request: none for "depart now", else now plus the offset.
  TransitQuery transit_query() const;
  void start_locating();
  void set_traffic(bool on);
  /// Runs the search box's query; records it in the history through `doc` when there is one.
  void submit_search(zarn_ui::doc::Document* doc);
  void refresh_transit_if_active();
  void open_transit(zarn_ui::doc::Document& doc);
  void open_directions();
  void directions_to_poi();
  void open_place(std::string_view id);
  void select_poi(std::string_view id);
  void toggle_saved_place(zarn_ui::doc::Document& doc);
  void end_navigation(zarn_ui::doc::Document& doc);
  /// 0 zoom in, 1 zoom out, 2 locate, 3 traffic.
  void run_map_control(std::uint8_t index);
  void show_panel(Panel panel);

private:
  /// Origin and destination for planning: the destination from the selection when none is set,
  /// the origin written into the model; none without a destination.
  std::optional<std::pair<LatLon, LatLon>> plan_endpoints();

  explicit MapsApp(std::pair<ResultSender, base::Receiver<ServiceResult>> channel)
      : results_tx(std::move(channel.first)), results_rx(std::move(channel.second)) {
    results_rx.wake_ui_on_send(); // answers reach a sleeping window at once
  }

  void handle_result(zarn_ui::doc::Document& doc, ServiceResult result);
  void handle_location();
  void fire_search_debounce();
  void fire_map_idle();
  void fire_area_search_debounce();
  void poll_tiles(zarn_ui::doc::Document& doc);
  void fire_endpoint_debounce();
};

/// The string a published action's JSON argument holds; the decoder's error otherwise.
base::Result<std::string> decode_json_string(std::span<std::uint8_t const> bytes);

/// "2026-06-15T09:15:00+02:00": the local date-time with its offset.
std::string rfc3339(OffsetDateTime const& when);

/// The application object around a model: channels, inputs and panels in their initial state.
MapsApp build_maps_app(MapModel model, StreetNetwork road_network, TileCache tiles, bool nav_open,
                       bool live);

/// The plain start: default model, no street network, the light tile cache with its worker,
/// live services.
MapsApp default_maps_app();

} // namespace maps
