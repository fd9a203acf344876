#include "search_box/search_box.h"

#include <algorithm>

#include "app/maps_app.h"
#include "base/utf8.h"
#include "draw/suggestion_rows.h"
#include "model/ops.h"
#include "platform/widgets/deliver.h"

namespace maps {

SearchBox new_search_box() {
  SearchBox box;
  box.input = zarn_ui::widget::TextInput::local().with_kind(2, 15.0f).with_placeholder(
      "Search places, addresses\xE2\x80\xA6");
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

void pick_search_suggestion(MapsApp& app, zarn_ui::doc::Document* doc, std::size_t index) {
  auto& box = app.search_box;
  if (index >= box.suggestions.size()) {
    return;
  }
  Place const place = box.suggestions[index];
  end_search_editing(box);
  app.model.query = place.name;
  if (doc != nullptr) {
    app.dispatch_maps_action(*doc, MapsAction{MapsAction::UpsertPlaces{{place}}});
    app.dispatch_maps_action(*doc, MapsAction{MapsAction::CommitSearch{place.name}});
  } else {
    upsert_place(app.model, place);
  }
  app.open_place(place.id);
}

void step_highlight(std::optional<std::size_t>& highlighted, std::size_t rows, int step) {
  if (rows == 0) {
    highlighted.reset();
    return;
  }
  if (!highlighted || *highlighted >= rows) {
    highlighted = step > 0 ? 0 : rows - 1;
    return;
  }
  if (step > 0) {
    highlighted = std::min(*highlighted + 1, rows - 1);
  } else if (*highlighted > 0) {
    highlighted = *highlighted - 1;
  }
}

void search_text_changed(MapsApp& app) {
  SearchBox& box = app.search_box;
  app.model.query = box.input.text();
  std::string_view const trimmed = base::utf8::trim(app.model.query);
  if (trimmed.empty()) {
    clear_search_suggestions(box);
    box.debounce.reset();
  } else {
    set_search_suggestions(box, app.local_matches(trimmed));
    box.highlighted.reset(); // a row of the old list means nothing in the new one
    box.debounce = app.now() + INPUT_DEBOUNCE;
  }
}

void set_search_text(MapsApp& app, std::string_view text) {
  reset_endpoint_editor(app.endpoints);
  SearchBox& box = app.search_box;
  box.editing = true;
  box.input.set_focused(true);
  box.input.set_text(text);
  search_text_changed(app);
}

void search_box_key(MapsApp& app, zarn_ui::Event const& event, zarn_ui::Key const& key,
                    zarn_ui::Modifiers modifiers, double scale, zarn_ui::doc::Document* doc) {
  auto& box = app.search_box;
  if (zarn_ui::is_named(key, zarn_ui::NamedKey::Escape)) {
    end_search_editing(box);
    return;
  }
  if (search_suggestions_shown(box, app.model.query)) {
    std::size_t const rows = std::min(box.suggestions.size(), MAX_SUGGESTION_ROWS);
    if (zarn_ui::is_named(key, zarn_ui::NamedKey::ArrowDown)) {
      step_highlight(box.highlighted, rows, 1);
      return;
    }
    if (zarn_ui::is_named(key, zarn_ui::NamedKey::ArrowUp)) {
      step_highlight(box.highlighted, rows, -1);
      return;
    }
    if (zarn_ui::is_named(key, zarn_ui::NamedKey::Enter) && box.highlighted &&
        *box.highlighted < rows) {
      pick_search_suggestion(app, doc, *box.highlighted);
      return;
    }
  }
  box.input.set_focused(true);
  auto const outcome =
      zarn_ui::widget::deliver_text_input_event(box.input, event, modifiers, scale);
  if (box.input.take_dirty()) {
    search_text_changed(app);
  }
  if (outcome == zarn_ui::widget::InputOutcome::Submitted) {
    box.editing = false;
    box.input.set_focused(false);
    app.submit_search(doc);
  }
}

} // namespace maps
