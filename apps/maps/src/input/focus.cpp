#include "input/focus.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "app/endpoints.h"
#include "app/maps_app.h"
#include "app/offline.h"
#include "endpoint_editor/endpoint_editor.h"
#include "input/control_specs.h"
#include "input/semantics.h"
#include "offline_panel/offline_panel.h"
#include "platform/launch/state.h"
#include "search_box/search_box.h"

namespace maps {

namespace {

using zarn_ui::Key;
using zarn_ui::NamedKey;
using zarn_ui::Rect;

constexpr std::string_view SEARCH_ID = "maps.search";
constexpr std::string_view SEARCH_CLEAR_ID = "maps.search.clear";
constexpr std::string_view SEARCH_ROW_PREFIX = "maps.search-result:";
constexpr std::string_view ORIGIN_ID = "maps.route.origin";
constexpr std::string_view DEST_ID = "maps.route.destination";
constexpr std::string_view ENDPOINT_ROW_PREFIX = "maps.endpoint-result:";
constexpr std::string_view OFFLINE_SEARCH_ID = "maps.offline.search";

/// Rows that read as one group: arrows move between them.
constexpr std::array<std::string_view, 7> ROW_GROUPS = {
    "maps.mode:",    "maps.search-result:", "maps.endpoint-result:", "maps.place:",
    "maps.journey:", "maps.recent:",        "maps.transit-time:"};

/// Where a control comes in reading order: the search box above the panel, the panel, then what
/// floats over the map from its top right down to the card.
int reading_band(std::string_view id) {
  if (id == SEARCH_ID || id.starts_with(SEARCH_ROW_PREFIX)) {
    return 0;
  }
  if (id == SEARCH_CLEAR_ID) {
    return 1;
  }
  if (id.starts_with("maps.control:")) {
    return 3;
  }
  if (id == "maps.overflow") {
    return 4;
  }
  if (id == "maps.navigation.end") {
    return 5;
  }
  return 2;
}

std::string_view row_group(std::string_view id) {
  for (auto const prefix : ROW_GROUPS) {
    // "maps.transit-time:delta:…" are steps, not the leave-at / arrive-by pair.
    if (id.starts_with(prefix) && id.find(':', prefix.size()) == std::string_view::npos) {
      return prefix;
    }
  }
  return {};
}

bool has_area(Rect const& r) {
  return std::isfinite(r.width()) && std::isfinite(r.height()) && r.width() > 0.0 &&
         r.height() > 0.0;
}

bool endpoint_editing(MapsApp const& app) {
  return app.endpoints.active == ORIGIN_FIELD || app.endpoints.active == DEST_FIELD;
}

std::vector<Place> const& endpoint_rows(MapsApp const& app) {
  return app.endpoints.active == DEST_FIELD ? app.endpoints.dest_suggestions
                                            : app.endpoints.origin_suggestions;
}

std::optional<std::size_t> row_index(std::vector<Place> const& rows, std::string_view place_id) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].id == place_id) {
      return i;
    }
  }
  return std::nullopt;
}

/// The painted target that exposes this id, for the ring to follow.
std::optional<UiAction> target_action(MapsApp const& app, std::string_view id) {
  for (auto const& target : app.hit_targets) {
    if (auto const spec = ui_action_spec(app, target.action); spec && spec->id == id) {
      return target.action;
    }
  }
  return std::nullopt;
}

