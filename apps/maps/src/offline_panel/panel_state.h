#pragma once
// The UI records the application keeps beside its model: the search box, the route endpoint
// editor and the offline areas panel, with the operations that keep each consistent.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "input/ui_action.h"
#include "base/clock.h"
#include "model/types.h"
#include "net/geocode.h"
#include "platform/scene/geometry.h"
#include "platform/widgets/autocomplete.h"
#include "platform/widgets/text_input.h"

namespace maps {

/// A part of the search box while it is painted, before it joins the hit targets.
struct SearchTarget {
  zarn_ui::Rect rect;
  SearchItem item;
  bool operator==(SearchTarget const&) const = default;
};

struct SearchBox {
  zarn_ui::widget::TextInput input;
  std::vector<Place> suggestions;
  /// Filled while the box and its list are painted and drained into the hit targets; empty
  /// between frames.
  std::vector<SearchTarget> targets;
  std::optional<std::size_t> highlighted;
  std::optional<base::Instant> debounce;
  bool editing = false;  // the box has the keyboard focus
};

SearchBox new_search_box();
void set_search_suggestions(SearchBox& box, std::vector<Place> places);
void clear_search_suggestions(SearchBox& box);
void blur_search_box(SearchBox& box);
/// The painters show the list only when the box is focused, the query is not blank and the
/// list is not empty.
bool search_suggestions_shown(SearchBox const& box, std::string_view query);

/// Field numbers of the endpoint editor.
inline constexpr std::uint8_t ORIGIN_FIELD = 0;
inline constexpr std::uint8_t DEST_FIELD = 1;
inline constexpr std::uint8_t NO_FIELD = 2;

/// What a pressable area of the endpoint editor is.
enum class EndpointHitKind : std::uint8_t { Field, Suggestion, Swap, Inert };

struct EndpointHit {
  zarn_ui::Rect rect;
  EndpointHitKind kind = EndpointHitKind::Inert;
  std::uint8_t field = NO_FIELD;
  std::size_t index = 0;  // suggestion row; only for Suggestion
  bool operator==(EndpointHit const&) const = default;
};

struct EndpointEditor {
  zarn_ui::widget::TextInput origin_input;
  zarn_ui::widget::TextInput dest_input;
  std::string origin_text;  // last texts synchronised from the model's queries
  std::string dest_text;
  std::vector<Place> origin_suggestions;
  std::vector<Place> dest_suggestions;
  /// Where the directions panel last painted the two inputs.
  std::optional<zarn_ui::Rect> origin_rect;
  std::optional<zarn_ui::Rect> dest_rect;
  /// The editor's pressable areas of the last drawing, in painting order; input handling
  /// searches them before the hit targets.
  std::vector<EndpointHit> hits;
  std::optional<std::size_t> highlighted;
  std::optional<base::Instant> debounce;
  std::uint8_t active = NO_FIELD;
};

EndpointEditor new_endpoint_editor();
void reset_endpoint_editor(EndpointEditor& editor);
void edit_endpoint(EndpointEditor& editor, std::uint8_t field);
/// Stores each given text that differs from the synchronised one; the active field's input
/// shows it too.
void sync_endpoint_texts(EndpointEditor& editor, std::string_view origin, std::string_view dest);
void set_endpoint_suggestions(EndpointEditor& editor, std::uint8_t field, std::vector<Place> places);

/// What a press on one of the offline panel's rectangles does.
struct OfflinePanelAction {
  enum class Kind : std::uint8_t { Close, Zoom, Download, DeleteRegion, ClearCache, SearchField };
  Kind kind = Kind::Close;
  std::int8_t delta = 0;  // Zoom: +1 or -1
  std::string region_id;  // DeleteRegion
  bool operator==(OfflinePanelAction const&) const = default;

  static OfflinePanelAction close() { return {Kind::Close, 0, {}}; }
  static OfflinePanelAction zoom(std::int8_t d) { return {Kind::Zoom, d, {}}; }
  static OfflinePanelAction download() { return {Kind::Download, 0, {}}; }
  static OfflinePanelAction delete_region(std::string id) {
    return {Kind::DeleteRegion, 0, std::move(id)};
  }
  static OfflinePanelAction clear_cache() { return {Kind::ClearCache, 0, {}}; }
  static OfflinePanelAction search_field() { return {Kind::SearchField, 0, {}}; }
};

struct OfflineTarget {
  zarn_ui::Rect rect;
  OfflinePanelAction action;
  bool operator==(OfflineTarget const&) const = default;
};

struct OfflinePanel {
  zarn_ui::widget::Autocomplete search;
  std::optional<zarn_ui::Rect> search_rect;
  std::vector<AreaHit> hits;
  std::string query;
  /// The pressable elements of the last drawing; the first is the window-wide scrim.
  std::vector<OfflineTarget> targets;
  std::optional<AreaHit> selected;
  std::optional<base::Instant> debounce;
  std::uint64_t cache_bytes = 0;
  bool open = false;
  std::uint8_t detail = 2;  // extra zoom levels, 0..6
};

OfflinePanel new_offline_panel(std::uint64_t cache_bytes);
void reset_offline_search(OfflinePanel& panel);
void open_offline_panel(OfflinePanel& panel, std::uint64_t cache_bytes);
void close_offline_panel(OfflinePanel& panel);
/// One suggestion per hit: its name, with its label as detail when not empty.
std::vector<zarn_ui::widget::Suggestion> place_suggestions(std::vector<AreaHit> const& hits);

}  // namespace maps
