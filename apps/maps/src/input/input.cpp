#include "input/input.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <variant>

#include "app/endpoints.h"
#include "app/map_controls.h"
#include "app/maps_app.h"
#include "app/nav_card.h"
#include "app/offline.h"
#include "app/overflow_menu.h"
#include "app/search.h"
#include "base/utf8.h"
#include "draw/chrome_draw.h"
#include "draw/side_panel_draw.h"
#include "input/focus.h"
#include "input/perform_ui_action.h"
#include "input/semantics.h"
#include "offline_panel/offline_panel.h"
#include "platform/launch/state.h"
#include "platform/widgets/deliver.h"

namespace maps {

namespace {

using zarn_ui::Event;
using zarn_ui::Key;
using zarn_ui::Modifiers;
using zarn_ui::NamedKey;
using zarn_ui::Point;
using zarn_ui::Rect;
using zarn_ui::widget::InputOutcome;

/// The pointer events' number of the middle button, which pastes the primary selection.
constexpr std::uint32_t MIDDLE_BUTTON = 2;
using zarn_ui::widget::TooltipCandidate;

/// The dragged card may overhang the window by this much.
constexpr double CARD_DRAG_SLACK = 8.0;

Rect grown(Rect const& r, double by) {
  return {r.x0 - by, r.y0 - by, r.x1 + by, r.y1 + by};
}

bool finite(Point p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

Point logical(double x, double y, double scale) {
  double const s = zarn_ui::widget::sanitize_scale(scale);
  return {x / s, y / s};
}

std::optional<TooltipCandidate> hover_candidate(MapsApp const& app, Point p) {
  static constexpr std::string_view LABELS[4] = {"Zoom in", "Zoom out", "My location", "Traffic"};
  if (app.offline_panel.open) {
    return std::nullopt; // its scrim covers every control that has a tooltip
  }
  if (app.hot_control < 4) {
    return TooltipCandidate{std::string(LABELS[app.hot_control]),
                            map_control_rect(app.map_rect, app.hot_control)};
  }
  if (auto const menu = app.compact_menu_rect(); menu && menu->contains(p)) {
    return TooltipCandidate{"Menu", *menu};
  }
  if (Rect const more = overflow_button_rect(app.window_rect_);
      more.contains(p) && !map_under_scrim(app)) {
    return TooltipCandidate{"More", more};
  }
  return std::nullopt;
}

zarn_ui::doc::Document* document_of(zarn_ui::State* state) {
  return state != nullptr ? &state->document() : nullptr;
}

/// The character a key produced, when it is exactly one.
std::optional<char> key_char(Key const& key) {
  auto const* text = std::get_if<std::string>(&key.key);
  if (text == nullptr || text->size() != 1) {
    return std::nullopt;
  }
  return (*text)[0];
}

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

class InputRouter {
public:
  InputRouter(MapsApp& app, Event const& event, Modifiers modifiers, zarn_ui::State* state,
              double scale)
      : app_(app), event_(event), modifiers_(modifiers), state_(state), scale_(scale) {}

  bool route() {
    // The open attribution sheet is modal: it alone sees the event.
    if (attribution_sheet_event(app_.attribution_sheet, event_, scale_)) {
      return true;
    }
    return std::visit([this](auto const& e) { return on(e); }, event_);
  }

private:
  bool on(zarn_ui::PointerMoved const& e) {
    Point const p = logical(e.x, e.y, scale_);
    if (!finite(p)) {
      return false; // would carry NaN into the camera through the next drag or wheel
    }
    app_.pointer_pos = {p.x, p.y};
    if (app_.nav_drag) {
      Rect const card = grown(navigation_card_rect(app_), CARD_DRAG_SLACK);
      auto const request = app_.nav_placement.update_drag(p, app_.window_rect_, card);
      if (request && request->action == zarn_ui::surface::PlacementAction::DetachToDesktop) {
        app_.surface_request = nav_surface_spec(app_);
        if (app_.surface_request) {
          app_.surface_request->rect = grown(request->rect, NAV_SURFACE_MARGIN);
        }
      }
      return true;
    }
    bool consumed = false;
    bool const hover = app_.model.route.has_value() && !app_.offline_panel.open &&
                       app_.nav_card_rects[NAV_END_BUTTON].contains(p);
    if (hover != app_.nav_card_hover) {
      app_.nav_card_hover = hover;
      consumed = true;
    }

    // Hover states only; no input takes a move.
    deliver_input(app_.search_box.input);
    deliver_input(app_.endpoints.origin_input);
    deliver_input(app_.endpoints.dest_input);
    if (app_.overflow_menu.is_open()) {
      (void)zarn_ui::widget::deliver_menu_event(app_.overflow_menu, event_, modifiers_, scale_);
    }
    if (app_.offline_panel.open) {
      (void)offline_search_event(app_.offline_panel, event_, scale_, app_.now());
    }

    if (app_.map_press && app_.pointer_down) {
      double const dx = p.x - app_.drag_last[0];
      double const dy = p.y - app_.drag_last[1];
      if (std::abs(dx) > MAP_DRAG_THRESHOLD || std::abs(dy) > MAP_DRAG_THRESHOLD) {
        app_.map_dragged = true;
        app_.pan(dx, dy);
        consumed = true;
      }
      app_.drag_last = {p.x, p.y};
    }

    std::uint8_t const hot_before = app_.hot_control;
    std::optional<TooltipCandidate> candidate;
    if (app_.pointer_down) {
      app_.hot_control = NO_MAP_CONTROL;
    } else {
      // Controls under a scrim show no hover.
      bool const covered = app_.offline_panel.open || map_under_scrim(app_) || over_nav_card(p);
      app_.hot_control = covered ? NO_MAP_CONTROL : hit_map_control(app_.map_rect, p.x, p.y);
      candidate = hover_candidate(app_, p);
    }
    bool const tip_changed = app_.tooltips.on_pointer(std::move(candidate), app_.now(), p);
    return consumed || tip_changed || app_.hot_control != hot_before;
  }

  bool on(zarn_ui::PointerButton const& e) {
    if (e.state == zarn_ui::ButtonState::Released) {
      deliver_focused_input(); // ends a selection drag in the field
      return e.button == 0 ? release() : false;
    }
    app_.tooltips.dismiss();
    app_.focus_visible = false;
    Point const p = logical(e.x, e.y, scale_);
    if (!finite(p)) {
      return false;
    }
    if (e.button == MIDDLE_BUTTON) {
      return paste_primary_at(p);
    }
    if (e.button != 0) {
      return false;
    }
    press(p);
    return true;
  }

  bool release() {
    bool const card_drag = app_.nav_drag.has_value();
    if (card_drag) {
      // A card dropped over the window is handed back through the platform's adoption event.
      (void)app_.nav_placement.end_drag();
      app_.nav_drag.reset();
    }
    app_.pointer_down = false;
    app_.map_press = false;
    return card_drag;
  }

  /// The navigation card as painted in the window lies under the pointer.
  bool over_nav_card(Point p) const {
    if (!app_.model.route || app_.nav_card_rects[NAV_DRAG_HEADER].is_empty()) {
      return false; // not painted in the window
    }
    Rect const card =
        app_.nav_placement.presentation_transform().transform_rect_bbox(nav_card_shown_rect(app_));
    return card.contains(p);
  }

  /// Presses on the navigation card: its End button, its header, which drags it, or its body,
  /// which swallows the press so that nothing beneath it acts.
  bool press_nav_card(Point p) {
    if (!app_.model.route) {
      return false;
    }
    if (app_.nav_card_rects[NAV_END_BUTTON].contains(p)) {
      if (auto* doc = document_of(state_)) {
        app_.end_navigation(*doc);
      }
      app_.nav_card_hover = false;
      return true;
    }
    if (app_.nav_card_rects[NAV_DRAG_HEADER].contains(p)) {
      Rect const card = nav_card_shown_rect(app_); // grabbed where it is seen
      app_.nav_card_size = {card.width(), card.height()};
      app_.nav_placement.begin_drag(p, app_.window_rect_, card);
      app_.nav_drag = 0;
      return true;
    }
    return over_nav_card(p);
  }

  void press(Point p) {
    // The open menu is painted over the card, so the part of the card it covers is not pressable.
    bool const under_menu = app_.overflow_menu.is_open() && app_.overflow_menu.rect().contains(p);
    // Under the offline panel's scrim the card is dimmed and the panel takes the press; the
    // overflow button is painted over the card.
    bool const on_overflow =
        !map_under_scrim(app_) && overflow_button_rect(app_.window_rect_).contains(p);
    if (!under_menu && !on_overflow && !app_.offline_panel.open && press_nav_card(p)) {
      return;
    }
    app_.pointer_down = true;
    app_.map_dragged = false;

    if (app_.overflow_menu.is_open()) {
      run_chosen_menu_item();
      return;
    }
    if (app_.offline_panel.open) {
      if (press_offline_panel(p)) {
        return;
      }
    }
    if (app_.model.panel == Panel::Directions &&
        press_endpoint_editor(app_, p, event_, modifiers_, scale_)) {
      return;
    }
    if (press_hit_target(p)) {
      return;
    }
    end_search_editing(app_.search_box);
    reset_endpoint_editor(app_.endpoints);
    if (std::uint8_t const control = hit_map_control(app_.map_rect, p.x, p.y);
        control != NO_MAP_CONTROL) {
      app_.run_map_control(control);
      return;
    }
    if (auto const id = place_marker_at(app_, p)) {
      app_.open_place(*id);
      return;
    }
    if (auto const id = poi_marker_at(app_, p)) {
      app_.select_poi(*id);
      return;
    }
    app_.selected_poi.reset();
    app_.map_press = true;
    app_.drag_last = {p.x, p.y};
  }

  bool press_offline_panel(Point p) {
    auto& panel = app_.offline_panel;
    if (offline_search_event(panel, event_, scale_, app_.now())) {
      return true;
    }
    auto const hit = std::find_if(panel.targets.rbegin(), panel.targets.rend(),
                                  [&](OfflineTarget const& t) { return t.rect.contains(p); });
    if (hit == panel.targets.rend()) {
      return false;
    }
    OfflinePanelAction const action = hit->action; // performing it may rebuild the targets
    (void)perform_offline_action(app_, action, state_);
    return true;
  }

  bool press_hit_target(Point p) {
    auto const hit = std::find_if(app_.hit_targets.rbegin(), app_.hit_targets.rend(),
                                  [&](HitTarget const& t) { return t.rect.contains(p); });
    if (hit == app_.hit_targets.rend()) {
      return false;
    }
    UiAction const action = hit->action;
    auto const* search = std::get_if<UiAction::Search>(&action.value);
    bool const on_field = search != nullptr && search->item.kind == SearchItem::Kind::Field;
    bool const on_clear = search != nullptr && search->item.kind == SearchItem::Kind::Clear;
    // A suggestion row reads the list, so the row picks before the list goes; clearing is
    // part of editing, so the field keeps the keyboard.
    bool const keeps_focus = search != nullptr && (on_field || on_clear ||
                                                   search->item.kind == SearchItem::Kind::Inert ||
                                                   search->item.kind == SearchItem::Kind::Result);
    if (!keeps_focus) {
      end_search_editing(app_.search_box);
    }
    reset_endpoint_editor(app_.endpoints);
    perform(action);
    if (on_field) {
      auto& input = app_.search_box.input;
      input.set_focused(true);
      (void)zarn_ui::widget::deliver_text_input_event(input, event_, modifiers_, scale_);
      input.set_focused(true);
    }
    if (on_clear) {
      app_.search_box.editing = true;
      app_.search_box.input.set_text("");
      app_.search_box.input.set_focused(true);
    }
    return true;
  }

  void perform(UiAction action) {
    if (state_ != nullptr) {
      perform_ui_action(app_, *state_, std::move(action));
      return;
    }
    // Without the frame's state nothing can be written; the search field still takes the focus.
    if (auto const* search = std::get_if<UiAction::Search>(&action.value);
        search != nullptr && search->item.kind == SearchItem::Kind::Field) {
      app_.search_box.editing = true;
    }
  }

  bool on(zarn_ui::Wheel const& e) {
    app_.tooltips.dismiss();
    double lines = std::visit(
        [](auto const& d) -> double {
          using D = std::decay_t<decltype(d)>;
          if constexpr (std::is_same_v<D, zarn_ui::LineDelta>) {
            return static_cast<double>(d.lines);
          } else {
            return d.pixels / WHEEL_PIXELS_PER_LINE;
          }
        },
        e.delta);
    if (!std::isfinite(lines)) {
      return true; // a broken delta must not turn the camera into NaN
    }
    Point const p{app_.pointer_pos[0], app_.pointer_pos[1]};
    if (over_search_list(p)) {
      return true; // the list does not scroll, and it hides what lies under it
    }
    if (panel_scrolls_at(p)) {
      double const max_offset = std::max(app_.panel_scroll[1] - app_.panel_scroll[2], 0.0);
      app_.panel_scroll[0] =
          std::clamp(app_.panel_scroll[0] - WHEEL_SCROLL_STEP * lines, 0.0, max_offset);
      return true;
    }
    app_.zoom_by(WHEEL_ZOOM_STEP * lines, p.x, p.y);
    return true;
  }

  /// The wheel scrolls the panel below its header band, and only while the panel is shown in
  /// full: the collapsed stub, and a panel hidden under the suggestion list or the compact
  /// layout's closed navigation, leave the map under the pointer, which the wheel zooms.
  bool panel_scrolls_at(Point p) const {
    if (side_panel_shown(app_) != SidePanelShown::Full) {
      return false;
    }
    Rect const panel = app_.side_panel_rect();
    return panel.contains(p) && p.y > panel.y0 + PANEL_WHEEL_HEADER;
  }

  /// The search suggestion list as last painted (its inert card) lies under the pointer.
  bool over_search_list(Point p) const {
    if (!search_suggestions_shown(app_.search_box, app_.model.query)) {
      return false;
    }
    return std::any_of(app_.hit_targets.begin(), app_.hit_targets.end(), [&](HitTarget const& t) {
      auto const* search = std::get_if<UiAction::Search>(&t.action.value);
      return search != nullptr && search->item.kind == SearchItem::Kind::Inert &&
             t.rect.contains(p);
    });
  }

  bool on(Key const& key) {
    app_.tooltips.dismiss();
    if (!key.pressed) {
      return false;
    }
    if (app_.overflow_menu.is_open()) {
      app_.focus_visible = true;
      if (std::holds_alternative<std::string>(key.key) && is_space_bar(key)) {
        // The menu chooses with the space bar, which the window delivers as typed text.
        Event const space{Key{true, NamedKey::Space, key.modifiers}};
        if (auto const chosen = zarn_ui::widget::deliver_menu_event(app_.overflow_menu, space,
                                                                    modifiers_, scale_)) {
          run_overflow_menu_item(app_, *chosen);
        }
        return true;
      }
      run_chosen_menu_item();
      if (!app_.overflow_menu.is_open()) {
        app_.focus_id = "maps.overflow"; // the menu gives the focus back to its button
      }
      return true;
    }
    if (app_.offline_panel.open) {
      if (zarn_ui::is_named(key, NamedKey::Escape)) {
        close_offline_panel(app_.offline_panel);
      } else if (!focus_key(app_, state_, key) && current_focus_id(app_) == "maps.offline.search") {
        (void)offline_search_event(app_.offline_panel, event_, scale_, app_.now());
      }
      return true;
    }
    // Tab leaves a text field; every other key goes to the field being edited.
    if (zarn_ui::is_named(key, NamedKey::Tab) && focus_key(app_, state_, key)) {
      return true;
    }
    if (app_.endpoints.active != NO_FIELD) {
      // The field keeps the focus when a pick or Escape ends the editing.
      app_.focus_id =
          app_.endpoints.active == DEST_FIELD ? "maps.route.destination" : "maps.route.origin";
      endpoint_editor_key(app_, event_, key, modifiers_, scale_);
      return true;
    }
    if (app_.search_box.editing) {
      app_.focus_id = "maps.search"; // it keeps the focus after Enter or Escape ends the editing
      auto const events =
          search_box_key(app_.search_box, event_, key, modifiers_, scale_, app_.model.query);
      apply_search_events(app_, events, document_of(state_));
      return true;
    }
    return focus_key(app_, state_, key) || global_key(key);
  }

  bool global_key(Key const& key) {
    if (auto const* named = std::get_if<NamedKey>(&key.key)) {
      switch (*named) {
      case NamedKey::ArrowDown:
        app_.pan(0.0, KEY_PAN_STEP);
        return true;
      case NamedKey::ArrowLeft:
        app_.pan(-KEY_PAN_STEP, 0.0);
        return true;
      case NamedKey::ArrowRight:
        app_.pan(KEY_PAN_STEP, 0.0);
        return true;
      case NamedKey::ArrowUp:
        app_.pan(0.0, -KEY_PAN_STEP);
        return true;
      case NamedKey::Escape:
        escape();
        return true;
      default:
        return false;
      }
    }
    auto const c = key_char(key);
    if (!c) {
      return false;
    }
    auto const center = app_.window_center();
    auto* doc = document_of(state_);
    bool const shortcut_held =
        modifiers_.control || modifiers_.super || key.modifiers.control || key.modifiers.super;
    switch (lower(*c)) {
    case '/':
      // As a toolkit's field focused from the keyboard: its whole text is selected, so typing
      // replaces the last query.
      app_.search_box.editing = true;
      app_.search_box.input.set_focused(true);
      app_.search_box.input.select_all();
      return true;
    case '+':
    case '=':
      app_.zoom_by(KEY_ZOOM_STEP, center.x, center.y);
      return true;
    case '-':
    case '_':
      app_.zoom_by(-KEY_ZOOM_STEP, center.x, center.y);
      return true;
    case 'd':
      app_.open_directions();
      return true;
    case 't':
      if (doc != nullptr) {
        app_.open_transit(*doc);
      }
      return true;
    case 'f':
      app_.fit_to_plan();
      return true;
    case 's':
      if (shortcut_held) {
        return false;
      }
      if (doc != nullptr) {
        app_.toggle_saved_place(*doc);
      }
      return true;
    case '1':
      app_.show_panel(Panel::Explore);
      return true;
    case '2':
      app_.show_panel(Panel::Directions);
      return true;
    case 'm':
      open_offline_maps(app_);
      return true;
    default:
      return false;
    }
  }

  void escape() {
    if (app_.selected_poi) {
      app_.selected_poi.reset();
    } else if (app_.compact() && app_.nav_open) {
      app_.nav_open = false;
    } else {
      app_.model.selected.reset();
    }
  }

  bool on(zarn_ui::OtherEvent const&) { return false; }

  /// An input method's composition goes to the field being edited, which shows it at the caret.
  bool on(zarn_ui::TextComposition const&) { return deliver_focused_input(); }

  /// The field being edited, if any: an endpoint field, else the search field.
  zarn_ui::widget::TextInput* focused_input() {
    if (app_.endpoints.active == ORIGIN_FIELD) {
      return &app_.endpoints.origin_input;
    }
    if (app_.endpoints.active == DEST_FIELD) {
      return &app_.endpoints.dest_input;
    }
    return app_.search_box.editing ? &app_.search_box.input : nullptr;
  }

  bool deliver_focused_input() {
    zarn_ui::widget::TextInput* input = focused_input();
    if (input == nullptr) {
      return false;
    }
    deliver_input(*input);
    return true;
  }

  /// A middle click on the search field pastes the primary selection where it was clicked, as
  /// in other X11 programs; elsewhere it does nothing.
  bool paste_primary_at(Point p) {
    bool const on_field =
        std::any_of(app_.hit_targets.begin(), app_.hit_targets.end(), [&](HitTarget const& t) {
          auto const* s = std::get_if<UiAction::Search>(&t.action.value);
          return s != nullptr && s->item == SearchItem::field() && t.rect.contains(p);
        });
    if (!on_field) {
      return false;
    }
    reset_endpoint_editor(app_.endpoints);
    auto& box = app_.search_box;
    box.editing = true;
    box.input.set_focused(true);
    deliver_input(box.input);
    if (box.input.take_dirty()) {
      search_text_changed(app_);
    }
    return true;
  }

  void run_chosen_menu_item() {
    if (auto const chosen =
            zarn_ui::widget::deliver_menu_event(app_.overflow_menu, event_, modifiers_, scale_)) {
      run_overflow_menu_item(app_, *chosen);
    }
  }

  void deliver_input(zarn_ui::widget::TextInput& input) {
    (void)zarn_ui::widget::deliver_text_input_event(input, event_, modifiers_, scale_);
  }

  MapsApp& app_;
  Event const& event_;
  Modifiers modifiers_;
  zarn_ui::State* state_;
  double scale_;
};

void after_event(MapsApp& app) {
  if (!app.offline_panel.open) {
    app.offline_focus_id.clear(); // it opens again on its search field
  }
  refresh_focus_rect(app);
}

} // namespace

void MapsApp::handle_event(zarn_ui::Event const& event, zarn_ui::Modifiers modifiers,
                           zarn_ui::State* state, double scale, bool& handled) {
  // The inputs read the modifiers from the key itself; the window's state may know more (a
  // Control held while focus arrived), and a shortcut must not type its letter.
  if (auto const* key = std::get_if<zarn_ui::Key>(&event)) {
    zarn_ui::Key merged = *key;
    merged.modifiers.shift |= modifiers.shift;
    merged.modifiers.control |= modifiers.control;
    merged.modifiers.alt |= modifiers.alt;
    merged.modifiers.super |= modifiers.super;
    if (!(merged.modifiers == key->modifiers)) {
      Event const with_modifiers{std::move(merged)};
      if (InputRouter(*this, with_modifiers, modifiers, state, scale).route()) {
        handled = true;
      }
      after_event(*this);
      return;
    }
  }
  if (InputRouter(*this, event, modifiers, state, scale).route()) {
    handled = true;
  }
  after_event(*this);
}

} // namespace maps