/// Gives `control` the main view's focus: a text field starts editing, a suggestion row is
/// highlighted in its still-edited field, and leaving a field ends its editing.
void focus_main(MapsApp& app, SemanticControl const& control) {
  std::string_view const id = control.id;
  bool const search_part = id == SEARCH_ID || id.starts_with(SEARCH_ROW_PREFIX);
  if (!search_part && app.search_box.editing) {
    end_search_editing(app.search_box);
  }
  if (id == ORIGIN_ID || id == DEST_ID) {
    std::uint8_t const field = id == DEST_ID ? DEST_FIELD : ORIGIN_FIELD;
    if (app.endpoints.active != field) {
      start_endpoint_edit(app, field);
    }
    app.endpoints.highlighted.reset();
  } else if (id.starts_with(ENDPOINT_ROW_PREFIX) && endpoint_editing(app)) {
    app.endpoints.highlighted =
        row_index(endpoint_rows(app), id.substr(ENDPOINT_ROW_PREFIX.size()));
  } else if (endpoint_editing(app)) {
    reset_endpoint_editor(app.endpoints);
  }
  if (id == SEARCH_ID) {
    app.search_box.editing = true;
    app.search_box.input.set_focused(true);
    app.search_box.highlighted.reset();
  } else if (id.starts_with(SEARCH_ROW_PREFIX)) {
    app.search_box.highlighted =
        row_index(app.search_box.suggestions, id.substr(SEARCH_ROW_PREFIX.size()));
  }
  app.focus_id = control.id;
  app.focus_rect = control.rect;
  app.focus_action = target_action(app, id);
}

void focus_control(MapsApp& app, SemanticControl const& control) {
  if (app.offline_panel.open) {
    app.offline_focus_id = control.id;
    app.focus_rect = control.rect;
  } else {
    focus_main(app, control);
  }
  app.focus_visible = true;
}

std::optional<std::size_t> position_of(std::vector<SemanticControl> const& order,
                                       std::string_view id) {
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (order[i].id == id) {
      return i;
    }
  }
  return std::nullopt;
}

void move_focus(MapsApp& app, bool backwards) {
  auto const order = focus_order(app);
  if (order.empty()) {
    return;
  }
  auto const at = position_of(order, current_focus_id(app));
  std::size_t next = 0;
  if (!at) {
    next = backwards ? order.size() - 1 : 0;
  } else if (backwards) {
    next = *at == 0 ? order.size() - 1 : *at - 1;
  } else {
    next = *at + 1 == order.size() ? 0 : *at + 1;
  }
  focus_control(app, order[next]);
}

/// Arrows within the focused control's group; false when it has none.
bool move_in_group(MapsApp& app, bool backwards) {
  std::string const focus = current_focus_id(app);
  std::string_view const group = row_group(focus);
  if (group.empty()) {
    return false;
  }
  auto const order = focus_order(app);
  auto const at = position_of(order, focus);
  if (!at) {
    return false;
  }
  std::size_t i = *at;
  while (backwards ? i > 0 : i + 1 < order.size()) {
    i = backwards ? i - 1 : i + 1;
    if (row_group(order[i].id) == group) {
      focus_control(app, order[i]);
      return true;
    }
  }
  return true; // the end of the group: the focus stays, and the map does not pan instead
}

/// Enter or Space on the focused control.
bool activate(MapsApp& app, zarn_ui::State* state) {
  std::string const id = current_focus_id(app);
  if (id.empty() || state == nullptr) {
    return false;
  }
  app.focus_visible = true;
  if (app.offline_panel.open) {
    for (auto const& c : offline_panel_specs(app.offline_panel)) {
      if (c.control.id == id) {
        OfflinePanelAction const action = c.action; // performing may rebuild the list
        (void)perform_offline_action(app, action, state);
        return true;
      }
    }
    return false;
  }
  if (id == SEARCH_ID) {
    app.search_box.editing = true;
    app.search_box.input.set_focused(true);
    return true;
  }
  bool const done = maps_perform_semantic_action(app, *state, id, {});
  if (app.search_box.editing) {
    app.focus_id = SEARCH_ID; // clearing the search hands the keyboard to the field
  }
  return done;
}

bool offline_search_focused(MapsApp const& app) {
  return app.offline_focus_id.empty() || app.offline_focus_id == OFFLINE_SEARCH_ID;
}

} // namespace

