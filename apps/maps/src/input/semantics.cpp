#include "input/semantics.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <fmt/format.h>

#include "app/endpoints.h"
#include "app/map_controls.h"
#include "app/maps_app.h"
#include "app/offline.h"
#include "app/overflow_menu.h"
#include "app/search.h"
#include "base/utf8.h"
#include "draw/chrome_draw.h"
#include "draw/map_layers.h"
#include "draw/suggestion_rows.h"
#include "endpoint_editor/endpoint_editor.h"
#include "input/control_specs.h"
#include "input/focus.h"
#include "input/perform_ui_action.h"
#include "offline_panel/offline_panel.h"
#include "platform/launch/state.h"
#include "platform/widgets/modal_dialog.h"
#include "search_box/search_box.h"
#include "ui/format.h"

namespace maps {

namespace {

using zarn_ui::Rect;
using zarn_ui::access::AccessNode;
using zarn_ui::widget::SemanticArgument;

constexpr std::string_view MENU_ITEM_PREFIX = "maps.menu:";
constexpr std::string_view ORIGIN_FIELD_ID = "maps.route.origin";
constexpr std::string_view DEST_FIELD_ID = "maps.route.destination";
constexpr std::string_view ENDPOINT_RESULT_PREFIX = "maps.endpoint-result:";

std::vector<Place> const& endpoint_list(EndpointEditor const& editor, std::uint8_t field) {
  return field == DEST_FIELD ? editor.dest_suggestions : editor.origin_suggestions;
}

bool endpoint_editing(EndpointEditor const& editor) {
  return editor.active == ORIGIN_FIELD || editor.active == DEST_FIELD;
}

/// The endpoint fields where the directions panel last painted them, named by their
/// placeholders, then the painted rows under the field being edited.
void append_endpoint_specs(MapsApp const& app, std::vector<SemanticControl>& out) {
  EndpointEditor const& editor = app.endpoints;
  for (std::uint8_t const field : {ORIGIN_FIELD, DEST_FIELD}) {
    auto const& rect = field == ORIGIN_FIELD ? editor.origin_rect : editor.dest_rect;
    if (!rect) {
      continue;
    }
    auto const& input = field == ORIGIN_FIELD ? editor.origin_input : editor.dest_input;
    SemanticControl c = make_control(
        input.placeholder(), std::string(field == ORIGIN_FIELD ? ORIGIN_FIELD_ID : DEST_FIELD_ID),
        ROLE_SEARCH_FIELD, STATE_NOT_APPLICABLE, *rect);
    c.attributes.takes_text = true;
    out.push_back(std::move(c));
  }
  if (!endpoint_editing(editor)) {
    return;
  }
  auto const& list = endpoint_list(editor, editor.active);
  for (auto const& hit : editor.hits) {
    if (hit.kind == EndpointHitKind::Suggestion && hit.field == editor.active &&
        hit.index < list.size()) {
      out.push_back(make_control(list[hit.index].name,
                                 fmt::format("{}{}", ENDPOINT_RESULT_PREFIX, list[hit.index].id),
                                 ROLE_PUSH_BUTTON, STATE_NOT_APPLICABLE, hit.rect));
    }
  }
}

/// The text input behind a text field's id; none for other ids.
zarn_ui::widget::TextInput const* field_input(MapsApp const& app, std::string_view id) {
  if (id == "maps.search") {
    return &app.search_box.input;
  }
  if (id == ORIGIN_FIELD_ID) {
    return &app.endpoints.origin_input;
  }
  if (id == DEST_FIELD_ID) {
    return &app.endpoints.dest_input;
  }
  return nullptr;
}

/// The open overflow menu as a menu node: its items by index, the highlighted one focused.
std::optional<AccessNode> overflow_menu_node(MapsApp const& app) {
  auto const& menu = app.overflow_menu;
  if (!menu.is_open()) {
    return std::nullopt;
  }
  std::vector<AccessNode> items;
  for (std::size_t i = 0; i < menu.items().size(); ++i) {
    AccessNode item = AccessNode{}
                          .with_id(fmt::format("{}{}", MENU_ITEM_PREFIX, i))
                          .with_name(menu.items()[i].label)
                          .with_bounds(menu.item_rect(i));
    item.role = zarn_ui::access::ROLE_MENU_ITEM;
    item.focused = menu.hovered() == i;
    items.push_back(std::move(item));
  }
  AccessNode node =
      AccessNode{}.with_id("maps.menu").with_name("More map options").with_bounds(menu.rect());
  node.role = zarn_ui::access::ROLE_MENU;
  return std::move(node).with_children(std::move(items));
}

/// Sets the text of a shown text field as if typed; false for other ids.
bool set_field_text(MapsApp& app, std::string_view id, std::string const& text) {
  if (id == "maps.search") {
    bool const shown =
        std::any_of(app.hit_targets.begin(), app.hit_targets.end(), [](auto const& t) {
          auto const* s = std::get_if<UiAction::Search>(&t.action.value);
          return s != nullptr && s->item == SearchItem::field();
        });
    if (shown) {
      set_search_text(app, text);
    }
    return shown;
  }
  if (id == ORIGIN_FIELD_ID || id == DEST_FIELD_ID) {
    bool const dest = id == DEST_FIELD_ID;
    if (!(dest ? app.endpoints.dest_rect : app.endpoints.origin_rect)) {
      return false;
    }
    set_endpoint_text(app, dest ? DEST_FIELD : ORIGIN_FIELD, text);
    return true;
  }
  return false;
}

/// The map does not show: the sheet or the offline panel covers it, or it has no area.
bool map_rect_covered(MapsApp const& app) {
  return attribution_sheet_open(app.attribution_sheet) || app.offline_panel.open ||
         app.map_rect.is_empty();
}

/// The painted headings and lines, then the status line: a status bar whose new texts are
/// announced, present while the status is meant to be seen (also when the window had no room to
/// paint it).
void append_text_nodes(MapsApp const& app, std::vector<AccessNode>& children) {
  for (auto const& t : app.drawn_texts) {
    AccessNode node = AccessNode{}.with_name(t.text).with_bounds(t.rect);
    if (!t.id.empty()) {
      node = std::move(node).with_id(t.id);
    }
    node.role = t.heading ? zarn_ui::access::ROLE_HEADING : zarn_ui::access::ROLE_LABEL;
    children.push_back(std::move(node));
  }
  // The scale bar, where the map's overlays paint it.
  if (!map_rect_covered(app)) {
    ScaleBar const bar = scale_bar_label(app.model.center.lat, app.model.zoom, SCALE_BAR_MAX_PX);
    double const right = scale_bar_right(app);
    double const y = app.window_rect_.y1 - 26.0;
    AccessNode scale =
        AccessNode{}
            .with_name("Scale: " + bar.label)
            .with_bounds({right - bar.length_px - 8.0, y - 4.0, right + 8.0, y + 14.0});
    scale.role = zarn_ui::access::ROLE_LABEL;
    children.push_back(std::move(scale));
  }
  if (!status_pill_shown(app.model.status, app.model.status_kind, app.jobs_in_flight)) {
    return;
  }
  AccessNode status = AccessNode{}.with_id("maps.status").with_name(app.model.status);
  status.role = zarn_ui::access::ROLE_STATUS;
  status.live = true;
  if (!app.status_rect.is_empty()) {
    status.bounds = app.status_rect;
  }
  children.push_back(std::move(status));
}

bool value_less_outside_panel(SemanticArgument const& argument) {
  return argument.kind == SemanticArgument::Kind::Empty ||
         argument.kind == SemanticArgument::Kind::Activate;
}

} // namespace

std::optional<SemanticControl> map_control_spec(MapsApp const& app, std::uint8_t index) {
  Rect const rect = map_control_rect(app.map_rect, index);
  switch (static_cast<MapControl>(index)) {
  case MapControl::ZoomIn:
    return make_control("Zoom in", "maps.control:zoom-in", ROLE_PUSH_BUTTON, STATE_NOT_APPLICABLE,
                        rect);
  case MapControl::ZoomOut:
    return make_control("Zoom out", "maps.control:zoom-out", ROLE_PUSH_BUTTON, STATE_NOT_APPLICABLE,
                        rect);
  case MapControl::Locate:
    return make_control("Use my location", "maps.control:locate", ROLE_PUSH_BUTTON,
                        STATE_NOT_APPLICABLE, rect);
  case MapControl::Traffic:
    return make_control("Traffic", "maps.control:traffic", ROLE_SWITCH,
                        app.traffic_on ? STATE_ON : STATE_OFF, rect);
  }
  return std::nullopt;
}

std::vector<SemanticControl> map_control_specs(MapsApp const& app) {
  std::vector<SemanticControl> out;
  // Under the compact panel's scrim the map controls are neither pressable nor listed; what
  // is painted over the scrim (the panel, the search box, the toggle) is.
  for (std::uint8_t i = 0; i < MAP_CONTROL_COUNT && !map_under_scrim(app); ++i) {
    if (auto c = map_control_spec(app, i)) {
      out.push_back(std::move(*c));
    }
  }
  Rect const& end_button = app.nav_card_rects[0];
  if (!end_button.is_empty() && app.model.route) {
    out.push_back(make_control("End navigation", "maps.navigation.end", ROLE_PUSH_BUTTON,
                               STATE_NOT_APPLICABLE, end_button));
  }
  for (auto const& target : app.hit_targets) {
    if (auto c = hit_target_spec(app, target)) {
      out.push_back(std::move(*c));
    }
  }
  append_endpoint_specs(app, out);
  return out;
}

std::optional<AccessNode> attribution_sheet_tree(MapsApp const& app) {
  if (!attribution_sheet_open(app.attribution_sheet)) {
    return std::nullopt;
  }
  AccessNode node = zarn_ui::widget::modal_dialog_access_nodes(app.attribution_sheet.dialog);
  if (node.hidden) {
    return std::nullopt;
  }
  // Enter runs the primary button: it is where the keyboard is.
  for (auto& child : node.children) {
    if (child.id_text == "modal.primary") {
      child.focused = true;
      break;
    }
  }
  return node;
}

std::vector<SemanticControl> current_semantic_controls(MapsApp const& app) {
  if (!app.offline_panel.open) {
    return map_control_specs(app);
  }
  std::vector<SemanticControl> out;
  for (auto& c : offline_panel_specs(app.offline_panel)) {
    out.push_back(std::move(c.control));
  }
  return out;
}

AccessNode control_node(SemanticControl const& c) {
  AccessNode node = AccessNode{}.with_id(c.id).with_name(c.label).with_bounds(c.rect);
  node.role = c.role;
  node.state = c.state;
  node.hidden = c.attributes.hidden;
  node.editable_text = c.attributes.takes_text;
  return node;
}

std::optional<AccessNode> maps_accessibility_tree(MapsApp const& app) {
  if (auto sheet = attribution_sheet_tree(app)) {
    return sheet;
  }
  std::vector<AccessNode> children;
  auto menu = app.offline_panel.open ? std::nullopt : overflow_menu_node(app);
  // The open menu takes the keys, so it holds the focus.
  std::string const focus = menu ? std::string() : current_focus_id(app);
  bool focus_placed = false;
  for (auto const& c : current_semantic_controls(app)) {
    children.push_back(control_node(c));
    if (auto const* input = field_input(app, c.id)) {
      std::string_view const text = input->text();
      auto const [from, to] = input->selection();
      children.back().text = input->text();
      children.back().caret = input->caret_index();
      children.back().selection_start = base::utf8::length(text.substr(0, from));
      children.back().selection_end = base::utf8::length(text.substr(0, to));
    }
    if (!focus_placed && !focus.empty() && c.id == focus) {
      children.back().focused = focus_placed = true;
    }
  }
  if (!app.offline_panel.open) {
    append_text_nodes(app, children);
  }
  if (menu) {
    children.push_back(std::move(*menu));
  }
  AccessNode root;
  root.role = zarn_ui::access::ROLE_WINDOW;
  return std::move(root)
      .with_name(app.offline_panel.open ? "Offline maps" : "Maps")
      .with_children(std::move(children));
}

std::optional<Rect> maps_semantic_node_rect(MapsApp const& app, std::span<std::size_t const> path) {
  if (path.size() != 1) {
    return std::nullopt;
  }
  // The tree is the sheet's while it is open, so its indices name the sheet's buttons.
  if (auto const sheet = attribution_sheet_tree(app)) {
    if (path[0] >= sheet->children.size()) {
      return std::nullopt;
    }
    return sheet->children[path[0]].bounds;
  }
  auto const controls = current_semantic_controls(app);
  if (path[0] >= controls.size()) {
    return std::nullopt;
  }
  return controls[path[0]].rect;
}

bool maps_perform_semantic_action(MapsApp& app, zarn_ui::State& state, std::string_view id,
                                  SemanticArgument const& argument) {
  if (attribution_sheet_open(app.attribution_sheet)) {
    // Modal: only the sheet's own buttons perform.
    return value_less_outside_panel(argument) &&
           perform_attribution_sheet_button(app.attribution_sheet, id);
  }
  if (app.offline_panel.open) {
    if (id == "maps.offline.search" || argument.kind != SemanticArgument::Kind::Empty) {
      return false;
    }
    for (auto const& c : offline_panel_specs(app.offline_panel)) {
      if (c.control.id == id) {
        OfflinePanelAction const action = c.action;
        perform_offline_action(app, action, &state);
        return true;
      }
    }
    return false;
  }
  if (argument.kind == SemanticArgument::Kind::Text) {
    return set_field_text(app, id, argument.text);
  }
  if (!value_less_outside_panel(argument)) {
    return false;
  }
  static constexpr std::string_view CONTROL_IDS[MAP_CONTROL_COUNT] = {
      "maps.control:zoom-in", "maps.control:zoom-out", "maps.control:locate",
      "maps.control:traffic"};
  for (std::uint8_t i = 0; i < MAP_CONTROL_COUNT; ++i) {
    if (id == CONTROL_IDS[i]) {
      app.run_map_control(i);
      return true;
    }
  }
  if (id == "maps.navigation.end") {
    app.end_navigation(state.document());
    return true;
  }
  if (id == "maps.search") {
    return false; // the search field takes it
  }
  if (id == ORIGIN_FIELD_ID || id == DEST_FIELD_ID) {
    bool const dest = id == DEST_FIELD_ID;
    if (!(dest ? app.endpoints.dest_rect : app.endpoints.origin_rect)) {
      return false; // the directions panel does not show it
    }
    start_endpoint_edit(app, dest ? DEST_FIELD : ORIGIN_FIELD);
    return true;
  }
  if (id.starts_with(ENDPOINT_RESULT_PREFIX) && endpoint_editing(app.endpoints)) {
    std::string_view const place = id.substr(ENDPOINT_RESULT_PREFIX.size());
    auto const& list = endpoint_list(app.endpoints, app.endpoints.active);
    std::size_t const rows = std::min(list.size(), MAX_SUGGESTION_ROWS);
    for (std::size_t i = 0; i < rows; ++i) {
      if (list[i].id == place) {
        return pick_endpoint_suggestion(app, app.endpoints.active, i);
      }
    }
    return false;
  }
  if (id.starts_with(MENU_ITEM_PREFIX) && app.overflow_menu.is_open()) {
    std::string_view const digits = id.substr(MENU_ITEM_PREFIX.size());
    std::size_t index = 0;
    auto const [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (ec != std::errc{} || end != digits.data() + digits.size() ||
        index >= app.overflow_menu.items().size()) {
      return false;
    }
    app.overflow_menu.close();
    run_overflow_menu_item(app, index);
    return true;
  }
  for (auto const& target : app.hit_targets) {
    auto const exposed = ui_action_spec(app, target.action);
    if (exposed && exposed->id == id) {
      UiAction action = target.action; // the performer may rebuild the list
      perform_ui_action(app, state, std::move(action));
      return true;
    }
  }
  return false;
}

} // namespace maps

namespace maps {

std::optional<zarn_ui::access::AccessNode> MapsApp::accessibility_tree() const {
  return maps_accessibility_tree(*this);
}

zarn_ui::access::AccessPresentation MapsApp::access_presentation() const {
  zarn_ui::access::AccessPresentation out;
  out.lists.push_back({"maps.search-result:", "Search suggestions"});
  out.lists.push_back({std::string(ENDPOINT_RESULT_PREFIX), endpoints.active == DEST_FIELD
                                                                ? "Destination suggestions"
                                                                : "Starting point suggestions"});
  out.lists.push_back({"maps.recent:", "Recent searches"});
  out.lists.push_back({"maps.place:", "Places"});
  out.lists.push_back({"maps.poi:", "Nearby places"});
  out.lists.push_back({"maps.step:", "Route steps"});
  // The map is the window's picture while nothing covers it: the sheet replaces the tree and the
  // offline panel lists its own controls.
  if (attribution_sheet_open(attribution_sheet) || offline_panel.open || map_rect.is_empty()) {
    return out;
  }
  LatLon const c = model.center;
  out.canvas = AccessNode{}.with_id("maps.map").with_name("Map").with_bounds(map_rect);
  out.canvas->description =
      fmt::format("Map centred on {:.4f}° {}, {:.4f}° {} at zoom {:.0f}", std::abs(c.lat),
                  c.lat < 0 ? 'S' : 'N', std::abs(c.lon), c.lon < 0 ? 'W' : 'E', model.zoom);
  return out;
}

std::optional<zarn_ui::Rect> MapsApp::semantic_node_rect(std::span<std::size_t const> path) const {
  return maps_semantic_node_rect(*this, path);
}

bool MapsApp::perform_semantic_action(zarn_ui::State& state, std::string_view id,
                                      zarn_ui::widget::SemanticArgument const& argument) {
  return maps_perform_semantic_action(*this, state, id, argument);
}

} // namespace maps
