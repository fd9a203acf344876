#pragma once
// The floating search box: its text input, the suggested places under it and the pressable
// parts painted this frame, with the operations that keep them consistent and the box's share
// of the keyboard. Painting lives in search_box_draw.h.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "input/ui_action.h"
#include "model/types.h"
#include "platform/scene/geometry.h"
#include "platform/widget/event.h"
#include "platform/widgets/text_input.h"

namespace zarn_ui::doc {
class Document;
}

namespace maps {

class MapsApp;

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

/// Opens suggestion `index` of the list as painted: the place joins the model, its name becomes
/// the committed query (through `doc` when there is one) and the box ends editing.
void pick_search_suggestion(MapsApp& app, zarn_ui::doc::Document* doc, std::size_t index);

/// Moves the highlight one row down (`step` 1) or up (-1) through the rows on show, starting at
/// the first or last row.
void step_highlight(std::optional<std::size_t>& highlighted, std::size_t rows, int step);

/// After the input's text changed: the query follows it, the local matches become the
/// suggestions and the search debounce re-arms (an empty text clears both).
void search_text_changed(MapsApp& app);

/// Replaces the text as if typed (an assistive tool sets it): the box is edited, with the
/// caret at the end of the new text.
void set_search_text(MapsApp& app, std::string_view text);

/// A key while the box is being edited: Escape ends editing; ArrowDown/ArrowUp move the
/// highlight through the suggestions on show and Enter opens the highlighted one; otherwise the
/// input takes it, a changed text updates the query and the local matches and re-arms the search
/// debounce, and a submission runs the search (recorded in the history through `doc` when there is
/// one).
void search_box_key(MapsApp& app, zarn_ui::Event const& event, zarn_ui::Key const& key,
                    zarn_ui::Modifiers modifiers, double scale, zarn_ui::doc::Document* doc);

} // namespace maps