bool is_space_bar(Key const& key) {
  auto const* text = std::get_if<std::string>(&key.key);
  return (text != nullptr && *text == " ") || (std::holds_alternative<NamedKey>(key.key) &&
                                               std::get<NamedKey>(key.key) == NamedKey::Space);
}

std::vector<SemanticControl> focus_order(MapsApp const& app) {
  auto controls = current_semantic_controls(app);
  std::erase_if(controls,
                [](SemanticControl const& c) { return c.attributes.hidden || !has_area(c.rect); });
  if (app.offline_panel.open) {
    return controls;
  }
  std::stable_sort(controls.begin(), controls.end(),
                   [](SemanticControl const& a, SemanticControl const& b) {
                     int const band_a = reading_band(a.id);
                     int const band_b = reading_band(b.id);
                     if (band_a != band_b) {
                       return band_a < band_b;
                     }
                     if (band_a != 2) {
                       return false; // painting order
                     }
                     // The panel reads by lines, then from the left.
                     if (std::abs(a.rect.y0 - b.rect.y0) >= 1.0) {
                       return a.rect.y0 < b.rect.y0;
                     }
                     return a.rect.x0 < b.rect.x0;
                   });
  return controls;
}

std::string current_focus_id(MapsApp const& app) {
  if (app.offline_panel.open) {
    return offline_search_focused(app) ? std::string(OFFLINE_SEARCH_ID) : app.offline_focus_id;
  }
  if (endpoint_editing(app)) {
    auto const& rows = endpoint_rows(app);
    auto const& highlighted = app.endpoints.highlighted;
    if (highlighted && *highlighted < rows.size()) {
      return std::string(ENDPOINT_ROW_PREFIX) + rows[*highlighted].id;
    }
    return std::string(app.endpoints.active == DEST_FIELD ? DEST_ID : ORIGIN_ID);
  }
  SearchBox const& box = app.search_box;
  if (box.editing) {
    if (box.highlighted && *box.highlighted < box.suggestions.size() &&
        search_suggestions_shown(box, app.model.query)) {
      return std::string(SEARCH_ROW_PREFIX) + box.suggestions[*box.highlighted].id;
    }
    return std::string(SEARCH_ID);
  }
  return app.focus_id;
}

bool focus_key(MapsApp& app, zarn_ui::State* state, Key const& key) {
  auto const* named = std::get_if<NamedKey>(&key.key);
  if (named == nullptr) {
    // The window delivers the space bar as typed text.
    return is_space_bar(key) &&
           focus_key(app, state, Key{key.pressed, NamedKey::Space, key.modifiers});
  }
  bool const text_focused = app.search_box.editing || endpoint_editing(app) ||
                            (app.offline_panel.open && offline_search_focused(app));
  switch (*named) {
  case NamedKey::Tab:
    if (key.modifiers.control || key.modifiers.alt || key.modifiers.super) {
      return false;
    }
    move_focus(app, key.modifiers.shift);
    return true;
  case NamedKey::Enter:
  case NamedKey::Space:
    return !text_focused && activate(app, state);
  case NamedKey::ArrowLeft:
  case NamedKey::ArrowUp:
    return !text_focused && move_in_group(app, true);
  case NamedKey::ArrowRight:
  case NamedKey::ArrowDown:
    return !text_focused && move_in_group(app, false);
  default:
    return false;
  }
}

void refresh_focus_rect(MapsApp& app) {
  if (!app.focus_visible) {
    return; // no ring to place; pointer moves stay cheap
  }
  std::string const id = current_focus_id(app);
  app.focus_rect.reset();
  if (id.empty()) {
    return;
  }
  for (auto const& c : current_semantic_controls(app)) {
    if (c.id == id) {
      app.focus_rect = c.rect;
      break;
    }
  }
  if (!app.offline_panel.open) {
    app.focus_action = target_action(app, id);
  }
}

} // namespace maps
