#pragma once
// The floating search box: its text input, the suggested places under it and the pressable
// parts painted this frame, with the operations that keep them consistent and the box's share
// of the keyboard, whose outcome it returns for the application to apply. Painting lives in
// draw/search_box_draw.h.

#include <cstddef>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include "base/clock.h"
#include "model/types.h"
#include "platform/scene/geometry.h"
#include "platform/widget/event.h"
#include "platform/widgets/text_input.h"
#include "ui/ui_action.h"

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
  bool editing = false; // the box has the keyboard focus
};

SearchBox new_search_box();
void set_search_suggestions(SearchBox& box, std::vector<Place> places);
void clear_search_suggestions(SearchBox& box);
void blur_search_box(SearchBox& box);
/// The painters show the list only when the box is focused, the query is not blank and the
/// list is not empty.
bool search_suggestions_shown(SearchBox const& box, std::string_view query);

/// The search box loses the keyboard focus: no suggestions, no pending search.
void end_search_editing(SearchBox& box);

/// What a key in the search box asks of the application, in the order it happened.
struct SearchEvent {
  /// The input's text changed: the query, the local matches and the search debounce follow it.
  struct Edited {};
  /// Open suggestion `index` of the list as painted.
  struct Picked {
    std::size_t index = 0;
  };
  /// The input was submitted: the box has ended editing and the query is searched.
  struct Submitted {};
  std::variant<Edited, Picked, Submitted> value;
};

/// A key while the box is being edited, with the query it shows: Escape ends editing;
/// ArrowDown/ArrowUp move the highlight through the suggestions on show and Enter picks the
/// highlighted one; otherwise the input takes it. What the application must do follows.
std::vector<SearchEvent> search_box_key(SearchBox& box, zarn_ui::Event const& event,
                                        zarn_ui::Key const& key, zarn_ui::Modifiers modifiers,
                                        double scale, std::string_view query);

} // namespace maps
