#include "search_box/search_box.h"

#include <algorithm>

#include "base/utf8.h"
#include "model/limits.h"
#include "platform/widgets/deliver.h"
#include "ui/suggestion_list.h"

namespace maps {

SearchBox new_search_box() {
  SearchBox box;
  box.input = zarn_ui::widget::TextInput::local()
                  .with_kind(2, 15.0f)
                  .with_placeholder("Search places, addresses\xE2\x80\xA6")
                  .with_max_length(MAX_QUERY_CHARS)
                  .with_caret_blink(base::system_clock());
  return box;
}

void set_search_suggestions(SearchBox& box, std::vector<Place> places) {
  box.suggestions = std::move(places);
  box.highlighted.reset(); // a row of the old list means nothing in the new one
}

void clear_search_suggestions(SearchBox& box) {
  box.suggestions.clear();
  box.highlighted.reset();
}

void blur_search_box(SearchBox& box) {
  box.editing = false;
  clear_search_suggestions(box);
}

bool search_suggestions_shown(SearchBox const& box, std::string_view query) {
  return box.editing && !base::utf8::trim(query).empty() && !box.suggestions.empty();
}

void end_search_editing(SearchBox& box) {
  blur_search_box(box);
  box.input.set_focused(false);
  box.debounce.reset();
}

std::vector<SearchEvent> search_box_key(SearchBox& box, zarn_ui::Event const& event,
                                        zarn_ui::Key const& key, zarn_ui::Modifiers modifiers,
                                        double scale, std::string_view query) {
  if (zarn_ui::is_named(key, zarn_ui::NamedKey::Escape)) {
    end_search_editing(box);
    return {};
  }
  if (search_suggestions_shown(box, query)) {
    std::size_t const rows = std::min(box.suggestions.size(), MAX_SUGGESTION_ROWS);
    if (zarn_ui::is_named(key, zarn_ui::NamedKey::ArrowDown)) {
      step_highlight(box.highlighted, rows, 1);
      return {};
    }
    if (zarn_ui::is_named(key, zarn_ui::NamedKey::ArrowUp)) {
      step_highlight(box.highlighted, rows, -1);
      return {};
    }
    if (zarn_ui::is_named(key, zarn_ui::NamedKey::Enter) && box.highlighted &&
        *box.highlighted < rows) {
      return {SearchEvent{SearchEvent::Picked{*box.highlighted}}};
    }
  }
  std::vector<SearchEvent> events;
  box.input.set_focused(true);
  auto const outcome =
      zarn_ui::widget::deliver_text_input_event(box.input, event, modifiers, scale);
  if (box.input.take_dirty()) {
    events.push_back({SearchEvent::Edited{}});
  }
  if (outcome == zarn_ui::widget::InputOutcome::Submitted) {
    box.editing = false;
    box.input.set_focused(false);
    events.push_back({SearchEvent::Submitted{}});
  }
  return events;
}

} // namespace maps
