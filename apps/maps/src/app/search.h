#pragma once
// The search box's operations on the application: the query following the box's text, a picked
// suggestion opening its place, a text set from outside, and the box's events applied in order.

#include <cstddef>
#include <span>
#include <string_view>

#include "search_box/search_box.h"

namespace zarn_ui::doc {
class Document;
}

namespace maps {

class MapsApp;

/// Opens suggestion `index` of the list as painted: the place joins the model, its name becomes
/// the committed query (through `doc` when there is one) and the box ends editing.
void pick_search_suggestion(MapsApp& app, zarn_ui::doc::Document* doc, std::size_t index);

/// After the input's text changed: the query follows it, the local matches become the
/// suggestions and the search debounce re-arms (an empty text clears both).
void search_text_changed(MapsApp& app);

/// Replaces the text as if typed (an assistive tool sets it): the box is edited, with the
/// caret at the end of the new text.
void set_search_text(MapsApp& app, std::string_view text);

/// Applies what a key in the box asked for: a changed text updates the query and the local
/// matches, a pick opens the place, a submission runs the search (recorded in the history
/// through `doc` when there is one).
void apply_search_events(MapsApp& app, std::span<SearchEvent const> events,
                         zarn_ui::doc::Document* doc);

} // namespace maps
